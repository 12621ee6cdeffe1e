// The Windows build of the program (scripts/build-windows) under Wine on a virtual X server of the
// tests' own, with the built-in simulated scanner or, through the system's DirectShow, the simulated
// scanner's registered filter, driven by real X input as the Linux build is.
#include "support/ProgramUnderX.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <utility>

#ifndef VISTREL_WINDOWS_PROGRAM_DIR
#error "VISTREL_WINDOWS_PROGRAM_DIR names the Windows program's folder"
#endif
#ifndef VISTREL_WINDOWS_INSTALLER
#error "VISTREL_WINDOWS_INSTALLER names the installer scripts/build-windows makes"
#endif
#ifndef VISTREL_LINUX_PROGRAM
#error "VISTREL_LINUX_PROGRAM names the Linux build of the program"
#endif
#ifndef VISTREL_WINDOWS_SCANNER_FILTER
#error "VISTREL_WINDOWS_SCANNER_FILTER names the simulated scanner's DirectShow filter scripts/test-windows builds"
#endif
#ifndef VISTREL_WINE_WORK
#error "VISTREL_WINE_WORK names the folder for the Wine prefix and the screenshots"
#endif

namespace vistrel::test {
namespace {

constexpr const char* kTitle = "Tavrik Film Scanner";
constexpr const char* kConfigKey = "Software\\Vistrel\\Vistrel\\Config";
enum ControlId {
    NoScannerPicture = 1013, NoScannerText = 1014, Scan = 3000, High = 3002, Slide = 3003, Negative = 3004,
    Browse = 3008, Save = 3009, Jpg = 3035, Tiff = 3036
};
// The controls whose captions show the language.
constexpr int kCaptioned[] = {Scan, Slide, Negative, Save};
constexpr int kWineStartMs = 120000;
// Wine's own faces, Tahoma among them, which Debian's fonts-wine brings.
constexpr const char* kWineFonts = "/usr/share/wine/fonts";

// The program's account of its window, its strip and its open boxes.
struct ProgramState : MappedWindow
{
    int entries = -1;
    QStringList boxes;

