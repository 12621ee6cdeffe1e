#include "RequestLog.h"

namespace vistrel::uvcemu {

RequestLog::RequestLog(const std::string& p) : path(p), file(std::fopen(p.c_str(), "a")) {}

RequestLog::~RequestLog()
{
    if (file)
        std::fclose(file);
}

void RequestLog::Line(const std::string& line)
{
    if (lines.size() < kKeptLines)
        lines.push_back(line);
    if (file) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fflush(file);
    }
}

} // namespace vistrel::uvcemu
