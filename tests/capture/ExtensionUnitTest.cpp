#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "SimRig.h"
#include "support/CaseName.h"
#include "capture/engine/ExtensionUnit.h"

namespace vistrel::test {
namespace {

using test::PrintTo; // cases print as their names

// Passes every extension-unit request on to the device and remembers it.
class KsRecorder : public IBaseFilter, public IKsControl, public std::enable_shared_from_this<KsRecorder> {
public:
    struct Request {
        std::uint32_t id;
        std::uint32_t flags;
        std::uint32_t length;
        std::vector<std::uint8_t> sent; // the data of a SET
    };

    explicit KsRecorder(std::shared_ptr<IBaseFilter> inner) : inner(std::move(inner)), control(this->inner->QueryKsControl()) {}

    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override { return inner->EnumPins(pins); }
    HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) override { return inner->JoinFilterGraph(graph, name); }
    std::string Name() const override { return inner->Name(); }
    HRESULT Run() override { return inner->Run(); }
    HRESULT Stop() override { return inner->Stop(); }
    HRESULT GetState(std::uint32_t t, FilterState* s) override { return inner->GetState(t, s); }
    std::shared_ptr<IKsControl> QueryKsControl() override { return control ? shared_from_this() : nullptr; }
    std::shared_ptr<IKsTopologyInfo> QueryKsTopologyInfo() override { return inner->QueryKsTopologyInfo(); }

    HRESULT KsProperty(const KSP_NODE& p, void* data, std::uint32_t length, std::uint32_t* returned) override
    {
        Request r {p.id, p.flags, length, {}};
        if (p.flags & KSPROPERTY_TYPE_SET)
            r.sent.assign(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + length);
        requests.push_back(r);
        return control->KsProperty(p, data, length, returned);
    }

    std::vector<Request> requests;

private:
    std::shared_ptr<IBaseFilter> inner;
    std::shared_ptr<IKsControl> control;
};

constexpr std::uint32_t kGet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_GET;
constexpr std::uint32_t kSet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SET;
const std::vector<std::uint8_t> kIdentifyBytes {0x00, 0xD0, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00};
const std::vector<std::uint8_t> kResetBytes {0xFF, 0, 0, 0, 0, 0, 0, 0};

std::vector<KsRecorder::Request> AfterOpen(const std::vector<KsRecorder::Request>& all, std::size_t openCount)
{
    return {all.begin() + static_cast<std::ptrdiff_t>(openCount), all.end()};
}

struct UnitCase {
    const char* name;
    ScannerFaults faults;
    HRESULT openResult;
    bool usable;
    bool identified;
};

class ScannerUnit : public ::testing::TestWithParam<UnitCase> {};

TEST_P(ScannerUnit, OpensAndIdentifiesOnlyAWellFormedScanner)
{
    const UnitCase& c = GetParam();
    SimRig rig;
    rig.Add(DeviceKind::Scanner, c.faults);
    const auto filter = rig.Bind(0);
    ASSERT_NE(filter, nullptr);

    ExtensionUnit unit([](std::chrono::milliseconds) {});
    EXPECT_EQ(unit.OpenExtensionUnit(filter), c.openResult);
    EXPECT_EQ(unit.IsOpen(), c.usable);
    EXPECT_EQ(IdentifyScanner(unit), c.identified);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ScannerUnit,
    ::testing::Values(
        UnitCase {"Healthy", {}, S_OK, true, true},
        UnitCase {"NoUnitNode", Faults([](ScannerFaults& f) { f.noExtensionUnit = true; }), E_FAIL, false, false},
        UnitCase {"NodeRejectsSet", Faults([](ScannerFaults& f) { f.unitRejectsSet = true; }), E_FAIL, false, false},
        UnitCase {"EmptyBitmap", Faults([](ScannerFaults& f) { f.bitmapSize = 0; }), S_OK, false, false},
        UnitCase {"FiveByteBitmap", Faults([](ScannerFaults& f) { f.bitmapSize = 5; }), S_OK, false, false},
        UnitCase {"FourByteBitmap", Faults([](ScannerFaults& f) { f.bitmapSize = 4; }), S_OK, true, true},
        UnitCase {"WrongEighthByte", Faults([](ScannerFaults& f) { f.identityByte8 = 'X'; }), S_OK, true, false},
        UnitCase {"ThreeByteControls", Faults([](ScannerFaults& f) { f.controlLength = 3; }), S_OK, true, false},
        UnitCase {"FourByteControls", Faults([](ScannerFaults& f) { f.controlLength = 4; }), S_OK, true, false},
        UnitCase {"FailedCommandWrite", Faults([](ScannerFaults& f) { f.failCommandWrite = true; }), S_OK, true, false},
        UnitCase {"NeverReady", Faults([](ScannerFaults& f) { f.unitNotReady = true; }), S_OK, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScannerUnitProbe, GivesUpAfterTenNotReadyAnswersWaitingAfterEach)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner, Faults([](ScannerFaults& f) { f.unitNotReady = true; }));
    auto recorder = std::make_shared<KsRecorder>(rig.Bind(0));
    std::vector<std::chrono::milliseconds> waits;
    ExtensionUnit unit([&](std::chrono::milliseconds d) { waits.push_back(d); });
    ASSERT_EQ(unit.OpenExtensionUnit(recorder), S_OK);

    std::map<std::uint32_t, int> probes;
    for (const auto& r : recorder->requests)
        if (r.flags == kGet && r.length == 0)
            ++probes[r.id];
    ASSERT_FALSE(probes.empty());
    for (const auto& [id, attempts] : probes) {
        EXPECT_EQ(attempts, ExtensionUnit::kMaxProbeAttempts) << "control " << id;
        EXPECT_EQ(unit.Length(id), 0u);
        EXPECT_EQ(unit.Access(id), 0u) << "a control that never answered is not usable";
    }
    EXPECT_EQ(waits.size(), probes.size() * ExtensionUnit::kMaxProbeAttempts);
    for (const auto w : waits)
        EXPECT_EQ(w, std::chrono::milliseconds(100));
}

TEST(ScannerUnitProbe, ReadsTheAnnouncedLengthsOfAHealthyUnit)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    int waits = 0;
    ExtensionUnit unit([&](std::chrono::milliseconds) { ++waits; });
    ASSERT_EQ(unit.OpenExtensionUnit(rig.Bind(0)), S_OK);
    EXPECT_EQ(unit.Length(ExtensionUnit::kCommandControl), 8u);
    EXPECT_EQ(unit.Length(ExtensionUnit::kReplyControl), 8u);
    EXPECT_EQ(unit.Access(ExtensionUnit::kCommandControl), 3u);
    EXPECT_EQ(unit.Access(ExtensionUnit::kReplyControl), 1u);
    EXPECT_EQ(unit.Access(12), 0u);
    EXPECT_EQ(waits, 3) << "one wait after each control's single probe";
}

