// Durable whole-file replacement with POSIX calls, so every failure carries the system's own reason.
#include "tasks/replacing_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace tasks {

namespace {

constexpr mode_t kNewFileMode = 0666; // narrowed by the umask, as for any new file
constexpr unsigned kStampFields = STATX_BASIC_STATS | STATX_BTIME;

FileStamp stampOf(const struct statx& info)
{
    const bool born = (info.stx_mask & STATX_BTIME) != 0;
    return {dev_t(makedev(info.stx_dev_major, info.stx_dev_minor)),
            ino_t(info.stx_ino),
            off_t(info.stx_size),
            info.stx_mtime.tv_sec,
            long(info.stx_mtime.tv_nsec),
            info.stx_ctime.tv_sec,
            long(info.stx_ctime.tv_nsec),
            born ? info.stx_btime.tv_sec : 0,
            born ? long(info.stx_btime.tv_nsec) : 0};
}

std::optional<FileStamp> statxStamp(int folder, const char* path, int flags)
{
    struct statx info {};
    if (::statx(folder, path, flags, kStampFields, &info) != 0)
        return std::nullopt;
    return stampOf(info);
}

// Only a privileged saver can give a new file to someone else; anyone else would silently take the file over.
std::optional<std::string> keepOwnerAndGroup(int fd, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return std::nullopt;
    if (old.st_uid != ::geteuid())
        return "the file belongs to " + userName(old.st_uid) + ", and a new file saved by " + userName(::geteuid()) +
               " cannot keep that owner (" + std::strerror(errno) + ")";
    // The group where this user belongs to it; else theirs, as for any file they create.
    [[maybe_unused]] const bool groupKept = ::fchown(fd, uid_t(-1), old.st_gid) == 0;
    return std::nullopt;
}

// File systems without a one-step swap answer EINVAL; old kernels ENOSYS.
bool exchangeUnsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

} // namespace

std::string userName(uid_t uid)
{
    if (const passwd* user = ::getpwuid(uid))
        return user->pw_name;
    return "user " + std::to_string(uid);
}

std::optional<FileStamp> currentStamp(const std::filesystem::path& path) { return statxStamp(AT_FDCWD, path.c_str(), 0); }

std::optional<FileStamp> descriptorStamp(int fd) { return statxStamp(fd, "", AT_EMPTY_PATH); }

bool sameVersionMoved(const FileStamp& a, const FileStamp& b)
{
    FileStamp moved = b;
    moved.changedSeconds = a.changedSeconds;
    moved.changedNanoseconds = a.changedNanoseconds;
    return moved == a;
}

std::filesystem::path folderOf(const std::filesystem::path& file)
{
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// The sync's reason survives the close, whose own outcome does not matter once the sync has answered.
bool syncToDisk(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Owner and group first: changing them clears the set-id bits, which the mode then puts back.
ReplacingFile::ReplacingFile(std::filesystem::path target, KeepPolicy keep)
    : m_target(std::move(target)), m_keep(std::move(keep)), m_file(m_target, kNewFileMode)
{
    if (!m_file.opened()) {
        m_errno = errno;
        return;
    }
    struct stat old {};
    if (::stat(m_target.c_str(), &old) != 0)
        return;
    m_refusal = keepOwnerAndGroup(m_file.fd(), old);
    if (::fchmod(m_file.fd(), old.st_mode & 07777) != 0)
        m_modeErrno = errno;
}

bool ReplacingFile::failed(std::string step)
{
    m_errno = errno;
    m_failedStep = std::move(step);
    return false;
}

bool ReplacingFile::write(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_file.fd(), data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return failed();
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

// The whole inode, not the data alone: an unnamed file's first link must find it complete.
bool ReplacingFile::sync() { return ::fsync(m_file.fd()) == 0 || failed(); }

bool ReplacingFile::commit()
{
    if (m_refusal || m_modeErrno != 0) {
        m_errno = m_modeErrno != 0 ? m_modeErrno : EPERM;
        m_failedStep = m_refusal.value_or("its permissions could not be kept");
        return false;
    }
    if (!m_file.name())
        return failed("it could not be given a temporary name");
    const std::optional<FileStamp> before = currentStamp(m_target);
    if (replacing_hooks::beforeReplace)
        replacing_hooks::beforeReplace(m_target);
    if (!replace(before))
        return false;
    m_replaced = true;
    m_written = descriptorStamp(m_file.fd()).value_or(FileStamp{});
    if (m_exchanged && !keepSwappedOut(before))
        return false;
    m_file.close(); // synced already: the close can lose nothing
    return syncToDisk(folderOf(m_target)) || failed();
}

// One step where the file system can: the target and the new file swap names, so whatever lay in the
// target's place an instant ago is now under the new file's temporary name, there to be looked at.
bool ReplacingFile::replace(const std::optional<FileStamp>& before)
{
    const std::filesystem::path temporary = m_file.temporaryName();
    if (!replacing_hooks::withoutExchange) {
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) == 0) {
            m_exchanged = true;
            return true;
        }
        if (errno == ENOENT &&
            ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, m_target.c_str(), RENAME_NOREPLACE) == 0) {
            m_file.forgetName();
            return true;
        }
        if (!exchangeUnsupported(errno))
            return failed();
    }
    return replaceLookingFirst(before);
}

// Without the swap, the version there is judged by its stamp just before the rename: a version put there
// between that look and the rename is replaced unseen.
bool ReplacingFile::replaceLookingFirst(const std::optional<FileStamp>& before)
{
    if (const CopyName copyName = before && m_keep ? m_keep(before) : nullptr) {
        const KeptCopy copy = keepCopy(m_target, copyName);
        if (!copy) {
            errno = copy.error;
            return failed("the version there could not be kept as " + copy.failedName);
        }
        m_kept = copy.kept;
    }
    if (::rename(m_file.temporaryName().c_str(), m_target.c_str()) != 0)
        return failed();
    m_file.forgetName();
    return true;
}

// The version swapped out was only moved, which touches its change time alone; any other difference from
// the look just before means another version arrived in between, and that one is what was found.
bool ReplacingFile::keepSwappedOut(const std::optional<FileStamp>& before)
{
    const std::filesystem::path swapped = m_file.temporaryName();
    const std::optional<FileStamp> after = currentStamp(swapped);
    const std::optional<FileStamp> found = before && after && sameVersionMoved(*before, *after) ? before : after;
    const CopyName copyName = m_keep ? m_keep(found) : nullptr;
    if (!copyName) {
        ::unlink(swapped.c_str());
        m_file.forgetName();
        return true;
    }
    const KeptCopy copy = moveToCopyName(swapped, m_target, copyName);
    if (copy) {
        m_kept = copy.kept;
        m_file.forgetName();
        return true;
    }
    // A version that cannot be kept goes back in its place, and the new file away: nothing unread is lost.
    // Should even that fail, the version stays under the temporary name, which the error then gives.
    const int error = copy.error;
    std::string step = "the version found there could not be kept as " + copy.failedName;
    if (::renameat2(AT_FDCWD, swapped.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) == 0) {
        m_replaced = false;
    } else {
        m_file.forgetName();
        m_versionLeftAside = true;
        step += "; it is still there as " + swapped.filename().string();
    }
    errno = error;
    return failed(step);
}

std::string ReplacingFile::errorText() const
{
    const std::string reason = std::strerror(m_errno);
    return m_failedStep.empty() ? reason : m_failedStep + " (" + reason + ")";
}

} // namespace tasks
