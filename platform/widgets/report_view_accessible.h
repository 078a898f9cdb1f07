// The report list as assistive technology reads it: a table whose cells are made only when asked for.
#pragma once

#include <QAccessibleTableInterface>
#include <QAccessibleWidget>
#include <QHash>
#include <QItemSelection>

#include <list>

namespace platform {

class ReportView;

// Role table with the view's rows and columns. Its children are the column headers, then every cell row
// by row. A cell is made when a client asks for it and dropped again once enough others were asked for
// since, so a list of millions of rows costs no more than a page of cells. Clients keep what they were
// given between calls, so the current cell and those of selected rows go last.
class ReportViewAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ReportViewAccessible(ReportView* view);
    ~ReportViewAccessible() override;

    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    ReportView* view() const;
    // The header of `column`, kept for the table's life: there are only a few.
    QAccessibleInterface* headerCell(int column) const;

    // The most cells that are alive at once.
    static constexpr int kMaxCells = 1024;

private:
    struct MadeCell {
        QAccessible::Id id;
        std::list<qint64>::iterator use; // its place in m_useOrder
    };

    QItemSelection selectedRanges() const;
    QAccessibleInterface* bodyCell(int row, int column) const;
    void dropOneCell() const;
    void forgetCells();

    mutable QHash<qint64, MadeCell> m_cells; // by place
    mutable std::list<qint64> m_useOrder;    // places, the least recently handed out first
    mutable QHash<int, QAccessible::Id> m_headers;
};

// What the view tells assistive technology when its current row or its selection changes: a focus
// event on the current cell, and selection events on the first cell gained and the first cell lost.
void notifyCurrentChanged(ReportView* view, const QModelIndex& current);
void notifySelectionChanged(ReportView* view, const QItemSelection& selected, const QItemSelection& deselected);

} // namespace platform
