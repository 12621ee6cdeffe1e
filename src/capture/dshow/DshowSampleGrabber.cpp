#include "capture/dshow/DshowSampleGrabber.h"

#include <wrl/client.h>

#include <mutex>
#include <utility>

#include "capture/dshow/ComObject.h"
#include "capture/dshow/DshowFilter.h"
#include "capture/dshow/MediaTypes.h"
#include "capture/dshow/QeditInterfaces.h"

namespace vistrel::dshow {
namespace {

using Microsoft::WRL::ComPtr;

// The platform's callback object: forwards each sample to the contract's callback. Taking the callback
// away waits for a delivery in progress, so the engine may free its callback right after.
class GrabberCallback final : public ComObject<::ISampleGrabberCB> {
public:
    void Forward(vistrel::ISampleGrabberCB* callback, std::int32_t callbackMode)
    {
        const std::lock_guard lock(mutex);
        target = callback;
        mode = callbackMode;
    }

    STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override
    {
        const std::lock_guard lock(mutex);
        if (!target || mode != 0 || !sample)
            return S_OK;
        BYTE* bytes = nullptr;
        if (FAILED(sample->GetPointer(&bytes)))
            return S_OK;
        vistrel::MediaSample forwarded;
        forwarded.data = bytes;
        forwarded.length = sample->GetActualDataLength();
        forwarded.time = sampleTime;
        return target->SampleCB(sampleTime, forwarded);
    }
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, LONG length) override
    {
        const std::lock_guard lock(mutex);
        if (!target || mode != 1)
            return S_OK;
        return target->BufferCB(sampleTime, buffer, std::int32_t(length));
    }

private:
    ~GrabberCallback() override = default;

    std::mutex mutex;
    vistrel::ISampleGrabberCB* target = nullptr;
    std::int32_t mode = 0;
};

class SampleGrabber final : public vistrel::ISampleGrabber {
public:
    SampleGrabber(ComPtr<::IBaseFilter> filter, ComPtr<::ISampleGrabber> native)
        : filter(WrapFilter(std::move(filter))), native(std::move(native))
    {
        callback.Attach(new GrabberCallback);
    }
    ~SampleGrabber() override { native->SetCallback(nullptr, 0); }

    vistrel::HRESULT SetCallback(vistrel::ISampleGrabberCB* target, std::int32_t mode) override
    {
        callback->Forward(target, mode);
        return native->SetCallback(target ? callback.Get() : nullptr, mode);
    }
    std::shared_ptr<vistrel::IBaseFilter> AsFilter() override { return filter; }

private:
    std::shared_ptr<vistrel::IBaseFilter> filter;
    ComPtr<::ISampleGrabber> native;
    ComPtr<GrabberCallback> callback;
};

} // namespace

vistrel::HRESULT CreateSampleGrabber(std::shared_ptr<vistrel::ISampleGrabber>* grabber)
{
    if (!grabber)
        return E_POINTER;
    ComPtr<::IBaseFilter> filter;
    ::HRESULT hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &filter);
    if (FAILED(hr))
        return hr;
    ComPtr<::ISampleGrabber> native;
    hr = filter.As(&native);
    if (FAILED(hr))
        return hr;
    *grabber = std::make_shared<SampleGrabber>(std::move(filter), std::move(native));
    return S_OK;
}

vistrel::HRESULT CreateNullRenderer(std::shared_ptr<vistrel::IBaseFilter>* renderer)
{
    if (!renderer)
        return E_POINTER;
    ComPtr<::IBaseFilter> filter;
    const ::HRESULT hr = CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &filter);
    if (FAILED(hr))
        return hr;
    *renderer = WrapFilter(std::move(filter));
    return S_OK;
}

} // namespace vistrel::dshow
