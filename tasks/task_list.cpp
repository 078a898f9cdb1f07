// The task list: records held by value in blocks, every index checked.
#include "tasks/task_list.h"

#include "platform/errors.h"

#include <algorithm>

int TaskList::Count() const { return m_count; }

void TaskList::addBlock()
{
    m_blocks.emplace_back();
    m_blocks.back().reserve(kBlockRecords);
}

const TaskRecord& TaskList::slot(int index) const
{
    return m_blocks[std::size_t(index >> kBlockShift)][std::size_t(index & (kBlockRecords - 1))];
}

TaskRecord& TaskList::slot(int index)
{
    return m_blocks[std::size_t(index >> kBlockShift)][std::size_t(index & (kBlockRecords - 1))];
}

void TaskList::Append(const TaskRecord& record)
{
    const std::size_t block = std::size_t(m_count >> kBlockShift);
    if (block == m_blocks.size())
        addBlock();
    m_blocks[block].push_back(record);
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
    m_blocks[std::size_t((m_count - 1) >> kBlockShift)].pop_back();
    --m_count;
}

void TaskList::Reserve(int count)
{
    while (std::size_t(std::max(count, 0)) > m_blocks.size() * kBlockRecords)
        addBlock();
}

void TaskList::Truncate(int count)
{
    if (count < 0 || count >= m_count)
        return;
    for (std::size_t block = std::size_t(count >> kBlockShift); block < m_blocks.size(); ++block)
        m_blocks[block].resize(std::size_t(std::max(0, count - int(block) * kBlockRecords)));
    m_count = count;
}
