// The window in its languages: the configured one, the fallbacks by block, the chooser.
#include "WindowFixture.h"

#include "app/Localization.h"
#include "controls/CXLabel.h"

#include <QComboBox>
#include <QRadioButton>
#include <QSettings>
#include <QTest>

namespace vistrel::test {
namespace {

class LanguageTest : public WindowTest
{
protected:
    void TearDown() override
    {
        QSettings(QLatin1String(kSettingsOrganisation), QLatin1String(kSettingsApplication)).remove(QLatin1String(kUiLanguageKey));
        WindowTest::TearDown();
    }
};

TEST_F(LanguageTest, ConfiguredGermanRelabelsTheWindow)
{
    {
        QSettings store {QLatin1String(kSettingsOrganisation), QLatin1String(kSettingsApplication)};
        store.setValue(QLatin1String(kUiLanguageKey), 0x0407);
    }
    ApplyUiLanguageSetting();
    ASSERT_EQ(CurrentUiLanguage(), 0x0407);
    Open();
    const struct
    {
        int id;
        const char* text;
    } expected[] = {
        {IdScan, "Scannen"}, {3027, "Anpassen"}, {3028, "Sättigung"}, {IdDefault, "Standardeinstellungen"},
        {IdBlackWhite, "Schwarz / Weiß"}, {3026, "Filmgröße"}, {IdSaveCaption, "Speicherort"},
        {IdBrowse, "Durchsuchen"}, {IdStandard, "Standard"}, {IdHigh, "Hoch"}, {IdMirror, "Spiegeln"},
        {IdRotate, "Drehen"}, {IdDelete, "Löschen"}, {IdSave, "Speichern"},
        {IdStripFrame, "Endgültige Bilder zum Speichern"}, {IdNoScannerText, "Bitte schließen Sie den Scanner an"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(TextOf(e.id), QString::fromUtf8(e.text)) << e.id;
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavrik Film Scanner"));   // the title is not localized
    EXPECT_EQ(TextOf(IdStatus), QString());
}

TEST_F(LanguageTest, FrenchKeepsEnglishButtonsAndTakesTheStripTitleFromTheUserDefault)
{
    // These tests run with a German system locale: the user's default language is German.
    ASSERT_EQ(PrimaryLangId(GetUserDefaultLangID()), 0x07);
    SetCurrentUiLanguage(0x040C);
    Open();
    for (auto [id, text] : {std::pair {IdSave, "Save"}, {IdDelete, "Delete"}, {IdRotate, "Rotate"},
                            {IdMirror, "Mirror"}, {IdStandard, "Standard"}, {IdHigh, "High"}})
        EXPECT_EQ(TextOf(id), QLatin1String(text)) << id;
    EXPECT_EQ(TextOf(IdStripFrame), QStringLiteral("Endgültige Bilder zum Speichern"));
    EXPECT_EQ(TextOf(IdScan), QStringLiteral("Prendre une image"));
    EXPECT_EQ(TextOf(IdDefault), QStringLiteral("Par défaut"));
    EXPECT_EQ(TextOf(IdNoScannerText), QStringLiteral("Veuillez brancher un scanner de film"));
}

TEST_F(LanguageTest, EnglishTablesReplaceTheLayoutTexts)
{
    Open();
    EXPECT_EQ(TextOf(IdSaveCaption), QStringLiteral("Save Film in"));   // layout: "Save Files In"
    EXPECT_EQ(TextOf(3026), QStringLiteral("Film size"));              // layout: "Film Size"
    // The doubled ampersand shows as one: the button is one '&' wider than the same text with a
    // single ampersand, which only marks a mnemonic and shows nothing.
    auto* blackWhite = Get<QRadioButton>(IdBlackWhite);
    EXPECT_EQ(blackWhite->text(), QStringLiteral("Black && White"));
    QRadioButton mnemonicOnly(QStringLiteral("Black & White"));
    mnemonicOnly.setFont(blackWhite->font());
    const int ampersand = QFontMetrics(blackWhite->font()).horizontalAdvance(u'&');
    EXPECT_NEAR(blackWhite->sizeHint().width() - mnemonicOnly.sizeHint().width(), ampersand, 1);
}

TEST_F(LanguageTest, ChooserSwitchesAndKeepsTextsTheNewLanguageLacks)
{
    Open();
    auto* chooser = Get<QComboBox>(IdChooser);
    // Chinese first (item 1), then Spanish (item 6): Spanish lacks 154..159, so those stay Chinese.
    window->OnLanguageChosen(1);
    EXPECT_EQ(CurrentUiLanguage(), 0x0804);
    EXPECT_EQ(TextOf(IdSave), QStringLiteral("保存"));
    window->OnLanguageChosen(6);
    EXPECT_EQ(CurrentUiLanguage(), 0x040A);
    EXPECT_EQ(TextOf(IdScan), QStringLiteral("Tomar Imagen"));
    for (auto [id, text] : {std::pair {IdSave, "保存"}, {IdDelete, "删除"}, {IdRotate, "旋转"}, {IdMirror, "镜像"},
                            {IdStandard, "标准"}, {IdHigh, "高质量"}})
        EXPECT_EQ(TextOf(id), QString::fromUtf8(text)) << id;
    // No selection: nothing changes.
    window->OnLanguageChosen(-1);
    EXPECT_EQ(CurrentUiLanguage(), 0x040A);
    // The chooser's own signal reaches the same handler.
    chooser->setCurrentIndex(0);
    emit chooser->activated(0);
    EXPECT_EQ(TextOf(IdScan), QStringLiteral("Scan"));
}

} // namespace
} // namespace vistrel::test
