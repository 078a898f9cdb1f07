// The task editor: a modal dialog that shows and edits one task.
#pragma once

#include "tasks/task_record.h"

#include <QDialog>

#include <string>

class CDia_Task : public QDialog {
    Q_OBJECT
public:
    explicit CDia_Task(QWidget* parent = nullptr);

    // Runs the dialog modally: IDOK (1) when accepted, IDCANCEL (2) otherwise.
    int DoModal();

    std::string m_strPickedFile;
    bool m_bNewTask = false;
    TaskRecord m_task;
    TaskRecord* m_pTarget = nullptr;
};
