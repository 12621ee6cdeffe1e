// The whole program under a virtual X server in the hardware bench's guest, with the real V4L2 backend
// (or its own USB backend) in front of the emulated scanner: driven by real X input as the end-to-end
// tests drive it, and judged by the files it writes.
#include "support/ProgramUnderX.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>

#include "EmulatedScanner.h"

#ifndef VISTREL_PROGRAM
#error "VISTREL_PROGRAM names the program under test"
#endif

namespace vistrel::test {
namespace {

using hwtest::EmulatedScanner;

// Under instruction emulation everything takes its time.
constexpr int kSlowWaitMs = 180000;

enum ControlId {
    NoScannerPicture = 1013,
    Scan = 3000,
    High = 3002,
    Slide = 3003,
    Negative = 3004,
    BlackWhite = 3005,
    Save = 3009,
};
constexpr QSize kSaved135Standard {2592, 1744};
constexpr QSize kSaved135High {5184, 3480};

struct ProgramState : MappedWindow {
    int stripCount = -1;
    bool stripLocked = false;

    static std::optional<ProgramState> Read(const QString& path)
    {
        ProgramState state;
        const bool read = ReadControlMap(path, state, [&state](const QStringList& f) {
            if (f.size() >= 4 && f[0] == QLatin1String("strip")) {
                state.stripCount = f[1].toInt();
                state.stripLocked = f[3] == QLatin1String("1");
            }
        });
        if (!read || !state.sawWindow || state.stripCount < 0)
            return std::nullopt;
        return state;
    }
    const MappedControl& At(int id) const { return controls.at(id); }
    bool Attached() const { return !At(NoScannerPicture).visible && At(Scan).enabled; }
};

class ProgramTest : public ProgramUnderXTest {
protected:
    void SetUp() override
    {
        MakeFolders(VISTREL_PROGRAM);
        if (HasFatalFailure())
            return;
        emulator.name = std::string("emulator-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(emulator.name.begin(), emulator.name.end(), '/', '-');
        scanner = std::make_unique<EmulatedScanner>(emulator);
        ASSERT_TRUE(scanner->Start()) << "the kernel made no video node for the emulated scanner";
        StartDisplay();
        if (HasFatalFailure())
            return;
        // No simulator in the environment: the program takes the real backend named.
        QProcessEnvironment environment = ProgramEnvironment(displayName, QDir(temp.path()), QString());
        environment.insert("VISTREL_CAPTURE_BACKEND", backend);
        StartProgramProcess(program, QStringLiteral(VISTREL_PROGRAM), environment, temp.filePath("program.log"));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.visible && s.Attached(); }, kSlowWaitMs))
            << "the program did not attach the scanner";
    }

    void TearDown() override
    {
        ProgramUnderXTest::TearDown();
        scanner.reset();
    }

    std::optional<ProgramState> State() const { return ProgramState::Read(temp.filePath("controls.txt")); }
    bool WaitForState(const std::function<bool(const ProgramState&)>& done, int timeoutMs = kSlowWaitMs)
    {
        return WaitWhileRunning(program, [this] { return State(); }, done, timeoutMs);
    }

    void Click(int id)
    {
        const auto state = State();
        ASSERT_TRUE(state);
        const QPoint at = state->origin + state->At(id).rect.center();
        ASSERT_EQ(MovePointerOn(displayName, at), 0);
        int code = -1;
        RunOnDisplay(displayName, "xdotool", {"click", "1"}, &code);
        ASSERT_EQ(code, 0);
    }

    void ScanThree()
    {
        for (int count = 1; count <= 3; ++count) {
            Click(Scan);
            ASSERT_TRUE(WaitForState([count](const ProgramState& s) { return s.stripCount == count; }))
                << "still " << count << " did not arrive";
        }
    }

