// Byte strings, whole-file reads and writes, and the largest-allocation probe for the archive and task file tests.
// Include it from one source file per test binary: it replaces the global operator new.
#pragma once

#include "tests/support/allocation_probe.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <new>
#include <string>

// Every allocation in the binary passes here, so a test can prove that nothing large was asked for,
// or make a large one fail.
void* operator new(std::size_t size)
{
    if (size >= g_failAllocationsFrom.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    std::size_t seen = g_largestAllocation.load(std::memory_order_relaxed);
    while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

using Bytes = std::string;

inline Bytes bytesOf(std::initializer_list<unsigned> values)
{
    Bytes out;
    for (unsigned value : values)
        out += char(value);
    return out;
}

inline Bytes littleEndian(std::uint64_t value, int size)
{
    Bytes out;
    for (int i = 0; i < size; ++i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

inline void writeBytes(const std::filesystem::path& file, const Bytes& data)
{
    std::ofstream(file, std::ios::binary).write(data.data(), std::streamsize(data.size()));
}

inline Bytes readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
