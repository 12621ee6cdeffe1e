#include <gtest/gtest.h>

#include "SimRig.h"
#include "support/CaseName.h"

namespace vistrel::test {
namespace {

using test::PrintTo; // cases print as their names

struct SearchCase {
    const char* name;
    std::vector<std::pair<DeviceKind, ScannerFaults>> devices;
    int expectedFound; // index of the device found, -1 for none
};

class FindScannerOrder : public ::testing::TestWithParam<SearchCase> {};

TEST_P(FindScannerOrder, FindsTheFirstIdentifiedScannerOrStopsAtABindFailure)
{
    const SearchCase& c = GetParam();
    SimRig rig;
    std::vector<std::string> paths;
    for (const auto& [kind, faults] : c.devices)
        paths.push_back(rig.Add(kind, faults));

    std::shared_ptr<IBaseFilter> found;
    std::string pathOut;
    const bool ok = rig.engine.FindScanner(nullptr, &pathOut, &found);

    EXPECT_EQ(ok, c.expectedFound >= 0);
    if (c.expectedFound >= 0) {
        EXPECT_EQ(pathOut, paths[static_cast<std::size_t>(c.expectedFound)]);
        EXPECT_EQ(found, rig.Bind(static_cast<std::size_t>(c.expectedFound)));
    } else {
        EXPECT_EQ(found, nullptr);
    }
}

const ScannerFaults kHealthy {};
const ScannerFaults kBindFails = Faults([](ScannerFaults& f) { f.failBind = true; });
const ScannerFaults kNoUnit = Faults([](ScannerFaults& f) { f.noExtensionUnit = true; });
const ScannerFaults kRejectsSet = Faults([](ScannerFaults& f) { f.unitRejectsSet = true; });
const ScannerFaults kWrongIdentity = Faults([](ScannerFaults& f) { f.identityByte8 = 'X'; });
const ScannerFaults kBitmapTooLarge = Faults([](ScannerFaults& f) { f.bitmapSize = 5; });
const ScannerFaults kNoBitmap = Faults([](ScannerFaults& f) { f.bitmapSize = 0; });

INSTANTIATE_TEST_SUITE_P(
    Devices, FindScannerOrder,
    ::testing::Values(
        SearchCase {"NothingPlugged", {}, -1},
        SearchCase {"CameraThenScanner", {{DeviceKind::Camera, kHealthy}, {DeviceKind::Scanner, kHealthy}}, 1},
        SearchCase {"ScannerThenCamera", {{DeviceKind::Scanner, kHealthy}, {DeviceKind::Camera, kHealthy}}, 0},
        SearchCase {"CameraOnly", {{DeviceKind::Camera, kHealthy}}, -1},
        SearchCase {"BindFailureAheadOfScanner", {{DeviceKind::Camera, kBindFails}, {DeviceKind::Scanner, kHealthy}}, -1},
        SearchCase {"ScannerThatCannotBeBound", {{DeviceKind::Scanner, kBindFails}, {DeviceKind::Scanner, kHealthy}}, -1},
        SearchCase {"BindFailureAfterScanner", {{DeviceKind::Scanner, kHealthy}, {DeviceKind::Camera, kBindFails}}, 0},
        SearchCase {"NoExtensionUnitSkipped", {{DeviceKind::Scanner, kNoUnit}, {DeviceKind::Scanner, kHealthy}}, 1},
        SearchCase {"UnitRejectingSetSkipped", {{DeviceKind::Scanner, kRejectsSet}, {DeviceKind::Scanner, kHealthy}}, 1},
        SearchCase {"WrongIdentitySkipped", {{DeviceKind::Scanner, kWrongIdentity}, {DeviceKind::Scanner, kHealthy}}, 1},
        SearchCase {"OversizedBitmapSkipped", {{DeviceKind::Scanner, kBitmapTooLarge}, {DeviceKind::Scanner, kHealthy}}, 1},
        SearchCase {"EmptyBitmapSkipped", {{DeviceKind::Scanner, kNoBitmap}}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindScanner, RefusesWithoutAFilterOut)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    std::string pathOut;
    EXPECT_FALSE(rig.engine.FindScanner(nullptr, &pathOut, nullptr));
    EXPECT_TRUE(pathOut.empty());
}

TEST(FindScanner, MatchesOnlyTheWantedPathIgnoringCase)
{
    SimRig rig;
    const std::string first = rig.Add(DeviceKind::Scanner);
    const std::string second = rig.Add(DeviceKind::Scanner);

    std::string upper = second;
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::shared_ptr<IBaseFilter> found;
    std::string pathOut;
    ASSERT_TRUE(rig.engine.FindScanner(&upper, &pathOut, &found));
    EXPECT_EQ(pathOut, second);
    EXPECT_EQ(found, rig.Bind(1));

    // A wanted path that is only a prefix of a device's path is another device.
    const std::string prefix = first.substr(0, first.size() - 1);
    found.reset();
    EXPECT_FALSE(rig.engine.FindScanner(&prefix, &pathOut, &found));
    EXPECT_EQ(found, nullptr);
    // Every identified device's path was read; the last one stays.
    EXPECT_EQ(pathOut, second);
}

TEST(FindScanner, AnIdentifiedDeviceWithoutTheScannerPathIsReadButNotTaken)
{
    SimRig rig;
    const std::string foreign = rig.Add(DeviceKind::Scanner, {}, "\\\\?\\usb#vid_1234&pid_0001#other");
    std::shared_ptr<IBaseFilter> found;
    std::string pathOut;
    EXPECT_FALSE(rig.engine.FindScanner(nullptr, &pathOut, &found));
    EXPECT_EQ(pathOut, foreign);
    EXPECT_EQ(found, nullptr);
}

TEST(FindScanner, APathLongerThanTheFieldIsTruncatedButMatchedInFull)
{
    SimRig rig;
    const std::string longPath = "\\\\?\\usb#VID_8888&PID_0001#" + std::string(300, 'a');
    rig.Add(DeviceKind::Scanner, {}, longPath);
    std::shared_ptr<IBaseFilter> found;
    std::string pathOut;
    ASSERT_TRUE(rig.engine.FindScanner(&longPath, &pathOut, &found));
    EXPECT_EQ(pathOut, longPath.substr(0, kMaxScannerPath));
}

TEST(FindScanner, PathComparisonsIgnoreCaseAndNothingElse)
{
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"\\\\?\\USB#VID_8888&PID_0001#X", "\\\\?\\usb#vid_8888&pid_0001#x", true},
        {"abc", "abc", true},
        {"abc", "abcd", false},
        {"abc", "abd", false},
        {"", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CaptureEngine::PathsEqualIgnoringCase(c.a, c.b), c.equal) << c.a << " vs " << c.b;

    EXPECT_TRUE(CaptureEngine::PathNamesScanner("\\\\?\\usb#VID_8888&Pid_0001&mi_00#7"));
    EXPECT_FALSE(CaptureEngine::PathNamesScanner("\\\\?\\usb#vid_8888&pid_0002"));
}

} // namespace
} // namespace vistrel::test
