// Tests of TASKS.BIN: its bytes, round trips, cut and damaged files, and safe saving.
#include "tests/support/byte_files.h"
#include "platform/core/errors.h"
#include "tasks/task_file.h"
#include "tasks/task_file_guard.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <grp.h>
#include <limits>
#include <csignal>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using I32 = std::numeric_limits<std::int32_t>;
using I64 = std::numeric_limits<std::int64_t>;

TaskRecord makeRecord(std::uint8_t flags, std::int32_t hz, std::string description, std::string runFile,
                      std::int64_t at, std::int64_t delay, std::int32_t action)
{
    TaskRecord r;
    r.bCountUp = flags & 1;
    r.bAtTime = (flags >> 1) & 1;
    r.nBeepHz = hz;
    r.nBeepMs = hz / 2 + 7;
    r.strDescription = std::move(description);
    r.strRunFile = std::move(runFile);
    r.timeAt = at;
    r.spanDelay = delay;
    r.nAction = action;
    return r;
}

// A scratch record whose every field differs from anything the tests write.
TaskRecord sentinel()
{
    return makeRecord(0, -12345, "sentinel description", "sentinel run file", -777, -888, -999);
}

TaskList listOf(std::initializer_list<TaskRecord> records)
{
    TaskList list;
    for (const TaskRecord& r : records)
        list.Append(r);
    return list;
}

void expectSameList(const TaskList& actual, const TaskList& expected)
{
    ASSERT_EQ(actual.Count(), expected.Count());
    for (int i = 0; i < expected.Count(); ++i)
        EXPECT_EQ(actual.At(i), expected.At(i)) << "record " << i;
}

class TaskFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    fs::path dir() const { return m_dir.path().toStdString(); }
    fs::path tasksFile() const { return dir() / tasks::kTaskFileName; }

    // Loads `bytes` as TASKS.BIN into a fresh list, with `scratch` starting as the sentinel.
    TaskList loadBytes(const Bytes& bytes, TaskRecord& scratch, tasks::LoadOutcome* outcome = nullptr) const
    {
        writeBytes(tasksFile(), bytes);
        TaskList list;
        scratch = sentinel();
        const tasks::LoadOutcome found = tasks::loadTasks(tasksFile(), list, scratch);
        if (outcome)
            *outcome = found;
        return list;
    }

    TaskList roundTrip(const TaskList& list) const
    {
        EXPECT_TRUE(tasks::saveTasks(tasksFile(), list));
        TaskRecord scratch;
        TaskList loaded;
        tasks::loadTasks(tasksFile(), loaded, scratch);
        return loaded;
    }

    // A guard that has loaded TASKS.BIN into `list`, as a run starts.
    tasks::TaskFileGuard loadedGuard(TaskList& list) const
    {
        tasks::TaskFileGuard guard(tasksFile());
        TaskRecord scratch;
        guard.load(list, scratch);
        return guard;
    }

    std::vector<std::string> dirEntries() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    QTemporaryDir m_dir;
};

// ---- The bytes of a record ----

// One record, every byte written out by hand.
TaskRecord goldenRecord() { return makeRecord(1, 880, "Tea\r\nnow", "/usr/bin/true", 1700000000, -90061, ACTION_RUN); }

Bytes goldenBytes()
{
    return bytesOf({0x01, 0x00,                                                // bCountUp, bAtTime
                    0x70, 0x03, 0x00, 0x00,                                    // nBeepHz 880
                    0xBF, 0x01, 0x00, 0x00,                                    // nBeepMs 447
                    0x08, 'T', 'e', 'a', 0x0D, 0x0A, 'n', 'o', 'w',            // strDescription
                    0x0D, '/', 'u', 's', 'r', '/', 'b', 'i', 'n', '/', 't', 'r', 'u', 'e', // strRunFile
                    0x00, 0xF1, 0x53, 0x65, 0x00, 0x00, 0x00, 0x00,            // timeAt 1700000000
                    0x33, 0xA0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,            // spanDelay -90061
                    0x01, 0x00, 0x00, 0x00});                                  // nAction ACTION_RUN
}

TEST_F(TaskFileTest, SavedRecordHasTheGoldenBytes)
{
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), listOf({goldenRecord()})));
    EXPECT_EQ(readBytes(tasksFile()), goldenBytes());
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), listOf({goldenRecord(), goldenRecord()})));
    EXPECT_EQ(readBytes(tasksFile()), goldenBytes() + goldenBytes());
    // The fuzz target trusts writeTasks to write what a save puts on the disk.
    struct MemorySink : platform::ByteSink {
        bool write(const char* data, std::size_t size) override { return bytes.append(data, size), true; }
        std::string errorText() const override { return {}; }
        std::string bytes;
    } sink;
    tasks::writeTasks(sink, tasks::kTaskFileName, listOf({goldenRecord(), goldenRecord()}));
    EXPECT_EQ(sink.bytes, readBytes(tasksFile()));
}

TEST_F(TaskFileTest, GoldenBytesLoadAsTheRecord)
{
    TaskRecord scratch;
    const TaskList list = loadBytes(goldenBytes() + goldenBytes(), scratch);
    expectSameList(list, listOf({goldenRecord(), goldenRecord()}));
    EXPECT_EQ(scratch, goldenRecord());
}

