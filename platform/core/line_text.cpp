// Short texts for one-line places: a description's first line, and a clock's digits.
#include "platform/core/line_text.h"

#include "platform/core/format.h"

namespace platform {

namespace {
constexpr std::string_view kLineBreaks = "\r\n";
}

std::string_view boundedPrefix(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    // A continuation byte (10xxxxxx) at the cut belongs to a character that began before it; a character
    // has at most three of them, so bytes that are not UTF-8 at all are cut where they are.
    constexpr std::size_t kMaxContinuationBytes = 3;
    std::size_t end = limit;
    while (end > 0 && limit - end < kMaxContinuationBytes && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
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
