// Keeps an unreadable TASKS.BIN from being replaced and a damaged one from being lost.
#include "tasks/task_file_guard.h"

#include "platform/errors.h"
#include "platform/format.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tasks {

namespace {

constexpr int kMaxDamagedCopies = 1000;

bool nameTaken(const std::filesystem::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::filesystem::path firstFreeCopyName(const std::filesystem::path& file)
{
    for (int n = 1; n < kMaxDamagedCopies; ++n)
        if (!nameTaken(damagedCopyName(file, n)))
            return damagedCopyName(file, n);
    return damagedCopyName(file, kMaxDamagedCopies);
}

bool syncFile(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// A hard link keeps the original bytes at no cost, since the save then puts a new file in the
// original's place; where no link can be made (another file system, say), a synced copy.
// Either refuses to take a name that exists, so no earlier copy is ever overwritten.
bool keepAs(const std::filesystem::path& original, const std::filesystem::path& copy, std::error_code& error)
{
    if (::link(original.c_str(), copy.c_str()) == 0)
        return true;
    if (errno == EEXIST) {
        error = std::make_error_code(std::errc::file_exists);
        return false;
    }
    if (!std::filesystem::copy_file(original, copy, error))
        return false;
    if (!syncFile(copy)) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    return true;
}

void keepDamagedOriginal(const std::filesystem::path& file)
{
    const std::filesystem::path original = resolveLinks(file);
    if (!nameTaken(original))
        return; // gone since it was loaded: nothing left to keep
    std::error_code error;
    for (int n = 1; n <= kMaxDamagedCopies; ++n) {
        const std::filesystem::path copy = damagedCopyName(file, n);
        if (keepAs(original, copy, error))
            return;
        if (error != std::errc::file_exists)
            throw platform::FileError(copy.filename().string(), error.message());
    }
    throw platform::FileError(damagedCopyName(file, kMaxDamagedCopies).filename().string(), std::strerror(EEXIST));
}

} // namespace

std::filesystem::path damagedCopyName(const std::filesystem::path& file, int n)
{
    std::filesystem::path name = file;
    name += n == 1 ? std::string(".damaged") : ".damaged-" + std::to_string(n);
    return name;
}

TaskFileGuard::TaskFileGuard(std::filesystem::path file) : m_file(std::move(file)) {}

const LoadOutcome& TaskFileGuard::load(TaskList& list, TaskRecord& scratch)
{
    m_loaded = loadTasks(m_file, list, scratch);
    return m_loaded;
}

std::optional<std::string> TaskFileGuard::loadNotice() const
{
    const std::string name = m_file.filename().string();
    switch (m_loaded.kind) {
    case LoadOutcome::Kind::Unreadable:
        return platform::format("%s cannot be read: %s.\n\nThe list starts empty, and %s will not be replaced "
                                "when the tasks are saved.",
                                name.c_str(), m_loaded.reason.c_str(), name.c_str());
    case LoadOutcome::Kind::Stopped:
        return platform::format("%s could not be read to its end: reading stopped at byte %llu of %llu (%s). "
                                "Tasks read: %d.\n\nThe original file will be kept as %s when the tasks are saved.",
                                name.c_str(), static_cast<unsigned long long>(m_loaded.stopOffset),
                                static_cast<unsigned long long>(m_loaded.fileSize), m_loaded.reason.c_str(),
                                m_loaded.tasksRead, firstFreeCopyName(m_file).filename().c_str());
    case LoadOutcome::Kind::Missing:
    case LoadOutcome::Kind::Complete:
        break;
    }
    return std::nullopt;
}

SaveResult TaskFileGuard::save(const TaskList& list, const SinkWrapper& wrapSink)
{
    if (m_loaded.kind == LoadOutcome::Kind::Unreadable)
        return {"it could not be read at start-up: " + m_loaded.reason};
    if (m_loaded.kind == LoadOutcome::Kind::Stopped && !m_originalKept) {
        if (std::optional<std::string> refusal = replaceRefusal(m_file))
            return {std::move(refusal)};
        keepDamagedOriginal(m_file);
        m_originalKept = true;
    }
    return saveTasks(m_file, list, wrapSink);
}

} // namespace tasks
