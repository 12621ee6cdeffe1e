#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "DescriptorFixtures.h"
#include "FakeIo.h"
#include "capture/linux/ErrnoResult.h"
#include "capture/uvc/ExtensionUnitTopology.h"
#include "capture/v4l2/KernelUnitIo.h"

namespace vistrel::v4l2 {
namespace {

constexpr std::uint32_t kTopologyGet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_GET;
constexpr std::uint32_t kTopologySet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SET;
constexpr std::uint32_t kTopologySetSupport = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SETSUPPORT;
constexpr std::uint32_t kTopologyBasicSupport = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_BASICSUPPORT;
constexpr std::uint8_t kScannerUnit = 4;

class ExtensionUnitTopologyTest : public testing::Test
{
protected:
    ExtensionUnitTopologyTest()
    {
        const auto function = uvc::ParseUvcFunction(test::ScannerDescriptors(), 0);
        io = std::make_shared<test::FakeIo>();
        io->extensionUnits = {kScannerUnit};
        io->unitControls[{kScannerUnit, 10}] = test::UnitControl::With(0x03, std::vector<std::uint8_t>(8, 0));
        io->unitControls[{kScannerUnit, 11}] = test::UnitControl::With(0x01, {'R', 'E', 'A', 'L', 'S', 'I', 'L', 0});
        topology = std::make_unique<uvc::ExtensionUnitTopology>(
            function->extensionUnits, std::make_shared<KernelUnitIo>(io), [this](std::chrono::milliseconds interval) { waits.push_back(interval); });
        // The node of the scanner's unit: the second of the two units.
        scannerNode = 1;
    }

    HRESULT Request(std::uint32_t id, std::uint32_t flags, void* data, std::uint32_t length,
                    std::uint32_t* returned, const Guid& set = PROPSETID_ScannerExtensionUnit)
    {
        return topology->KsProperty(KSP_NODE {set, id, flags, scannerNode, 0}, data, length, returned);
    }

