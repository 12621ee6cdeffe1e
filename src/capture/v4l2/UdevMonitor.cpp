#include "capture/v4l2/UdevMonitor.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

namespace vistrel::v4l2 {

namespace {

constexpr const char* kSubsystem = "video4linux";

} // namespace

UdevMonitor::UdevMonitor(Handler handler) : handler(std::move(handler))
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    wakeRead = ends[0];
    wakeWrite = ends[1];
    context = udev_new();
    if (context)
        monitor = udev_monitor_new_from_netlink(context, "udev"); // events after udev's rules ran
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, kSubsystem, nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0)
        return;
    thread = std::thread([this] { Run(); });
}

UdevMonitor::~UdevMonitor()
{
    if (thread.joinable()) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(wakeWrite, &byte, 1);
        thread.join();
    }
    if (monitor)
        udev_monitor_unref(monitor);
    if (context)
        udev_unref(context);
    if (wakeRead >= 0)
        ::close(wakeRead);
    if (wakeWrite >= 0)
        ::close(wakeWrite);
}

void UdevMonitor::Run()
{
    pollfd fds[2] = {{wakeRead, POLLIN, 0}, {udev_monitor_get_fd(monitor), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0)
            continue; // interrupted
        if (fds[0].revents)
            return;
        if (!(fds[1].revents & POLLIN)) {
            if (fds[1].revents & (POLLERR | POLLNVAL))
                fds[1].fd = -1; // a broken socket: keep waiting for the wake-up only
            continue;
        }
        while (udev_device* device = udev_monitor_receive_device(monitor)) {
            const char* action = udev_device_get_action(device);
            const char* name = udev_device_get_sysname(device);
            if (action && name)
                handler({action, name});
            udev_device_unref(device);
        }
    }
}

} // namespace vistrel::v4l2
