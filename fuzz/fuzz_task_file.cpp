// libFuzzer target for the TASKS.BIN loader: any bytes load without a fault, it reports truly how far it got,
// pieces of any size and a read error change nothing but what the error must, and what loads saves and
// reloads equal.
#include "platform/core/errors.h"
#include "tasks/task_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_task_file: %s\n", what);
    std::abort();
}

// The loader opens a path; an in-memory file keeps each run off the disk. One serves the whole process,
// refilled for each load, so that an input costs no file creation.
class MemoryFile {
public:
    MemoryFile() : m_fd(::memfd_create("TASKS.BIN", MFD_CLOEXEC))
    {
        if (m_fd < 0)
            fail("memfd_create failed");
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Makes the file hold exactly these bytes.
    void fill(const void* data, std::size_t size)
    {
        if (::ftruncate(m_fd, 0) != 0)
            fail("cannot empty the in-memory file");
        const auto* bytes = static_cast<const char*>(data);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(m_fd, bytes + done, size - done, off_t(done));
            if (n <= 0)
                fail("cannot fill the in-memory file");
            done += std::size_t(n);
        }
    }
    // Cuts the file to its first `size` bytes.
    void cut(std::size_t size)
    {
        if (::ftruncate(m_fd, off_t(size)) != 0)
            fail("cannot cut the in-memory file");
    }

    const std::filesystem::path& path() const { return m_path; }

private:
    int m_fd;
    std::filesystem::path m_path;
};

MemoryFile& memoryFile()
{
    static MemoryFile file;
    return file;
}

