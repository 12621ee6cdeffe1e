#pragma once

#include "window/ReasonText.h"

#include <QLabel>
#include <QTimer>

namespace vistrel {

// A line of text over the foot of the live picture that tells the user what went wrong without a
// box (a still that never came, a still that was refused): nothing waits for an answer, so nothing
// can change under a nested event loop. It goes after a while, on a click, or when a still arrives.
class NoticeLine : public QLabel
{
    Q_OBJECT

public:
    static constexpr int kShownMs = 10000;
    static constexpr int kMargin = 8;
    static constexpr QRgb kBackground = qRgb(255, 244, 206);
    static constexpr QRgb kBorder = qRgb(214, 160, 0);
    static constexpr QRgb kText = qRgb(64, 40, 0);

    enum Lasting { GoesAfterAWhile, Stays };

    explicit NoticeLine(QWidget* parent);

    // A notice that stays (something the user has to mend) goes only on a click or the next notice.
    // The wording is asked again when the language changes.
    void Show(Wording wording, Lasting lasting = GoesAfterAWhile);
    void Dismiss();
    // Puts the notice showing into the language of the moment.
    void Relabel();
    // Lays the line over the foot of `area` (parent coordinates).
    void PlaceOver(const QRect& area);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QTimer expiry;
    QRect placedOver;
    Wording wording;
};

} // namespace vistrel
