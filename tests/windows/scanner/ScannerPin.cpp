#include "ScannerFilter.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "capture/dshow/ComGuid.h"
#include "capture/dshow/MediaTypes.h"
#include "capture/sim/FrameRenderer.h"
#include "capture/sim/SimulatedDevice.h"

namespace vistrel::dshow::test {
namespace {

using Microsoft::WRL::ComPtr;

constexpr auto kFramePeriod = std::chrono::milliseconds(1000 / sim::kLiveFramesPerSecond);
constexpr long kCaptureBuffers = 3;
constexpr long kStillBuffers = 1;

// Fills a caller's AM_MEDIA_TYPE with a copy of the format; the block is the caller's to free.
HRESULT CopyToNative(const vistrel::MediaType& type, AM_MEDIA_TYPE* out)
{
    *out = AM_MEDIA_TYPE {};
    out->majortype = ToGuid(type.majorType);
    out->subtype = ToGuid(type.subType);
    out->formattype = ToGuid(type.formatType);
    const bool uncompressed = type.subType == MEDIASUBTYPE_RGB32;
    out->bFixedSizeSamples = uncompressed;
    out->bTemporalCompression = FALSE;
    std::int32_t width = 0, height = 0;
    if (ReadVideoInfoSize(type, width, height))
        out->lSampleSize = ULONG(ReadInt32At(type.formatBlock, kBiSizeImageOffset));
    if (!type.formatBlock.empty()) {
        out->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type.formatBlock.size()));
        if (!out->pbFormat)
            return E_OUTOFMEMORY;
        std::memcpy(out->pbFormat, type.formatBlock.data(), type.formatBlock.size());
        out->cbFormat = ULONG(type.formatBlock.size());
    }
    return S_OK;
}

AM_MEDIA_TYPE* NewNative(const vistrel::MediaType& type)
{
    auto* out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (out && FAILED(CopyToNative(type, out))) {
        CoTaskMemFree(out);
        return nullptr;
    }
    return out;
}

// The bitmap header of either video format block.
bool BitmapSize(const vistrel::MediaType& type, std::int32_t& width, std::int32_t& height)
{
    constexpr std::size_t kVideoInfo2BitmapOffset = 72;
    if (ReadVideoInfoSize(type, width, height))
        return true;
    if (type.formatType == FORMAT_VideoInfo2 && type.formatBlock.size() >= kVideoInfo2BitmapOffset + 40) {
        width = ReadInt32At(type.formatBlock, kVideoInfo2BitmapOffset + 4);
        height = ReadInt32At(type.formatBlock, kVideoInfo2BitmapOffset + 8);
        return true;
    }
    return false;
}

// The media types a pin offers, in order, as IEnumMediaTypes hands them out.
class MediaTypeList final : public ComObject<IEnumMediaTypes> {
public:
    MediaTypeList(std::vector<vistrel::MediaType> types, std::size_t position = 0)
        : types(std::move(types)), position(position) {}

    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override
    {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && position < types.size()) {
            out[n] = NewNative(types[position]);
            if (!out[n])
                break;
            ++n;
            ++position;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        position = std::min(types.size(), position + count);
        return position < types.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumMediaTypes** out) override
    {
        if (!out)
            return E_POINTER;
        *out = new MediaTypeList(types, position);
        return S_OK;
    }

private:
    ~MediaTypeList() override = default;
    std::vector<vistrel::MediaType> types;
    std::size_t position;
};

} // namespace

ScannerPin::ScannerPin(ScannerFilter& filter, std::wstring name, const GUID& category,
                       std::vector<vistrel::MediaType> formats)
    : ComPart(static_cast<::IBaseFilter&>(filter)), filter(filter), name(std::move(name)), category(category),
      formats(std::move(formats))
{
}

ScannerPin::~ScannerPin()
{
    StopStreaming();
}

