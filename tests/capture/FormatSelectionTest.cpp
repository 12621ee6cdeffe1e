#include <gtest/gtest.h>

#include <optional>

#include "SimRig.h"
#include "support/CaseName.h"
#include "capture/engine/FormatSelection.h"

namespace vistrel::test {
namespace {

using test::PrintTo; // cases print as their names

struct Format {
    std::int32_t width;
    std::int32_t height;
    enum Kind { VideoInfo, VideoInfo2, ShortVideoInfo } kind = VideoInfo;
};

MediaType MakeType(const Format& f)
{
    MediaType type = MakeVideoInfoType(MEDIASUBTYPE_MJPG, f.width, f.height);
    if (f.kind == Format::VideoInfo2)
        type.formatType = FORMAT_VideoInfo2;
    if (f.kind == Format::ShortVideoInfo)
        type.formatBlock.resize(kVideoInfoHeaderSize - 1);
    return type;
}

// A pin's format list; remembers what was set.
class FormatList : public IAMStreamConfig {
public:
    explicit FormatList(std::vector<Format> formats) : formats(std::move(formats)) {}
    HRESULT GetNumberOfCapabilities(std::int32_t* count, std::int32_t* capsSize) override
    {
        *count = static_cast<std::int32_t>(formats.size());
        *capsSize = 128;
        return S_OK;
    }
    HRESULT GetStreamCaps(std::int32_t index, MediaType* type, std::uint8_t* caps) override
    {
        std::fill(caps, caps + 128, std::uint8_t {0xCD});
        *type = MakeType(formats.at(static_cast<std::size_t>(index)));
        return S_OK;
    }
    HRESULT SetFormat(const MediaType& type) override
    {
        std::int32_t w = 0, h = 0;
        ReadVideoInfoSize(type, w, h);
        chosen = Format {w, h};
        return S_OK;
    }
    HRESULT GetFormat(MediaType*) override { return E_NOTIMPL; }

    std::vector<Format> formats;
    std::optional<Format> chosen;
};

struct SelectionCase {
    const char* name;
    std::int32_t filmSize;
    PinRole role;
    std::vector<Format> formats;
    std::optional<std::pair<int, int>> expected;
};

class SelectionTable : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(SelectionTable, SetsTheFirstFormatThatPasses)
{
    const SelectionCase& c = GetParam();
    FormatList list(c.formats);
    ::testing::internal::CaptureStdout();
    SelectPinFormat(&list, c.filmSize, c.role);
    const std::string out = ::testing::internal::GetCapturedStdout();

