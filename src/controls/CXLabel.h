#pragma once

#include "controls/LogFont.h"

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <optional>

class QPainter;
class QTimer;

namespace vistrel {

// A text label that paints itself: colours, a horizontal two-colour gradient, its own font description,
// emboss, blinking, see-through, rotated text and a click that opens a web or mail link or tells the
// parent. Every setter returns the label so calls chain.
class CXLabel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int LinkClickCode = 0x8200;       // the code LinkClicked carries
    static constexpr int kBlinkPeriodMs = 500;

    explicit CXLabel(QWidget* parent = nullptr);
    explicit CXLabel(const QString& text, QWidget* parent = nullptr);
    ~CXLabel() override;

    CXLabel& SetBackground(QColor colour, QColor gradientEnd = QColor(0, 0, 0), bool gradient = false);
    CXLabel& SetForeground(QColor colour);
    CXLabel& ShowText(const QString& text);
    CXLabel& SetBold(bool on);
    CXLabel& SetFace(const QString& face, int charset = 0);   // longer names are cut to 31 characters
    CXLabel& SetUnderlined(bool on);
    CXLabel& SetItalic(bool on);
    CXLabel& SetPointSize(int points);
    CXLabel& SetSunkenEdge(bool on);
    CXLabel& SetThinBorder(bool on);
    CXLabel& SetSeeThrough(bool on);
    CXLabel& BlinkText(bool on);
    CXLabel& BlinkBackground(bool on);
    CXLabel& MakeWebLink(bool on, bool notifyParent = false);
    CXLabel& SetHoverCursor(const QCursor& cursor);
    CXLabel& SetEmbossed(bool on, bool raised = true);
    CXLabel& SetAngle(int degrees, bool angleCentred = false);
    CXLabel& SetEmbossColour(QColor colour);
    CXLabel& SetLogFont(const LogFont& font);
    CXLabel& MakeMailLink(bool on, bool notifyParent = false);
    CXLabel& SetLinkTarget(const QString& target);

    // The static style: horizontal alignment (left, centre or right), word wrap for left-aligned text,
    // and "centre image" (one line centred both ways unless the text holds a "\r\n").
    void SetTextStyle(Qt::Alignment horizontal, bool wordWrap, bool centreImage);
    QString Text() const;

    const LogFont& GetLogFont() const { return logFont; }
    QFont LabelFont() const { return labelFont; }      // the font the label draws with
    int BlinkPhase() const { return blinkPhase; }
    void BlinkTick();                                  // one period of the blink timer

    // The fill of the gradient background: band colours from left to right over a rectangle.
    static void FillGradient(QPainter& painter, const QRect& rect, QColor left, QColor right);

signals:
    void LinkClicked(int controlId, int code);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    QSize sizeHint() const override;

private:
    enum class LinkKind { None, Web, Mail };
    enum class BlinkMode { None, Text, Background };

    void Redraw();
    void MakeFont();
    void ReadWidgetFont();
    void FontChanged();                                // a setter changed the description
    void UpdateFrame();
    void Draw(QPainter& painter, const QRect& client);
    int TextFlags(const QString& text) const;
    void StartBlink(BlinkMode mode);
    QColor FaceColour() const;

    QString text;
    QColor textColour;
    QColor embossColour {255, 255, 255};
    std::optional<QColor> ownBackground;               // the own background brush, when there is one
    LogFont logFont;
    QFont labelFont;
    bool fontCustomised = false;                       // a setter changed the font: stop following the widget font
    int blinkPhase = 0;
    bool blinkTimerStarted = false;
    QTimer* blinkTimer = nullptr;
    LinkKind linkKind = LinkKind::None;
    bool seeThrough = false;
    bool embossed = false;
    bool notifyParent = false;
    bool clickable = false;                            // a link was made: the label takes clicks
    bool angleCentred = false;
    BlinkMode blinkMode = BlinkMode::None;
    bool raised = true;
    bool gradient = false;
    QColor gradientEnd {0, 0, 0};
    QColor backgroundColour {0, 0, 0};
    QString linkTarget;
    bool sunkenEdge = false;
    bool thinBorder = false;
    Qt::Alignment horizontalAlignment = Qt::AlignLeft;
    bool wordWrap = true;
    bool centreImage = false;
};

} // namespace vistrel
