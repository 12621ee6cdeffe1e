#pragma once

#include <QLabel>

namespace vistrel {

// A static picture control. Qt greys a disabled label's picture; a disabled static picture on the
// platform is drawn unchanged, and so is this one.
class StaticPicture : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vistrel
