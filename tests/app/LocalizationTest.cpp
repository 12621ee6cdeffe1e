// Lookups with the block fallback, the primary-language rule, the length cap and the id range.
#include "app/Localization.h"

#include <gtest/gtest.h>

#include <QString>

#include <optional>
#include <string>
#include <thread>

namespace vistrel {
namespace {

std::optional<std::u16string> Lookup(const StringModule& module, std::uint32_t id, LANGID current,
                                     LANGID userDefault)
{
    char16_t buffer[kStringBufferUnits];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    const int length = LoadLocalizedString(module, id, buffer, current, userDefault);
    if (length == 0) {
        return std::nullopt;
    }
    EXPECT_EQ(buffer[length], u'\0') << "id " << id << " is not terminated";
    return std::u16string(buffer, static_cast<std::size_t>(length));
}

std::u16string U16(const char* utf8)
{
    return QString::fromUtf8(utf8).toStdU16String();
}

// The program's tables, looked up with both languages given.
struct FallbackCase
{
    const char* what;
    LANGID current;
    LANGID userDefault;
    std::uint32_t id;
    const char* expected; // nullptr: absent
};

void PrintTo(const FallbackCase& c, std::ostream* os)
{
    *os << c.what;
}

class ProgramFallback : public testing::TestWithParam<FallbackCase>
{
};

TEST_P(ProgramFallback, FindsTheBlockInTheRightLanguage)
{
    const FallbackCase& c = GetParam();
    const auto text = Lookup(ProgramModule(), c.id, c.current, c.userDefault);
    if (c.expected == nullptr) {
        EXPECT_FALSE(text.has_value()) << c.what << ": got " << QString::fromStdU16String(*text).toStdString();
    } else {
        ASSERT_TRUE(text.has_value()) << c.what;
        EXPECT_EQ(*text, U16(c.expected)) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ProgramFallback,
    testing::Values(
        FallbackCase{"German of Germany finds the plain German table", 0x0407, 0x0409, 131, "Scannen"},
        FallbackCase{"German of Austria too, in the last block", 0x0C07, 0x0409, 160, "Endgültige Bilder zum Speichern"},
        FallbackCase{"Chinese of China finds the plain Chinese table", 0x0804, 0x0409, 131, "拍照"},
        FallbackCase{"Chinese of Taiwan too", 0x0404, 0x0409, 161, "图像列表空间已满，请将图像保存到磁盘"},
        FallbackCase{"Spanish of Spain, modern sort", 0x0C0A, 0x0409, 131, "Tomar Imagen"},
        FallbackCase{"Spanish lacks the block: the German user's default answers", 0x040A, 0x0407, 160,
                     "Endgültige Bilder zum Speichern"},
        FallbackCase{"French lacks the block: the German user's default answers", 0x040C, 0x0407, 161,
                     "Die Fotoleiste ist voll, bitte speichern Sie die Fotos auf dem Computer"},
        FallbackCase{"Spanish has the block but not the string: no fallback", 0x040A, 0x0407, 156, nullptr},
        FallbackCase{"Italian has the block but not the string: no fallback", 0x0410, 0x0409, 159, nullptr},
        FallbackCase{"German has the block but not 151", 0x0407, 0x0409, 151, nullptr},
        FallbackCase{"German has the block but not 152", 0x0407, 0x0804, 152, nullptr},
        FallbackCase{"Neither French nor Spanish has the block: English", 0x040C, 0x040A, 160, "Final images to save"},
        FallbackCase{"Japanese user and language: English for the last block", 0x0411, 0x0411, 161,
                     "Image list space is full, please save image to disk"},
        FallbackCase{"No table for Portuguese: the user's German", 0x0416, 0x0407, 131, "Scannen"},
        FallbackCase{"No table for either: English", 0x0416, 0x0413, 150, "Browse"},
        FallbackCase{"British English has no table of its own: English", 0x0809, 0x0809, 149, "Save Film in"},
        FallbackCase{"Language zero: English", 0x0000, 0x0000, 131, "Scan"},
        FallbackCase{"An id in a declared block that no table fills", 0x0409, 0x0409, 130, nullptr},
        FallbackCase{"An id in a block no language has", 0x0409, 0x0407, 5000, nullptr}),
    [](const testing::TestParamInfo<FallbackCase>& info) { return "Case" + std::to_string(info.index); });

// A small module whose blocks are placed to tell the lookup steps apart.
class SyntheticModule : public testing::Test
{
protected:
    static StringModule::BlockTexts Block(std::initializer_list<std::pair<int, std::u16string>> entries)
    {
        StringModule::BlockTexts texts;
        for (const auto& [slot, text] : entries) {
            texts[static_cast<std::size_t>(slot)] = text;
        }
        return texts;
    }

    StringModule module;
};

TEST_F(SyntheticModule, ExactSublanguageWinsOverThePlainLanguage)
{
    module.AddBlock(0x0807, 1, Block({{3, u"Swiss"}}));
    module.AddBlock(0x0007, 1, Block({{3, u"German"}}));
    module.AddBlock(0x0409, 1, Block({{3, u"English"}}));
    EXPECT_EQ(Lookup(module, 3, 0x0807, 0x0409), u"Swiss");
    EXPECT_EQ(Lookup(module, 3, 0x0407, 0x0409), u"German");
    EXPECT_EQ(Lookup(module, 3, 0x0007, 0x0409), u"German");
}

TEST_F(SyntheticModule, ATableWithASublanguageDoesNotAnswerOtherSublanguages)
{
    // 0x0409 is English of one country; British English must not stop at it before the user's
    // default has been asked.
    module.AddBlock(0x0409, 1, Block({{3, u"English"}}));
    module.AddBlock(0x0007, 1, Block({{3, u"German"}}));
    EXPECT_EQ(Lookup(module, 3, 0x0809, 0x0407), u"German");
}

TEST_F(SyntheticModule, TheLastStepAsksOnlyEnglish)
{
    module.AddBlock(0x000C, 1, Block({{3, u"French"}}));
    EXPECT_TRUE(FindLocalizedResource(module, 1, 0x0407, 0x0411).empty());
    EXPECT_EQ(Lookup(module, 3, 0x0407, 0x0411), std::nullopt);
    EXPECT_EQ(Lookup(module, 3, 0x040C, 0x0411), u"French");
}

TEST_F(SyntheticModule, AnEmptyDeclaredBlockStopsTheFallback)
{
    module.AddBlock(0x0007, 1, Block({}));
    module.AddBlock(0x0409, 1, Block({{3, u"English"}}));
    EXPECT_FALSE(FindLocalizedResource(module, 1, 0x0407, 0x0409).empty());
    EXPECT_EQ(Lookup(module, 3, 0x0407, 0x0409), std::nullopt);
}

TEST_F(SyntheticModule, WalksPastEntriesOfEveryLength)
{
    const std::u16string long300(300, u'x');
    module.AddBlock(0x0409, 2, Block({{0, u"first"}, {1, long300}, {7, u"a"}, {14, u"\u00e9\u4e2d"}, {15, u"last"}}));
    EXPECT_EQ(Lookup(module, 16, 0x0409, 0x0409), u"first");
    EXPECT_EQ(Lookup(module, 23, 0x0409, 0x0409), u"a");
    EXPECT_EQ(Lookup(module, 30, 0x0409, 0x0409), u"\u00e9\u4e2d");
    EXPECT_EQ(Lookup(module, 31, 0x0409, 0x0409), u"last");
    EXPECT_EQ(Lookup(module, 20, 0x0409, 0x0409), std::nullopt);
}

TEST_F(SyntheticModule, CutsLongStringsAt259Units)
{
    std::u16string long300;
    for (int i = 0; i < 300; ++i) {
        long300.push_back(static_cast<char16_t>(u'A' + i % 26));
    }
    const std::u16string exact259(259, u'b');
    const std::u16string short258(258, u'c');
    module.AddBlock(0x0409, 1, Block({{0, long300}, {1, exact259}, {2, short258}}));

    char16_t buffer[kStringBufferUnits + 1];
    buffer[kStringBufferUnits] = u'!'; // the unit past the caller's room must stay untouched
    ASSERT_EQ(LoadLocalizedString(module, 0, buffer, 0x0409, 0x0409), kMaxStringUnits);
    EXPECT_EQ(std::u16string(buffer, kMaxStringUnits), long300.substr(0, kMaxStringUnits));
    EXPECT_EQ(buffer[kMaxStringUnits], u'\0');
    EXPECT_EQ(buffer[kStringBufferUnits], u'!');

    EXPECT_EQ(Lookup(module, 1, 0x0409, 0x0409), exact259);
    EXPECT_EQ(Lookup(module, 2, 0x0409, 0x0409), short258);
}

TEST_F(SyntheticModule, IdsFrom0xFFFF0OnAreOutOfRange)
{
    module.AddBlock(0x0409, 0xFFFF, Block({{15, u"top"}}));
    char16_t buffer[kStringBufferUnits] = u"untouched";
    for (const std::uint32_t id : {0xFFFF0u, 0xFFFFFu, 0x100000u, 0xFFFFFFF5u, 0xFFFFFFFFu}) {
        SetLastError(0);
        EXPECT_EQ(LoadLocalizedString(module, id, buffer, 0x0409, 0x0409), 0) << std::hex << id;
        EXPECT_EQ(GetLastError(), kErrorResourceNameNotFound) << std::hex << id;
    }
    EXPECT_EQ(std::u16string(buffer), u"untouched");

    // The highest id still in range lives in block 0xFFFF.
    SetLastError(0);
    EXPECT_EQ(Lookup(module, 0xFFFEF, 0x0409, 0x0409), u"top");
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(LastError, BelongsToTheThreadThatSetIt)
{
    SetLastError(0);
    std::uint32_t seenOnWorker = 0;
    std::thread worker([&] {
        char16_t buffer[kStringBufferUnits];
        LoadLocalizedString(ProgramModule(), 0xFFFFF, buffer, 0x0409, 0x0409);
        seenOnWorker = GetLastError();
    });
    worker.join();
    EXPECT_EQ(seenOnWorker, kErrorResourceNameNotFound);
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(LoadLocalizedText, FollowsTheCurrentLanguage)
{
    const LANGID before = CurrentUiLanguage();
    SetCurrentUiLanguage(0x0407);
    bool found = false;
    EXPECT_EQ(LoadLocalizedText(IdsBlackWhite, &found), QString::fromUtf8("Schwarz / Weiß"));
    EXPECT_TRUE(found);
    EXPECT_EQ(LoadLocalizedText(IdsSaveSuccess, &found), QString());
    EXPECT_FALSE(found);
    SetCurrentUiLanguage(0x0804);
    EXPECT_EQ(LoadLocalizedText(IdsBrowse, &found), QString::fromUtf8("浏览图片"));
    EXPECT_TRUE(found);
    SetCurrentUiLanguage(before);
}

} // namespace
} // namespace vistrel