    static std::optional<ProgramState> Read(const QString& path)
    {
        ProgramState state;
        const bool read = ReadControlMap(path, state, [&state](const QStringList& f) {
            if (f.size() >= 2 && f[0] == QLatin1String("strip"))
                state.entries = f[1].toInt();
            else if (!f.isEmpty() && f[0] == QLatin1String("box"))
                state.boxes << f.mid(1).join(u' ');
        });
        if (!read || !state.sawWindow || state.entries < 0)
            return std::nullopt;
        return state;
    }
    const MappedControl& At(int id) const { return controls.at(id); }
};

bool RunsInCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

QString WindowsPath(const QString& path)
{
    return QStringLiteral("Z:") + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).replace(u'/', u'\\');
}

// One Wine prefix and one X server for the whole suite: starting Wine is slow.
class WineProgramE2eTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const QString folder = QStringLiteral(VISTREL_WINDOWS_PROGRAM_DIR);
        if (!QFileInfo::exists(folder + QStringLiteral("/vistrel.exe"))) {
            unavailable = QStringLiteral("no Windows build in %1 (scripts/build-windows)").arg(folder);
            return;
        }
        for (const char* tool : {"wine", "wineserver", "Xvfb", "xdotool", "import"}) {
            if (QProcess::execute(QStringLiteral("sh"), {"-c", QStringLiteral("command -v %1 >/dev/null").arg(tool)}) != 0) {
                unavailable = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
                return;
            }
        }
        QDir().mkpath(WorkPath("screenshots"));
        display = new Child;
        StartXvfb(*display, WorkPath("xvfb.log"), displayName);
        // A new prefix for every run, as a fresh Windows: nothing a run before installed or kept.
        Wine({"wineserver", "-k"});
        QDir(WorkPath("wineprefix")).removeRecursively();
        // The server (kept running between the cases) and the prefix first, their output sent away: a
        // child that keeps the test's pipes open would hold CTest forever.
        Wine({"wineserver", "-p"});
        Wine({"wineboot", "-i"});
        // Windows always has its interface face. Without it Wine answers the message font with the
        // first face it knows, a math face whose glyph bounds are three lines tall, and the toolkit
        // centres the folder box's line so far up that none of its text shows.
        const QStringList faces = QDir(QString::fromLatin1(kWineFonts)).entryList({QStringLiteral("*.ttf")}, QDir::Files);
        if (faces.isEmpty()) {
            unavailable = QStringLiteral("Wine's own fonts are not installed (fonts-wine)");
            return;
        }
        const QString systemFonts = WorkPath("wineprefix") + QStringLiteral("/drive_c/windows/Fonts/");
        for (const QString& face : faces)
            QFile::copy(QString::fromLatin1(kWineFonts) + u'/' + face, systemFonts + face);
        // Smoothed text, as Windows draws it from the start; Wine draws its faces' small sizes
        // without it with strokes missing.
        const QString desktop = QStringLiteral("HKCU\\Control Panel\\Desktop");
        Wine({"reg", "add", desktop, "/v", "FontSmoothing", "/t", "REG_SZ", "/d", "2", "/f"});
        Wine({"reg", "add", desktop, "/v", "FontSmoothingType", "/t", "REG_DWORD", "/d", "2", "/f"});
        // A program that crashes writes its stacks into its output, which a failing case prints, instead
        // of waiting behind Wine's crash dialog.
        Wine({"reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"});
    }

    static void TearDownTestSuite()
    {
        if (display) {
            Wine({"wineserver", "-k"});
            delete display;
            display = nullptr;
        }
    }

    void SetUp() override
    {
        if (!unavailable.isEmpty()) {
            if (RunsInCi())
                FAIL() << unavailable.toStdString();
            GTEST_SKIP() << unavailable.toStdString();
        }
        ASSERT_TRUE(temp.isValid());
        // Every case starts with an empty strip: no stills kept from the case before.
        QDir(JournalFolder()).removeRecursively();
        for (const char* hive : {"HKCU", "HKLM"})
            Wine({"reg", "delete", QStringLiteral("%1\\Software\\Vistrel").arg(hive), "/f"});
    }

    void TearDown() override
    {
        if (HasFailure() && !unavailable.isEmpty())
            return;
        if (HasFailure()) {
            const QString shot = WorkPath("screenshots") + QStringLiteral("/failure-%1.png").arg(
                QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
            ScreenshotOf(displayName, shot);
            QFile log(temp.filePath("program.log"));
            log.open(QIODevice::ReadOnly);
            std::cerr << "screen at the failure: " << shot.toStdString() << "\nprogram output:\n"
                      << log.readAll().toStdString();
        }
        program.Stop();
    }

    static QString WorkPath(const char* name) { return QDir(QStringLiteral(VISTREL_WINE_WORK)).filePath(name); }

    // Where the program keeps the stills not yet saved: the Windows user's local application data.
    static QString JournalFolder()
    {
        const QDir users(WorkPath("wineprefix") + QStringLiteral("/drive_c/users"));
        for (const QString& user : users.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (user != QLatin1String("Public"))
                return users.filePath(user) + QStringLiteral("/AppData/Local/Vistrel/Vistrel/journal");
        }
        return {};
    }

    static int JournalFiles(const QString& pattern)
    {
        int count = 0;
        for (QDirIterator it(JournalFolder(), {pattern}, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
            ++count;
        return count;
    }

    static QProcessEnvironment WineEnvironment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", WorkPath("wineprefix"));
        env.insert("WINEDEBUG", "-all");
        env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
        env.insert("DISPLAY", displayName);
        env.insert("LANG", "en_US.UTF-8");
        env.insert("LC_ALL", "en_US.UTF-8");
        return env;
    }

    // A Wine tool run to its end, its output sent away; its exit code.
    static int Wine(const QStringList& command)
    {
        QProcess process;
        process.setProcessEnvironment(WineEnvironment());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        const bool wine = command[0] != QLatin1String("wineserver");
        process.start(wine ? QStringLiteral("wine") : command[0], wine ? command : command.mid(1));
        if (!process.waitForFinished(kWineStartMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    static void SetLanguage(const char* hive, const char* value)
    {
        ASSERT_EQ(Wine({"reg", "add", QStringLiteral("%1\\%2").arg(hive, kConfigKey), "/v", "UILanguage", "/t",
                        "REG_DWORD", "/d", value, "/f"}),
                  0);
    }

    enum class Build { Windows, Linux };
    // The built-in simulated scanner, or the system's capture stack with whatever filters are registered.
    enum class Scanner { BuiltIn, System };

    // The program with the simulated scanner; the Linux build runs on the same display for comparison.
    void StartProgramAt(const QString& windowsProgram)
    {
        StartProgram({}, Build::Windows, windowsProgram);
    }

    void StartProgram(const QStringList& arguments = {}, Build build = Build::Windows,
                      const QString& windowsProgram = QStringLiteral(VISTREL_WINDOWS_PROGRAM_DIR) + "/vistrel.exe")
    {
        const bool windows = build == Build::Windows;
        QProcessEnvironment env = WineEnvironment();
        if (scanner == Scanner::BuiltIn) {
            env.insert("VISTREL_SIMULATOR", "scanner");
            env.insert("VISTREL_SIMULATOR_CONTROL", windows ? PipeName() : temp.filePath("control"));
        } else {
            env.remove("VISTREL_SIMULATOR");
            env.remove("VISTREL_SIMULATOR_IMAGE");
        }
        const QString map = temp.filePath("controls.txt");
        QFile::remove(map);
        env.insert("VISTREL_CONTROL_MAP", windows ? WindowsPath(map) : map);
        if (!windows) {
            env.insert("QT_QPA_PLATFORM", "xcb");
            env.insert("HOME", temp.filePath("home"));
        }
        program->setProcessEnvironment(env);
        program->setProgram(windows ? QStringLiteral("wine") : QStringLiteral(VISTREL_LINUX_PROGRAM));
        program->setArguments(windows ? QStringList {windowsProgram} + arguments : arguments);
        program->setProcessChannelMode(QProcess::MergedChannels);
        program->setStandardOutputFile(temp.filePath("program.log"));
        program->start();
        ASSERT_TRUE(program->waitForStarted(10000));
        ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.visible && s.At(Scan).enabled; },
                                 kWineStartMs))
            << "the window did not appear with the scanner attached";
        ASSERT_TRUE(WaitFor([this] { return !WindowId().isEmpty(); })) << "no window titled " << kTitle;
    }

    void StopProgram() { program.Stop(); }

    // The simulator's control pipe of this test process's programs, \\.\pipe\<name>.
    static QString PipeName() { return QStringLiteral("vistrel-sim-%1").arg(QCoreApplication::applicationPid()); }

    // One line to the simulator, written by Windows' own command interpreter into the program's pipe.
    void Command(const char* line)
    {
        const QString echo = QStringLiteral("echo %1>\\\\.\\pipe\\%2").arg(QString::fromLatin1(line), PipeName());
        ASSERT_EQ(Wine({"cmd", "/c", echo}), 0) << "the program's control pipe is not there";
    }

    std::optional<ProgramState> State() const { return ProgramState::Read(temp.filePath("controls.txt")); }

    bool WaitForState(const std::function<bool(const ProgramState&)>& done, int timeoutMs = kWaitMs)
    {
        return WaitWhileRunning(program, [this] { return State(); }, done, timeoutMs);
    }

    QString WindowId()
    {
        return RunOnDisplay(displayName, "xdotool", {"search", "--onlyvisible", "--name", QString::fromLatin1(kTitle)})
            .section(u'\n', 0, 0);
    }

    void ClickControl(int id)
    {
        const auto state = State();
        ASSERT_TRUE(state);
        ASSERT_EQ(MovePointerOn(displayName, state->At(id).rect.center() + state->origin), 0);
        int code = -1;
        RunOnDisplay(displayName, "xdotool", {"click", "1"}, &code);
        ASSERT_EQ(code, 0);
    }

    // The window's client area, saved for looking at when named.
    QImage WindowShot(const QString& name = {})
    {
        const auto state = State();
        if (!state)
            return {};
        MovePointerOn(displayName, QPoint(1910, 1190));
        const QImage screen = ScreenshotOf(displayName, temp.filePath("screen.png"));
        const QImage window = screen.copy(QRect(state->origin, state->size)).convertToFormat(QImage::Format_RGB32);
        if (!name.isEmpty())
            window.save(WorkPath("screenshots") + u'/' + name + QStringLiteral(".png"));
        return window;
    }

    // The captions of the buttons and choices side by side: what the language changes.
    QImage Captions(const QString& shotName)
    {
        const QImage window = WindowShot(shotName);
        const auto state = State();
        if (window.isNull() || !state)
            return {};
        int width = 0, height = 0;
        for (int id : kCaptioned) {
            width += state->At(id).rect.width();
            height = qMax(height, state->At(id).rect.height());
        }
        QImage captions(width, height, QImage::Format_RGB32);
        captions.fill(Qt::black);
        int x = 0;
        for (int id : kCaptioned) {
            const QRect rect = state->At(id).rect;
            for (int row = 0; row < rect.height(); ++row) {
                for (int col = 0; col < rect.width(); ++col)
                    captions.setPixel(x + col, row, window.pixel(rect.left() + col, rect.top() + row));
            }
            x += rect.width();
        }
        return captions;
    }

    void ScanUntil(int count)
    {
        while (true) {
            const auto now = State();
            ASSERT_TRUE(now);
            if (now->entries >= count)
                return;
            ClickControl(Scan);
            ASSERT_TRUE(WaitForState([&](const ProgramState& s) { return s.entries > now->entries; }))
                << "no still came after Scan";
        }
    }

    // At High: three stills saved as JPEG, then three more as TIFF, into `folder` (a save empties the strip).
    void SaveThreeAtHigh(const QString& folder)
    {
        ClickControl(High);
        for (const auto& [format, files] : {std::pair {Jpg, 3}, std::pair {Tiff, 6}}) {
            ScanUntil(3);
            ASSERT_FALSE(HasFatalFailure());
            ClickControl(format);
            ClickControl(Save);
            ASSERT_TRUE(WaitForState([&](const ProgramState& s) { return s.entries == 0; }, kWineStartMs))
                << "the save did not end";
            ASSERT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), files);
        }
    }

    // The saved files by their position and format ("_01.jpg" ...).
    static std::map<QString, QString> ByPosition(const QString& folder)
    {
        std::map<QString, QString> files;
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            files[name.right(7)] = QDir(folder).filePath(name);
        return files;
    }

    static inline Child* display = nullptr;
    static inline QString displayName;
    static inline QString unavailable;
    QTemporaryDir temp;
    Child program;
    Scanner scanner = Scanner::BuiltIn;
};

