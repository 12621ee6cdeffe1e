#pragma once
// Drives the simulated devices from outside the running program: one command a line, written to a
// FIFO on Linux or to a named pipe (\\.\pipe\<name>) on Windows.
//   unplug [n] | plug [n] | busy on|off [n] | nostill on|off [n] | ignore-trigger on|off [n]
//   | failbind on|off [n] | notready on|off [n]
// n = 0-based index into DevicePaths(); default: the first scanner.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vistrel::sim {

class SimulatedDeviceSource;

// Cuts the bytes read from the channel into lines. A line longer than kMaxLine is dropped whole, up
// to and including its newline, so no tail of it can run as a command of its own.
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

// The system's end of the channel: reads on a thread of its own and hands every piece it reads to
// onBytes; destroying it stops that thread.
class ControlListener {
public:
    virtual ~ControlListener() = default;
};

// The FIFO at path (created when missing), or the named pipe called path; nullptr with a line on
// standard error when it cannot be opened. Defined once for each system.
std::unique_ptr<ControlListener> ListenForControl(const std::string& path,
                                                  std::function<void(std::string_view)> onBytes);

class SimControlChannel {
public:
    // Opens the channel and starts reading it; an empty path takes commands through Execute only.
    SimControlChannel(std::shared_ptr<SimulatedDeviceSource> source, std::string path);
    ~SimControlChannel();
    SimControlChannel(const SimControlChannel&) = delete;
    SimControlChannel& operator=(const SimControlChannel&) = delete;

    bool IsListening() const { return listener != nullptr; }
    // One command line; false when it was not understood (also used by the reader thread).
    bool Execute(std::string_view line);

private:
    void Receive(std::string_view bytes);

    std::shared_ptr<SimulatedDeviceSource> source;
    ControlLineSplitter lines;   // the reader thread's alone
    // Last, so that its reader stops before the rest goes.
    std::unique_ptr<ControlListener> listener;
};

} // namespace vistrel::sim
