#pragma once

#include "capture/contract/Graph.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

namespace vistrel {

// The live picture inside the preview control: the renderer hands it frames and a placement from
// its streaming thread. Only the newest frame is kept, and at most one repaint is queued at a
// time, so a slow window never builds a backlog.
class PreviewSurface : public QWidget, public IVideoSurface
{
    Q_OBJECT

public:
    explicit PreviewSurface(QWidget* parent);

    void PlacementChanged(const VideoPlacement& placement) override;
    void PresentFrame(std::shared_ptr<const VideoFrame> frame) override;

    // The state as the next paint will use it (window thread).
    VideoPlacement Placement() const;
    std::shared_ptr<const VideoFrame> LatestFrame() const;
    // Frames painted so far (window thread).
    std::uint64_t PaintedFrames() const { return paintedFrames; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RequestRepaint();

    mutable std::mutex mailboxLock;
    std::shared_ptr<const VideoFrame> latest;
    VideoPlacement placement;
    std::atomic<bool> repaintQueued {false};
    std::uint64_t paintedFrames = 0;
};

} // namespace vistrel
