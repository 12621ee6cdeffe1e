#pragma once

#include <QFont>
#include <QRect>

namespace vistrel {

// Dialog base units of a font, as the platform derives them: x from the average width of the
// letters A-Z and a-z, y from the character height.
struct DialogBaseUnits
{
    int x = 0;
    int y = 0;
};

constexpr int kDialogFontPoints = 8;

// The application's font family at the dialog's 8 points.
QFont DialogFont();

DialogBaseUnits BaseUnitsFor(const QFont& font);

// Rounds a * b / c to the nearest integer, halves away from zero (the platform's MulDiv).
int MulDiv(int a, int b, int c);

// px_x = du * baseX / 4, px_y = du * baseY / 8, rounded to nearest.
QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base);
QSize DialogUnitsToPixels(const QSize& units, DialogBaseUnits base);

} // namespace vistrel
