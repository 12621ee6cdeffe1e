#include "window/AnchorLayout.h"

namespace vistrel {

namespace {
constexpr int kWhole = 100;
}

void AnchorLayout::Add(QWidget* widget, Anchor anchor)
{
    items.push_back(Item {widget, anchor, widget->geometry()});
}

void AnchorLayout::Capture(QSize clientSize)
{
    origin = clientSize;
    for (Item& item : items) {
        if (item.widget)
            item.initial = item.widget->geometry();
    }
}

QRect AnchorLayout::Anchored(const QRect& initial, const Anchor& anchor, QSize delta)
{
    QRect rect = initial.translated(delta.width() * anchor.moveX / kWhole, delta.height() * anchor.moveY / kWhole);
    rect.setSize(initial.size() + QSize(delta.width() * anchor.growX / kWhole, delta.height() * anchor.growY / kWhole));
    return rect;
}

void AnchorLayout::Apply(QSize clientSize) const
{
    if (!origin.isValid())
        return;
    const QSize delta = clientSize - origin;
    for (const Item& item : items) {
        if (!item.widget)
            continue;
        const QRect target = Anchored(item.initial, item.anchor, delta);
        if (item.widget->geometry() != target)
            item.widget->setGeometry(target);
    }
}

} // namespace vistrel
