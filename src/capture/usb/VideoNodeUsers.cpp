#include "capture/usb/VideoNodeUsers.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "capture/usb/UsbDeviceNames.h"

namespace vistrel::usb {

namespace {

namespace fs = std::filesystem;

// The device numbers of the video nodes the driver made for the device's interfaces ("1-2:1.0").
std::vector<dev_t> VideoNodeNumbers(const std::string& busPath, const fs::path& sysRoot)
{
    std::vector<dev_t> numbers;
    if (!IsBusPath(busPath))
        return numbers;
    const std::string interfacePrefix = busPath + ":";
    std::error_code error;
    for (const fs::directory_entry& function : fs::directory_iterator(sysRoot / "bus/usb/devices" / busPath, error)) {
        if (!function.path().filename().string().starts_with(interfacePrefix))
            continue;
        std::error_code nodesError;
        for (const fs::directory_entry& node : fs::directory_iterator(function.path() / "video4linux", nodesError)) {
            std::ifstream in(node.path() / "dev");
            std::string text;
            unsigned major = 0, minor = 0;
            if (in >> text && std::sscanf(text.c_str(), "%u:%u", &major, &minor) == 2)
                numbers.push_back(makedev(major, minor));
        }
    }
    return numbers;
}

bool IsProcessFolder(const fs::path& name)
{
    const std::string text = name.string();
    return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// One of the nodes among a process's open files. Files of processes this one may not look into are
// simply not listed.
bool HoldsAny(const fs::path& process, const std::vector<dev_t>& nodes)
{
    std::error_code error;
    for (const fs::directory_entry& file : fs::directory_iterator(process / "fd", error)) {
        struct stat status {};
        if (::stat(file.path().c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
            std::ranges::find(nodes, status.st_rdev) != nodes.end())
            return true;
    }
    return false;
}

} // namespace

bool VideoNodeOpenElsewhere(const std::string& busPath, const fs::path& sysRoot, const fs::path& procRoot)
{
    const std::vector<dev_t> nodes = VideoNodeNumbers(busPath, sysRoot);
    if (nodes.empty())
        return false;
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator(procRoot, error)) {
        const fs::path name = process.path().filename();
        if (IsProcessFolder(name) && name != self && HoldsAny(process.path(), nodes))
            return true;
    }
    return false;
}

} // namespace vistrel::usb
