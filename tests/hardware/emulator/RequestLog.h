#pragma once
// The emulator's log: one line per request or event, flushed at once so a test can read it while the
// device runs. The line format is described in this folder's README.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vistrel::uvcemu {

class RequestLog {
public:
    RequestLog() = default;                      // keeps lines in memory only
    explicit RequestLog(const std::string& path); // appends to a file as well
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    bool IsOpen() const { return !path.empty() ? file != nullptr : true; }
    void Line(const std::string& line);
    const std::vector<std::string>& Lines() const { return lines; }

private:
    std::string path;
    std::FILE* file = nullptr;
    std::vector<std::string> lines;
    static constexpr std::size_t kKeptLines = 10000; // in memory; the file keeps everything
};

} // namespace vistrel::uvcemu
