// Failures outside the program reach the diagnostics sink once each, with their reason.
#include <gtest/gtest.h>

#include <mutex>
#include <ostream>

#include "SimRig.h"
#include "capture/contract/Diagnostics.h"

namespace vistrel::test {
namespace {

std::mutex linesMutex;
std::vector<std::pair<DiagnosticTopic, std::string>> lines;

void Collect(DiagnosticTopic topic, const std::string& line)
{
    std::lock_guard lock(linesMutex);
    lines.emplace_back(topic, line);
}

struct FailureCase {
    const char* name;
    ScannerFaults faults;
    DiagnosticTopic topic;
    const char* reason;   // nullptr: nothing is logged
};

// Cases print as their names.
void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class CaptureDiagnostics : public ::testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override
    {
        lines.clear();
        SetDiagnosticSink(&Collect);
    }
    void TearDown() override { SetDiagnosticSink(nullptr); }
};

TEST_P(CaptureDiagnostics, LogsEachFailureOnceWithItsReason)
{
    const FailureCase& c = GetParam();
    SimRig rig;
    rig.Add(DeviceKind::Scanner, c.faults);
    rig.Attach();
    rig.engine.StopCapture();

    std::lock_guard lock(linesMutex);
    if (!c.reason) {
        EXPECT_TRUE(lines.empty()) << lines.front().second;
        return;
    }
    ASSERT_EQ(lines.size(), 1u) << lines.front().second << " | " << lines.back().second;
    EXPECT_EQ(lines[0].first, c.topic);
    EXPECT_NE(lines[0].second.find(c.reason), std::string::npos) << lines[0].second;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CaptureDiagnostics,
    ::testing::Values(
        FailureCase {"Healthy", {}, DiagnosticTopic::Capture, nullptr},
        FailureCase {"BindFails", Faults([](ScannerFaults& f) { f.failBind = true; }), DiagnosticTopic::Devices,
                     "cannot open a video input device"},
        FailureCase {"Busy", Faults([](ScannerFaults& f) { f.busy = true; }), DiagnosticTopic::Capture,
                     "in use by another program"},
        FailureCase {"UnitNotReady", Faults([](ScannerFaults& f) { f.unitNotReady = true; }),
                     DiagnosticTopic::Devices, "not ready"},
        FailureCase {"IdentifyWriteFails", Faults([](ScannerFaults& f) { f.failCommandWrite = true; }),
                     DiagnosticTopic::Devices, "the identification request failed"},
        FailureCase {"MalformedDescriptor", Faults([](ScannerFaults& f) { f.bitmapSize = 5; }),
                     DiagnosticTopic::Devices, "descriptor is malformed"},
        FailureCase {"NoStillPin", Faults([](ScannerFaults& f) { f.noStillPin = true; }), DiagnosticTopic::Capture,
                     nullptr}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace vistrel::test
