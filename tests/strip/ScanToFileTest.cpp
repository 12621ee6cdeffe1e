// The program from Scan to files: the built program on a virtual X server with the simulated
// scanner, driven by real pointer input (xdotool), checked by the files it writes and by what
// the screen shows.
#include "capture/sim/SyntheticScene.h"
#include "support/ProgramUnderX.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <tiffio.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifndef VISTREL_PROGRAM
#error "VISTREL_PROGRAM names the program under test"
#endif

namespace vistrel::test {
namespace {

constexpr int kStillWidth = 2592;     // the simulated scanner's still format
constexpr int kStillHeight = 1944;

enum ControlId {
    Scan = 3000, Save = 3009, Delete = 3010, Rotate = 3011, Mirror = 3018, Tiff = 3036,
    ImageView = 1016, FirstThumbnail = 5000, ThumbnailCount = 12,
};

// What the program says about its controls and its strip (the file named by VISTREL_CONTROL_MAP).
using ControlState = MappedControl;
struct ProgramState : MappedWindow, MappedStrip
{
    bool windowVisible = false;

    // Only a map with the strip line counts.
    static std::optional<ProgramState> Read(const QString& path)
    {
        ProgramState state;
        const bool read = ReadControlMap(path, state, [&](const QStringList& f) { state.TakeLine(f); });
        if (!read || !state.sawStrip) {
            return std::nullopt;
        }
        state.windowVisible = state.visible;
        return state;
    }
};

// The pixels of a grey version of a picture, for comparing pictures whatever their tones.
std::vector<double> GreyPixels(const QImage& picture, QSize size)
{
    const QImage small = picture.convertToFormat(QImage::Format_RGB32)
                             .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    std::vector<double> grey;
    grey.reserve(static_cast<std::size_t>(size.width() * size.height()));
    for (int y = 0; y < small.height(); ++y) {
        for (int x = 0; x < small.width(); ++x) {
            grey.push_back(qGray(small.pixel(x, y)));
        }
    }
    return grey;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const double n = static_cast<double>(a.size());
    double meanA = 0, meanB = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= n;
    meanB /= n;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The scanner's picture flipped left to right when mirrored, then turned clockwise, then cropped
// or banded into the output box the way a saved file holds it: the full width kept, the height
// cut (or padded with black) by the same offset on both sides.
QImage ExpectedFile(const QImage& scene, int mirrored, int rotation, QSize box)
{
    QImage oriented = mirrored != 0 ? scene.mirrored(true, false) : scene;
    oriented = oriented.transformed(QTransform().rotate(90.0 * rotation));
    const double rotW = oriented.width();
    const double rotH = oriented.height();
    const double cut = (rotH - rotW * box.height() / box.width()) / 2.0;
    const double scale = box.height() / (rotH - 2.0 * cut);
    QImage file(box, QImage::Format_RGB32);
    file.fill(Qt::black);
    QPainter painter(&file);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, -cut * scale, box.width(), rotH * scale), oriented);
    return file;
}

struct TiffFile
{
    QImage picture;
    QString dateTime;
};

std::optional<TiffFile> ReadTiff(const QString& path)
{
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(QFile::encodeName(path).constData(), "r"), TIFFClose);
    if (!tiff) {
        return std::nullopt;
    }
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TiffFile result;
    char* dateTime = nullptr;
    if (TIFFGetField(tiff.get(), TIFFTAG_DATETIME, &dateTime) == 1 && dateTime != nullptr) {
        result.dateTime = QString::fromLatin1(dateTime);
    }
    QImage picture(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGBA8888);
    if (TIFFReadRGBAImageOriented(tiff.get(), width, height, reinterpret_cast<std::uint32_t*>(picture.bits()),
                                  ORIENTATION_TOPLEFT, 0) != 1) {
        return std::nullopt;
    }
    result.picture = picture; // libtiff's ABGR words are R, G, B, A bytes in memory
    return result;
}

QImage SceneReference()
{
    // The simulated scanner's own picture, at a quarter of the still's size (proportions are all
    // that matter here).
    const sim::RgbImage scene = sim::SyntheticScene::Render(kStillWidth / 4, kStillHeight / 4);
    QImage picture(scene.pixels.data(), scene.width, scene.height, scene.width * 3, QImage::Format_RGB888);
    return picture.copy();
}

class ScanToFileTest : public ProgramUnderXTest
{
protected:
    void SetUp() override
    {
        sinceStart.start();
        Prepare(VISTREL_PROGRAM);
        if (HasFatalFailure())
            return;
        home = temp.filePath("home");
        for (const char* sub : {"data", "cache"}) {
            ASSERT_TRUE(QDir().mkpath(temp.filePath(sub)));
        }
        StartProgram();
    }

    void TearDown() override
    {
        ProgramUnderXTest::TearDown();
        if (HasFailure()) {
            if (const auto state = State()) {
                std::cerr << "strip " << state->count << ' ' << state->selection << ' ' << state->saving << '\n';
            }
        }
    }

