#include "window/TextFit.h"

#include "controls/CButtonST.h"
#include "controls/CXLabel.h"

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

namespace vistrel {

namespace {

constexpr double kFitStepPoints = 0.5;

// The width the control needs to show its text whole, in its current font; 0 for controls that
// manage on their own.
int NeededWidth(QWidget* control)
{
    if (auto* radio = qobject_cast<QRadioButton*>(control))
        return radio->text().isEmpty() ? 0 : radio->sizeHint().width();
    if (qobject_cast<CXLabel*>(control))
        return 0;   // draws and wraps its own text
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->wordWrap() || label->text().isEmpty() ? 0 : label->sizeHint().width();
    if (auto* box = qobject_cast<QGroupBox*>(control)) {
        if (box->title().isEmpty())
            return 0;
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        // The title needs its own width and the frame's corner on either side.
        return box->fontMetrics().horizontalAdvance(box->title()) + 2 * label.left();
    }
    return 0;
}

} // namespace

void FitTextToControl(QWidget* control, const QFont& dialogFont)
{
    if (!control || qobject_cast<CButtonST*>(control) || qobject_cast<CXLabel*>(control))
        return;
    control->setFont(dialogFont);
    QFont font = dialogFont;
    double points = font.pointSizeF();
    while (NeededWidth(control) > control->width() && points - kFitStepPoints >= kSmallestFitPoints) {
        points -= kFitStepPoints;
        font.setPointSizeF(points);
        control->setFont(font);
    }
}

} // namespace vistrel
