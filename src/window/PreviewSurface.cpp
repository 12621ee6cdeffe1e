#include "window/PreviewSurface.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

namespace vistrel {

PreviewSurface::PreviewSurface(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void PreviewSurface::PlacementChanged(const VideoPlacement& newPlacement)
{
    {
        std::lock_guard lock(mailboxLock);
        placement = newPlacement;
        if (!newPlacement.visible)
            latest.reset();
    }
    RequestRepaint();
}

void PreviewSurface::PresentFrame(std::shared_ptr<const VideoFrame> frame)
{
    {
        std::lock_guard lock(mailboxLock);
        latest = std::move(frame);
    }
    RequestRepaint();
}

VideoPlacement PreviewSurface::Placement() const
{
    std::lock_guard lock(mailboxLock);
    return placement;
}

std::shared_ptr<const VideoFrame> PreviewSurface::LatestFrame() const
{
    std::lock_guard lock(mailboxLock);
    return latest;
}

void PreviewSurface::RequestRepaint()
{
    if (repaintQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaintQueued = false;
            update();
        },
        Qt::QueuedConnection);
}

void PreviewSurface::paintEvent(QPaintEvent*)
{
    std::shared_ptr<const VideoFrame> frame;
    VideoPlacement where;
    {
        std::lock_guard lock(mailboxLock);
        frame = latest;
        where = placement;
    }
    if (!where.visible || !frame || frame->width <= 0 || frame->height <= 0 || where.width <= 0 || where.height <= 0)
        return;
    if (frame->stride < frame->width * 4 || frame->pixels.size() < std::size_t(frame->stride) * std::size_t(frame->height))
        return;
    // Borrows the frame's pixels; the shared pointer keeps them alive until the paint ends.
    const QImage image(frame->pixels.data(), frame->width, frame->height, frame->stride, QImage::Format_RGB32);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(where.left, where.top, where.width, where.height), image);
    ++paintedFrames;
}

} // namespace vistrel
