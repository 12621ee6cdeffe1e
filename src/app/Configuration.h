#pragma once

#include "app/UiLanguage.h"

#include <cstdint>
#include <optional>

class QVariant;

namespace vistrel {

inline constexpr const char* kSettingsOrganisation = "Vistrel";
inline constexpr const char* kSettingsApplication = "Vistrel";
inline constexpr const char* kUiLanguageKey = "Config/UILanguage";
// A stored language of 0xFFFF means "keep the user's default language".
constexpr std::uint32_t kUiLanguageUserDefault = 0xFFFF;

// Reads the configured user-interface language: per-user store first, the system-wide one as
// fallback. Read only; the store is never created or written. Absent or unreadable: nullopt.
std::optional<std::uint32_t> ReadUiLanguageSetting();

// The 32-bit value a stored setting stands for: a number, or text in decimal or 0x-hex.
// Anything else (negative, too large, not a number) counts as unreadable.
std::optional<std::uint32_t> ParseUiLanguageValue(const QVariant& stored);

// The start-up rule: a value that is present and, as a whole, not 0xFFFF selects the language in
// its low 16 bits; otherwise the language stays as it is.
std::optional<LANGID> UiLanguageFromSetting(std::optional<std::uint32_t> setting);

// Reads the setting once and applies the rule to CurrentUiLanguage.
void ApplyUiLanguageSetting();

} // namespace vistrel
