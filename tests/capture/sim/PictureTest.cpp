// The picture the simulated scanner produces: the negative, its inversion, and every adjustment.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "RunningDevice.h"
#include "capture/sim/PictureFile.h"
#include "capture/sim/SyntheticScene.h"

namespace vistrel::sim::test {
namespace {

constexpr int kProcAmp = 0, kCameraControl = 1;

Colour At(const RgbImage& image, const PixelRect& r)
{
    return Sample(image, r.CentreX(), r.CentreY(), std::min(3, r.width / 3));
}
Colour Patch(const RgbImage& image, ScenePatch patch)
{
    return At(image, SyntheticScene::PatchRect(patch, image.width, image.height));
}
Colour Grey(const RgbImage& image, int step)
{
    return At(image, SyntheticScene::GreyStepRect(step, image.width, image.height));
}

// Positive picture: primaries where they belong, a ramp rising to the right, the sun top left.
void ExpectPositive(const RgbImage& image)
{
    const Colour red = Patch(image, ScenePatch::Red), green = Patch(image, ScenePatch::Green),
                 blue = Patch(image, ScenePatch::Blue);
    EXPECT_GT(red.r, 2 * red.g);
    EXPECT_GT(red.r, 2 * red.b);
    EXPECT_GT(green.g, green.r + 40);
    EXPECT_GT(green.g, green.b + 40);
    EXPECT_GT(blue.b, blue.r + 40);
    EXPECT_GT(blue.b, blue.g + 40);
    const Colour dark = Grey(image, 1), light = Grey(image, 6);
    EXPECT_GT(light.r, dark.r + 60);
    EXPECT_GT(light.g, dark.g + 60);
    EXPECT_GT(light.b, dark.b + 60);
    const Colour sun = At(image, SyntheticScene::SunRect(image.width, image.height));
    EXPECT_GT(sun.r, sun.b + 60) << "the yellow sun in the top left corner";
    EXPECT_GT(sun.g, sun.b + 40);
}

TEST(ScannerPicture, FilmModeOneInvertsTheNegativeIntoAPositive)
{
    RunningDevice scanner;
    ASSERT_EQ(scanner.filter->Run(), S_OK);

    ASSERT_EQ(scanner.Set(kCameraControl, CameraControl_Roll, 1), S_OK);
    const RgbImage positive = scanner.Frame();
    ASSERT_EQ(positive.width, 1280);
    ASSERT_EQ(positive.height, 960);
    {
        SCOPED_TRACE("film mode 1");
        ExpectPositive(positive);
    }

    ASSERT_EQ(scanner.Set(kCameraControl, CameraControl_Roll, 0), S_OK);
    const RgbImage negative = scanner.Frame();
    const Colour red = Patch(negative, ScenePatch::Red);
    EXPECT_LT(red.r, red.g) << "red shows as its complement on the negative";
    const Colour black = Grey(negative, 0), white = Grey(negative, 7);
    EXPECT_GT(black.r, white.r + 60) << "the ramp runs the other way";
    EXPECT_GT(black.r, black.g + 30) << "unexposed film shows the orange base";
    EXPECT_GT(black.g, black.b + 20);
}

TEST(ScannerPicture, NegativePresetGainsCancelTheInversionCast)
{
    RunningDevice scanner;
    ASSERT_EQ(scanner.filter->Run(), S_OK);
    ASSERT_EQ(scanner.Set(kCameraControl, CameraControl_Roll, 1), S_OK);
    const Colour castGrey = Grey(scanner.Frame(), 4);
    EXPECT_GT(castGrey.b, castGrey.r + 20) << "inversion alone leaves a cyan-blue cast";

    const std::tuple<int, std::int32_t, std::int32_t> negativePreset[] = {
        {kProcAmp, VideoProcAmp_Saturation, 63},  {kProcAmp, VideoProcAmp_Brightness, 2},
        {kProcAmp, VideoProcAmp_Contrast, 70},    {kCameraControl, CameraControl_Pan, 145},
        {kCameraControl, CameraControl_Zoom, 110}, {kCameraControl, CameraControl_Tilt, 100},
        {kProcAmp, VideoProcAmp_Gamma, 400},
    };
    for (auto [family, property, value] : negativePreset)
        ASSERT_EQ(scanner.Set(family, property, value), S_OK);
    const RgbImage frame = scanner.Frame();
    for (int step = 1; step < SyntheticScene::kGreySteps - 1; ++step) {
        const Colour g = Grey(frame, step);
        EXPECT_NEAR(g.r, g.g, 6) << "step " << step;
        EXPECT_NEAR(g.g, g.b, 6) << "step " << step;
    }
    ExpectPositive(frame);
}

// Every slider and preset value visibly changes the live picture in its own direction.
struct SliderCase {
    const char* name;
    int family;
    std::int32_t property;
    std::int32_t value;
    std::function<void(const RgbImage& before, const RgbImage& after)> check;
};

TEST(ScannerPicture, EveryAdjustmentMovesThePictureItsOwnWay)
{
    auto brighter = [](int step) {
        return [step](const RgbImage& b, const RgbImage& a) {
            EXPECT_GT(Grey(a, step).g, Grey(b, step).g + 10);
        };
    };
    auto darker = [](int step) {
        return [step](const RgbImage& b, const RgbImage& a) {
            EXPECT_LT(Grey(a, step).g, Grey(b, step).g - 10);
        };
    };
    // Only the named channel of a grey moves.
    auto channelUp = [](int Colour::*channel) {
        return [channel](const RgbImage& b, const RgbImage& a) {
            const Colour before = Grey(b, 4), after = Grey(a, 4);
            for (int Colour::*c : {&Colour::r, &Colour::g, &Colour::b}) {
                if (c == channel)
                    EXPECT_GT(after.*c, before.*c + 20);
                else
                    EXPECT_NEAR(after.*c, before.*c, 2);
            }
        };
    };
    const SliderCase cases[] = {
        {"brightness up", kProcAmp, VideoProcAmp_Brightness, 40, brighter(3)},
        {"brightness down", kProcAmp, VideoProcAmp_Brightness, -40, darker(3)},
        {"contrast up", kProcAmp, VideoProcAmp_Contrast, 100,
         [&](const RgbImage& b, const RgbImage& a) {
             brighter(6)(b, a);
             darker(1)(b, a);
         }},
        {"contrast down", kProcAmp, VideoProcAmp_Contrast, 0, darker(6)},
        {"saturation off", kProcAmp, VideoProcAmp_Saturation, 0,
         [](const RgbImage&, const RgbImage& a) {
             const Colour red = Patch(a, ScenePatch::Red);
             EXPECT_NEAR(red.r, red.g, 3);
             EXPECT_NEAR(red.g, red.b, 3);
         }},
        {"saturation up", kProcAmp, VideoProcAmp_Saturation, 100,
         [](const RgbImage& b, const RgbImage& a) {
             const Colour before = Patch(b, ScenePatch::Green), after = Patch(a, ScenePatch::Green);
             EXPECT_GT(after.g - after.r, before.g - before.r + 20);
         }},
        {"gamma up", kProcAmp, VideoProcAmp_Gamma, 500, brighter(3)},
        {"gamma down", kProcAmp, VideoProcAmp_Gamma, 100, darker(3)},
        {"red", kCameraControl, CameraControl_Pan, 220, channelUp(&Colour::r)},
        {"green", kCameraControl, CameraControl_Zoom, 220, channelUp(&Colour::g)},
        {"blue", kCameraControl, CameraControl_Tilt, 220, channelUp(&Colour::b)},
    };

    RunningDevice scanner;
    ASSERT_EQ(scanner.filter->Run(), S_OK);
    ASSERT_EQ(scanner.Set(kCameraControl, CameraControl_Roll, 1), S_OK);
    const RgbImage before = scanner.Frame();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::int32_t min, max, step, def, caps;
        auto& family = c.family == kProcAmp ? static_cast<IAMPropertyFamily&>(*scanner.filter->QueryVideoProcAmp())
                                            : *scanner.filter->QueryCameraControl();
        ASSERT_EQ(family.GetRange(c.property, &min, &max, &step, &def, &caps), S_OK);
        ASSERT_EQ(scanner.Set(c.family, c.property, c.value), S_OK);
        c.check(before, scanner.Frame());
        ASSERT_EQ(scanner.Set(c.family, c.property, def), S_OK);
    }
}

TEST(ScannerPicture, StillsAreJpegFilesOfTheStillFormatDeliveredOnTheStreamingThread)
{
    for (auto [w, h] : {std::pair {2592, 1944}, {2448, 2448}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        RunningDevice scanner({}, {w, h});
        ASSERT_EQ(scanner.filter->Run(), S_OK);
        ASSERT_EQ(scanner.Set(kCameraControl, CameraControl_Roll, 1), S_OK);
        ASSERT_EQ(scanner.Trigger(), S_OK);
        ASSERT_TRUE(scanner.stills->WaitForCount(1));
        const Received still = scanner.stills->Latest();
        EXPECT_NE(still.thread, std::this_thread::get_id());
        EXPECT_EQ(still.type.subType, MEDIASUBTYPE_MJPG);
        ASSERT_GE(still.bytes.size(), 4u);
        EXPECT_EQ(still.bytes[0], 0xFF);
        EXPECT_EQ(still.bytes[1], 0xD8);
        EXPECT_EQ(still.bytes[still.bytes.size() - 2], 0xFF) << "a complete file ends with EOI";
        EXPECT_EQ(still.bytes.back(), 0xD9);
        const auto image = DecodeJpeg(still.bytes);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, w);
        EXPECT_EQ(image->height, h);
        ExpectPositive(*image);
    }
}

class PictureFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A fresh folder of the system's temporary ones, on Windows as on Linux.
        folder = std::filesystem::temp_directory_path() /
                 ("vistrel-sim-picture-" + std::to_string(std::random_device {}()));
        ASSERT_TRUE(std::filesystem::create_directory(folder));
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // Left half red, right half blue.
    static RgbImage Halves(std::int32_t w, std::int32_t h)
    {
        RgbImage image(w, h);
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x) {
                auto* p = image.Row(y) + 3 * x;
                p[0] = x < w / 2 ? 210 : 20;
                p[2] = x < w / 2 ? 20 : 210;
                p[1] = 25;
            }
        return image;
    }
    void ExpectHalvesInLiveFrame(const std::string& file)
    {
        DeviceOptions options;
        options.imageFile = file;
        RunningDevice scanner(options);
        ASSERT_EQ(scanner.filter->Run(), S_OK);
        ASSERT_EQ(scanner.Set(kCameraControl, CameraControl_Roll, 1), S_OK);
        const RgbImage frame = scanner.Frame();
        const Colour left = Sample(frame, frame.width / 4, frame.height / 2), right = Sample(frame, 3 * frame.width / 4, frame.height / 2);
        EXPECT_GT(left.r, left.b + 60);
        EXPECT_GT(right.b, right.r + 60);
    }
    std::filesystem::path folder;
};

