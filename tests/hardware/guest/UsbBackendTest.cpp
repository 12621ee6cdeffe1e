// The program's own USB backend (forced with VISTREL_CAPTURE_BACKEND=usb) and capture engine against
// the emulated scanner on the real vhci-hcd and usbfs, over bulk and isochronous streaming: what
// uvcvideo cannot do (film mode, full-size stills) reaches the device, and the kernel's driver gets the
// scanner back when the program lets go.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "EmulatorTest.h"
#include "StillImages.h"
#include "capture/contract/CameraControls.h"

namespace vistrel::hwtest {
namespace {

class UsbBackendTest : public EmulatorTest {
protected:
    void SetUp() override
    {
        if (!kUsbBackendBuilt)
            GTEST_SKIP() << "the usb backend is not in this build (no vistrel_capture_usb)";
        StartScanner({}, "emulator-usb-");
        rig = std::make_unique<KernelRig>(ForcedPlatform("usb"));
    }

    // Attaches, and waits until the live picture runs.
    void AttachAndWatch(std::int32_t filmSize = 0)
    {
        rig->host.filmSize = filmSize;
        ASSERT_TRUE(rig->Attach()) << "the usb backend did not offer the scanner";
        ASSERT_TRUE(rig->host.surface.WaitForFrames(rig->host.surface.Presented() + 3, kDeviceWait))
            << "no live picture";
    }
};

// The film type goes to the camera terminal's Roll (0 slide, 1 negative and black-and-white), with the
// gamma of the preset; uvcvideo never sends Roll at all.
TEST_P(UsbBackendTest, FilmTypesReachTheDeviceAsRoll)
{
    AttachAndWatch();
    EXPECT_FALSE(EmulatedScanner::KernelDriverHasIt()) << "the backend left uvcvideo on the scanner";
    EXPECT_TRUE(rig->engine.Property(kCameraControlFamily, CameraControl_Roll).supported);
    // Negative on attach; red 145 and blue 100 degrees end as one pan/tilt pair in arc-seconds.
    EXPECT_FALSE(scanner->LogMatching("^SET_CUR if=0 unit=1 cs=15 len=2 value=1 ok$").empty());
    EXPECT_FALSE(scanner->LogMatching("^SET_CUR if=0 unit=2 cs=9 len=2 value=400 ok$").empty());
    const auto panTilt = scanner->LogMatching("^SET_CUR if=0 unit=1 cs=13 len=8 ");
    ASSERT_FALSE(panTilt.empty());
    EXPECT_EQ(panTilt.back(), "SET_CUR if=0 unit=1 cs=13 len=8 value=522000,360000 ok");

    struct Case {
        FilmType type;
        const char* roll;
        const char* gamma;
    };
    const Case cases[] = {
        {Slide, "^SET_CUR if=0 unit=1 cs=15 len=2 value=0 ok$", "^SET_CUR if=0 unit=2 cs=9 len=2 value=300 ok$"},
        {BlackWhite, "^SET_CUR if=0 unit=1 cs=15 len=2 value=1 ok$", "^SET_CUR if=0 unit=2 cs=9 len=2 value=400 ok$"},
        {Negative, "^SET_CUR if=0 unit=1 cs=15 len=2 value=1 ok$", "^SET_CUR if=0 unit=2 cs=9 len=2 value=400 ok$"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.roll);
        const auto before = scanner->LogSize();
        rig->engine.ApplyFilmPreset(c.type);
        rig->engine.WaitForDevice();
        EXPECT_TRUE(WaitUntil([&] { return !scanner->LogSince(before, c.roll).empty(); }, kDeviceWait));
        EXPECT_FALSE(scanner->LogSince(before, c.gamma).empty());
    }
}

// Method 2: still probe and commit of the film size's still frame, then the trigger; the still comes on
// the video endpoint and the live picture goes on after it.
TEST_P(UsbBackendTest, StillsComeAtTheStillFrameSizesWhileTheLivePictureRuns)
{
    struct Case {
        std::int32_t filmSize;
        Size still;
        const char* sent;
    };
    const Case cases[] = {{0, {2592, 1944}, "^STILL sent 2592x1944 "}, {1, {2448, 2448}, "^STILL sent 2448x2448 "}};
    std::size_t stills = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        AttachAndWatch(c.filmSize);
        rig->engine.TriggerStill();
        ASSERT_TRUE(rig->host.WaitForStills(++stills, kDeviceWait)) << "no still arrived";
        EXPECT_EQ(JpegSize(rig->host.Stills().back().bytes), c.still);
        EXPECT_TRUE(DecodesWhole(rig->host.Stills().back().bytes));
        EXPECT_FALSE(scanner->LogMatching(c.sent).empty());
        EXPECT_TRUE(rig->host.surface.WaitForFrames(rig->host.surface.Presented() + 3, kDeviceWait))
            << "the live picture stopped after the still";
        ASSERT_TRUE(rig->Detach());
    }
}

// The button asks for nothing itself: the press is told up to the host, which answers it as its Scan
// (the window with its full-strip message and its time-out); the still then comes as from Scan.
TEST_P(UsbBackendTest, TheButtonIsToldUpAndTheHostsScanGivesTheStill)
{
    AttachAndWatch();
    scanner->Command("button");
    ASSERT_TRUE(rig->host.WaitForButtonPresses(1, kDeviceWait)) << "the press did not reach the host";
    EXPECT_FALSE(rig->host.WaitForStills(1, std::chrono::seconds(1))) << "the button took a still by itself";
    EXPECT_TRUE(scanner->LogMatching("^STILL trigger").empty());

    rig->engine.TriggerStill();
    ASSERT_TRUE(rig->host.WaitForStills(1, kDeviceWait)) << "the host's Scan gave no still";
    EXPECT_EQ(JpegSize(rig->host.Stills().front().bytes), (Size {2592, 1944}));
    EXPECT_FALSE(scanner->LogMatching("^STILL trigger 2592x1944$").empty());
}

// Unplugged while streaming, and with a still under way: the engine hears of it, lets go in time, and
// every still that arrived is whole.
TEST_P(UsbBackendTest, UnplugEndsCleanlyAndKeepsTheStills)
{
    for (const bool stillUnderWay : {false, true}) {
        SCOPED_TRACE(stillUnderWay ? "during a still" : "during the live picture");
        if (stillUnderWay) {
            ASSERT_TRUE(scanner->Plug());
        }
        rig->Listen();
        AttachAndWatch();
        const std::string path = rig->engine.ScannerPath();
        rig->engine.TriggerStill();
        ASSERT_TRUE(rig->host.WaitForStills(1, kDeviceWait));
        if (stillUnderWay)
            rig->engine.TriggerStill();
        ASSERT_TRUE(scanner->Unplug());
        EXPECT_TRUE(rig->WaitForChange(DBT_DEVICEREMOVECOMPLETE, path)) << "the unplug went unheard";
        EXPECT_TRUE(rig->Detach()) << "detaching hung after the unplug";
        const auto stills = rig->host.Stills();
        EXPECT_GE(stills.size(), 1u);
        for (const auto& still : stills) {
            EXPECT_EQ(JpegSize(still.bytes), (Size {2592, 1944}));
            EXPECT_TRUE(DecodesWhole(still.bytes));
        }
        rig->StopListening();
        rig = std::make_unique<KernelRig>(ForcedPlatform("usb"));
    }
}

// When the program lets go of the scanner, uvcvideo takes it back and the video node returns.
TEST_P(UsbBackendTest, TheKernelDriverGetsTheScannerBackWhenTheProgramLetsGo)
{
    AttachAndWatch();
    EXPECT_FALSE(EmulatedScanner::KernelDriverHasIt());
    rig.reset();
    EXPECT_TRUE(WaitUntil(EmulatedScanner::KernelDriverHasIt, kDeviceWait)) << "uvcvideo did not get the scanner back";
}

// A scanner that another program watches through the video driver is not taken from under it: it stays
// with uvcvideo and is offered through the driver, named with why, until that program lets go.
TEST_P(UsbBackendTest, AScannerAnotherProgramHasStaysWithTheDriver)
{
    const auto node = EmulatedScanner::FindNode();
    ASSERT_TRUE(node);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, node->c_str(), O_RDWR, 0);
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("600"), nullptr};
    pid_t other = 0;
    const int spawned = posix_spawnp(&other, "sleep", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);

    std::shared_ptr<IBaseFilter> found;
    const bool offered = rig->Find(&found);
    const std::string path = rig->engine.ScannerPath();
    const auto unusable = rig->platform->UnusableDevices();
    found.reset();
    ::kill(other, SIGTERM);
    ::waitpid(other, nullptr, 0);
    ASSERT_TRUE(offered) << "the scanner was not offered at all";
    EXPECT_FALSE(path.ends_with("\\libusb")) << path;
    EXPECT_TRUE(EmulatedScanner::KernelDriverHasIt()) << "uvcvideo was taken off the scanner under the other program";
    EXPECT_TRUE(std::ranges::any_of(unusable, [&](const UnusableDevice& device) {
        return device.name == path && device.reason.code == ReasonCode::ScannerHeldElsewhere;
    })) << "the window has nothing to say why";

    AttachAndWatch();
    EXPECT_TRUE(rig->engine.ScannerPath().ends_with("\\libusb")) << "not taken once the other program let go";
    EXPECT_FALSE(EmulatedScanner::KernelDriverHasIt());
}

INSTANTIATE_TEST_SUITE_P(Transfers, UsbBackendTest, ::testing::Bool(), TransferName);

} // namespace
} // namespace vistrel::hwtest
