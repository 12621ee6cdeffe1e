// Locales map to the Windows language identifiers the string tables are keyed by.
#include "app/UiLanguage.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace vistrel {
namespace {

struct LocaleCase
{
    const char* name;
    LANGID expected;
};

void PrintTo(const LocaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class LocaleMapping : public testing::TestWithParam<LocaleCase>
{
};

TEST_P(LocaleMapping, GivesTheWindowsIdentifier)
{
    const QLocale locale(QString::fromLatin1(GetParam().name));
    EXPECT_EQ(LangIdForLocale(locale), GetParam().expected)
        << GetParam().name << " -> " << locale.name().toStdString() << " got 0x" << std::hex
        << LangIdForLocale(locale);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LocaleMapping,
    testing::Values(LocaleCase{"de_DE", 0x0407}, LocaleCase{"de_AT", 0x0C07}, LocaleCase{"de_CH", 0x0807},
                    LocaleCase{"zh_CN", 0x0804}, LocaleCase{"zh_TW", 0x0404}, LocaleCase{"zh_HK", 0x0C04},
                    LocaleCase{"fr_FR", 0x040C}, LocaleCase{"fr_CA", 0x0C0C}, LocaleCase{"en_US", 0x0409},
                    LocaleCase{"en_GB", 0x0809}, LocaleCase{"ja_JP", 0x0411}, LocaleCase{"ru_RU", 0x0419},
                    LocaleCase{"it_IT", 0x0410}, LocaleCase{"es_ES", 0x0C0A}, LocaleCase{"es_MX", 0x080A},
                    LocaleCase{"pt_PT", 0x0816},
                    // A territory without a row of its own: the language's default sublanguage.
                    LocaleCase{"de_BE", 0x0407}, LocaleCase{"it_SM", 0x0410}, LocaleCase{"ko_KR", 0x0412},
                    LocaleCase{"pl_PL", 0x0415},
                    // The C locale and languages without an identifier: English.
                    LocaleCase{"C", 0x0409}, LocaleCase{"POSIX", 0x0409}, LocaleCase{"sw_KE", 0x0409}),
    [](const testing::TestParamInfo<LocaleCase>& info) { return std::string(info.param.name); });

TEST(LangIdParts, SplitIntoPrimaryAndSublanguage)
{
    EXPECT_EQ(PrimaryLangId(0x0C07), 0x07);
    EXPECT_EQ(SubLangId(0x0C07), 0x03);
    EXPECT_EQ(MakeLangId(0x0A, 0x03), 0x0C0A);
    EXPECT_EQ(PrimaryLangId(0xFFFF), 0x03FF);
}

} // namespace
} // namespace vistrel
