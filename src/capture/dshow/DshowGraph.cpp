#include "capture/dshow/DshowGraph.h"

#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

#include "capture/dshow/ComGuid.h"
#include "capture/dshow/DshowFilter.h"
#include "capture/dshow/DshowGraphEvents.h"
#include "capture/dshow/MediaTypes.h"
#include "capture/dshow/WideText.h"

namespace vistrel::dshow {
namespace {

using Microsoft::WRL::ComPtr;

class MediaControl final : public vistrel::IMediaControl {
public:
    explicit MediaControl(ComPtr<::IMediaControl> native) : native(std::move(native)) {}

    vistrel::HRESULT Run() override { return native->Run(); }
    vistrel::HRESULT Stop() override { return native->Stop(); }
    vistrel::HRESULT GetState(std::uint32_t timeoutMs, vistrel::FilterState* state) override
    {
        OAFilterState s = State_Stopped;
        const ::HRESULT hr = native->GetState(LONG(timeoutMs), &s);
        if (state)
            *state = s == State_Running  ? vistrel::FilterState::Running
                     : s == State_Paused ? vistrel::FilterState::Paused
                                         : vistrel::FilterState::Stopped;
        return hr;
    }

private:
    ComPtr<::IMediaControl> native;
};

// The renderer's own window becomes a child of the surface's native window; the surface itself is
// not painted into, the system's renderer draws.
class VideoWindow final : public vistrel::IVideoWindow {
public:
    explicit VideoWindow(ComPtr<::IVideoWindow> native) : native(std::move(native)) {}

    vistrel::HRESULT put_Owner(vistrel::IVideoSurface* owner) override
    {
        return native->put_Owner(OAHWND(owner ? owner->NativeWindow() : 0));
    }
    vistrel::HRESULT put_MessageDrain(vistrel::IVideoSurface* drain) override
    {
        return native->put_MessageDrain(OAHWND(drain ? drain->NativeWindow() : 0));
    }
    vistrel::HRESULT put_WindowStyle(std::int32_t style) override { return native->put_WindowStyle(style); }
    vistrel::HRESULT SetWindowPosition(std::int32_t left, std::int32_t top, std::int32_t width,
                                       std::int32_t height) override
    {
        return native->SetWindowPosition(left, top, width, height);
    }
    vistrel::HRESULT put_Visible(std::int32_t visible) override { return native->put_Visible(visible); }

private:
    ComPtr<::IVideoWindow> native;
};

class FilterGraph final : public vistrel::IGraphBuilder {
public:
    explicit FilterGraph(ComPtr<::IGraphBuilder> native) : native(std::move(native)) {}

    ::IGraphBuilder* Native() const { return native.Get(); }

    vistrel::HRESULT AddFilter(const std::shared_ptr<vistrel::IBaseFilter>& filter, const std::string& name) override
    {
        ::IBaseFilter* nativeFilter = filter ? NativeFilter(*filter) : nullptr;
        if (!nativeFilter)
            return E_POINTER;
        return native->AddFilter(nativeFilter, WideFromUtf8(name).c_str());
    }
    vistrel::HRESULT RemoveFilter(const std::shared_ptr<vistrel::IBaseFilter>& filter) override
    {
        ::IBaseFilter* nativeFilter = filter ? NativeFilter(*filter) : nullptr;
        return nativeFilter ? native->RemoveFilter(nativeFilter) : E_POINTER;
    }
    vistrel::HRESULT EnumFilters(std::vector<std::shared_ptr<vistrel::IBaseFilter>>* filters) override
    {
        if (!filters)
            return E_POINTER;
        filters->clear();
        ComPtr<IEnumFilters> list;
        const ::HRESULT hr = native->EnumFilters(&list);
        if (FAILED(hr))
            return hr;
        ComPtr<::IBaseFilter> filter;
        while (list->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK)
            filters->push_back(WrapFilter(filter));
        return S_OK;
    }
    vistrel::HRESULT Disconnect(const std::shared_ptr<vistrel::IPin>& pin) override
    {
        ::IPin* nativePin = pin ? NativePin(*pin) : nullptr;
        return nativePin ? native->Disconnect(nativePin) : E_POINTER;
    }
    vistrel::HRESULT ConnectDirect(const std::shared_ptr<vistrel::IPin>& output, const std::shared_ptr<vistrel::IPin>& input,
                                   const vistrel::MediaType* type) override
    {
        ::IPin* out = output ? NativePin(*output) : nullptr;
        ::IPin* in = input ? NativePin(*input) : nullptr;
        if (!out || !in)
            return E_POINTER;
        if (!type)
            return native->ConnectDirect(out, in, nullptr);
        NativeMediaType nativeType(*type);
        return native->ConnectDirect(out, in, nativeType.get());
    }
    std::shared_ptr<vistrel::IMediaControl> QueryMediaControl() override
    {
        ComPtr<::IMediaControl> control;
        if (FAILED(native->QueryInterface(IID_IMediaControl, &control)))
            return nullptr;
        return std::make_shared<MediaControl>(std::move(control));
    }
    std::shared_ptr<vistrel::IVideoWindow> QueryVideoWindow() override
    {
        ComPtr<::IVideoWindow> window;
        if (FAILED(native->QueryInterface(IID_IVideoWindow, &window)))
            return nullptr;
        return std::make_shared<VideoWindow>(std::move(window));
    }
    // One for the graph's life: the handler set through one answer is the one cleared through the next.
    std::shared_ptr<vistrel::IMediaEventEx> QueryMediaEventEx() override
    {
        if (!events) {
            ComPtr<::IMediaEventEx> native;
            if (FAILED(this->native->QueryInterface(IID_IMediaEventEx, &native)))
                return nullptr;
            events = MakeGraphEvents(std::move(native));
        }
        return events;
    }

private:
    ComPtr<::IGraphBuilder> native;
    std::shared_ptr<vistrel::IMediaEventEx> events;
};

class CaptureGraphBuilder final : public vistrel::ICaptureGraphBuilder2 {
public:
    explicit CaptureGraphBuilder(ComPtr<::ICaptureGraphBuilder2> native) : native(std::move(native)) {}

