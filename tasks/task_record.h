// One stored alarm: what it waits for and what it then does.
#pragma once

#include "platform/core/clock.h"

#include <cstdint>
#include <string>

constexpr std::int32_t ACTION_BEEP = 0;
constexpr std::int32_t ACTION_RUN = 1;

struct TaskRecord {
    std::uint8_t bCountUp = 0;
    std::uint8_t bAtTime = 0;
    std::int32_t nBeepHz = 0;
    std::int32_t nBeepMs = 0;
    std::string strDescription; // 8-bit bytes, may hold CR and LF
    std::string strRunFile;     // 8-bit bytes
    platform::Time timeAt = 0;
    std::int64_t spanDelay = 0; // seconds
    std::int32_t nAction = ACTION_BEEP;

    bool operator==(const TaskRecord&) const = default;
};

// Hours (whole days dropped), minutes and seconds of a span of seconds, by truncating division.
struct SpanParts {
    int hours;
    int minutes;
    int seconds;
};
SpanParts spanParts(std::int64_t seconds);

// Local hour, minute and second of a time value; -1 each when the conversion fails.
platform::TimeOfDay timeParts(platform::Time t);
