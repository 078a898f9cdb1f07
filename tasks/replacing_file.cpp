// Durable whole-file replacement with POSIX calls, so every failure carries the system's own reason.
#include "tasks/replacing_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tasks {

namespace {

constexpr int kNameAttempts = 100;
constexpr mode_t kNewFileMode = 0666; // narrowed by the umask, as for any new file

// A fresh name beside the target; O_EXCL guarantees that nothing already there is touched.
int createBeside(const std::filesystem::path& target, std::filesystem::path& created)
{
    std::random_device random;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(random()));
        created = target;
        created += suffix;
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Giving a file away needs privilege, and a group needs membership of it: kept as far as allowed,
// else the new file is this user's, as any file they create.
bool keepOwnerAndGroup(int fd, const struct stat& old)
{
    return ::fchown(fd, old.st_uid, old.st_gid) == 0 || ::fchown(fd, uid_t(-1), old.st_gid) == 0;
}

// Owner and group first: changing them clears the set-id bits, which the mode then puts back.
// False, with errno set, when the mode could not be kept: the new file must then not take the target's place.
bool takeOverOwnerAndMode(int fd, const std::filesystem::path& target)
{
    struct stat old {};
    if (::stat(target.c_str(), &old) != 0)
        return true;
    keepOwnerAndGroup(fd, old);
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

} // namespace

FileStamp stampOf(const struct stat& info)
{
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

std::optional<FileStamp> currentStamp(const std::filesystem::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return stampOf(info);
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

ReplacingFile::ReplacingFile(std::filesystem::path target) : m_target(std::move(target))
{
    m_fd = createBeside(m_target, m_temporary);
    if (m_fd < 0)
        m_errno = errno;
    else if (!takeOverOwnerAndMode(m_fd, m_target))
        m_modeErrno = errno;
}

ReplacingFile::~ReplacingFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_renamed && !m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

bool ReplacingFile::failed()
{
    m_errno = errno;
    return false;
}

bool ReplacingFile::write(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return failed();
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

bool ReplacingFile::sync() { return ::fdatasync(m_fd) == 0 || failed(); }

bool ReplacingFile::commit()
{
    if (m_modeErrno != 0) {
        m_errno = m_modeErrno;
        m_failedStep = "its permissions could not be kept";
        return false;
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0)
        return failed();
    m_written = stampOf(info);
    if (::close(std::exchange(m_fd, -1)) != 0)
        return failed();
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return failed();
    m_renamed = true;
    return syncToDisk(folderOf(m_target)) || failed();
}

std::string ReplacingFile::errorText() const
{
    const std::string reason = std::strerror(m_errno);
    return m_failedStep.empty() ? reason : m_failedStep + " (" + reason + ")";
}

} // namespace tasks