TEST(IdentifyScanner, ExchangesCommandAndReplyAndStops)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    auto recorder = std::make_shared<KsRecorder>(rig.Bind(0));
    ExtensionUnit unit([](std::chrono::milliseconds) {});
    ASSERT_EQ(unit.OpenExtensionUnit(recorder), S_OK);
    const std::size_t openRequests = recorder->requests.size();

    ASSERT_TRUE(IdentifyScanner(unit));
    const auto exchange = AfterOpen(recorder->requests, openRequests);
    ASSERT_EQ(exchange.size(), 2u);
    EXPECT_EQ(exchange[0].id, 10u);
    EXPECT_EQ(exchange[0].flags, kSet);
    EXPECT_EQ(exchange[0].sent, kIdentifyBytes);
    EXPECT_EQ(exchange[1].id, 11u);
    EXPECT_EQ(exchange[1].flags, kGet);
    EXPECT_EQ(exchange[1].length, 8u);
}

TEST(IdentifyScanner, AWrongReplySendsNothingMore)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner, Faults([](ScannerFaults& f) { f.identityByte8 = 1; }));
    auto recorder = std::make_shared<KsRecorder>(rig.Bind(0));
    ExtensionUnit unit([](std::chrono::milliseconds) {});
    ASSERT_EQ(unit.OpenExtensionUnit(recorder), S_OK);
    const std::size_t openRequests = recorder->requests.size();

    EXPECT_FALSE(IdentifyScanner(unit));
    const auto exchange = AfterOpen(recorder->requests, openRequests);
    ASSERT_EQ(exchange.size(), 2u);
    EXPECT_EQ(exchange[1].id, 11u);
}

TEST(IdentifyScanner, AFailedCommandWriteReadsBackAndResetsTheUnit)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner, Faults([](ScannerFaults& f) { f.failCommandWrite = true; }));
    auto recorder = std::make_shared<KsRecorder>(rig.Bind(0));
    ExtensionUnit unit([](std::chrono::milliseconds) {});
    ASSERT_EQ(unit.OpenExtensionUnit(recorder), S_OK);
    const std::size_t openRequests = recorder->requests.size();

    EXPECT_FALSE(IdentifyScanner(unit));
    const auto exchange = AfterOpen(recorder->requests, openRequests);
    ASSERT_EQ(exchange.size(), 3u);
    EXPECT_EQ(exchange[0].sent, kIdentifyBytes);
    EXPECT_EQ(exchange[1].id, 10u);
    EXPECT_EQ(exchange[1].flags, kGet);
    EXPECT_EQ(exchange[2].id, 10u);
    EXPECT_EQ(exchange[2].flags, kSet);
    EXPECT_EQ(exchange[2].sent, kResetBytes);
}

