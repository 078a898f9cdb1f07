// The ordered list of stored tasks; index i is row i of the list and record i of the task file.
#pragma once

#include "tasks/task_record.h"

#include <deque>

class TaskList {
public:
    int Count() const;
    void Append(const TaskRecord& record);
    void Append(TaskRecord&& record);
    // Checked access: an index outside 0..Count()-1 raises platform::InvalidArgumentError.
    const TaskRecord& At(int index) const;
    TaskRecord& At(int index);
    // Removes the record at a checked index; later records move up one place.
    void RemoveAt(int index);
    // Drops the records from `count` on; a count at or past the end changes nothing.
    void Truncate(int count);

private:
    void check(int index) const;

    // A deque grows a few records at a time: appending never moves or copies the records already there,
    // and its memory follows the records held, whatever the file's size claimed.
    std::deque<TaskRecord> m_records;
};