    ASSERT_EQ(list.chosen.has_value(), c.expected.has_value());
    if (c.expected) {
        EXPECT_EQ(list.chosen->width, c.expected->first);
        EXPECT_EQ(list.chosen->height, c.expected->second);
    }
    EXPECT_EQ(out, "") << "only a short VideoInfo block is reported";
}

using P = PinRole;
INSTANTIATE_TEST_SUITE_P(
    Formats, SelectionTable,
    ::testing::Values(
        SelectionCase {"Film135CaptureTakesFirstNarrow", 0, P::Capture, {{640, 480}, {1280, 1024}, {2592, 1944}}, {{640, 480}}},
        SelectionCase {"Film135StillTakesFirstWide", 0, P::Still, {{1280, 1024}, {4000, 3000}}, {{4000, 3000}}},
        SelectionCase {"Film126CaptureTakesSquare", 1, P::Capture, {{1920, 1080}, {2000, 2000}}, {{2000, 2000}}},
        SelectionCase {"Film126StillTakesSquare", 1, P::Still, {{1920, 1080}, {2000, 2000}}, {{2000, 2000}}},
        SelectionCase {"Film135SkipsSquareForCapture", 0, P::Capture, {{960, 960}, {1280, 960}}, {{1280, 960}}},
        SelectionCase {"Film135SkipsSquareForStill", 0, P::Still, {{2448, 2448}, {2592, 1944}}, {{2592, 1944}}},
        SelectionCase {"Exactly1500IsNeitherCapture", 0, P::Capture, {{1500, 1000}}, std::nullopt},
        SelectionCase {"Exactly1500IsNeitherStill", 0, P::Still, {{1500, 1000}}, std::nullopt},
        SelectionCase {"Film126WithoutSquare", 1, P::Still, {{1920, 1080}, {640, 480}}, std::nullopt},
        SelectionCase {"UnknownFilmSize", 2, P::Capture, {{640, 480}, {960, 960}}, std::nullopt},
        SelectionCase {"VideoInfo2OnlyChoosesNothing", 0, P::Capture,
                       {{640, 480, Format::VideoInfo2}, {800, 600, Format::VideoInfo2}}, std::nullopt},
        SelectionCase {"VideoInfo2IsSkippedSilently", 1, P::Capture,
                       {{960, 960, Format::VideoInfo2}, {720, 720}}, {{720, 720}}},
        SelectionCase {"EmptyList", 0, P::Capture, {}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormatSelection, ReportsEachShortVideoInfoBlockWithItsIndexAndSkipsIt)
{
    FormatList list({{960, 960, Format::VideoInfo2}, {640, 480, Format::ShortVideoInfo}, {700, 500, Format::ShortVideoInfo},
                     {800, 600}});
    ::testing::internal::CaptureStdout();
    SelectPinFormat(&list, 0, PinRole::Capture);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[1] not FORMAT_VideoInfo\n[2] not FORMAT_VideoInfo\n");
    ASSERT_TRUE(list.chosen);
    EXPECT_EQ(list.chosen->width, 800);
}

TEST(FormatSelection, StopsReportingOnceAFormatIsChosen)
{
    FormatList list({{640, 480}, {700, 500, Format::ShortVideoInfo}});
    ::testing::internal::CaptureStdout();
    SelectPinFormat(&list, 0, PinRole::Capture);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

struct FilmSizeCase {
    std::int32_t filmSize;
    std::pair<int, int> capture;
    std::pair<int, int> still;
};

// The simulated scanner offers both kinds on both pins; the film size decides what runs.
TEST(FormatSelection, FilmSizeChoosesTheScannersCaptureAndStillFormats)
{
    const FilmSizeCase cases[] = {
        {0, {1280, 960}, {2592, 1944}},
        {1, {960, 960}, {2448, 2448}},
    };
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    ASSERT_TRUE(rig.Attach());
    for (const auto& c : cases) {
        rig.host.filmSize = c.filmSize;
        rig.engine.StopCapture();
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(rig.engine.StartCapture(), S_OK);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(rig.engine.CurrentStillFormat().width, c.still.first);
        EXPECT_EQ(rig.engine.CurrentStillFormat().height, c.still.second);

        MediaType current;
        std::vector<std::shared_ptr<IPin>> pins;
        rig.engine.ScannerFilter()->EnumPins(&pins);
        ASSERT_FALSE(pins.empty());
        ASSERT_EQ(pins[0]->ConnectionMediaType(&current), S_OK);
        std::int32_t w = 0, h = 0;
        ASSERT_TRUE(ReadVideoInfoSize(current, w, h));
        EXPECT_EQ(std::make_pair(int(w), int(h)), c.capture) << "film size " << c.filmSize;
        ASSERT_TRUE(rig.host.surface.WaitForFrames(rig.host.surface.Presented() + 1));
    }
}

TEST(FormatSelection, StillFormatWithoutAStillPinFailsTheStartAndKeepsTheOldSize)
{
    SimRig rig;
    const std::string path = rig.Add(DeviceKind::Scanner);
    ASSERT_TRUE(rig.Attach());
    EXPECT_EQ(rig.engine.CurrentStillFormat().width, 2592);

    ScannerFaults faults;
    faults.noStillPin = true;
    rig.source->SetFaults(path, faults);
    rig.host.filmSize = 1;
    EXPECT_EQ(rig.engine.StartCapture(), E_FAIL);
    EXPECT_EQ(rig.engine.CurrentStillFormat().width, 2592);
    EXPECT_TRUE(rig.engine.HasGraph());
}

} // namespace
} // namespace vistrel::test
