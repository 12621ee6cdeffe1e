#pragma once

#include <cstdint>

class QLocale;

namespace vistrel {

// Windows language identifier: primary language in the low 10 bits, sublanguage in the high 6 bits.
using LANGID = std::uint16_t;

constexpr LANGID kPrimaryLanguageMask = 0x03FF;
constexpr LANGID kSublangNeutral = 0x00;
constexpr LANGID kSublangDefault = 0x01;
constexpr LANGID kLangIdEnglishUs = 0x0409;

constexpr LANGID PrimaryLangId(LANGID id) { return id & kPrimaryLanguageMask; }
constexpr LANGID SubLangId(LANGID id) { return static_cast<LANGID>(id >> 10); }
constexpr LANGID MakeLangId(LANGID primary, LANGID sublanguage)
{
    return static_cast<LANGID>((sublanguage << 10) | (primary & kPrimaryLanguageMask));
}

// The language the user interface is shown in, process-wide. Starts, during static
// initialisation, as the user's default language.
LANGID CurrentUiLanguage();
void SetCurrentUiLanguage(LANGID id);

// The user's default language: the system locale mapped to its Windows language identifier.
LANGID GetUserDefaultLangID();

// Maps any locale to its Windows language identifier: an exact language and territory row when
// there is one, else the language with its default sublanguage, else (C/POSIX or a language without
// an identifier of its own) English, United States.
LANGID LangIdForLocale(const QLocale& locale);

} // namespace vistrel
