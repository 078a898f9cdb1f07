// The task list as a three-column table: description, what the task waits for, what it then does.
#include "mainwnd/task_table_model.h"

#include "platform/core/format.h"
#include "platform/core/line_text.h"

namespace {

constexpr const char* kHeadings[TaskTableModel::ColumnCount] = {"Task description", "Wait for", "Then do"};
constexpr Qt::Alignment kCellAlignment = Qt::AlignLeft | Qt::AlignVCenter;

void formatDescription(const TaskRecord& task, std::string& out)
{
    out = platform::firstLineMarked(platform::boundedPrefix(task.strDescription));
}

void formatWaitFor(const TaskRecord& task, std::string& out)
{
    if (task.bAtTime) {
        const platform::TimeOfDay at = timeParts(task.timeAt);
        out = platform::clockDigits(at.hour, at.minute, at.second) + "  T";
    } else {
        const SpanParts delay = spanParts(task.spanDelay);
        out = platform::clockDigits(delay.hours, delay.minutes, delay.seconds) + (task.bCountUp ? "  U" : "  D");
    }
}

void formatThenDo(const TaskRecord& task, std::string& out)
{
    if (task.nAction == ACTION_BEEP)
        out = platform::format("Beep: %d / %d", task.nBeepHz, task.nBeepMs);
    else
        out = platform::format("Run: %s", std::string(platform::boundedPrefix(task.strRunFile)).c_str());
}

} // namespace

TaskTableModel::TaskTableModel(const TaskList& tasks, std::string& scratch, QObject* parent)
    : QAbstractTableModel(parent), m_tasks(tasks), m_scratch(scratch), m_nRows(tasks.Count())
{
}

int TaskTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRows;
}

int TaskTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const std::string& TaskTableModel::formatCell(const TaskRecord& task, int column, std::string& scratch)
{
    switch (column) {
    case ColumnDescription:
        formatDescription(task, scratch);
        break;
    case ColumnWaitFor:
        formatWaitFor(task, scratch);
        break;
    default:
        formatThenDo(task, scratch);
        break;
    }
    return scratch;
}

QVariant TaskTableModel::data(const QModelIndex& index, int role) const
{
    // The task list may already have shrunk while a command has yet to refill; such rows stay blank.
    if (!index.isValid() || index.row() >= m_tasks.Count())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(kCellAlignment);
    if (role != Qt::DisplayRole)
        return {};
    return QString::fromLocal8Bit(formatCell(m_tasks.At(index.row()), index.column(), m_scratch));
}

QVariant TaskTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(kCellAlignment);
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kHeadings[section]);
    return {};
}

Qt::ItemFlags TaskTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TaskTableModel::Refill()
{
    beginResetModel();
    m_nRows = m_tasks.Count();
    endResetModel();
}
