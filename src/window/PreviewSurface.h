#pragma once

#include "capture/contract/Graph.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

namespace vistrel {

// The live picture inside the preview control: the renderer hands it frames and a placement from
// its streaming thread. Only the newest frame is kept, and at most one repaint is queued at a
// time, so a slow window never builds a backlog. While the surface is hidden (or minimized), or has
// not yet painted the frame it holds (covered), it asks for frames undecoded and decodes the newest
// one only when a paint comes, so a window that does not paint costs no decoding.
class PreviewSurface : public QWidget, public IVideoSurface
{
    Q_OBJECT

public:
    explicit PreviewSurface(QWidget* parent);

    void PlacementChanged(const VideoPlacement& placement) override;
    void PresentFrame(std::shared_ptr<const VideoFrame> frame) override;
    bool ReadyForFrame() const override;
    void PresentPending(std::shared_ptr<IPendingFrame> frame) override;
    // Windows: the system's video renderer draws into a child of this widget's own window.
    std::uintptr_t NativeWindow() override;

    // The state as the next paint will use it (window thread): the newest decoded frame, and whether a
    // newer one waits undecoded.
    VideoPlacement Placement() const;
    std::shared_ptr<const VideoFrame> LatestFrame() const;
    bool HasPendingFrame() const;
    // Frames painted so far (window thread).
    std::uint64_t PaintedFrames() const { return paintedFrames; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void RequestRepaint();
    // Decodes the pending frame, if any, into the latest one unless a newer frame came meanwhile.
    void DecodePending();

    mutable std::mutex mailboxLock;
    std::shared_ptr<const VideoFrame> latest;
    bool latestPainted = false;
    std::shared_ptr<IPendingFrame> pending;
    VideoPlacement placement;
    std::atomic<bool> shown {false};
    std::atomic<bool> repaintQueued {false};
    std::uint64_t paintedFrames = 0;
};

} // namespace vistrel
