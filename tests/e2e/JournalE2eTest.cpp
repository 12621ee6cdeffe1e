// No scan lost to a signal, a kill or a crash: the built program under a virtual X server with the
// simulated scanner, driven by real pointer input, ended by real signals and started again on the
// same (temporary) home.
#include "support/ProgramUnderX.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <tiffio.h>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#ifndef VISTREL_PROGRAM
#error "VISTREL_PROGRAM names the program under test"
#endif
#ifndef VISTREL_SCREENSHOTS
#error "VISTREL_SCREENSHOTS names the folder for the screenshots"
#endif

namespace vistrel::test {
namespace {

enum ControlId {
    Scan = 3000, High = 3002, Save = 3009, Rotate = 3011, Mirror = 3018, Tiff = 3036,
    FirstThumbnail = 5000,
};

constexpr int kSaveMs = 240000;   // twelve large TIFFs on a busy machine

using Orientation = MappedEntry;

// The control map with the strip's lines and the notice.
struct ProgramState : MappedWindow, MappedStrip
{
    bool noticeShown = false;
    QString notice;

    static std::optional<ProgramState> Read(const QString& path)
    {
        ProgramState state;
        const bool read = ReadControlMap(path, state, [&](const QStringList& f) {
            if (!state.TakeLine(f) && f.size() >= 2 && f[0] == "notice") {
                state.noticeShown = f[1] == "1";
                state.notice = f.mid(2).join(u' ');
            }
        });
        if (!read || !state.sawStrip || !state.sawWindow)
            return std::nullopt;
        return state;
    }
};

class JournalE2eTest : public ProgramUnderXTest
{
protected:
    void SetUp() override
    {
        Prepare(VISTREL_PROGRAM);
    }


    // Starts the program and waits for the window with the scanner attached.
    void StartProgram()
    {
        QFile::remove(MapPath());
        const QProcessEnvironment env = ProgramEnvironment(displayName, QDir(temp.path()), QStringLiteral("scanner"));
        StartProgramProcess(program, QStringLiteral(VISTREL_PROGRAM), env, temp.filePath("program.log"));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(WaitForState([](const ProgramState& s) {
            return s.visible && s.controls.count(Scan) && s.controls.at(Scan).enabled;
        })) << "the window did not come up with the scanner attached";
    }

    QString MapPath() const { return temp.filePath("controls.txt"); }
    QString SaveFolder() const { return temp.filePath("home/Pictures/FilmScan"); }
    // Where the program keeps its data with XDG_DATA_HOME in the temporary folder.
    QString JournalSlot() const { return temp.filePath("data/Vistrel/Vistrel/journal/strip-0"); }
    std::optional<ProgramState> State() const { return ProgramState::Read(MapPath()); }

    bool WaitForState(const std::function<bool(const ProgramState&)>& done, int timeoutMs = kWaitMs)
    {
        return WaitWhileRunning(program, [this] { return State(); }, done, timeoutMs);
    }

    void Click(int id)
    {
        const auto state = State();
        ASSERT_TRUE(state);
        ASSERT_TRUE(state->controls.count(id)) << "no control " << id;
        const MappedControl& control = state->controls.at(id);
        ASSERT_TRUE(control.visible && control.enabled) << "control " << id << " cannot be clicked";
        // Radio buttons take clicks on their indicator and text, at the left.
        const bool radio = id == Tiff || id == High;
        const QPoint at = state->origin
            + QPoint(radio ? control.rect.left() + 6 : control.rect.center().x(), control.rect.center().y());
        ASSERT_EQ(MovePointerOn(displayName, at), 0);
        int code = -1;
        RunOnDisplay(displayName, "xdotool", {"click", "1"}, &code);
        ASSERT_EQ(code, 0);
    }

    void ScanStills(int count)
    {
        for (int n = 1; n <= count; ++n) {
            Click(Scan);
            ASSERT_TRUE(WaitForState([n](const ProgramState& s) { return s.count == n && s.selection == n - 1; }))
                << "still " << n << " did not arrive";
        }
    }

    void SelectThumbnail(int position)
    {
        Click(FirstThumbnail + position);
        ASSERT_TRUE(WaitForState([position](const ProgramState& s) { return s.selection == position; }));
    }

    // The middle of each thumbnail's picture, from a screenshot with the pointer parked away.
    std::vector<QImage> Thumbnails(int count)
    {
        MovePointerOn(displayName, QPoint(1910, 1190));
        const auto state = State();
        const QImage screen = ScreenshotOf(displayName, temp.filePath("screen.png")).convertToFormat(QImage::Format_RGB32);
        std::vector<QImage> pictures;
        for (int i = 0; i < count; ++i) {
            const QRect button = state->controls.at(FirstThumbnail + i).rect.translated(state->origin);
            pictures.push_back(screen.copy(QRect(button.center() - QPoint(30, 20), QSize(60, 40))));
        }
        return pictures;
    }

    QStringList Hidden(const QString& folder) const
    {
        return QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden | QDir::System);
    }

