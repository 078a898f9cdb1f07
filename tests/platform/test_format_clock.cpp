// Formatting of the program's texts, one-line texts and the local-time helpers.
#include "platform/core/clock.h"
#include "platform/core/format.h"
#include "platform/core/line_text.h"
#include "tests/support/tz_guard.h"

#include <gtest/gtest.h>

#include <string>

TEST(Format, FormatsIntoStringsOfAnyLength)
{
    EXPECT_EQ(platform::format(" %02d:%02d:%02d ", 1, 2, 5), " 01:02:05 ");
    EXPECT_EQ(platform::format("%02d", -1), "-1");
    EXPECT_EQ(platform::format("%s", ""), "");
    const std::string big(10000, 'x');
    EXPECT_EQ(platform::format("[%s]", big.c_str()), "[" + big + "]");
}

TEST(LineText, ShortLinesTakeTheFirstNonEmptyLineWithinTheirLengthAndShowControls)
{
    const struct {
        std::string text;
        std::size_t maxChars;
        std::string line;
    } cases[] = {
        {"wake up\r\nmore", 200, "wake up"},
        {"\n\r\nleading\nbreaks", 200, "leading"},
        {"\r\n", 200, ""},
        {"bell\a esc\x1b[2J del\x7f tab\t", 200, "bell\u2407 esc\u241b[2J del\u2421 tab\u2409"},
        {"c1 \xc2\x9b dropped, \xc2\xa0 kept", 200, "c1  dropped, \xc2\xa0 kept"},
        {"abcdef", 4, "abcd"},
        {"\xc3\xa9t\xc3\xa9", 2, "\xc3\xa9t"}, // a character is its whole UTF-8 sequence
        {"\xff\xfe\xfd", 2, "\xff\xfe"},          // invalid bytes count one each
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::shortLine(c.text, c.maxChars), c.line) << c.text;
    EXPECT_EQ(platform::withVisibleControls(std::string("a\0b", 3)), "a\u2400b");
    const std::string huge(64 << 20, 'x');
    EXPECT_EQ(platform::shortLine(huge, 200).size(), 200u);
}

TEST(Clock, LocalComponentsFollowTheTimeZone)
{
    TzGuard tz("UTC0");
    // 2026-12-07 14:30:05 UTC
    const platform::Time t = 1796653805;
    const auto parts = platform::localTimeOfDay(t);
    EXPECT_EQ(parts.hour, 14);
    EXPECT_EQ(parts.minute, 30);
    EXPECT_EQ(parts.second, 5);
    const auto date = platform::localDate(t);
    EXPECT_EQ(date.year, 2026);
    EXPECT_EQ(date.month, 12);
    EXPECT_EQ(date.day, 7);

    TzGuard berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(platform::localTimeOfDay(t).hour, 15);
}

TEST(Clock, FailedConversionsGiveMinusOneAndZero)
{
    TzGuard tz("UTC0");
    const platform::Time huge = INT64_MAX;
    const auto parts = platform::localTimeOfDay(huge);
    EXPECT_EQ(parts.hour, -1);
    EXPECT_EQ(parts.minute, -1);
    EXPECT_EQ(parts.second, -1);
    EXPECT_EQ(platform::localDate(huge).year, 0);
}

TEST(Clock, MakeLocalTimeInvertsTheComponents)
{
    TzGuard tz("CET-1CEST,M3.5.0,M10.5.0/3");
    const platform::Time t = platform::makeLocalTime(2026, 7, 1, 8, 15, 30);
    ASSERT_NE(t, -1);
    const auto parts = platform::localTimeOfDay(t);
    EXPECT_EQ(parts.hour, 8);
    EXPECT_EQ(parts.minute, 15);
    EXPECT_EQ(parts.second, 30);
    EXPECT_EQ(platform::localDate(t).month, 7);
    EXPECT_EQ(platform::makeLocalTime(2026, 7, 1, 0, 0, 0) + 8 * 3600 + 15 * 60 + 30, t);
}
