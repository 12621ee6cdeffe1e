// Runs with LC_ALL=de_AT.UTF-8 in the environment: the user's default language is German (Austria).
#include "app/Localization.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace vistrel {
namespace {

constexpr LANGID kGermanAustria = 0x0C07;

// Read before main, while nothing has had a chance to set it.
const LANGID languageBeforeMain = CurrentUiLanguage();

TEST(Startup, TheUserDefaultComesFromTheSystemLocale)
{
    ASSERT_EQ(QLocale::system().name(), QStringLiteral("de_AT")) << "run with LC_ALL=de_AT.UTF-8";
    EXPECT_EQ(GetUserDefaultLangID(), kGermanAustria);
    EXPECT_EQ(languageBeforeMain, kGermanAustria);
}

TEST(Startup, MissingBlocksComeFromTheUsersLanguage)
{
    const LANGID before = CurrentUiLanguage();
    const struct
    {
        LANGID current;
        std::uint32_t id;
        const char* expected; // "" = absent
    } cases[] = {
        {0x040A, IdsFinalImages, "Endgültige Bilder zum Speichern"},
        {0x040C, IdsStripFull, "Die Fotoleiste ist voll, bitte speichern Sie die Fotos auf dem Computer"},
        {0x0419, IdsFinalImages, "Endgültige Bilder zum Speichern"},
        {0x040C, IdsDefault, "Par défaut"},
        {0x040C, IdsMirror, ""},
        {0x0416, IdsScan, "Scannen"},
        {0x0409, IdsFinalImages, "Final images to save"},
        {kGermanAustria, IdsSaveFailed, ""},
    };
    for (const auto& c : cases) {
        SetCurrentUiLanguage(c.current);
        bool found = false;
        EXPECT_EQ(LoadLocalizedText(c.id, &found), QString::fromUtf8(c.expected)) << std::hex << c.current << std::dec
                                                                                  << " " << c.id;
        EXPECT_EQ(found, *c.expected != '\0');
    }
    SetCurrentUiLanguage(before);
}

} // namespace
} // namespace vistrel

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
