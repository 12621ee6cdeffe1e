// The embedded tables: they load cleanly, cover the right blocks, keep awkward texts intact, and
// the table-file reader refuses malformed files as a whole.
#include "app/Localization.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>

namespace vistrel {
namespace {

constexpr LANGID kEnglish = 0x0409, kChinese = 0x0004, kGerman = 0x0007, kSpanish = 0x000A, kFrench = 0x000C,
                 kItalian = 0x0010, kJapanese = 0x0011, kRussian = 0x0019;

QString Text(LANGID table, std::uint32_t id)
{
    // Both languages the same: a lookup that does not find the block in this table can only
    // come back with English, which the coverage test below keeps apart.
    char16_t buffer[kStringBufferUnits];
    const int length = LoadLocalizedString(ProgramModule(), id, buffer, table, table);
    return QString::fromUtf16(buffer, length);
}

TEST(StringTables, LoadWithoutComplaintForTheEightLanguages)
{
    QStringList errors;
    const StringModule module = StringModule::FromDirectory(QStringLiteral(":/strings"), &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    std::vector<LANGID> expected = {kEnglish, kChinese, kGerman, kSpanish, kFrench, kItalian, kJapanese, kRussian};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(module.Languages(), expected);
}

TEST(StringTables, BlocksExistWhereTheLanguagesHaveThem)
{
    const StringModule& module = ProgramModule();
    for (const LANGID language : {kEnglish, kChinese, kGerman, kSpanish, kFrench, kItalian, kJapanese, kRussian}) {
        const bool hasLastBlock = language == kEnglish || language == kChinese || language == kGerman;
        EXPECT_FALSE(module.Block(language, 9).empty()) << std::hex << language;
        EXPECT_FALSE(module.Block(language, 10).empty()) << std::hex << language;
        EXPECT_EQ(!module.Block(language, 11).empty(), hasLastBlock) << std::hex << language;
        EXPECT_TRUE(module.Block(language, 8).empty()) << std::hex << language;
        EXPECT_TRUE(module.Block(language, 12).empty()) << std::hex << language;
    }
}

TEST(StringTables, EnglishHasEveryStringTheWindowUses)
{
    for (std::uint32_t id = IdsScan; id <= IdsStripFull; ++id) {
        EXPECT_FALSE(Text(kEnglish, id).isEmpty()) << id;
    }
    for (std::uint32_t id : {IdsDiscardUnsaved, IdsStillMissing, IdsSaveProgress, IdsNodeAccessGroup, IdsErrorDiskFull,
                             IdsNotDurable, IdsScannedImageTooLarge, IdsThumbnailName, IdsEmptyThumbnailName}) {
        EXPECT_FALSE(Text(kEnglish, id).isEmpty()) << id;
    }
}

// The placeholders of a text, each once, in order: "%2 of %1 %2" -> {"%1", "%2"}.
QStringList Placeholders(const QString& text)
{
    QStringList found;
    for (qsizetype at = text.indexOf(u'%'); at >= 0 && at + 1 < text.size(); at = text.indexOf(u'%', at + 1)) {
        if (text[at + 1].isDigit())
            found << text.mid(at, 2);
    }
    found.sort();
    found.removeDuplicates();
    return found;
}

// Our own texts (the blocks after the tables' own) are in every language, in that language's own
// block, with the placeholders of the English text, within the length a lookup delivers.
TEST(StringTables, OurOwnTextsAreInEveryLanguageWithTheSamePlaceholders)
{
    const StringModule& module = ProgramModule();
    int ownTexts = 0;
    for (std::uint32_t id = kFirstOwnStringId; id <= kLastOwnStringId; ++id) {
        const QString english = Text(kEnglish, id);
        for (LANGID language : {kChinese, kGerman, kSpanish, kFrench, kItalian, kJapanese, kRussian}) {
            const bool ownBlock = !module.Block(language, BlockOfString(id)).empty();
            EXPECT_EQ(ownBlock, !module.Block(kEnglish, BlockOfString(id)).empty())
                << std::hex << language << std::dec << " block " << BlockOfString(id);
            const QString text = Text(language, id);
            EXPECT_EQ(text.isEmpty(), english.isEmpty()) << std::hex << language << std::dec << " " << id;
            EXPECT_EQ(Placeholders(text), Placeholders(english)) << std::hex << language << std::dec << " " << id
                                                                 << ": " << text.toStdString();
            EXPECT_LT(text.size(), kMaxStringUnits) << std::hex << language << std::dec << " " << id << " is cut";
            if (language == kFrench && !english.isEmpty())
                ++ownTexts;
        }
    }
    EXPECT_GT(ownTexts, 0) << "no own texts found at all";
}

struct TextCase
{
    LANGID table;
    std::uint32_t id;
    const char* expected; // "" = absent
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << std::hex << c.table << std::dec << '/' << c.id;
}

class StoredText : public testing::TestWithParam<TextCase>
{
};

TEST_P(StoredText, ComesBackUnitForUnit)
{
    const TextCase& c = GetParam();
    EXPECT_EQ(Text(c.table, c.id), QString::fromUtf8(c.expected)) << std::hex << c.table << std::dec << " " << c.id;
}

INSTANTIATE_TEST_SUITE_P(
    Awkward, StoredText,
    testing::Values(
        // The doubled ampersand is stored as such; the control shows a single one.
        TextCase{kEnglish, IdsBlackWhite, "Black && White"},
        TextCase{kGerman, IdsBlackWhite, "Schwarz / Weiß"},
        // The Default radio button in French says "Default", not the language's name.
        TextCase{kFrench, IdsDefault, "Par défaut"},
        TextCase{kFrench, IdsSaveFailed, "Échec de l'enregistrement de l'image"},
        TextCase{kSpanish, IdsCustom, "Autodefinición"},
        TextCase{kItalian, IdsResolution, "Risoluzione Dell'immagine"},
        TextCase{kGerman, IdsUiLanguage, "Oberflächensprache"},
        TextCase{kChinese, IdsStripFull, "图像列表空间已满，请将图像保存到磁盘"},
        TextCase{kJapanese, IdsSlide, "ポジフィルム"},
        TextCase{kJapanese, IdsSaveSuccess, "画像は保存されました"},
        TextCase{kRussian, IdsSaturation, "Насыщенность"},
        TextCase{kRussian, IdsScan, "захват"},
        // Absent inside an existing block.
        TextCase{kGerman, IdsSaveSuccess, ""},
        TextCase{kGerman, IdsSaveFailed, ""},
        TextCase{kSpanish, IdsStandard, ""},
        TextCase{kRussian, IdsSave, ""},
        // The close question exists in the three languages that have its block.
        TextCase{kEnglish, IdsDiscardUnsaved,
                 "The strip holds images that have not been saved. Close and discard them?"},
        TextCase{kGerman, IdsDiscardUnsaved,
                 "Die Fotoleiste enthält noch nicht gespeicherte Bilder. Schließen und die Bilder verwerfen?"},
        TextCase{kChinese, IdsDiscardUnsaved, "图像列表中有尚未保存的图像。确定关闭并放弃这些图像吗？"}),
    [](const testing::TestParamInfo<TextCase>& info) { return "Case" + std::to_string(info.index); });

TEST(StringTables, TheCloseQuestionIsInTheChosenLanguageNotTheUsersDefault)
{
    char16_t buffer[kStringBufferUnits];
    const int length = LoadLocalizedString(ProgramModule(), IdsDiscardUnsaved, buffer, 0x040C, 0x0407);
    EXPECT_EQ(QString::fromUtf16(buffer, length),
              QString::fromUtf8("La bande d'images contient des images non enregistrées. Fermer et les abandonner ?"));
}

struct BadTable
{
    const char* what;
    const char* json;
};

void PrintTo(const BadTable& c, std::ostream* os)
{
    *os << c.what;
}

class TableFile : public testing::TestWithParam<BadTable>
{
};

TEST_P(TableFile, IsRefusedWhole)
{
    StringModule module;
    QString error;
    EXPECT_FALSE(module.AddTableFile(0x0409, GetParam().json, &error)) << GetParam().what;
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(module.HasLanguage(0x0409)) << GetParam().what << ": part of a bad file was kept";
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, TableFile,
    testing::Values(BadTable{"not JSON", "{\"blocks\": {"},
                    BadTable{"no blocks", "{\"language\": \"English\"}"},
                    BadTable{"a string in the wrong block", R"({"blocks": {"9": {"131": "ok"}, "10": {"160": "x"}}})"},
                    BadTable{"block zero", R"({"blocks": {"0": {}}})"},
                    BadTable{"block number too large", R"({"blocks": {"65536": {}}})"},
                    BadTable{"block not a number", R"({"blocks": {"nine": {}}})"},
                    BadTable{"string id not a number", R"({"blocks": {"9": {"13x": "ok"}}})"},
                    BadTable{"text not a string", R"({"blocks": {"9": {"131": 5}}})"},
                    BadTable{"empty text", R"({"blocks": {"9": {"131": ""}}})"}),
    [](const testing::TestParamInfo<BadTable>& info) { return "Case" + std::to_string(info.index); });

TEST(TableFile, DeclaresEmptyBlocks)
{
    StringModule module;
    QString error;
    ASSERT_TRUE(module.AddTableFile(0x000C, R"({"blocks": {"9": {"131": "Scanner"}, "11": {}}})", &error))
        << error.toStdString();
    EXPECT_FALSE(module.Block(0x000C, 11).empty());
    EXPECT_TRUE(module.Block(0x000C, 10).empty());
}

} // namespace
} // namespace vistrel
