// The task list: records held by value, every index checked.
#include "tasks/task_list.h"

#include "platform/errors.h"

#include <cstdint>
#include <sys/mman.h>

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;

// A first touch of each 4 KiB page costs a fault, and faults are dear on virtual machines;
// a large reservation is filled front to back, so huge pages serve it as well and fault 512 times less.
void preferHugePages(const void* storage, std::size_t bytes)
{
    const auto begin = (reinterpret_cast<std::uintptr_t>(storage) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(storage) + bytes) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace

int TaskList::Count() const { return int(m_records.size()); }

void TaskList::Append(const TaskRecord& record) { m_records.push_back(record); }

void TaskList::check(int index) const
{
    if (index < 0 || index >= Count())
        throw platform::InvalidArgumentError();
}

const TaskRecord& TaskList::At(int index) const
{
    check(index);
    return m_records[std::size_t(index)];
}

TaskRecord& TaskList::At(int index)
{
    check(index);
    return m_records[std::size_t(index)];
}

void TaskList::RemoveAt(int index)
{
    check(index);
    m_records.erase(m_records.begin() + index);
}

void TaskList::Reserve(int count)
{
    if (count <= 0 || std::size_t(count) <= m_records.capacity())
        return;
    m_records.reserve(std::size_t(count));
    preferHugePages(m_records.data(), m_records.capacity() * sizeof(TaskRecord));
}

void TaskList::Truncate(int count)
{
    if (count >= 0 && std::size_t(count) < m_records.size())
        m_records.resize(std::size_t(count));
}
