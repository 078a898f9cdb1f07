// TASKS.BIN over one run: what loading found decides how every later save may treat the file.
#pragma once

#include "tasks/task_file.h"

#include <optional>

namespace tasks {

class TaskFileGuard {
public:
    explicit TaskFileGuard(std::filesystem::path file);

    const LoadOutcome& load(TaskList& list, TaskRecord& scratch);
    // What the user must be told about the loading, or nothing for a complete or missing file.
    std::optional<std::string> loadNotice() const;
    // Saves as the close box does. Refused, with why, when the file must not or cannot be replaced: it
    // could not be read, or it cannot be created. A file that loading stopped short in is first kept beside itself
    // as TASKS.BIN.damaged (or -2, -3...). A file that another program has put there or changed since this
    // run read or wrote it is kept as TASKS.BIN.changed (or -2, -3...), and the saved result's notice says
    // so. Failures while keeping or writing throw platform::FileError.
    SaveResult save(const TaskList& list, const SinkWrapper& wrapSink = nullptr);

private:
    bool changedSinceRead() const;

    std::filesystem::path m_file;
    LoadOutcome m_loaded;
    std::optional<FileStamp> m_known; // the file as this run last read or wrote it
    bool m_originalKept = false;
    std::optional<std::string> m_changeNotice; // told with the next save that succeeds
};

// The n-th name (from 1) for keeping a damaged file: "TASKS.BIN.damaged", then "TASKS.BIN.damaged-2"...
std::filesystem::path damagedCopyName(const std::filesystem::path& file, int n);
// The same for a file another program changed: "TASKS.BIN.changed", then "TASKS.BIN.changed-2"...
std::filesystem::path changedCopyName(const std::filesystem::path& file, int n);

} // namespace tasks
