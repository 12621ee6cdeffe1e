#pragma once
// Small real parts for driving the simulated devices through the capture contract alone.
#include <turbojpeg.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/contract/Devices.h"
#include "capture/sim/RgbImage.h"
#include "capture/sim/SimulatedDeviceSource.h"
#include "../../support/ThreadCount.h"

namespace vistrel::sim::test {

using namespace std::chrono_literals;

struct Received {
    std::vector<std::uint8_t> bytes;
    MediaType type;
    std::thread::id thread;
};

// An input pin that keeps every sample it receives.
class CollectingPin : public IPin, public std::enable_shared_from_this<CollectingPin> {
public:
    HRESULT Connect(const std::shared_ptr<IPin>&, const MediaType*) override { return E_UNEXPECTED; }
    HRESULT ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& type) override
    {
        std::lock_guard lock(mutex);
        if (acceptOnly && type.subType != *acceptOnly)
            return VFW_E_TYPE_NOT_ACCEPTED;
        peer = connector;
        connectionType = type;
        return S_OK;
    }
    HRESULT Disconnect() override
    {
        std::lock_guard lock(mutex);
        peer.reset();
        return S_OK;
    }
    HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) override
    {
        std::lock_guard lock(mutex);
        *pin = peer;
        return peer ? S_OK : VFW_E_NOT_CONNECTED;
    }
    HRESULT ConnectionMediaType(MediaType* type) override
    {
        std::lock_guard lock(mutex);
        *type = connectionType;
        return peer ? S_OK : VFW_E_NOT_CONNECTED;
    }
    HRESULT QueryPinInfo(PinInfo* info) override
    {
        info->direction = PinDirection::Input;
        info->name = "Collect";
        return S_OK;
    }
    HRESULT QueryDirection(PinDirection* direction) override
    {
        *direction = PinDirection::Input;
        return S_OK;
    }
    HRESULT Receive(const MediaSample& sample) override
    {
        {
            std::lock_guard lock(mutex);
            Received r {std::vector<std::uint8_t>(sample.data, sample.data + sample.length),
                        sample.type ? *sample.type : MediaType {}, std::this_thread::get_id()};
            if (keepLatestOnly)
                samples.clear();
            samples.push_back(std::move(r));
            ++count;
        }
        arrived.notify_all();
        return S_OK;
    }

    // Waits until at least n samples arrived in all; false on time-out.
    bool WaitForCount(std::size_t n, std::chrono::milliseconds timeout = 5s)
    {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return count >= n; });
    }
    std::size_t Count()
    {
        std::lock_guard lock(mutex);
        return count;
    }
    Received Latest()
    {
        std::lock_guard lock(mutex);
        return samples.back();
    }
    std::vector<Received> All()
    {
        std::lock_guard lock(mutex);
        return samples;
    }

    std::optional<Guid> acceptOnly;
    bool keepLatestOnly = false;

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::shared_ptr<IPin> peer;
    MediaType connectionType;
    std::vector<Received> samples;
    std::size_t count = 0;
};

inline std::shared_ptr<IMoniker> MonikerFor(SimulatedDeviceSource& source, const std::string& path)
{
    std::vector<std::shared_ptr<IMoniker>> monikers;
    source.AppendVideoInputDevices(&monikers);
    for (auto& m : monikers) {
        std::shared_ptr<IPropertyBag> bag;
        std::string p;
        if (m->BindToStorage(&bag) == S_OK && bag->Read("DevicePath", &p) == S_OK && p == path)
            return m;
    }
    return nullptr;
}

inline std::shared_ptr<IBaseFilter> Bind(SimulatedDeviceSource& source, const std::string& path)
{
    auto moniker = MonikerFor(source, path);
    std::shared_ptr<IBaseFilter> filter;
    if (moniker && moniker->BindToObject(&filter) == S_OK)
        return filter;
    return nullptr;
}

inline std::shared_ptr<IPin> PinOfCategory(IBaseFilter& filter, const Guid& category)
{
    std::vector<std::shared_ptr<IPin>> pins;
    filter.EnumPins(&pins);
    for (auto& pin : pins) {
        auto props = pin->QueryKsPropertySet();
        Guid c;
        std::uint32_t returned = 0;
        if (props && props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &c, sizeof c, &returned) == S_OK &&
            c == category)
            return pin;
    }
    return nullptr;
}

inline std::vector<MediaType> Formats(IPin& pin)
{
    auto config = pin.QueryStreamConfig();
    std::int32_t count = 0, capsSize = 0;
    std::vector<MediaType> list;
    if (!config || config->GetNumberOfCapabilities(&count, &capsSize) != S_OK)
        return list;
    std::vector<std::uint8_t> caps(static_cast<std::size_t>(capsSize));
    for (std::int32_t i = 0; i < count; ++i) {
        MediaType mt;
        if (config->GetStreamCaps(i, &mt, caps.data()) == S_OK)
            list.push_back(mt);
    }
    return list;
}

// Sets the first VideoInfo format of the given subtype and size.
inline HRESULT ChooseFormat(IPin& pin, const Guid& subType, std::int32_t width, std::int32_t height)
{
    for (const auto& mt : Formats(pin)) {
        std::int32_t w = 0, h = 0;
        if (mt.subType == subType && ReadVideoInfoSize(mt, w, h) && w == width && h == height)
            return pin.QueryStreamConfig()->SetFormat(mt);
    }
    return VFW_E_NOT_FOUND;
}

// A bottom-up RGB32 frame as a top-down RGB picture.
inline RgbImage FromRgb32(const Received& frame)
{
    std::int32_t w = 0, h = 0;
    ReadVideoInfoSize(frame.type, w, h);
    RgbImage image(w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* in = frame.bytes.data() + std::size_t(h - 1 - y) * std::size_t(w) * 4;
        std::uint8_t* out = image.Row(y);
        for (std::int32_t x = 0; x < w; ++x) {
            out[3 * x] = in[4 * x + 2];
            out[3 * x + 1] = in[4 * x + 1];
            out[3 * x + 2] = in[4 * x];
        }
    }
    return image;
}

inline std::optional<RgbImage> DecodeJpeg(const std::vector<std::uint8_t>& bytes)
{
    tjhandle handle = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    std::optional<RgbImage> image;
    if (tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), &w, &h, &sub, &cs) == 0) {
        RgbImage decoded(w, h);
        if (tjDecompress2(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), decoded.pixels.data(), w, 0,
                          h, TJPF_RGB, 0) == 0)
            image = std::move(decoded);
    }
    tjDestroy(handle);
    return image;
}

struct Colour {
    int r = 0, g = 0, b = 0;
};

// Mean colour of a small square around (x, y).
inline Colour Sample(const RgbImage& image, std::int32_t x, std::int32_t y, std::int32_t radius = 3)
{
    long sum[3] = {0, 0, 0};
    int n = 0;
    for (std::int32_t yy = y - radius; yy <= y + radius; ++yy)
        for (std::int32_t xx = x - radius; xx <= x + radius; ++xx, ++n)
            for (int c = 0; c < 3; ++c)
                sum[c] += image.Row(yy)[3 * xx + c];
    return {int(sum[0] / n), int(sum[1] / n), int(sum[2] / n)};
}

using vistrel::test::ThreadCount;
using vistrel::test::ThreadCountOnceExited;

// Polls a condition that another thread makes true; false when it never does.
template <class Condition>
bool Eventually(Condition condition, std::chrono::milliseconds timeout = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

} // namespace vistrel::sim::test