bool SameImage(const QImage& a, const QImage& b)
{
    return !a.isNull() && a == b;
}

TEST_F(WineProgramE2eTest, TheLanguageComesFromThePerUserValueThenTheMachineWideOne)
{
    const auto captionsWith = [this](const char* user, const char* machine, const QString& shot) {
        for (const char* hive : {"HKCU", "HKLM"})
            Wine({"reg", "delete", QStringLiteral("%1\\Software\\Vistrel").arg(hive), "/f"});
        if (user)
            SetLanguage("HKCU", user);
        if (machine)
            SetLanguage("HKLM", machine);
        StartProgram();
        const QImage captions = HasFatalFailure() ? QImage() : Captions(shot);
        StopProgram();
        return captions;
    };
    const QImage none = captionsWith(nullptr, nullptr, QStringLiteral("wine-english"));
    ASSERT_FALSE(none.isNull());
    // The program only reads its key: a run without a value leaves no key behind.
    EXPECT_NE(Wine({"reg", "query", "HKCU\\Software\\Vistrel"}), 0) << "the program created its registry key";

    const QImage german = captionsWith("0x0407", nullptr, QStringLiteral("wine-german"));
    const QImage japanese = captionsWith(nullptr, "0x0411", QStringLiteral("wine-japanese-machine-wide"));
    EXPECT_FALSE(SameImage(german, none)) << "German captions look English";
    EXPECT_FALSE(SameImage(japanese, none)) << "the machine-wide value was not used";
    EXPECT_FALSE(SameImage(japanese, german));

    const struct
    {
        const char* name;
        const char* user;
        const char* machine;
        const QImage& expected;
    } cases[] = {
        {"per-user wins over machine-wide", "0x0407", "0x0411", german},
        {"only the low 16 bits count", "0x10407", nullptr, german},
        {"0xFFFF per-user keeps the user's default", "0xFFFF", "0x0411", none},
        {"0xFFFF machine-wide keeps the user's default", nullptr, "0xFFFF", none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage captions = captionsWith(c.user, c.machine, {});
        EXPECT_TRUE(SameImage(captions, c.expected));
    }
}

TEST_F(WineProgramE2eTest, TheWindowShowsItsIcon)
{
    StartProgram();
    const QString icon = RunOnDisplay(displayName, "xprop", {"-id", WindowId(), "_NET_WM_ICON"});
    EXPECT_TRUE(icon.contains(QLatin1String("Icon ("))) << icon.left(200).toStdString();
}

// The same three stills saved at High by the Windows and the Linux build decode to the same pixels.
TEST_F(WineProgramE2eTest, ThreeStillsSavedAtHighAsJpegAndTiffMatchTheLinuxBuild)
{
    const QString windowsFolder = temp.filePath("windows");
    const QString linuxFolder = temp.filePath("linux");
    StartProgram({"--save-folder", WindowsPath(windowsFolder)});
    ASSERT_FALSE(HasFatalFailure());
    SaveThreeAtHigh(windowsFolder);
    ASSERT_FALSE(HasFatalFailure());
    StopProgram();
    StartProgram({"--save-folder", linuxFolder}, Build::Linux);
    ASSERT_FALSE(HasFatalFailure());
    SaveThreeAtHigh(linuxFolder);
    ASSERT_FALSE(HasFatalFailure());
    program.Stop();

    const auto windowsFiles = ByPosition(windowsFolder);
    const auto linuxFiles = ByPosition(linuxFolder);
    ASSERT_EQ(windowsFiles.size(), 6u);
    ASSERT_EQ(linuxFiles.size(), 6u);
    const QRegularExpression name(QStringLiteral("^\\d{14}_0[123]\\.(jpg|tif)$"));
    for (const auto& [position, windowsFile] : windowsFiles) {
        SCOPED_TRACE(windowsFile.toStdString());
        ASSERT_TRUE(linuxFiles.count(position));
        const QString linuxFile = linuxFiles.at(position);
        EXPECT_TRUE(name.match(QFileInfo(windowsFile).fileName()).hasMatch());
        QProcess identify;
        identify.start(QStringLiteral("identify"), {"-format", "%w %h", windowsFile});
        identify.waitForFinished(60000);
        EXPECT_EQ(QString::fromLatin1(identify.readAllStandardOutput()).trimmed(), QStringLiteral("5184 3480"));
        // ImageMagick's count of differing pixels, on its standard error.
        QProcess compare;
        compare.start(QStringLiteral("compare"), {"-metric", "AE", windowsFile, linuxFile, "null:"});
        compare.waitForFinished(120000);
        EXPECT_EQ(QString::fromLatin1(compare.readAllStandardError()).trimmed(), QStringLiteral("0"))
            << "the Windows and the Linux file decode to different pixels";
    }
}

// The scanner pulled out and put back while the program runs: the window lets go of it, says so, and
// takes it again in Negative.
TEST_F(WineProgramE2eTest, UnplugAndReplugDetachAndAttach)
{
    StartProgram();
    ASSERT_FALSE(HasFatalFailure());
    ClickControl(Slide);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.At(Slide).checked; }));

    Command("unplug");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForState([](const ProgramState& s) {
        return s.At(NoScannerPicture).visible && s.At(NoScannerText).visible && !s.At(Scan).enabled;
    })) << "the window did not notice the unplug";
    EXPECT_TRUE(State()->At(Browse).enabled);
    WindowShot(QStringLiteral("wine-unplugged"));

    Command("plug");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForState([](const ProgramState& s) {
        return !s.At(NoScannerPicture).visible && s.At(Scan).enabled && s.At(Negative).checked;
    })) << "the window did not attach the replugged scanner";
    ScanUntil(1);
}

