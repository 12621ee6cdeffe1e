// The extension-unit topology over a backend that sees the device's own stalls (the usb backend): each
// reason the control interface gives reads as the result code the engine acts on, and a unit not ready
// to describe its control is asked again, as uvcvideo's first use does.
#include <gtest/gtest.h>

#include <linux/usb/video.h>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "capture/uvc/ExtensionUnitTopology.h"

namespace vistrel::uvc {
namespace {

constexpr std::uint8_t kUnit = 4;
constexpr std::uint8_t kSelector = 1;
constexpr std::uint8_t kOtherSelector = 2;
constexpr Guid kUnitSet {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// Answers every request from a queue of outcomes per selector; once a queue is empty, the control
// answers: 2 bytes long, readable and writable.
class ScriptedUnit final : public IUnitIo
{
public:
    UnitResult Query(std::uint8_t, std::uint8_t selector, std::uint8_t request, std::uint8_t* data,
                     std::uint16_t size) override
    {
        requests.push_back({selector, request});
        auto& script = outcomes[selector];
        if (!script.empty()) {
            const UnitResult next = script.front();
            script.pop_front();
            if (!next.Ok())
                return next;
        }
        if (request == UVC_GET_LEN)
            data[0] = 2, data[1] = 0;
        else if (request == UVC_GET_INFO)
            data[0] = 0x03;
        return UnitResult::Answered(size);
    }

    std::map<std::uint8_t, std::deque<UnitResult>> outcomes;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> requests;
};

class UnitStalls : public testing::Test
{
protected:
    UnitStalls()
    {
        UvcExtensionUnit unit;
        unit.unitId = kUnit;
        unit.guid = kUnitSet;
        unit.numControls = 2;
        unit.controls.bytes = {0x03}; // selectors 1 and 2
        io = std::make_shared<ScriptedUnit>();
        topology = std::make_unique<ExtensionUnitTopology>(
            std::vector {unit}, io, [this](std::chrono::milliseconds) { ++waits; });
    }

    HRESULT Get(std::uint8_t selector)
    {
        std::uint8_t data[2] {};
        std::uint32_t returned = 0;
        return topology->KsProperty(KSP_NODE {kUnitSet, selector, KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_GET, 0, 0},
                                    data, sizeof data, &returned);
    }

    std::shared_ptr<ScriptedUnit> io;
    std::unique_ptr<ExtensionUnitTopology> topology;
    int waits = 0;
};

TEST_F(UnitStalls, EachReasonReadsAsTheResultTheEngineActsOn)
{
    struct Case
    {
        UnitResult outcome;
        HRESULT result;
    };
    const Case cases[] = {
        {UnitResult::Stalled(RequestError::WrongState), HresultFromWin32(ERROR_ACCESS_DENIED)},
        {UnitResult::Stalled(RequestError::Power), E_FAIL},
        {UnitResult::Stalled(RequestError::OutOfRange), HresultFromWin32(ERROR_INVALID_PARAMETER)},
        {UnitResult::Stalled(RequestError::InvalidControl), HresultFromWin32(ERROR_INVALID_PARAMETER)},
        {UnitResult::Stalled(RequestError::Unknown), HresultFromWin32(ERROR_GEN_FAILURE)},
        {UnitResult::Gone(), HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED)},
        {UnitResult::Failed(HresultFromWin32(ERROR_IO_DEVICE)), HresultFromWin32(ERROR_IO_DEVICE)},
    };
    for (const Case& c : cases) {
        io->outcomes[kSelector] = {c.outcome}; // the length question fails
        EXPECT_EQ(Get(kSelector), c.result) << static_cast<int>(c.outcome.why);
    }
    EXPECT_EQ(waits, 0) << "only a unit not ready to describe its control is asked again";
}

TEST_F(UnitStalls, NotReadyWhileTheControlIsLearnedIsAskedAgain)
{
    const UnitResult notReady = UnitResult::Stalled(RequestError::NotReady);
    // The other control does not answer either, so the device is not ready yet.
    io->outcomes[kOtherSelector] = {notReady};
    io->outcomes[kSelector] = {notReady, notReady};
    EXPECT_EQ(Get(kSelector), S_OK);
    EXPECT_EQ(waits, 2);
}

TEST_F(UnitStalls, NotReadyForTheValueItselfIsNotWaitedFor)
{
    // Length answered, then GET_CUR refused: the engine asks again in its own time.
    io->outcomes[kSelector] = {UnitResult::Answered(2), UnitResult::Stalled(RequestError::NotReady)};
    EXPECT_EQ(Get(kSelector), HresultFromWin32(ERROR_NOT_READY));
    EXPECT_EQ(waits, 0);
}

TEST_F(UnitStalls, AControlMissingFromAReadyDeviceFailsAtOnce)
{
    // The length question stalls, but the unit's other control answers: the control is missing.
    io->outcomes[kSelector] = {UnitResult::Stalled(RequestError::NotReady)};
    EXPECT_EQ(Get(kSelector), HresultFromWin32(ERROR_NOT_FOUND));
    EXPECT_EQ(waits, 0);
}

} // namespace
} // namespace vistrel::uvc
