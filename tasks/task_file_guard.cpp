// Keeps an unreadable TASKS.BIN from being replaced and a damaged or changed one from being lost.
#include "tasks/task_file_guard.h"

#include "platform/core/format.h"

#include <sys/stat.h>
#include <utility>

namespace tasks {

namespace {

constexpr int kMaxCopies = 1000;

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

} // namespace

std::filesystem::path damagedCopyName(const std::filesystem::path& file, int n) { return copyName(file, "damaged", n); }

std::filesystem::path changedCopyName(const std::filesystem::path& file, int n) { return copyName(file, "changed", n); }

TaskFileGuard::TaskFileGuard(std::filesystem::path file) : m_file(std::move(file)), m_target(resolveLinks(m_file)) {}

const LoadOutcome& TaskFileGuard::load(TaskList& list, TaskRecord& scratch)
{
    sweepTemporaries(m_target);
    m_loaded = loadTasks(m_file, list, scratch);
    m_known = m_loaded.stamp;
    if (m_loaded.kind == LoadOutcome::Kind::Stopped)
        m_promisedCopy = firstFreeCopyName(m_target);
    return m_loaded;
}

// A copy beside the file is named as the file is; one beside a link's target, by its path.
std::string TaskFileGuard::shownName(const std::filesystem::path& copy) const
{
    return folderOf(copy) == folderOf(m_file) ? copy.filename().string() : copy.string();
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
                                m_loaded.tasksRead, shownName(m_promisedCopy).c_str());
    case LoadOutcome::Kind::Missing:
    case LoadOutcome::Kind::Complete:
        break;
    }
    return std::nullopt;
}

// A version this run has not seen is another program's; the damaged one read is kept once.
CopyName TaskFileGuard::keepingFor(const std::optional<FileStamp>& found)
{
    m_keeping = nullptr;
    if (!found)
        return nullptr;
    if (found != m_known)
        m_keeping = changedCopyName;
    else if (m_loaded.kind == LoadOutcome::Kind::Stopped && !m_originalKept)
        m_keeping = damagedCopyName;
    return m_keeping;
}

// One line each, since an unattended save writes the notice to standard error as it is.
void TaskFileGuard::placed(const FileStamp& written, const std::filesystem::path& kept)
{
    m_known = written;
    if (kept.empty())
        return;
    const std::string name = m_file.filename().string();
    const std::string copy = shownName(kept);
    if (m_keeping == changedCopyName) {
        m_keptNotice = platform::format("%s was changed by another program since Pelmora read it. That version was "
                                        "kept as %s, and the tasks shown were saved in its place.",
                                        name.c_str(), copy.c_str());
        return;
    }
    m_originalKept = true;
    if (kept != m_promisedCopy)
        m_keptNotice = platform::format("The damaged %s was kept as %s, since %s was taken meanwhile.", name.c_str(),
                                        copy.c_str(), shownName(m_promisedCopy).c_str());
}

SaveResult TaskFileGuard::save(const TaskList& list, const SinkWrapper& wrapSink)
{
    if (m_loaded.kind == LoadOutcome::Kind::Unreadable)
        return {"it could not be read at start-up: " + m_loaded.reason};
    SaveOptions options;
    options.wrapSink = wrapSink;
    options.keep = [this](const std::optional<FileStamp>& found) { return keepingFor(found); };
    options.placed = [this](const FileStamp& written, const std::filesystem::path& kept) { placed(written, kept); };
    SaveResult saved = saveTasks(m_file, list, options);
    if (saved)
        saved.notice = std::exchange(m_keptNotice, std::nullopt);
    return saved;
}

} // namespace tasks