TEST_F(TaskFileTest, EmptyListIsAnEmptyFile) // loading one is the cut at 0 further down
{
    writeBytes(tasksFile(), "old bytes");
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), TaskList()));
    EXPECT_EQ(fs::file_size(tasksFile()), 0u);
}

TEST_F(TaskFileTest, FlagsAreStoredAsOneForAnyNonZero)
{
    TaskRecord odd = goldenRecord();
    odd.bCountUp = 7;
    odd.bAtTime = 0x80;
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), listOf({odd})));
    EXPECT_EQ(readBytes(tasksFile()).substr(0, 2), bytesOf({1, 1}));

    Bytes fives = goldenBytes();
    fives[0] = 5;
    fives[1] = 5;
    TaskRecord scratch;
    const TaskList list = loadBytes(fives, scratch);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0).bCountUp, 1);
    EXPECT_EQ(list.At(0).bAtTime, 1);
}

// ---- Round trips ----

std::string letters(std::size_t length)
{
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        text[i] = char('A' + i % 26);
    return text;
}

TEST_F(TaskFileTest, EveryFieldRoundTrips)
{
    TaskList list;
    const Bytes notUtf8 = bytesOf({0xFF, 0xFE, 0x80, 0xC3, 0x28, 0xE9, 'x', 0xA0});
    list.Append(makeRecord(3, I32::min(), "line one\r\nline two\r\n", notUtf8, I64::min(), I64::max(), I32::max()));
    list.Append(makeRecord(0, I32::max(), "", "", I64::max(), I64::min(), I32::min()));
    list.Append(makeRecord(1, -1, notUtf8 + "\r\n", "C:\\x\\y.exe", -1, -1, -1));
    list.Append(makeRecord(2, 0, "\r\n\r\n", " spaces ", 0, 0, ACTION_BEEP));
    for (std::size_t length : {127u, 128u, 254u, 255u, 65533u, 65534u, 65535u, 70000u})
        list.Append(makeRecord(1, int(length), letters(length), letters(length / 2 + 1), -std::int64_t(length),
                               std::int64_t(length) << 33, ACTION_RUN));
    expectSameList(roundTrip(list), list);
}

TEST_F(TaskFileTest, SixteenBitTextLoadsAsUtf8AndSavesAsEightBit)
{
    Bytes bytes = bytesOf({0, 1}) + littleEndian(500, 4) + littleEndian(100, 4);
    bytes += bytesOf({0xFF, 0xFE, 0xFF, 3, 'T', 0, 0xE9, 0, 0xAC, 0x20}); // "Té€" in UTF-16LE
    bytes += bytesOf({0xFF, 0xFE, 0xFF, 0});                            // empty 16-bit run file
    bytes += littleEndian(42, 8) + littleEndian(-5, 8) + littleEndian(0, 4);
    TaskRecord scratch;
    const TaskList list = loadBytes(bytes, scratch);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.At(0).strDescription, "T\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(list.At(0).strRunFile, "");
    EXPECT_EQ(list.At(0).spanDelay, -5);

    ASSERT_TRUE(tasks::saveTasks(tasksFile(), list));
    const Bytes saved = bytesOf({0, 1}) + littleEndian(500, 4) + littleEndian(100, 4) + bytesOf({6}) +
                        "T\xC3\xA9\xE2\x82\xAC" + bytesOf({0}) + littleEndian(42, 8) + littleEndian(-5, 8) +
                        littleEndian(0, 4);
    EXPECT_EQ(readBytes(tasksFile()), saved);
}

// ---- Cut and damaged files ----

TaskList manyRecords(int count)
{
    TaskList list;
    for (int i = 0; i < count; ++i)
        list.Append(makeRecord(std::uint8_t(i & 3), i, "task " + std::to_string(i), letters(std::size_t(i % 40)), i,
                               -i, i % 2));
    return list;
}


// Where each of a record's nine fields ends, counted from the record's start.
std::vector<std::size_t> fieldEnds(const TaskRecord& r)
{
    auto prefix = [](std::size_t n) -> std::size_t { return n < 255 ? 1 : 3; };
    const std::size_t sizes[] = {1, 1, 4, 4, prefix(r.strDescription.size()) + r.strDescription.size(),
                                 prefix(r.strRunFile.size()) + r.strRunFile.size(), 8, 8, 4};
    std::vector<std::size_t> ends;
    std::size_t end = 0;
    for (std::size_t size : sizes)
        ends.push_back(end += size);
    return ends;
}

// `base` with the first `fields` fields of `from`, as a loader leaves a record cut after them.
TaskRecord overlay(TaskRecord base, const TaskRecord& from, std::size_t fields)
{
    if (fields > 0) base.bCountUp = from.bCountUp;
    if (fields > 1) base.bAtTime = from.bAtTime;
    if (fields > 2) base.nBeepHz = from.nBeepHz;
    if (fields > 3) base.nBeepMs = from.nBeepMs;
    if (fields > 4) base.strDescription = from.strDescription;
    if (fields > 5) base.strRunFile = from.strRunFile;
    if (fields > 6) base.timeAt = from.timeAt;
    if (fields > 7) base.spanDelay = from.spanDelay;
    if (fields > 8) base.nAction = from.nAction;
    return base;
}

