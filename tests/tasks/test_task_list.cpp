// Tests of task record components and the checked task list.
#include "tests/support/allocation_probe.h"
#include "platform/core/errors.h"
#include "tasks/task_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>

namespace {

TaskRecord record(const char* description, std::int32_t hz = 440)
{
    TaskRecord r;
    r.strDescription = description;
    r.strRunFile = std::string("/bin/") + description;
    r.nBeepHz = hz;
    return r;
}

void expectParts(std::int64_t span, int hours, int minutes, int seconds)
{
    const SpanParts parts = spanParts(span);
    EXPECT_EQ(parts.hours, hours) << "span " << span;
    EXPECT_EQ(parts.minutes, minutes) << "span " << span;
    EXPECT_EQ(parts.seconds, seconds) << "span " << span;
}

// ---- Components ----

TEST(TaskRecordComponents, SpanPartsDropWholeDays)
{
    expectParts(0, 0, 0, 0);
    expectParts(59, 0, 0, 59);
    expectParts(3661, 1, 1, 1);
    expectParts(86400 + 3600 + 60 + 1, 1, 1, 1);
    expectParts(86399, 23, 59, 59);
    expectParts(86400, 0, 0, 0);
    expectParts(std::numeric_limits<std::int64_t>::max(), 15, 30, 7);
}

TEST(TaskRecordComponents, NegativeSpansGiveNegativeParts)
{
    expectParts(-1, 0, 0, -1);
    expectParts(-3661, -1, -1, -1);
    expectParts(-(86400 + 3600 + 60 + 1), -1, -1, -1);
    expectParts(-86399, -23, -59, -59);
    expectParts(std::numeric_limits<std::int64_t>::min(), -15, -30, -8);
}

TEST(TaskRecordComponents, TimePartsAreLocalTimeOfDay)
{
    const platform::Time t = platform::makeLocalTime(2024, 3, 5, 13, 45, 7);
    ASSERT_NE(t, -1);
    const platform::TimeOfDay parts = timeParts(t);
    EXPECT_EQ(parts.hour, 13);
    EXPECT_EQ(parts.minute, 45);
    EXPECT_EQ(parts.second, 7);
    const platform::TimeOfDay later = timeParts(t + 3600 + 60 + 1);
    EXPECT_EQ(later.hour, 14);
    EXPECT_EQ(later.minute, 46);
    EXPECT_EQ(later.second, 8);
}

// ---- The list ----

TEST(TaskList, IndexesAreCheckedAtBothEndsAlsoWhenEmpty)
{
    TaskList list;
    const TaskList& view = list;
    EXPECT_THROW(list.At(0), platform::InvalidArgumentError);
    EXPECT_THROW(view.At(0), platform::InvalidArgumentError);
    EXPECT_THROW(list.RemoveAt(0), platform::InvalidArgumentError);
    list.Append(record("a"));
    list.Append(record("b"));
    EXPECT_EQ(view.At(0).strDescription, "a");
    EXPECT_EQ(list.At(1).strDescription, "b");
    EXPECT_THROW(list.At(2), platform::InvalidArgumentError);
    EXPECT_THROW(view.At(2), platform::InvalidArgumentError);
    EXPECT_THROW(view.At(-1), platform::InvalidArgumentError);
    EXPECT_THROW(list.At(std::numeric_limits<int>::min()), platform::InvalidArgumentError);
    EXPECT_THROW(list.RemoveAt(2), platform::InvalidArgumentError);
    EXPECT_THROW(list.RemoveAt(-1), platform::InvalidArgumentError);
    EXPECT_EQ(list.Count(), 2);
}

TEST(TaskList, AppendCopiesAndCopiesStayIndependent)
{
    TaskRecord original = record("tea");
    TaskList list;
    list.Append(original);
    original.strDescription = "coffee";
    original.strRunFile += "-changed";
    EXPECT_EQ(list.At(0).strDescription, "tea");
    EXPECT_EQ(list.At(0).strRunFile, "/bin/tea");

    list.At(0).strDescription = "edited";
    EXPECT_EQ(original.strDescription, "coffee");

    TaskList copy = list;
    copy.At(0).strDescription = "in the copy";
    EXPECT_EQ(list.At(0).strDescription, "edited");
}

TEST(TaskList, RemoveAtMovesLaterRecordsUp)
{
    TaskList list;
    for (const char* name : {"a", "b", "c", "d"})
        list.Append(record(name));
    list.RemoveAt(1);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.At(0).strDescription, "a");
    EXPECT_EQ(list.At(1).strDescription, "c");
    EXPECT_EQ(list.At(2).strDescription, "d");
    list.RemoveAt(2);
    list.RemoveAt(0);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0), record("c"));
}

TEST(TaskList, RecordsNeverMoveAndAFailedAppendKeepsThem)
{
    TaskList list;
    list.Append(record("kept", 1000));
    for (int i = 1; i < 1024; ++i)
        list.Append(record("r", i));
    const TaskRecord* kept = &list.At(0);
    // Storage for more records runs out: the appends that find room succeed, the first that needs more fails.
    g_failAllocationsFrom = 256;
    int appended = 0;
    bool failed = false;
    while (!failed && appended < 64) {
        try {
            list.Append(record("r", 1024 + appended));
            ++appended;
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    }
    g_failAllocationsFrom = std::numeric_limits<std::size_t>::max();
    EXPECT_TRUE(failed);
    ASSERT_EQ(list.Count(), 1024 + appended);
    list.Append(record("first after the failure"));
    const TaskRecord* first = &list.At(1024 + appended);
    for (int i = 0; i < 2048; ++i)
        list.Append(record("r", i));
    EXPECT_EQ(&list.At(0), kept);
    EXPECT_EQ(&list.At(1024 + appended), first);
    EXPECT_EQ(list.At(0), record("kept", 1000));
    EXPECT_EQ(list.At(1024 + appended), record("first after the failure"));
}

// Appending, removing and cutting carry across the edges of the storage's pieces.
TEST(TaskList, RemoveAndTruncateCarryAcrossStorageBlocks)
{
    constexpr int kCount = 40000;
    TaskList list;
    for (int i = 0; i < kCount; ++i)
        list.Append(record("r", i));
    list.RemoveAt(3);
    ASSERT_EQ(list.Count(), kCount - 1);
    int wrong = 0;
    for (int i = 0; i < kCount - 1; ++i)
        wrong += list.At(i).nBeepHz != (i < 3 ? i : i + 1);
    EXPECT_EQ(wrong, 0);
    EXPECT_THROW(list.At(kCount - 1), platform::InvalidArgumentError);
    for (int cut : {20000, 3072, 1}) {
        list.Truncate(cut);
        list.Append(record("after", -1));
        ASSERT_EQ(list.Count(), cut + 1);
        EXPECT_EQ(list.At(cut - 1).nBeepHz, cut < 4 ? cut - 1 : cut);
        EXPECT_EQ(list.At(cut), record("after", -1));
    }
}

} // namespace