std::ptrdiff_t ScannerPin::FormatIndex(const AM_MEDIA_TYPE& type) const
{
    const vistrel::MediaType asked = FromNativeType(type);
    std::int32_t askedWidth = 0, askedHeight = 0;
    const bool sized = BitmapSize(asked, askedWidth, askedHeight);
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const vistrel::MediaType& offered = formats[i];
        if (asked.majorType != GUID_NULL && asked.majorType != offered.majorType)
            continue;
        if (asked.subType != GUID_NULL && asked.subType != offered.subType)
            continue;
        if (asked.formatType != GUID_NULL && asked.formatType != offered.formatType)
            continue;
        std::int32_t width = 0, height = 0;
        if (sized && (!BitmapSize(offered, width, height) || width != askedWidth || height != askedHeight))
            continue;
        return std::ptrdiff_t(i);
    }
    return -1;
}

bool ScannerPin::IsConnected() const
{
    const std::lock_guard lock(connectionLock);
    return peer != nullptr;
}

STDMETHODIMP ScannerPin::Connect(::IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (!receiver)
        return E_POINTER;
    if (filter.State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    std::vector<std::size_t> candidates;
    {
        const std::lock_guard lock(connectionLock);
        if (peer)
            return VFW_E_ALREADY_CONNECTED;
        // A chosen format is the only one offered, as a capture device does after SetFormat.
        candidates.push_back(current);
        if (!formatChosen)
            for (std::size_t i = 0; i < formats.size(); ++i)
                if (i != current)
                    candidates.push_back(i);
    }
    if (type) {
        const std::ptrdiff_t wanted = FormatIndex(*type);
        if (wanted < 0)
            return VFW_E_TYPE_NOT_ACCEPTED;
        std::erase_if(candidates, [&](std::size_t i) {
            const vistrel::MediaType asked = FromNativeType(*type);
            return (asked.subType != GUID_NULL && asked.subType != formats[i].subType) ||
                   (asked.formatType != GUID_NULL && asked.formatType != formats[i].formatType);
        });
    }
    for (const std::size_t index : candidates)
        if (SUCCEEDED(TryConnection(receiver, index)))
            return S_OK;
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT ScannerPin::TryConnection(::IPin* receiver, std::size_t index)
{
    AM_MEDIA_TYPE native {};
    if (FAILED(CopyToNative(formats[index], &native)))
        return E_OUTOFMEMORY;
    {
        const std::lock_guard lock(connectionLock);
        peer = receiver;
        connected = index;
    }
    HRESULT hr = receiver->ReceiveConnection(this, &native);
    FreeNativeType(native);
    const bool received = SUCCEEDED(hr);
    ComPtr<::IMemInputPin> memInput;
    if (SUCCEEDED(hr))
        hr = receiver->QueryInterface(IID_IMemInputPin, &memInput);
    if (SUCCEEDED(hr))
        hr = DecideAllocator(memInput.Get(), formats[index]);
    if (FAILED(hr) && received)
        receiver->Disconnect();
    const std::lock_guard lock(connectionLock);
    if (FAILED(hr)) {
        peer.Reset();
        allocator.Reset();
        return hr;
    }
    input = memInput;
    return S_OK;
}

HRESULT ScannerPin::DecideAllocator(::IMemInputPin* memInput, const vistrel::MediaType& type)
{
    ALLOCATOR_PROPERTIES wanted {};
    memInput->GetAllocatorRequirements(&wanted);
    std::int32_t width = 0, height = 0;
    BitmapSize(type, width, height);
    // A compressed still is never larger than the picture at four bytes a pixel.
    const long bytes = std::max<long>(long(width) * std::abs(height) * 4, 1);
    ALLOCATOR_PROPERTIES properties {};
    properties.cBuffers = std::max(wanted.cBuffers, IsStill() ? kStillBuffers : kCaptureBuffers);
    properties.cbBuffer = std::max(wanted.cbBuffer, bytes);
    properties.cbAlign = std::max(wanted.cbAlign, 1L);
    properties.cbPrefix = wanted.cbPrefix;

    ComPtr<::IMemAllocator> chosen;
    HRESULT hr = memInput->GetAllocator(&chosen);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1 || FAILED(hr)) {
            chosen.Reset();
            hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator, &chosen);
            if (FAILED(hr))
                return hr;
        }
        ALLOCATOR_PROPERTIES actual {};
        hr = chosen->SetProperties(&properties, &actual);
        if (SUCCEEDED(hr) && actual.cbBuffer >= bytes)
            hr = memInput->NotifyAllocator(chosen.Get(), FALSE);
        else if (SUCCEEDED(hr))
            hr = E_FAIL;
        if (SUCCEEDED(hr))
            break;
    }
    if (FAILED(hr))
        return hr;
    const std::lock_guard lock(connectionLock);
    allocator = chosen;
    return S_OK;
}

