#pragma once

#include <QColor>
#include <QSlider>

namespace vistrel {

// A horizontal trackbar whose groove and ticks the style draws and whose thumb is one flat orange
// rectangle: darker under the cursor, lighter while dragged under the cursor, gray when disabled.
class CCustomDrawSliderCtrl : public QSlider
{
    Q_OBJECT

public:
    // Trackbar notification codes carried by Scroll.
    enum ScrollCode {
        LineUp = 0, LineDown = 1, PageUp = 2, PageDown = 3, ThumbPosition = 4, ThumbTrack = 5,
        Top = 6, Bottom = 7, EndTrack = 8
    };

    explicit CCustomDrawSliderCtrl(QWidget* parent = nullptr);

    static QColor PrimaryColour();
    static QColor LighterColour();
    static QColor DarkerColour();
    static QColor DisabledColour();

    QRect ThumbRect() const;                  // where the thumb is painted, in widget coordinates
    QColor ThumbColour() const;               // the colour the thumb gets when painted now

signals:
    // position = the slider position the notification refers to
    void Scroll(int code, int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void OnAction(int action);
    void OnReleased();

    bool clickPending = false;                // a press that did not grab the thumb awaits its release
};

} // namespace vistrel
