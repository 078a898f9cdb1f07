// Speed and memory of saving and loading a million tasks, beside raw writes and reads of the same bytes (read into
// memory kept, as the list keeps its records); memory after loading 10,000,000 small tasks and a damaged 2 GiB file.
#include "bench/bench_support.h"
#include "tasks/task_file.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr int kTasks = 1'000'000;
constexpr int kRounds = 3;
constexpr unsigned kSeed = 20240305;

std::string randomText(std::mt19937_64& random, int maxLength)
{
    std::string text(std::size_t(random() % unsigned(maxLength + 1)), ' ');
    for (char& c : text)
        c = char(' ' + random() % 95);
    return text;
}

TaskRecord randomRecord(std::mt19937_64& random)
{
    TaskRecord r;
    r.bCountUp = random() & 1;
    r.bAtTime = random() & 1;
    r.nBeepHz = std::int32_t(random() % 4000);
    r.nBeepMs = std::int32_t(random() % 2000);
    r.strDescription = randomText(random, 100);
    r.strRunFile = randomText(random, 60);
    r.timeAt = std::int64_t(random() >> 1);
    r.spanDelay = std::int64_t(random() % 1'000'000);
    r.nAction = std::int32_t(random() & 1);
    return r;
}

TaskList randomList()
{
    std::mt19937_64 random(kSeed);
    TaskList list;
    for (int i = 0; i < kTasks; ++i)
        list.Append(randomRecord(random));
    return list;
}

// Wall-clock and CPU seconds (user and system) of a run. On a shared machine the CPU figure is
// the steadier one; fsync waits show only in the wall-clock one.
struct Timing {
    double wall = 1e300;
    double cpu = 1e300;
};

double cpuSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The best of several runs; `prepare` and whatever it returns are left out of the timing.
template <typename Prepare, typename Run> Timing best(Prepare prepare, Run run)
{
    Timing fastest;
    for (int round = 0; round < kRounds; ++round) {
        auto prepared = prepare();
        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        run(prepared);
        fastest.wall = std::min(fastest.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        fastest.cpu = std::min(fastest.cpu, cpuSeconds() - cpuStart);
    }
    return fastest;
}

Timing best(const std::function<void()>& run)
{
    return best([] { return 0; }, [&](int) { run(); });
}

// Memory freed by the round before goes back to the system first, so that each round, like the program at
// start and like the raw read, gets the memory it keeps fresh from the system.
void returnFreedMemory() { ::malloc_trim(0); }

// Only the loading is timed; freeing the list afterwards is not.
Timing bestLoad(const fs::path& file)
{
    return best(
        [] {
            returnFreedMemory();
            return std::make_unique<TaskList>();
        },
        [&](std::unique_ptr<TaskList>& list) {
            TaskRecord scratch;
            tasks::loadTasks(file, *list, scratch);
        });
}

void rawWrite(const fs::path& file, std::uintmax_t bytes, bool sync)
{
    const std::vector<char> block(1 << 20, 'w');
    std::FILE* out = std::fopen(file.c_str(), "wb");
    for (std::uintmax_t left = bytes; left > 0;) {
        const std::size_t chunk = std::min<std::uintmax_t>(left, block.size());
        std::fwrite(block.data(), 1, chunk, out);
        left -= chunk;
    }
    std::fflush(out);
    if (sync)
        ::fsync(fileno(out));
    std::fclose(out);
}

// The file's bytes into memory that is kept, as the list keeps its records: one buffer of the file's size,
// allocated for the read and filled by reads of `blockSize` bytes straight into it.
std::unique_ptr<char[]> rawReadKept(const fs::path& file, std::size_t blockSize)
{
    const std::size_t bytes = fs::file_size(file);
    auto kept = std::make_unique_for_overwrite<char[]>(bytes);
    std::FILE* in = std::fopen(file.c_str(), "rb");
    std::setvbuf(in, nullptr, _IONBF, 0);
    for (std::size_t done = 0; done < bytes;) {
        const std::size_t got = std::fread(kept.get() + done, 1, std::min(blockSize, bytes - done), in);
        if (got == 0)
            break;
        done += got;
    }
    std::fclose(in);
    return kept;
}

Timing bestRawReadKept(const fs::path& file, std::size_t blockSize)
{
    return best(
        [] {
            returnFreedMemory();
            return std::unique_ptr<char[]>();
        },
        [&](std::unique_ptr<char[]>& kept) { kept = rawReadKept(file, blockSize); });
}

// Reads into one small block over and over: no memory is kept, so it is shown for scale only.
void rawReadReused(const fs::path& file, std::size_t blockSize)
{
    std::vector<char> block(blockSize);
    std::FILE* in = std::fopen(file.c_str(), "rb");
    std::setvbuf(in, nullptr, _IONBF, 0);
    while (std::fread(block.data(), 1, block.size(), in) == block.size()) {
    }
    std::fclose(in);
}

struct Rate {
    double wall;
    double cpu;
};

Rate printRate(const char* what, std::uintmax_t bytes, Timing timing)
{
    const Rate rate{double(bytes) / 1e6 / timing.wall, double(bytes) / 1e6 / timing.cpu};
    std::printf("%-36s %8.1f MB/s wall (%.3f s)  %8.1f MB/s CPU (%.3f s)\n", what, rate.wall, timing.wall, rate.cpu,
                timing.cpu);
    return rate;
}

void printRatio(const char* what, Rate rate, Rate raw)
{
    std::printf("  %-34s %5.2f wall  %5.2f CPU  (target >= 0.25)\n", what, rate.wall / raw.wall, rate.cpu / raw.cpu);
}

void benchSave(const fs::path& file, const fs::path& rawFile)
{
    const TaskList list = randomList();
    const Timing save = best([&] { tasks::saveTasks(file, list); });
    const std::uintmax_t bytes = fs::file_size(file);
    std::printf("file: %d tasks, %ju bytes\n\n", list.Count(), bytes);
    const Rate saveRate = printRate("save (fdatasync, rename, folder sync)", bytes, save);
    const Rate synced = printRate("raw write (fwrite 1 MiB, fsync)", bytes, best([&] { rawWrite(rawFile, bytes, true); }));
    const Rate unsynced = printRate("raw write (fwrite 1 MiB)", bytes, best([&] { rawWrite(rawFile, bytes, false); }));
    printRatio("save / raw write with fsync", saveRate, synced);
    printRatio("save / raw write without fsync", saveRate, unsynced);
}

// A text longer than std::string keeps inside itself lives in a heap block of its length and a zero,
// rounded up by malloc to its 16-byte chunks with 8 bytes of header, 32 bytes at least.
std::size_t textBytes(const std::string& text)
{
    constexpr std::size_t kInline = 15;
    constexpr std::size_t kChunkHeader = 8;
    constexpr std::size_t kChunkAlign = 16;
    constexpr std::size_t kMinChunk = 32;
    if (text.size() <= kInline)
        return 0;
    return std::max(kMinChunk, (text.size() + 1 + kChunkHeader + kChunkAlign - 1) / kChunkAlign * kChunkAlign);
}

// What the records need: the records themselves and their texts' heap blocks.
std::size_t recordBytes(const TaskList& list)
{
    std::size_t bytes = std::size_t(list.Count()) * sizeof(TaskRecord);
    for (int i = 0; i < list.Count(); ++i)
        bytes += textBytes(list.At(i).strDescription) + textBytes(list.At(i).strRunFile);
    return bytes;
}

// Resident memory with the loaded list alive, beside the file size and what the records need.
void measureMemory(const fs::path& file, std::uintmax_t bytes)
{
    ::malloc_trim(0);
    const long before = residentKiB();
    TaskList list;
    TaskRecord scratch;
    tasks::loadTasks(file, list, scratch);
    const long after = residentKiB();
    std::printf("\nloaded %d tasks: VmRSS before %ld KiB, after %ld KiB; file %ju KiB\n", list.Count(), before,
                after, bytes / 1024);
    std::printf("  growth / file size                   %8.2f  (target <= 2)\n",
                double(after - before) * 1024 / double(bytes));
    const double needed = double(recordBytes(list));
    std::printf("  growth / what the records need       %8.2f  (target <= 1.1; %.0f KiB: %zu bytes a record, and each\n"
                "                                                text too long to fit inside its std::string as the\n"
                "                                                heap block malloc gives it)\n\n",
                double(after - before) * 1024 / needed, needed / 1024, sizeof(TaskRecord));
}

void benchLoad(const fs::path& file)
{
    const std::uintmax_t bytes = fs::file_size(file);
    measureMemory(file, bytes);
    const Rate load = printRate("load", bytes, bestLoad(file));
    const Rate kept = printRate("raw read into kept memory (1 MiB)", bytes, bestRawReadKept(file, 1 << 20));
    printRatio("load / raw read into kept memory", load, kept);
    std::printf("for scale, reads that keep nothing:\n");
    printRate("  raw read, one 1 MiB block reused", bytes, best([&] { rawReadReused(file, 1 << 20); }));
    printRate("  raw read, one 4 KiB block reused", bytes, best([&] { rawReadReused(file, 4096); }));
}

// The loaded list must be the saved one, or the figures mean nothing.
bool loadMatches(const fs::path& file)
{
    TaskList loaded;
    TaskRecord scratch;
    tasks::loadTasks(file, loaded, scratch);
    const TaskList expected = randomList();
    if (loaded.Count() != expected.Count())
        return false;
    for (int i = 0; i < expected.Count(); ++i)
        if (!(loaded.At(i) == expected.At(i)))
            return false;
    return true;
}

// ---- Memory follows the records read ----

constexpr int kSmallTasks = 10'000'000;
constexpr std::uintmax_t kDamagedFileBytes = std::uintmax_t(2) << 30;
constexpr int kRecordsBeforeDamage = 10;

TaskRecord smallRecord(int i)
{
    TaskRecord r;
    r.nBeepHz = 1000;
    r.nBeepMs = 100;
    r.strDescription = "t" + std::to_string(i % 10);
    r.spanDelay = i;
    return r;
}

// Records of a few bytes each, repeated: the file is written in blocks, never held as a list.
void writeSmallTasks(const fs::path& file, int count)
{
    TaskList block;
    for (int i = 0; i < 10'000; ++i)
        block.Append(smallRecord(i));
    tasks::saveTasks(file, block);
    std::ifstream in(file, std::ios::binary);
    const std::string blockBytes{std::istreambuf_iterator<char>(in), {}};
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (int written = 0; written < count; written += block.Count())
        out.write(blockBytes.data(), std::streamsize(blockBytes.size()));
}

// Ten records, then a length prefix claiming 4 GiB, then (sparse) zero bytes up to 2 GiB.
void writeDamagedFile(const fs::path& file)
{
    TaskList ten;
    for (int i = 0; i < kRecordsBeforeDamage; ++i)
        ten.Append(smallRecord(i));
    tasks::saveTasks(file, ten);
    std::ofstream(file, std::ios::binary | std::ios::app).write("\0\0\0\0\0\0\0\0\0\0\xff\xff\xff\xf0\xff\xff\xff", 17);
    fs::resize_file(file, kDamagedFileBytes);
}

struct Footprint {
    int tasks;
    long residentKiB;
    long addressSpaceKiB;
    double seconds;
};

// Growth of resident memory and address space while loading `file`, with the list still alive.
Footprint loadFootprint(const fs::path& file)
{
    ::malloc_trim(0);
    const long resident = residentKiB();
    const long space = addressSpaceKiB();
    const auto start = std::chrono::steady_clock::now();
    TaskList list;
    TaskRecord scratch;
    tasks::loadTasks(file, list, scratch);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {list.Count(), residentKiB() - resident, addressSpaceKiB() - space, seconds};
}

void printFootprint(const char* what, const fs::path& file, const Footprint& footprint)
{
    std::printf("%-34s file %12ju bytes  %9d tasks  VmRSS +%8ld KiB  VmSize +%8ld KiB  %6.2f s\n", what,
                fs::file_size(file), footprint.tasks, footprint.residentKiB, footprint.addressSpaceKiB,
                footprint.seconds);
}

void benchBoundedMemory(const fs::path& dir)
{
    const fs::path empty = dir / "empty.bin";
    const fs::path damaged = dir / "damaged.bin";
    const fs::path small = dir / "small.bin";
    std::ofstream{empty};
    writeDamagedFile(damaged);
    writeSmallTasks(small, kSmallTasks);
    const Footprint none = loadFootprint(empty);
    const Footprint cut = loadFootprint(damaged);
    printFootprint("empty file", empty, none);
    printFootprint("2 GiB damaged after record 10", damaged, cut);
    std::printf("  damaged - empty                  %8ld KiB VmRSS  (target <= 5120)\n\n",
                cut.residentKiB - none.residentKiB);
    fs::remove(damaged);
    const Footprint many = loadFootprint(small);
    printFootprint("10,000,000 small tasks", small, many);
    const double records = double(kSmallTasks) * sizeof(TaskRecord) / 1024;
    std::printf("  VmRSS growth / records (%zu bytes each) %5.3f  (target <= 1.1)\n\n", sizeof(TaskRecord),
                double(many.residentKiB) / records);
    fs::remove(small);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + "/pelmora-bench-XXXXXX" : QString());
    if (!dir.isValid())
        return 1;
    const fs::path file = fs::path(dir.path().toStdString()) / tasks::kTaskFileName;
    std::printf("VmRSS at start: %ld KiB\n", residentKiB());
    benchBoundedMemory(dir.path().toStdString());
    benchSave(file, fs::path(dir.path().toStdString()) / "raw.bin");
    benchLoad(file);
    const bool same = loadMatches(file);
    std::printf("\nloaded list equals the saved one: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
