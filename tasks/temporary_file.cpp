// New files written where nobody sees them until they are whole, and the sweep of what a crash left.
#include "tasks/temporary_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tasks {

namespace {

constexpr int kNameAttempts = 100;
constexpr const char* kSavingMark = ".saving-";
constexpr std::size_t kSuffixDigits = 8;

std::filesystem::path folderOfFile(const std::filesystem::path& file)
{
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

std::filesystem::path randomName(const std::filesystem::path& beside)
{
    static std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", unsigned(random()));
    std::filesystem::path name = beside;
    name += kSavingMark;
    name += suffix;
    return name;
}

bool allHex(const std::string& text)
{
    return text.size() == kSuffixDigits &&
           text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

TemporaryFile::TemporaryFile(const std::filesystem::path& beside, mode_t mode) : m_beside(beside)
{
    m_fd = temporary_file_hooks::withoutUnnamed ? (errno = EOPNOTSUPP, -1)
                                                : ::open(folderOfFile(beside).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    // Whatever stops an unnamed file (no support, or a folder the kernel refuses one in), a named one says
    // best why the folder takes no new file at all.
    for (int attempt = 0; m_fd < 0 && attempt < kNameAttempts && (attempt == 0 || errno == EEXIST); ++attempt) {
        m_name = randomName(beside);
        m_fd = ::open(m_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    }
    if (m_fd < 0) {
        m_name.clear();
        return;
    }
    ::flock(m_fd, LOCK_EX | LOCK_NB); // nobody else knows the file yet, so the lock is always granted
}

TemporaryFile::~TemporaryFile()
{
    if (!m_name.empty())
        ::unlink(m_name.c_str());
    close();
}

bool TemporaryFile::linkAs(const std::filesystem::path& name) const
{
    if (!m_name.empty())
        return ::link(m_name.c_str(), name.c_str()) == 0;
    // Linking by descriptor needs a privilege; through /proc, only write access to the folder.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    return errno == ENOENT && ::linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

bool TemporaryFile::name()
{
    for (int attempt = 0; m_name.empty() && attempt < kNameAttempts; ++attempt) {
        const std::filesystem::path candidate = randomName(m_beside);
        if (linkAs(candidate))
            m_name = candidate;
        else if (errno != EEXIST)
            return false;
    }
    return !m_name.empty();
}

bool TemporaryFile::close()
{
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

bool isTemporaryName(const std::filesystem::path& file, const std::string& name)
{
    const std::string base = file.filename().string();
    if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0)
        return false;
    const std::string rest = name.substr(base.size());
    const std::string saving = kSavingMark;
    if (rest.compare(0, saving.size(), saving) == 0)
        return allHex(rest.substr(saving.size()));
    return rest[0] == '.' && allHex(rest.substr(1));
}

// A save in progress holds its file locked; the lock dies with the process, so a crash's file is free.
void sweepTemporaries(const std::filesystem::path& file)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folderOfFile(file), error)) {
        if (!isTemporaryName(file, entry.path().filename().string()) || !entry.is_regular_file(error) ||
            entry.is_symlink(error))
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(entry.path().c_str());
        ::close(fd);
    }
}

} // namespace tasks
