#pragma once
#include <cstdint>
#include <memory>

#include "capture/contract/Graph.h"
#include "capture/engine/CSGCallback.h"

namespace vistrel {

// The running graph of an attached scanner: preview branch to the default renderer, still branch
// through the "SG_Still" grabber into the "Null Render" renderer.
struct CaptureGraph {
    std::shared_ptr<IBaseFilter> sourceFilter;   // the same filter as deviceFilter
    std::shared_ptr<IBaseFilter> deviceFilter;
    std::int32_t callbackMode = 0;
    void* callbackContext = nullptr;
    StillFrameHandler stillHandler = nullptr;
    std::shared_ptr<ICaptureGraphBuilder2> builder;
    std::shared_ptr<IGraphBuilder> graph;
    std::shared_ptr<ISampleGrabber> stillGrabber;
    CSGCallback stillCallback;
    bool stillWanted = false;
    bool hasStillPin = false;
};

constexpr const char* kDeviceSourceName = "Device Source";
constexpr const char* kStillGrabberName = "SG_Still";
constexpr const char* kNullRendererName = "Null Render";

} // namespace vistrel
