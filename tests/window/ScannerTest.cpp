// The scanner attached: presets, sliders, Default/Custom, film size, hot-plug, the live picture.
#include "WindowFixture.h"

#include "capture/contract/CameraControls.h"
#include "capture/engine/Letterbox.h"
#include "capture/runtime/CapturePlatform.h"
#include "controls/CCustomDrawSliderCtrl.h"
#include "controls/CXLabel.h"
#include "window/PreviewSurface.h"

#include <QLabel>
#include <QTest>
#include <QThread>

#include <utility>

namespace vistrel::test {
namespace {

struct SliderRow
{
    int sliderId;
    int valueId;
    int captionId;
    int family;
    int property;
};
// Saturation, Brightness, Contrast, Red, Green, Blue.
constexpr SliderRow kSliders[] = {
    {1002, 3012, 3028, 0, 3}, {1003, 3013, 3029, 0, 0}, {1004, 3014, 3030, 0, 1},
    {1005, 3015, 3031, 1, 0}, {1006, 3016, 3032, 1, 3}, {1007, 3017, 3033, 1, 1},
};
constexpr std::array<int, 6> kNegativeDefaults {63, 2, 70, 145, 110, 100};
constexpr std::array<int, 6> kSlideDefaults {45, 15, 45, 128, 128, 128};
constexpr std::array<int, 6> kBlackWhiteDefaults {0, -25, 50, 128, 128, 128};
constexpr int kFilmModeProperty = 2;   // camera control Roll

class ScannerTest : public WindowTest
{
protected:
    void OpenWithScanner()
    {
        scanner = AddScanner();
        Open();
        ASSERT_TRUE(window->IsScannerAttached());
    }
    CCustomDrawSliderCtrl* SliderOf(const SliderRow& row) const { return Get<CCustomDrawSliderCtrl>(row.sliderId); }
    std::optional<std::int32_t> DeviceValue(int family, int property) const
    {
        window->Engine().WaitForDevice();   // the scanner's queue sends after the handler returns
        return source->PropertyValue(scanner, family, property);
    }
    void ExpectAdjustments(const std::array<int, 6>& values)
    {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const SliderRow& row = kSliders[i];
            SCOPED_TRACE(row.sliderId);
            EXPECT_EQ(SliderOf(row)->value(), values[i]);
            EXPECT_EQ(TextOf(row.valueId), QString::number(values[i]));
            EXPECT_EQ(DeviceValue(row.family, row.property), values[i]);
        }
    }
    std::string scanner;
};

TEST_F(ScannerTest, AttachStartsInNegativeWithItsDefaults)
{
    OpenWithScanner();
    EXPECT_TRUE(IsChecked(IdNegative));
    EXPECT_FALSE(IsChecked(IdSlide));
    EXPECT_TRUE(IsChecked(IdDefault));
    EXPECT_FALSE(IsChecked(IdCustom));
    // The settings keep their own value until the next exchange.
    EXPECT_EQ(window->Settings().filmType, 0);
    ExpectAdjustments(kNegativeDefaults);
    EXPECT_EQ(DeviceValue(1, kFilmModeProperty), 1);
    for (const SliderRow& row : kSliders) {
        EXPECT_TRUE(IsEnabled(row.sliderId));
        EXPECT_TRUE(IsEnabled(row.captionId));
        EXPECT_TRUE(IsEnabled(row.valueId));
    }
    for (int id : {IdScan, IdSlide, IdFilm126, IdJpg, IdFirstThumbnail, IdStatus})
        EXPECT_TRUE(IsEnabled(id)) << id;
    EXPECT_TRUE(window->Control(IdNoScannerPicture)->isHidden());
    EXPECT_TRUE(window->Control(IdNoScannerText)->isHidden());
    EXPECT_TRUE(window->Engine().HasGraph());
}

// Through the video driver the film mode cannot be read or set: the greyed group shows the preset that
// was applied, never a value it did not read, and again after a replug.
TEST_F(ScannerTest, WithoutAFilmModeTheGreyedGroupShowsTheAppliedPreset)
{
    sim::ScannerFaults noFilmMode;
    noFilmMode.noFilmMode = true;
    scanner = AddScanner(noFilmMode);
    Open();
    ASSERT_TRUE(window->IsScannerAttached());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        for (int id : {IdSlide, IdNegative, IdBlackWhite})
            EXPECT_FALSE(IsEnabled(id)) << id;
        EXPECT_TRUE(IsChecked(IdNegative));
        EXPECT_FALSE(IsChecked(IdSlide));
        EXPECT_FALSE(IsChecked(IdBlackWhite));
        ExpectAdjustments(kNegativeDefaults);
        Unplug(scanner);
        Plug(scanner);
        ASSERT_TRUE(window->IsScannerAttached());
    }
}

