// Time values and their local-time components, on the C library's 64-bit time.
#include "platform/core/clock.h"

#include <ctime>
#include <limits>

namespace platform {

namespace {

bool toLocal(Time t, std::tm& out)
{
    if (t < std::numeric_limits<std::time_t>::min() || t > std::numeric_limits<std::time_t>::max())
        return false;
    const std::time_t value = static_cast<std::time_t>(t);
    return localtime_r(&value, &out) != nullptr;
}

} // namespace

Time systemNow()
{
    return static_cast<Time>(std::time(nullptr));
}

TimeOfDay localTimeOfDay(Time t)
{
    std::tm tm{};
    if (!toLocal(t, tm))
        return {};
    return {tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalDate localDate(Time t)
{
    std::tm tm{};
    if (!toLocal(t, tm))
        return {};
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

Time makeLocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t value = std::mktime(&tm);
    return value == static_cast<std::time_t>(-1) ? -1 : static_cast<Time>(value);
}

} // namespace platform
