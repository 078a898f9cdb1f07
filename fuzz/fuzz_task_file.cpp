// libFuzzer target for the TASKS.BIN loader: any bytes load without a fault, it reports truly how far it got,
// and what loads saves and reloads equal.
#include "tasks/task_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The loader opens a path; an in-memory file keeps each run off the disk.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : m_fd(::memfd_create("TASKS.BIN", MFD_CLOEXEC))
    {
        std::size_t done = 0;
        while (m_fd >= 0 && done < size) {
            const ssize_t n = ::write(m_fd, data + done, size - done);
            if (n <= 0)
                fail("cannot fill the in-memory file");
            done += std::size_t(n);
        }
        if (m_fd < 0)
            fail("memfd_create failed");
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::filesystem::path path() const { return "/proc/self/fd/" + std::to_string(m_fd); }

    [[noreturn]] static void fail(const char* what)
    {
        std::fprintf(stderr, "fuzz_task_file: %s\n", what);
        std::abort();
    }

private:
    int m_fd;
};

// Saving goes through a real directory (the saver renames a temporary file); tmpfs keeps it fast.
class SaveDirectory {
public:
    SaveDirectory()
    {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = (base / "pelmora-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            MemoryFile::fail("mkdtemp failed");
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
        MemoryFile::fail(what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TaskList loaded;
    TaskRecord scratch;
    tasks::LoadOutcome outcome;
    {
        const MemoryFile input(data, size);
        outcome = tasks::loadTasks(input.path(), loaded, scratch);
    }
    check(outcome.fileSize == size, "the reported file size is not the input's");
    check(outcome.tasksRead == loaded.Count(), "the reported task count is not what was loaded");
    check((outcome.kind == tasks::LoadOutcome::Kind::Complete) == (outcome.stopOffset == size)
              && (outcome.kind == tasks::LoadOutcome::Kind::Complete || outcome.kind == tasks::LoadOutcome::Kind::Stopped),
          "a complete load must end at the last byte, and only a stopped one before it");
    if (outcome.kind == tasks::LoadOutcome::Kind::Stopped) {
        // The bytes before the reported stop are exactly the records that loaded.
        TaskList prefix;
        TaskRecord prefixScratch;
        const MemoryFile head(data, std::size_t(outcome.stopOffset));
        const tasks::LoadOutcome again = tasks::loadTasks(head.path(), prefix, prefixScratch);
        check(again.kind == tasks::LoadOutcome::Kind::Complete && prefix.Count() == loaded.Count(),
              "the bytes before the reported stop do not load as the same records");
        for (int i = 0; i < loaded.Count(); ++i)
            check(prefix.At(i) == loaded.At(i), "a record differs when loaded from the bytes before the stop");
    }
    for (int i = 0; i < loaded.Count(); ++i) {
        const TaskRecord& record = loaded.At(i);
        check(record.bCountUp <= 1 && record.bAtTime <= 1, "a flag loaded as something other than 0 or 1");
        check(record.strDescription.find('\0') == std::string::npos
                  && record.strRunFile.find('\0') == std::string::npos,
              "a loaded string holds a zero byte");
    }
    // Every loaded record takes at least its fixed fields and two empty strings in the file.
    check(std::uint64_t(loaded.Count()) * 32 <= size, "more records loaded than the bytes could hold");

    const std::filesystem::path saved = saveDirectory() / tasks::kTaskFileName;
    check(bool(tasks::saveTasks(saved, loaded)), "saving what was loaded failed");
    TaskList reloaded;
    TaskRecord reloadScratch;
    tasks::loadTasks(saved, reloaded, reloadScratch);
    check(reloaded.Count() == loaded.Count(), "the saved file reloads a different number of records");
    for (int i = 0; i < loaded.Count(); ++i)
        check(reloaded.At(i) == loaded.At(i), "a record changed on its way through save and load");
    return 0;
}