// The simulated devices, with the scanner plugged in while the window's first search lists them:
// after the list was made, before the search has ended.
class ArrivingDuringSearch final : public IDeviceSource
{
public:
    ArrivingDuringSearch(std::shared_ptr<sim::SimulatedDeviceSource> inner, std::string arriving)
        : inner(std::move(inner)), arriving(std::move(arriving))
    {
    }
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) override
    {
        inner->AppendVideoInputDevices(devices);
        if (!arriving.empty())
            inner->Plug(std::exchange(arriving, std::string()));
    }
    void SetChangeSink(std::function<void(const DeviceChange&)> sink) override { inner->SetChangeSink(std::move(sink)); }

private:
    std::shared_ptr<sim::SimulatedDeviceSource> inner;
    std::string arriving;
};

TEST_F(ScannerTest, AScannerArrivingDuringTheFirstSearchIsNotMissed)
{
    scanner = AddScanner();
    source->Unplug(scanner);
    WindowServices services {chooser, opener, prompts};
    window = std::make_unique<CVistrelDlg>(
        MakeCapturePlatform({std::make_shared<ArrivingDuringSearch>(source, scanner)}), services);
    window->show();
    EXPECT_TRUE(WaitFor([this] { return window->IsScannerAttached(); }, 3000));
    EXPECT_TRUE(IsChecked(IdNegative));
}

TEST_F(ScannerTest, ScannerIsFoundBehindAnOrdinaryCamera)
{
    AddCamera();
    scanner = AddScanner();
    Open();
    EXPECT_TRUE(window->IsScannerAttached());
    EXPECT_EQ(window->Engine().ScannerPath(), scanner);
}

TEST_F(ScannerTest, CameraAloneLeavesTheNoScannerState)
{
    AddCamera();
    Open();
    EXPECT_FALSE(window->IsScannerAttached());
    EXPECT_FALSE(window->Control(IdNoScannerText)->isHidden());
}

TEST_F(ScannerTest, FilmTypeButtonsApplyTheirPresets)
{
    OpenWithScanner();
    Click(IdSlide);
    EXPECT_TRUE(IsChecked(IdSlide));
    EXPECT_TRUE(IsChecked(IdDefault));
    ExpectAdjustments(kSlideDefaults);
    EXPECT_EQ(DeviceValue(1, kFilmModeProperty), 0);
    EXPECT_EQ(DeviceValue(0, 5), 300);   // gamma

    Click(IdNegative);
    EXPECT_TRUE(IsChecked(IdNegative));
    ExpectAdjustments(kNegativeDefaults);
    EXPECT_EQ(DeviceValue(1, kFilmModeProperty), 1);
    EXPECT_EQ(DeviceValue(0, 5), 400);
}

TEST_F(ScannerTest, BlackAndWhiteLocksTheColourSlidersUntilAnotherFilmType)
{
    OpenWithScanner();
    Click(IdBlackWhite);
    EXPECT_TRUE(IsChecked(IdBlackWhite));
    EXPECT_EQ(window->Engine().FilmTypeValue(), 2);
    EXPECT_EQ(DeviceValue(1, kFilmModeProperty), 1);   // the device runs its negative mode
    for (const SliderRow& row : kSliders) {
        const bool colour = row.sliderId != 1003 && row.sliderId != 1004;
        for (int id : {row.sliderId, row.captionId, row.valueId})
            EXPECT_EQ(IsEnabled(id), !colour) << id;
    }
    EXPECT_EQ(SliderOf(kSliders[1])->value(), -25);
    EXPECT_EQ(DeviceValue(0, 3), 0);   // saturation sent before the lock

    // A still arriving meanwhile re-applies the enabling rule: the lock must hold.
    Deliver(JpegStill());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(IsEnabled(1002));
    EXPECT_FALSE(IsEnabled(3015));

    Click(IdSlide);
    for (const SliderRow& row : kSliders)
        EXPECT_TRUE(IsEnabled(row.sliderId)) << row.sliderId;
    ExpectAdjustments(kSlideDefaults);
}