TEST_F(PictureFileTest, AJpegFileReplacesTheBuiltInScene)
{
    const RgbImage picture = Halves(64, 48);
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(handle, picture.pixels.data(), 64, 0, 48, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0), 0);
    const auto file = folder / "halves.jpg";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(jpeg), std::streamsize(size));
    tjFree(jpeg);
    tjDestroy(handle);
    ExpectHalvesInLiveFrame(file.string());
}

TEST_F(PictureFileTest, ABinaryPpmFileReplacesTheBuiltInScene)
{
    const RgbImage picture = Halves(40, 30);
    const auto file = folder / "halves.ppm";
    {
        std::ofstream out(file, std::ios::binary);
        out << "P6\n# made by the test\n40 30\n255\n";
        out.write(reinterpret_cast<const char*>(picture.pixels.data()), std::streamsize(picture.pixels.size()));
    }
    ExpectHalvesInLiveFrame(file.string());
}

TEST_F(PictureFileTest, AnUnreadableFileSaysWhatIsWrong)
{
    // A small JPEG whose frame header claims 20000 x 20000.
    const RgbImage picture = Halves(16, 16);
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(handle, picture.pixels.data(), 16, 0, 16, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0), 0);
    std::string bigJpeg(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    tjDestroy(handle);
    const auto frameHeader = bigJpeg.find("\xFF\xC0");
    ASSERT_NE(frameHeader, std::string::npos);
    bigJpeg.replace(frameHeader + 5, 4, "\x4E\x20\x4E\x20");
    struct Case { const char* name; std::string bytes; const char* error; };
    const Case cases[] = {
        {"tables.jpg", "\xFF\xD8\xFF\xD9", "no picture in the JPEG file"},
        {"huge.jpg", bigJpeg, "picture too large"},
        {"short.ppm", "P6\n4000 3000\n255\nabc", "truncated PPM data"},
        {"text.txt", "hello", "not a JPEG or binary PPM file"},
    };
    for (const Case& c : cases) {
        const auto file = (folder / c.name).string();
        std::ofstream(file, std::ios::binary) << c.bytes;
        std::string error;
        EXPECT_FALSE(LoadPictureFile(file, &error)) << c.name;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.name << ": " << error;
    }
}

TEST_F(PictureFileTest, AFolderOrADeviceIsRefusedUnread)
{
    for (const std::string path : {folder.string(), std::string("/dev/zero")}) {
        std::string error;
        std::optional<RgbImage> picture;
        EXPECT_NO_THROW(picture = LoadPictureFile(path, &error)) << path;
        EXPECT_FALSE(picture) << path;
        EXPECT_EQ(error.rfind("not a regular file", 0), 0u) << path << ": " << error;
    }
}

TEST_F(PictureFileTest, AnUnreadableFileFallsBackToTheBuiltInScene)
{
    const auto truncated = folder / "truncated.ppm";
    std::ofstream(truncated, std::ios::binary) << "P6\n4000 3000\n255\nabc";
    for (const auto& file : {(folder / "missing.jpg").string(), truncated.string()}) {
        SCOPED_TRACE(file);
        DeviceOptions options;
        options.imageFile = file;
        RunningDevice scanner(options);
        ASSERT_EQ(scanner.filter->Run(), S_OK);
        ASSERT_EQ(scanner.Set(kCameraControl, CameraControl_Roll, 1), S_OK);
        ExpectPositive(scanner.Frame());
    }
}

} // namespace
} // namespace vistrel::sim::test
