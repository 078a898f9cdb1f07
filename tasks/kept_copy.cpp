// Keeps a version of a file under a name that says why: a hard link, a move, or a whole synced copy.
#include "tasks/kept_copy.h"

#include "tasks/temporary_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tasks {

namespace {

constexpr int kMaxCopies = 1000;
constexpr std::size_t kCopyBlock = 1 << 16;

KeptCopy keptAt(const std::filesystem::path& name) { return {name, {}, 0}; }

KeptCopy failure(const std::filesystem::path& name, int error)
{
    return {{}, name.filename().string(), error};
}

// Whether the file system refuses the link itself, rather than the name.
bool linksUnsupported(int error) { return error == EPERM || error == EXDEV || error == EMLINK || error == ENOTSUP; }

// Copies every byte; false with errno at the first read or write that fails.
bool copyBytes(int from, int to)
{
    std::vector<char> block(kCopyBlock);
    for (;;) {
        const ssize_t got = ::read(from, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, block.data() + done, std::size_t(got - done));
            if (put < 0 && errno != EINTR)
                return false;
            done += put > 0 ? put : 0;
        }
    }
}

// The copy is written whole and synced under no name of its own, then linked to a free name.
KeptCopy copyWhole(const std::filesystem::path& original, CopyName nameOf)
{
    const int from = ::open(original.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (from < 0)
        return failure(original, errno);
    struct stat info {};
    TemporaryFile copy(original, ::fstat(from, &info) == 0 ? info.st_mode & 0777 : 0600);
    const bool written = copy.opened() && copyBytes(from, copy.fd()) && ::fsync(copy.fd()) == 0;
    const int error = errno;
    ::close(from);
    if (!written)
        return failure(nameOf(original, 1), error);
    for (int n = 1; n <= kMaxCopies; ++n) {
        const std::filesystem::path name = nameOf(original, n);
        if (copy.linkAs(name))
            return keptAt(name);
        if (errno != EEXIST)
            return failure(name, errno);
    }
    return failure(nameOf(original, kMaxCopies), EEXIST);
}

} // namespace

KeptCopy keepCopy(const std::filesystem::path& original, CopyName nameOf)
{
    for (int n = 1; n <= kMaxCopies; ++n) {
        const std::filesystem::path name = nameOf(original, n);
        if (!kept_copy_hooks::withoutLinks && ::link(original.c_str(), name.c_str()) == 0)
            return keptAt(name);
        if (kept_copy_hooks::withoutLinks || linksUnsupported(errno))
            return copyWhole(original, nameOf);
        if (errno != EEXIST)
            return failure(name, errno);
    }
    return failure(nameOf(original, kMaxCopies), EEXIST);
}

KeptCopy moveToCopyName(const std::filesystem::path& from, const std::filesystem::path& file, CopyName nameOf)
{
    for (int n = 1; n <= kMaxCopies; ++n) {
        const std::filesystem::path name = nameOf(file, n);
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return keptAt(name);
        if (errno == EEXIST)
            continue;
        // Without a rename that refuses to replace, a link takes the name safely, and the old name goes after.
        if (errno != EINVAL || ::link(from.c_str(), name.c_str()) != 0) {
            if (errno == EEXIST)
                continue;
            return failure(name, errno);
        }
        ::unlink(from.c_str());
        return keptAt(name);
    }
    return failure(nameOf(file, kMaxCopies), EEXIST);
}

} // namespace tasks
