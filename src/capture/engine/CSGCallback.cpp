#include "capture/engine/CSGCallback.h"

namespace vistrel {

HRESULT CSGCallback::QueryInterface(const Guid& iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_ISampleGrabberCB || iid == IID_IUnknown) {
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

// The object lives and dies with its CaptureGraph; the counts are fixed answers.
std::uint32_t CSGCallback::AddRef()
{
    return 2;
}

std::uint32_t CSGCallback::Release()
{
    return 1;
}

HRESULT CSGCallback::SampleCB(double sampleTime, const MediaSample& sample)
{
    if (mode == 0 && sampleHandler)
        sampleHandler(context, sampleTime, sample);
    return S_OK;
}

HRESULT CSGCallback::BufferCB(double sampleTime, const std::uint8_t* buffer, std::int32_t length)
{
    if (mode == 1 && bufferHandler)
        bufferHandler(context, sampleTime, buffer, length);
    return S_OK;
}

} // namespace vistrel
