// Frame delivery from the emulated scanner on the hardware bench: live frames a second and the time
// from the still trigger to the still handed to the window, for the program's USB backend and its V4L2
// backend (uvcvideo) on the same emulated device, over bulk and isochronous streaming. Rounds run every
// configuration once, in turn, so a change in the machine's load hits them alike; figures are medians
// over the rounds. Needs root and vhci-hcd: run it in the bench's guest,
//   scripts/test-hardware --run 'bench/usb/bench_usb'
// Exits 0 when every configuration ran, 1 when one failed, 77 when it cannot run here.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "KernelRig.h"
#include "StillImages.h"

namespace vistrel::hwtest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSkipStatus = 77;

const char* kUsage =
    "usage: bench_usb [--rounds N] [--seconds S] [--stills N] [--help]\n"
    "\n"
    "For the usb and v4l2 backends, over bulk and isochronous streaming, attaches the emulated scanner\n"
    "through the capture engine, counts the live frames presented in S seconds and times N stills from\n"
    "the trigger to the still handed to the window. uvcvideo gives stills at the live size (1280x960),\n"
    "the usb backend at the still size (2592x1944). Ends with 'summary <key> <value>' lines.\n"
    "\n"
    "  --rounds N    rounds (default 3)\n"
    "  --seconds S   live picture counted for S seconds a round (default 10)\n"
    "  --stills N    stills a round (default 3)\n";

struct Options {
    int rounds = 3;
    double seconds = 10;
    int stills = 3;
};

struct Configuration {
    const char* backend;
    bool isochronous;
    std::string Name() const { return std::string(backend) + (isochronous ? " isochronous" : " bulk"); }
};

struct Figures {
    std::vector<double> framesPerSecond;
    std::vector<double> stillMs;
    Size stillSize;
    std::string failure;
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double Since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One round of one configuration; a failure is named in the figures.
void Measure(const Configuration& c, const Options& options, Figures& figures)
{
    EmulatorOptions emulator;
    emulator.isochronous = c.isochronous;
    emulator.name = "bench-emulator-" + std::string(c.backend) + (c.isochronous ? "-isochronous" : "-bulk");
    EmulatedScanner scanner(emulator);
    if (!scanner.Start()) {
        figures.failure = "the kernel made no video node for the emulated scanner";
        return;
    }
    KernelRig rig(ForcedPlatform(c.backend));
    if (!rig.Attach()) {
        figures.failure = "the scanner was not attached";
        return;
    }
    auto& surface = rig.host.surface;
    if (!surface.WaitForFrames(3, kDeviceWait)) {
        figures.failure = "no live picture";
        return;
    }

    const auto firstFrame = surface.Presented();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
    figures.framesPerSecond.push_back(double(surface.Presented() - firstFrame) / (Since(start) / 1000.0));

    for (int i = 1; i <= options.stills; ++i) {
        // Each still after a few live frames, as a user's Scan comes while the picture runs.
        surface.WaitForFrames(surface.Presented() + 2, kDeviceWait);
        const auto trigger = Clock::now();
        rig.engine.TriggerStill();
        if (!rig.host.WaitForStills(std::size_t(i), kDeviceWait)) {
            figures.failure = "still " + std::to_string(i) + " did not arrive";
            return;
        }
        figures.stillMs.push_back(Since(trigger));
    }
    figures.stillSize = JpegSize(rig.host.Stills().back().bytes);
    if (!rig.Detach())
        figures.failure = "detaching hung";
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--rounds" && hasValue)
            o.rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--seconds" && hasValue)
            o.seconds = std::max(1.0, std::atof(argv[++i]));
        else if (arg == "--stills" && hasValue)
            o.stills = std::max(1, std::atoi(argv[++i]));
        else
            return false;
    }
    return true;
}

int Run(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, argc > 1 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    if (::geteuid() != 0 || ::access("/sys/devices/platform/vhci_hcd.0/attach", W_OK) != 0) {
        std::fprintf(stderr, "bench_usb: SKIPPED: needs root and vhci-hcd (run it in the bench's guest)\n");
        return kSkipStatus;
    }
    std::vector<Configuration> configurations {{"v4l2", false}, {"v4l2", true}};
    if (kUsbBackendBuilt)
        configurations.insert(configurations.end(), {{"usb", false}, {"usb", true}});
    else
        std::printf("the usb backend is not in this build: v4l2 only\n");

    std::map<std::string, Figures> figures;
    for (int round = 1; round <= options.rounds; ++round) {
        for (const auto& c : configurations) {
            Figures& f = figures[c.Name()];
            if (f.failure.empty())
                Measure(c, options, f);
        }
        std::fprintf(stderr, "round %d of %d done\n", round, options.rounds);
    }

    std::printf("%d rounds, live picture counted for %.0f s, %d stills a round\n\n", options.rounds, options.seconds,
                options.stills);
    std::printf("%-20s %14s %18s %12s\n", "configuration", "live frames/s", "trigger to still ms", "still size");
    bool failed = false;
    for (const auto& c : configurations) {
        const Figures& f = figures[c.Name()];
        std::printf("%-20s %14.2f %18.1f %6dx%-5d%s%s\n", c.Name().c_str(), Median(f.framesPerSecond),
                    Median(f.stillMs), f.stillSize.width, f.stillSize.height, f.failure.empty() ? "" : "  FAILED: ",
                    f.failure.c_str());
        failed = failed || !f.failure.empty();
    }

    const auto fps = [&](const char* name) { return Median(figures[name].framesPerSecond); };
    const auto still = [&](const char* name) { return Median(figures[name].stillMs); };
    std::printf("\n");
    const std::pair<const char*, double> summary[] = {
        {"v4l2_bulk_fps", fps("v4l2 bulk")},
        {"v4l2_iso_fps", fps("v4l2 isochronous")},
        {"usb_bulk_fps", fps("usb bulk")},
        {"usb_iso_fps", fps("usb isochronous")},
        {"usb_vs_v4l2_bulk_fps", fps("usb bulk") / fps("v4l2 bulk")},
        {"usb_vs_v4l2_iso_fps", fps("usb isochronous") / fps("v4l2 isochronous")},
        {"v4l2_bulk_still_ms", still("v4l2 bulk")},
        {"v4l2_iso_still_ms", still("v4l2 isochronous")},
        {"usb_bulk_still_ms", still("usb bulk")},
        {"usb_iso_still_ms", still("usb isochronous")},
    };
    for (const auto& [key, value] : summary)
        std::printf("summary %s %.3f\n", key, value);
    return failed ? 1 : 0;
}

} // namespace
} // namespace vistrel::hwtest

int main(int argc, char** argv) { return vistrel::hwtest::Run(argc, argv); }