// Stills not yet saved outlive a killed program: the journal's files hold the stills byte for byte, and
// the next start shows them again.
TEST_F(WineProgramE2eTest, UnsavedStillsComeBackAfterTheProgramIsKilled)
{
    StartProgram();
    ASSERT_FALSE(HasFatalFailure());
    ScanUntil(3);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitFor([] { return JournalFiles(QStringLiteral("*.still")) == 3 && JournalFiles(QStringLiteral("*.part")) == 0; },
                        10000))
        << "the journal did not keep the stills";
    program->kill();
    program->waitForFinished();

    StartProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(WaitForState([](const ProgramState& s) { return s.entries == 3; })) << "the stills did not come back";
}

// The program on Wine's own DirectShow: the device enumerator lists the simulated scanner's filter,
// registered by regsvr32 as a driver's would be, and the window attaches it, scans and saves through it.
TEST_F(WineProgramE2eTest, TheRegisteredDirectShowScannerIsAttachedScannedAndSaved)
{
    const QString filter = QStringLiteral(VISTREL_WINDOWS_SCANNER_FILTER);
    if (!QFileInfo::exists(filter)) {
        const std::string missing = "no scanner filter at " + filter.toStdString() + " (scripts/test-windows)";
        if (RunsInCi())
            FAIL() << missing;
        GTEST_SKIP() << missing;
    }
    ASSERT_EQ(Wine({"regsvr32", "/s", WindowsPath(filter)}), 0);
    scanner = Scanner::System;
    const QString folder = temp.filePath("dshow");
    StartProgram({"--save-folder", WindowsPath(folder)});
    ASSERT_FALSE(HasFatalFailure());
    WindowShot(QStringLiteral("wine-dshow"));
    ClickControl(High);
    ScanUntil(1);
    ASSERT_FALSE(HasFatalFailure());
    ClickControl(Jpg);
    ClickControl(Save);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.entries == 0; }, kWineStartMs)) << "the save did not end";
    StopProgram();
    Wine({"regsvr32", "/u", "/s", WindowsPath(filter)});

    const QStringList files = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1) << files.join(u' ').toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{14}_01\\.jpg$")).match(files[0]).hasMatch()) << files[0].toStdString();
    QProcess identify;
    identify.start(QStringLiteral("identify"), {"-format", "%w %h", QDir(folder).filePath(files[0])});
    identify.waitForFinished(60000);
    EXPECT_EQ(QString::fromLatin1(identify.readAllStandardOutput()).trimmed(), QStringLiteral("5184 3480"));
}

