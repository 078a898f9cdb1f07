// A file replaced whole and durably: written unseen beside its target, synced, swapped into its place so that
// the version found there is seen, folder synced.
#pragma once

#include "platform/storage/archive.h"
#include "tasks/kept_copy.h"
#include "tasks/temporary_file.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace tasks {

// What tells one version of a file from another: a file put in its place, a write to it, or any change to
// its inode (the change time, which nobody can set back) changes it. The birth time is 0 where unknown.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0;
    long changedNanoseconds = 0;
    std::int64_t bornSeconds = 0;
    long bornNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path` (links followed) now, or nothing when there is none to stat.
std::optional<FileStamp> currentStamp(const std::filesystem::path& path);
// The stamp of an open file, or nothing when it cannot be had.
std::optional<FileStamp> descriptorStamp(int fd);
// Whether two stamps are of one version that was only renamed or linked in between, which changes the
// change time alone.
bool sameVersionMoved(const FileStamp& a, const FileStamp& b);

// Where a save's bytes go: written, then synced to the disk, then put in the target's place.
// Each step returns false when it failed, the system's reason then in errorText().
class SaveSink : public platform::ByteSink {
public:
    virtual bool sync() = 0;
    virtual bool commit() = 0;
};

// Decides the fate of the version a save found in its target's place (nothing when there was none): the
// names to keep it under, or nullptr to let it go.
using KeepPolicy = std::function<CopyName(const std::optional<FileStamp>& found)>;

// The new file is written with no name until commit() swaps it with the target in one step, which hands back
// the version that was there; until then the target is untouched, and an uncommitted new file leaves nothing.
class ReplacingFile : public SaveSink {
public:
    // Creates the new file with the existing target's mode, owner and group (the group where allowed).
    explicit ReplacingFile(std::filesystem::path target, KeepPolicy keep = {});

    // False when the new file could not be created.
    bool opened() const { return m_file.opened(); }
    // Why the new file must not take the target's place before anything is written: it cannot keep the owner.
    const std::optional<std::string>& refusal() const { return m_refusal; }
    bool write(const char* data, std::size_t size) override;
    bool sync() override;
    // Puts the new file in the target's place, keeps or lets go the version found there as the policy says,
    // then syncs the folder. A new file whose permissions could not be made the target's is refused here.
    // False with committed() true: the target was replaced, but a later step failed.
    bool commit() override;
    bool committed() const { return m_replaced; }
    // The new file as it was put in the target's place; valid once committed().
    const FileStamp& written() const { return m_written; }
    // Where the version found in the target's place was kept, when it was.
    const std::filesystem::path& kept() const { return m_kept; }
    // Whether the version found was seen in one step with the replacement (else it was looked at just before).
    bool exchanged() const { return m_exchanged; }
    // Whether the version found could be neither kept nor put back, and lies under a temporary name.
    bool versionLeftAside() const { return m_versionLeftAside; }
    std::string errorText() const override;

private:
    bool failed(std::string step = {});
    bool replace(const std::optional<FileStamp>& before);
    bool replaceLookingFirst(const std::optional<FileStamp>& before);
    bool keepSwappedOut(const std::optional<FileStamp>& before);

    std::filesystem::path m_target;
    KeepPolicy m_keep;
    TemporaryFile m_file;
    int m_errno = 0;
    int m_modeErrno = 0;      // why the target's mode could not be given to the new file
    std::optional<std::string> m_refusal;
    std::string m_failedStep; // said before the system's reason when the step is not plain from it
    bool m_replaced = false;
    bool m_exchanged = false;
    bool m_versionLeftAside = false;
    FileStamp m_written;
    std::filesystem::path m_kept;
};

// Test hooks: called with the target just before the new file takes its place; the one-step swap is not tried.
namespace replacing_hooks {
inline std::function<void(const std::filesystem::path& target)> beforeReplace;
inline bool withoutExchange = false;
} // namespace replacing_hooks

// The user's login name, or "user N" for a number without one.
std::string userName(uid_t uid);

// The folder a file name lies in ("." for a bare name).
std::filesystem::path folderOf(const std::filesystem::path& file);

// Syncs a file, or a folder's entries, to the disk; false with errno set to the system's reason when that failed.
bool syncToDisk(const std::filesystem::path& path);

} // namespace tasks
