#pragma once
#include <cstdint>

namespace vistrel {

// Local date and time, field by field (day of week: 0 = Sunday).
struct CaptureTime
{
    std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0,
                  millisecond = 0;
};

CaptureTime LocalTimeNow();

} // namespace vistrel
