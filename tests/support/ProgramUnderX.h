// The built program on a virtual X server of the test's own: the server, the program's process and
// environment, the control map it writes, and real X input through xdotool.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QTextStream>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

namespace vistrel::test {

inline constexpr int kWaitMs = 30000;
inline constexpr int kPollMs = 50;

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = kWaitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

// A process that is ended when this goes away.
class Child
{
public:
    ~Child() { Stop(); }
    QProcess& operator*() { return process; }
    QProcess* operator->() { return &process; }
    void Stop()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }

private:
    QProcess process;
};

// Waits for a state the program reports; a program that has gone away ends the wait as a failure.
template <typename Read, typename Done>
bool WaitWhileRunning(Child& program, Read read, Done done, int timeoutMs = kWaitMs)
{
    return WaitFor(
               [&] {
                   if (program->state() == QProcess::NotRunning)
                       return true; // reported by the check below
                   const auto state = read();
                   return state && done(*state);
               },
               timeoutMs)
        && program->state() != QProcess::NotRunning;
}

// A server of our own; -displayfd lets it take a free display number without races.
inline void StartXvfb(Child& display, const QString& errorLog, QString& displayName)
{
    display->setProgram(QStringLiteral("Xvfb"));
    display->setArguments({"-displayfd", "1", "-screen", "0", "1920x1200x24", "-nolisten", "tcp", "-noreset"});
    display->setProcessChannelMode(QProcess::SeparateChannels);
    display->setStandardErrorFile(errorLog);
    display->start();
    ASSERT_TRUE(display->waitForStarted(10000));
    QByteArray number;
    ASSERT_TRUE(WaitFor([&] {
        display->waitForReadyRead(kPollMs);
        number += display->readAllStandardOutput();
        return number.contains('\n');
    })) << "Xvfb gave no display number";
    displayName = u':' + QString::fromLatin1(number.trimmed());
}

// The program's environment with its files under `temp`: home, config, data, state, runtime, the
// simulator's control channel (control.fifo) and the control map (controls.txt). No devices: no
// simulator.
inline QProcessEnvironment ProgramEnvironment(const QString& displayName, const QDir& temp, const QString& devices)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", displayName);
    env.insert("QT_QPA_PLATFORM", "xcb");
    if (devices.isEmpty())
        env.remove("VISTREL_SIMULATOR");
    else
        env.insert("VISTREL_SIMULATOR", devices);
    env.remove("VISTREL_SIMULATOR_IMAGE");
    env.insert("VISTREL_SIMULATOR_CONTROL", temp.filePath("control.fifo"));
    env.insert("VISTREL_CONTROL_MAP", temp.filePath("controls.txt"));
    env.insert("HOME", temp.filePath("home"));
    env.insert("XDG_CONFIG_HOME", temp.filePath("config"));
    // The strip's journal and any other state stay out of the user's own folders.
    env.insert("XDG_DATA_HOME", temp.filePath("data"));
    env.insert("XDG_STATE_HOME", temp.filePath("state"));
    env.insert("XDG_RUNTIME_DIR", temp.filePath("runtime"));
    env.insert("LANG", "C.UTF-8");
    env.insert("LC_ALL", "C.UTF-8");
    return env;
}

inline void StartProgramProcess(Child& program, const QString& path, const QProcessEnvironment& env,
                                const QString& log)
{
    program->setProcessEnvironment(env);
    program->setProgram(path);
    program->setProcessChannelMode(QProcess::MergedChannels);
    program->setStandardOutputFile(log);
    program->start();
    ASSERT_TRUE(program->waitForStarted(10000));
}

// The program's own account of its window and controls (written while VISTREL_CONTROL_MAP names a
// file): "window x y w h visible" and "control id x y w h visible enabled checked".
struct MappedControl
{
    QRect rect;   // window coordinates
    bool visible = false, enabled = false, checked = false;
};
struct MappedWindow
{
    QPoint origin;   // the window's client area on the screen
    QSize size;
    bool visible = false;
    bool sawWindow = false;
    std::map<int, MappedControl> controls;
};

// The strip's lines of the control map: "strip count selection saving" and an "entry index ... mirrored
// rotation" line a thumbnail.
struct MappedEntry
{
    int mirrored = 0, rotation = 0;
    bool operator==(const MappedEntry&) const = default;
};
struct MappedStrip
{
    int count = -1, selection = -2;
    bool saving = false;
    std::vector<MappedEntry> entries;
    bool sawStrip = false;

