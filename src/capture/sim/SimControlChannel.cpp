#include "capture/sim/SimControlChannel.h"

#include <array>
#include <charconv>
#include <cstdio>
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
    : source(std::move(s))
{
    if (!path.empty())
        listener = ListenForControl(path, [this](std::string_view bytes) { Receive(bytes); });
}

SimControlChannel::~SimControlChannel() = default;

void SimControlChannel::Receive(std::string_view bytes)
{
    lines.Feed(
        bytes,
        [this](std::string_view line) {
            if (!Execute(line))
                std::fprintf(stderr, "simulator control: not understood: %.*s\n", int(line.size()), line.data());
        },
        [] { std::fprintf(stderr, "simulator control: line longer than %zu bytes ignored\n", ControlLineSplitter::kMaxLine); });
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
