#include "VhciPort.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace vistrel::uvcemu {
namespace {

constexpr int kPortFree = 4; // VDEV_ST_NULL

bool WriteSysfs(const std::string& path, const std::string& text, std::string* error)
{
    std::ofstream file(path);
    file << text;
    file.flush();
    if (file)
        return true;
    if (error)
        *error = path + ": " + std::strerror(errno);
    return false;
}

} // namespace

std::optional<int> FreeHighSpeedPort(std::string_view status)
{
    std::istringstream lines {std::string(status)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string word; fields >> word;)
            f.push_back(word);
        // "hub port sta ..." in newer kernels, "port sta ..." in older ones; the header names the columns.
        std::size_t at = 0;
        if (!f.empty() && (f[0] == "hs" || f[0] == "ss")) {
            if (f[0] != "hs")
                continue;
            at = 1;
        }
        if (f.size() < at + 2 || f[at].find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (std::stoi(f[at + 1]) == kPortFree)
            return std::stoi(f[at]);
    }
    return std::nullopt;
}

bool VhciPort::Attach(int socketFd, std::uint32_t devid, std::string* error)
{
    std::ifstream statusFile(directory + "/status");
    std::stringstream status;
    status << statusFile.rdbuf();
    if (!statusFile) {
        if (error)
            *error = directory + "/status cannot be read (is vhci-hcd loaded?)";
        return false;
    }
    const auto free = FreeHighSpeedPort(status.str());
    if (!free) {
        if (error)
            *error = "no free high-speed port on " + directory;
        return false;
    }
    const std::string request = std::to_string(*free) + " " + std::to_string(socketFd) + " " + std::to_string(devid) +
                                " " + std::to_string(kUsbSpeedHigh);
    if (!WriteSysfs(directory + "/attach", request, error))
        return false;
    port = free;
    return true;
}

bool VhciPort::Detach(std::string* error)
{
    if (!port)
        return true;
    const bool ok = WriteSysfs(directory + "/detach", std::to_string(*port), error);
    port.reset();
    return ok;
}

} // namespace vistrel::uvcemu
