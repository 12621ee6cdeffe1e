#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPushButton>

#include <array>
#include <utility>

class QPainter;

namespace vistrel {

// A flat push button that paints itself: three background/caption colour pairs (hot, focus, normal),
// an optional icon or bitmap left of (or centred without) the caption, thin hover and pressed frames.
// The button keeps its own copy of every image it is given (Qt's implicit sharing makes the copy cheap;
// the caller's object may be changed or dropped afterwards without affecting the button).
class CButtonST : public QPushButton
{
    Q_OBJECT

public:
    enum ColorSlot { HotBack = 0, HotText = 1, NormalBack = 2, NormalText = 3, FocusBack = 4, FocusText = 5 };
    enum ImageResult { ImageOk = 0, ImageInvalid = 1, MaskFailed = 2 };
    static constexpr double kDisabledBitmapOpacity = 0.5;

    explicit CButtonST(QWidget* parent = nullptr);
    ~CButtonST() override;

    ImageResult SetIcon(const QPixmap& icon);       // null pixmap = no image
    ImageResult SetBitmap(const QImage& bitmap);    // null image = no image; pure black is transparent
    void SetColor(ColorSlot slot, QColor colour);
    QColor GetColor(ColorSlot slot) const;
    void SetDrawBorder(bool on);
    void SetPressedOffset(int x, int y);
    void SetDefault(bool isDefault);                // default push button: Enter in a dialog clicks it

    void SetShowDisabledBitmap(bool on);            // dimmed look for a bitmap while disabled (default on)
    bool IsHovered() const { return hover; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

    virtual void DrawBackground(QPainter& painter, const QRect& rect);
    virtual void DrawBorder(QPainter& painter, const QRect& rect);
    virtual void DrawImageIcon(QPainter& painter, bool hasCaption, const QRect& itemRect, QRect& captionRect,
                               bool pressed, bool disabled);
    virtual void DrawImageBitmap(QPainter& painter, bool hasCaption, const QRect& itemRect, QRect& captionRect,
                                 bool pressed, bool disabled);
    virtual void DrawCaption(QPainter& painter, const QString& text, const QRect& itemRect, const QRect& captionRect,
                             bool pressed, bool disabled);

    // The colour pair in effect: hot (hover or pressed) before focus before normal.
    QColor BackColour() const;
    QColor TextColour() const;
    bool IsDrawBorder() const { return drawBorder; }
    bool IsPressedNow() const { return pressed; }
    QColor ShadowColour() const;                    // the system's button shadow
    QColor HighlightColour() const;                 // the system's button highlight

private:
    QRect PlaceImage(QSize imageSize, bool hasCaption, const QRect& itemRect, QRect& captionRect, bool pressed) const;
    void ClearImage();
    void ResetColours(const QPalette& system);
    std::pair<QRgb, QRgb> SystemColours() const;    // the application's button face and text
    void SetHover(bool on);
    void MoveFocusOnDisable();

    bool showDisabledBitmap = true;
    int imageMargin = 3;
    QPoint pressedOffset {1, 1};
    bool hover = false;
    bool pressed = false;
    bool focused = false;
    bool disabled = false;
    bool drawBorder = true;
    std::array<QColor, 6> colours;
    std::pair<QRgb, QRgb> systemColours;            // the system colours the slots were last reset from

    QPixmap icon;                                   // at most one of icon and bitmap is set
    QSize iconSize;
    QImage bitmap;                                  // as given, opaque
    QPixmap bitmapMasked;                           // transparent where the bitmap was pure black
};

} // namespace vistrel
