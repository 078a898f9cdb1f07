// Clock components of a task's span and time.
#include "tasks/task_record.h"

SpanParts spanParts(std::int64_t seconds)
{
    // Truncating division throughout, so a negative span gives negative parts.
    using platform::kSecondsPerDay, platform::kSecondsPerHour, platform::kSecondsPerMinute;
    const std::int64_t hours = seconds / kSecondsPerHour - (seconds / kSecondsPerDay) * 24;
    const std::int64_t minutes = seconds / kSecondsPerMinute - (seconds / kSecondsPerHour) * 60;
    const std::int64_t rest = seconds - (seconds / kSecondsPerMinute) * kSecondsPerMinute;
    return {int(hours), int(minutes), int(rest)};
}

platform::TimeOfDay timeParts(platform::Time t) { return platform::localTimeOfDay(t); }
