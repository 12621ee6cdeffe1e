#include "controls/CXLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace vistrel {
namespace {

constexpr int kMaxGradientBands = 100;
constexpr int kNormalWeight = 400;
constexpr int kBoldWeight = 700;
constexpr int kTenthsPerPoint = 10;
constexpr int kTenthsPerInch = 720;
constexpr int kMaxStretch = 4000;
const QString kLineBreak = QStringLiteral("\r\n");

// The platform's MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c)
{
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

} // namespace

CXLabel::CXLabel(QWidget* parent)
    : CXLabel(QString(), parent)
{
}

CXLabel::CXLabel(const QString& initialText, QWidget* parent)
    : QWidget(parent)
    , text(initialText)
    , textColour(palette().color(QPalette::Active, QPalette::WindowText))
    , blinkTimer(new QTimer(this))
{
    blinkTimer->setObjectName(QStringLiteral("blinkTimer"));
    blinkTimer->setInterval(kBlinkPeriodMs);
    connect(blinkTimer, &QTimer::timeout, this, &CXLabel::BlinkTick);
    setAttribute(Qt::WA_OpaquePaintEvent);
    ReadWidgetFont();
    MakeFont();
}

CXLabel::~CXLabel() = default;

void CXLabel::FillGradient(QPainter& painter, const QRect& rect, QColor left, QColor right)
{
    const int width = rect.width();
    if (width <= 0)
        return;
    const int bands = std::min(width, kMaxGradientBands);
    const int divisor = bands > 1 ? bands : 1;
    // Components in 1/256 steps, as integers, so every band's colour is exact and reproducible.
    int red = left.red() * 256;
    int green = left.green() * 256;
    int blue = left.blue() * 256;
    const int redStep = ((right.red() - left.red()) * 256) / divisor;
    const int greenStep = ((right.green() - left.green()) * 256) / divisor;
    const int blueStep = ((right.blue() - left.blue()) * 256) / divisor;
    const int bandWidth = width / divisor;
    const int rightEdge = rect.left() + width;
    int bandLeft = rect.left();
    for (int band = 0; band < bands; ++band) {
        const int bandRight = band == bands - 1 ? rightEdge : bandLeft + bandWidth;
        painter.fillRect(QRect(bandLeft, rect.top(), bandRight - bandLeft, rect.height()),
                         QColor(red / 256, green / 256, blue / 256));
        bandLeft = bandRight;
        red += redStep;
        green += greenStep;
        blue += blueStep;
    }
}

CXLabel& CXLabel::SetBackground(QColor colour, QColor end, bool on)
{
    backgroundColour = colour;
    gradientEnd = end;
    gradient = on;
    ownBackground.reset();
    if (!on)
        ownBackground = colour;
    Redraw();
    return *this;
}

CXLabel& CXLabel::SetForeground(QColor colour)
{
    textColour = colour;
    Redraw();
    return *this;
}

CXLabel& CXLabel::ShowText(const QString& newText)
{
    // A Qt widget exists from construction on, so the text is always taken.
    text = newText;
    updateGeometry();
    Redraw();
    return *this;
}

CXLabel& CXLabel::SetBold(bool on)
{
    logFont.weight = on ? kBoldWeight : kNormalWeight;
    FontChanged();
    return *this;
}

CXLabel& CXLabel::SetFace(const QString& face, int charset)
{
    SetFaceName(logFont, face);
    logFont.charSet = static_cast<std::uint8_t>(charset);
    FontChanged();
    return *this;
}

CXLabel& CXLabel::SetUnderlined(bool on)
{
    logFont.underline = on ? 1 : 0;
    FontChanged();
    return *this;
}

CXLabel& CXLabel::SetItalic(bool on)
{
    logFont.italic = on ? 1 : 0;
    FontChanged();
    return *this;
}

CXLabel& CXLabel::SetPointSize(int points)
{
    // What a point font made for the screen reports: character height in pixels, natural width.
    logFont.height = -MulDiv(points * kTenthsPerPoint, logicalDpiY(), kTenthsPerInch);
    logFont.width = 0;
    FontChanged();
    return *this;
}

CXLabel& CXLabel::SetSunkenEdge(bool on)
{
    sunkenEdge = on;
    UpdateFrame();
    return *this;
}

CXLabel& CXLabel::SetThinBorder(bool on)
{
    thinBorder = on;
    UpdateFrame();
    return *this;
}

CXLabel& CXLabel::SetSeeThrough(bool on)
{
    seeThrough = on;
    setAttribute(Qt::WA_OpaquePaintEvent, !on);
    Redraw();
    return *this;
}

void CXLabel::StartBlink(BlinkMode mode)
{
    blinkPhase = 0;
    blinkTimerStarted = true;
    blinkTimer->start();
    blinkMode = mode;
}

CXLabel& CXLabel::BlinkText(bool on)
{
    if (blinkTimerStarted)
        blinkTimer->stop();
    if (on)
        StartBlink(BlinkMode::Text);
    else
        blinkMode = BlinkMode::None;
    return *this;
}

CXLabel& CXLabel::BlinkBackground(bool on)
{
    if (blinkTimerStarted)
        blinkTimer->stop();
    if (on)
        StartBlink(BlinkMode::Background);
    return *this;
}

void CXLabel::BlinkTick()
{
    blinkPhase ^= 1;
    Redraw();
}

CXLabel& CXLabel::MakeWebLink(bool on, bool notify)
{
    linkKind = on ? LinkKind::Web : LinkKind::None;
    notifyParent = notify;
    clickable = on;
    return *this;
}

CXLabel& CXLabel::MakeMailLink(bool on, bool notify)
{
    linkKind = on ? LinkKind::Mail : LinkKind::None;
    notifyParent = notify;
    clickable = on;
    return *this;
}

CXLabel& CXLabel::SetHoverCursor(const QCursor& cursor)
{
    setCursor(cursor);
    return *this;
}

CXLabel& CXLabel::SetEmbossed(bool on, bool isRaised)
{
    embossed = on;
    raised = isRaised;
    Redraw();
    return *this;
}

CXLabel& CXLabel::SetAngle(int degrees, bool centred)
{
    logFont.escapement = degrees * 10;
    logFont.orientation = degrees * 10;
    angleCentred = centred;
    FontChanged();
    return *this;
}

CXLabel& CXLabel::SetEmbossColour(QColor colour)
{
    embossColour = colour;
    Redraw();
    return *this;
}

CXLabel& CXLabel::SetLogFont(const LogFont& font)
{
    logFont = font;
    // Whatever the caller left in the name, it ends inside the array.
    logFont.faceName[LogFont::kFaceUnits - 1] = u'\0';
    FontChanged();
    return *this;
}

CXLabel& CXLabel::SetLinkTarget(const QString& target)
{
    linkTarget = target;
    return *this;
}

void CXLabel::SetTextStyle(Qt::Alignment horizontal, bool wrap, bool centred)
{
    horizontalAlignment = horizontal & Qt::AlignHorizontal_Mask;
    wordWrap = wrap;
    centreImage = centred;
    Redraw();
}

QString CXLabel::Text() const
{
    return text;
}

void CXLabel::Redraw()
{
    // A see-through label is not opaque, so Qt repaints what lies behind it as well.
    update();
}

void CXLabel::FontChanged()
{
    fontCustomised = true;
    MakeFont();
    updateGeometry();
    Redraw();
}

void CXLabel::ReadWidgetFont()
{
    const QFont widgetFont = font();
    LogFont description;
    description.height = widgetFont.pixelSize() > 0
        ? -widgetFont.pixelSize()
        : -MulDiv(static_cast<int>(std::lround(widgetFont.pointSizeF() * kTenthsPerPoint)), logicalDpiY(),
                  kTenthsPerInch);
    description.weight = widgetFont.weight();
    description.italic = widgetFont.italic() ? 1 : 0;
    description.underline = widgetFont.underline() ? 1 : 0;
    description.strikeOut = widgetFont.strikeOut() ? 1 : 0;
    SetFaceName(description, widgetFont.family());
    logFont = description;
}

void CXLabel::MakeFont()
{
    QFont made = font();
    const QString face = FaceName(logFont);
    if (!face.isEmpty())
        made.setFamilies({face});
    if (logFont.height != 0)
        made.setPixelSize(std::abs(logFont.height));
    made.setWeight(logFont.weight > 0 ? static_cast<QFont::Weight>(std::clamp(logFont.weight, 1, 1000))
                                      : QFont::Normal);
    made.setItalic(logFont.italic != 0);
    made.setUnderline(logFont.underline != 0);
    made.setStrikeOut(logFont.strikeOut != 0);
    made.setStretch(QFont::Unstretched);
    if (logFont.width > 0) {
        const int natural = QFontMetrics(made).averageCharWidth();
        if (natural > 0)
            made.setStretch(std::clamp(logFont.width * 100 / natural, 1, kMaxStretch));
    }
    labelFont = made;
}

void CXLabel::UpdateFrame()
{
    const int margin = (thinBorder ? 1 : 0) + (sunkenEdge ? 1 : 0);
    setContentsMargins(margin, margin, margin, margin);
    update();
}

QColor CXLabel::FaceColour() const
{
    return palette().color(QPalette::Active, QPalette::Button);
}

int CXLabel::TextFlags(const QString& shown) const
{
    if (centreImage) {
        if (shown.contains(kLineBreak))
            return Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic;
        return Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    }
    int flags = Qt::AlignTop | Qt::TextShowMnemonic;
    if (horizontalAlignment & Qt::AlignHCenter)
        flags |= Qt::AlignHCenter | Qt::TextWordWrap;
    else if (horizontalAlignment & Qt::AlignRight)
        flags |= Qt::AlignRight | Qt::TextWordWrap;
    else
        flags |= Qt::AlignLeft | (wordWrap ? Qt::TextWordWrap : 0);
    if (shown.contains(QLatin1Char('\t')))
        flags |= Qt::TextExpandTabs;
    return flags;
}

namespace {

// Draws formatted text; a turned font turns the block about its top-left corner.
void DrawFormatted(QPainter& painter, const QRect& rect, int flags, const QString& shown, qreal degrees)
{
    if (degrees == 0.0) {
        painter.drawText(rect, flags, shown);
        return;
    }
    const QRect block = painter.boundingRect(rect, flags, shown);
    painter.save();
    painter.translate(block.topLeft());
    painter.rotate(-degrees);
    painter.drawText(QRect(QPoint(0, 0), block.size()), flags | Qt::TextDontClip, shown);
    painter.restore();
}

} // namespace

void CXLabel::Draw(QPainter& painter, const QRect& client)
{
    painter.setFont(labelFont);
    if (!seeThrough) {
        const bool backgroundOff = blinkMode == BlinkMode::Background && blinkPhase == 0;
        if (backgroundOff)
            painter.fillRect(client, FaceColour());
        else if (gradient)
            FillGradient(painter, client, backgroundColour, gradientEnd);
        else
            painter.fillRect(client, ownBackground.value_or(FaceColour()));
    }
    QColor ink = textColour;
    if (blinkMode == BlinkMode::Text && blinkPhase == 0)
        ink = ownBackground.value_or(QColor(0, 0, 0));   // the text vanishes in the off phase

    QString shown = text;
    shown.replace(kLineBreak, QStringLiteral("\n"));
    const qreal degrees = logFont.escapement / 10.0;
    painter.setPen(ink);
    if (angleCentred) {
        // One line, its baseline centred on the middle of the label.
        painter.save();
        painter.translate(client.left() + client.width() / 2, client.top() + client.height() / 2);
        painter.rotate(-degrees);
        const int advance = painter.fontMetrics().horizontalAdvance(shown);
        painter.drawText(QPointF(-advance / 2.0, 0.0), shown);
        painter.restore();
        return;
    }
    const int flags = TextFlags(text);
    DrawFormatted(painter, client, flags, shown, degrees);
    if (embossed) {
        painter.setPen(embossColour);
        const int offset = raised ? 1 : -1;
        DrawFormatted(painter, client.translated(offset, offset), flags, shown, degrees);
    }
}

void CXLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect outer = rect();
    if (thinBorder) {
        painter.setPen(palette().color(QPalette::Active, QPalette::Shadow));
        painter.drawRect(outer.adjusted(0, 0, -1, -1));
    }
    if (sunkenEdge) {
        const QRect edge = thinBorder ? outer.adjusted(1, 1, -1, -1) : outer;
        painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
        painter.drawLine(edge.topLeft(), edge.topRight());
        painter.drawLine(edge.topLeft(), edge.bottomLeft());
        painter.setPen(palette().color(QPalette::Active, QPalette::Light));
        painter.drawLine(edge.bottomLeft(), edge.bottomRight());
        painter.drawLine(edge.topRight(), edge.bottomRight());
    }