TEST_F(ScannerTest, OnlyLinePageAndTrackScrollsSendTheValue)
{
    OpenWithScanner();
    const SliderRow& saturation = kSliders[0];
    auto* slider = SliderOf(saturation);
    const struct
    {
        int code;
        bool sent;
    } cases[] = {{0, true}, {1, true}, {2, true}, {3, true}, {4, false}, {5, true}, {6, false}, {7, false}, {8, false}};
    int position = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Click(IdDefault);   // back to the defaults
        ASSERT_TRUE(IsChecked(IdDefault));
        const auto before = DeviceValue(saturation.family, saturation.property);
        const QString labelBefore = TextOf(saturation.valueId);
        position += 3;
        {
            // Only the notification under test may reach the window.
            const QSignalBlocker quiet(slider);
            slider->setSliderPosition(position);
        }
        emit slider->Scroll(c.code, position);
        if (c.sent) {
            EXPECT_EQ(DeviceValue(saturation.family, saturation.property), position);
            EXPECT_EQ(TextOf(saturation.valueId), QString::number(position));
            EXPECT_TRUE(IsChecked(IdCustom));
            EXPECT_FALSE(IsChecked(IdDefault));
        } else {
            EXPECT_EQ(DeviceValue(saturation.family, saturation.property), before);
            EXPECT_EQ(TextOf(saturation.valueId), labelBefore);
            EXPECT_TRUE(IsChecked(IdDefault));
        }
    }
}

TEST_F(ScannerTest, HomeMovesWithoutSendingAndTheNextStepSendsThePosition)
{
    OpenWithScanner();
    const SliderRow& red = kSliders[3];
    auto* slider = SliderOf(red);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(slider->value(), slider->minimum());
    EXPECT_EQ(DeviceValue(red.family, red.property), 145);
    EXPECT_TRUE(IsChecked(IdDefault));
    QTest::keyClick(slider, Qt::Key_Right);
    const int moved = slider->value();
    EXPECT_NE(moved, 145);
    EXPECT_EQ(DeviceValue(red.family, red.property), moved);
    EXPECT_EQ(TextOf(red.valueId), QString::number(moved));
    EXPECT_TRUE(IsChecked(IdCustom));
}

TEST_F(ScannerTest, CustomIsOnlyAnIndicatorAndDefaultRestores)
{
    OpenWithScanner();
    const SliderRow& contrast = kSliders[2];
    auto* slider = SliderOf(contrast);
    slider->setSliderPosition(20);
    emit slider->Scroll(CCustomDrawSliderCtrl::ThumbTrack, 20);
    ASSERT_TRUE(IsChecked(IdCustom));

    Click(IdCustom);
    EXPECT_TRUE(IsChecked(IdDefault));
    EXPECT_FALSE(IsChecked(IdCustom));
    EXPECT_EQ(slider->value(), 20);
    EXPECT_EQ(DeviceValue(contrast.family, contrast.property), 20);

    Click(IdDefault);
    EXPECT_TRUE(IsChecked(IdDefault));
    ExpectAdjustments(kNegativeDefaults);
    EXPECT_EQ(DeviceValue(1, kFilmModeProperty), 1);   // the film mode is not touched
}

TEST_F(ScannerTest, FilmSizeRestartsCaptureWithSquareFormats)
{
    OpenWithScanner();
    const StillFormat before = window->Engine().CurrentStillFormat();
    EXPECT_NE(before.width, before.height);
    Click(IdFilm126);
    EXPECT_EQ(window->Settings().filmSize, 1);
    EXPECT_EQ(window->CurrentFilmSize(), 1);
    const StillFormat square = window->Engine().CurrentStillFormat();
    EXPECT_EQ(square.width, square.height);
    EXPECT_TRUE(window->Engine().HasGraph());
    // The resolution only records the choice.
    Click(IdHigh);
    EXPECT_EQ(window->Settings().resolution, 1);
    EXPECT_EQ(window->Engine().CurrentStillFormat().width, square.width);
}

