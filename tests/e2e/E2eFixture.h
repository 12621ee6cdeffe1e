// The fixture of the end-to-end tests: the built program on a virtual X server of the test's own,
// with the simulated scanner, driven by real X input (xdotool) and looked at through screenshots.
#pragma once

#include "support/ProgramUnderX.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <optional>

#ifndef VISTREL_PROGRAM
#error "VISTREL_PROGRAM names the program under test"
#endif
#ifndef VISTREL_SCREENSHOTS
#error "VISTREL_SCREENSHOTS names the folder for the screenshots"
#endif

namespace vistrel::test {

inline constexpr const char* kTitle = "Tavrik Film Scanner";

enum ControlId {
    Preview = 1001, SaturationSlider = 1002, BrightnessSlider = 1003, NoScannerPicture = 1013,
    NoScannerText = 1014, Scan = 3000, Slide = 3003, Negative = 3004, AdjustGroup = 3027, Browse = 3008,
    StripFrame = 1015, FirstThumbnail = 5000, LastThumbnail = 5011,
};

// The program's own account of its controls; only a map with the window line counts.
struct WindowState : MappedWindow
{
    static std::optional<WindowState> Read(const QString& path)
    {
        WindowState state;
        if (!ReadControlMap(path, state) || !state.sawWindow)
            return std::nullopt;
        return state;
    }
    const MappedControl& At(int id) const { return controls.at(id); }
};

inline QImage Black(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

inline double MeanGrey(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    }
    return image.isNull() ? 0 : sum / (double(image.width()) * image.height());
}

inline double DifferingShare(const QImage& a, const QImage& b)
{
    if (a.isNull() || a.size() != b.size())
        return 1.0;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            differing += qAbs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 8 ? 1 : 0;
    }
    return double(differing) / (double(a.width()) * a.height());
}

inline int CountColour(const QImage& image, QRgb colour, int tolerance)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            count += qAbs(qRed(p) - qRed(colour)) <= tolerance && qAbs(qGreen(p) - qGreen(colour)) <= tolerance
                    && qAbs(qBlue(p) - qBlue(colour)) <= tolerance
                ? 1
                : 0;
        }
    }
    return count;
}

class WindowE2eTest : public ProgramUnderXTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(QStringLiteral(VISTREL_SCREENSHOTS)));
        Prepare(VISTREL_PROGRAM);
    }

    QString FailureShotPath() const override
    {
        return ShotPath(QStringLiteral("failure-%1").arg(
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name())));
    }

    void StartProgram(const QString& devices)
    {
        StartProgramProcess(program, QStringLiteral(VISTREL_PROGRAM),
                            ProgramEnvironment(displayName, QDir(temp.path()), devices), temp.filePath("program.log"));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.visible; })) << "the window did not appear";
        ASSERT_TRUE(WaitFor([this] { return !WindowId().isEmpty(); })) << "no window titled " << kTitle;
    }

    QString FifoPath() const { return temp.filePath("control.fifo"); }
    std::optional<WindowState> State() const { return WindowState::Read(temp.filePath("controls.txt")); }

    bool WaitForState(const std::function<bool(const WindowState&)>& done, int timeoutMs = kWaitMs)
    {
        return WaitWhileRunning(program, [this] { return State(); }, done, timeoutMs);
    }

    QString Run(const QString& tool, const QStringList& arguments, int* exitCode = nullptr)
    {
        return RunOnDisplay(displayName, tool, arguments, exitCode);
    }

    QString WindowId() { return Run("xdotool", {"search", "--name", QString::fromLatin1(kTitle)}).section(u'\n', 0, 0); }

    // The size the X server holds for the window.
    QSize XWindowSize()
    {
        const QString out = Run("xdotool", {"getwindowgeometry", "--shell", WindowId()});
        QSize size;
        for (const QString& line : out.split(u'\n')) {
            if (line.startsWith(QLatin1String("WIDTH=")))
                size.setWidth(line.mid(6).toInt());
            else if (line.startsWith(QLatin1String("HEIGHT=")))
                size.setHeight(line.mid(7).toInt());
        }
        return size;
    }

    void Resize(QSize size)
    {
        int code = -1;
        Run("xdotool", {"windowsize", WindowId(), QString::number(size.width()), QString::number(size.height())}, &code);
        ASSERT_EQ(code, 0);
    }

    void MovePointer(QPoint to) { ASSERT_EQ(MovePointerOn(displayName, to), 0); }

    void ClickAt(QPoint at, int times = 1)
    {
        MovePointer(at);
        int code = -1;
        Run("xdotool", {"click", "--repeat", QString::number(times), "--delay", "150", "1"}, &code);
        ASSERT_EQ(code, 0);
    }

    void ParkPointer() { MovePointer(QPoint(1910, 1190)); }

    QImage Screenshot()
    {
        const QImage screen = ScreenshotOf(displayName, temp.filePath("screen.png"));
        return screen.isNull() ? QImage() : screen.convertToFormat(QImage::Format_RGB32);
    }

    static QString ShotPath(const QString& name)
    {
        return QDir(QStringLiteral(VISTREL_SCREENSHOTS)).filePath(name + QStringLiteral(".png"));
    }

    // The window's client area on the screen, saved for looking at.
    QImage WindowShot(const WindowState& state, const QString& name)
    {
        const QImage window = Screenshot().copy(QRect(state.origin, state.size));
        window.save(ShotPath(name));
        return window;
    }

    // The middle of the live picture: away from the bars, whatever the letterbox.
    static QRect PictureMiddle(const WindowState& state)
    {
        const QRect preview = state.At(Preview).rect;
        return QRect(preview.center() - QPoint(preview.width() / 4, preview.height() / 4),
                     QSize(preview.width() / 2, preview.height() / 2));
    }

    QImage PictureShot(const WindowState& state)
    {
        return Screenshot().copy(PictureMiddle(state).translated(state.origin));
    }

    // Two screenshots of the live picture in a row that agree: the preview has caught up.
    QImage SettledPicture(const WindowState& state)
    {
        ParkPointer();
        QImage previous = PictureShot(state);
        QImage now;
        WaitFor([&] {
            now = PictureShot(state);
            const bool same = DifferingShare(now, previous) < 0.01;
            previous = now;
            return same;
        }, 10000);
        return now;
    }

    // The settled live picture once the scanner's frames show: a preview that is still black has not
    // started, however steady it looks.
    QImage LivePicture(const WindowState& state)
    {
        ParkPointer();
        EXPECT_TRUE(WaitFor([&] {
            const QImage now = PictureShot(state);
            return DifferingShare(now, Black(now.size())) > 0.5;
        })) << "no live picture";
        return SettledPicture(state);
    }

    void Command(const char* line)
    {
        QFile fifo(FifoPath());
        ASSERT_TRUE(fifo.open(QIODevice::WriteOnly)) << "the program's control channel is not there";
        fifo.write(line);
        fifo.write("\n");
    }
};

} // namespace vistrel::test
