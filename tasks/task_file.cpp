// Loading and saving TASKS.BIN: records back to back, no header, saved durably.
#include "tasks/task_file.h"

#include "platform/core/errors.h"
#include "platform/core/format.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <new>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tasks {

namespace {

constexpr int kMaxLinkDepth = 40;
constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

constexpr int kRecordFields = 9;
// Large reads cost few system calls; the block still fits a core's cache, and is small beside any list.
constexpr std::size_t kLoadBufferSize = 64 * 1024;

// Each field lands in `record` as soon as it is read, and `fields` counts them: a cut record leaves what was read.
void readRecord(platform::ArchiveReader& in, TaskRecord& record, int& fields)
{
    fields = 0;
    record.bCountUp = in.readU8() != 0;
    ++fields;
    record.bAtTime = in.readU8() != 0;
    ++fields;
    record.nBeepHz = in.readI32();
    ++fields;
    record.nBeepMs = in.readI32();
    ++fields;
    in.readString(record.strDescription);
    ++fields;
    in.readString(record.strRunFile);
    ++fields;
    record.timeAt = in.readI64();
    ++fields;
    record.spanDelay = in.readI64();
    ++fields;
    record.nAction = in.readI32();
    ++fields;
}

// Copies the fields from the `first`-th on, in file order, so that `record` holds what reading them
// one by one from `from` would have left.
void copyFieldsFrom(TaskRecord& record, const TaskRecord& from, int first)
{
    switch (first) {
    case 0: record.bCountUp = from.bCountUp; [[fallthrough]];
    case 1: record.bAtTime = from.bAtTime; [[fallthrough]];
    case 2: record.nBeepHz = from.nBeepHz; [[fallthrough]];
    case 3: record.nBeepMs = from.nBeepMs; [[fallthrough]];
    case 4: record.strDescription = from.strDescription; [[fallthrough]];
    case 5: record.strRunFile = from.strRunFile; [[fallthrough]];
    case 6: record.timeAt = from.timeAt; [[fallthrough]];
    case 7: record.spanDelay = from.spanDelay; [[fallthrough]];
    case 8: record.nAction = from.nAction; [[fallthrough]];
    default: break;
    }
}

void writeRecord(platform::ArchiveWriter& out, const TaskRecord& record)
{
    out.writeU8(record.bCountUp != 0);
    out.writeU8(record.bAtTime != 0);
    out.writeI32(record.nBeepHz);
    out.writeI32(record.nBeepMs);
    out.writeString(record.strDescription);
    out.writeString(record.strRunFile);
    out.writeI64(record.timeAt);
    out.writeI64(record.spanDelay);
    out.writeI32(record.nAction);
}

// Closes a file descriptor on every path out.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

LoadOutcome unreadable(std::string reason)
{
    LoadOutcome outcome;
    outcome.kind = LoadOutcome::Kind::Unreadable;
    outcome.reason = std::move(reason);
    return outcome;
}

// Reads records until an error; the list grows only with the records read, never with the file's size.
// Each complete record moves into the list, so its texts are never copied; once reading stops, `scratch`
// gets back the last complete record's fields that the cut record (if any) did not overwrite.
void readRecords(platform::ByteSource& source, const std::string& name, TaskList& list, TaskRecord& scratch,
                 LoadOutcome& outcome)
{
    platform::ArchiveReader in(source, name, kLoadBufferSize);
    int fields = 0;
    const auto restoreScratch = [&] {
        if (outcome.tasksRead > 0 && fields < kRecordFields)
            copyFieldsFrom(scratch, list.At(list.Count() - 1), fields);
    };
    try {
        for (;;) {
            readRecord(in, scratch, fields);
            list.Append(std::move(scratch));
            outcome.stopOffset = in.position();
            ++outcome.tasksRead;
        }
    } catch (const std::bad_alloc&) {
        outcome.reason = "out of memory";
    } catch (const platform::ArchiveError&) {
        outcome.reason = "the bytes there do not hold a complete task";
    } catch (...) {
        restoreScratch();
        throw;
    }
    restoreScratch();
}

bool writable(const std::filesystem::path& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Whether this process holds CAP_FOWNER in its effective set, as root normally does.
bool actsAsAnyOwner()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return ::geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

std::string notRegular(mode_t mode) { return S_ISDIR(mode) ? std::strerror(EISDIR) : "Not a regular file"; }

// Past the rename the new tasks are in place; only their surviving a crash is in doubt.
std::string notDurable(const std::string& reason)
{
    return "the tasks were written but may not survive a crash (the folder could not be synced: " + reason + ")";
}

// In a sticky folder only the file's owner, the folder's owner or a process allowed to act as any owner may
// rename over the file: the save would fail at its very end, after all the writing.
std::optional<std::string> stickyRefusal(const std::filesystem::path& folder, const struct stat& file)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || (info.st_mode & S_ISVTX) == 0)
        return std::nullopt;
    const uid_t me = ::geteuid();
    if (file.st_uid == me || info.st_uid == me || actsAsAnyOwner())
        return std::nullopt;
    return "the folder is sticky (mode " + platform::format("%04o", unsigned(info.st_mode & 07777)) +
           "), so only the file's owner, " + userName(file.st_uid) + ", or the folder's may replace it";
}

} // namespace

