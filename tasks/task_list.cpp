// The task list: records held by value, every index checked.
#include "tasks/task_list.h"

#include "platform/core/errors.h"

#include <utility>

int TaskList::Count() const { return int(m_records.size()); }

void TaskList::Append(const TaskRecord& record) { m_records.push_back(record); }

void TaskList::Append(TaskRecord&& record) { m_records.push_back(std::move(record)); }

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

void TaskList::Truncate(int count)
{
    if (count < 0 || count >= Count())
        return;
    m_records.resize(std::size_t(count));
}
