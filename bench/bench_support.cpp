// What several benchmarks share: the process's resident memory and a main for widget benchmarks.
#include "bench/bench_support.h"

#include <QApplication>
#include <benchmark/benchmark.h>

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
