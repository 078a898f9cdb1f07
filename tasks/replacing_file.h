// A file replaced whole and durably: written beside its target, synced, renamed over it, folder synced.
#pragma once

#include "platform/storage/archive.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace tasks {

// What tells one version of a file from another: a file put in its place, or a write to it, changes it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const struct stat& info);
// The stamp of the file at `path` (links followed) now, or nothing when there is none to stat.
std::optional<FileStamp> currentStamp(const std::filesystem::path& path);

// Where a save's bytes go: written, then synced to the disk, then put in the target's place.
// Each step returns false when it failed, the system's reason then in errorText().
class SaveSink : public platform::ByteSink {
public:
    virtual bool sync() = 0;
    virtual bool commit() = 0;
};

// The new file lies beside the target under a name of its own until commit() renames it over the
// target; until then the target is untouched, and an uncommitted new file is removed on destruction.
class ReplacingFile : public SaveSink {
public:
    // Creates the new file with the existing target's mode, and its owner and group where allowed.
    explicit ReplacingFile(std::filesystem::path target);
    ~ReplacingFile() override;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the new file could not be created.
    bool opened() const { return m_fd >= 0; }
    bool write(const char* data, std::size_t size) override;
    bool sync() override;
    // Closes and renames the new file over the target, then syncs the folder that holds both. A new file
    // whose permissions could not be made the target's is refused here. False with committed() true:
    // the target was replaced, but the folder sync failed.
    bool commit() override;
    bool committed() const { return m_renamed; }
    // The new file as it was put in the target's place; valid once committed().
    const FileStamp& written() const { return m_written; }
    std::string errorText() const override;

private:
    bool failed();

    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    int m_fd = -1;
    int m_errno = 0;
    int m_modeErrno = 0;      // why the target's mode could not be given to the new file
    std::string m_failedStep; // said before the system's reason when the step is not plain from it
    bool m_renamed = false;
    FileStamp m_written;
};

// The folder a file name lies in ("." for a bare name).
std::filesystem::path folderOf(const std::filesystem::path& file);

// Syncs a file, or a folder's entries, to the disk; false with errno set to the system's reason when that failed.
bool syncToDisk(const std::filesystem::path& path);

} // namespace tasks
