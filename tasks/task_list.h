// The ordered list of stored tasks; index i is row i of the list and record i of the task file.
#pragma once

#include "tasks/task_record.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TaskList {
public:
    int Count() const;
    void Append(const TaskRecord& record);
    // Checked access: an index outside 0..Count()-1 raises platform::InvalidArgumentError.
    const TaskRecord& At(int index) const;
    TaskRecord& At(int index);
    // Removes the record at a checked index; later records move up one place.
    void RemoveAt(int index);
    // Makes room for `count` records in all, so that appending up to there allocates nothing.
    void Reserve(int count);
    // Drops the records from `count` on; a count at or past the end changes nothing.
    void Truncate(int count);

private:
    // Records live in blocks that never move, each twice the size of the one before: growing costs
    // one allocation per doubling and never a copy of what is there, and memory follows the records.
    static constexpr int kFirstBlockShift = 10;

    struct Place {
        std::size_t block;
        std::size_t offset;
    };
    static Place place(int index);
    static std::int64_t blockStart(std::size_t block);
    void check(int index) const;
    void addBlock();
    const TaskRecord& slot(int index) const;
    TaskRecord& slot(int index);

    std::vector<std::vector<TaskRecord>> m_blocks; // block b holds the records from blockStart(b) on
    int m_count = 0;
};