TEST_F(WineProgramE2eTest, ClosingWithUnsavedStillsAsks)
{
    StartProgram();
    ASSERT_FALSE(HasFatalFailure());
    ScanUntil(1);
    ASSERT_FALSE(HasFatalFailure());
    // Alt+F4 is Windows' own close, handled inside Wine without a window manager.
    RunOnDisplay(displayName, "xdotool", {"key", "--window", WindowId(), "alt+F4"});
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return !s.boxes.isEmpty(); }))
        << "the window closed without asking";
    WindowShot(QStringLiteral("wine-close-question"));
}

// The installer, silent: per machine under Program Files with a Start-menu entry, an entry under
// "Apps and features" and the chosen language machine-wide; the silent uninstall takes all of it and
// leaves the user's own value.
TEST_F(WineProgramE2eTest, TheInstallerInstallsSilentlyAndTheUninstallLeavesOnlyTheUsersKeys)
{
    const QString installer = QStringLiteral(VISTREL_WINDOWS_INSTALLER);
    ASSERT_TRUE(QFileInfo::exists(installer)) << installer.toStdString();
    const QString drive = WorkPath("wineprefix") + QStringLiteral("/drive_c");
    const QString folder = drive + QStringLiteral("/Program Files/Vistrel");
    const QString shortcut =
        drive + QStringLiteral("/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavrik Film Scanner.lnk");
    const QString uninstallKey =
        QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vistrel");
    // The prefix outlives the run: no folder from a run before.
    QDir(folder).removeRecursively();
    SetLanguage("HKCU", "0x0409");
    // The user's value would win over the machine-wide one; it goes for the start and comes back after.
    Wine({"reg", "delete", "HKCU\\Software\\Vistrel", "/f"});

    ASSERT_EQ(Wine({installer, "/S", "/UILANGUAGE=0x0407"}), 0);
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/vistrel.exe")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/platforms/qwindows.dll")));
    EXPECT_TRUE(QFileInfo::exists(shortcut));
    EXPECT_EQ(Wine({"reg", "query", uninstallKey, "/v", "UninstallString"}), 0);
    EXPECT_EQ(Wine({"reg", "query", QStringLiteral("HKLM\\%1").arg(kConfigKey), "/v", "UILanguage"}), 0);

    // The installed program starts, in the language the installer stored.
    StartProgramAt(folder + QStringLiteral("/vistrel.exe"));
    ASSERT_FALSE(HasFatalFailure());
    WindowShot(QStringLiteral("wine-installed"));
    StopProgram();

    SetLanguage("HKCU", "0x0409");
    ASSERT_EQ(Wine({folder + QStringLiteral("/uninstall.exe"), "/S"}), 0);
    // The uninstaller runs on from a copy of itself once the first one has returned.
    EXPECT_TRUE(WaitFor([&] { return !QFileInfo::exists(folder); }, kWineStartMs)) << "the program's folder stayed";
    EXPECT_FALSE(QFileInfo::exists(shortcut)) << "the Start-menu entry stayed";
    EXPECT_NE(Wine({"reg", "query", uninstallKey}), 0) << "the uninstall entry stayed";
    EXPECT_NE(Wine({"reg", "query", "HKLM\\Software\\Vistrel"}), 0) << "the machine-wide key stayed";
    EXPECT_EQ(Wine({"reg", "query", QStringLiteral("HKCU\\%1").arg(kConfigKey), "/v", "UILanguage"}), 0)
        << "the user's own value went";

    // A file of the user's own in the program's folder stays, and the folder with it; all else goes.
    ASSERT_EQ(Wine({installer, "/S"}), 0);
    QFile notes(folder + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("mine");
    notes.close();
    ASSERT_EQ(Wine({folder + QStringLiteral("/uninstall.exe"), "/S"}), 0);
    const auto left = [&] { return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); };
    EXPECT_TRUE(WaitFor([&] { return left() == QStringList {QStringLiteral("notes.txt")}; }, kWineStartMs))
        << left().join(u' ').toStdString();
    EXPECT_NE(Wine({"reg", "query", uninstallKey}), 0) << "the uninstall entry stayed";
    QDir(folder).removeRecursively();
}

} // namespace
} // namespace vistrel::test
