// Formatting of the program's texts and the local-time helpers.
#include "platform/core/clock.h"
#include "platform/core/format.h"
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