TaskList threeRecords()
{
    return listOf({makeRecord(3, 100, "first", "", 11, 12, ACTION_BEEP),
                   makeRecord(2, 200, "second\r\nrecord", letters(300), -21, -22, ACTION_RUN),
                   makeRecord(1, 300, "", "/bin/third", I64::max(), I64::min(), 7)});
}

// What a file of `records` cut after `cut` bytes must load: the complete records, and the scratch.
std::pair<TaskList, TaskRecord> expectedAfterCut(const TaskList& records, std::size_t cut)
{
    TaskList complete;
    TaskRecord scratch = sentinel();
    std::size_t start = 0;
    for (int i = 0; i < records.Count(); ++i) {
        const std::vector<std::size_t> ends = fieldEnds(records.At(i));
        const auto fieldsRead = std::size_t(std::upper_bound(ends.begin(), ends.end(), cut - start) - ends.begin());
        scratch = overlay(scratch, records.At(i), fieldsRead);
        if (fieldsRead < ends.size())
            break;
        complete.Append(scratch);
        start += ends.back();
    }
    return {complete, scratch};
}

TEST_F(TaskFileTest, FileCutAtEveryOffsetLoadsTheCompleteRecords)
{
    const TaskList records = threeRecords();
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), records));
    const Bytes whole = readBytes(tasksFile());
    ASSERT_EQ(whole.size(), fieldEnds(records.At(0)).back() + fieldEnds(records.At(1)).back() +
                                fieldEnds(records.At(2)).back());
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        TaskRecord scratch;
        tasks::LoadOutcome outcome;
        const TaskList loaded = loadBytes(whole.substr(0, cut), scratch, &outcome);
        const auto [expectedList, expectedScratch] = expectedAfterCut(records, cut);
        SCOPED_TRACE("cut at " + std::to_string(cut));
        expectSameList(loaded, expectedList);
        EXPECT_EQ(scratch, expectedScratch);
        // The report names where the first record not loaded begins, and stays quiet at a record boundary.
        std::size_t completeBytes = 0;
        for (int i = 0; i < expectedList.Count(); ++i)
            completeBytes += fieldEnds(records.At(i)).back();
        EXPECT_EQ(outcome.tasksRead, expectedList.Count());
        EXPECT_EQ(outcome.stopOffset, completeBytes);
        EXPECT_EQ(outcome.fileSize, cut);
        EXPECT_EQ(outcome.kind, completeBytes == cut ? tasks::LoadOutcome::Kind::Complete
                                                     : tasks::LoadOutcome::Kind::Stopped);
    }
}

TEST_F(TaskFileTest, HugeLengthPrefixLoadsNothingAndAllocatesLittle)
{
    // Flags, two 32-bit fields, then a description claiming 0xFFFFFFFE bytes: 30 bytes in all.
    const Bytes bytes = bytesOf({1, 0}) + littleEndian(9, 4) + littleEndian(8, 4) +
                        bytesOf({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}) + Bytes(13, 'x');
    ASSERT_EQ(bytes.size(), 30u);
    g_largestAllocation = 0;
    TaskRecord scratch;
    tasks::LoadOutcome outcome;
    EXPECT_EQ(loadBytes(bytes, scratch, &outcome).Count(), 0);
    EXPECT_LT(g_largestAllocation.load(), std::size_t(1) << 20);
    EXPECT_EQ(outcome.kind, tasks::LoadOutcome::Kind::Stopped);
    EXPECT_EQ(outcome.stopOffset, 0u);
    TaskRecord expected = sentinel();
    expected.bCountUp = 1;
    expected.bAtTime = 0;
    expected.nBeepHz = 9;
    expected.nBeepMs = 8;
    EXPECT_EQ(scratch, expected);
}

TEST_F(TaskFileTest, MissingFileReadsNothingQuietlyAndANonRegularOneSaysWhy)
{
    TaskList list = listOf({goldenRecord()});
    TaskRecord scratch = sentinel();
    EXPECT_EQ(tasks::loadTasks(dir() / "absent.bin", list, scratch).kind, tasks::LoadOutcome::Kind::Missing);
    ASSERT_EQ(::mkfifo((dir() / "fifo").c_str(), 0600), 0);
    // Nobody writes to the FIFO: a blocking open would never return. Opening a device can act on it, so
    // nothing that is not a regular file may be opened at all: the watch sees any open of the folder or the FIFO.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, dir().c_str(), IN_OPEN), 0);
    const std::pair<fs::path, std::string> unreadable[] = {{dir(), "Is a directory"},
                                                           {dir() / "fifo", "Not a regular file"},
                                                           {"/dev/null", "Not a regular file"}};
    for (const auto& [path, reason] : unreadable) {
        const tasks::LoadOutcome outcome = tasks::loadTasks(path, list, scratch);
        EXPECT_EQ(outcome.kind, tasks::LoadOutcome::Kind::Unreadable) << path;
        EXPECT_EQ(outcome.reason, reason);
    }
    char event[sizeof(inotify_event) + NAME_MAX + 1];
    EXPECT_LT(::read(watch, event, sizeof event), 0) << "a file that is not regular was opened";
    ::close(watch);
    expectSameList(list, listOf({goldenRecord()}));
    EXPECT_EQ(scratch, sentinel());
}

