#include "controls/CButtonST.h"

#include "controls/EmbossedImage.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vistrel {
namespace {

constexpr QRgb kTransparentColour = 0xFF000000u;   // pure black, opaque
constexpr int kCaptionFlags = Qt::AlignHCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
constexpr int kUnboundedHeight = 1 << 20;

} // namespace

CButtonST::CButtonST(QWidget* parent)
    : QPushButton(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    ResetColours(palette());
    // A click leaves the focus on the button, whatever started it.
    connect(this, &QAbstractButton::clicked, this, [this] { setFocus(Qt::OtherFocusReason); });
}

CButtonST::~CButtonST() = default;

CButtonST::ImageResult CButtonST::SetIcon(const QPixmap& newIcon)
{
    ClearImage();
    if (!newIcon.isNull()) {
        icon = newIcon;
        iconSize = newIcon.deviceIndependentSize().toSize();
    }
    update();
    return ImageOk;
}

CButtonST::ImageResult CButtonST::SetBitmap(const QImage& newBitmap)
{
    ClearImage();
    if (newBitmap.isNull()) {
        update();
        return ImageOk;
    }
    const QImage opaque = newBitmap.convertToFormat(QImage::Format_RGB32);
    if (opaque.isNull())
        return ImageInvalid;
    QImage masked = opaque.convertToFormat(QImage::Format_ARGB32);
    if (masked.isNull())
        return MaskFailed;
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x) {
            if (line[x] == kTransparentColour)
                line[x] = 0u;
        }
    }
    bitmap = opaque;
    bitmapMasked = QPixmap::fromImage(masked);
    update();
    return ImageOk;
}

void CButtonST::SetColor(ColorSlot slot, QColor colour)
{
    colours.at(slot) = colour;
    update();
}

QColor CButtonST::GetColor(ColorSlot slot) const
{
    return colours.at(slot);
}

void CButtonST::SetDrawBorder(bool on)
{
    drawBorder = on;
    update();
}

void CButtonST::SetPressedOffset(int x, int y)
{
    pressedOffset = QPoint(x, y);
    update();
}

void CButtonST::SetDefault(bool isDefault)
{
    if (isDefault)
        setAutoDefault(true);
    setDefault(isDefault);
}

void CButtonST::SetShowDisabledBitmap(bool on)
{
    showDisabledBitmap = on;
    update();
}

void CButtonST::ClearImage()
{
    icon = QPixmap();
    iconSize = QSize();
    bitmap = QImage();
    bitmapMasked = QPixmap();
}

std::pair<QRgb, QRgb> CButtonST::SystemColours() const
{
    const QPalette system = QApplication::palette(this);
    return {system.color(QPalette::Active, QPalette::Button).rgba(),
            system.color(QPalette::Active, QPalette::ButtonText).rgba()};
}

void CButtonST::ResetColours(const QPalette& system)
{
    systemColours = SystemColours();
    const QColor face = system.color(QPalette::Active, QPalette::Button);
    const QColor text = system.color(QPalette::Active, QPalette::ButtonText);
    colours = {face, text, face, text, face, text};
}

void CButtonST::SetHover(bool on)
{
    if (hover == on)
        return;
    hover = on;
    update();
}

QColor CButtonST::BackColour() const
{
    if (hover || isDown())
        return colours[HotBack];
    return hasFocus() ? colours[FocusBack] : colours[NormalBack];
}

QColor CButtonST::TextColour() const
{
    if (hover || isDown())
        return colours[HotText];
    return hasFocus() ? colours[FocusText] : colours[NormalText];
}

QColor CButtonST::ShadowColour() const
{
    return palette().color(QPalette::Active, QPalette::Dark);
}

QColor CButtonST::HighlightColour() const
{
    return palette().color(QPalette::Active, QPalette::Light);
}

void CButtonST::paintEvent(QPaintEvent*)
{
    pressed = isDown();
    focused = hasFocus();
    disabled = !isEnabled();

    QPainter painter(this);
    const QRect item = rect();
    DrawBackground(painter, item);
    DrawBorder(painter, item);

    const QString caption = text();
    QRect captionRect = item;
    if (!icon.isNull())
        DrawImageIcon(painter, !caption.isEmpty(), item, captionRect, pressed, disabled);
    if (!bitmap.isNull())
        DrawImageBitmap(painter, !caption.isEmpty(), item, captionRect, pressed, disabled);
    if (!caption.isEmpty())
        DrawCaption(painter, caption, item, captionRect, pressed, disabled);
    // No focus rectangle: the focus colours show it.
}

void CButtonST::DrawBackground(QPainter& painter, const QRect& rect)
{
    painter.fillRect(rect, BackColour());
}