STDMETHODIMP ScannerPin::Disconnect()
{
    if (filter.State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    const std::lock_guard lock(connectionLock);
    if (!peer)
        return S_FALSE;
    if (allocator)
        allocator->Decommit();
    allocator.Reset();
    input.Reset();
    peer.Reset();
    return S_OK;
}

STDMETHODIMP ScannerPin::ConnectedTo(::IPin** pin)
{
    if (!pin)
        return E_POINTER;
    const std::lock_guard lock(connectionLock);
    *pin = peer.Get();
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

STDMETHODIMP ScannerPin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    const std::lock_guard lock(connectionLock);
    if (!peer) {
        *type = AM_MEDIA_TYPE {};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyToNative(formats[connected], type);
}

STDMETHODIMP ScannerPin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    *info = PIN_INFO {};
    info->pFilter = &filter;
    filter.AddRef();
    info->dir = PINDIR_OUTPUT;
    lstrcpynW(info->achName, name.c_str(), MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP ScannerPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

STDMETHODIMP ScannerPin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    const std::size_t bytes = (name.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    std::memcpy(*id, name.c_str(), bytes);
    return S_OK;
}

STDMETHODIMP ScannerPin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    return FormatIndex(*type) >= 0 ? S_OK : S_FALSE;
}

STDMETHODIMP ScannerPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    const std::lock_guard lock(connectionLock);
    std::vector<vistrel::MediaType> offered;
    if (formatChosen)
        offered.push_back(formats[current]);
    else
        offered = formats;
    *types = new MediaTypeList(std::move(offered));
    return S_OK;
}

STDMETHODIMP ScannerPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD dataLength, DWORD* returned)
{
    if (set != ::AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!data)
        return E_POINTER;
    if (dataLength < sizeof(GUID))
        return E_UNEXPECTED;
    std::memcpy(data, &category, sizeof(GUID));
    if (returned)
        *returned = sizeof(GUID);
    return S_OK;
}

STDMETHODIMP ScannerPin::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != ::AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

