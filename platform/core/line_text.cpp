// Short texts for one-line places: a description's first line, and a clock's digits.
#include "platform/core/line_text.h"

#include "platform/core/format.h"

namespace platform {

namespace {
constexpr std::string_view kLineBreaks = "\r\n";
}

std::string_view firstLine(std::string_view text)
{
    return text.substr(0, text.find_first_of(kLineBreaks));
}

std::string firstLineMarked(std::string_view text)
{
    const std::string_view line = firstLine(text);
    if (line.size() == text.size())
        return std::string(text);
    // Formatting stops at a NUL byte inside the line, as the list and the title always showed it.
    return format("%s...", std::string(line).c_str());
}

std::string clockDigits(int hours, int minutes, int seconds)
{
    return format("%02d:%02d:%02d", hours, minutes, seconds);
}

} // namespace platform