// Ten records, then a length prefix that claims more than the file holds, in a sparse file of 1 GiB.
TEST_F(TaskFileTest, MemoryFollowsTheRecordsReadNotTheFileSize)
{
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), manyRecords(10)));
    const std::uintmax_t recordBytes = fs::file_size(tasksFile());
    writeBytes(tasksFile(), readBytes(tasksFile()) + bytesOf({0, 0}) + Bytes(8, 'x') + bytesOf({0xFF, 0xFF, 0xFF}) +
                                littleEndian(0xFFFFFFF0, 4));
    fs::resize_file(tasksFile(), std::uintmax_t(1) << 30);
    g_largestAllocation = 0;
    TaskList list;
    TaskRecord scratch;
    const tasks::LoadOutcome outcome = tasks::loadTasks(tasksFile(), list, scratch);
    EXPECT_LT(g_largestAllocation.load(), std::size_t(2) << 20); // one block of the list
    expectSameList(list, manyRecords(10));
    EXPECT_EQ(outcome.kind, tasks::LoadOutcome::Kind::Stopped);
    EXPECT_EQ(outcome.stopOffset, recordBytes);
    EXPECT_EQ(outcome.fileSize, std::uint64_t(1) << 30);
}

// ---- Saving safely ----

enum class Step { Write, Sync, Commit, FolderSync };

// Passes everything on to the real file until `step` (a write after the first `budget` bytes),
// which then fails with the reason the system gives for it.
class FailingSink : public tasks::SaveSink {
public:
    FailingSink(tasks::SaveSink& inner, Step step, std::size_t budget) : m_inner(inner), m_step(step), m_budget(budget) {}
    bool write(const char* data, std::size_t size) override
    {
        if (m_step == Step::Write && size > m_budget)
            return false;
        m_budget -= std::min(size, m_budget);
        return m_inner.write(data, size);
    }
    bool sync() override { return m_step != Step::Sync && m_inner.sync(); }
    bool commit() override { return m_step != Step::Commit && m_inner.commit() && m_step != Step::FolderSync; }
    std::string errorText() const override { return reasonOf(m_step); }

    static std::string reasonOf(Step step) { return step == Step::Write ? "No space left on device" : "Input/output error"; }

private:
    tasks::SaveSink& m_inner;
    Step m_step;
    std::size_t m_budget;
};

tasks::SinkWrapper failAt(Step step, std::size_t budget = 0)
{
    return [=](tasks::SaveSink& inner) { return std::make_unique<FailingSink>(inner, step, budget); };
}

tasks::SinkWrapper failAfter(std::size_t budget) { return failAt(Step::Write, budget); }

void expectFileErrorNamingTasksBin(const std::function<void()>& save,
                                   const std::string& reason = "No space left on device")
{
    try {
        save();
        ADD_FAILURE() << "no error raised";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.fileName(), "TASKS.BIN");
        EXPECT_EQ(error.reason(), reason);
        EXPECT_NE(error.userMessage().find(reason), std::string::npos);
    }
}

TEST_F(TaskFileTest, WriteSyncOrCommitFailingSaysWhyAndKeepsTheOldFileUntilTheRename)
{
    const TaskList list = manyRecords(2000);
    for (Step step : {Step::Write, Step::Sync, Step::Commit}) {
        writeBytes(tasksFile(), "the previous tasks");
        ::chmod(tasksFile().c_str(), 0640);
        expectFileErrorNamingTasksBin([&] { tasks::saveTasks(tasksFile(), list, failAt(step, 3 * 4096)); },
                                      FailingSink::reasonOf(step));
        EXPECT_EQ(readBytes(tasksFile()), "the previous tasks");
        EXPECT_EQ(fs::status(tasksFile()).permissions(), fs::perms(0640));
        EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
    }
    // Once renamed the new file is in place: the error must not claim the old one is still there.
    expectFileErrorNamingTasksBin([&] { tasks::saveTasks(tasksFile(), listOf({goldenRecord()}), failAt(Step::FolderSync)); },
                                  "the tasks were written but may not survive a crash (the folder could not be "
                                  "synced: Input/output error)");
    EXPECT_EQ(readBytes(tasksFile()), goldenBytes());
}

TEST_F(TaskFileTest, FailedFirstSaveCreatesNoFile)
{
    expectFileErrorNamingTasksBin([&] { tasks::saveTasks(tasksFile(), manyRecords(10), failAfter(0)); });
    EXPECT_TRUE(dirEntries().empty());
}

