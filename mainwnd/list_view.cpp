// The task list view and the commands that act on the list or the window layout.
#include "mainwnd/dia_main.h"

#include "mainwnd/task_table_model.h"
#include "platform/dialog_builder.h"
#include "platform/scroll_bar.h"
#include "res/resource.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>

void CDia_Main::SetUpListView()
{
    QTreeView* view = listView();
    m_listModel = new TaskTableModel(m_tasks, m_strText, this);
    view->setModel(m_listModel);
    QHeaderView* header = view->header();
    // Columns keep the widths they are given; the last one does not stretch to the view's edge.
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < TaskTableModel::ColumnCount; ++column)
        header->resizeSection(column, TaskTableModel::kColumnWidths[column]);
}

void CDia_Main::Refill()
{
    // A reset recreates every row, which also drops the selection.
    m_listModel->Refill();
    m_nSelected = -1;
}

void CDia_Main::OnItemChanged(int row)
{
    m_nSelected = row;
}

void CDia_Main::OnListKeyDown(int) {}

void CDia_Main::OnListDoubleClick(int) {}

void CDia_Main::OnNew() {}

void CDia_Main::OnEdit() {}

void CDia_Main::OnRemove() {}

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
