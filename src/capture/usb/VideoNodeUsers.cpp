#include "capture/usb/VideoNodeUsers.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

#include "capture/linux/VideoNodes.h"

namespace vistrel::usb {

namespace {

namespace fs = std::filesystem;

// Calls visit for each entry of a folder until it answers true. Never throws: a process's folder in /proc
// can vanish half-way through.
bool AnyEntry(const fs::path& folder, const std::function<bool(const fs::path&)>& visit)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (visit(it->path()))
            return true;
    }
    return false;
}

// The device numbers of the video nodes the driver made for the USB device at busPath.
std::vector<dev_t> VideoNodeNumbers(const std::string& busPath, const fs::path& sysRoot)
{
    const lnx::SysfsLayout layout {sysRoot, {}};
    std::vector<dev_t> numbers;
    AnyEntry(sysRoot / "class/video4linux", [&](const fs::path& node) {
        const auto identity = lnx::ReadUsbIdentity(layout, node.filename().string());
        std::ifstream in(node / "dev");
        std::string text;
        unsigned major = 0, minor = 0;
        if (identity && identity->busPath == busPath && in >> text &&
            std::sscanf(text.c_str(), "%u:%u", &major, &minor) == 2)
            numbers.push_back(makedev(major, minor));
        return false;
    });
    return numbers;
}

bool IsProcessFolder(const std::string& name)
{
    return !name.empty() && std::ranges::all_of(name, [](char c) { return c >= '0' && c <= '9'; });
}

// One of the nodes among a process's open files. Files of processes this one may not look into are
// simply not listed.
bool HoldsAny(const fs::path& process, const std::vector<dev_t>& nodes)
{
    return AnyEntry(process / "fd", [&](const fs::path& file) {
        struct stat status {};
        return ::stat(file.c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
               std::ranges::find(nodes, status.st_rdev) != nodes.end();
    });
}

// The device manager's own processes: the daemon, its workers under either name, and eudev's.
constexpr std::array kDeviceManagerNames {"systemd-udevd", "(udev-worker)", "udevd"};

struct ProcessStatus
{
    std::string name;
    std::string parent;
};

// The name and parent of a process from its stat line, "pid (name) state ppid ...". The name may hold
// spaces and parentheses of its own, so it ends at the last closing one.
std::optional<ProcessStatus> ReadStatus(const fs::path& process)
{
    std::ifstream in(process / "stat");
    const std::string line {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t open = line.find('(');
    const std::size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return std::nullopt;
    std::string state, parent;
    std::istringstream rest(line.substr(close + 1));
    if (!(rest >> state >> parent))
        return std::nullopt;
    return ProcessStatus {line.substr(open + 1, close - open - 1), parent};
}

bool IsDeviceManagerName(const std::string& name)
{
    return std::ranges::find(kDeviceManagerNames, name) != kDeviceManagerNames.end();
}

// udev opens every new video node for a moment to read its capabilities (v4l_id), just when the scanner
// arrives. That probe, or the worker running it, is not a program using the scanner.
bool IsDeviceManagerProbe(const fs::path& procRoot, const fs::path& process)
{
    const auto status = ReadStatus(process);
    if (!status)
        return false;
    if (IsDeviceManagerName(status->name))
        return true;
    if (!IsProcessFolder(status->parent))
        return false;
    const auto parent = ReadStatus(procRoot / status->parent);
    return parent && IsDeviceManagerName(parent->name);
}

} // namespace

bool VideoNodeOpenElsewhere(const std::string& busPath, const fs::path& sysRoot, const fs::path& procRoot)
{
    const std::vector<dev_t> nodes = VideoNodeNumbers(busPath, sysRoot);
    if (nodes.empty())
        return false;
    const std::string self = std::to_string(::getpid());
    return AnyEntry(procRoot, [&](const fs::path& process) {
        const std::string name = process.filename().string();
        return IsProcessFolder(name) && name != self && HoldsAny(process, nodes) &&
               !IsDeviceManagerProbe(procRoot, process);
    });
}

} // namespace vistrel::usb
