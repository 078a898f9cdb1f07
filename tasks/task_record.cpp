// Clock components of a task's span and time.
#include "tasks/task_record.h"

SpanParts spanParts(std::int64_t seconds)
{
    // Truncating division throughout, so a negative span gives negative parts.
    const std::int64_t hours = seconds / 3600 - (seconds / 86400) * 24;
    const std::int64_t minutes = seconds / 60 - (seconds / 3600) * 60;
    const std::int64_t rest = seconds - (seconds / 60) * 60;
    return {int(hours), int(minutes), int(rest)};
}

platform::TimeOfDay timeParts(platform::Time t) { return platform::localTimeOfDay(t); }