    // Sends the signal and waits for the program to end; false when it did not.
    bool SendAndWait(int signalNumber, int timeoutMs)
    {
        ::kill(static_cast<pid_t>(program->processId()), signalNumber);
        return program->waitForFinished(timeoutMs);
    }

};

QSize TiffSize(const QString& path)
{
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(QFile::encodeName(path).constData(), "r"), TIFFClose);
    if (!tiff)
        return {};
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

TEST_F(JournalE2eTest, TerminateDuringATwelveImageHighTiffSaveWritesAllTwelveAndLeavesNoTemporary)
{
    StartProgram();
    Click(High);
    Click(Tiff);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.controls.at(High).checked && s.controls.at(Tiff).checked; }));
    ScanStills(12);

    Click(Save);
    // The save has begun writing: its first temporary is in the folder.
    ASSERT_TRUE(WaitFor([this] { return !Hidden(SaveFolder()).isEmpty(); }, 60000)) << "the save did not begin";
    ASSERT_TRUE(SendAndWait(SIGTERM, kSaveMs)) << "the program did not end after SIGTERM";
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit) << "ended by the signal, not by closing";

    const QStringList files = QDir(SaveFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    EXPECT_TRUE(Hidden(SaveFolder()).isEmpty()) << "temporaries left: " << Hidden(SaveFolder()).join(' ').toStdString();
    const QRegularExpression name(QStringLiteral("^\\d{14}_(\\d{2})\\.tif$"));
    ASSERT_EQ(files.size(), 12) << files.join(' ').toStdString();
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        const auto match = name.match(files[i]);
        ASSERT_TRUE(match.hasMatch());
        EXPECT_EQ(match.captured(1).toInt(), i + 1);
        EXPECT_EQ(TiffSize(QDir(SaveFolder()).filePath(files[i])), QSize(5184, 3480));
    }
    // Everything was saved, so nothing waits in the journal for the next start.
    EXPECT_TRUE(QDir(JournalSlot()).entryList({"*.still"}, QDir::Files).isEmpty());
}

TEST_F(JournalE2eTest, KillWithFiveUnsavedStillsThenRestartShowsThemWithTheirOrientation)
{
    StartProgram();
    ScanStills(5);
    SelectThumbnail(1);
    Click(Rotate);
    SelectThumbnail(3);
    Click(Mirror);
    SelectThumbnail(4);
    Click(Rotate);
    Click(Rotate);
    Click(Mirror);
    const std::vector<Orientation> expected {{0, 0}, {0, 1}, {0, 0}, {1, 0}, {1, 2}};
    ASSERT_TRUE(WaitForState([&](const ProgramState& s) { return s.entries == expected; }));
    // The journal writes off the window's thread: give it the moment a user would, until every
    // file is there (a program without one ends this wait and fails below, at the restart).
    const QDir slot(JournalSlot());
    WaitFor([&] {
        return slot.entryList({"*.still"}, QDir::Files).size() == 5 && slot.entryList({"*.turn"}, QDir::Files).size() == 3
            && slot.entryList({"*.part"}, QDir::Files).isEmpty();
    }, 10000);
    QThread::msleep(500);
    const std::vector<QImage> before = Thumbnails(5);

    ASSERT_TRUE(SendAndWait(SIGKILL, 10000));

    StartProgram();
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.count == 5 && s.selection == 4; }))
        << "the stills did not come back";
    EXPECT_EQ(State()->entries, expected);
    const auto state = State();
    EXPECT_TRUE(state->noticeShown);
    EXPECT_TRUE(state->notice.contains(QLatin1String("5"))) << state->notice.toStdString();
    QThread::msleep(500);
    const std::vector<QImage> after = Thumbnails(5);
    // For looking at: the window as the restart shows it, with its notice.
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(VISTREL_SCREENSHOTS)));
    ScreenshotOf(displayName, temp.filePath("screen.png"))
        .copy(QRect(state->origin, state->size))
        .save(QDir(QStringLiteral(VISTREL_SCREENSHOTS)).filePath("restored-after-kill.png"));
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(before[i], after[i]) << "thumbnail " << i << " differs after the restart";
}

TEST_F(JournalE2eTest, StaleTemporaryOfACrashedSaveIsRemovedAtTheNextSave)
{
    ASSERT_TRUE(QDir().mkpath(SaveFolder()));
    const QString stale = QDir(SaveFolder()).filePath(".20261211020701_05.tif.1kcgxsu");
    const QString alike = QDir(SaveFolder()).filePath(".20261211020701_05.tif");   // not a name we give
    for (const QString& path : {stale, alike}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(586 * 1024, 'x'));
    }
    StartProgram();
    ScanStills(1);
    Click(Save);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.count == 0 && !s.saving; }, kSaveMs));
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(alike));
    EXPECT_EQ(QDir(SaveFolder()).entryList({"*.jpg"}, QDir::Files).size(), 1);
}

} // namespace
} // namespace vistrel::test
