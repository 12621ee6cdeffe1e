#pragma once

class QFont;
class QWidget;

namespace vistrel {

// The layout's places are fixed in dialog units for every language; a text wider than its control
// (a long translation) is drawn in a smaller face, down to kSmallestFitPoints, rather than clipped.
// Controls that wrap or draw their own text are left alone.
constexpr double kSmallestFitPoints = 6.0;

void FitTextToControl(QWidget* control, const QFont& dialogFont);

} // namespace vistrel
