#include "app/UiLanguage.h"

#include <QLocale>

#include <algorithm>
#include <atomic>
#include <iterator>

namespace vistrel {
namespace {

struct TerritoryRow
{
    QLocale::Language language;
    QLocale::Territory territory;
    LANGID id;
};

// Full identifiers for the languages the program has tables for, in their common territories.
constexpr TerritoryRow kTerritoryRows[] = {
    {QLocale::English, QLocale::UnitedStates, 0x0409},
    {QLocale::English, QLocale::UnitedKingdom, 0x0809},
    {QLocale::English, QLocale::Australia, 0x0C09},
    {QLocale::English, QLocale::Canada, 0x1009},
    {QLocale::English, QLocale::NewZealand, 0x1409},
    {QLocale::English, QLocale::Ireland, 0x1809},
    {QLocale::English, QLocale::SouthAfrica, 0x1C09},
    {QLocale::English, QLocale::Jamaica, 0x2009},
    {QLocale::English, QLocale::Belize, 0x2809},
    {QLocale::English, QLocale::TrinidadAndTobago, 0x2C09},
    {QLocale::English, QLocale::Zimbabwe, 0x3009},
    {QLocale::English, QLocale::Philippines, 0x3409},
    {QLocale::English, QLocale::India, 0x4009},
    {QLocale::English, QLocale::Malaysia, 0x4409},
    {QLocale::English, QLocale::Singapore, 0x4809},
    {QLocale::Chinese, QLocale::Taiwan, 0x0404},
    {QLocale::Chinese, QLocale::China, 0x0804},
    {QLocale::Chinese, QLocale::HongKong, 0x0C04},
    {QLocale::Chinese, QLocale::Singapore, 0x1004},
    {QLocale::Chinese, QLocale::Macau, 0x1404},
    {QLocale::German, QLocale::Germany, 0x0407},
    {QLocale::German, QLocale::Switzerland, 0x0807},
    {QLocale::German, QLocale::Austria, 0x0C07},
    {QLocale::German, QLocale::Luxembourg, 0x1007},
    {QLocale::German, QLocale::Liechtenstein, 0x1407},
    {QLocale::Spanish, QLocale::Spain, 0x0C0A},
    {QLocale::Spanish, QLocale::Mexico, 0x080A},
    {QLocale::Spanish, QLocale::Guatemala, 0x100A},
    {QLocale::Spanish, QLocale::CostaRica, 0x140A},
    {QLocale::Spanish, QLocale::Panama, 0x180A},
    {QLocale::Spanish, QLocale::DominicanRepublic, 0x1C0A},
    {QLocale::Spanish, QLocale::Venezuela, 0x200A},
    {QLocale::Spanish, QLocale::Colombia, 0x240A},
    {QLocale::Spanish, QLocale::Peru, 0x280A},
    {QLocale::Spanish, QLocale::Argentina, 0x2C0A},
    {QLocale::Spanish, QLocale::Ecuador, 0x300A},
    {QLocale::Spanish, QLocale::Chile, 0x340A},
    {QLocale::Spanish, QLocale::Uruguay, 0x380A},
    {QLocale::Spanish, QLocale::Paraguay, 0x3C0A},
    {QLocale::Spanish, QLocale::Bolivia, 0x400A},
    {QLocale::Spanish, QLocale::ElSalvador, 0x440A},
    {QLocale::Spanish, QLocale::Honduras, 0x480A},
    {QLocale::Spanish, QLocale::Nicaragua, 0x4C0A},
    {QLocale::Spanish, QLocale::PuertoRico, 0x500A},
    {QLocale::Spanish, QLocale::UnitedStates, 0x540A},
    {QLocale::French, QLocale::France, 0x040C},
    {QLocale::French, QLocale::Belgium, 0x080C},
    {QLocale::French, QLocale::Canada, 0x0C0C},
    {QLocale::French, QLocale::Switzerland, 0x100C},
    {QLocale::French, QLocale::Luxembourg, 0x140C},
    {QLocale::French, QLocale::Monaco, 0x180C},
    {QLocale::Italian, QLocale::Italy, 0x0410},
    {QLocale::Italian, QLocale::Switzerland, 0x0810},
    {QLocale::Japanese, QLocale::Japan, 0x0411},
    {QLocale::Russian, QLocale::Russia, 0x0419},
    {QLocale::Russian, QLocale::Moldova, 0x0819},
    {QLocale::Portuguese, QLocale::Brazil, 0x0416},
    {QLocale::Portuguese, QLocale::Portugal, 0x0816},
    {QLocale::Dutch, QLocale::Netherlands, 0x0413},
    {QLocale::Dutch, QLocale::Belgium, 0x0813},
    {QLocale::Swedish, QLocale::Sweden, 0x041D},
    {QLocale::Swedish, QLocale::Finland, 0x081D},
    {QLocale::NorwegianNynorsk, QLocale::Norway, 0x0814},
};

struct LanguageRow
{
    QLocale::Language language;
    LANGID primary;
};

// Primary language identifiers; a territory without a row above takes the default sublanguage.
constexpr LanguageRow kLanguageRows[] = {
    {QLocale::Arabic, 0x01},     {QLocale::Bulgarian, 0x02},   {QLocale::Catalan, 0x03},
    {QLocale::Chinese, 0x04},    {QLocale::Czech, 0x05},       {QLocale::Danish, 0x06},
    {QLocale::German, 0x07},     {QLocale::Greek, 0x08},       {QLocale::English, 0x09},
    {QLocale::Spanish, 0x0A},    {QLocale::Finnish, 0x0B},     {QLocale::French, 0x0C},
    {QLocale::Hebrew, 0x0D},     {QLocale::Hungarian, 0x0E},   {QLocale::Icelandic, 0x0F},
    {QLocale::Italian, 0x10},    {QLocale::Japanese, 0x11},    {QLocale::Korean, 0x12},
    {QLocale::Dutch, 0x13},      {QLocale::NorwegianBokmal, 0x14}, {QLocale::NorwegianNynorsk, 0x14},
    {QLocale::Polish, 0x15},     {QLocale::Portuguese, 0x16},  {QLocale::Romanian, 0x18},
    {QLocale::Russian, 0x19},    {QLocale::Croatian, 0x1A},    {QLocale::Slovak, 0x1B},
    {QLocale::Albanian, 0x1C},   {QLocale::Swedish, 0x1D},     {QLocale::Thai, 0x1E},
    {QLocale::Turkish, 0x1F},    {QLocale::Urdu, 0x20},        {QLocale::Indonesian, 0x21},
    {QLocale::Ukrainian, 0x22},  {QLocale::Belarusian, 0x23},  {QLocale::Slovenian, 0x24},
    {QLocale::Estonian, 0x25},   {QLocale::Latvian, 0x26},     {QLocale::Lithuanian, 0x27},
    {QLocale::Persian, 0x29},    {QLocale::Vietnamese, 0x2A},  {QLocale::Hindi, 0x39},
};

std::atomic<LANGID>& CurrentLanguageSlot()
{
    static std::atomic<LANGID> slot{GetUserDefaultLangID()};
    return slot;
}

// Touched during static initialisation, so the language is the user's default from the start.
[[maybe_unused]] const bool currentLanguageInitialised = (CurrentLanguageSlot(), true);

} // namespace

LANGID LangIdForLocale(const QLocale& locale)
{
    const QLocale::Language language = locale.language();
    const QLocale::Territory territory = locale.territory();
    const auto exact = std::find_if(std::begin(kTerritoryRows), std::end(kTerritoryRows),
                                    [&](const TerritoryRow& row) {
                                        return row.language == language && row.territory == territory;
                                    });
    if (exact != std::end(kTerritoryRows)) {
        return exact->id;
    }
    const auto primary = std::find_if(std::begin(kLanguageRows), std::end(kLanguageRows),
                                      [&](const LanguageRow& row) { return row.language == language; });
    if (primary != std::end(kLanguageRows)) {
        return MakeLangId(primary->primary, kSublangDefault);
    }
    // C/POSIX and languages without an identifier of their own: the tables' own fallback language.
    return kLangIdEnglishUs;
}

LANGID GetUserDefaultLangID()
{
    return LangIdForLocale(QLocale::system());
}

LANGID CurrentUiLanguage()
{
    return CurrentLanguageSlot().load(std::memory_order_relaxed);
}

void SetCurrentUiLanguage(LANGID id)
{
    CurrentLanguageSlot().store(id, std::memory_order_relaxed);
}

} // namespace vistrel