TEST(IdentifyScanner, AControlOfInvalidLengthIsNeverAddressed)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner, Faults([](ScannerFaults& f) { f.controlLength = 3; }));
    auto recorder = std::make_shared<KsRecorder>(rig.Bind(0));
    ExtensionUnit unit([](std::chrono::milliseconds) {});
    ASSERT_EQ(unit.OpenExtensionUnit(recorder), S_OK);
    const std::size_t openRequests = recorder->requests.size();

    std::int64_t value = 0;
    EXPECT_EQ(unit.GetExtensionControl(11, &value), E_FAIL);
    EXPECT_EQ(unit.SetExtensionControl(kIdentifyCommand), E_FAIL);
    EXPECT_FALSE(IdentifyScanner(unit));
    EXPECT_EQ(recorder->requests.size(), openRequests);
}

// A unit whose descriptor and replies the test writes byte by byte.
class FakeUnit : public IBaseFilter, public IKsControl, public IKsTopologyInfo, public std::enable_shared_from_this<FakeUnit> {
public:
    struct Control {
        std::uint32_t access = 3;
        HRESULT probe = HresultFromWin32(ERROR_MORE_DATA);
        std::uint32_t length = 8;
        std::vector<std::uint8_t> value;
    };
    std::vector<std::uint8_t> descriptor;
    std::map<std::uint32_t, Control> controls;
    std::vector<std::vector<std::uint8_t>> written;

    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override { pins->clear(); return S_OK; }
    HRESULT JoinFilterGraph(IFilterGraph*, const std::string&) override { return S_OK; }
    std::string Name() const override { return "fake"; }
    HRESULT Run() override { return S_OK; }
    HRESULT Stop() override { return S_OK; }
    HRESULT GetState(std::uint32_t, FilterState* s) override { *s = FilterState::Stopped; return S_OK; }
    std::shared_ptr<IKsControl> QueryKsControl() override { return shared_from_this(); }
    std::shared_ptr<IKsTopologyInfo> QueryKsTopologyInfo() override { return shared_from_this(); }

    HRESULT get_NumNodes(std::uint32_t* count) override { *count = 3; return S_OK; }
    HRESULT get_NodeType(std::uint32_t node, Guid* type) override
    {
        *type = node == 2 ? KSNODETYPE_DEV_SPECIFIC : GUID_NULL;
        return S_OK;
    }

    HRESULT KsProperty(const KSP_NODE& p, void* data, std::uint32_t length, std::uint32_t* returned) override
    {
        *returned = 0;
        if (p.nodeId != 2 || p.set != PROPSETID_ScannerExtensionUnit)
            return E_FAIL;
        const std::uint32_t kind = p.flags & ~KSPROPERTY_TYPE_TOPOLOGY;
        if (kind == KSPROPERTY_TYPE_SETSUPPORT)
            return S_OK;
        if (p.id == 0) {
            std::memcpy(data, descriptor.data(), std::min<std::size_t>(length, descriptor.size()));
            *returned = static_cast<std::uint32_t>(descriptor.size());
            return S_OK;
        }
        const auto it = controls.find(p.id);
        if (it == controls.end())
            return E_PROP_ID_UNSUPPORTED;
        const Control& c = it->second;
        if (kind == KSPROPERTY_TYPE_BASICSUPPORT) {
            std::memcpy(data, &c.access, 4);
            return S_OK;
        }
        if (kind == KSPROPERTY_TYPE_GET && length == 0) {
            *returned = c.length;
            return c.probe;
        }
        if (kind == KSPROPERTY_TYPE_GET) {
            std::memcpy(data, c.value.data(), std::min<std::size_t>(length, c.value.size()));
            *returned = length;
            return S_OK;
        }
        written.emplace_back(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + length);
        return S_OK;
    }

    // Descriptor with the given number of input pins and bitmap.
    void Describe(std::uint8_t controlCount, std::uint8_t inputPins, std::vector<std::uint8_t> bitmap)
    {
        descriptor.assign(16, 0);
        descriptor.push_back(controlCount);
        descriptor.push_back(inputPins);
        descriptor.insert(descriptor.end(), inputPins, 0);
        descriptor.push_back(static_cast<std::uint8_t>(bitmap.size()));
        descriptor.insert(descriptor.end(), bitmap.begin(), bitmap.end());
    }
};

