// What several benchmarks share: the process's resident memory and a main for widget benchmarks.
#pragma once

// Resident memory of this process in KiB (VmRSS), or -1 when the kernel does not say.
long residentKiB();
// Address space of this process in KiB (VmSize): what it has reserved, touched or not.
long addressSpaceKiB();

// Runs every registered Google Benchmark inside a QApplication on the offscreen platform.
int runWidgetBenchmarks(int argc, char** argv);
