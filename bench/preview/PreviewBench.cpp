// Live preview: one MJPEG camera frame through the video renderer to a letterboxed frame of the
// preview's size, against a plain libjpeg-turbo decode of the same frame at the same DCT scale,
// measured in the same run. Then a slow consumer: frames presented versus produced, and memory.
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/engine/Letterbox.h"
#include "capture/runtime/FrameConverter.h"
#include "capture/runtime/LatestFrameMailbox.h"
#include "capture/runtime/VideoRenderer.h"

using namespace vistrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFrameWidth = 1280;
constexpr int kFrameHeight = 960;
constexpr int kPreviewWidth = 720;
constexpr int kPreviewHeight = 486;
constexpr int kRounds = 300;

// A film-scanner-like test card: smooth gradients, colour patches and fine detail, so the JPEG
// carries a realistic amount of entropy.
std::vector<std::uint8_t> TestCard(int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            const double u = double(x) / width, v = double(y) / height;
            const int patch = (x / 80 + y / 80) % 6;
            const bool inPatch = y > height * 3 / 4;
            p[0] = std::uint8_t(inPatch ? (patch & 1) * 220 : 255 * u);
            p[1] = std::uint8_t(inPatch ? (patch & 2) * 110 : 255 * v);
            p[2] = std::uint8_t(inPatch ? (patch & 4) * 55 : 128 + 100 * std::sin((x * x + y * y) * 0.0005));
        }
    return rgb;
}

std::vector<std::uint8_t> EncodeJpeg(const std::vector<std::uint8_t>& rgb, int width, int height)
{
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_422, 85, 0);
    std::vector<std::uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// The window's side: keeps only the latest frame, and knows how many frames are still alive.
class BenchSurface : public IVideoSurface {
public:
    void PlacementChanged(const VideoPlacement&) override {}
    void PresentFrame(std::shared_ptr<const VideoFrame> frame) override
    {
        {
            std::lock_guard lock(mutex);
            // Distinct frames still held by anyone (the renderer reuses its frames).
            std::erase_if(alive, [](const auto& w) { return w.expired(); });
            const bool known = std::any_of(alive.begin(), alive.end(),
                                           [&](const auto& w) { return w.lock() == frame; });
            if (!known)
                alive.push_back(frame);
            maxAlive = std::max(maxAlive, alive.size());
        }
        mailbox.Post(std::move(frame));
    }
    LatestFrameMailbox<std::shared_ptr<const VideoFrame>> mailbox;
    std::mutex mutex;
    std::vector<std::weak_ptr<const VideoFrame>> alive;
    std::size_t maxAlive = 0;
};

} // namespace