// Collects what a save would write, to check it without the disk.
class MemorySink : public platform::ByteSink {
public:
    bool write(const char* data, std::size_t size) override
    {
        m_bytes.append(data, size);
        return true;
    }
    std::string errorText() const override { return {}; }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// Saving goes through a real directory (the saver renames a temporary file); tmpfs keeps it fast.
class SaveDirectory {
public:
    SaveDirectory()
    {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = (base / "pelmora-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            fail("mkdtemp failed");
        m_path = pattern;
    }
    ~SaveDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    SaveDirectory(const SaveDirectory&) = delete;
    SaveDirectory& operator=(const SaveDirectory&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

const std::filesystem::path& saveDirectory()
{
    static const SaveDirectory dir;
    return dir.path();
}

void check(bool condition, const char* what)
{
    if (!condition)
        fail(what);
}

void checkSameRecords(const TaskList& list, const TaskList& expected, const char* what)
{
    check(list.Count() == expected.Count(), what);
    for (int i = 0; i < expected.Count(); ++i)
        check(list.At(i) == expected.At(i), what);
}

constexpr const char* kInjectedError = "Input/output error";
constexpr std::size_t kTinyRead = 8;
constexpr std::size_t kLargeRead = 1 << 16;

constexpr std::size_t kHashedEnds = 64;
// The in-memory save writes the very bytes a real one does; one input in this many still goes through the
// real save and its temporary file, sync and rename.
constexpr std::uint64_t kRealSaveEvery = 64;

// One seed per input, so that a finding replays the same pieces and the same error. Its length and the bytes
// at both ends suffice, and keep a 1 MiB input from costing a traced comparison per byte.
std::uint64_t hashOf(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t hash = 0xcbf29ce484222325ull ^ size;
    const std::size_t head = std::min(size, kHashedEnds);
    const std::size_t tail = std::max(head, size - std::min(size, kHashedEnds));
    for (std::size_t i = 0; i < head; ++i)
        hash = (hash ^ data[i]) * 0x100000001b3ull;
    for (std::size_t i = tail; i < size; ++i)
        hash = (hash ^ data[i]) * 0x100000001b3ull;
    return hash;
}

// Hands the loader the file in pieces of varying size, as a pipe or a network file system may, and fails
// with an I/O error at one offset when given one.
class ChoppySource : public platform::ByteSource {
public:
    // `failed` outlives the source, which the loader drops once it is done.
    ChoppySource(platform::ByteSource& inner, std::uint64_t seed, std::optional<std::uint64_t> failAt, bool& failed)
        : m_inner(inner), m_state(seed), m_failAt(failAt), m_failed(failed)
    {
    }
    std::size_t read(char* data, std::size_t size) override
    {
        const std::size_t want = std::min(size, nextLength());
        if (m_failAt && m_offset + want > *m_failAt) {
            m_failed = true;
            throw platform::FileError(tasks::kTaskFileName, kInjectedError);
        }
        const std::size_t got = m_inner.read(data, want);
        m_offset += got;
        return got;
    }
    std::uint64_t remaining() const override { return m_inner.remaining(); }

private:
    // splitmix64: tiny pieces, pieces either side of 4096 bytes (the archive's default buffer), and large ones.
    std::size_t nextLength()
    {
        std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        switch (z & 3) {
        case 0: return 1 + (z >> 8) % kTinyRead;
        case 1: return 4095 + (z >> 8) % 3;
        default: return 1 + (z >> 8) % kLargeRead;
        }
    }

    platform::ByteSource& m_inner;
    std::uint64_t m_state;
    std::optional<std::uint64_t> m_failAt;
    std::uint64_t m_offset = 0;
    bool& m_failed;
};

// The same file read in pieces loads exactly as read whole; an error while reading loads nothing at all.
void checkChoppyLoad(const MemoryFile& input, std::uint64_t seed, std::size_t size, const tasks::LoadOutcome& whole,
                     const TaskList& loaded, const TaskRecord& scratch)
{
    const std::optional<std::uint64_t> failAt =
        (seed & 3) == 0 ? std::optional<std::uint64_t>((seed >> 8) % (size + 1)) : std::nullopt;
    bool wrapped = false;
    bool failed = false;
    TaskList list;
    TaskRecord record;
    const tasks::LoadOutcome outcome =
        tasks::loadTasks(input.path(), list, record, [&](platform::ByteSource& inner) {
            wrapped = true;
            return std::make_unique<ChoppySource>(inner, seed, failAt, failed);
        });
    check(wrapped, "the load did not read through the wrapped source");
    if (failed) {
        check(outcome.kind == tasks::LoadOutcome::Kind::Unreadable && list.Count() == 0 &&
                  outcome.reason == kInjectedError,
              "a read error did not make the file unreadable with nothing loaded and the error's reason");
        return;
    }
    check(outcome.kind == whole.kind && outcome.tasksRead == whole.tasksRead && outcome.stopOffset == whole.stopOffset &&
              outcome.fileSize == whole.fileSize && record == scratch,
          "reading in pieces loaded differently from reading whole");
    checkSameRecords(list, loaded, "a record differs when read in pieces");
}

// What a save writes loads back as the same records. A real save for some inputs; the rest in memory.
void checkSaveAndReload(std::uint64_t seed, const TaskList& loaded, const std::string& written, bool sameAsRead)
{
    if ((seed >> 32) % kRealSaveEvery == 0) {
        const std::filesystem::path saved = saveDirectory() / tasks::kTaskFileName;
        check(bool(tasks::saveTasks(saved, loaded)), "saving what was loaded failed");
        TaskList reloaded;
        TaskRecord reloadScratch;
        tasks::loadTasks(saved, reloaded, reloadScratch);
        checkSameRecords(reloaded, loaded, "a record changed on its way through save and load");
    }
    // Bytes that are what was read load as they did: the loader is deterministic.
    if (sameAsRead)
        return;
    MemoryFile& file = memoryFile();
    file.fill(written.data(), written.size());
    TaskList reloaded;
    TaskRecord reloadScratch;
    tasks::loadTasks(file.path(), reloaded, reloadScratch);
    checkSameRecords(reloaded, loaded, "a record changed on its way through save and load");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint64_t seed = hashOf(data, size);
    MemoryFile& input = memoryFile();
    input.fill(data, size);
    TaskList loaded;
    TaskRecord scratch;
    const tasks::LoadOutcome outcome = tasks::loadTasks(input.path(), loaded, scratch);
    checkChoppyLoad(input, seed, size, outcome, loaded, scratch);
    check(outcome.fileSize == size, "the reported file size is not the input's");
    check(outcome.tasksRead == loaded.Count(), "the reported task count is not what was loaded");
    check((outcome.kind == tasks::LoadOutcome::Kind::Complete) == (outcome.stopOffset == size)
              && (outcome.kind == tasks::LoadOutcome::Kind::Complete || outcome.kind == tasks::LoadOutcome::Kind::Stopped),
          "a complete load must end at the last byte, and only a stopped one before it");
    for (int i = 0; i < loaded.Count(); ++i) {
        const TaskRecord& record = loaded.At(i);
        check(record.bCountUp <= 1 && record.bAtTime <= 1, "a flag loaded as something other than 0 or 1");
        check(record.strDescription.find('\0') == std::string::npos
                  && record.strRunFile.find('\0') == std::string::npos,
              "a loaded string holds a zero byte");
    }
    // Every loaded record takes at least its fixed fields and two empty strings in the file.
    check(std::uint64_t(loaded.Count()) * 32 <= size, "more records loaded than the bytes could hold");

    MemorySink written;
    tasks::writeTasks(written, tasks::kTaskFileName, loaded);
    // Most loaded files are written back byte for byte; then reloading the save also loads the bytes before the stop.
    const std::size_t stop = std::size_t(outcome.stopOffset);
    // An empty input may come with no buffer at all: memcmp must not see it.
    const bool writtenAsRead = written.bytes().size() == stop
                               && (stop == 0 || std::memcmp(written.bytes().data(), data, stop) == 0);
    if (outcome.kind == tasks::LoadOutcome::Kind::Stopped) {
        // The bytes before the reported stop are exactly the records that loaded.
        input.cut(stop);
        TaskList prefix;
        TaskRecord prefixScratch;
        const tasks::LoadOutcome again = tasks::loadTasks(input.path(), prefix, prefixScratch);
        check(again.kind == tasks::LoadOutcome::Kind::Complete,
              "the bytes before the reported stop do not load as the same records");
        checkSameRecords(prefix, loaded, "a record differs when loaded from the bytes before the stop");
    }
    checkSaveAndReload(seed, loaded, written.bytes(), writtenAsRead);
    return 0;
}
