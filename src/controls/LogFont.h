#pragma once

#include <QStringView>
#include <QString>

#include <cstdint>

namespace vistrel {

// A complete logical font description, laid out like the platform's LOGFONTW so a description can be
// kept, copied and handed around whole. Height follows the platform's rule: negative = character height
// in pixels, positive = cell height in pixels, 0 = the default size.
struct LogFont
{
    static constexpr int kFaceUnits = 32;            // 31 characters and the terminator

    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0;                     // tenths of a degree, counter-clockwise
    std::int32_t orientation = 0;
    std::int32_t weight = 400;                       // 400 normal, 700 bold
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    char16_t faceName[kFaceUnits] = {};
};

// Copies at most kFaceUnits - 1 units of face (never half a surrogate pair) and terminates the name.
void SetFaceName(LogFont& font, QStringView face);
QString FaceName(const LogFont& font);

} // namespace vistrel
