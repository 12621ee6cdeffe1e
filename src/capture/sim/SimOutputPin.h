#pragma once
// An output pin of a simulated device: its category, its format list and its one connection.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/contract/Filter.h"
#include "capture/runtime/PinBase.h"

namespace vistrel::sim {

class SimFilter;

class SimOutputPin : public PinBase,
                     public IKsPropertySet,
                     public IAMStreamConfig,
                     public std::enable_shared_from_this<SimOutputPin> {
public:
    SimOutputPin(std::weak_ptr<SimFilter> filter, const Guid& category, std::string name,
                 std::vector<MediaType> formats);

    const Guid& Category() const { return category; }
    // The device went away: forget the downstream pin so nothing keeps it or us alive.
    void DropConnection();

    // IPin
    HRESULT Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type) override;
    std::shared_ptr<IKsPropertySet> QueryKsPropertySet() override;
    std::shared_ptr<IAMStreamConfig> QueryStreamConfig() override;

    // IKsPropertySet
    HRESULT Get(const Guid& set, std::uint32_t id, void* instanceData, std::uint32_t instanceLength,
                void* propertyData, std::uint32_t dataLength, std::uint32_t* bytesReturned) override;

    // IAMStreamConfig
    HRESULT GetNumberOfCapabilities(std::int32_t* count, std::int32_t* capsSize) override;
    HRESULT GetStreamCaps(std::int32_t index, MediaType* type, std::uint8_t* caps) override;
    HRESULT SetFormat(const MediaType& type) override;
    HRESULT GetFormat(MediaType* type) override;

    static constexpr std::int32_t kStreamCapsSize = 128; // VIDEO_STREAM_CONFIG_CAPS

private:
    HRESULT CheckDevice() const;
    const MediaType* Offered(const MediaType& type) const;

    std::weak_ptr<SimFilter> filter;
    const Guid category;
    const std::vector<MediaType> formats;

    MediaType current; // under the pin's lock
};

} // namespace vistrel::sim
