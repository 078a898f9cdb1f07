// TASKS.BIN: the task list as a plain sequence of records.
#pragma once

#include "tasks/replacing_file.h"
#include "tasks/task_list.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tasks {

inline constexpr const char* kTaskFileName = "TASKS.BIN";

// What loading found.
struct LoadOutcome {
    enum class Kind {
        Missing,    // no file: the quiet first start
        Complete,   // every byte belonged to a complete record
        Stopped,    // bytes remain that were not loaded (damage, a cut record, out of memory)
        Unreadable, // the file exists but could not be read; nothing was loaded
    };
    Kind kind = Kind::Missing;
    int tasksRead = 0;
    std::uint64_t stopOffset = 0; // where the first record not loaded begins
    std::uint64_t fileSize = 0;
    std::string reason;           // Unreadable: the system's reason; Stopped: why reading stopped
    std::optional<FileStamp> stamp; // the file that was read, or nothing when none was
};

// Reads records field by field into `scratch`, appending a copy after each complete record.
// A damaged or cut record ends the loading; the fields read from it stay in `scratch`.
// Only regular files are read, opened non-blocking so that nothing can hold the start up.
LoadOutcome loadTasks(const std::filesystem::path& file, TaskList& list, TaskRecord& scratch);

// Wraps the source that a load reads through; the fuzz target uses it for short reads and read errors.
using SourceWrapper = std::function<std::unique_ptr<platform::ByteSource>(platform::ByteSource& fileSource)>;
LoadOutcome loadTasks(const std::filesystem::path& file, TaskList& list, TaskRecord& scratch,
                      const SourceWrapper& wrapSource);

// Why this process may not put a new file in `file`'s place, or nothing when it may: its folder must be
// writable, and the file missing or a regular file that the mode bits let someone write (a 0444 file is
// refused to root too). The reason is the system's own, or "the file is read-only" for the mode bits.
std::optional<std::string> replaceRefusal(const std::filesystem::path& file);

// A save that threw nothing: true when the list reached the disk, as `written`; false when the file
// could not be created, left untouched, and `refusal` says why. A save may carry a `notice` for the user.
struct SaveResult {
    std::optional<std::string> refusal;
    std::optional<FileStamp> written = {};
    std::optional<std::string> notice = {};
    std::filesystem::path kept = {}; // where the version found in the file's place was kept, if it was
    explicit operator bool() const { return !refusal; }
};

// Writes the whole list durably, or refuses with the file untouched (read-only file, unwritable folder).
// A failure while writing, syncing, keeping the mode or renaming throws platform::FileError naming the
// file and the system's reason, and leaves the previous file as it was. A failure to sync the folder after
// the rename throws too, but the new file is then in place and may not survive a crash.
SaveResult saveTasks(const std::filesystem::path& file, const TaskList& list);

// Wraps the sink that a save goes through; tests use it to make a write, the sync or the commit fail.
using SinkWrapper = std::function<std::unique_ptr<SaveSink>(SaveSink& fileSink)>;
SaveResult saveTasks(const std::filesystem::path& file, const TaskList& list, const SinkWrapper& wrapSink);

struct SaveOptions {
    SinkWrapper wrapSink;
    KeepPolicy keep; // what becomes of the version found in the file's place: let go when not given
    // Told as soon as the new file is in place, even when the folder's sync after it then fails.
    std::function<void(const FileStamp& written, const std::filesystem::path& kept)> placed;
};
SaveResult saveTasks(const std::filesystem::path& file, const TaskList& list, const SaveOptions& options);

// The records as a save writes them, into any sink; the fuzz target checks the bytes in memory with it.
void writeTasks(platform::ByteSink& sink, const std::string& name, const TaskList& list);

// A link followed to the file it leads to: that file is the one a save replaces.
std::filesystem::path resolveLinks(std::filesystem::path file);

} // namespace tasks
