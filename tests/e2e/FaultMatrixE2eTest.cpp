// Faults while the program runs, through the simulator's control channel and small file systems of
// the test's own: whatever happens, no still is lost. Every still the strip held is afterwards still
// in the strip or in a file.
#include "E2eFixture.h"

#include <QRegularExpression>

namespace vistrel::test {
namespace {

enum FaultControlId { FolderBox = 1008, Film126 = 3007, Save = 3009 };

// The program's account of the strip, its open boxes and its notice.
struct ProgramState : WindowState
{
    int entries = -1;
    bool locked = false;
    QStringList boxes;
    QString boxText;
    QString folder;
    bool noticeShown = false;
    QString notice;

    static std::optional<ProgramState> Read(const QString& path)
    {
        ProgramState state;
        const bool read = ReadControlMap(path, state, [&state](const QStringList& f) {
            const auto rest = [&f] { return f.mid(1).join(u' '); };
            if (f.size() >= 4 && f[0] == QLatin1String("strip")) {
                state.entries = f[1].toInt();
                state.locked = f[3] == QLatin1String("1");
            } else if (!f.isEmpty() && f[0] == QLatin1String("box")) {
                state.boxes << rest();
            } else if (!f.isEmpty() && f[0] == QLatin1String("boxtext")) {
                state.boxText = rest();
            } else if (!f.isEmpty() && f[0] == QLatin1String("folder")) {
                state.folder = rest();
            } else if (f.size() >= 2 && f[0] == QLatin1String("notice")) {
                state.noticeShown = f[1] == QLatin1String("1");
                state.notice = f.mid(2).join(u' ');
            }
        });
        if (!read || !state.sawWindow || state.entries < 0)
            return std::nullopt;
        return state;
    }
};

class FaultMatrixE2eTest : public WindowE2eTest
{
protected:
    void TearDown() override
    {
        WindowE2eTest::TearDown();   // the program goes first: nothing of it stays on a mount
        for (const QString& mount : mounts)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), mount});
    }

    std::optional<ProgramState> Program() const { return ProgramState::Read(temp.filePath("controls.txt")); }

    bool WaitForProgram(const std::function<bool(const ProgramState&)>& done, int timeoutMs = kWaitMs)
    {
        return WaitWhileRunning(program, [this] { return Program(); }, done, timeoutMs);
    }

    void StartWithScanner()
    {
        StartProgram(QStringLiteral("scanner"));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Scan).enabled; }))
            << "the scanner was not attached";
    }

    void ClickControl(int id)
    {
        const auto state = State();
        ASSERT_TRUE(state);
        ClickAt(state->At(id).rect.center() + state->origin);
    }

    // Scan, one still at a time, until the strip holds `count`.
    void ScanUntil(int count)
    {
        while (true) {
            const auto now = Program();
            ASSERT_TRUE(now);
            if (now->entries >= count)
                return;
            ClickControl(Scan);
            ASSERT_TRUE(WaitForProgram([&](const ProgramState& s) { return s.entries > now->entries; }))
                << "no still came after Scan";
        }
    }

    // Types a folder into the folder box, as a user does: click, select all, type.
    void TypeFolder(const QString& folder)
    {
        ClickControl(FolderBox);
        Run("xdotool", {"key", "--clearmodifiers", "ctrl+a"});
        Run("xdotool", {"type", "--delay", "20", folder});
        ASSERT_TRUE(WaitForProgram([&](const ProgramState& s) { return s.folder == folder; }))
            << "the folder box does not show " << folder.toStdString();
    }

    // Waits for a box in front of the window and answers it with Enter (its only button is OK), the
    // pointer resting on the box.
    void AnswerBox()
    {
        std::optional<ProgramState> open;
        ASSERT_TRUE(WaitForProgram([&open](const ProgramState& s) {
            open = s;
            return !s.boxes.isEmpty();
        })) << "no box came";
        const QString box = Run("xdotool", {"search", "--onlyvisible", "--name",
                                            u'^' + QRegularExpression::escape(open->boxes[0]) + u'$'})
                                .section(u'\n', 0, 0);
        if (!box.isEmpty()) {
            QPoint at, size;
            for (const QString& line : Run("xdotool", {"getwindowgeometry", "--shell", box}).split(u'\n')) {
                const QString value = line.section(u'=', 1);
                if (line.startsWith(QLatin1String("X=")))
                    at.setX(value.toInt());
                else if (line.startsWith(QLatin1String("Y=")))
                    at.setY(value.toInt());
                else if (line.startsWith(QLatin1String("WIDTH=")))
                    size.setX(value.toInt());
                else if (line.startsWith(QLatin1String("HEIGHT=")))
                    size.setY(value.toInt());
            }
            MovePointer(at + QPoint(size.x() / 2, size.y() / 4));
        }
        Run("xdotool", {"key", "Return"});
        ASSERT_TRUE(WaitForProgram([](const ProgramState& s) { return s.boxes.isEmpty(); }))
            << "the box did not go away";
    }

    // The finished pictures in a folder (a temporary file left behind would count against the check).
    static int Files(const QString& folder)
    {
        return int(QDir(folder).entryList(QDir::Files | QDir::Hidden).size());
    }

    // Waits until a save has ended with `written` of the strip's `stills` in files and the rest
    // still in the strip: nothing lost, nothing doubled, no temporary file left behind.
    void ExpectSaved(const QString& folder, int stills, int written)
    {
        std::optional<ProgramState> last;
        EXPECT_TRUE(WaitForProgram([&](const ProgramState& s) {
            last = s;
            return !s.locked && s.boxes.isEmpty() && Files(folder) == written && s.entries == stills - written;
        }, 120000)) << "strip " << (last ? last->entries : -1) << ", files " << Files(folder) << "; expected "
                    << stills - written << " and " << written;
    }

    // A small file system of the test's own; empty when this account may not mount one.
    QString Mount(const QString& name, const QString& options)
    {
        const QString point = temp.filePath(name);
        QDir().mkpath(point);
        QProcess mount;
        mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", options, "vistrel-e2e", point});
        if (!mount.waitForFinished(20000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0) {
            mountError = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
            return {};
        }
        mounts << point;
        return point;
    }

    QStringList mounts;
    QString mountError;
};