    // Takes a line of the strip's; false for any other.
    bool TakeLine(const QStringList& f)
    {
        if (f.size() >= 4 && f[0] == QLatin1String("strip")) {
            count = f[1].toInt();
            selection = f[2].toInt();
            saving = f[3] == QLatin1String("1");
            sawStrip = true;
            return true;
        }
        if (f.size() >= 5 && f[0] == QLatin1String("entry")) {
            entries.push_back({f[3].toInt(), f[4].toInt()});
            return true;
        }
        return false;
    }
};

// Lines other than window and control go to `other`; false when the file cannot be read.
inline bool ReadControlMap(const QString& path, MappedWindow& into,
                           const std::function<void(const QStringList&)>& other = {})
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(u' ', Qt::SkipEmptyParts);
        if (f.size() >= 6 && f[0] == QLatin1String("window")) {
            into.origin = QPoint(f[1].toInt(), f[2].toInt());
            into.size = QSize(f[3].toInt(), f[4].toInt());
            into.visible = f[5] == QLatin1String("1");
            into.sawWindow = true;
        } else if (f.size() >= 9 && f[0] == QLatin1String("control")) {
            into.controls[f[1].toInt()] = MappedControl {QRect(f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt()),
                                                         f[6] == QLatin1String("1"), f[7] == QLatin1String("1"),
                                                         f[8] == QLatin1String("1")};
        } else if (other) {
            other(f);
        }
    }
    return true;
}

// A tool run against the display; its output, and its exit code (-1 when it crashed or hung).
inline QString RunOnDisplay(const QString& displayName, const QString& tool, const QStringList& arguments,
                            int* exitCode = nullptr)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", displayName);
    process.setProcessEnvironment(env);
    process.start(tool, arguments);
    const bool finished = process.waitForFinished(20000);
    if (!finished)
        process.kill();
    if (exitCode)
        *exitCode = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

inline std::optional<QPoint> PointerOn(const QString& displayName)
{
    std::optional<int> x, y;
    for (const QString& line : RunOnDisplay(displayName, "xdotool", {"getmouselocation", "--shell"}).split(u'\n')) {
        if (line.startsWith(QLatin1String("X=")))
            x = line.mid(2).toInt();
        else if (line.startsWith(QLatin1String("Y=")))
            y = line.mid(2).toInt();
    }
    if (!x || !y)
        return std::nullopt;
    return QPoint(*x, *y);
}

// xdotool's --sync waits for a motion event, which never comes when the pointer is there already.
// The exit code of the move (0 when there was nothing to do).
inline int MovePointerOn(const QString& displayName, QPoint to)
{
    if (PointerOn(displayName) == to)
        return 0;
    int code = -1;
    RunOnDisplay(displayName, "xdotool", {"mousemove", "--sync", QString::number(to.x()), QString::number(to.y())},
                 &code);
    return code;
}

// The whole screen through ImageMagick's import, saved as `file`; null when that failed.
inline QImage ScreenshotOf(const QString& displayName, const QString& file)
{
    QFile::remove(file);
    int code = -1;
    RunOnDisplay(displayName, "import", {"-display", displayName, "-window", "root", file}, &code);
    return code == 0 ? QImage(file) : QImage();
}

// A test that runs the built program on a display of its own, in a throw-away home: the folders the
// program needs, the display, and on failure the program's own output (and, where the test keeps one,
// the screen) in the test's log.
class ProgramUnderXTest : public ::testing::Test
{
protected:
    // The program at path exists, and home, config and a private runtime folder are made.
    void MakeFolders(const char* path)
    {
        ASSERT_TRUE(QFileInfo(QString::fromUtf8(path)).isExecutable()) << path;
        ASSERT_TRUE(temp.isValid());
        for (const char* sub : {"home", "config", "runtime"})
            ASSERT_TRUE(QDir().mkpath(temp.filePath(sub)));
        QFile::setPermissions(temp.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void StartDisplay() { StartXvfb(display, temp.filePath("xvfb.log"), displayName); }
    // Both: the program's folders, then the display.
    void Prepare(const char* path)
    {
        MakeFolders(path);
        if (HasFatalFailure())
            return;
        StartDisplay();
    }

    void TearDown() override
    {
        if (HasFailure()) {
            if (const QString shot = FailureShotPath(); !shot.isEmpty()) {
                ScreenshotOf(displayName, temp.filePath("screen.png")).save(shot);
                std::cerr << "screen at the failure: " << shot.toStdString() << '\n';
            }
            QFile log(temp.filePath("program.log"));
            log.open(QIODevice::ReadOnly);
            std::cerr << "program output:\n" << log.readAll().toStdString();
        }
        program.Stop();
        display.Stop();
    }
    // Where a failing test keeps the screen as it was; none by default.
    virtual QString FailureShotPath() const { return {}; }

    QTemporaryDir temp;
    QString displayName;
    Child display;
    Child program;
};

} // namespace vistrel::test
