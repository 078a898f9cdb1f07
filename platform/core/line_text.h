// Short texts for one-line places: a description's first line, and a clock's digits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The text up to its first line break (CR or LF); the whole text when it has none.
std::string_view firstLine(std::string_view text);
// The first line, followed by "..." when more lines follow it.
std::string firstLineMarked(std::string_view text);
// The text with each control character (C0 and DEL) shown as its Unicode control picture, and the C1
// controls of UTF-8 dropped, so that a title never carries an escape sequence or a bell.
std::string withVisibleControls(std::string_view text);
// The first line that is not empty, cut after `maxChars` characters (a UTF-8 sequence stays whole, any
// other byte counts as one), with visible controls. Reads no further than it keeps: huge texts cost nothing.
std::string shortLine(std::string_view text, std::size_t maxChars);
// "HH:MM:SS", each part two digits at least.
std::string clockDigits(int hours, int minutes, int seconds);

} // namespace platform
