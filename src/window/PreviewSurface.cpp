#include "window/PreviewSurface.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

namespace vistrel {

std::uintptr_t PreviewSurface::NativeWindow()
{
#if defined(Q_OS_WIN)
    return static_cast<std::uintptr_t>(winId());
#else
    return 0; // the in-process renderers paint through PresentFrame
#endif
}

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
        if (!newPlacement.visible) {
            latest.reset();
            pending.reset();
        }
    }
    RequestRepaint();
}

void PreviewSurface::PresentFrame(std::shared_ptr<const VideoFrame> frame)
{
    {
        std::lock_guard lock(mailboxLock);
        latest = std::move(frame);
        latestPainted = false;
        pending.reset();
    }
    RequestRepaint();
}

bool PreviewSurface::ReadyForFrame() const
{
    if (!shown)
        return false;
    std::lock_guard lock(mailboxLock);
    return !latest || latestPainted;
}

void PreviewSurface::PresentPending(std::shared_ptr<IPendingFrame> frame)
{
    {
        std::lock_guard lock(mailboxLock);
        pending = std::move(frame);
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

bool PreviewSurface::HasPendingFrame() const
{
    std::lock_guard lock(mailboxLock);
    return pending != nullptr;
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

void PreviewSurface::DecodePending()
{
    std::shared_ptr<IPendingFrame> toDecode;
    {
        std::lock_guard lock(mailboxLock);
        toDecode = std::move(pending);
        pending.reset();
    }
    if (!toDecode)
        return;
    // Decoded without the lock: the streaming thread may hand over a newer frame meanwhile.
    auto frame = toDecode->Decode();
    std::lock_guard lock(mailboxLock);
    if (frame && (!latest || frame->sequence > latest->sequence) && placement.visible) {
        latest = std::move(frame);
        latestPainted = false;
    }
}

void PreviewSurface::paintEvent(QPaintEvent*)
{
    DecodePending();
    std::shared_ptr<const VideoFrame> frame;
    VideoPlacement where;
    {
        std::lock_guard lock(mailboxLock);
        frame = latest;
        where = placement;
        // This is the paint the frame waited for, whether or not it can be drawn.
        latestPainted = true;
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

void PreviewSurface::showEvent(QShowEvent* event)
{
    shown = true;
    QWidget::showEvent(event);
}

// Also sent, spontaneously, when the window is minimized.
void PreviewSurface::hideEvent(QHideEvent* event)
{
    shown = false;
    QWidget::hideEvent(event);
}

} // namespace vistrel