TEST_F(TaskFileTest, SaveReplacesALongerFileKeepsItsModeOwnerAndGroupAndLeavesNothingElse)
{
    // Root may give the file to anyone, so as root it belongs to nobody:nogroup; others keep their own.
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
    for (mode_t mode : {0640, 0604, 0777, 02660, 0200}) {
        writeBytes(tasksFile(), Bytes(100000, 'o'));
        ASSERT_EQ(::chown(tasksFile().c_str(), owner, group), 0);
        ASSERT_EQ(::chmod(tasksFile().c_str(), mode), 0);
        ASSERT_TRUE(tasks::saveTasks(tasksFile(), listOf({goldenRecord()})));
        struct stat saved {};
        ASSERT_EQ(::stat(tasksFile().c_str(), &saved), 0);
        EXPECT_EQ(saved.st_mode & 07777, mode);
        EXPECT_EQ(saved.st_uid, owner);
        EXPECT_EQ(saved.st_gid, group);
        EXPECT_EQ(readBytes(tasksFile()), goldenBytes());
        EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
    }
}

TEST_F(TaskFileTest, FileThatNobodyMayWriteIsRefusedEvenToRoot)
{
    for (mode_t mode : {0444, 0400, 0}) {
        writeBytes(tasksFile(), "old tasks");
        ASSERT_EQ(::chmod(tasksFile().c_str(), mode), 0);
        EXPECT_EQ(tasks::saveTasks(tasksFile(), listOf({goldenRecord()})).refusal, "the file is read-only");
        EXPECT_EQ(readBytes(tasksFile()), "old tasks");
        EXPECT_EQ(fs::status(tasksFile()).permissions(), fs::perms(mode));
        EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
        ::chmod(tasksFile().c_str(), 0600);
    }
}

// ---- What one run may do to the file it loaded ----

TEST_F(TaskFileTest, DamagedFileIsKeptUnderAFreshNameBeforeTheFirstSave)
{
    const Bytes damaged = goldenBytes() + goldenBytes().substr(0, 20);
    writeBytes(dir() / "TASKS.BIN.damaged", "an earlier copy");
    for (const char* expectedCopy : {"TASKS.BIN.damaged-2", "TASKS.BIN.damaged-3"}) {
        writeBytes(tasksFile(), damaged);
        tasks::TaskFileGuard guard(tasksFile());
        TaskList list;
        TaskRecord scratch;
        guard.load(list, scratch);
        const std::string notice = guard.loadNotice().value_or("");
        SCOPED_TRACE(notice);
        for (const std::string part : {"TASKS.BIN", "Tasks read: 1.", "byte 53 of 73", expectedCopy})
            EXPECT_NE(notice.find(part), std::string::npos) << part;
        list.Append(goldenRecord());
        ASSERT_TRUE(guard.save(list));
        ASSERT_TRUE(guard.save(list)); // a second save makes no second copy
        EXPECT_EQ(readBytes(dir() / expectedCopy), damaged);
        EXPECT_EQ(readBytes(tasksFile()), goldenBytes() + goldenBytes());
    }
    EXPECT_EQ(readBytes(dir() / "TASKS.BIN.damaged"), "an earlier copy");
    EXPECT_EQ(dirEntries().size(), 4u);
}

TEST_F(TaskFileTest, FileAnotherProgramChangedOrPutThereIsKeptOnceBeforeTheSave)
{
    writeBytes(dir() / "TASKS.BIN.changed", "an earlier copy");
    for (bool missingAtStart : {false, true}) {
        fs::remove(tasksFile());
        if (!missingAtStart)
            writeBytes(tasksFile(), goldenBytes());
        tasks::TaskFileGuard guard(tasksFile());
        TaskList list;
        TaskRecord scratch;
        guard.load(list, scratch);
        list.Append(goldenRecord());
        if (!missingAtStart) { // this run's own save is no change
            EXPECT_EQ(guard.save(list).notice, std::nullopt);
        }
        writeBytes(tasksFile(), "another program's tasks");
        const std::string copy = missingAtStart ? "TASKS.BIN.changed-3" : "TASKS.BIN.changed-2";
        const tasks::SaveResult saved = guard.save(list);
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved.notice, "TASKS.BIN was changed by another program since Pelmora read it. That version was "
                                "kept as " + copy + ", and the tasks shown were saved in its place.");
        EXPECT_EQ(readBytes(dir() / copy), "another program's tasks");
        EXPECT_EQ(readBytes(tasksFile()), missingAtStart ? goldenBytes() : goldenBytes() + goldenBytes());
        EXPECT_EQ(guard.save(list).notice, std::nullopt); // kept and told once
    }
    EXPECT_EQ(readBytes(dir() / "TASKS.BIN.changed"), "an earlier copy");
    EXPECT_EQ(dirEntries().size(), 4u);
}

TEST_F(TaskFileTest, UnreadableFileIsNeverReplaced)
{
    ASSERT_EQ(::mkfifo(tasksFile().c_str(), 0666), 0);
    tasks::TaskFileGuard guard(tasksFile());
    TaskList list;
    TaskRecord scratch;
    EXPECT_EQ(guard.load(list, scratch).kind, tasks::LoadOutcome::Kind::Unreadable);
    fs::remove(tasksFile());
    writeBytes(tasksFile(), "unread"); // even once the file could be replaced, this run never does it
    list.Append(goldenRecord());
    EXPECT_EQ(guard.save(list).refusal, "it could not be read at start-up: Not a regular file");
    EXPECT_EQ(readBytes(tasksFile()), "unread");
}

