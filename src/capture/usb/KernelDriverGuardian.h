#pragma once
// Gives a device's interfaces back to the kernel's drivers should the program die while it holds them.
//
// usbfs releases a dead process's interfaces but binds no driver to them again, so a crash would leave
// the scanner without its video node until it is replugged. A small child process, forked when the
// interfaces are claimed, waits for the end of a pipe whose other end only this object (and so this
// process) holds. When the pipe closes, because the object is gone or the process died, the child opens
// the device node and asks the kernel to bind drivers to every interface that has none. It does only
// async-signal-safe calls, so forking from a process with threads is safe.
#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::usb {

class KernelDriverGuardian
{
public:
    // interfaces in the order to give them back: streaming interfaces before the control interface, so
    // that the video driver finds them free when it binds the control interface and claims them.
    KernelDriverGuardian(std::string nodePath, std::vector<std::uint8_t> interfaces);
    // Lets the child go: it finds the drivers bound (the program gave the interfaces back) or binds them.
    ~KernelDriverGuardian();
    KernelDriverGuardian(const KernelDriverGuardian&) = delete;
    KernelDriverGuardian& operator=(const KernelDriverGuardian&) = delete;

    bool Watching() const { return pipeWrite >= 0; }

private:
    int pipeWrite = -1;
};

} // namespace vistrel::usb
