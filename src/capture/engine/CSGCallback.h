#pragma once
#include <cstdint>

#include "capture/contract/Graph.h"

namespace vistrel {

// Receives one still frame: (context, sample time in seconds, bytes valid during the call, byte count).
using StillFrameHandler = std::int32_t (*)(void* context, double sampleTime, const std::uint8_t* bytes,
                                           std::int32_t length);
using SampleFrameHandler = std::int32_t (*)(void* context, double sampleTime, const MediaSample& sample);

// The sample grabber's callback: forwards to a plain function with a context. It lives inside its
// CaptureGraph, so it is not reference-counted (AddRef 2, Release 1) and holds no changing state.
class CSGCallback : public ISampleGrabberCB {
public:
    std::int32_t mode = 0;                 // 0 forwards SampleCB, 1 forwards BufferCB
    void* context = nullptr;
    SampleFrameHandler sampleHandler = nullptr;
    StillFrameHandler bufferHandler = nullptr;

    HRESULT QueryInterface(const Guid& iid, void** out) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HRESULT SampleCB(double sampleTime, const MediaSample& sample) override;
    HRESULT BufferCB(double sampleTime, const std::uint8_t* buffer, std::int32_t length) override;
};

} // namespace vistrel
