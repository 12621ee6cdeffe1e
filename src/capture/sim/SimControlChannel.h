#pragma once
// Drives the simulated devices from outside the running program: one command a line on a FIFO.
//   unplug [n] | plug [n] | busy on|off [n] | nostill on|off [n] | ignore-trigger on|off [n]
//   | failbind on|off [n] | notready on|off [n]
// n = 0-based index into DevicePaths(); default: the first scanner.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace vistrel::sim {

class SimulatedDeviceSource;

// Cuts the bytes read from the FIFO into lines. A line longer than kMaxLine is dropped whole, up to
// and including its newline, so no tail of it can run as a command of its own.
class ControlLineSplitter {
public:
    static constexpr std::size_t kMaxLine = 256;

    // Calls onLine for every line these bytes complete (without its newline); onTooLong once for
    // every line dropped.
    void Feed(std::string_view bytes, const std::function<void(std::string_view)>& onLine,
              const std::function<void()>& onTooLong = {});

private:
    std::string pending;
    bool discarding = false;
};

class SimControlChannel {
public:
    // Creates the FIFO when it does not exist yet and starts reading it.
    SimControlChannel(std::shared_ptr<SimulatedDeviceSource> source, std::string fifoPath);
    ~SimControlChannel();
    SimControlChannel(const SimControlChannel&) = delete;
    SimControlChannel& operator=(const SimControlChannel&) = delete;

    bool IsListening() const { return fifo >= 0; }
    // One command line; false when it was not understood (also used by the reader thread).
    bool Execute(std::string_view line);

private:
    void ReadLoop();

    std::shared_ptr<SimulatedDeviceSource> source;
    std::string fifoPath;
    int fifo = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread reader;
};

} // namespace vistrel::sim