    QStringList SavedFiles() const
    {
        const QDir folder(temp.filePath("home/Pictures/FilmScan"));
        QStringList files;
        for (const QString& name : folder.entryList({"*.jpg", "*.tif"}, QDir::Files, QDir::Name))
            files << folder.filePath(name);
        return files;
    }

    void ExpectThreeWholeFiles(QSize size = kSaved135Standard)
    {
        const QStringList files = SavedFiles();
        ASSERT_EQ(files.size(), 3) << files.join(u' ').toStdString();
        for (const QString& file : files) {
            QImageReader reader(file);
            const QImage image = reader.read();
            EXPECT_FALSE(image.isNull()) << file.toStdString() << ": " << reader.errorString().toStdString();
            EXPECT_EQ(image.size(), size) << file.toStdString();
        }
    }

    QString backend = QStringLiteral("v4l2"); // VISTREL_CAPTURE_BACKEND for the program
    hwtest::EmulatorOptions emulator;
    std::unique_ptr<EmulatedScanner> scanner;
};

TEST_F(ProgramTest, ScansThreeAndSavesThem)
{
    ScanThree();
    Click(Save);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.stripCount == 0 && !s.stripLocked; }))
        << "the save did not finish";
    ExpectThreeWholeFiles();
}

TEST_F(ProgramTest, UnplugDuringASaveLosesNothing)
{
    ScanThree();
    Click(Save);
    ASSERT_TRUE(scanner->Unplug());
    ASSERT_TRUE(WaitForState([](const ProgramState& s) {
        return s.stripCount == 0 && !s.stripLocked && s.At(NoScannerPicture).visible;
    })) << "the save did not finish, or the unplug went unnoticed";
    ExpectThreeWholeFiles();
}

// The program on its own USB backend, forced as a user diagnosing it would, over bulk and isochronous
// streaming.
class UsbProgramTest : public ProgramTest, public ::testing::WithParamInterface<bool> {
protected:
    UsbProgramTest()
    {
        backend = QStringLiteral("usb");
        emulator.isochronous = GetParam();
        emulator.stillFolder = temp.filePath("stills").toStdString();
        QDir().mkpath(temp.filePath("stills"));
    }
    void SetUp() override
    {
        if (!hwtest::kUsbBackendBuilt)
            GTEST_SKIP() << "the usb backend is not in this build (no vistrel_capture_usb)";
        ProgramTest::SetUp();
    }

    QImage EmulatorStill(int number) const
    {
        return QImage(temp.filePath(QStringLiteral("stills/still-%1.jpg").arg(number)));
    }
};

// Mean difference of the grey levels of two pictures of one size, every other pixel.
double MeanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    std::size_t n = 0;
    for (int y = 0; y < a.height(); y += 2) {
        for (int x = 0; x < a.width(); x += 2) {
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
            ++n;
        }
    }
    return sum / double(n);
}