    const QRect client = contentsRect();
    if (client.isEmpty())
        return;
    if (seeThrough) {
        painter.setClipRect(client);
        Draw(painter, client);
        return;
    }
    // Composed off-screen and copied in one piece, so a blink or a new text never flickers.
    const qreal ratio = devicePixelRatioF();
    QPixmap buffer(client.size() * ratio);
    buffer.setDevicePixelRatio(ratio);
    {
        QPainter offscreen(&buffer);
        Draw(offscreen, QRect(QPoint(0, 0), client.size()));
    }
    painter.drawPixmap(client.topLeft(), buffer);
}

void CXLabel::mousePressEvent(QMouseEvent* event)
{
    // Without a link the label lets clicks through to what lies behind it.
    if (!clickable || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (notifyParent) {
        emit LinkClicked(property("controlId").toInt(), LinkClickCode);
    } else if (linkKind == LinkKind::Web) {
        QDesktopServices::openUrl(QUrl::fromUserInput(linkTarget.isEmpty() ? text : linkTarget));
    } else if (linkKind == LinkKind::Mail) {
        QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + text));
    }
    event->accept();
}

void CXLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange && !fontCustomised) {
        ReadWidgetFont();
        MakeFont();
        updateGeometry();
        update();
    } else if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        update();
    }
}

QSize CXLabel::sizeHint() const
{
    const QFontMetrics metrics(labelFont);
    QString shown = text;
    shown.replace(kLineBreak, QStringLiteral("\n"));
    const QSize textSize = metrics.size(Qt::TextShowMnemonic | Qt::TextExpandTabs, shown);
    const QMargins margins = contentsMargins();
    return textSize + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

} // namespace vistrel
