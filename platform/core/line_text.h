// Short texts for one-line places: a description's first line, and a clock's digits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// How much of a text one-line places (list cells, the title, the notification) ever look at: far more
// than any of them shows, and little enough that a text of gigabytes costs them nothing.
inline constexpr std::size_t kShownTextBytes = 4096;
// The text's first `limit` bytes at most, cut back to the start of a UTF-8 character.
std::string_view boundedPrefix(std::string_view text, std::size_t limit = kShownTextBytes);

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