TEST_F(TaskFileTest, SymbolicLinkStaysALinkAndItsTargetIsWrittenOrCreated)
{
    fs::create_directory(dir() / "real");
    writeBytes(dir() / "real" / "data.bin", "old target");
    fs::create_symlink("real/data.bin", tasksFile());
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), listOf({goldenRecord()})));
    EXPECT_EQ(fs::read_symlink(tasksFile()), "real/data.bin");
    EXPECT_EQ(readBytes(dir() / "real" / "data.bin"), goldenBytes());
    EXPECT_EQ(dirEntries(), (std::vector<std::string>{"TASKS.BIN", "real"}));

    fs::remove(tasksFile());
    fs::create_symlink(dir() / "made.bin", tasksFile()); // absolute, to a file not there yet
    ASSERT_TRUE(tasks::saveTasks(tasksFile(), listOf({goldenRecord()})));
    EXPECT_TRUE(fs::is_symlink(tasksFile()));
    EXPECT_EQ(readBytes(dir() / "made.bin"), goldenBytes());
}

TEST_F(TaskFileTest, DirectoryInTheWayIsRefused)
{
    fs::create_directory(tasksFile());
    EXPECT_EQ(tasks::saveTasks(tasksFile(), listOf({goldenRecord()})).refusal, "Is a directory");
    EXPECT_TRUE(fs::is_directory(tasksFile()));
}

// ---- Another program at work on the file during a save ----

// Hooks into the replacing file last as long as one test.
struct HookGuard {
    ~HookGuard()
    {
        tasks::replacing_hooks::beforeReplace = nullptr;
        tasks::replacing_hooks::withoutExchange = false;
        tasks::kept_copy_hooks::withoutLinks = false;
        tasks::temporary_file_hooks::withoutUnnamed = false;
    }
};

// Runs `change` when the save syncs its new file: the old version is then untouched and the rename not done.
class ChangingSink : public tasks::SaveSink {
public:
    ChangingSink(tasks::SaveSink& inner, std::function<void()> change) : m_inner(inner), m_change(std::move(change)) {}
    bool write(const char* data, std::size_t size) override { return m_inner.write(data, size); }
    bool sync() override
    {
        m_change();
        return m_inner.sync();
    }
    bool commit() override { return m_inner.commit(); }
    std::string errorText() const override { return m_inner.errorText(); }

private:
    tasks::SaveSink& m_inner;
    std::function<void()> m_change;
};

TEST_F(TaskFileTest, VersionAnotherProgramPutsThereDuringTheSaveIsKeptAndTold)
{
    HookGuard hooks;
    const auto renameIn = [&] {
        writeBytes(dir() / "other.bin", "renamed in");
        fs::rename(dir() / "other.bin", tasksFile());
    };
    // The same length, written in place, with the modification time put back: only the change time tells.
    const auto rewriteInPlace = [&] {
        struct stat before {};
        ::stat(tasksFile().c_str(), &before);
        writeBytes(tasksFile(), Bytes(goldenBytes().size(), 'w'));
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ::utimensat(AT_FDCWD, tasksFile().c_str(), times, 0);
    };
    struct Case {
        const char* what;
        bool atTheLastMoment; // between the save's last look and its replacing the file
        bool exchange;
        std::function<void()> change;
        Bytes expectedCopy;
    };
    const Case cases[] = {
        {"renamed in at the last moment", true, true, renameIn, "renamed in"},
        {"renamed in while writing", false, true, renameIn, "renamed in"},
        {"renamed in while writing, no swap", false, false, renameIn, "renamed in"},
        {"rewritten in place, times put back", false, true, rewriteInPlace, Bytes(goldenBytes().size(), 'w')},
        {"rewritten in place, no swap", false, false, rewriteInPlace, Bytes(goldenBytes().size(), 'w')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : dirEntries())
            fs::remove(dir() / name);
        writeBytes(tasksFile(), goldenBytes());
        TaskList list;
        tasks::TaskFileGuard guard = loadedGuard(list);
        list.Append(goldenRecord());
        tasks::replacing_hooks::withoutExchange = !c.exchange;
        tasks::replacing_hooks::beforeReplace = [&](const fs::path&) {
            if (c.atTheLastMoment)
                c.change();
        };
        const tasks::SaveResult saved = guard.save(list, [&](tasks::SaveSink& inner) {
            return std::make_unique<ChangingSink>(inner, c.atTheLastMoment ? std::function<void()>([] {}) : c.change);
        });
        tasks::replacing_hooks::beforeReplace = nullptr;
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved.notice, "TASKS.BIN was changed by another program since Pelmora read it. That version was "
                                "kept as TASKS.BIN.changed, and the tasks shown were saved in its place.");
        EXPECT_EQ(readBytes(dir() / "TASKS.BIN.changed"), c.expectedCopy);
        EXPECT_EQ(readBytes(tasksFile()), goldenBytes() + goldenBytes());
        EXPECT_EQ(dirEntries(), (std::vector<std::string>{"TASKS.BIN", "TASKS.BIN.changed"}));
    }
}