void writeTasks(platform::ByteSink& sink, const std::string& name, const TaskList& list)
{
    platform::ArchiveWriter out(sink, name);
    for (int i = 0; i < list.Count(); ++i)
        writeRecord(out, list.At(i));
    out.flush();
}

// Opening a device can act on it (a tape rewinds, a serial line hangs up), so only what stat calls a
// regular file is opened; the open cannot block, and fstat confirms that the file opened is still one.
LoadOutcome loadTasks(const std::filesystem::path& file, TaskList& list, TaskRecord& scratch)
{
    return loadTasks(file, list, scratch, nullptr);
}

LoadOutcome loadTasks(const std::filesystem::path& file, TaskList& list, TaskRecord& scratch,
                      const SourceWrapper& wrapSource)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return errno == ENOENT ? LoadOutcome() : unreadable(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return unreadable(notRegular(info.st_mode));
    const Descriptor opened{::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    const int fd = opened.fd;
    if (fd < 0)
        return errno == ENOENT ? LoadOutcome() : unreadable(std::strerror(errno));
    if (::fstat(fd, &info) != 0)
        return unreadable(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return unreadable(notRegular(info.st_mode));

    LoadOutcome outcome;
    outcome.fileSize = std::uint64_t(info.st_size);
    outcome.stamp = descriptorStamp(fd);
    const int countBefore = list.Count();
    const std::string name = file.filename().string();
    try {
        platform::FileSource source(fd, name);
        const std::unique_ptr<platform::ByteSource> wrapped = wrapSource ? wrapSource(source) : nullptr;
        readRecords(wrapped ? *wrapped : source, name, list, scratch, outcome);
    } catch (const platform::FileError& error) {
        // An I/O error: what the rest holds is unknown, so nothing of it is shown or ever saved over it.
        list.Truncate(countBefore);
        return unreadable(error.reason());
    }
    outcome.kind = outcome.stopOffset < outcome.fileSize ? LoadOutcome::Kind::Stopped : LoadOutcome::Kind::Complete;
    return outcome;
}

std::filesystem::path resolveLinks(std::filesystem::path file)
{
    std::error_code error;
    for (int depth = 0; depth < kMaxLinkDepth && std::filesystem::is_symlink(file, error); ++depth) {
        const std::filesystem::path link = std::filesystem::read_symlink(file, error);
        if (error)
            break;
        file = link.is_absolute() ? link : file.parent_path() / link;
    }
    return file;
}

// The rename would replace a read-only file too, so the file's permission is checked here, by this process.
std::optional<std::string> replaceRefusal(const std::filesystem::path& file)
{
    const std::filesystem::path target = resolveLinks(file);
    if (!writable(folderOf(target)))
        return std::strerror(errno);
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0)
        return errno == ENOENT ? std::nullopt : std::optional<std::string>(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return notRegular(info.st_mode);
    if (std::optional<std::string> sticky = stickyRefusal(folderOf(target), info))
        return sticky;
    // access() lets root write anything; the mode bits say whether the file is meant to be written at all.
    if ((info.st_mode & kAnyWriteBit) == 0)
        return "the file is read-only";
    if (!writable(target))
        return std::strerror(errno);
    return std::nullopt;
}

SaveResult saveTasks(const std::filesystem::path& file, const TaskList& list) { return saveTasks(file, list, nullptr); }

SaveResult saveTasks(const std::filesystem::path& file, const TaskList& list, const SinkWrapper& wrapSink)
{
    return saveTasks(file, list, SaveOptions{wrapSink, {}, {}});
}

SaveResult saveTasks(const std::filesystem::path& file, const TaskList& list, const SaveOptions& options)
{
    if (std::optional<std::string> refusal = replaceRefusal(file))
        return {std::move(refusal)};
    ReplacingFile replacement(resolveLinks(file), options.keep);
    if (!replacement.opened())
        return {replacement.errorText()};
    if (replacement.refusal())
        return {replacement.refusal()};
    const std::unique_ptr<SaveSink> wrapped = options.wrapSink ? options.wrapSink(replacement) : nullptr;
    SaveSink& sink = wrapped ? *wrapped : replacement;
    const std::string name = file.filename().string();
    writeTasks(sink, name, list);
    const bool done = sink.sync() && sink.commit();
    if (replacement.committed() && options.placed)
        options.placed(replacement.written(), replacement.kept());
    if (!done)
        throw platform::FileError(name, replacement.committed() && !replacement.versionLeftAside()
                                            ? notDurable(sink.errorText())
                                            : sink.errorText());
    SaveResult saved;
    saved.written = replacement.written();
    saved.kept = replacement.kept();
    return saved;
}

} // namespace tasks
