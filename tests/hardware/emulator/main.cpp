// vistrel-uvc-emulator: the film scanner emulated at the USB level, attached to vhci-hcd over USB/IP.
// Runs as root (it writes vhci-hcd's sysfs files). See README.md for the options and the log format.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "RequestLog.h"
#include "ScannerDescriptors.h"
#include "ScannerDevice.h"
#include "UsbIpConnection.h"
#include "VhciPort.h"

using namespace vistrel::uvcemu;

namespace {

constexpr std::uint32_t kDevid = (1u << 16) | 2u; // bus 1, device 2 on the emulated "server"
constexpr long kFramePeriodNs = long(kFrameInterval) * 100;

struct Options {
    std::string logPath;
    std::string controlPath;
    std::string vhciDirectory = kVhciDirectory;
    ScannerOptions scanner;
    bool startUnplugged = false;
};

void Usage()
{
    std::fprintf(stderr,
                 "usage: vistrel-uvc-emulator [--log FILE] [--not-ready N] [--picture FILE] [--control FIFO]\n"
                 "                            [--vhci DIR] [--unplugged] [--isochronous] [--stills DIR]\n"
                 "  commands on the control FIFO, one a line: plug, unplug, button, quit\n");
}

bool ParseOptions(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--log" && hasValue)
            o->logPath = argv[++i];
        else if (arg == "--control" && hasValue)
            o->controlPath = argv[++i];
        else if (arg == "--picture" && hasValue)
            o->scanner.picture = argv[++i];
        else if (arg == "--vhci" && hasValue)
            o->vhciDirectory = argv[++i];
        else if (arg == "--not-ready" && hasValue)
            o->scanner.notReadyAnswers = std::atoi(argv[++i]);
        else if (arg == "--unplugged")
            o->startUnplugged = true;
        else if (arg == "--stills" && hasValue)
            o->scanner.stillFolder = argv[++i];
        else if (arg == "--isochronous")
            o->scanner.transfer = VideoTransfer::Isochronous;
        else
            return false;
    }
    return true;
}

class Emulator {
public:
    Emulator(const Options& o, RequestLog& log) : options(o), log(log), device(o.scanner, log), vhci(o.vhciDirectory) {}

    bool Plug()
    {
        if (connection)
            return true;
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
            std::perror("socketpair");
            return false;
        }
        device.PowerOn();
        connection = std::make_unique<UsbIpConnection>(sv[0], device, log);
        std::string error;
        const bool attached = vhci.Attach(sv[1], kDevid, &error);
        ::close(sv[1]); // vhci holds its own reference to its end
        if (!attached) {
            std::fprintf(stderr, "vistrel-uvc-emulator: %s\n", error.c_str());
            connection.reset();
            return false;
        }
        log.Line("PLUG port=" + std::to_string(*vhci.Port()));
        return true;
    }

    void Unplug(const char* why)
    {
        if (!connection)
            return;
        std::string error;
        if (!vhci.Detach(&error))
            std::fprintf(stderr, "vistrel-uvc-emulator: %s\n", error.c_str());
        connection.reset(); // closing our end ends the connection even if detach failed
        log.Line(std::string("UNPLUG ") + why);
    }

    // Returns false to quit.
    bool Command(std::string_view command)
    {
        if (command == "plug")
            Plug();
        else if (command == "unplug")
            Unplug("command");
        else if (command == "button")
            device.PressButton();
        else if (command == "quit")
            return false;
        else if (!command.empty())
            log.Line("COMMAND unknown " + std::string(command));
        if (connection)
            connection->Pump();
        return true;
    }

    int Run(int controlFd, int timerFd, int signalFd)
    {
        std::string pendingCommand;
        for (;;) {
            pollfd fds[4] = {{timerFd, POLLIN, 0}, {signalFd, POLLIN, 0}, {controlFd, POLLIN, 0},
                             {connection ? connection->Fd() : -1, POLLIN, 0}};
            if (::poll(fds, 4, -1) < 0) {
                if (errno == EINTR)
                    continue;
                std::perror("poll");
                return 1;
            }
            if (fds[1].revents) {
                Unplug("signal");
                return 0;
            }
            if (fds[0].revents) {
                std::uint64_t ticks = 0;
                if (::read(timerFd, &ticks, sizeof ticks) > 0 && connection) {
                    device.FrameTick();
                    connection->Pump();
                }
            }
            if (fds[2].revents & POLLIN) {
                char buffer[256];
                const ssize_t n = ::read(controlFd, buffer, sizeof buffer);
                for (ssize_t i = 0; i < n; ++i) {
                    if (buffer[i] != '\n') {
                        pendingCommand += buffer[i];
                        continue;
                    }
                    if (!Command(pendingCommand)) {
                        Unplug("quit");
                        return 0;
                    }
                    pendingCommand.clear();
                }
            }
            if (connection && (fds[3].revents & (POLLIN | POLLHUP | POLLERR)) && !connection->OnReadable()) {
                // The host let go of the device (detached from its side, or the driver stack went away).
                connection.reset();
                log.Line("UNPLUG host");
            }
        }
    }

private:
    const Options& options;
    RequestLog& log;
    ScannerDevice device;
    VhciPort vhci;
    std::unique_ptr<UsbIpConnection> connection;
};

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }
    RequestLog log(options.logPath.empty() ? std::string("/dev/null") : options.logPath);

    // The control FIFO is held open for writing too, so a writer closing it is not an end of file.
    int controlFd = -1;
    if (!options.controlPath.empty()) {
        ::mkfifo(options.controlPath.c_str(), 0600);
        controlFd = ::open(options.controlPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (controlFd < 0) {
            std::perror(options.controlPath.c_str());
            return 1;
        }
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);

    const int timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    const itimerspec period {{0, kFramePeriodNs}, {0, kFramePeriodNs}};
    ::timerfd_settime(timerFd, 0, &period, nullptr);

    Emulator emulator(options, log);
    if (!options.startUnplugged && !emulator.Plug())
        return 1;
    return emulator.Run(controlFd, timerFd, signalFd);
}