TEST_F(ScannerTest, RemovalDetachesOnlyTheAttachedScanner)
{
    const std::string camera = AddCamera();
    OpenWithScanner();
    ASSERT_TRUE(WaitFor([this] { return window->Surface().LatestFrame() != nullptr; }));
    Click(IdSlide);

    Unplug(camera);
    EXPECT_TRUE(window->IsScannerAttached());
    // Another interface class with the scanner's name, and another event: nothing.
    window->OnDeviceChange(DeviceChange {DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_AUDIO, scanner});
    window->OnDeviceChange(DeviceChange {0x8003, KSCATEGORY_CAPTURE, scanner});
    EXPECT_TRUE(window->IsScannerAttached());

    // The same path in other letters is the same device.
    window->OnDeviceChange(DeviceChange {DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, QString::fromStdString(scanner).toUpper().toStdString()});
    EXPECT_FALSE(window->IsScannerAttached());
    EXPECT_FALSE(window->Engine().HasGraph());
    // No live frame is left behind in the preview.
    EXPECT_FALSE(window->Surface().Placement().visible);
    EXPECT_EQ(window->Surface().LatestFrame(), nullptr);
    EXPECT_FALSE(window->Control(IdNoScannerText)->isHidden());
    EXPECT_FALSE(window->Control(IdNoScannerPicture)->isHidden());
    for (int id : std::initializer_list<int>{IdScan, 1002, IdSlide, IdFirstThumbnail})
        EXPECT_FALSE(IsEnabled(id)) << id;
    EXPECT_TRUE(IsEnabled(IdBrowse));
}

TEST_F(ScannerTest, UnplugAndReplugAttachesAgainInNegative)
{
    OpenWithScanner();
    Click(IdSlide);
    ASSERT_TRUE(IsChecked(IdSlide));
    Unplug(scanner);
    ASSERT_FALSE(window->IsScannerAttached());
    Plug(scanner);
    ASSERT_TRUE(window->IsScannerAttached());
    EXPECT_TRUE(IsChecked(IdNegative));
    ExpectAdjustments(kNegativeDefaults);
}

TEST_F(ScannerTest, SecondScannerIsIgnoredWhileOneIsAttached)
{
    OpenWithScanner();
    const std::string second = AddScanner();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window->Engine().ScannerPath(), scanner);
    // Unplugging the first does not pick up the second: only an arrival searches.
    Unplug(scanner);
    EXPECT_FALSE(window->IsScannerAttached());
}

TEST_F(ScannerTest, BusyDeviceIsReportedOnceAndStaysAttached)
{
    sim::ScannerFaults busy;
    busy.busy = true;
    scanner = AddScanner(busy);
    Open();
    // Told once the attach has returned, not from inside the start of capture.
    ASSERT_TRUE(WaitFor([this] { return !prompts->messages.empty(); }));
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, QStringLiteral("Device is locked by another application"));
    EXPECT_EQ(prompts->messages[0].caption, QStringLiteral("ERROR"));
    EXPECT_TRUE(window->IsScannerAttached());
    EXPECT_TRUE(IsEnabled(IdScan));
}

TEST_F(ScannerTest, AHiddenWindowDecodesNoLiveFramesAndShowsTheNewestWhenShownAgain)
{
    OpenWithScanner();
    ASSERT_TRUE(WaitFor([this] { return window->Surface().PaintedFrames() > 0; }));
    window->hide();
    // A frame already being decoded still arrives; after it only undecoded ones wait.
    ASSERT_TRUE(WaitFor([this] { return window->Surface().HasPendingFrame(); }));
    const auto decoded = window->Surface().LatestFrame();
    const std::uint64_t painted = window->Surface().PaintedFrames();
    QTest::qWait(500);
    EXPECT_EQ(window->Surface().LatestFrame(), decoded) << "a frame was decoded for a hidden window";
    EXPECT_EQ(window->Surface().PaintedFrames(), painted);

    window->show();
    ASSERT_TRUE(WaitFor([&] { return window->Surface().PaintedFrames() > painted; }));
    ASSERT_NE(window->Surface().LatestFrame(), nullptr);
    EXPECT_GT(window->Surface().LatestFrame()->sequence, decoded ? decoded->sequence : 0);
}

