// The scanner's own button, pressed on the emulated scanner while the whole program runs on its USB
// backend under a virtual X server: the press is the Scan command. With room in the strip it gives one
// still, exactly as Scan; with the strip full the user is told so with message 161 and nothing is added.
#include "support/ProgramUnderX.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "EmulatedScanner.h"

#ifndef VISTREL_PROGRAM
#error "VISTREL_PROGRAM names the program under test"
#endif

namespace vistrel::test {
namespace {

using hwtest::EmulatedScanner;

constexpr int kSlowWaitMs = 180000;   // instruction emulation
constexpr int kQuietMs = 5000;        // long past the 2-second still time-out
constexpr int kNoScannerPicture = 1013, kScan = 3000;
constexpr int kStripLimit = 12;
const char* const kStripFullText = "Image list space is full, please save image to disk";

struct ButtonState : MappedWindow {
    int stripCount = -1;
    QStringList boxTexts;

    static std::optional<ButtonState> Read(const QString& path)
    {
        ButtonState state;
        const bool read = ReadControlMap(path, state, [&state](const QStringList& f) {
            if (f.size() >= 2 && f[0] == QLatin1String("strip"))
                state.stripCount = f[1].toInt();
            else if (!f.isEmpty() && f[0] == QLatin1String("boxtext"))
                state.boxTexts << f.mid(1).join(u' ');
        });
        if (!read || !state.sawWindow || state.stripCount < 0)
            return std::nullopt;
        return state;
    }
    bool Attached() const
    {
        return controls.count(kScan) && !controls.at(kNoScannerPicture).visible && controls.at(kScan).enabled;
    }
};

class ButtonTest : public ProgramUnderXTest {
protected:
    void SetUp() override
    {
        if (!hwtest::kUsbBackendBuilt)
            GTEST_SKIP() << "the usb backend is not in this build (no vistrel_capture_usb)";
        MakeFolders(VISTREL_PROGRAM);
        if (HasFatalFailure())
            return;
        emulator.name = std::string("emulator-Button") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        scanner = std::make_unique<EmulatedScanner>(emulator);
        ASSERT_TRUE(scanner->Start()) << "the kernel made no video node for the emulated scanner";
        StartDisplay();
        if (HasFatalFailure())
            return;
        QProcessEnvironment environment = ProgramEnvironment(displayName, QDir(temp.path()), QString());
        environment.insert("VISTREL_CAPTURE_BACKEND", "usb");
        StartProgramProcess(program, QStringLiteral(VISTREL_PROGRAM), environment, temp.filePath("program.log"));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(WaitForState([](const ButtonState& s) { return s.visible && s.Attached(); }))
            << "the program did not attach the scanner";
    }

    void TearDown() override
    {
        ProgramUnderXTest::TearDown();
        scanner.reset();
    }

    std::optional<ButtonState> State() const { return ButtonState::Read(temp.filePath("controls.txt")); }
    bool WaitForState(const std::function<bool(const ButtonState&)>& done, int timeoutMs = kSlowWaitMs)
    {
        return WaitWhileRunning(program, [this] { return State(); }, done, timeoutMs);
    }
    // One press of the scanner's button; true once the strip holds `count`.
    bool PressFor(int count)
    {
        scanner->Command("button");
        return WaitForState([count](const ButtonState& s) { return s.stripCount == count; });
    }

    hwtest::EmulatorOptions emulator;
    std::unique_ptr<EmulatedScanner> scanner;
};

TEST_F(ButtonTest, WithRoomOneStillAndOnAFullStripMessage161)
{
    ASSERT_TRUE(PressFor(1)) << "the button gave no still";
    EXPECT_EQ(scanner->LogMatching("^STILL trigger").size(), 1u) << "one press, one trigger, as from Scan";
    EXPECT_FALSE(WaitForState([](const ButtonState& s) { return s.stripCount > 1; }, kQuietMs)) << "more than one still";

    for (int count = 2; count <= kStripLimit; ++count)
        ASSERT_TRUE(PressFor(count)) << "press " << count << " gave no still";
    const std::size_t triggers = scanner->LogMatching("^STILL trigger").size();

    scanner->Command("button");
    ASSERT_TRUE(WaitForState([](const ButtonState& s) {
        return s.boxTexts.contains(QString::fromLatin1(kStripFullText));
    })) << "a press on a full strip was not answered with message 161";
    EXPECT_FALSE(WaitForState([](const ButtonState& s) { return s.stripCount != kStripLimit; }, kQuietMs))
        << "something was added to a full strip";
    EXPECT_EQ(scanner->LogMatching("^STILL trigger").size(), triggers) << "a still was asked for anyway";

    int code = -1;
    RunOnDisplay(displayName, "xdotool", {"key", "Return"}, &code);
    EXPECT_TRUE(WaitForState([](const ButtonState& s) { return s.boxTexts.isEmpty(); }, kQuietMs))
        << "the message did not close on Return";
}

} // namespace
} // namespace vistrel::test
