// Keeps an unreadable TASKS.BIN from being replaced and a damaged one from being lost.
#include "tasks/task_file_guard.h"

#include "platform/core/errors.h"
#include "platform/core/format.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tasks {

namespace {

constexpr int kMaxCopies = 1000;

using CopyName = std::filesystem::path (*)(const std::filesystem::path& file, int n);

std::filesystem::path copyName(const std::filesystem::path& file, const char* kind, int n)
{
    std::filesystem::path name = file;
    name += "." + std::string(kind) + (n == 1 ? std::string() : "-" + std::to_string(n));
    return name;
}

bool nameTaken(const std::filesystem::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::filesystem::path firstFreeCopyName(const std::filesystem::path& file)
{
    for (int n = 1; n < kMaxCopies; ++n)
        if (!nameTaken(damagedCopyName(file, n)))
            return damagedCopyName(file, n);
    return damagedCopyName(file, kMaxCopies);
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
    if (!syncToDisk(copy)) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    return true;
}

// Keeps the file now at `file` under the first free name of `nameOf`, and says where.
std::filesystem::path keepOriginal(const std::filesystem::path& file, CopyName nameOf)
{
    const std::filesystem::path original = resolveLinks(file);
    if (!nameTaken(original))
        return {}; // gone since it was loaded: nothing left to keep
    std::error_code error;
    for (int n = 1; n <= kMaxCopies; ++n) {
        const std::filesystem::path copy = nameOf(file, n);
        if (keepAs(original, copy, error))
            return copy;
        if (error != std::errc::file_exists)
            throw platform::FileError(copy.filename().string(), error.message());
    }
    throw platform::FileError(nameOf(file, kMaxCopies).filename().string(), std::strerror(EEXIST));
}

// One line, since an unattended save writes it to standard error as it is.
std::string changedNotice(const std::filesystem::path& file, const std::filesystem::path& copy)
{
    return platform::format("%s was changed by another program since Pelmora read it. That version was kept as "
                            "%s, and the tasks shown were saved in its place.",
                            file.filename().c_str(), copy.filename().c_str());
}

} // namespace

std::filesystem::path damagedCopyName(const std::filesystem::path& file, int n) { return copyName(file, "damaged", n); }

std::filesystem::path changedCopyName(const std::filesystem::path& file, int n) { return copyName(file, "changed", n); }

TaskFileGuard::TaskFileGuard(std::filesystem::path file) : m_file(std::move(file)) {}

const LoadOutcome& TaskFileGuard::load(TaskList& list, TaskRecord& scratch)
{
    m_loaded = loadTasks(m_file, list, scratch);
    m_known = m_loaded.stamp;
    return m_loaded;
}

// A file gone since is no loss to a save; one there that this run has not seen is another program's.
bool TaskFileGuard::changedSinceRead() const
{
    const std::optional<FileStamp> now = currentStamp(m_file);
    return now && now != m_known;
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
    const bool changed = changedSinceRead();
    if (changed || (m_loaded.kind == LoadOutcome::Kind::Stopped && !m_originalKept)) {
        if (std::optional<std::string> refusal = replaceRefusal(m_file))
            return {std::move(refusal)};
        // Bytes another program put there are not the damaged ones read: they are kept as what they are.
        const std::filesystem::path copy = keepOriginal(m_file, changed ? changedCopyName : damagedCopyName);
        m_originalKept = true;
        if (changed && !copy.empty()) {
            m_known = currentStamp(m_file); // kept now: a retry after a failed save keeps no second copy
            m_changeNotice = changedNotice(m_file, copy);
        }
    }
    SaveResult saved = saveTasks(m_file, list, wrapSink);
    if (saved) {
        m_known = saved.written;
        saved.notice = std::exchange(m_changeNotice, std::nullopt);
    }
    return saved;
}

} // namespace tasks