TEST_F(FaultMatrixE2eTest, UnplugWhileTheLockedDeviceBoxIsOpen)
{
    StartWithScanner();
    ScanUntil(2);
    Command("busy on");
    ClickControl(Film126);   // capture restarts and finds the device held
    ASSERT_TRUE(WaitForProgram([](const ProgramState& s) {
        return s.boxes.contains(QStringLiteral("ERROR")) && s.boxText.contains(QStringLiteral("locked"));
    })) << "no \"Device is locked by another application\" box";
    Command("unplug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(NoScannerPicture).visible; }))
        << "the window did not handle the unplug while the box was open";
    WindowShot(*State(), QStringLiteral("locked-box-unplugged"));
    AnswerBox();

    Command("busy off");
    Command("plug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Scan).enabled; }));
    const auto after = Program();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->entries, 2);
}

TEST_F(FaultMatrixE2eTest, UnplugWhileAStillIsAwaited)
{
    StartWithScanner();
    ScanUntil(1);
    Command("ignore-trigger on");
    ClickControl(Scan);
    Command("unplug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(NoScannerPicture).visible; }));

    // Unplugged with stills in the strip: the artwork in colour, the captured thumbnail visible.
    const auto state = State();
    const QImage shot = WindowShot(*state, QStringLiteral("no-scanner-with-stills"));
    const QImage artwork = shot.copy(state->At(NoScannerPicture).rect);
    int coloured = 0;
    for (int y = 0; y < artwork.height(); ++y) {
        for (int x = 0; x < artwork.width(); ++x) {
            const QRgb p = artwork.pixel(x, y);
            coloured += qMax(qMax(qRed(p), qGreen(p)), qBlue(p)) - qMin(qMin(qRed(p), qGreen(p)), qBlue(p)) > 40;
        }
    }
    EXPECT_GT(coloured, 100) << "the no-scanner picture is greyed";
    const QImage thumbnail = shot.copy(state->At(FirstThumbnail).rect);
    EXPECT_GT(DifferingShare(thumbnail, shot.copy(state->At(FirstThumbnail + 1).rect)), 0.3)
        << "the captured thumbnail looks like an empty one";

    Command("ignore-trigger off");
    Command("plug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Scan).enabled; }));
    ScanUntil(2);
    const auto after = Program();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->entries, 2);
}

TEST_F(FaultMatrixE2eTest, UnplugWhileSaving)
{
    constexpr int kStills = 6;
    StartWithScanner();
    ScanUntil(kStills);
    const QString folder = temp.filePath("saved");
    TypeFolder(folder + u'/');
    ClickControl(Save);
    Command("unplug");
    ExpectSaved(folder, kStills, kStills);
}

TEST_F(FaultMatrixE2eTest, SavingIntoAFullOrReadOnlyFileSystemKeepsTheStills)
{
    StartWithScanner();
    // One picture saved where there is room tells how large each one is.
    ScanUntil(1);
    const QString probe = temp.filePath("probe");
    TypeFolder(probe + u'/');
    ClickControl(Save);
    ExpectSaved(probe, 1, 1);
    const QFileInfoList saved = QDir(probe).entryInfoList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    const qint64 pictureKiB = saved[0].size() / 1024 + 1;

    const struct
    {
        const char* name;
        QString options;
        int stills;
        int fit;   // pictures the file system takes
    } cases[] = {
        {"full", QStringLiteral("size=%1k,mode=0777").arg(pictureKiB + pictureKiB / 2), 3, 1},
        {"readonly", QStringLiteral("ro,size=1m,mode=0777"), 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = Mount(QString::fromLatin1(c.name), c.options);
        if (folder.isEmpty())
            GTEST_SKIP() << "mounting a tmpfs is not permitted here (" << mountError.toStdString() << ")";
        ScanUntil(c.stills);
        TypeFolder(folder + u'/');
        ClickControl(Save);
        ASSERT_TRUE(WaitForProgram([](const ProgramState& s) { return !s.boxes.isEmpty() && !s.boxText.isEmpty(); },
                                   120000))
            << "no message about the files that could not be written";
        WindowShot(*State(), QStringLiteral("save-failed-%1").arg(QString::fromLatin1(c.name)));
        AnswerBox();
        ExpectSaved(folder, c.stills, c.fit);
        // The stills that are left save once there is room.
        const QString roomy = temp.filePath(QStringLiteral("roomy-%1").arg(QString::fromLatin1(c.name)));
        TypeFolder(roomy + u'/');
        ClickControl(Save);
        ExpectSaved(roomy, c.stills - c.fit, c.stills - c.fit);
    }
}

} // namespace
} // namespace vistrel::test