    std::shared_ptr<test::FakeIo> io;
    std::unique_ptr<uvc::ExtensionUnitTopology> topology;
    std::uint32_t scannerNode = 0;
    std::vector<std::chrono::milliseconds> waits;
};

TEST_F(ExtensionUnitTopologyTest, EveryUnitIsADeviceSpecificNodeOfItsOwnSet)
{
    std::uint32_t count = 0;
    ASSERT_EQ(topology->get_NumNodes(&count), S_OK);
    ASSERT_EQ(count, 2u);
    for (std::uint32_t node = 0; node < count; ++node) {
        Guid type;
        EXPECT_EQ(topology->get_NodeType(node, &type), S_OK);
        EXPECT_EQ(type, KSNODETYPE_DEV_SPECIFIC);
    }
    Guid type;
    EXPECT_EQ(topology->get_NodeType(2, &type), E_INVALIDARG);

    std::uint32_t reply = 0;
    std::uint32_t returned = 0;
    const auto setSupport = [&](std::uint32_t node) {
        return topology->KsProperty(KSP_NODE {PROPSETID_ScannerExtensionUnit, 0, kTopologySetSupport, node, 0}, &reply,
                                    sizeof reply, &returned);
    };
    EXPECT_EQ(setSupport(0), HresultFromWin32(ERROR_SET_NOT_FOUND)) << "the other unit does not answer our set";
    EXPECT_EQ(setSupport(1), S_OK);
    EXPECT_EQ(setSupport(2), E_INVALIDARG);
    EXPECT_TRUE(io->log.empty()) << "the set is known from the descriptor";
}

TEST_F(ExtensionUnitTopologyTest, UnitInformationIsTheDescriptorFromItsCodeOnward)
{
    std::uint8_t reply[64] {};
    std::uint32_t returned = 0;
    ASSERT_EQ(Request(0, kTopologyGet, reply, sizeof reply, &returned), S_OK);
    ASSERT_EQ(returned, 23u);
    EXPECT_EQ(std::memcmp(reply, test::GuidBytes(PROPSETID_ScannerExtensionUnit).data(), 16), 0);
    const std::uint8_t pins = reply[17];
    EXPECT_EQ(reply[16], 11);
    EXPECT_EQ(pins, 1);
    EXPECT_EQ(reply[18 + pins], 2);
    EXPECT_EQ(reply[19 + pins], 0xFF);
    EXPECT_EQ(reply[20 + pins], 0x07);

    EXPECT_EQ(Request(0, kTopologyGet, nullptr, 0, &returned), HresultFromWin32(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 23u);
    EXPECT_EQ(Request(0, kTopologyGet, reply, 8, &returned), HresultFromWin32(ERROR_MORE_DATA));
    EXPECT_EQ(Request(0, kTopologyGet, nullptr, 8, &returned), E_POINTER);
}

TEST_F(ExtensionUnitTopologyTest, BasicSupportGivesTheReadAndWriteBits)
{
    io->unitControls[{kScannerUnit, 3}] = test::UnitControl::With(0x0F, {0}); // autoupdate and asynchronous bits too
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{10, 3}, {11, 1}, {3, 3}};
    for (const auto& [id, access] : cases) {
        std::uint32_t reply = 0xFFFFFFFF;
        std::uint32_t returned = 0;
        ASSERT_EQ(Request(id, kTopologyBasicSupport, &reply, sizeof reply, &returned), S_OK) << id;
        EXPECT_EQ(reply, access) << id;
        EXPECT_EQ(returned, 4u);
    }
}

TEST_F(ExtensionUnitTopologyTest, LengthProbeAnswersMoreDataWithTheLength)
{
    std::uint32_t returned = 0;
    EXPECT_EQ(Request(10, kTopologyGet, nullptr, 0, &returned), HresultFromWin32(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 8u);

    io->unitControls[{kScannerUnit, 10}].notReadyTimes = 2;
    EXPECT_EQ(Request(10, kTopologyGet, nullptr, 0, &returned), HresultFromWin32(ERROR_NOT_READY));
    EXPECT_EQ(Request(10, kTopologyGet, nullptr, 0, &returned), HresultFromWin32(ERROR_NOT_READY));
    EXPECT_EQ(Request(10, kTopologyGet, nullptr, 0, &returned), HresultFromWin32(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 8u);

    io->unitControls[{kScannerUnit, 2}] = test::UnitControl::With(0x01, {}); // a control of no data
    EXPECT_EQ(Request(2, kTopologyGet, nullptr, 0, &returned), S_OK);
    EXPECT_EQ(returned, 0u);
}

TEST_F(ExtensionUnitTopologyTest, ValuesTravelAsTheControlsOwnBytes)
{
    std::uint8_t command[8] = {0x00, 0xD0, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00};
    std::uint32_t returned = 0;
    ASSERT_EQ(Request(10, kTopologySet, command, sizeof command, &returned), S_OK);
    EXPECT_EQ((io->unitControls[{kScannerUnit, 10}].value), std::vector<std::uint8_t>(command, command + 8));

    std::uint8_t reply[8] {};
    ASSERT_EQ(Request(11, kTopologyGet, reply, sizeof reply, &returned), S_OK);
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(std::memcmp(reply, "REALSIL", 8), 0);

    std::uint8_t small[4] {};
    EXPECT_EQ(Request(11, kTopologyGet, small, sizeof small, &returned), HresultFromWin32(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 8u);

    io->log.clear();
    EXPECT_EQ(Request(10, kTopologySet, small, sizeof small, &returned), E_INVALIDARG);
    const std::string write = "uvc 4 10 " + std::to_string(UVC_SET_CUR);
    EXPECT_EQ(std::ranges::count(io->log, write), 0) << "a value of the wrong width is not written";
    EXPECT_EQ((io->unitControls[{kScannerUnit, 10}].value), std::vector<std::uint8_t>(command, command + 8));
}

TEST_F(ExtensionUnitTopologyTest, ControlsOutsideTheBitmapAreNotAsked)
{
    io->log.clear();
    std::uint32_t reply = 0;
    std::uint32_t returned = 0;
    for (std::uint32_t id : {12u, 16u, 32u, 256u, 1000u})
        EXPECT_EQ(Request(id, kTopologyBasicSupport, &reply, sizeof reply, &returned), E_PROP_ID_UNSUPPORTED) << id;
    EXPECT_TRUE(io->log.empty());
}

TEST_F(ExtensionUnitTopologyTest, DriverErrorsBecomeResultCodes)
{
    struct Case
    {
        int error;
        HRESULT result;
    };
    const Case cases[] = {
        {EBUSY, HresultFromWin32(ERROR_NOT_READY)},
        {EAGAIN, HresultFromWin32(ERROR_NOT_READY)},
        {ENODEV, HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED)},
        {EPIPE, HresultFromWin32(ERROR_GEN_FAILURE)},
        {EACCES, HresultFromWin32(ERROR_ACCESS_DENIED)},
        {EOVERFLOW, E_FAIL},
    };
    std::uint8_t data[8] {};
    std::uint32_t returned = 0;
    ASSERT_EQ(Request(10, kTopologyGet, data, sizeof data, &returned), S_OK) << "the driver has learned the control";
    for (const Case& c : cases) {
        io->unitControls[{kScannerUnit, 10}].error = c.error;
        EXPECT_EQ(Request(10, kTopologyGet, data, sizeof data, &returned), c.result) << c.error;
        EXPECT_EQ(Request(10, kTopologyBasicSupport, data, 4, &returned), c.result) << c.error;
    }
    EXPECT_TRUE(waits.empty()) << "only a control the driver could not learn is asked again";
}

TEST_F(ExtensionUnitTopologyTest, AControlTheDriverCouldNotLearnIsAskedAgain)
{
    struct Case
    {
        int notReadyTimes;    // the device's "not ready" answers before the first use
        HRESULT result;
        std::size_t waits;
    };
    // Each failed first use costs the driver one "not ready" and answers ENOENT.
    const Case cases[] = {
        {0, S_OK, 0},
        {1, S_OK, 1},
        {uvc::ExtensionUnitTopology::kFirstUseAttempts - 1, S_OK, uvc::ExtensionUnitTopology::kFirstUseAttempts - 1},
        {uvc::ExtensionUnitTopology::kFirstUseAttempts, HresultFromWin32(ERROR_NOT_READY),
         uvc::ExtensionUnitTopology::kFirstUseAttempts - 1},
    };
    for (const Case& c : cases) {
        // "Not ready" is the device's state after power-up: its other control does not answer either.
        for (const std::uint8_t selector : {10, 11}) {
            io->unitControls[{kScannerUnit, selector}].learned = false;
            io->unitControls[{kScannerUnit, selector}].notReadyTimes = c.notReadyTimes;
        }
        waits.clear();
        std::uint32_t access = 0;
        std::uint32_t returned = 0;
        EXPECT_EQ(Request(10, kTopologyBasicSupport, &access, sizeof access, &returned), c.result) << c.notReadyTimes;
        EXPECT_EQ(waits.size(), c.waits) << c.notReadyTimes;
        EXPECT_TRUE(std::ranges::all_of(waits, [](auto w) { return w == uvc::ExtensionUnitTopology::kFirstUseInterval; }));
        if (c.result == S_OK) {
            EXPECT_EQ(access, 3u) << c.notReadyTimes;
        }
    }
}

// The unit declares selectors 1 to 11; the device has only 10 and 11. The driver answers ENOENT for
// the others at every use, as it does for a control it could not learn yet.
TEST_F(ExtensionUnitTopologyTest, AControlTheDeviceDoesNotHaveIsNotWaitedFor)
{
    for (const std::uint32_t absent : {1u, 3u, 9u}) {
        std::uint32_t access = 0;
        std::uint32_t returned = 0;
        EXPECT_TRUE(Failed(Request(absent, kTopologyBasicSupport, &access, sizeof access, &returned))) << absent;
    }
    EXPECT_TRUE(waits.empty()) << waits.size() << " waits: the device answered for its other controls";
    std::uint32_t access = 0;
    std::uint32_t returned = 0;
    EXPECT_EQ(Request(10, kTopologyBasicSupport, &access, sizeof access, &returned), S_OK);
    EXPECT_EQ(access, 3u);
}

TEST(ErrnoResult, BusyMeansHeldElsewhereOnlyForStreams)
{
    EXPECT_EQ(lnx::StreamResultFromErrno(EBUSY), HresultFromWin32(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(lnx::ControlResultFromErrno(EBUSY), HresultFromWin32(ERROR_NOT_READY));
    EXPECT_EQ(lnx::StreamResultFromErrno(ENOSPC), HresultFromWin32(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(lnx::StreamResultFromErrno(0), S_OK);
    EXPECT_EQ(lnx::StreamResultFromErrno(ENODEV), HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED));
}

} // namespace
} // namespace vistrel::v4l2
