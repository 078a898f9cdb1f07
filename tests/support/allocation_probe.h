// The allocation probe shared by a test binary's files; byte_files.h puts it into the global operator new.
#pragma once

#include <atomic>
#include <cstddef>
#include <limits>

// The largest allocation asked for since a test last set it to 0.
inline std::atomic<std::size_t> g_largestAllocation{0};
// Allocations of this many bytes or more fail with std::bad_alloc, as when memory runs out.
inline std::atomic<std::size_t> g_failAllocationsFrom{std::numeric_limits<std::size_t>::max()};
