// The task list as a three-column table for the list view; rows are formatted only when shown.
#pragma once

#include "tasks/task_list.h"

#include <QAbstractTableModel>

#include <string>

class TaskTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnDescription, ColumnWaitFor, ColumnThenDo, ColumnCount };

    // `scratch` is the window's scratch string, in which every cell text is formatted.
    TaskTableModel(const TaskList& tasks, std::string& scratch, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Drops every row and takes the rows anew from the task list, as many as it holds now.
    void Refill();

    // The text of one cell for a task, formatted into `scratch`.
    static const std::string& formatCell(const TaskRecord& task, int column, std::string& scratch);

    static constexpr int kColumnWidths[ColumnCount] = {250, 70, 500};

private:
    const TaskList& m_tasks;
    std::string& m_scratch;
    int m_nRows = 0; // the rows the view knows of, fixed between refills
};
