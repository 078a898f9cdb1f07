// The task list: records held by value in blocks, every index checked.
#include "tasks/task_list.h"

#include "platform/core/errors.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <sys/mman.h>
#include <utility>

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;

// A first touch of each 4 KiB page costs a fault, and faults are dear on virtual machines;
// a block is filled front to back, so huge pages serve it as well and fault 512 times less.
void preferHugePages(const void* storage, std::size_t bytes)
{
    const auto begin = (reinterpret_cast<std::uintptr_t>(storage) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(storage) + bytes) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace

int TaskList::Count() const { return m_count; }

std::int64_t TaskList::blockStart(std::size_t block)
{
    return std::int64_t(((std::uint64_t(1) << block) - 1) << kFirstBlockShift);
}

// Counted from the first block's size, index + that size has its highest bit in the block's place.
TaskList::Place TaskList::place(int index)
{
    const std::uint64_t shifted = std::uint64_t(index) + (std::uint64_t(1) << kFirstBlockShift);
    const std::size_t block = std::size_t(std::bit_width(shifted)) - 1 - kFirstBlockShift;
    return {block, std::size_t(shifted - (std::uint64_t(1) << (block + kFirstBlockShift)))};
}

// The block joins the list only once its memory is there: a failed reservation must not leave an empty
// block behind, which later appends would grow by reallocating, moving the records in it.
void TaskList::addBlock()
{
    const std::size_t records = std::size_t(1) << (m_blocks.size() + kFirstBlockShift);
    std::vector<TaskRecord> block;
    block.reserve(records);
    preferHugePages(block.data(), records * sizeof(TaskRecord));
    m_blocks.push_back(std::move(block));
}

const TaskRecord& TaskList::slot(int index) const
{
    const Place at = place(index);
    return m_blocks[at.block][at.offset];
}

TaskRecord& TaskList::slot(int index)
{
    const Place at = place(index);
    return m_blocks[at.block][at.offset];
}

void TaskList::Append(const TaskRecord& record)
{
    const Place at = place(m_count);
    if (at.block == m_blocks.size())
        addBlock();
    m_blocks[at.block].push_back(record);
    ++m_count;
}

void TaskList::check(int index) const
{
    if (index < 0 || index >= Count())
        throw platform::InvalidArgumentError();
}

const TaskRecord& TaskList::At(int index) const
{
    check(index);
    return slot(index);
}

TaskRecord& TaskList::At(int index)
{
    check(index);
    return slot(index);
}

void TaskList::RemoveAt(int index)
{
    check(index);
    for (int i = index; i + 1 < m_count; ++i)
        slot(i) = std::move(slot(i + 1));
    m_blocks[place(m_count - 1).block].pop_back();
    --m_count;
}

void TaskList::Reserve(int count)
{
    while (count > blockStart(m_blocks.size()))
        addBlock();
}

void TaskList::Truncate(int count)
{
    if (count < 0 || count >= m_count)
        return;
    for (std::size_t block = place(count).block; block < m_blocks.size(); ++block)
        m_blocks[block].resize(std::size_t(std::max<std::int64_t>(0, count - blockStart(block))));
    m_count = count;
}