// Saves at High from a picture whose detail (squares of 3 pixels) a still of the live picture's size
// cannot hold, so the files tell where their stills came from.
class UsbSaveTest : public UsbProgramTest {
protected:
    UsbSaveTest()
    {
        constexpr int kSquare = 3;
        QImage picture(2592, 1944, QImage::Format_RGB888);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const bool light = ((x / kSquare) + (y / kSquare)) % 2 == 0;
                picture.setPixel(x, y, light ? qRgb(218, 218, 218) : qRgb(38, 38, 38));
            }
        }
        const QString path = temp.filePath("fine.ppm");
        picture.save(path, "PPM");
        emulator.picture = path.toStdString();
    }

    // The file a still gives at High (rows cut off top and bottom for 3:2, scaled up), halved again.
    static QImage SavedAndHalved(const QImage& still, int rowsOff)
    {
        return still.copy(0, rowsOff, still.width(), still.height() - 2 * rowsOff)
            .scaled(kSaved135High, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .scaled(2592, 1740, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
};

TEST_P(UsbSaveTest, NegativeOnAttachThenThreeFullSizeStillsSavedAtHigh)
{
    const auto attached = State();
    ASSERT_TRUE(attached);
    EXPECT_TRUE(attached->At(Negative).checked);
    for (const int film : {Slide, Negative, BlackWhite})
        EXPECT_TRUE(attached->At(film).enabled) << film;
    EXPECT_FALSE(scanner->LogMatching("^SET_CUR if=0 unit=1 cs=15 len=2 value=1 ok$").empty())
        << "Negative did not reach the scanner as Roll";

    Click(High);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.At(High).checked; }));
    ScanThree();
    EXPECT_EQ(scanner->LogMatching("^STILL sent 2592x1944 ").size(), 3u);
    Click(Save);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.stripCount == 0 && !s.stripLocked; }))
        << "the save did not finish";
    ExpectThreeWholeFiles(kSaved135High);

    // Halved, each file matches its still (102 rows off top and bottom) far better than a file made
    // from a still of the live picture's size (1280x960, 50 rows off) would.
    const QStringList files = SavedFiles();
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        const QImage still = EmulatorStill(i + 1);
        ASSERT_EQ(still.size(), QSize(2592, 1944));
        const QImage expected = still.copy(0, 102, 2592, 1740);
        const QImage halved = QImage(files[i]).scaled(expected.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage fromPreviewSize =
            SavedAndHalved(still.scaled(1280, 960, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 50);
        const double saved = MeanDifference(halved, expected);
        const double previewSized = MeanDifference(fromPreviewSize, expected);
        EXPECT_LT(saved, 0.6 * previewSized) << "the file is " << saved << " off its still; one made from a "
                                             << "still of the live picture's size would be " << previewSized;
    }
}

// Unplugged with stills in the strip, once during the live picture and once with a still under way:
// the window shows no scanner and keeps every still it had.
TEST_P(UsbProgramTest, UnplugKeepsTheStrip)
{
    for (const bool stillUnderWay : {false, true}) {
        SCOPED_TRACE(stillUnderWay ? "during a still" : "during the live picture");
        const int before = State()->stripCount;
        Click(Scan);
        ASSERT_TRUE(WaitForState([before](const ProgramState& s) { return s.stripCount == before + 1; }));
        if (stillUnderWay)
            Click(Scan);
        ASSERT_TRUE(scanner->Unplug());
        ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.At(NoScannerPicture).visible; }))
            << "the unplug went unnoticed";
        const auto after = State();
        ASSERT_TRUE(after);
        EXPECT_GE(after->stripCount, before + 1);
        EXPECT_FALSE(after->At(Scan).enabled);
        if (!stillUnderWay) {
            ASSERT_TRUE(scanner->Plug());
            ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.Attached(); })) << "no attach after replug";
        }
    }
}

// Ended by a signal it does not handle (SIGTERM, over bulk) or by SIGKILL (over isochronous: one signal
// each keeps the bench short), the program leaves no trace on the scanner: uvcvideo takes it back and
// the video node returns.
TEST_P(UsbProgramTest, TheKernelDriverGetsTheScannerBackAfterTheProgramEnds)
{
    EXPECT_FALSE(EmulatedScanner::KernelDriverHasIt()) << "the program left uvcvideo on the scanner";
    if (GetParam())
        program->kill();
    else
        program->terminate();
    ASSERT_TRUE(program->waitForFinished(60000));
    EXPECT_TRUE(hwtest::WaitUntil(EmulatedScanner::KernelDriverHasIt, hwtest::kDeviceWait))
        << "uvcvideo did not get the scanner back";
}

std::string TransferName(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "Isochronous" : "Bulk";
}
INSTANTIATE_TEST_SUITE_P(Transfers, UsbProgramTest, ::testing::Bool(), TransferName);
// The files' content does not depend on the transfer, and each run takes minutes on the bench: bulk only.
INSTANTIATE_TEST_SUITE_P(Transfers, UsbSaveTest, ::testing::Values(false), TransferName);

} // namespace
} // namespace vistrel::test
