#pragma once

#include "app/UiLanguage.h"

#include <array>

namespace vistrel {

// The hidden language chooser: item index -> language identifier (items are not localized).
struct LanguageChoiceRow
{
    const char* item;
    LANGID language;
};

extern const std::array<LanguageChoiceRow, 8> LanguageChoice;

} // namespace vistrel
