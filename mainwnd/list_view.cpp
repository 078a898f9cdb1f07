// The task list view and the commands that act on the list or the window layout.
#include "mainwnd/dia_main.h"

#include "editor/dia_task.h"
#include "mainwnd/list_view_support.h"
#include "mainwnd/task_table_model.h"
#include "platform/desktop/desktop.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/widgets/report_view.h"
#include "platform/widgets/scroll_bar.h"
#include "res/resource.h"

#include <QHeaderView>
#include <QPushButton>

namespace {

constexpr const char* kSelectFirst = "Please select a tasks for edit at first!";

} // namespace

void CDia_Main::SetUpListView()
{
    platform::ReportView* view = listControl();
    m_listModel = new TaskTableModel(m_tasks, m_strText, this);
    view->setModel(m_listModel);
    QHeaderView* header = view->header();
    // Columns keep the widths they are given; the last one does not stretch to the view's edge.
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < TaskTableModel::ColumnCount; ++column)
        view->setColumnWidth(column, TaskTableModel::kColumnWidths[column]);

    new listview::GridLines(view);
    new listview::HotTrack(view);
    new listview::ItemChanges(view, [this](int row) { platform::guarded(this, [&] { OnItemChanged(row); }); });
    new listview::ListInput(
        view,
        [this](int key) {
            bool ranCommand = true; // only a command can throw
            platform::guarded(this, [&] { ranCommand = OnListKeyDown(key); });
            return ranCommand;
        },
        [this](int row) { platform::guarded(this, [&] { OnListDoubleClick(row); }); });
}

void CDia_Main::EnsureListView()
{
    if (!m_listModel)
        SetUpListView();
}

void CDia_Main::Refill()
{
    // A reset recreates every row, which also drops the selection; a list not yet set up reads the
    // tasks when it is.
    if (m_listModel)
        m_listModel->Refill();
    m_nSelected = -1;
}

void CDia_Main::OnItemChanged(int row)
{
    m_nSelected = row;
    if (!m_bRunning)
        RedrawClock();
}

bool CDia_Main::OnListKeyDown(int key)
{
    if (key == Qt::Key_Space)
        OnEdit();
    else if (key == Qt::Key_Delete)
        OnRemove();
    else
        return false;
    return true;
}

void CDia_Main::OnListDoubleClick(int row)
{
    if (row == -1)
        OnNew();
    else
        OnEdit();
}

void CDia_Main::OnNew()
{
    // The new task goes after every stored one.
    EnsureLoaded();
    // Owned by the main window, as the framework makes it: modal over that window, not over the group.
    CDia_Task editor(this);
    editor.m_pTarget = &m_taskShown;
    editor.m_bNewTask = true;
    if (editor.DoModal() != IDOK)
        return;
    // Taken at once: the next paint with a row selected overwrites m_taskShown.
    m_tasks.Append(m_taskShown);
    Refill();
}

void CDia_Main::OnEdit()
{
    if (m_nSelected == -1) {
        platform::desktop().messageBox(this, kSelectFirst, platform::MessageIcon::Information);
        return;
    }
    TaskRecord& task = m_tasks.At(m_nSelected);
    CDia_Task editor(this);
    editor.m_pTarget = &task;
    if (editor.DoModal() == IDOK)
        Refill();
}

void CDia_Main::OnRemove()
{
    if (m_nSelected == -1)
        return;
    m_tasks.RemoveAt(m_nSelected);
    Refill();
}

void CDia_Main::OnClear()
{
    scrollBar()->setValue(0);
    m_spanCounter = 0;
    m_nSelected = -1;
    Refill();
    RedrawClock();
}

void CDia_Main::OnShowList()
{
    auto* button = platform::control<QPushButton>(this, IDC_SHOWLIST);
    EnsureListView();
    if (m_bListShown) {
        SetOuterHeight(kCollapsedHeight);
        button->setText(QStringLiteral("Show List"));
        m_bListShown = false;
    } else {
        SetOuterHeight(kExpandedHeight);
        button->setText(QStringLiteral("Hide List"));
        m_bListShown = true;
    }
}
