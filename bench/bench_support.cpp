// What several benchmarks share: the process's resident memory, a main for widget benchmarks, timing lines.
#include "bench/bench_support.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// One "Vm...:" line of /proc/self/status in KiB, or -1.
long statusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    return -1;
}

} // namespace

long residentKiB() { return statusKiB("VmRSS:"); }

long addressSpaceKiB() { return statusKiB("VmSize:"); }

int runWidgetBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

void printTimings(const char* what, std::vector<double> ms, double target)
{
    if (ms.empty())
        return;
    const double first = ms.front();
    std::sort(ms.begin() + 1, ms.end());
    std::printf("%-22s first %6.2f ms   then median %6.2f ms, max %6.2f ms   (target < %.0f ms)\n", what, first,
                ms[ms.size() / 2], ms.back(), target);
}
