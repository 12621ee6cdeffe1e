#pragma once

#include "window/LayoutTable.h"

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

namespace vistrel {

// Moves and stretches controls by their anchors when the client area changes size: a control
// moves by moveX % of dx and grows by growX % of dx (likewise in y), dx and dy counted from the
// client size at the moment the geometry was captured.
class AnchorLayout
{
public:
    void Add(QWidget* widget, Anchor anchor);
    // Takes every added control's present geometry and the client size as the starting point.
    void Capture(QSize clientSize);
    void Apply(QSize clientSize) const;

    // The rectangle of a control that started at initial, for a client-size change of delta.
    static QRect Anchored(const QRect& initial, const Anchor& anchor, QSize delta);

private:
    struct Item
    {
        QPointer<QWidget> widget;
        Anchor anchor;
        QRect initial;
    };
    std::vector<Item> items;
    QSize origin;
};

} // namespace vistrel
