// The whole program under a virtual X server in the hardware bench's guest, with the real V4L2 backend
// in front of the emulated scanner: driven by real X input as the end-to-end tests drive it, and
// judged by the files it writes.
#include "support/ProgramUnderX.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

enum ControlId { NoScannerPicture = 1013, Scan = 3000, Save = 3009 };
constexpr QSize kSaved135Standard {2592, 1744};

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

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(QStringLiteral(VISTREL_PROGRAM)).isExecutable()) << VISTREL_PROGRAM;
        ASSERT_TRUE(temp.isValid());
        for (const char* sub : {"home", "config", "runtime"})
            ASSERT_TRUE(QDir().mkpath(temp.filePath(sub)));
        QFile::setPermissions(temp.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        hwtest::EmulatorOptions options;
        options.name = std::string("emulator-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        scanner = std::make_unique<EmulatedScanner>(options);
        ASSERT_TRUE(scanner->Start()) << "the kernel made no video node for the emulated scanner";
        StartXvfb(display, temp.filePath("xvfb.log"), displayName);
        if (HasFatalFailure())
            return;
        // No simulator in the environment: the program takes the V4L2 backend.
        StartProgramProcess(program, QStringLiteral(VISTREL_PROGRAM),
                            ProgramEnvironment(displayName, QDir(temp.path()), QString()), temp.filePath("program.log"));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.visible && s.Attached(); }, kSlowWaitMs))
            << "the program did not attach the scanner";
    }

    void TearDown() override
    {
        if (HasFailure()) {
            QFile log(temp.filePath("program.log"));
            log.open(QIODevice::ReadOnly);
            std::cerr << "program output:\n" << log.readAll().toStdString();
        }
        program.Stop();
        display.Stop();
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

    void ExpectThreeWholeFiles()
    {
        const QStringList files = SavedFiles();
        ASSERT_EQ(files.size(), 3) << files.join(u' ').toStdString();
        for (const QString& file : files) {
            QImageReader reader(file);
            const QImage image = reader.read();
            EXPECT_FALSE(image.isNull()) << file.toStdString() << ": " << reader.errorString().toStdString();
            EXPECT_EQ(image.size(), kSaved135Standard) << file.toStdString();
        }
    }

    QTemporaryDir temp;
    std::unique_ptr<EmulatedScanner> scanner;
    QString displayName;
    Child display;
    Child program;
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

} // namespace
} // namespace vistrel::test
