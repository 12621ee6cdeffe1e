#pragma once

#include <QRadioButton>

namespace vistrel {

// A radio button that takes the click anywhere on its control rectangle, as the platform's do; Qt's
// own reacts only on the indicator and the text.
class WholeRadioButton : public QRadioButton
{
    Q_OBJECT

public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override;
};

} // namespace vistrel
