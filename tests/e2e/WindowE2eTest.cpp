// The built program on a virtual X server, with the simulated scanner, driven by real X input
// (xdotool) and looked at through screenshots (ImageMagick's import).
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
namespace {

constexpr const char* kTitle = "Tavrik Film Scanner";

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

QImage Black(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

double MeanGrey(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    }
    return image.isNull() ? 0 : sum / (double(image.width()) * image.height());
}

double DifferingShare(const QImage& a, const QImage& b)
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

int CountColour(const QImage& image, QRgb colour, int tolerance)
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

class WindowE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(QStringLiteral(VISTREL_PROGRAM)).isExecutable()) << VISTREL_PROGRAM;
        ASSERT_TRUE(temp.isValid());
        ASSERT_TRUE(QDir().mkpath(QStringLiteral(VISTREL_SCREENSHOTS)));
        for (const char* sub : {"home", "config", "runtime"})
            ASSERT_TRUE(QDir().mkpath(temp.filePath(sub)));
        QFile::setPermissions(temp.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        StartDisplay();
    }

    void TearDown() override
    {
        if (HasFailure()) {
            const QString shot = ShotPath(QStringLiteral("failure-%1").arg(
                QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name())));
            Screenshot().save(shot);
            QFile log(temp.filePath("program.log"));
            log.open(QIODevice::ReadOnly);
            std::cerr << "screen at the failure: " << shot.toStdString() << "\nprogram output:\n"
                      << log.readAll().toStdString();
        }
        program.Stop();
        display.Stop();
    }

    void StartDisplay() { StartXvfb(display, temp.filePath("xvfb.log"), displayName); }

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

    void Command(const char* line)
    {
        QFile fifo(FifoPath());
        ASSERT_TRUE(fifo.open(QIODevice::WriteOnly)) << "the program's control channel is not there";
        fifo.write(line);
        fifo.write("\n");
    }

    QTemporaryDir temp;
    QString displayName;
    Child display;
    Child program;
};

TEST_F(WindowE2eTest, WindowRefusesToShrinkAndKeepsItsRightColumnWhenEnlarged)
{
    StartProgram(QString());
    const auto start = State();
    ASSERT_TRUE(start);
    const QSize first = XWindowSize();
    EXPECT_EQ(first, start->size);
    const QImage shot = WindowShot(*start, QStringLiteral("no-scanner"));
    // The red "Please connect to scanner" over the picture area.
    EXPECT_TRUE(start->At(NoScannerText).visible);
    EXPECT_GT(CountColour(shot.copy(start->At(NoScannerText).rect), qRgb(244, 67, 54), 24), 200);

    Resize(first - QSize(300, 200));
    // The window puts its size back; the X server then holds the first size again.
    ASSERT_TRUE(WaitFor([&] { return XWindowSize() == first; }, 10000)) << "size now " << XWindowSize().width()
                                                                        << "x" << XWindowSize().height();
    ASSERT_TRUE(WaitForState([&](const WindowState& s) { return s.size == first; }));

    const QSize grow(260, 140);
    Resize(first + grow);
    ASSERT_TRUE(WaitForState([&](const WindowState& s) { return s.size == first + grow; }))
        << "the window did not take the larger size";
    const auto large = State();
    for (int id : {Scan, AdjustGroup, Browse}) {
        const int before = start->size.width() - start->At(id).rect.right();
        const int after = large->size.width() - large->At(id).rect.right();
        EXPECT_EQ(after, before) << id;
    }
    EXPECT_EQ(large->At(Preview).rect.size(), start->At(Preview).rect.size() + grow);
    EXPECT_EQ(large->At(StripFrame).rect.width(), start->At(StripFrame).rect.width() + grow.width());
    const int stripMiddle = (large->At(FirstThumbnail).rect.left() + large->At(LastThumbnail).rect.right()) / 2;
    EXPECT_NEAR(stripMiddle, large->At(StripFrame).rect.center().x(), 3);
    WindowShot(*large, QStringLiteral("enlarged"));
}

TEST_F(WindowE2eTest, LivePictureFollowsTheSliderAndTheFilmType)
{
    StartProgram(QStringLiteral("scanner"));
    ASSERT_TRUE(WaitForState([](const WindowState& s) {
        return !s.At(NoScannerPicture).visible && s.At(Scan).enabled && s.At(Negative).checked;
    })) << "the scanner was not attached";
    auto state = State();
    const QImage before = SettledPicture(*state);
    EXPECT_GT(DifferingShare(before, Black(before.size())), 0.5) << "no live picture";
    WindowShot(*state, QStringLiteral("scanner-negative"));

    // Five clicks on the brightness slider's channel near its right end: five pages up.
    const QRect slider = state->At(BrightnessSlider).rect.translated(state->origin);
    ClickAt(QPoint(slider.right() - 3, slider.center().y()), 5);
    const QImage brighter = SettledPicture(*state);
    EXPECT_GT(DifferingShare(before, brighter), 0.2);
    EXPECT_GT(MeanGrey(brighter), MeanGrey(before) + 10);
    WindowShot(*State(), QStringLiteral("scanner-brighter"));

    // Slide: the scanner stops inverting the picture.
    const QRect slide = state->At(Slide).rect.translated(state->origin);
    ClickAt(QPoint(slide.left() + 6, slide.center().y()));
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Slide).checked; }));
    const QImage positive = SettledPicture(*state);
    EXPECT_GT(DifferingShare(brighter, positive), 0.3);
    WindowShot(*State(), QStringLiteral("scanner-slide"));
}

TEST_F(WindowE2eTest, UnplugAndReplugDetachAndAttach)
{
    StartProgram(QStringLiteral("scanner"));
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Scan).enabled; }));
    // Slide before the unplug: the replug must come back in Negative.
    auto state = State();
    const QRect slide = state->At(Slide).rect.translated(state->origin);
    ClickAt(QPoint(slide.left() + 6, slide.center().y()));
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Slide).checked; }));

    Command("unplug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) {
        return s.At(NoScannerPicture).visible && s.At(NoScannerText).visible && !s.At(Scan).enabled;
    })) << "the window did not notice the unplug";
    state = State();
    EXPECT_TRUE(state->At(Browse).enabled);
    const QImage unplugged = WindowShot(*state, QStringLiteral("unplugged"));
    EXPECT_GT(CountColour(unplugged.copy(state->At(NoScannerText).rect), qRgb(244, 67, 54), 24), 200);

    Command("plug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) {
        return !s.At(NoScannerPicture).visible && s.At(Scan).enabled && s.At(Negative).checked;
    })) << "the window did not attach the replugged scanner";
    state = State();
    const QImage live = SettledPicture(*state);
    EXPECT_GT(DifferingShare(live, Black(live.size())), 0.5);
    WindowShot(*state, QStringLiteral("replugged"));
}

} // namespace
} // namespace vistrel::test

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
