#include "controls/WholeRadioButton.h"

namespace vistrel {

bool WholeRadioButton::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

} // namespace vistrel
