#include "controls/CCustomDrawSliderCtrl.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QStyleOptionSlider>

#include <algorithm>
#include <array>
#include <utility>

namespace vistrel {
namespace {

constexpr double kLumaRaise = 1.5;   // +50 % luminance
constexpr double kLumaLower = 0.5;   // -50 % luminance

QColor AdjustLuma(QColor colour, double factor)
{
    float hue = 0, saturation = 0, lightness = 0, alpha = 0;
    colour.getHslF(&hue, &saturation, &lightness, &alpha);
    lightness = std::clamp(static_cast<float>(lightness * factor), 0.0f, 1.0f);
    // Rounded to 8-bit components, the precision the thumb is painted with.
    return QColor(QColor::fromHslF(hue, saturation, lightness, alpha).rgb());
}

// Slider actions and the trackbar notification each one stands for.
constexpr std::array<std::pair<int, int>, 7> kActionCodes {{
    {QAbstractSlider::SliderSingleStepSub, CCustomDrawSliderCtrl::LineUp},
    {QAbstractSlider::SliderSingleStepAdd, CCustomDrawSliderCtrl::LineDown},
    {QAbstractSlider::SliderPageStepSub, CCustomDrawSliderCtrl::PageUp},
    {QAbstractSlider::SliderPageStepAdd, CCustomDrawSliderCtrl::PageDown},
    {QAbstractSlider::SliderMove, CCustomDrawSliderCtrl::ThumbTrack},
    {QAbstractSlider::SliderToMinimum, CCustomDrawSliderCtrl::Top},
    {QAbstractSlider::SliderToMaximum, CCustomDrawSliderCtrl::Bottom},
}};

constexpr std::array<int, 8> kNavigationKeys {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down,
                                              Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};

} // namespace

CCustomDrawSliderCtrl::CCustomDrawSliderCtrl(QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    // Hover events make the style repaint when the cursor crosses the thumb, so its look follows.
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractSlider::actionTriggered, this, &CCustomDrawSliderCtrl::OnAction);
    connect(this, &QAbstractSlider::sliderReleased, this, &CCustomDrawSliderCtrl::OnReleased);
    connect(this, &QAbstractSlider::sliderMoved, this, [this](int position) {
        if (!hasTracking())
            emit Scroll(ThumbTrack, position);
    });
}

QColor CCustomDrawSliderCtrl::PrimaryColour()
{
    return QColor(255, 128, 0);
}

QColor CCustomDrawSliderCtrl::LighterColour()
{
    return AdjustLuma(PrimaryColour(), kLumaRaise);
}

QColor CCustomDrawSliderCtrl::DarkerColour()
{
    return AdjustLuma(PrimaryColour(), kLumaLower);
}

QColor CCustomDrawSliderCtrl::DisabledColour()
{
    return QColor(160, 160, 160);
}

QRect CCustomDrawSliderCtrl::ThumbRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

QColor CCustomDrawSliderCtrl::ThumbColour() const
{
    if (!isEnabled())
        return DisabledColour();
    if (!ThumbRect().contains(mapFromGlobal(QCursor::pos())))
        return PrimaryColour();
    return isSliderDown() ? LighterColour() : DarkerColour();
}

void CCustomDrawSliderCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    // The style draws groove and ticks; the thumb is ours.
    option.subControls = QStyle::SC_SliderGroove;
    if (tickPosition() != QSlider::NoTicks)
        option.subControls |= QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    painter.fillRect(ThumbRect(), ThumbColour());
    if (hasFocus()) {
        // A dotted frame round the control, as the platform's trackbar draws it, whether the focus
        // came by keyboard or by mouse: the slider that takes the arrow keys must be seen.
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CCustomDrawSliderCtrl::OnAction(int action)
{
    if (action == SliderMove && !hasTracking())
        return;   // reported by sliderMoved while dragging
    const auto* found = std::find_if(kActionCodes.begin(), kActionCodes.end(),
                                     [action](const auto& row) { return row.first == action; });
    // The action has already moved the slider position; the value follows after this signal.
    if (found != kActionCodes.end())
        emit Scroll(found->second, sliderPosition());
}

void CCustomDrawSliderCtrl::OnReleased()
{
    emit Scroll(ThumbPosition, sliderPosition());
    emit Scroll(EndTrack, sliderPosition());
}

void CCustomDrawSliderCtrl::mousePressEvent(QMouseEvent* event)
{
    QSlider::mousePressEvent(event);
    clickPending = event->isAccepted() && !isSliderDown();
}

void CCustomDrawSliderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    const bool pending = clickPending;
    clickPending = false;
    QSlider::mouseReleaseEvent(event);
    // A click on the channel ends its paging here; a drag ends through sliderReleased.
    if (pending)
        emit Scroll(EndTrack, sliderPosition());
}

void CCustomDrawSliderCtrl::keyReleaseEvent(QKeyEvent* event)
{
    const bool navigation = std::find(kNavigationKeys.begin(), kNavigationKeys.end(), event->key())
        != kNavigationKeys.end();
    if (navigation && !event->isAutoRepeat() && isEnabled())
        emit Scroll(EndTrack, sliderPosition());
    QSlider::keyReleaseEvent(event);
}

} // namespace vistrel