STDMETHODIMP ScannerPin::SetFormat(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    if (filter.State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    const std::ptrdiff_t index = FormatIndex(*type);
    if (index < 0)
        return VFW_E_INVALIDMEDIATYPE;
    const std::lock_guard lock(connectionLock);
    if (peer && std::size_t(index) != connected)
        return VFW_E_ALREADY_CONNECTED; // the graph reconnects a pin; this device asks to be set first
    current = std::size_t(index);
    formatChosen = true;
    return S_OK;
}

STDMETHODIMP ScannerPin::GetFormat(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    const std::lock_guard lock(connectionLock);
    *type = NewNative(formats[peer ? connected : current]);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ScannerPin::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = int(formats.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP ScannerPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
{
    if (!type || !caps)
        return E_POINTER;
    if (index < 0 || std::size_t(index) >= formats.size())
        return S_FALSE;
    const vistrel::MediaType& format = formats[std::size_t(index)];
    std::int32_t width = 0, height = 0;
    BitmapSize(format, width, height);
    VIDEO_STREAM_CONFIG_CAPS config {};
    config.guid = ToGuid(format.formatType);
    config.InputSize = config.MinCroppingSize = config.MaxCroppingSize = SIZE {width, std::abs(height)};
    config.MinOutputSize = config.MaxOutputSize = config.InputSize;
    config.CropGranularityX = config.CropGranularityY = config.OutputGranularityX = config.OutputGranularityY = 1;
    const LONGLONG interval = 10'000'000 / sim::kLiveFramesPerSecond;
    config.MinFrameInterval = config.MaxFrameInterval = interval;
    std::memcpy(caps, &config, sizeof config);
    *type = NewNative(format);
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT ScannerPin::Commit()
{
    const std::lock_guard lock(connectionLock);
    return allocator ? allocator->Commit() : S_OK;
}

void ScannerPin::StartStreaming()
{
    if (!IsConnected())
        return;
    {
        const std::lock_guard lock(streamLock);
        triggers = 0;
        if (thread.joinable()) {
            holding = false;
            wake.notify_all();
            return;
        }
        stopping = false;
        holding = false;
    }
    thread = std::thread([this] { Stream(); });
}

// The graph pauses its renderers before their sources, and a paused renderer keeps a sample it is given
// until the graph runs or stops it. The thread may be inside that call now: waiting for it here would wait
// for ever, so pausing only tells it to send nothing more. Stopping waits, since the graph stops the
// renderers first and that lets the call return.
void ScannerPin::HoldStreaming()
{
    const std::lock_guard lock(streamLock);
    holding = true;
}

void ScannerPin::StopStreaming()
{
    {
        const std::lock_guard lock(streamLock);
        stopping = true;
    }
    wake.notify_all();
    ComPtr<::IMemAllocator> used;
    {
        const std::lock_guard lock(connectionLock);
        used = allocator;
    }
    // Decommitting releases a thread waiting for a buffer.
    if (used)
        used->Decommit();
    if (thread.joinable())
        thread.join();
}

HRESULT ScannerPin::Trigger()
{
    if (!IsStill())
        return E_INVALIDARG;
    {
        const std::lock_guard lock(streamLock);
        if (!thread.joinable() || stopping || holding)
            return VFW_E_NOT_RUNNING;
        ++triggers;
    }
    wake.notify_all();
    return S_OK;
}

void ScannerPin::Stream()
{
    sim::FrameRenderer renderer(filter.Device(), IsStill() ? sim::kStillQuality : sim::kLiveJpegQuality);
    vistrel::MediaType type;
    ComPtr<::IMemAllocator> buffers;
    ComPtr<::IMemInputPin> receiver;
    {
        const std::lock_guard lock(connectionLock);
        type = formats[connected];
        buffers = allocator;
        receiver = input;
    }
    if (!buffers || !receiver)
        return;
    for (;;) {
        {
            std::unique_lock lock(streamLock);
            if (IsStill())
                wake.wait(lock, [&] { return stopping || (!holding && triggers > 0); });
            else {
                wake.wait_for(lock, kFramePeriod, [&] { return stopping; });
                wake.wait(lock, [&] { return stopping || !holding; });
            }
            if (stopping)
                return;
            if (IsStill())
                --triggers;
        }
        const std::vector<std::uint8_t>* frame = renderer.Render(type);
        if (!frame)
            continue;
        ComPtr<IMediaSample> sample;
        if (FAILED(buffers->GetBuffer(&sample, nullptr, nullptr, 0)))
            continue; // decommitted: the loop ends at the next look at the stop flag
        BYTE* bytes = nullptr;
        if (FAILED(sample->GetPointer(&bytes)) || long(frame->size()) > sample->GetSize())
            continue;
        std::memcpy(bytes, frame->data(), frame->size());
        sample->SetActualDataLength(long(frame->size()));
        sample->SetSyncPoint(TRUE);
        if (SUCCEEDED(receiver->Receive(sample.Get())))
            ++(IsStill() ? filter.Tally().stills : filter.Tally().frames);
    }
}

} // namespace vistrel::dshow::test
