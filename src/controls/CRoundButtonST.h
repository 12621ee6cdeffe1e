#pragma once

#include "controls/CButtonST.h"

namespace vistrel {

// The flat button with a rounded background (8 x 8 corner ellipse, shadow-coloured outline) and a
// rounded hover outline. The corners outside the rounded shape show whatever lies behind the button.
class CRoundButtonST : public CButtonST
{
    Q_OBJECT

public:
    explicit CRoundButtonST(QWidget* parent = nullptr);

protected:
    void DrawBackground(QPainter& painter, const QRect& rect) override;
    void DrawBorder(QPainter& painter, const QRect& rect) override;
};

} // namespace vistrel