TEST(ExtensionControl, ReadsLittleEndianValuesWithTheirSign)
{
    struct Case {
        std::uint32_t length;
        std::vector<std::uint8_t> bytes;
        std::int64_t expected;
    };
    const Case cases[] = {
        {1, {0x7F}, 127},
        {1, {0x80}, -128},
        {2, {0x34, 0x12}, 0x1234},
        {2, {0x00, 0x80}, -32768},
        {4, {0xFE, 0xFF, 0xFF, 0xFF}, -2},
        {4, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {8, {0x52, 0x45, 0x41, 0x4C, 0x53, 0x49, 0x4C, 0x00}, 0x004C49534C414552LL},
        {8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
    };
    for (const auto& c : cases) {
        auto fake = std::make_shared<FakeUnit>();
        fake->Describe(1, 1, {0x00, 0x04}); // control 11
        fake->controls[11] = {1, HresultFromWin32(ERROR_MORE_DATA), c.length, c.bytes};
        ExtensionUnit unit([](std::chrono::milliseconds) {});
        ASSERT_EQ(unit.OpenExtensionUnit(fake), S_OK);
        std::int64_t value = 0;
        ASSERT_EQ(unit.GetExtensionControl(11, &value), S_OK) << "length " << c.length;
        EXPECT_EQ(value, c.expected) << "length " << c.length;
    }
}

TEST(ExtensionControl, WritesTheLowBytesOfTheCommand)
{
    for (const std::uint32_t length : {1u, 2u, 4u, 8u}) {
        auto fake = std::make_shared<FakeUnit>();
        fake->Describe(1, 0, {0x00, 0x02}); // control 10
        fake->controls[10] = {3, HresultFromWin32(ERROR_INSUFFICIENT_BUFFER), length, {}};
        ExtensionUnit unit([](std::chrono::milliseconds) {});
        ASSERT_EQ(unit.OpenExtensionUnit(fake), S_OK);
        ASSERT_EQ(unit.SetExtensionControl(0x0807060504030201LL), S_OK);
        const std::vector<std::uint8_t> all {1, 2, 3, 4, 5, 6, 7, 8};
        ASSERT_EQ(fake->written.size(), 1u);
        EXPECT_EQ(fake->written[0], std::vector<std::uint8_t>(all.begin(), all.begin() + length));
    }
}

TEST(ExtensionControl, AccessAndLengthDecideWhatMayBeSent)
{
    auto fake = std::make_shared<FakeUnit>();
    fake->Describe(3, 0, {0x00, 0x07}); // controls 9, 10, 11
    fake->controls[9] = {1, S_OK, 0, {}};                                     // answers with no length
    fake->controls[10] = {1, HresultFromWin32(ERROR_MORE_DATA), 8, {}};       // read-only command
    fake->controls[11] = {0, HresultFromWin32(ERROR_MORE_DATA), 8, {}};       // absent
    ExtensionUnit unit([](std::chrono::milliseconds) {});
    ASSERT_EQ(unit.OpenExtensionUnit(fake), S_OK);

    std::int64_t value = 0;
    EXPECT_EQ(unit.Access(9), 1u);
    EXPECT_EQ(unit.Length(9), 0u);
    EXPECT_EQ(unit.GetExtensionControl(9, &value), E_FAIL);
    EXPECT_EQ(unit.SetExtensionControl(1), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(unit.GetExtensionControl(11, &value), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(unit.GetExtensionControl(33, &value), E_PROP_ID_UNSUPPORTED);
    EXPECT_TRUE(fake->written.empty());
}

TEST(ExtensionControl, ADescriptorWhoseBitmapLiesPastTheReplyLeavesNoUnit)
{
    auto fake = std::make_shared<FakeUnit>();
    fake->Describe(1, 60, {0x00, 0x02});
    fake->controls[10] = {};
    ExtensionUnit unit([](std::chrono::milliseconds) {});
    EXPECT_EQ(unit.OpenExtensionUnit(fake), S_OK);
    EXPECT_FALSE(unit.IsOpen());
    std::int64_t value = 0;
    EXPECT_EQ(unit.GetExtensionControl(10, &value), E_FAIL);
}

TEST(ExtensionControl, StopsLookingOnceTheAnnouncedControlsAreFound)
{
    auto fake = std::make_shared<FakeUnit>();
    fake->Describe(1, 0, {0x00, 0x06}); // bits for 10 and 11, but only one control announced
    fake->controls[10] = {};
    fake->controls[11] = {};
    ExtensionUnit unit([](std::chrono::milliseconds) {});
    ASSERT_EQ(unit.OpenExtensionUnit(fake), S_OK);
    EXPECT_EQ(unit.Length(10), 8u);
    EXPECT_EQ(unit.Access(11), 0u);
}

} // namespace
} // namespace vistrel::test
