#include "window/NoticeLine.h"

#include <QMouseEvent>

namespace vistrel {

NoticeLine::NoticeLine(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("notice"));
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    setMargin(kMargin / 2);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QStringLiteral("QLabel#notice { background: %1; color: %2; border: 1px solid %3; }")
                      .arg(QColor(kBackground).name(), QColor(kText).name(), QColor(kBorder).name()));
    expiry.setSingleShot(true);
    expiry.setInterval(kShownMs);
    connect(&expiry, &QTimer::timeout, this, &NoticeLine::Dismiss);
    hide();
}

void NoticeLine::Show(Wording newWording, Lasting lasting)
{
    wording = std::move(newWording);
    setText(wording ? wording() : QString());
    PlaceOver(placedOver);
    show();
    raise();
    if (lasting == Stays)
        expiry.stop();
    else
        expiry.start();
}

void NoticeLine::Relabel()
{
    if (!wording)
        return;
    setText(wording());
    PlaceOver(placedOver);
}

void NoticeLine::Dismiss()
{
    expiry.stop();
    hide();
}

void NoticeLine::PlaceOver(const QRect& area)
{
    placedOver = area;
    if (area.isEmpty())
        return;
    const int width = area.width() - 2 * kMargin;
    const int wrapped = heightForWidth(width);
    const int height = wrapped > 0 ? wrapped : sizeHint().height();
    setGeometry(area.left() + kMargin, area.bottom() + 1 - kMargin - height, width, height);
}

void NoticeLine::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    Dismiss();
}

} // namespace vistrel
