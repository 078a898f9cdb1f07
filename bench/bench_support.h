// What several benchmarks share: the process's resident memory, a main for widget benchmarks, timing lines.
#pragma once

#include <vector>

// Resident memory of this process in KiB (VmRSS), or -1 when the kernel does not say.
long residentKiB();
// Address space of this process in KiB (VmSize): what it has reserved, touched or not.
long addressSpaceKiB();

// Runs every registered Google Benchmark inside a QApplication on the offscreen platform.
int runWidgetBenchmarks(int argc, char** argv);

// One line of timings in ms: the first round (which pays for setting up) on its own, then the median and the
// worst of the others, against the target.
void printTimings(const char* what, std::vector<double> ms, double target);