int main()
{
    const auto rgb = TestCard(kFrameWidth, kFrameHeight);
    const auto jpeg = EncodeJpeg(rgb, kFrameWidth, kFrameHeight);
    const MediaType type = MakeVideoInfoType(MEDIASUBTYPE_MJPG, kFrameWidth, kFrameHeight);
    const PreviewRect place = LetterboxRect(kPreviewWidth, kPreviewHeight, kFrameWidth, kFrameHeight);
    const int numerator = FrameConverter::ScaleNumeratorFor(kFrameWidth, kFrameHeight, place.width, place.height);
    const int scaledWidth = (kFrameWidth * numerator + 7) / 8;
    const int scaledHeight = (kFrameHeight * numerator + 7) / 8;

    std::printf("frame: MJPEG %dx%d, %zu bytes (4:2:2, quality 85)\n", kFrameWidth, kFrameHeight, jpeg.size());
    std::printf("preview %dx%d -> picture %dx%d at (%d,%d); DCT scale %d/8 decodes %dx%d\n", kPreviewWidth,
                kPreviewHeight, place.width, place.height, place.left, place.top, numerator, scaledWidth, scaledHeight);

    auto renderer = VideoRenderer::Create();
    BenchSurface surface;
    renderer->put_Owner(&surface);
    renderer->SetWindowPosition(place.left, place.top, place.width, place.height);
    renderer->put_Visible(OATRUE);

    tjhandle plain = tjInitDecompress();
    std::vector<std::uint8_t> plainOut(static_cast<std::size_t>(scaledWidth) * scaledHeight * 4);
    std::vector<std::uint8_t> fullOut(static_cast<std::size_t>(kFrameWidth) * kFrameHeight * 4);
    const MediaType rgbType = MakeVideoInfoType(MEDIASUBTYPE_RGB32, kFrameWidth, kFrameHeight, 0, 32);
    std::vector<std::uint8_t> rgb32(static_cast<std::size_t>(kFrameWidth) * kFrameHeight * 4, 0x60);

    std::vector<double> rendererMs, plainMs, fullMs, rgbMs;
    MediaSample sample {jpeg.data(), static_cast<std::int32_t>(jpeg.size()), 0.0, &type};
    MediaSample rgbSample {rgb32.data(), static_cast<std::int32_t>(rgb32.size()), 0.0, &rgbType};
    for (int warm = 0; warm < 10; ++warm) {
        renderer->Render(sample);
        tjDecompress2(plain, jpeg.data(), jpeg.size(), plainOut.data(), scaledWidth, 0, scaledHeight, TJPF_BGRX, 0);
    }
    // Interleaved, so that both see the same machine load.
    for (int round = 0; round < kRounds; ++round) {
        auto t0 = Clock::now();
        renderer->Render(sample);
        auto t1 = Clock::now();
        tjDecompress2(plain, jpeg.data(), jpeg.size(), plainOut.data(), scaledWidth, 0, scaledHeight, TJPF_BGRX, 0);
        auto t2 = Clock::now();
        tjDecompress2(plain, jpeg.data(), jpeg.size(), fullOut.data(), kFrameWidth, 0, kFrameHeight, TJPF_BGRX, 0);
        auto t3 = Clock::now();
        renderer->Render(rgbSample);
        auto t4 = Clock::now();
        rendererMs.push_back(Ms(t1 - t0));
        plainMs.push_back(Ms(t2 - t1));
        fullMs.push_back(Ms(t3 - t2));
        rgbMs.push_back(Ms(t4 - t3));
    }
    surface.mailbox.Clear();
    const double rendererMedian = Median(rendererMs), plainMedian = Median(plainMs);
    std::printf("\nmedians over %d rounds (ms per frame):\n", kRounds);
    std::printf("  renderer: MJPEG -> %dx%d frame, presented        %7.2f\n", place.width, place.height, rendererMedian);
    std::printf("  plain libjpeg-turbo decode at %d/8 (%dx%d BGRX) %7.2f\n", numerator, scaledWidth, scaledHeight,
                plainMedian);
    std::printf("  plain libjpeg-turbo decode at full size          %7.2f\n", Median(fullMs));
    std::printf("  renderer: RGB32 %dx%d -> %dx%d (resample only)  %7.2f\n", kFrameWidth, kFrameHeight, place.width,
                place.height, Median(rgbMs));
    std::printf("  renderer / plain decode at the same scale: %.2f\n", rendererMedian / plainMedian);
    std::printf("  frames still to display per second at this cost: %.0f\n", 1000.0 / rendererMedian);
    tjDestroy(plain);

    // Slow consumer: the streaming thread produces as fast as it can for two seconds while the
    // window paints only every 50 ms.
    const long rssBefore = ResidentKiB();
    long rssPeak = rssBefore;
    std::atomic<bool> stop {false};
    std::atomic<std::uint64_t> produced {0};
    const auto presentedBefore = renderer->FramesPresented();
    const auto replacedBefore = surface.mailbox.Replaced();
    std::thread streaming([&] {
        while (!stop) {
            renderer->Render(sample);
            ++produced;
        }
    });
    std::uint64_t consumed = 0;
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (surface.mailbox.Take())
            ++consumed;
        rssPeak = std::max(rssPeak, ResidentKiB());
    }
    stop = true;
    streaming.join();
    surface.mailbox.Clear();
    const long rssAfter = ResidentKiB();
    renderer->put_Owner(nullptr);

    std::printf("\nslow consumer (paints every 50 ms, 2 s):\n");
    std::printf("  produced %llu, presented %llu, painted %llu, replaced unseen %llu\n",
                static_cast<unsigned long long>(produced.load()),
                static_cast<unsigned long long>(renderer->FramesPresented() - presentedBefore),
                static_cast<unsigned long long>(consumed),
                static_cast<unsigned long long>(surface.mailbox.Replaced() - replacedBefore));
    std::printf("  distinct frames alive at most: %zu (one frame = %.2f MiB)\n", surface.maxAlive,
                place.width * place.height * 4 / 1048576.0);
    std::printf("  resident memory: before %ld KiB, peak %ld KiB, after %ld KiB\n", rssBefore, rssPeak, rssAfter);
    return 0;
}