    QString FailureShotPath() const override { return QDir::current().filePath("scan_to_file_failure.png"); }

    void StartProgram()
    {
        QProcessEnvironment env = ProgramEnvironment(displayName, QDir(temp.path()), QStringLiteral("scanner"));
        env.insert("XDG_DATA_HOME", temp.filePath("data"));
        env.insert("XDG_CACHE_HOME", temp.filePath("cache"));
        StartProgramProcess(program, QStringLiteral(VISTREL_PROGRAM), env, temp.filePath("program.log"));
    }

    QString MapPath() const { return temp.filePath("controls.txt"); }
    QString SaveFolder() const { return QDir(home).filePath("Pictures/FilmScan"); }
    std::optional<ProgramState> State() const { return ProgramState::Read(MapPath()); }

    bool WaitForState(const std::function<bool(const ProgramState&)>& done, int timeoutMs = kWaitMs)
    {
        return WaitWhileRunning(program, [this] { return State(); }, done, timeoutMs);
    }

    // Says how far the run has come, with the time since the start, for reading a failed run.
    void Step(const char* what)
    {
        std::cerr << "[" << sinceStart.elapsed() << " ms] " << what << '\n';
    }

    int Run(const QString& tool, const QStringList& arguments)
    {
        int code = -1;
        RunOnDisplay(displayName, tool, arguments, &code);
        return code;
    }

    // A real click: the pointer moves onto the control and the button goes down and up.
    void Click(int id)
    {
        const auto state = State();
        ASSERT_TRUE(state);
        ASSERT_TRUE(state->controls.count(id)) << "no control " << id;
        const ControlState& control = state->controls.at(id);
        std::cerr << "[" << sinceStart.elapsed() << " ms] click " << id << '\n';
        ASSERT_TRUE(control.visible && control.enabled) << "control " << id << " cannot be clicked";
        // Radio buttons take clicks on their indicator and text only, which sit at the left.
        const bool radio = id == Tiff;
        const QPoint at = state->origin + QPoint(radio ? control.rect.left() + 6 : control.rect.center().x(),
                                                 control.rect.center().y());
        MovePointer(at);
        ASSERT_EQ(Run("xdotool", {"click", "1"}), 0);
    }

    void MovePointer(QPoint to) { MovePointerOn(displayName, to); }

    QImage Screenshot() { return ScreenshotOf(displayName, temp.filePath("screen.png")); }

    // The pointer away from the window, so that no control shows its hover look.
    void ParkPointer() { MovePointer(QPoint(1910, 1190)); }

    // A screenshot once the strip and the image view have stopped changing.
    QImage SettledScreenshot(const ProgramState& state)
    {
        ParkPointer();
        QImage previous = Screenshot();
        QImage now;
        WaitFor([&] {
            now = Screenshot();
            bool same = !now.isNull();
            for (int i = 0; same && i <= ThumbnailCount; ++i) {
                const int id = i < ThumbnailCount ? FirstThumbnail + i : ImageView;
                same = ControlPixels(now, state, id) == ControlPixels(previous, state, id);
            }
            previous = now;
            return same;
        }, 10000);
        return now;
    }

    QImage ControlPixels(const QImage& screen, const ProgramState& state, int id) const
    {
        return screen.copy(state.controls.at(id).rect.translated(state.origin)).convertToFormat(QImage::Format_RGB32);
    }

    static double DifferingShare(const QImage& a, const QImage& b)
    {
        if (a.size() != b.size() || a.isNull()) {
            return 1.0;
        }
        int differing = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
            }
        }
        return static_cast<double>(differing) / (a.width() * a.height());
    }

    // Checks that the picture of a file has the orientation wanted, against every orientation
    // that gives a file of the same shape.
    static void ExpectOrientation(const QImage& file, int mirrored, int rotation)
    {
        const QImage scene = SceneReference();
        const QSize grid(file.width() / 32, file.height() / 32);
        const std::vector<double> actual = GreyPixels(file, grid);
        double wanted = -2.0, bestOther = -2.0;
        for (int m = 0; m < 2; ++m) {
            for (int r = rotation % 2; r < 4; r += 2) {
                const double c = Correlation(actual, GreyPixels(ExpectedFile(scene, m, r, file.size()), grid));
                std::cerr << "orientation mirrored " << m << " rotation " << r << ": correlation " << c << '\n';
                if (m == mirrored && r == rotation) {
                    wanted = c;
                } else {
                    bestOther = std::max(bestOther, c);
                }
            }
        }
        EXPECT_GT(wanted, 0.9);
        EXPECT_GT(wanted - bestOther, 0.2) << "another orientation fits nearly as well";
    }

    QElapsedTimer sinceStart;
    QString home;
};

QDateTime WholeSecond(const QDateTime& t)
{
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute(), t.time().second()));
}

