// The task editor dialog.
#include "editor/dia_task.h"

#include "platform/dialog_builder.h"
#include "res/resource.h"
#include "res/templates.h"

CDia_Task::CDia_Task(QWidget* parent) : QDialog(parent)
{
    platform::buildDialog(this, res::kTaskDialog);
}

int CDia_Task::DoModal()
{
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}
