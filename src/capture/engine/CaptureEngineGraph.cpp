// The capture graph of CaptureEngine: start, build, show, stop and dismantle.
#include <cstdlib>

#include "capture/contract/Diagnostics.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/engine/FormatSelection.h"
#include "capture/engine/Letterbox.h"
#include "capture/engine/PinLookup.h"

namespace vistrel {

namespace {

constexpr std::uint32_t kStatePollMs = 100;
constexpr int kMaxStatePolls = 101;

bool DeviceLocked(HRESULT hr)
{
    return hr == HresultFromWin32(ERROR_NO_SYSTEM_RESOURCES) || hr == HresultFromWin32(ERROR_SHARING_VIOLATION);
}

// The scanner's button reaches the host as an event of the graph; nothing is heard once the graph goes.
void HearButton(CaptureGraph& g, ICaptureHost* host)
{
    if (!g.graph)
        return;
    const auto events = g.graph->QueryMediaEventEx();
    if (!events)
        return;
    if (!host) {
        events->SetNotify({});
        return;
    }
    events->SetNotify([host](std::int32_t eventCode, std::intptr_t, std::intptr_t) {
        if (eventCode == EC_STILL_BUTTON)
            host->OnScannerButton();
    });
}

} // namespace

bool CaptureEngine::HasGraph() const
{
    return captureGraph != nullptr;
}

const CaptureGraph* CaptureEngine::Graph() const
{
    return captureGraph.get();
}

const StillFormat& CaptureEngine::CurrentStillFormat() const
{
    return stillFormat;
}

std::int32_t CaptureEngine::DeliverStill(void* context, double sampleTime, const std::uint8_t* bytes,
                                         std::int32_t length)
{
    return static_cast<ICaptureHost*>(context)->OnStillFrame(sampleTime, bytes, length);
}

HRESULT CaptureEngine::StartCapture()
{
    if (!scannerFilter)
        return S_OK;
    WaitForDevice();
    if (captureGraph)
        DestroyGraph();

    captureGraph = std::make_unique<CaptureGraph>();
    CaptureGraph& g = *captureGraph;
    g.deviceFilter = scannerFilter;
    g.sourceFilter = scannerFilter;
    g.hasStillPin = FindStillPin(g.deviceFilter) != nullptr;
    g.callbackMode = 1;
    g.callbackContext = &host;
    g.stillHandler = &CaptureEngine::DeliverStill;

    SelectFormats(g.sourceFilter, g.deviceFilter, host.CurrentFilmSize());
    BuildGraph(); // a failure shows as an empty preview or a failed run
    HearButton(g, &host);
    ShowPreview(true);

    HRESULT run = E_FAIL;
    if (g.graph) {
        if (const auto control = g.graph->QueryMediaControl()) {
            run = control->Run();
            if (run == S_FALSE) {
                // A pending start settles within ten seconds; a failure while settling ends the wait.
                for (int poll = 0; poll < kMaxStatePolls; ++poll) {
                    FilterState state {};
                    run = control->GetState(kStatePollMs, &state);
                    if (run == S_OK || Failed(run))
                        break;
                }
            }
        } else {
            run = E_NOINTERFACE;
        }
    }
    if (Failed(run))
        Diagnose(DiagnosticTopic::Capture, "capture did not start: " + ResultText(run));
    const HRESULT stillFormatRead = ReadStillFormat(g.deviceFilter, &stillFormat);
    // Last, with no reference into the graph left to use: whatever the host does with the report
    // cannot pull the graph away under this operation.
    if (DeviceLocked(run))
        host.ReportError(Reason(ReasonCode::DeviceLocked));
    return Failed(stillFormatRead) ? stillFormatRead : S_OK;
}

HRESULT CaptureEngine::BuildGraph()
{
    CaptureGraph& g = *captureGraph;
    g.stillWanted = g.deviceFilter && g.hasStillPin && g.stillHandler;

    if (!g.builder) {
        if (const HRESULT hr = platform->CreateCaptureGraphBuilder(&g.builder); Failed(hr) || !g.builder) {
            g.builder.reset();
            return Failed(hr) ? hr : E_FAIL;
        }
    }
    if (!g.graph) {
        if (const HRESULT hr = platform->CreateFilterGraph(&g.graph); Failed(hr) || !g.graph) {
            g.graph.reset();
            g.builder.reset();
            return Failed(hr) ? hr : E_FAIL;
        }
    }
    g.builder->SetFiltergraph(g.graph);

    HRESULT hr = g.graph->AddFilter(g.sourceFilter, kDeviceSourceName);
    if (Succeeded(hr) && g.stillWanted && !g.stillGrabber) {
        hr = platform->CreateSampleGrabber(&g.stillGrabber);
        if (Succeeded(hr) && !g.stillGrabber)
            hr = E_FAIL;
        if (Succeeded(hr)) {
            g.stillCallback.mode = g.callbackMode;
            g.stillCallback.context = g.callbackContext;
            g.stillCallback.bufferHandler = g.stillHandler;
            hr = g.stillGrabber->SetCallback(&g.stillCallback, g.callbackMode);
        }
    }
    if (Failed(hr)) {
        std::vector<std::shared_ptr<IBaseFilter>> filters;
        g.graph->EnumFilters(&filters);
        for (const auto& filter : filters)
            g.graph->RemoveFilter(filter);
        if (g.stillGrabber)
            g.stillGrabber->SetCallback(nullptr, g.callbackMode);
        g.stillGrabber.reset();
        g.graph.reset();
        g.builder.reset();
        return hr;
    }

    std::shared_ptr<IPin> capturePin;
    g.builder->FindPin(g.sourceFilter, PinDirection::Output, &PIN_CATEGORY_CAPTURE, nullptr, true, 0, &capturePin);
    hr = g.builder->RenderStream(nullptr, nullptr, nullptr, capturePin, nullptr, nullptr);

    if (Succeeded(hr) && g.stillWanted) {
        std::shared_ptr<IBaseFilter> nullRenderer;
        hr = platform->CreateNullRenderer(&nullRenderer);
        if (Succeeded(hr) && !nullRenderer)
            hr = E_FAIL;
        if (Succeeded(hr))
            hr = g.graph->AddFilter(nullRenderer, kNullRendererName);
        const auto grabberFilter = g.stillGrabber->AsFilter();
        if (Succeeded(hr))
            hr = g.graph->AddFilter(grabberFilter, kStillGrabberName);
        if (Succeeded(hr))
            hr = g.builder->RenderStream(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, g.sourceFilter, nullptr, grabberFilter,
                                         nullRenderer);
    }
    return hr;
}

HRESULT CaptureEngine::ShowPreview(bool show)
{
    if (!captureGraph || !captureGraph->graph)
        return E_FAIL;
    const CaptureGraph& g = *captureGraph;
    const auto window = g.graph->QueryVideoWindow();
    if (!window)
        return E_NOINTERFACE;

    if (!show) {
        window->put_Visible(OAFALSE);
        window->put_MessageDrain(nullptr);
        window->put_Owner(nullptr);
        host.SetPreviewBackgroundBlack();
        return S_OK;
    }

    std::int32_t cw = 0, ch = 0;
    host.PreviewArea(&cw, &ch);
    const auto capturePin = FirstOutputPin(g.sourceFilter);
    const auto config = capturePin ? capturePin->QueryStreamConfig() : nullptr;
    MediaType format;
    if (!config || Failed(config->GetFormat(&format)))
        return E_FAIL;
    std::int32_t w = 0, h = 0;
    if (!ReadVideoInfoSize(format, w, h))
        return E_FAIL;
    h = std::abs(h); // a top-down header has the same picture size
    if (w <= 0 || h <= 0 || cw < 0 || ch < 0)
        return E_FAIL;

    const PreviewRect rect = LetterboxRect(cw, ch, w, h);
    IVideoSurface* surface = host.PreviewSurface();
    window->put_Owner(surface);
    window->put_MessageDrain(surface);
    window->put_WindowStyle(WS_CHILD);
    window->SetWindowPosition(rect.left, rect.top, rect.width, rect.height);
    window->put_Visible(OATRUE);
    host.SetPreviewBackgroundBlack();
    return S_OK;
}

void CaptureEngine::StopGraph()
{
    CaptureGraph& g = *captureGraph;
    if (!g.graph)
        return;
    const auto control = g.graph->QueryMediaControl();
    if (!control)
        return;
    control->Stop();
    // Give a slow device up to ten seconds; afterwards dismantling goes on regardless.
    for (int poll = 0; poll < kMaxStatePolls; ++poll) {
        FilterState state {};
        if (control->GetState(kStatePollMs, &state) == S_OK && state == FilterState::Stopped)
            break;
    }
}

void CaptureEngine::DismantleDownstream(const std::shared_ptr<IBaseFilter>& filter)
{
    CaptureGraph& g = *captureGraph;
    std::vector<std::shared_ptr<IPin>> pins;
    if (!filter || !g.graph || Failed(filter->EnumPins(&pins)))
        return;
    for (const auto& pin : pins) {
        std::shared_ptr<IPin> peer;
        if (Failed(pin->ConnectedTo(&peer)) || !peer)
            continue;
        PinInfo info;
        if (Failed(peer->QueryPinInfo(&info)))
            return;
        if (info.direction == PinDirection::Input && info.filter) {
            DismantleDownstream(info.filter);
            g.graph->Disconnect(peer);
            g.graph->Disconnect(pin);
            g.graph->RemoveFilter(info.filter);
        }
    }
}

void CaptureEngine::ReleaseSource()
{
    CaptureGraph& g = *captureGraph;
    if (g.deviceFilter) {
        g.deviceFilter.reset();
        g.hasStillPin = false;
        g.sourceFilter.reset();
    } else {
        g.sourceFilter.reset();
    }
}

void CaptureEngine::StopCapture()
{
    if (!captureGraph)
        return;
    WaitForDevice();
    HearButton(*captureGraph, nullptr);
    StopGraph();
    ShowPreview(false);
    DismantleDownstream(captureGraph->sourceFilter);
    if (captureGraph->stillGrabber) {
        // Waits for a still being delivered, so the callback inside the graph is free to go.
        captureGraph->stillGrabber->SetCallback(nullptr, captureGraph->callbackMode);
        captureGraph->stillGrabber.reset();
    }
    ReleaseSource();
    captureGraph.reset();
}

void CaptureEngine::DestroyGraph()
{
    if (!captureGraph)
        return;
    CaptureGraph& g = *captureGraph;
    HearButton(g, nullptr);
    if (g.builder) {
        StopGraph();
        // The old renderer must not reach the preview surface any more.
        if (g.graph)
            if (const auto window = g.graph->QueryVideoWindow())
                window->put_Owner(nullptr);
        DismantleDownstream(g.sourceFilter);
        if (g.stillGrabber) {
            g.stillGrabber->SetCallback(nullptr, g.callbackMode);
            g.stillGrabber.reset();
        }
        ReleaseSource();
    }
    g.graph.reset();
    g.builder.reset();
    captureGraph.reset();
}

void CaptureEngine::TriggerStill()
{
    if (!captureGraph || !captureGraph->deviceFilter)
        return;
    CaptureGraph& g = *captureGraph;
    const auto videoControl = g.deviceFilter->QueryVideoControl();
    if (!videoControl)
        return;
    std::shared_ptr<ICaptureGraphBuilder2> builder = g.builder;
    if (!builder && (Failed(platform->CreateCaptureGraphBuilder(&builder)) || !builder))
        return;
    std::shared_ptr<IPin> stillPin;
    if (Failed(builder->FindPin(g.deviceFilter, PinDirection::Output, &PIN_CATEGORY_STILL, nullptr, false, 0,
                                &stillPin)) ||
        !stillPin || !deviceQueue)
        return;
    // The trigger takes its turn behind the property changes asked for before it.
    ICaptureHost* const reportTo = &host;
    deviceQueue->Post([videoControl, stillPin, reportTo] {
        if (const HRESULT hr = videoControl->SetMode(stillPin, VideoControlFlag_Trigger); Failed(hr)) {
            Diagnose(DiagnosticTopic::Still, "the still trigger failed: " + ResultText(hr));
            reportTo->OnDeviceRequestFailed({DeviceRequestFailure::Kind::StillTrigger, 0, 0, hr});
        }
    });
}

} // namespace vistrel
