#pragma once
// Watches udev for video4linux nodes coming and going, on a thread that sleeps in poll() on the monitor's
// socket and a wake-up pipe.
#include <functional>
#include <string>
#include <thread>

struct udev;
struct udev_monitor;

namespace vistrel::v4l2 {

struct UdevEvent
{
    std::string action;   // "add", "remove", ...
    std::string nodeName; // "video0"
};

class UdevMonitor
{
public:
    using Handler = std::function<void(const UdevEvent&)>;

    // Starts watching at once; without udev (a container, say) it stays idle.
    explicit UdevMonitor(Handler handler);
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    bool Watching() const { return thread.joinable(); }

private:
    void Run();

    Handler handler;
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread thread;
};

} // namespace vistrel::v4l2
