// Bytes written to the simulator's control FIFO. The first byte sets how many bytes each read brings,
// the rest is the stream; every line cut from it runs against real simulated devices.
#include "capture/sim/SimControlChannel.h"
#include "capture/sim/SimulatedDeviceSource.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel::sim;
    if (size < 1)
        return 0;
    static const auto source = SimulatedDeviceSource::FromList("camera,scanner");
    static SimControlChannel channel(source, "");
    const std::size_t chunk = std::size_t(data[0]) + 1;
    std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    ControlLineSplitter lines;
    while (!stream.empty()) {
        const std::size_t n = std::min(chunk, stream.size());
        lines.Feed(stream.substr(0, n), [](std::string_view line) {
            if (line.size() > ControlLineSplitter::kMaxLine || line.find('\n') != std::string_view::npos)
                std::abort();
            channel.Execute(line);
        });
        stream.remove_prefix(n);
    }
    return 0;
}
