#include "window/DialogUnits.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include <array>

#include <cstdint>
#include <cstdlib>

namespace vistrel {

namespace {
constexpr int kUnitsPerBaseX = 4;
constexpr int kUnitsPerBaseY = 8;
constexpr int kLettersInSample = 26;

// Latin faces for the dialog where the desktop's own face is a CJK one, most common first.
constexpr std::array<const char*, 7> kLatinFaces {"DejaVu Sans", "Noto Sans", "Liberation Sans", "Cantarell",
                                                  "Segoe UI", "Tahoma", "Arial"};

bool IsCjkFace(const QString& family)
{
    const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(family);
    for (QFontDatabase::WritingSystem cjk : {QFontDatabase::Japanese, QFontDatabase::SimplifiedChinese,
                                             QFontDatabase::TraditionalChinese, QFontDatabase::Korean}) {
        if (systems.contains(cjk))
            return true;
    }
    return false;
}

} // namespace

QFont DialogFont()
{
    QFont font = QApplication::font();
    font.setPointSize(kDialogFontPoints);
    // Under a Chinese or Japanese locale the desktop's face is a CJK one, whose tall lines and own Latin
    // letters would make every dialog unit larger: the window would open larger than in the other
    // languages. The layout is measured in a Latin face, and the CJK face draws what that one lacks.
    const QString family = QFontInfo(font).family();
    if (!IsCjkFace(family))
        return font;
    for (const char* latin : kLatinFaces) {
        const QString face = QString::fromLatin1(latin);
        if (QFontDatabase::hasFamily(face) && !IsCjkFace(face)) {
            font.setFamilies({face, family});
            return font;
        }
    }
    return font;
}

DialogBaseUnits BaseUnitsFor(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int sampleWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Half the width of the 26-letter pair, rounded up: the average width of one letter.
    return DialogBaseUnits {(sampleWidth / kLettersInSample + 1) / 2, metrics.ascent() + metrics.descent()};
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t half = std::llabs(c) / 2;
    const std::int64_t rounded = ((product < 0) != (c < 0)) ? (product - (c < 0 ? -half : half)) / c
                                                            : (product + (c < 0 ? -half : half)) / c;
    return static_cast<int>(rounded);
}

QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base)
{
    const int left = MulDiv(units.x(), base.x, kUnitsPerBaseX);
    const int top = MulDiv(units.y(), base.y, kUnitsPerBaseY);
    const int right = MulDiv(units.x() + units.width(), base.x, kUnitsPerBaseX);
    const int bottom = MulDiv(units.y() + units.height(), base.y, kUnitsPerBaseY);
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnitsToPixels(const QSize& units, DialogBaseUnits base)
{
    return QSize(MulDiv(units.width(), base.x, kUnitsPerBaseX), MulDiv(units.height(), base.y, kUnitsPerBaseY));
}

} // namespace vistrel
