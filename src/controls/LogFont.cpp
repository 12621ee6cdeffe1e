#include "controls/LogFont.h"

#include <algorithm>

namespace vistrel {

void SetFaceName(LogFont& font, QStringView face)
{
    qsizetype units = std::min<qsizetype>(face.size(), LogFont::kFaceUnits - 1);
    // A cut inside a surrogate pair would leave half a character behind.
    if (units > 0 && units < face.size() && face.at(units - 1).isHighSurrogate())
        --units;
    std::fill(std::begin(font.faceName), std::end(font.faceName), u'\0');
    std::copy_n(face.utf16(), units, font.faceName);
}

QString FaceName(const LogFont& font)
{
    const auto* end = std::find(std::begin(font.faceName), std::end(font.faceName), u'\0');
    return QString::fromUtf16(font.faceName, end - std::begin(font.faceName));
}

} // namespace vistrel
