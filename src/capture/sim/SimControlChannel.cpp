#include "capture/sim/SimControlChannel.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <vector>

#include "capture/sim/SimulatedDeviceSource.h"

namespace vistrel::sim {
namespace {

// Fault switches a command can turn on and off.
struct FaultSwitch {
    std::string_view command;
    bool ScannerFaults::*field;
};
constexpr std::array<FaultSwitch, 5> kSwitches {{
    {"busy", &ScannerFaults::busy},
    {"nostill", &ScannerFaults::noStillPin},
    {"ignore-trigger", &ScannerFaults::ignoreTrigger},
    {"failbind", &ScannerFaults::failBind},
    {"notready", &ScannerFaults::unitNotReady},
}};

std::optional<std::size_t> ParseIndex(const std::string& word)
{
    std::size_t n = 0;
    const auto* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, n);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return n;
}

} // namespace

void ControlLineSplitter::Feed(std::string_view bytes, const std::function<void(std::string_view)>& onLine,
                               const std::function<void()>& onTooLong)
{
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        if (!discarding && pending.size() + piece.size() > kMaxLine) {
            pending.clear();
            discarding = true;
            if (onTooLong)
                onTooLong();
        }
        if (!discarding)
            pending.append(piece);
        if (newline == std::string_view::npos)
            return;
        if (!discarding)
            onLine(pending);
        pending.clear();
        discarding = false;
        bytes.remove_prefix(newline + 1);
    }
}

SimControlChannel::SimControlChannel(std::shared_ptr<SimulatedDeviceSource> s, std::string path)
    : source(std::move(s)), fifoPath(std::move(path))
{
    if (fifoPath.empty())
        return; // commands come through Execute only
#if defined(_WIN32)
    // Windows has no FIFO; its tests drive the simulated scanner through its DirectShow filter instead.
    std::fprintf(stderr, "simulator control: %s not opened, Windows has no FIFO\n", fifoPath.c_str());
#else
    struct stat info {};
    if (stat(fifoPath.c_str(), &info) != 0 && mkfifo(fifoPath.c_str(), 0600) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "simulator control: cannot create %s: %s\n", fifoPath.c_str(), std::strerror(errno));
        return;
    }
    // Opened for reading and writing, the FIFO never reports end of file when a writer closes it,
    // and the open itself does not wait for a writer.
    fifo = open(fifoPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    // Anything but a FIFO (a regular file would read as endless end-of-file) is refused.
    if (fifo >= 0 && (fstat(fifo, &info) != 0 || !S_ISFIFO(info.st_mode))) {
        std::fprintf(stderr, "simulator control: %s is not a FIFO\n", fifoPath.c_str());
        close(fifo);
        fifo = -1;
        return;
    }
    int pipeEnds[2];
    if (fifo < 0 || pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "simulator control: cannot open %s: %s\n", fifoPath.c_str(), std::strerror(errno));
        if (fifo >= 0)
            close(fifo);
        fifo = -1;
        return;
    }
    wakeRead = pipeEnds[0];
    wakeWrite = pipeEnds[1];
    reader = std::thread(&SimControlChannel::ReadLoop, this);
#endif
}

SimControlChannel::~SimControlChannel()
{
#if !defined(_WIN32)
    if (reader.joinable()) {
        const char byte = 1;
        [[maybe_unused]] auto written = write(wakeWrite, &byte, 1);
        reader.join();
    }
    for (int fd : {fifo, wakeRead, wakeWrite})
        if (fd >= 0)
            close(fd);
#endif
}

void SimControlChannel::ReadLoop()
{
#if !defined(_WIN32)
    ControlLineSplitter lines;
    std::array<char, 512> buffer {};
    for (;;) {
        pollfd fds[2] = {{wakeRead, POLLIN, 0}, {fifo, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (!(fds[1].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = read(fifo, buffer.data(), buffer.size());
        if (n <= 0)
            continue; // nothing there (or every writer gone): keep listening
        lines.Feed(
            std::string_view(buffer.data(), std::size_t(n)),
            [this](std::string_view line) {
                if (!Execute(line))
                    std::fprintf(stderr, "simulator control: not understood: %.*s\n", int(line.size()), line.data());
            },
            [] { std::fprintf(stderr, "simulator control: line longer than %zu bytes ignored\n", ControlLineSplitter::kMaxLine); });
    }
#endif
}

bool SimControlChannel::Execute(std::string_view line)
{
    std::istringstream in {std::string(line)};
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    if (words.empty())
        return true;

    const std::string& command = words[0];
    std::size_t argument = 1;
    std::optional<bool> on;
    const FaultSwitch* fault = nullptr;
    for (const auto& s : kSwitches)
        if (command == s.command)
            fault = &s;
    if (fault) {
        if (words.size() < 2 || (words[1] != "on" && words[1] != "off"))
            return false;
        on = words[1] == "on";
        argument = 2;
    } else if (command != "plug" && command != "unplug") {
        return false;
    }
    if (words.size() > argument + 1)
        return false;

    const auto paths = source->DevicePaths();
    std::optional<std::size_t> index;
    if (words.size() == argument + 1) {
        index = ParseIndex(words[argument]);
    } else {
        for (std::size_t i = 0; i < paths.size() && !index; ++i)
            if (paths[i].find("vid_8888&pid_0001") != std::string::npos)
                index = i;
    }
    if (!index || *index >= paths.size())
        return false;
    const std::string& path = paths[*index];

    if (command == "plug") {
        source->Plug(path);
    } else if (command == "unplug") {
        source->Unplug(path);
    } else {
        ScannerFaults faults = source->Faults(path);
        faults.*(fault->field) = *on;
        source->SetFaults(path, faults);
    }
    return true;
}

} // namespace vistrel::sim