    vistrel::HRESULT SetFiltergraph(const std::shared_ptr<vistrel::IGraphBuilder>& graph) override
    {
        ::IGraphBuilder* nativeGraph = graph ? NativeGraph(*graph) : nullptr;
        if (!nativeGraph)
            return E_POINTER;
        graphKept = graph;
        return native->SetFiltergraph(nativeGraph);
    }
    vistrel::HRESULT FindPin(const std::shared_ptr<vistrel::IBaseFilter>& filter, PinDirection direction,
                             const Guid* category, const Guid* majorType, bool unconnected, std::int32_t index,
                             std::shared_ptr<vistrel::IPin>* pin) override
    {
        ::IBaseFilter* nativeFilter = filter ? NativeFilter(*filter) : nullptr;
        if (!nativeFilter || !pin)
            return E_POINTER;
        const GUID nativeCategory = category ? ToGuid(*category) : GUID {};
        const GUID nativeType = majorType ? ToGuid(*majorType) : GUID {};
        ComPtr<::IPin> found;
        const ::HRESULT hr = native->FindPin(nativeFilter, direction == PinDirection::Output ? PINDIR_OUTPUT : PINDIR_INPUT,
                                             category ? &nativeCategory : nullptr, majorType ? &nativeType : nullptr,
                                             unconnected ? TRUE : FALSE, index, &found);
        if (SUCCEEDED(hr))
            *pin = WrapPin(found);
        return hr;
    }
    vistrel::HRESULT RenderStream(const Guid* category, const Guid* majorType,
                                  const std::shared_ptr<vistrel::IBaseFilter>& sourceFilter,
                                  const std::shared_ptr<vistrel::IPin>& sourcePin,
                                  const std::shared_ptr<vistrel::IBaseFilter>& intermediate,
                                  const std::shared_ptr<vistrel::IBaseFilter>& sink) override
    {
        IUnknown* source = sourcePin ? static_cast<IUnknown*>(NativePin(*sourcePin))
                           : sourceFilter ? static_cast<IUnknown*>(NativeFilter(*sourceFilter))
                                          : nullptr;
        if (!source)
            return E_POINTER;
        const GUID nativeCategory = category ? ToGuid(*category) : GUID {};
        const GUID nativeType = majorType ? ToGuid(*majorType) : GUID {};
        return native->RenderStream(category ? &nativeCategory : nullptr, majorType ? &nativeType : nullptr, source,
                                    intermediate ? NativeFilter(*intermediate) : nullptr,
                                    sink ? NativeFilter(*sink) : nullptr);
    }

private:
    ComPtr<::ICaptureGraphBuilder2> native;
    std::shared_ptr<vistrel::IGraphBuilder> graphKept; // the builder holds the graph, as the platform's does
};

} // namespace

vistrel::HRESULT CreateFilterGraph(std::shared_ptr<vistrel::IGraphBuilder>* graph)
{
    if (!graph)
        return E_POINTER;
    ComPtr<::IGraphBuilder> native;
    const ::HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &native);
    if (FAILED(hr))
        return hr;
    *graph = std::make_shared<FilterGraph>(std::move(native));
    return S_OK;
}

vistrel::HRESULT CreateCaptureGraphBuilder(std::shared_ptr<vistrel::ICaptureGraphBuilder2>* builder)
{
    if (!builder)
        return E_POINTER;
    ComPtr<::ICaptureGraphBuilder2> native;
    const ::HRESULT hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_ICaptureGraphBuilder2, &native);
    if (FAILED(hr))
        return hr;
    *builder = std::make_shared<CaptureGraphBuilder>(std::move(native));
    return S_OK;
}

::IGraphBuilder* NativeGraph(const vistrel::IGraphBuilder& graph)
{
    const auto* ours = dynamic_cast<const FilterGraph*>(&graph);
    return ours ? ours->Native() : nullptr;
}

} // namespace vistrel::dshow
