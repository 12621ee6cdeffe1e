#pragma once
// An output pin of a Linux backend's source filter: its category, its format list and its downstream
// connection.
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "capture/contract/Filter.h"
#include "capture/linux/FormatList.h"
#include "capture/runtime/PinBase.h"

namespace vistrel::lnx {

// VIDEO_STREAM_CONFIG_CAPS, as GetStreamCaps fills it.
constexpr std::int32_t kStreamCapsSize = 128;

class SourceOutputPin final : public PinBase,
                            public IKsPropertySet,
                            public IAMStreamConfig,
                            public std::enable_shared_from_this<SourceOutputPin>
{
public:
    // defaultFormat indexes formats (ignored when the list is empty).
    SourceOutputPin(std::weak_ptr<IBaseFilter> filter, std::string name, const Guid& category,
                  std::vector<PinFormat> formats, std::size_t defaultFormat);

    // IPin
    HRESULT Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type) override;
    std::shared_ptr<IKsPropertySet> QueryKsPropertySet() override { return shared_from_this(); }
    std::shared_ptr<IAMStreamConfig> QueryStreamConfig() override { return shared_from_this(); }

    // IKsPropertySet: AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY
    HRESULT Get(const Guid& set, std::uint32_t id, void* instanceData, std::uint32_t instanceLength,
                void* propertyData, std::uint32_t dataLength, std::uint32_t* bytesReturned) override;

    // IAMStreamConfig
    HRESULT GetNumberOfCapabilities(std::int32_t* count, std::int32_t* capsSize) override;
    HRESULT GetStreamCaps(std::int32_t index, MediaType* type, std::uint8_t* caps) override;
    HRESULT SetFormat(const MediaType& type) override;
    HRESULT GetFormat(MediaType* type) override;

    // For the filter.
    const Guid& Category() const { return category; }
    std::optional<FrameFormat> CurrentSource() const; // none when the device lists no format
    void SetRunning(bool running);
    // Hands one sample to the connected input pin, on the calling (streaming) thread.
    void Deliver(std::span<const std::uint8_t> bytes, double time);

private:
    bool StreamingLocked() const override { return running; }

    const Guid category;
    const std::vector<PinFormat> formats;

    // Under the pin's lock.
    std::size_t current = 0;
    bool running = false;
};

} // namespace vistrel::lnx
