// The control channel's end on Linux: a FIFO in the file system.
#include "capture/sim/SimControlChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace vistrel::sim {
namespace {

class FifoListener final : public ControlListener {
public:
    // Takes the opened FIFO and the two ends of the pipe that wakes the reader to stop.
    FifoListener(int fifo, int wakeRead, int wakeWrite, std::function<void(std::string_view)> onBytes)
        : fifo(fifo), wakeRead(wakeRead), wakeWrite(wakeWrite), onBytes(std::move(onBytes)),
          reader(&FifoListener::ReadLoop, this) {}

    ~FifoListener() override
    {
        const char byte = 1;
        [[maybe_unused]] auto written = write(wakeWrite, &byte, 1);
        reader.join();
        for (int fd : {fifo, wakeRead, wakeWrite})
            close(fd);
    }

private:
    void ReadLoop()
    {
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
            onBytes(std::string_view(buffer.data(), std::size_t(n)));
        }
    }

    int fifo;
    int wakeRead;
    int wakeWrite;
    std::function<void(std::string_view)> onBytes;
    std::thread reader;
};

} // namespace

std::unique_ptr<ControlListener> ListenForControl(const std::string& path,
                                                  std::function<void(std::string_view)> onBytes)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 && mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "simulator control: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return nullptr;
    }
    // Opened for reading and writing, the FIFO never reports end of file when a writer closes it,
    // and the open itself does not wait for a writer.
    const int fifo = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fifo < 0) {
        std::fprintf(stderr, "simulator control: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return nullptr;
    }
    // Anything but a FIFO (a regular file would read as endless end-of-file) is refused.
    if (fstat(fifo, &info) != 0 || !S_ISFIFO(info.st_mode)) {
        std::fprintf(stderr, "simulator control: %s is not a FIFO\n", path.c_str());
        close(fifo);
        return nullptr;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "simulator control: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        close(fifo);
        return nullptr;
    }
    return std::make_unique<FifoListener>(fifo, wake[0], wake[1], std::move(onBytes));
}

} // namespace vistrel::sim
