// Short texts for one-line places: a description's first line, and a clock's digits.
#include "platform/core/line_text.h"

#include "platform/core/format.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::string_view kLineBreaks = "\r\n";
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kUtf8C1Lead = 0xC2; // U+0080..U+009F are C2 80..C2 9F
constexpr unsigned char kC1Last = 0x9F;
constexpr std::string_view kDeletePicture = "\u2421";
constexpr char32_t kControlPictures = 0x2400; // U+2400 + code shows C0 code `code`

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

void appendControlPicture(std::string& out, unsigned char code)
{
    const char32_t picture = kControlPictures + code; // three UTF-8 bytes: E2 90 80+code
    out += char(0xE0 | (picture >> 12));
    out += char(0x80 | ((picture >> 6) & 0x3F));
    out += char(0x80 | (picture & 0x3F));
}

} // namespace

std::string_view boundedPrefix(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    // A continuation byte at the cut belongs to a character that began before it; a character has at
    // most three of them, so bytes that are not UTF-8 at all are cut where they are.
    constexpr std::size_t kMaxContinuationBytes = 3;
    std::size_t end = limit;
    while (end > 0 && limit - end < kMaxContinuationBytes && isContinuation(static_cast<unsigned char>(text[end])))
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

std::string withVisibleControls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < kFirstPrintable)
            appendControlPicture(out, byte);
        else if (byte == kDelete)
            out += kDeletePicture;
        else if (byte == kUtf8C1Lead && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= kC1Last
                 && isContinuation(static_cast<unsigned char>(text[i + 1])))
            ++i;
        else
            out += char(byte);
    }
    return out;
}

std::string shortLine(std::string_view text, std::size_t maxChars)
{
    const std::size_t start = std::min(text.find_first_not_of(kLineBreaks), text.size());
    std::size_t end = start;
    std::size_t chars = 0;
    for (; end < text.size() && kLineBreaks.find(text[end]) == std::string_view::npos; ++end) {
        if (isContinuation(static_cast<unsigned char>(text[end])) && end > start)
            continue;
        if (chars++ == maxChars)
            break;
    }
    return withVisibleControls(text.substr(start, end - start));
}

std::string clockDigits(int hours, int minutes, int seconds)
{
    return format("%02d:%02d:%02d", hours, minutes, seconds);
}

} // namespace platform
