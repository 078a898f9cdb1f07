// TASKS.BIN: the task list as a plain sequence of records.
#pragma once

#include "platform/archive.h"
#include "tasks/task_list.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace tasks {

inline constexpr const char* kTaskFileName = "TASKS.BIN";

// Reads records field by field into `scratch`, appending a copy after each complete record.
// Any error ends the loading silently; the fields of a cut record stay in `scratch`.
void loadTasks(const std::filesystem::path& file, TaskList& list, TaskRecord& scratch);

// Writes the whole list. Returns false, with the file untouched, when it cannot be created
// (read-only file, unwritable directory). A failure while writing throws platform::FileError
// naming the file and the reason, and leaves the previous file as it was.
bool saveTasks(const std::filesystem::path& file, const TaskList& list);

// Wraps the sink that a save writes the file through; tests use it to make a write fail part-way.
using SinkWrapper = std::function<std::unique_ptr<platform::ByteSink>(platform::ByteSink& fileSink)>;
bool saveTasks(const std::filesystem::path& file, const TaskList& list, const SinkWrapper& wrapSink);

} // namespace tasks