TEST_F(ScanToFileTest, ThreeScansRotateMirrorDeleteSaveAsTiff)
{
    // The window is up and the scanner attached.
    ASSERT_TRUE(WaitForState([](const ProgramState& s) {
        return s.windowVisible && s.controls.count(Scan) && s.controls.at(Scan).enabled && s.count == 0;
    })) << "the window did not come up with the scanner attached";
    Step("window up, scanner attached");
    const ProgramState start = *State();
    const QImage startScreen = SettledScreenshot(start);
    ASSERT_FALSE(startScreen.isNull());

    // Three scans; each still is appended and selected.
    std::vector<QDateTime> before, after;
    for (int n = 1; n <= 3; ++n) {
        before.push_back(QDateTime::currentDateTime());
        Click(Scan);
        ASSERT_TRUE(WaitForState([n](const ProgramState& s) { return s.count == n && s.selection == n - 1; }))
            << "still " << n << " did not arrive";
        after.push_back(QDateTime::currentDateTime());
    }

    Click(FirstThumbnail + 1);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.selection == 1; }));
    Click(Rotate);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.entries.size() == 3 && s.entries[1].rotation == 1; }));

    Click(FirstThumbnail + 2);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.selection == 2; }));
    Click(Mirror);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.entries.size() == 3 && s.entries[2].mirrored == 1; }));

    Click(FirstThumbnail);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.selection == 0; }));
    Click(Delete);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) {
        return s.count == 2 && s.selection == 0 && s.entries[0].rotation == 1 && s.entries[1].mirrored == 1;
    }));

    Click(Tiff);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.controls.at(Tiff).checked; }));

    const QDateTime saveClicked = WholeSecond(QDateTime::currentDateTime());
    Click(Save);
    ASSERT_TRUE(WaitForState([](const ProgramState& s) { return s.count == 0 && !s.saving; }))
        << "the strip was not emptied";

    Step("strip emptied by the save");
    // Exactly the two files, complete, named by the save's time and the strip positions.
    const QDir folder(SaveFolder());
    QStringList files;
    ASSERT_TRUE(WaitFor([&] {
        files = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        return files.size() >= 2;
    })) << "nothing written to " << SaveFolder().toStdString();
    ASSERT_EQ(files.size(), 2) << files.join(' ').toStdString();
    const QRegularExpression name(QStringLiteral("^(\\d{14})_0([12])\\.tif$"));
    std::map<int, QString> byPosition;
    for (const QString& file : files) {
        const auto match = name.match(file);
        ASSERT_TRUE(match.hasMatch()) << file.toStdString();
        const QDateTime stamp = QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMddHHmmss"));
        EXPECT_GE(stamp, saveClicked);
        EXPECT_LE(stamp, QDateTime::currentDateTime());
        byPosition[match.captured(2).toInt()] = folder.filePath(file);
    }
    ASSERT_EQ(byPosition.size(), 2u);

    struct Expected
    {
        int position, scan, mirrored, rotation;
        QSize size;
    };
    for (const Expected& e : {Expected{1, 2, 0, 1, QSize(1744, 2592)}, Expected{2, 3, 1, 0, QSize(2592, 1744)}}) {
        SCOPED_TRACE(e.position);
        const auto tiff = ReadTiff(byPosition.at(e.position));
        ASSERT_TRUE(tiff);
        EXPECT_EQ(tiff->picture.size(), e.size);
        ExpectOrientation(tiff->picture, e.mirrored, e.rotation);
        const QDateTime taken = QDateTime::fromString(tiff->dateTime, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        ASSERT_TRUE(taken.isValid()) << "DateTime '" << tiff->dateTime.toStdString() << "'";
        EXPECT_GE(taken, WholeSecond(before[static_cast<std::size_t>(e.scan - 1)])) << tiff->dateTime.toStdString();
        EXPECT_LE(taken, after[static_cast<std::size_t>(e.scan - 1)]) << tiff->dateTime.toStdString();
    }

    Step("files checked");
    // The strip looks as it did at the start: every thumbnail the placeholder, the image view grey.
    ParkPointer();
    ASSERT_TRUE(WaitFor([&] {
        const QImage screen = Screenshot();
        const ProgramState now = *State();
        for (int i = 0; i < ThumbnailCount; ++i) {
            if (DifferingShare(ControlPixels(screen, now, FirstThumbnail + i),
                               ControlPixels(startScreen, start, FirstThumbnail + i)) > 0.005) {
                return false;
            }
        }
        return DifferingShare(ControlPixels(screen, now, ImageView), ControlPixels(startScreen, start, ImageView)) <=
               0.005;
    }, 5000)) << "the strip on the screen is not empty";
    const QImage view = ControlPixels(Screenshot(), *State(), ImageView);
    EXPECT_EQ(view.pixel(view.width() / 2, view.height() / 2), qRgb(89, 89, 89));
}

} // namespace
} // namespace vistrel::test

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
