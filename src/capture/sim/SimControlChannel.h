#pragma once
// Drives the simulated devices from outside the running program: one command a line on a FIFO.
//   unplug [n] | plug [n] | busy on|off [n] | nostill on|off [n] | ignore-trigger on|off [n]
//   | failbind on|off [n] | notready on|off [n]
// n = 0-based index into DevicePaths(); default: the first scanner.
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace vistrel::sim {

class SimulatedDeviceSource;

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
