// TASKS.BIN over one run: what loading found decides how every later save may treat the file.
#pragma once

#include "tasks/task_file.h"

#include <optional>

namespace tasks {

class TaskFileGuard {
public:
    explicit TaskFileGuard(std::filesystem::path file);

    // Sweeps what a crashed save left beside the file, then loads it.
    const LoadOutcome& load(TaskList& list, TaskRecord& scratch);
    // What the user must be told about the loading, or nothing for a complete or missing file.
    std::optional<std::string> loadNotice() const;
    // Saves as the close box does. Refused, with why, when the file must not or cannot be replaced: it
    // could not be read, or it cannot be created. The version the save finds in the file's place, seen in the
    // same step that replaces it, is kept when it is not the one this run last read or wrote: as
    // TASKS.BIN.changed (or -2, -3...), and the saved result's notice says so. A file that loading stopped
    // short in is kept at the first save as TASKS.BIN.damaged (or -2, -3...). Failures while writing throw
    // platform::FileError; the file is then known as it is, whether it was replaced or not.
    SaveResult save(const TaskList& list, const SinkWrapper& wrapSink = nullptr);

private:
    CopyName keepingFor(const std::optional<FileStamp>& found);
    void placed(const FileStamp& written, const std::filesystem::path& kept);
    std::string shownName(const std::filesystem::path& copy) const;

    std::filesystem::path m_file;
    std::filesystem::path m_target; // the file a save replaces: m_file with links followed
    LoadOutcome m_loaded;
    std::optional<FileStamp> m_known; // the file as this run last read or wrote it
    bool m_originalKept = false;
    std::filesystem::path m_promisedCopy;     // the damaged copy's name the load notice gave
    CopyName m_keeping = nullptr;             // what the version a save is finding is kept as
    std::optional<std::string> m_keptNotice;  // told with the next save that succeeds
};

// The n-th name (from 1) for keeping a damaged file: "TASKS.BIN.damaged", then "TASKS.BIN.damaged-2"...
std::filesystem::path damagedCopyName(const std::filesystem::path& file, int n);
// The same for a file another program changed: "TASKS.BIN.changed", then "TASKS.BIN.changed-2"...
std::filesystem::path changedCopyName(const std::filesystem::path& file, int n);

} // namespace tasks
