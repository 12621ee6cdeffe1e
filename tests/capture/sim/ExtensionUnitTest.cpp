// The scanner's extension unit as the identification exchange sees it, under every unit fault.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <functional>

#include "SimTestSupport.h"

namespace vistrel::sim::test {
namespace {

constexpr std::uint32_t kGet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_GET;
constexpr std::uint32_t kSet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SET;
constexpr std::uint32_t kSetSupport = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SETSUPPORT;
constexpr std::uint32_t kBasicSupport = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_BASICSUPPORT;
constexpr std::array<std::uint8_t, 8> kIdentify {0x00, 0xD0, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00};

struct Reply {
    HRESULT hr;
    std::vector<std::uint8_t> bytes;
    std::uint32_t returned;
};

class Unit {
public:
    explicit Unit(IBaseFilter& filter) : control(filter.QueryKsControl()), topology(filter.QueryKsTopologyInfo()) {}

    // Every node of the extension-unit type, and the first of them that takes the scanner's set.
    std::vector<std::uint32_t> DevSpecificNodes() const
    {
        std::vector<std::uint32_t> nodes;
        std::uint32_t count = 0;
        topology->get_NumNodes(&count);
        for (std::uint32_t n = 0; n < count; ++n) {
            Guid type;
            if (topology->get_NodeType(n, &type) == S_OK && type == KSNODETYPE_DEV_SPECIFIC)
                nodes.push_back(n);
        }
        return nodes;
    }
    std::optional<std::uint32_t> FindUnit()
    {
        for (auto n : DevSpecificNodes()) {
            node = n;
            if (Send(0, kSetSupport, 4).hr == S_OK)
                return n;
        }
        return std::nullopt;
    }
    Reply Send(std::uint32_t id, std::uint32_t flags, std::uint32_t length, const void* write = nullptr)
    {
        KSP_NODE request {PROPSETID_ScannerExtensionUnit, id, flags, node, 0};
        Reply r {S_OK, std::vector<std::uint8_t>(length), 0};
        if (write)
            std::memcpy(r.bytes.data(), write, length);
        r.hr = control->KsProperty(request, length ? r.bytes.data() : nullptr, length, &r.returned);
        return r;
    }
    Reply WriteCommand(const std::array<std::uint8_t, 8>& command) { return Send(10, kSet, 8, command.data()); }

