#include "capture/usb/KernelDriverGuardian.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

namespace vistrel::usb {

namespace {

constexpr int kMaxInterfaces = 32;
// A dying process's usbfs file is released a moment after its pipe closes; until then its interfaces
// still belong to usbfs and cannot take a driver. Ask again this often, for this long.
constexpr long kRetryNanoseconds = 50'000'000;
constexpr int kRetries = 200;
constexpr char kUsbfsDriver[] = "usbfs";

struct Plan
{
    char node[256] {};
    int interfaces[kMaxInterfaces] {};
    int count = 0;
};

// True when the interface is settled: a driver other than usbfs has it, or none would take it.
bool Settle(int fd, int interfaceNumber)
{
    usbdevfs_getdriver driver {};
    driver.interface = static_cast<unsigned>(interfaceNumber);
    if (ioctl(fd, USBDEVFS_GETDRIVER, &driver) == 0)
        return std::strncmp(driver.driver, kUsbfsDriver, sizeof driver.driver) != 0;
    if (errno != ENODATA)
        return true; // the interface or the device is gone
    usbdevfs_ioctl connect {};
    connect.ifno = interfaceNumber;
    connect.ioctl_code = USBDEVFS_CONNECT;
    connect.data = nullptr;
    ioctl(fd, USBDEVFS_IOCTL, &connect);
    return true; // a driver took it, or no driver matches it (a streaming interface, until its function binds)
}

// In the child: only async-signal-safe calls from here on.
[[noreturn]] void Guard(const Plan& plan, int pipeRead, int pipeWrite)
{
    // Outlive the parent and its terminal; keep only the pipe.
    setsid();
    signal(SIGINT, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    close(pipeWrite); // first: it may sit where the read end is to go
    if (pipeRead != STDIN_FILENO) {
        dup2(pipeRead, STDIN_FILENO);
        close(pipeRead);
    }
    close_range(STDERR_FILENO + 1, ~0u, 0);
    char byte;
    while (read(STDIN_FILENO, &byte, 1) != 0 && errno == EINTR) {
    }
    bool settled[kMaxInterfaces] {};
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        const int fd = open(plan.node, O_RDWR | O_CLOEXEC);
        if (fd < 0)
            _exit(0); // unplugged: nothing to give back
        // In order: the control interface only once the streaming interfaces are free of usbfs.
        bool all = true;
        for (int i = 0; i < plan.count && all; ++i) {
            if (!settled[i])
                settled[i] = Settle(fd, plan.interfaces[i]);
            all = settled[i];
        }
        close(fd);
        if (all)
            _exit(0);
        const timespec pause {0, kRetryNanoseconds};
        nanosleep(&pause, nullptr);
    }
    _exit(1);
}

} // namespace

KernelDriverGuardian::KernelDriverGuardian(std::string nodePath, std::vector<std::uint8_t> interfaces)
{
    Plan plan;
    if (nodePath.size() >= sizeof plan.node)
        return;
    std::memcpy(plan.node, nodePath.c_str(), nodePath.size() + 1);
    for (const std::uint8_t number : interfaces) {
        if (plan.count < kMaxInterfaces)
            plan.interfaces[plan.count++] = number;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return;
    const pid_t child = fork();
    if (child == 0) {
        // A grandchild does the watching, so that nobody has to reap it.
        if (_Fork() == 0)
            Guard(plan, ends[0], ends[1]);
        _exit(0);
    }
    close(ends[0]);
    if (child < 0) {
        close(ends[1]);
        return;
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    pipeWrite = ends[1];
}

KernelDriverGuardian::~KernelDriverGuardian()
{
    if (pipeWrite >= 0)
        close(pipeWrite);
}

} // namespace vistrel::usb
