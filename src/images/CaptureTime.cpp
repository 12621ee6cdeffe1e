#include "images/CaptureTime.h"

#include <QDateTime>

namespace vistrel {

CaptureTime LocalTimeNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    auto u16 = [](int v) { return static_cast<std::uint16_t>(v); };
    return CaptureTime{u16(date.year()), u16(date.month()), u16(date.dayOfWeek() % 7), u16(date.day()),
                       u16(time.hour()), u16(time.minute()), u16(time.second()), u16(time.msec())};
}

} // namespace vistrel