TEST_F(TaskFileTest, StampHoldsTheChangeTime)
{
    writeBytes(tasksFile(), "abc");
    const tasks::FileStamp first = tasks::currentStamp(tasksFile()).value();
    ::usleep(10000);
    ::chmod(tasksFile().c_str(), 0600); // no byte, size or modification time changes
    const tasks::FileStamp second = tasks::currentStamp(tasksFile()).value();
    EXPECT_NE(first, second);
    EXPECT_TRUE(tasks::sameVersionMoved(first, second));
    EXPECT_GT(second.changedSeconds * 1000000000 + second.changedNanoseconds,
              first.changedSeconds * 1000000000 + first.changedNanoseconds);
}

// The folder's sync failing after the rename leaves the new file in place: known as this run's own, no change.
TEST_F(TaskFileTest, FolderSyncFailingAfterTheRenameStillKnowsTheFileAsItsOwn)
{
    writeBytes(tasksFile(), goldenBytes());
    TaskList list;
    tasks::TaskFileGuard guard = loadedGuard(list);
    list.Append(goldenRecord());
    expectFileErrorNamingTasksBin([&] { guard.save(list, failAt(Step::FolderSync)); },
                                  "the tasks were written but may not survive a crash (the folder could not be "
                                  "synced: Input/output error)");
    const tasks::SaveResult again = guard.save(list);
    ASSERT_TRUE(again);
    EXPECT_EQ(again.notice, std::nullopt);
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
}