void CButtonST::DrawBorder(QPainter& painter, const QRect& rect)
{
    if (!drawBorder || !(pressed || hover))
        return;
    // Sunken while pressed, raised while hovered.
    const QColor topLeft = pressed ? ShadowColour() : HighlightColour();
    const QColor bottomRight = pressed ? HighlightColour() : ShadowColour();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(topLeft, 1));
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(QPen(bottomRight, 1));
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
    painter.restore();
}

QRect CButtonST::PlaceImage(QSize imageSize, bool hasCaption, const QRect& itemRect, QRect& captionRect,
                            bool isPressed) const
{
    QPoint topLeft = itemRect.topLeft();
    if (hasCaption) {
        topLeft.rx() += imageMargin;
        captionRect.setLeft(captionRect.left() + imageSize.width() + imageMargin);
    } else {
        topLeft.rx() += (itemRect.width() - imageSize.width()) / 2;
    }
    // Integer halves round toward zero, so an oversized image overhangs both sides alike.
    topLeft.ry() += (itemRect.height() - imageSize.height()) / 2;
    if (isPressed)
        topLeft += pressedOffset;
    return QRect(topLeft, imageSize);
}

void CButtonST::DrawImageIcon(QPainter& painter, bool hasCaption, const QRect& itemRect, QRect& captionRect,
                              bool isPressed, bool isDisabled)
{
    const QRect place = PlaceImage(iconSize, hasCaption, itemRect, captionRect, isPressed);
    if (isDisabled)
        DrawEmbossedImage(painter, place.topLeft(), icon.toImage(), HighlightColour(), ShadowColour());
    else
        painter.drawPixmap(place.topLeft(), icon);
}

void CButtonST::DrawImageBitmap(QPainter& painter, bool hasCaption, const QRect& itemRect, QRect& captionRect,
                                bool isPressed, bool isDisabled)
{
    const QRect place = PlaceImage(bitmap.size(), hasCaption, itemRect, captionRect, isPressed);
    if (!isDisabled || !showDisabledBitmap) {
        painter.drawPixmap(place.topLeft(), bitmapMasked);
        return;
    }
    // A picture (a captured thumbnail) stays recognisable while disabled: dimmed over the
    // background, not reduced to an embossed slab that looks as if the scan were gone.
    painter.save();
    painter.setOpacity(kDisabledBitmapOpacity);
    painter.drawPixmap(place.topLeft(), bitmapMasked);
    painter.restore();
}

void CButtonST::DrawCaption(QPainter& painter, const QString& caption, const QRect&, const QRect& captionRect,
                            bool isPressed, bool isDisabled)
{
    QRect area = captionRect;
    if (isPressed)
        area.translate(pressedOffset);
    const QSize measured = painter.fontMetrics()
                               .boundingRect(QRect(0, 0, area.width(), kUnboundedHeight), kCaptionFlags, caption)
                               .size();
    // The text block sits in the middle of the caption area both ways.
    const QRect block(area.left() + (area.width() - measured.width()) / 2,
                      area.top() + (area.height() - measured.height()) / 2, measured.width(), measured.height());
    painter.save();
    if (isDisabled) {
        painter.setPen(HighlightColour());
        painter.drawText(block.translated(1, 1), kCaptionFlags | Qt::TextDontClip, caption);
        painter.setPen(ShadowColour());
    } else {
        painter.setPen(TextColour());
    }
    painter.drawText(block, kCaptionFlags | Qt::TextDontClip, caption);
    painter.restore();
}

void CButtonST::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    // A drag that began elsewhere does not light the button.
    if ((QApplication::mouseButtons() & Qt::LeftButton) && !hover)
        return;
    SetHover(true);
}

void CButtonST::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    SetHover(false);
}

void CButtonST::mouseMoveEvent(QMouseEvent* event)
{
    QPushButton::mouseMoveEvent(event);
    if ((event->buttons() & Qt::LeftButton) && !hover)
        return;
    SetHover(rect().contains(event->position().toPoint()));
}

void CButtonST::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click is a press like the first: two clicks.
    mousePressEvent(event);
}

void CButtonST::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    SetHover(false);
}

void CButtonST::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            MoveFocusOnDisable();
            SetHover(false);
        }
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            SetHover(false);
        break;
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
        // Only a change of the system colours resets the slots; a palette set on the window does not.
        if (SystemColours() != systemColours) {
            ResetColours(palette());
            update();
        }
        break;
    default:
        break;
    }
}

void CButtonST::MoveFocusOnDisable()
{
    QWidget* parent = parentWidget();
    if (!parent)
        return;
    // The next tab stop after this button among the parent's controls, even when the focus is elsewhere.
    for (QWidget* next = nextInFocusChain(); next && next != this; next = next->nextInFocusChain()) {
        const bool tabStop = (next->focusPolicy() & Qt::TabFocus) && next->isEnabled()
            && next->isVisibleTo(parent->window()) && parent->isAncestorOf(next);
        if (tabStop) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    parent->setFocus(Qt::OtherFocusReason);
}

} // namespace vistrel