TEST_F(ScannerTest, LivePictureIsLetterboxedIntoThePreviewArea)
{
    OpenWithScanner();
    ASSERT_TRUE(WaitFor([this] { return window->Surface().LatestFrame() != nullptr; }));
    const auto frame = window->Surface().LatestFrame();
    const VideoPlacement placement = window->Surface().Placement();
    EXPECT_TRUE(placement.visible);
    std::int32_t cw = 0;
    std::int32_t ch = 0;
    window->PreviewArea(&cw, &ch);
    EXPECT_EQ(QSize(cw, ch), window->Control(IdPreview)->size());
    const PreviewRect expected = LetterboxRect(cw, ch, frame->width, frame->height);
    EXPECT_EQ(placement.left, expected.left);
    EXPECT_EQ(placement.top, expected.top);
    EXPECT_EQ(placement.width, expected.width);
    EXPECT_EQ(placement.height, expected.height);

    // Growing the window fits the picture again.
    window->resize(window->size() + QSize(300, 0));
    const VideoPlacement wider = window->Surface().Placement();
    const PreviewRect refit = LetterboxRect(cw + 300, ch, frame->width, frame->height);
    EXPECT_EQ(wider.left, refit.left);
    EXPECT_EQ(wider.width, refit.width);

    // The picture shows: the middle of the preview is neither black nor the window's grey.
    ASSERT_TRUE(WaitFor([this] { return window->Surface().PaintedFrames() > 0; }));
    const QImage shot = window->Control(IdPreview)->grab().toImage();
    const QRgb middle = shot.pixel(shot.width() / 2, shot.height() / 3);
    EXPECT_NE(middle, qRgb(0, 0, 0));
}

// A scanner slow to answer its control requests: a drag moves the slider, its value and Custom at
// once, the scanner gets the latest value afterwards, and a value it refuses comes back to the window
// on its own thread, with nothing shown to the user.
TEST_F(ScannerTest, ASlowScannerNeitherHoldsTheDragNorHidesARefusal)
{
    constexpr std::uint32_t kSlowScannerMs = 1500;
    OpenWithScanner();
    window->Engine().WaitForDevice();
    sim::ScannerFaults faults = source->Faults(scanner);
    faults.controlLatencyMs = kSlowScannerMs;
    source->SetFaults(scanner, faults);

    std::vector<DeviceRequestFailure> heard;
    QThread* heardOn = nullptr;
    QObject::connect(window.get(), &CVistrelDlg::DeviceRequestFailed, window.get(),
                     [&](const DeviceRequestFailure& failure) {
                         heard.push_back(failure);
                         heardOn = QThread::currentThread();
                     });

    const SliderRow& brightness = kSliders[1];
    for (int position : {10, 11, 12}) {
        SliderOf(brightness)->setSliderPosition(position);
        window->OnSliderScroll(brightness.sliderId, CCustomDrawSliderCtrl::ThumbTrack);
    }
    EXPECT_EQ(TextOf(brightness.valueId), QStringLiteral("12"));
    EXPECT_TRUE(IsChecked(IdCustom));
    EXPECT_EQ(source->PropertyValue(scanner, brightness.family, brightness.property), 2)
        << "the handler returned before the scanner answered";
    EXPECT_EQ(DeviceValue(brightness.family, brightness.property), 12);

    faults.controlLatencyMs = 0;
    source->SetFaults(scanner, faults);
    CameraProperty& slot = window->Engine().Property(brightness.family, brightness.property);
    slot.value = 100000;
    window->Engine().SetCameraProperty(slot);
    QTRY_COMPARE(heard.size(), std::size_t(1));
    EXPECT_EQ(heardOn, window->thread());
    EXPECT_EQ(heard[0].kind, DeviceRequestFailure::Kind::Property);
    EXPECT_EQ(heard[0].family, brightness.family);
    EXPECT_EQ(heard[0].index, brightness.property);
    EXPECT_TRUE(prompts->messages.empty());
}

} // namespace
} // namespace vistrel::test
