#include "controls/CRoundButtonST.h"

#include <QPainter>

namespace vistrel {
namespace {

constexpr qreal kCornerRadius = 4.0;   // an 8 x 8 corner ellipse

} // namespace

CRoundButtonST::CRoundButtonST(QWidget* parent)
    : CButtonST(parent)
{
}

void CRoundButtonST::DrawBackground(QPainter& painter, const QRect& rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(BackColour());
    painter.setPen(QPen(ShadowColour(), 1));
    painter.drawRoundedRect(rect.adjusted(0, 0, -1, -1), kCornerRadius, kCornerRadius);
    painter.restore();
}

void CRoundButtonST::DrawBorder(QPainter& painter, const QRect& rect)
{
    if (!IsDrawBorder())
        return;
    if (IsPressedNow()) {
        CButtonST::DrawBorder(painter, rect);   // the square sunken frame
        return;
    }
    if (!IsHovered())
        return;
    // The outline only; the hover background painted just before stays inside.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(ShadowColour(), 1));
    painter.drawRoundedRect(rect.adjusted(0, 0, -1, -1), kCornerRadius, kCornerRadius);
    painter.restore();
}

} // namespace vistrel
