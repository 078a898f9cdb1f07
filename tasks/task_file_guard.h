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
    // as TASKS.BIN.damaged (or -2, -3...). Failures while keeping or writing throw platform::FileError.
    SaveResult save(const TaskList& list, const SinkWrapper& wrapSink = nullptr);

private:
    std::filesystem::path m_file;
    LoadOutcome m_loaded;
    bool m_originalKept = false;
};

// The n-th name (from 1) for keeping a damaged file: "TASKS.BIN.damaged", then "TASKS.BIN.damaged-2"...
std::filesystem::path damagedCopyName(const std::filesystem::path& file, int n);

} // namespace tasks
