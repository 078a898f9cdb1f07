// Loading and saving TASKS.BIN: records back to back, no header, saved atomically.
#include "tasks/task_file.h"

#include "platform/errors.h"

#include <QFile>
#include <QSaveFile>

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tasks {

namespace {

// Two flag bytes, three 32-bit and two 64-bit fields, two empty strings of one count byte each.
constexpr std::uint64_t kSmallestRecord = 32;
constexpr int kMaxLinkDepth = 40;

class DeviceSink : public platform::ByteSink {
public:
    explicit DeviceSink(QIODevice& device) : m_device(device) {}
    bool write(const char* data, std::size_t size) override
    {
        return m_device.write(data, qint64(size)) == qint64(size);
    }
    std::string errorText() const override { return m_device.errorString().toStdString(); }

private:
    QIODevice& m_device;
};

// Each field lands in `record` as soon as it is read: a cut record leaves what was read.
void readRecord(platform::ArchiveReader& in, TaskRecord& record)
{
    record.bCountUp = in.readU8() != 0;
    record.bAtTime = in.readU8() != 0;
    record.nBeepHz = in.readI32();
    record.nBeepMs = in.readI32();
    in.readString(record.strDescription);
    in.readString(record.strRunFile);
    record.timeAt = in.readI64();
    record.spanDelay = in.readI64();
    record.nAction = in.readI32();
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

// Room for as many records as the bytes could hold, so the list never moves while loading.
// Capacity never touched costs address space, not memory; if even that is refused, load without it.
void reserveFor(TaskList& list, std::uint64_t bytes)
{
    const std::uint64_t most = std::min<std::uint64_t>(bytes / kSmallestRecord, INT_MAX - list.Count());
    try {
        list.Reserve(list.Count() + int(most));
    } catch (const std::exception&) {
    }
}

// A TASKS.BIN that is a link stays one: the file it leads to is the one replaced.
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

bool writable(const std::filesystem::path& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// The rename would replace a read-only file too, so its permission is checked here, by this process.
bool mayReplace(const std::filesystem::path& target)
{
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : ".";
    if (!writable(dir))
        return false;
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    if (!std::filesystem::exists(status))
        return true;
    return !std::filesystem::is_directory(status) && writable(target);
}

void writeAll(platform::ByteSink& sink, const std::string& name, const TaskList& list)
{
    platform::ArchiveWriter out(sink, name);
    for (int i = 0; i < list.Count(); ++i)
        writeRecord(out, list.At(i));
    out.flush();
}

void writeAndCommit(QSaveFile& file, const std::string& name, const TaskList& list, const SinkWrapper& wrapSink)
{
    DeviceSink device(file);
    const std::unique_ptr<platform::ByteSink> wrapped = wrapSink ? wrapSink(device) : nullptr;
    writeAll(wrapped ? *wrapped : device, name, list);
    if (!file.commit())
        throw platform::FileError(name, file.errorString().toStdString());
}

} // namespace

void loadTasks(const std::filesystem::path& file, TaskList& list, TaskRecord& scratch)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rbe"), &std::fclose);
    if (!stream)
        return;
    try {
        const std::string name = file.filename().string();
        platform::FileSource source(stream.get(), name);
        platform::ArchiveReader in(source, name);
        reserveFor(list, source.remaining());
        for (;;) {
            readRecord(in, scratch);
            list.Append(scratch);
        }
    } catch (...) {
        // The end of the file, a cut record or a damaged one: what was read so far is the list.
    }
}

bool saveTasks(const std::filesystem::path& file, const TaskList& list) { return saveTasks(file, list, nullptr); }

bool saveTasks(const std::filesystem::path& file, const TaskList& list, const SinkWrapper& wrapSink)
{
    const std::filesystem::path target = resolveLinks(file);
    if (!mayReplace(target))
        return false;
    // QSaveFile writes a temporary file beside the target, fsyncs it and renames it over on commit.
    // Its own 16 KiB buffer is kept: it saves three system calls in four for the archive's 4 KiB blocks.
    QSaveFile out(QFile::decodeName(target.c_str()));
    if (!out.open(QIODevice::WriteOnly))
        return false;
    try {
        writeAndCommit(out, file.filename().string(), list, wrapSink);
    } catch (...) {
        out.cancelWriting();
        throw;
    }
    return true;
}

} // namespace tasks
