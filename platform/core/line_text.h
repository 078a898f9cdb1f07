// Short texts for one-line places: a description's first line, and a clock's digits.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The text up to its first line break (CR or LF); the whole text when it has none.
std::string_view firstLine(std::string_view text);
// The first line, followed by "..." when more lines follow it.
std::string firstLineMarked(std::string_view text);
// "HH:MM:SS", each part two digits at least.
std::string clockDigits(int hours, int minutes, int seconds);

} // namespace platform
