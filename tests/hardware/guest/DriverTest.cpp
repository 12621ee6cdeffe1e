// The program's V4L2 backend and capture engine against the real uvcvideo driver, with the scanner
// emulated at the USB level. Runs as root in the hardware bench's guest; every request the driver
// passed on is read back from the emulator's log in the device's own units.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <linux/input.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <span>

#include "EmulatorTest.h"
#include "StillImages.h"
#include "capture/contract/CameraControls.h"

namespace vistrel::hwtest {

constexpr const char* kFindAsUser = "--find-scanner-as-user";

namespace {

// Every test runs against the scanner streaming over bulk and over isochronous transfers.
class DriverTest : public EmulatorTest {};

TEST_P(DriverTest, IdentifiesTheScannerThroughItsExtensionUnit)
{
    StartScanner();
    std::shared_ptr<IBaseFilter> found;
    ASSERT_TRUE(rig->Find(&found));
    EXPECT_TRUE(CaptureEngine::PathNamesScanner(rig->engine.ScannerPath())) << rig->engine.ScannerPath();
    EXPECT_FALSE(scanner->LogMatching("^SET_CUR if=0 unit=3 cs=10 len=8 value=00d0000008000000 ok$").empty());
    EXPECT_FALSE(scanner->LogMatching("^GET_CUR if=0 unit=3 cs=11 len=8 value=5245414c53494c00 ok$").empty());
}

// uvcvideo answers the first access to each extension-unit control with ENOENT while the unit stalls
// it as "not ready", and tries the control's set-up again at the next access.
TEST_P(DriverTest, AUnitNotReadyAtFirstIsStillIdentified)
{
    EmulatorOptions notReady;
    notReady.notReady = 3;
    StartScanner(notReady);
    std::shared_ptr<IBaseFilter> found;
    EXPECT_TRUE(rig->Find(&found));
    EXPECT_EQ(scanner->LogMatching("if=0 unit=3 .* stall error=1$").size(), 3u);
    EXPECT_FALSE(scanner->LogMatching("^GET_CUR if=0 unit=3 cs=11 len=8 value=5245414c53494c00 ok$").empty());
}

struct PropertyCase {
    int family, index;
    std::int32_t value;
    const char* line; // what the device must receive
};

// Sets each slot through the engine and looks for the request the device received.
void ExpectReachesDevice(KernelRig& rig, const EmulatedScanner& scanner, std::span<const PropertyCase> cases)
{
    for (const auto& c : cases) {
        auto& slot = rig.engine.Property(c.family, c.index);
        SCOPED_TRACE(c.line);
        EXPECT_TRUE(slot.supported);
        slot.value = c.value;
        const auto before = scanner.LogSize();
        rig.engine.SetCameraProperty(slot);
        rig.engine.WaitForDevice();
        EXPECT_FALSE(scanner.LogSince(before, c.line).empty());
    }
}

TEST_P(DriverTest, EveryPropertyReachesTheDeviceInItsUnits)
{
    StartScanner();
    ASSERT_TRUE(rig->Attach());
    // The Negative preset on attach: green and gamma as they are.
    EXPECT_FALSE(scanner->LogMatching("^SET_CUR if=0 unit=1 cs=11 len=2 value=110 ok$").empty());
    EXPECT_FALSE(scanner->LogMatching("^SET_CUR if=0 unit=2 cs=9 len=2 value=400 ok$").empty());
    const PropertyCase cases[] = {
        {kVideoProcAmpFamily, VideoProcAmp_Brightness, -12, "^SET_CUR if=0 unit=2 cs=2 len=2 value=-12 ok$"},
        {kVideoProcAmpFamily, VideoProcAmp_Contrast, 61, "^SET_CUR if=0 unit=2 cs=3 len=2 value=61 ok$"},
        {kVideoProcAmpFamily, VideoProcAmp_Saturation, 33, "^SET_CUR if=0 unit=2 cs=7 len=2 value=33 ok$"},
        {kCameraControlFamily, CameraControl_Zoom, 140, "^SET_CUR if=0 unit=1 cs=11 len=2 value=140 ok$"},
    };
    ExpectReachesDevice(*rig, *scanner, cases);
    // uvcvideo reaches only extension units through its unit queries: roll never gets to the terminal.
    EXPECT_FALSE(rig->engine.Property(kCameraControlFamily, CameraControl_Roll).supported);
    EXPECT_TRUE(scanner->LogMatching("^SET_CUR if=0 unit=1 cs=15 ").empty());
}

// The engine's degrees become the driver's arc-seconds; unconverted, the driver would round 145 to its
// 3600 step and send 0.
TEST_P(DriverTest, PanAndTiltReachTheDeviceInArcSeconds)
{
    StartScanner();
    ASSERT_TRUE(rig->Attach());
    // The Negative preset on attach: red 145 and blue 100 degrees.
    EXPECT_FALSE(scanner->LogMatching("^SET_CUR if=0 unit=1 cs=13 len=8 value=522000,360000 ok$").empty());
    const PropertyCase cases[] = {
        {kCameraControlFamily, CameraControl_Pan, 150, "^SET_CUR if=0 unit=1 cs=13 len=8 value=540000,360000 ok$"},
        {kCameraControlFamily, CameraControl_Tilt, 90, "^SET_CUR if=0 unit=1 cs=13 len=8 value=540000,324000 ok$"},
    };
    ExpectReachesDevice(*rig, *scanner, cases);
}

TEST_P(DriverTest, FilmSizeChoosesAmongTheDriversFormats)
{
    StartScanner();
    struct Case {
        std::int32_t filmSize;
        const char* stream;
    };
    for (const Case c : {Case {0, "^STREAM start 1280x960$"}, Case {1, "^STREAM start 960x960$"}}) {
        SCOPED_TRACE(c.stream);
        rig->host.filmSize = c.filmSize;
        const auto before = scanner->LogSize();
        ASSERT_TRUE(rig->Attach());
        EXPECT_TRUE(WaitUntil([&] { return !scanner->LogSince(before, c.stream).empty(); }, kDeviceWait));
        ASSERT_TRUE(rig->Detach());
    }
    // 960x960 asks for less bandwidth: the setting below the high-bandwidth one.
    if (Isochronous()) {
        EXPECT_FALSE(scanner->LogMatching("^SET_INTERFACE type=0x01 value=0x0003 index=0x0001 len=0 ok$").empty());
    }
    EXPECT_EQ(rig->engine.CurrentStillFormat().width, 960);
    EXPECT_EQ(rig->engine.CurrentStillFormat().height, 960);
}

TEST_P(DriverTest, LivePictureArrives)
{
    StartScanner();
    ASSERT_TRUE(rig->Attach());
    ASSERT_TRUE(rig->host.surface.WaitForFrames(10, kDeviceWait));
    // The driver takes the smallest setting that carries the payload the device asked for: for
    // 1280x960 the high-bandwidth one.
    if (Isochronous()) {
        EXPECT_FALSE(scanner->LogMatching("^SET_INTERFACE type=0x01 value=0x0004 index=0x0001 len=0 ok$").empty());
    }
    const auto frame = rig->host.surface.mailbox.Take();
    ASSERT_TRUE(frame.has_value());
    // 1280x960 letterboxed into the 720x486 preview is 648x486: the decoder's half scale, 640x480,
    // is close enough to be handed on as it is and stretched by the window when it paints.
    EXPECT_EQ((*frame)->width, 640);
    EXPECT_EQ((*frame)->height, 480);
    EXPECT_GT(GreySpread(**frame), 5.0) << "a flat frame";
    EXPECT_GE(scanner->LogMatching("^FRAME ").size(), 10u);
}

TEST_P(DriverTest, StillComesAtTheLargestSizeTheDriverOffers)
{
    StartScanner();
    ASSERT_TRUE(rig->Attach());
    ASSERT_TRUE(rig->host.surface.WaitForFrames(2, kDeviceWait));
    rig->engine.TriggerStill();
    ASSERT_TRUE(rig->host.WaitForStills(1, kDeviceWait));
    // uvcvideo skips still-image frame descriptors, so the device's 2592x1944 is out of reach: the
    // largest size it offers through the driver is its largest video frame, and no still request
    // (still probe, commit or trigger) ever reaches the device.
    EXPECT_EQ(JpegSize(rig->host.Stills().front().bytes), (Size {1280, 960}));
    EXPECT_TRUE(scanner->LogMatching("if=1 unit=0 cs=[345] ").empty());
}

TEST_P(DriverTest, UnplugDuringTheLivePictureDetaches)
{
    StartScanner();
    rig->Listen();
    ASSERT_TRUE(rig->Attach());
    ASSERT_TRUE(rig->host.surface.WaitForFrames(5, kDeviceWait));
    ASSERT_TRUE(scanner->Unplug());
    EXPECT_TRUE(rig->WaitForChange(DBT_DEVICEREMOVECOMPLETE, rig->engine.ScannerPath()));
    EXPECT_TRUE(rig->Detach());
}

TEST_P(DriverTest, UnplugWithAStillPendingDetaches)
{
    StartScanner();
    rig->Listen();
    ASSERT_TRUE(rig->Attach());
    ASSERT_TRUE(rig->host.surface.WaitForFrames(2, kDeviceWait));
    rig->engine.TriggerStill();
    ASSERT_TRUE(scanner->Unplug());
    EXPECT_TRUE(rig->WaitForChange(DBT_DEVICEREMOVECOMPLETE, rig->engine.ScannerPath()));
    EXPECT_TRUE(rig->Detach());
    // Whatever arrived before the unplug is a whole picture.
    for (const auto& still : rig->host.Stills())
        EXPECT_EQ(JpegSize(still.bytes), (Size {1280, 960}));
}

TEST_P(DriverTest, ReplugBringsTheSameScannerBackUnderItsPath)
{
    StartScanner();
    rig->Listen();
    ASSERT_TRUE(rig->Attach());
    const std::string path = rig->engine.ScannerPath();
    ASSERT_TRUE(scanner->Unplug());
    ASSERT_TRUE(rig->WaitForChange(DBT_DEVICEREMOVECOMPLETE, path));
    ASSERT_TRUE(rig->Detach());
    ASSERT_TRUE(scanner->Plug());
    ASSERT_TRUE(rig->WaitForChange(DBT_DEVICEARRIVAL, path));
    const auto presented = rig->host.surface.Presented();
    ASSERT_TRUE(rig->Attach(&path));
    EXPECT_TRUE(rig->host.surface.WaitForFrames(presented + 5, kDeviceWait));
}

TEST_P(DriverTest, TheButtonReachesTheInputLayer)
{
    StartScanner();
    // uvcvideo turns the streaming interface's button events into a key on an input device of its own.
    std::optional<fs::path> device;
    ASSERT_TRUE(WaitUntil([&] {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/dev/input/by-id", ec))
            if (entry.path().filename().string().find("Vistrel") != std::string::npos)
                device = entry.path();
        return device.has_value();
    }, kDeviceWait)) << "no input device for the scanner";
    const int fd = ::open(device->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    // The driver listens on the status endpoint only while its video node is open.
    const auto node = EmulatedScanner::FindNode();
    ASSERT_TRUE(node);
    const int video = ::open(node->c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(video, 0) << std::strerror(errno);
    scanner->Command("button");
    std::vector<int> presses; // KEY_CAMERA values in order: 1 press, 0 release
    WaitUntil([&] {
        input_event event {};
        while (::read(fd, &event, sizeof event) == ssize_t(sizeof event))
            if (event.type == EV_KEY && event.code == KEY_CAMERA)
                presses.push_back(event.value);
        return presses.size() >= 2;
    }, kDeviceWait);
    ::close(video);
    ::close(fd);
    EXPECT_EQ(presses, (std::vector<int> {1, 0}));
}

TEST_P(DriverTest, ANodeTheUserMayNotOpenIsNamedWithTheReasonAndTheFix)
{
    StartScanner();
    const auto node = EmulatedScanner::FindNode();
    ASSERT_TRUE(node);
    // udev gives the node to root and the video group; an ordinary user outside it tries in a child.
    constexpr uid_t kNobody = 65534;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(3);
        if (::access(node->c_str(), R_OK | W_OK) == 0)
            ::_exit(4); // the node is open to everyone: nothing to test
        // A fresh process: this one has threads, which a forked child must not rely on.
        ::execl("/proc/self/exe", "vistrel_hardware_tests", kFindAsUser, node->c_str(), nullptr);
        ::_exit(5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: found anyway, 2: not named with the reason and the fix, 3: could not "
                                         "drop root, 4: node open to all, 5: no exec";
}

INSTANTIATE_TEST_SUITE_P(Transfers, DriverTest, ::testing::Bool(), TransferName);

} // namespace
} // namespace vistrel::hwtest

int main(int argc, char** argv)
{
    // The search as the unprivileged user sees it: exit status 0 when no scanner was taken and the
    // scanner's node is reported with the reason and the fix; the reason goes to the standard error.
    if (argc == 3 && std::strcmp(argv[1], vistrel::hwtest::kFindAsUser) == 0) {
        vistrel::hwtest::KernelRig user;
        std::shared_ptr<vistrel::IBaseFilter> found;
        const bool taken = user.Find(&found);
        user.engine.SetScannerFilter(nullptr);
        if (taken)
            return 1;
        for (const auto& device : user.platform->UnusableDevices()) {
            std::cerr << device.name << ": " << vistrel::ReasonLogText(device.reason) << "\n";
            const bool namesNode = device.reason.path == argv[2];
            const bool namesFix =
                device.reason.code == vistrel::ReasonCode::NodeAccessDenied && device.reason.group == "video";
            if (vistrel::CaptureEngine::PathNamesScanner(device.name) && namesNode && namesFix)
                return 0;
        }
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
