// Time values (signed 64-bit seconds since 1970 UTC) and their local-time components.
#pragma once

#include <cstdint>

namespace platform {

using Time = std::int64_t;

// The wall clock, straight from the system. Windows read the clock through the Desktop seam instead.
Time systemNow();

// Local hour, minute and second of a time value; each is -1 when the conversion fails.
struct TimeOfDay {
    int hour = -1;
    int minute = -1;
    int second = -1;
};
TimeOfDay localTimeOfDay(Time t);

constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 60 * kSecondsPerMinute;
constexpr int kSecondsPerDay = 24 * kSecondsPerHour;

// Seconds since midnight; failed (-1) components count as they are.
constexpr std::int32_t secondsOfDay(const TimeOfDay& parts)
{
    return parts.hour * kSecondsPerHour + parts.minute * kSecondsPerMinute + parts.second;
}

// Local calendar date of a time value; each is 0 when the conversion fails.
struct LocalDate {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;
};
LocalDate localDate(Time t);

// Local date and time to a time value, daylight saving left to the C library; -1 when it fails.
Time makeLocalTime(int year, int month, int day, int hour, int minute, int second);

} // namespace platform