// A save killed part-way leaves nothing: its file has no name until it is whole. Where the file system has
// no unnamed files, the next start sweeps what it left; it never takes a file a running save holds.
TEST_F(TaskFileTest, SaveKilledPartWayLeavesNothingAndTheSweepTakesOnlyLeftovers)
{
    HookGuard hooks;
    writeBytes(tasksFile(), goldenBytes());
    for (bool unnamed : {true, false}) {
        tasks::temporary_file_hooks::withoutUnnamed = !unnamed;
        const pid_t pid = ::fork();
        if (pid == 0) {
            struct Killing : FailingSink {
                using FailingSink::FailingSink;
                bool write(const char*, std::size_t) override { ::raise(SIGKILL); return false; }
            };
            tasks::saveTasks(tasksFile(), manyRecords(3000),
                             [](tasks::SaveSink& inner) { return std::make_unique<Killing>(inner, Step::Write, 0); });
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(dirEntries().size(), unnamed ? 1u : 2u);
        TaskList list;
        loadedGuard(list);
        EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
        expectSameList(list, listOf({goldenRecord()}));
    }

    for (const char* name : {"TASKS.BIN.saving-0123abcd", "TASKS.BIN.89abcdef", "TASKS.BIN.saving-held0000",
                             "TASKS.BIN.notes", "TASKS.BIN.saving-1234"})
        writeBytes(dir() / name, "left");
    const int held = ::open((dir() / "TASKS.BIN.saving-0000beef").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    TaskList list;
    loadedGuard(list);
    ::close(held);
    EXPECT_EQ(dirEntries(), (std::vector<std::string>{"TASKS.BIN", "TASKS.BIN.notes", "TASKS.BIN.saving-0000beef",
                                                       "TASKS.BIN.saving-1234", "TASKS.BIN.saving-held0000"}));
}

TEST_F(TaskFileTest, DamagedCopyWhosePromisedNameWasTakenMeanwhileSaysWhereItWent)
{
    const Bytes damaged = goldenBytes() + goldenBytes().substr(0, 20);
    writeBytes(tasksFile(), damaged);
    TaskList list;
    tasks::TaskFileGuard guard = loadedGuard(list);
    EXPECT_NE(guard.loadNotice().value_or("").find("kept as TASKS.BIN.damaged when"), std::string::npos);
    writeBytes(dir() / "TASKS.BIN.damaged", "taken meanwhile");
    EXPECT_EQ(guard.save(list).notice, "The damaged TASKS.BIN was kept as TASKS.BIN.damaged-2, since "
                                       "TASKS.BIN.damaged was taken meanwhile.");
    EXPECT_EQ(readBytes(dir() / "TASKS.BIN.damaged-2"), damaged);
    EXPECT_EQ(readBytes(dir() / "TASKS.BIN.damaged"), "taken meanwhile");
}

// Where no link can be made, a damaged file is copied; a copy that fails leaves no part of itself, and the
// message names the name it was to take and the system's reason.
TEST_F(TaskFileTest, DamagedCopyThatFailsLeavesNothingAndSaysWhy)
{
    HookGuard hooks;
    tasks::replacing_hooks::withoutExchange = true;
    tasks::kept_copy_hooks::withoutLinks = true;
    const Bytes damaged = goldenBytes() + bytesOf({0, 0}) + Bytes(8, 'x') + bytesOf({0xFF, 0xFF, 0xFF}) +
                          littleEndian(0xFFFFFFF0, 4) + Bytes(200000, 'x');
    writeBytes(tasksFile(), damaged);
    TaskList list;
    tasks::TaskFileGuard guard = loadedGuard(list);
    const pid_t pid = ::fork();
    if (pid == 0) { // a file size limit stands in for a full disk: the copy fails, the small new file would not
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            guard.save(list);
        } catch (const platform::FileError& error) {
            ::_exit(error.reason() == "the version there could not be kept as TASKS.BIN.damaged (File too large)" ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
    EXPECT_EQ(readBytes(tasksFile()), damaged);
    // Without the limit, the same copy is made whole.
    ASSERT_TRUE(guard.save(list));
    EXPECT_EQ(readBytes(dir() / "TASKS.BIN.damaged"), damaged);
    EXPECT_EQ(readBytes(tasksFile()), goldenBytes());
}

// ---- Saving as a user that permission bits apply to ----

constexpr uid_t kNobody = 65534; // nobody:nogroup

enum class ChildResult { Saved, Refused, RefusedForAnotherReason, Threw, CannotSwitchUser };

// Root passes every permission check, so the save runs in a child switched to nobody:nogroup.
// Refused means refused for `reason`.
ChildResult saveAsNobody(const fs::path& file, const TaskList& list, const std::string& reason = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const uid_t nobody = kNobody;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
            ::setresuid(nobody, nobody, nobody) != 0 || ::geteuid() != nobody)
            ::_exit(int(ChildResult::CannotSwitchUser));
        int result = int(ChildResult::Threw);
        try {
            const tasks::SaveResult saved = tasks::saveTasks(file, list);
            result = int(saved                     ? ChildResult::Saved
                         : saved.refusal == reason ? ChildResult::Refused
                                                   : ChildResult::RefusedForAnotherReason);
        } catch (...) {
        }
        ::_exit(result);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return ChildResult::CannotSwitchUser;
    return ChildResult(WEXITSTATUS(status));
}

class TaskFileOtherUserTest : public TaskFileTest {
protected:
    void SetUp() override
    {
        TaskFileTest::SetUp();
        if (::geteuid() != 0)
            GTEST_SKIP() << "switching to nobody needs root; permission bits apply to this user anyway";
    }
    void TearDown() override { fs::permissions(dir(), fs::perms::owner_all); }

    // A save as nobody: refused by the permission bits, then allowed once they are relaxed,
    // which proves that nothing but those bits stood in the way.
    void expectRefusedThenAllowed(const std::string& reason, const std::function<void()>& relax)
    {
        const ChildResult refused = saveAsNobody(tasksFile(), listOf({goldenRecord()}), reason);
        if (refused == ChildResult::CannotSwitchUser)
            GTEST_SKIP() << "cannot switch to nobody:nogroup (65534) here";
        EXPECT_EQ(refused, ChildResult::Refused);
        EXPECT_EQ(readBytes(tasksFile()), "old tasks");
        EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
        relax();
        EXPECT_EQ(saveAsNobody(tasksFile(), listOf({goldenRecord()})), ChildResult::Saved);
        EXPECT_EQ(readBytes(tasksFile()), goldenBytes());
    }
};

TEST_F(TaskFileOtherUserTest, ReadOnlyFileIsNotReplaced)
{
    writeBytes(tasksFile(), "old tasks");
    ASSERT_EQ(::chown(tasksFile().c_str(), kNobody, kNobody), 0); // nobody's own file: only the mode stands in the way
    fs::permissions(tasksFile(), fs::perms(0444));
    fs::permissions(dir(), fs::perms(0777)); // nobody could rename over the file: the check must stop it
    expectRefusedThenAllowed("the file is read-only", [&] { fs::permissions(tasksFile(), fs::perms(0666)); });
    EXPECT_EQ(fs::status(tasksFile()).permissions(), fs::perms(0666));
}

TEST_F(TaskFileOtherUserTest, UnwritableDirectoryIsRefused)
{
    writeBytes(tasksFile(), "old tasks");
    ASSERT_EQ(::chown(tasksFile().c_str(), kNobody, kNobody), 0);
    fs::permissions(tasksFile(), fs::perms(0666));
    fs::permissions(dir(), fs::perms(0555));
    expectRefusedThenAllowed("Permission denied", [&] { fs::permissions(dir(), fs::perms(0777)); });
}

// Another user's file that anyone may write: in a shared folder the new file could not stay theirs, and in a
// sticky one the rename would be refused at the very end. Both are said before anything is written.
TEST_F(TaskFileOtherUserTest, AnotherUsersFileIsNotTakenOverNorReplacedInAStickyFolder)
{
    const std::pair<mode_t, std::string> folders[] = {
        {0777, "the file belongs to root, and a new file saved by nobody cannot keep that owner (Operation not "
               "permitted)"},
        {01777, "the folder is sticky (mode 1777), so only the file's owner, root, or the folder's may replace it"},
    };
    for (const auto& [mode, reason] : folders) {
        SCOPED_TRACE(reason);
        writeBytes(tasksFile(), "old tasks");
        fs::permissions(tasksFile(), fs::perms(0666));
        ASSERT_EQ(::chmod(dir().c_str(), mode), 0);
        const ChildResult refused = saveAsNobody(tasksFile(), listOf({goldenRecord()}), reason);
        if (refused == ChildResult::CannotSwitchUser)
            GTEST_SKIP() << "cannot switch to nobody:nogroup (65534) here";
        EXPECT_EQ(refused, ChildResult::Refused);
        EXPECT_EQ(readBytes(tasksFile()), "old tasks");
        EXPECT_EQ(fs::status(tasksFile()).permissions(), fs::perms(0666));
        EXPECT_EQ(dirEntries(), std::vector<std::string>{"TASKS.BIN"});
    }
}

} // namespace
