#pragma once
// The emulated scanner as a test meets it in the hardware bench's guest: the emulator program running
// beside the test, its control FIFO, its request log, and the video node the kernel made for it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vistrel::hwtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The usb backend's tests and figures wait for the backend to be in the build (VISTREL_HAVE_USB).
#ifndef VISTREL_HAVE_USB
#define VISTREL_HAVE_USB 0
#endif
constexpr bool kUsbBackendBuilt = VISTREL_HAVE_USB;

// Generous: everything runs under instruction emulation on a shared machine.
constexpr auto kDeviceWait = 60s;
constexpr auto kPoll = 50ms;

inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path);
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return {}; // a sysfs file of a device going away fails its read with ENODEV, which libstdc++ throws
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Lets udev finish its work on the devices that came and went.
inline void SettleUdev() { std::system("udevadm settle --timeout=60 >/dev/null 2>&1"); }

struct EmulatorOptions {
    int notReady = 0;
    std::string picture;
    bool isochronous = false; // the video endpoint isochronous instead of bulk
    std::string stillFolder;  // where the emulator also writes the stills it sends; empty: nowhere
    std::string name = "emulator"; // the log is kept as <name>.log in the bench's results
};

class EmulatedScanner {
public:
    // The emulator's path comes from the build (VISTREL_UVC_EMULATOR).
    explicit EmulatedScanner(EmulatorOptions options = {}) : options(std::move(options))
    {
        char pattern[] = "/tmp/vistrel-hw-XXXXXX";
        folder = ::mkdtemp(pattern);
        // The bench's results folder goes back to the host; elsewhere the log stays with the FIFO.
        const char* results = std::getenv("VISTREL_HW_RESULTS");
        logPath = (results ? fs::path(results) : folder) / (this->options.name + ".log");
        std::error_code ignored;
        fs::remove(logPath, ignored);
        controlPath = folder / "control";
        ::mkfifo(controlPath.c_str(), 0600);
    }
    ~EmulatedScanner()
    {
        Stop();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    EmulatedScanner(const EmulatedScanner&) = delete;
    EmulatedScanner& operator=(const EmulatedScanner&) = delete;

    // Starts the emulator and waits for the scanner's capture node; false when it did not come.
    bool Start()
    {
        std::vector<std::string> args {VISTREL_UVC_EMULATOR, "--log", logPath, "--control", controlPath};
        if (options.notReady > 0)
            args.insert(args.end(), {"--not-ready", std::to_string(options.notReady)});
        if (!options.picture.empty())
            args.insert(args.end(), {"--picture", options.picture});
        if (options.isochronous)
            args.push_back("--isochronous");
        if (!options.stillFolder.empty())
            args.insert(args.end(), {"--stills", options.stillFolder});
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            pid = -1;
            return false;
        }
        return WaitForNode();
    }

    void Stop()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        SettleUdev();
    }

    void Command(const std::string& line)
    {
        const int fd = ::open(controlPath.c_str(), O_WRONLY);
        if (fd < 0)
            return;
        const std::string text = line + "\n";
        [[maybe_unused]] auto written = ::write(fd, text.data(), text.size());
        ::close(fd);
    }
    // Unplugs and waits until the kernel has let go of the node.
    bool Unplug()
    {
        Command("unplug");
        const bool gone = WaitUntil([this] { return !FindNode(); }, kDeviceWait);
        SettleUdev();
        return gone;
    }
    bool Plug()
    {
        Command("plug");
        return WaitForNode();
    }

    // The capture node of the scanner (the one uvcvideo made for streaming), none while unplugged.
    static std::optional<std::string> FindNode()
    {
        const fs::path classDir = "/sys/class/video4linux";
        std::error_code ec;
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(classDir, ec)) {
            const fs::path usbDevice = fs::canonical(entry.path() / "device", ec).parent_path();
            if (ec || ReadFile(usbDevice / "idVendor") != "8888" || ReadFile(usbDevice / "idProduct") != "0001")
                continue;
            // index 0 is the capture node; the metadata node comes second.
            if (ReadFile(entry.path() / "index") == "0")
                found.push_back("/dev/" + entry.path().filename().string());
        }
        if (found.empty())
            return std::nullopt;
        return found.front();
    }

    // The scanner's interfaces in sysfs (control, then streaming); none while unplugged.
    static std::vector<fs::path> Interfaces()
    {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/sys/bus/usb/devices", ec)) {
            if (ReadFile(entry.path() / "idVendor") != "8888" || ReadFile(entry.path() / "idProduct") != "0001")
                continue;
            const std::string name = entry.path().filename().string();
            return {entry.path().parent_path() / (name + ":1.0"), entry.path().parent_path() / (name + ":1.1")};
        }
        return {};
    }
    // Whether uvcvideo holds both interfaces and its capture node is there for other programs.
    static bool KernelDriverHasIt()
    {
        const auto interfaces = Interfaces();
        if (interfaces.empty())
            return false;
        for (const auto& interface : interfaces) {
            std::error_code ec;
            if (fs::read_symlink(interface / "driver", ec).filename() != "uvcvideo" || ec)
                return false;
        }
        return FindNode().has_value();
    }

    std::vector<std::string> Log() const
    {
        std::ifstream in(logPath);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::vector<std::string> LogMatching(const std::string& pattern) const
    {
        const std::regex re(pattern);
        std::vector<std::string> lines;
        for (const auto& line : Log())
            if (std::regex_search(line, re))
                lines.push_back(line);
        return lines;
    }
    bool WaitForLog(const std::string& pattern, std::chrono::milliseconds timeout = kDeviceWait) const
    {
        return WaitUntil([&] { return !LogMatching(pattern).empty(); }, timeout);
    }
    // Lines logged from now on are told apart by their number.
    std::size_t LogSize() const { return Log().size(); }
    std::vector<std::string> LogSince(std::size_t from, const std::string& pattern) const
    {
        const auto all = Log();
        const std::regex re(pattern);
        std::vector<std::string> lines;
        for (std::size_t i = from; i < all.size(); ++i)
            if (std::regex_search(all[i], re))
                lines.push_back(all[i]);
        return lines;
    }
    const fs::path& LogPath() const { return logPath; }
    const fs::path& Folder() const { return folder; }

private:
    bool WaitForNode()
    {
        const bool up = WaitUntil([] {
            const auto node = FindNode();
            return node && ::access(node->c_str(), F_OK) == 0;
        }, kDeviceWait);
        SettleUdev();
        return up;
    }

    EmulatorOptions options;
    fs::path folder, logPath, controlPath;
    pid_t pid = -1;
};

} // namespace vistrel::hwtest
