// How long the window's event loop keeps the user waiting while a slider is dragged and while Scan is
// pressed, against a scanner whose control requests are slow. A probe thread posts an event to the
// window's thread every millisecond; the time from posting to handling is the loop's latency, sampled
// evenly in wall time, so a handler that blocks on the device shows as the whole of its wait.
// The scanner is the simulated one with a control latency (every property request and trigger takes
// that long on its one control endpoint); the window is the real one, on the offscreen platform.
//   build/bench/window/bench_window_latency [--latency MS] [--seconds S]
// Ends with 'summary <key> <value>' lines; exits 0 when both phases ran.
#include "app/UiLanguage.h"
#include "capture/runtime/CapturePlatform.h"
#include "capture/sim/SimulatedDeviceSource.h"
#include "controls/CCustomDrawSliderCtrl.h"
#include "window/VistrelDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vistrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kProbeInterval = std::chrono::milliseconds(1);
constexpr int kDragTickMs = 16;        // pointer motion at 60 Hz
constexpr int kScanPressMs = 500;
constexpr int kSliderLow = 0;
constexpr int kSliderHigh = 100;
constexpr double kTargetP99Ms = 20;

const char* kUsage =
    "usage: bench_window_latency [--latency MS] [--seconds S] [--help]\n"
    "\n"
    "Drags the Saturation slider for S seconds (a position every 16 ms), then presses Scan every 500 ms\n"
    "for S seconds, against the simulated scanner with a control latency of MS, and prints the window's\n"
    "event-loop latency (posted-event round trip, sampled every millisecond) for each phase.\n"
    "\n"
    "  --latency MS  each control request's time on the device (default 300)\n"
    "  --seconds S   length of each phase (default 5)\n";

struct Options {
    unsigned latencyMs = 300;
    double seconds = 5;
};

// Answers every box at once: the bench measures the loop, not a user reading.
class SilentPrompts : public IUserPrompts {
public:
    void ShowMessage(QWidget*, const QString&, const QString&, const QString&) override {}
    bool Ask(QWidget*, const QString&, const QString&) override { return true; }
};

// Posts a stamped event to the window's thread every millisecond; the window's thread keeps the delays.
class LoopProbe {
public:
    explicit LoopProbe(QObject* receiver) : receiver(receiver)
    {
        poster = std::thread([this] {
            auto next = Clock::now();
            while (!stop.load()) {
                const auto posted = Clock::now();
                QMetaObject::invokeMethod(
                    this->receiver, [this, posted] { Record(posted); }, Qt::QueuedConnection);
                next += kProbeInterval;
                std::this_thread::sleep_until(next);
            }
        });
    }
    ~LoopProbe()
    {
        stop = true;
        poster.join();
    }

    void Begin() { samples.clear(), recording = true; }
    std::vector<double> End()
    {
        recording = false;
        return std::move(samples);
    }

private:
    void Record(Clock::time_point posted)
    {
        if (recording)
            samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
    }

    QObject* receiver;
    std::atomic<bool> stop {false};
    std::thread poster;
    bool recording = false;             // window thread only
    std::vector<double> samples;        // window thread only
};

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(std::ceil(fraction * double(values.size()))) - 1;
    return values[std::min(at, values.size() - 1)];
}

void RunFor(double seconds)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < qint64(seconds * 1000))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Drains what the phase left behind (queued device work, stills on their way) before the next one.
void Settle(double seconds)
{
    RunFor(seconds);
}

void Report(const char* phase, const std::vector<double>& samples)
{
    const double p50 = Percentile(samples, 0.50), p99 = Percentile(samples, 0.99);
    const double worst = samples.empty() ? NAN : *std::max_element(samples.begin(), samples.end());
    std::printf("%-6s %7zu samples  p50 %8.2f ms  p99 %8.2f ms  max %8.2f ms  (target p99 < %.0f ms: %s)\n", phase,
                samples.size(), p50, p99, worst, kTargetP99Ms, p99 < kTargetP99Ms ? "met" : "missed");
    std::printf("summary %s_p99_ms %.2f\n", phase, p99);
    std::printf("summary %s_max_ms %.2f\n", phase, worst);
}

int Run(const Options& options, int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QApplication app(argc, argv);
    SetCurrentUiLanguage(kLangIdEnglishUs);

    auto source = std::make_shared<sim::SimulatedDeviceSource>();
    sim::DeviceOptions scanner;
    scanner.faults.controlLatencyMs = options.latencyMs;
    source->AddDevice(scanner);

    WindowServices services;
    services.prompts = std::make_shared<SilentPrompts>();
    std::printf("control latency %u ms; attaching the scanner (identification takes its turns too)...\n",
                options.latencyMs);
    std::fflush(stdout);
    CVistrelDlg window(MakeCapturePlatform({source}), services);
    window.show();
    if (!window.IsScannerAttached()) {
        std::fprintf(stderr, "bench_window_latency: the simulated scanner did not attach\n");
        return 1;
    }
    Settle(2 * options.latencyMs / 1000.0 + 0.5);

    LoopProbe probe(&window);
    auto* slider = window.ControlAs<CCustomDrawSliderCtrl>(IdSaturationSlider);
    auto* scan = window.ControlAs<QAbstractButton>(IdScan);

    // Drag: the thumb moves every 16 ms, as the control reports a drag.
    int position = kSliderLow, direction = 1;
    QTimer drag;
    drag.setInterval(kDragTickMs);
    QObject::connect(&drag, &QTimer::timeout, &window, [&] {
        position += direction;
        if (position >= kSliderHigh || position <= kSliderLow)
            direction = -direction;
        slider->setSliderPosition(position);
        emit slider->Scroll(CCustomDrawSliderCtrl::ThumbTrack, position);
    });
    probe.Begin();
    drag.start();
    RunFor(options.seconds);
    drag.stop();
    const std::vector<double> dragSamples = probe.End();
    Settle(4 * options.latencyMs / 1000.0 + 0.5);

    // Scan: a press every 500 ms; the strip's twelve places are more than the phase fills.
    QTimer press;
    press.setInterval(kScanPressMs);
    double longestPressMs = 0;
    QObject::connect(&press, &QTimer::timeout, &window, [&] {
        const auto start = Clock::now();
        scan->click();
        longestPressMs = std::max(longestPressMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    });
    probe.Begin();
    press.start();
    RunFor(options.seconds);
    press.stop();
    const std::vector<double> scanSamples = probe.End();
    Settle(2 * options.latencyMs / 1000.0 + 0.5);

    std::printf("stills in the strip: %d; longest Scan press handled in %.1f ms\n", window.StillCount(), longestPressMs);
    Report("drag", dragSamples);
    Report("scan", scanSamples);
    window.CloseWithoutQuestion();
    return dragSamples.empty() || scanSamples.empty() ? 1 : 0;
}

} // namespace
} // namespace vistrel::bench

int main(int argc, char** argv)
{
    vistrel::bench::Options options;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--latency") && hasValue)
            options.latencyMs = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (!std::strcmp(argv[i], "--seconds") && hasValue)
            options.seconds = std::strtod(argv[++i], nullptr);
        else if (!std::strcmp(argv[i], "--help")) {
            std::fputs(vistrel::bench::kUsage, stdout);
            return 0;
        } else {
            std::fputs(vistrel::bench::kUsage, stderr);
            return 2;
        }
    }
    return vistrel::bench::Run(options, argc, argv);
}
