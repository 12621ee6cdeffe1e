#pragma once
// A device's UVC extension units as kernel-streaming topology nodes: one KSNODETYPE_DEV_SPECIFIC node per
// unit, answering the property set named by the unit's GUID, its controls reached through the backend's
// unit requests.
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "capture/contract/KernelStreaming.h"
#include "capture/uvc/UvcDescriptors.h"
#include "capture/uvc/UnitResult.h"

namespace vistrel::uvc {

class ExtensionUnitTopology final : public IKsControl, public IKsTopologyInfo
{
public:
    using Wait = std::function<void(std::chrono::milliseconds)>;
    // A control is learned at its first use: the device is asked for its length and access bits. A device
    // not ready to say (uvcvideo's first use failing, or a stall with "not ready" to GET_INFO or GET_LEN)
    // is asked again up to this many times, this far apart. The driver fails the same way for a control
    // the unit declares but the device does not have: once another control of the unit answers, the
    // device is ready, and such a control is not asked again.
    static constexpr int kFirstUseAttempts = 10;
    static constexpr std::chrono::milliseconds kFirstUseInterval {100};

    ExtensionUnitTopology(std::vector<UvcExtensionUnit> units, std::shared_ptr<IUnitIo> io, Wait wait = {});

    HRESULT get_NumNodes(std::uint32_t* count) override;
    HRESULT get_NodeType(std::uint32_t node, Guid* type) override;
    // Property id 0 is the unit itself: SETSUPPORT confirms the set, GET returns the unit descriptor from its
    // extension code onward. Ids 1..255 are control selectors: BASICSUPPORT gives the access bits (bit 0
    // get, bit 1 set), GET with no buffer the control's length (ERROR_MORE_DATA), GET and SET its value.
    HRESULT KsProperty(const KSP_NODE& property, void* data, std::uint32_t length,
                       std::uint32_t* bytesReturned) override;

private:
    HRESULT UnitInformation(const UvcExtensionUnit& unit, std::uint32_t kind, void* data, std::uint32_t length,
                            std::uint32_t& returned);
    HRESULT Control(const UvcExtensionUnit& unit, std::uint8_t selector, std::uint32_t kind, void* data,
                    std::uint32_t length, std::uint32_t& returned);
    HRESULT ControlLength(const UvcExtensionUnit& unit, std::uint8_t selector, std::uint16_t& length);
    // One query to a control the unit declares, through its first-use learning; the result code.
    HRESULT Query(const UvcExtensionUnit& unit, std::uint8_t selector, std::uint8_t query, std::uint8_t* data,
              std::uint16_t size);

    // Whether the device answers for the unit now: one of its declared controls other than selector does.
    bool UnitAnswers(const UvcExtensionUnit& unit, std::uint8_t selector);
    void MarkAnswered(const UvcExtensionUnit& unit, std::uint8_t selector);

    std::vector<UvcExtensionUnit> units;
    std::shared_ptr<IUnitIo> io;
    Wait wait;
    std::mutex answeredMutex;
    std::set<std::pair<std::uint8_t, std::uint8_t>> answeredControls;   // (unit id, selector)
};

} // namespace vistrel::uvc