    std::shared_ptr<IKsControl> control;
    std::shared_ptr<IKsTopologyInfo> topology;
    std::uint32_t node = 0;
};

class ExtensionUnitTest : public ::testing::Test {
protected:
    std::shared_ptr<IBaseFilter> Scanner(const ScannerFaults& faults = {})
    {
        DeviceOptions options;
        options.faults = faults;
        path = source.AddDevice(options);
        return Bind(source, path);
    }
    SimulatedDeviceSource source;
    std::string path;
};

TEST_F(ExtensionUnitTest, DescriptorNamesTheUnitItsInputAndControlsTenAndEleven)
{
    auto filter = Scanner();
    Unit unit(*filter);
    ASSERT_EQ(unit.DevSpecificNodes().size(), 2u) << "a foreign unit ahead of the scanner's";
    auto node = unit.FindUnit();
    ASSERT_TRUE(node);
    EXPECT_EQ(*node, unit.DevSpecificNodes()[1]);

    const Reply probe = unit.Send(0, kGet, 0);
    EXPECT_EQ(probe.hr, HresultFromWin32(ERROR_MORE_DATA));
    const Reply d = unit.Send(0, kGet, 64);
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.returned, probe.returned);
    ASSERT_GE(d.returned, 22u);
    EXPECT_EQ(std::memcmp(d.bytes.data(), &PROPSETID_ScannerExtensionUnit, 16), 0);
    const std::uint8_t pins = d.bytes[17];
    ASSERT_EQ(pins, 1);
    const std::uint8_t bitmapSize = d.bytes[18 + pins];
    ASSERT_EQ(bitmapSize, 2);
    std::uint32_t bitmap = 0;
    for (int i = 0; i < bitmapSize; ++i)
        bitmap |= std::uint32_t(d.bytes[19 + pins + i]) << (8 * i);
    EXPECT_TRUE(bitmap & (1u << 9)) << "control 10";
    EXPECT_TRUE(bitmap & (1u << 10)) << "control 11";
    EXPECT_EQ(d.bytes[16], std::popcount(bitmap)) << "number of controls agrees with the bitmap";
}

TEST_F(ExtensionUnitTest, IdentificationExchangeAnswersRealsilOnlyAfterTheCommand)
{
    auto filter = Scanner();
    Unit unit(*filter);
    ASSERT_TRUE(unit.FindUnit());

    std::uint32_t access10 = 0, access11 = 0;
    auto basic10 = unit.Send(10, kBasicSupport, 4), basic11 = unit.Send(11, kBasicSupport, 4);
    ASSERT_EQ(basic10.hr, S_OK);
    ASSERT_EQ(basic11.hr, S_OK);
    std::memcpy(&access10, basic10.bytes.data(), 4);
    std::memcpy(&access11, basic11.bytes.data(), 4);
    EXPECT_EQ(access10 & 3u, 3u) << "control 10 is read and written";
    EXPECT_EQ(access11 & 1u, 1u) << "control 11 is read";

    for (std::uint32_t id : {10u, 11u}) {
        const Reply probe = unit.Send(id, kGet, 0);
        EXPECT_EQ(probe.hr, HresultFromWin32(ERROR_MORE_DATA)) << id;
        EXPECT_EQ(probe.returned, 8u) << id;
    }
    EXPECT_NE(unit.Send(11, kGet, 8).bytes[0], 'R') << "no identity before the command";

    ASSERT_EQ(unit.WriteCommand(kIdentify).hr, S_OK);
    const Reply identity = unit.Send(11, kGet, 8);
    ASSERT_EQ(identity.hr, S_OK);
    EXPECT_EQ(std::string(identity.bytes.begin(), identity.bytes.end()), std::string("REALSIL\0", 8));
    EXPECT_EQ(std::memcmp(unit.Send(10, kGet, 8).bytes.data(), kIdentify.data(), 8), 0) << "command reads back";

    ASSERT_EQ(unit.WriteCommand({0xFF}).hr, S_OK); // the reset command
    EXPECT_NE(unit.Send(11, kGet, 8).bytes[0], 'R');
}

// Each fault switch of the unit and what the identification exchange then meets.
struct UnitFaultCase {
    const char* name;
    std::function<void(ScannerFaults&)> set;
    std::function<void(Unit&)> check;
};

TEST_F(ExtensionUnitTest, EveryUnitFaultShowsWhereTheExchangeLooks)
{
    const UnitFaultCase cases[] = {
        {"no extension unit", [](ScannerFaults& f) { f.noExtensionUnit = true; },
         [](Unit& u) { EXPECT_TRUE(u.DevSpecificNodes().empty()); }},
        {"unit rejects the set", [](ScannerFaults& f) { f.unitRejectsSet = true; },
         [](Unit& u) {
             EXPECT_FALSE(u.DevSpecificNodes().empty());
             EXPECT_FALSE(u.FindUnit());
         }},
        {"unit not ready", [](ScannerFaults& f) { f.unitNotReady = true; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             for (int attempt = 0; attempt < 3; ++attempt)
                 EXPECT_EQ(u.Send(10, kGet, 0).hr, HresultFromWin32(ERROR_NOT_READY));
         }},
        {"empty bitmap", [](ScannerFaults& f) { f.bitmapSize = 0; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             const Reply d = u.Send(0, kGet, 64);
             EXPECT_EQ(d.bytes[19], 0);
             EXPECT_EQ(d.bytes[16], 0);
             EXPECT_EQ(u.Send(10, kBasicSupport, 4).hr, E_PROP_ID_UNSUPPORTED);
         }},
        {"five-byte bitmap", [](ScannerFaults& f) { f.bitmapSize = 5; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             const Reply d = u.Send(0, kGet, 64);
             EXPECT_EQ(d.bytes[19], 5);
             EXPECT_EQ(d.returned, 16u + 4u + 5u + 1u);
         }},
        {"one-byte bitmap hides controls 10 and 11", [](ScannerFaults& f) { f.bitmapSize = 1; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             EXPECT_EQ(u.Send(0, kGet, 64).bytes[16], 1) << "only the version control fits";
             EXPECT_EQ(u.WriteCommand(kIdentify).hr, E_PROP_ID_UNSUPPORTED);
         }},
        {"four-byte controls", [](ScannerFaults& f) { f.controlLength = 4; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             EXPECT_EQ(u.Send(11, kGet, 0).returned, 4u);
             EXPECT_NE(u.WriteCommand(kIdentify).hr, S_OK) << "an 8-byte write to a 4-byte control";
             const std::array<std::uint8_t, 4> shortCommand {0x00, 0xD0, 0x00, 0x00};
             EXPECT_EQ(u.Send(10, kSet, 4, shortCommand.data()).hr, S_OK);
         }},
        {"zero-length controls", [](ScannerFaults& f) { f.controlLength = 0; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             const Reply probe = u.Send(11, kGet, 0);
             EXPECT_EQ(probe.hr, S_OK);
             EXPECT_EQ(probe.returned, 0u);
         }},
        {"wrong eighth byte", [](ScannerFaults& f) { f.identityByte8 = 0x21; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             ASSERT_EQ(u.WriteCommand(kIdentify).hr, S_OK);
             const Reply r = u.Send(11, kGet, 8);
             EXPECT_EQ(std::string(r.bytes.begin(), r.bytes.begin() + 7), "REALSIL");
             EXPECT_EQ(r.bytes[7], 0x21);
         }},
        {"command write fails", [](ScannerFaults& f) { f.failCommandWrite = true; },
         [](Unit& u) {
             ASSERT_TRUE(u.FindUnit());
             EXPECT_TRUE(Failed(u.WriteCommand(kIdentify).hr));
             EXPECT_EQ(u.Send(10, kGet, 8).hr, S_OK) << "reading control 10 still works";
             EXPECT_NE(u.Send(11, kGet, 8).bytes[0], 'R');
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScannerFaults faults;
        c.set(faults);
        auto filter = Scanner(faults);
        ASSERT_TRUE(filter);
        Unit unit(*filter);
        c.check(unit);
    }
}

TEST_F(ExtensionUnitTest, FaultsChangedOnAPluggedDeviceTakeEffect)
{
    auto filter = Scanner();
    Unit unit(*filter);
    ASSERT_TRUE(unit.FindUnit());
    ScannerFaults faults = source.Faults(path);
    faults.identityByte8 = 1;
    source.SetFaults(path, faults);
    ASSERT_EQ(unit.WriteCommand(kIdentify).hr, S_OK);
    EXPECT_EQ(unit.Send(11, kGet, 8).bytes[7], 1);
}

TEST_F(ExtensionUnitTest, CameraHasOrdinaryNodesOnlyAndRejectsTheScannerSet)
{
    DeviceOptions options;
    options.kind = DeviceOptions::Kind::Camera;
    auto filter = Bind(source, source.AddDevice(options));
    ASSERT_TRUE(filter);
    Unit unit(*filter);
    std::uint32_t count = 0;
    ASSERT_EQ(unit.topology->get_NumNodes(&count), S_OK);
    EXPECT_GT(count, 0u);
    EXPECT_TRUE(unit.DevSpecificNodes().empty());
    for (std::uint32_t n = 0; n < count; ++n) {
        unit.node = n;
        EXPECT_TRUE(Failed(unit.Send(0, kSetSupport, 4).hr));
    }
}

TEST_F(ExtensionUnitTest, RequestsToOtherNodesOrSetsAreRefused)
{
    auto filter = Scanner();
    Unit unit(*filter);
    const auto node = unit.FindUnit();
    ASSERT_TRUE(node);
    KSP_NODE wrongSet {PIN_CATEGORY_CAPTURE, 0, kGet, *node, 0};
    std::array<std::uint8_t, 64> buffer {};
    std::uint32_t returned = 0;
    EXPECT_TRUE(Failed(unit.control->KsProperty(wrongSet, buffer.data(), 64, &returned)));
    unit.node = 0;
    EXPECT_TRUE(Failed(unit.Send(0, kGet, 64).hr));
    Guid type;
    EXPECT_TRUE(Failed(unit.topology->get_NodeType(99, &type)));
}

} // namespace
} // namespace vistrel::sim::test
