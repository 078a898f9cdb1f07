// Speed and memory of saving and loading a million tasks, beside raw file reads and writes of the same bytes.
#include "bench/bench_support.h"
#include "tasks/task_file.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
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
    list.Reserve(kTasks);
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

// Only the loading is timed; freeing the list afterwards is not.
Timing bestLoad(const fs::path& file)
{
    return best([] { return std::make_unique<TaskList>(); },
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

void rawRead(const fs::path& file, std::size_t blockSize)
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
    const Rate saveRate = printRate("save (QSaveFile: fsync, rename)", bytes, save);
    const Rate synced = printRate("raw write (fwrite 1 MiB, fsync)", bytes, best([&] { rawWrite(rawFile, bytes, true); }));
    const Rate unsynced = printRate("raw write (fwrite 1 MiB)", bytes, best([&] { rawWrite(rawFile, bytes, false); }));
    printRatio("save / raw write with fsync", saveRate, synced);
    printRatio("save / raw write without fsync", saveRate, unsynced);
}

// Resident memory with the loaded list alive, beside the file size.
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
    std::printf("  growth / file size                   %8.2f  (target <= 2)\n\n",
                double(after - before) * 1024 / double(bytes));
}

void benchLoad(const fs::path& file)
{
    const std::uintmax_t bytes = fs::file_size(file);
    measureMemory(file, bytes);
    const Rate load = printRate("load", bytes, bestLoad(file));
    const Rate big = printRate("raw read (fread 1 MiB blocks)", bytes, best([&] { rawRead(file, 1 << 20); }));
    const Rate small = printRate("raw read (fread 4 KiB blocks)", bytes, best([&] { rawRead(file, 4096); }));
    printRatio("load / raw read in 1 MiB blocks", load, big);
    printRatio("load / raw read in 4 KiB blocks", load, small);
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

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + "/pelmora-bench-XXXXXX" : QString());
    if (!dir.isValid())
        return 1;
    const fs::path file = fs::path(dir.path().toStdString()) / tasks::kTaskFileName;
    std::printf("VmRSS at start: %ld KiB\n", residentKiB());
    benchSave(file, fs::path(dir.path().toStdString()) / "raw.bin");
    benchLoad(file);
    const bool same = loadMatches(file);
    std::printf("\nloaded list equals the saved one: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
