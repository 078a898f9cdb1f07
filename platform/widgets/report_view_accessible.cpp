// The report list as a table for assistive technology, with cells made on demand and soon dropped.
#include "platform/widgets/report_view_accessible.h"

#include "platform/widgets/accessibility.h"
#include "platform/widgets/report_view.h"

#include <QHeaderView>
#include <QPointer>

#include <algorithm>
#include <climits>

namespace platform {

namespace {

constexpr int kHeaderRow = -1;
constexpr int kColumnBits = 16;

qint64 cellKey(int row, int column)
{
    return (qint64(row) << kColumnBits) | column;
}

// Headers come first, then the cells row by row; an index past what an int holds is never handed out.
int childIndex(int columns, int row, int column)
{
    const qint64 index = row == kHeaderRow ? column : columns + qint64(row) * columns + column;
    return int(std::min<qint64>(index, INT_MAX));
}

QRect onScreen(const QWidget* widget, const QRect& local)
{
    return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

// One header or body cell, reading everything from the view each time it is asked.
class ReportCellAccessible : public LeafAccessible, public QAccessibleTableCellInterface {
public:
    ReportCellAccessible(ReportView* view, int row, int column) : m_view(view), m_row(row), m_column(column) {}

    bool isHeader() const { return m_row == kHeaderRow; }
    const ReportView* view() const { return m_view; }

    bool isValid() const override
    {
        const QAbstractItemModel* model = m_view ? m_view->model() : nullptr;
        return model && m_column < model->columnCount(m_view->rootIndex())
            && m_row < model->rowCount(m_view->rootIndex());
    }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_view); }
    QAccessible::Role role() const override { return isHeader() ? QAccessible::ColumnHeader : QAccessible::Cell; }

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name || !isValid())
            return {};
        if (isHeader())
            return m_view->model()->headerData(m_column, Qt::Horizontal, Qt::DisplayRole).toString();
        return index().data(Qt::DisplayRole).toString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        if (isHeader()) {
            const QHeaderView* header = m_view->header();
            return onScreen(header->viewport(), QRect(header->sectionViewportPosition(m_column), 0,
                                                      header->sectionSize(m_column), header->height()));
        }
        return onScreen(m_view->viewport(), m_view->visualRect(index()));
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.disabled = !m_view->isEnabled();
        if (isHeader())
            return state;
        state.offscreen = !m_view->viewport()->rect().intersects(m_view->visualRect(index()));
        state.selectable = true;
        state.selected = isSelected();
        state.focusable = true;
        state.focused = m_view->hasFocus() && m_view->currentIndex() == index();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }

    bool isSelected() const override
    {
        return !isHeader() && isValid() && m_view->selectionModel()
            && m_view->selectionModel()->isRowSelected(m_row, m_view->rootIndex());
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override
    {
        auto* table = dynamic_cast<ReportViewAccessible*>(parent());
        if (isHeader() || !table)
            return {};
        return {table->headerCell(m_column)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QModelIndex index() const { return m_view->model()->index(m_row, m_column, m_view->rootIndex()); }

    QPointer<ReportView> m_view;
    int m_row;
    int m_column;
};

QAbstractItemModel* modelOf(const ReportView* view)
{
    return view ? view->model() : nullptr;
}

} // namespace

ReportViewAccessible::ReportViewAccessible(ReportView* view) : QAccessibleWidget(view, QAccessible::Table)
{
}

ReportViewAccessible::~ReportViewAccessible()
{
    forgetCells();
    for (QAccessible::Id id : std::as_const(m_headers))
        QAccessible::deleteAccessibleInterface(id);
}

ReportView* ReportViewAccessible::view() const
{
    return static_cast<ReportView*>(widget());
}

QAccessible::State ReportViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    const auto mode = view()->selectionMode();
    state.multiSelectable = mode == QAbstractItemView::MultiSelection || mode == QAbstractItemView::ExtendedSelection;
    state.extSelectable = mode == QAbstractItemView::ExtendedSelection;
    return state;
}

int ReportViewAccessible::rowCount() const
{
    const QAbstractItemModel* model = modelOf(view());
    return model ? model->rowCount(view()->rootIndex()) : 0;
}

int ReportViewAccessible::columnCount() const
{
    const QAbstractItemModel* model = modelOf(view());
    return model ? model->columnCount(view()->rootIndex()) : 0;
}

int ReportViewAccessible::childCount() const
{
    const int columns = columnCount();
    return columns == 0 ? 0 : childIndex(columns, rowCount(), 0);
}

QAccessibleInterface* ReportViewAccessible::child(int index) const
{
    const int columns = columnCount();
    if (index < 0 || index >= childCount())
        return nullptr;
    if (index < columns)
        return headerCell(index);
    return bodyCell((index - columns) / columns, (index - columns) % columns);
}

int ReportViewAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* cell = dynamic_cast<const ReportCellAccessible*>(child);
    if (!cell || cell->view() != view() || !cell->isValid())
        return -1;
    return childIndex(columnCount(), cell->rowIndex(), cell->columnIndex());
}

QAccessibleInterface* ReportViewAccessible::childAt(int x, int y) const
{
    const QPoint point(x, y);
    const QHeaderView* header = view()->header();
    if (header->isVisible() && header->rect().contains(header->mapFromGlobal(point))) {
        const int column = header->logicalIndexAt(header->viewport()->mapFromGlobal(point));
        return column < 0 ? nullptr : headerCell(column);
    }
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(point));
    return index.isValid() ? bodyCell(index.row(), index.column()) : nullptr;
}

void* ReportViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* ReportViewAccessible::cellAt(int row, int column) const
{
    if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
        return nullptr;
    return bodyCell(row, column);
}

QAccessibleInterface* ReportViewAccessible::headerCell(int column) const
{
    if (column < 0 || column >= columnCount())
        return nullptr;
    if (QAccessibleInterface* known = QAccessible::accessibleInterface(m_headers.value(column)))
        return known;
    auto* cell = new ReportCellAccessible(view(), kHeaderRow, column);
    m_headers.insert(column, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

// Each hand-out makes a cell the most recent, so a call that hands out no more than kMaxCells cells never
// drops one of its own.
QAccessibleInterface* ReportViewAccessible::bodyCell(int row, int column) const
{
    const qint64 key = cellKey(row, column);
    if (const auto known = m_cells.constFind(key); known != m_cells.cend()) {
        m_useOrder.splice(m_useOrder.end(), m_useOrder, known->use);
        return QAccessible::accessibleInterface(known->id);
    }
    auto* cell = new ReportCellAccessible(view(), row, column);
    m_cells.insert(key, {QAccessible::registerAccessibleInterface(cell), m_useOrder.insert(m_useOrder.end(), key)});
    if (m_cells.size() > kMaxCells)
        dropOneCell();
    return cell;
}

// Drops the least recently handed out cell other than the current one and those of selected rows, or when
// all are such, the least recent of all. The newest, about to be handed out, always stays.
void ReportViewAccessible::dropOneCell() const
{
    const QModelIndex current = view()->currentIndex();
    const auto kept = [&](qint64 key) {
        const int row = int(key >> kColumnBits);
        const int column = int(key & ((1 << kColumnBits) - 1));
        return (row == current.row() && column == current.column()) || isRowSelected(row);
    };
    const auto newest = std::prev(m_useOrder.end());
    auto dropped = std::find_if_not(m_useOrder.begin(), newest, kept);
    if (dropped == newest)
        dropped = m_useOrder.begin();
    QAccessible::deleteAccessibleInterface(m_cells.take(*dropped).id);
    m_useOrder.erase(dropped);
}

void ReportViewAccessible::forgetCells()
{
    for (const MadeCell& cell : std::as_const(m_cells))
        QAccessible::deleteAccessibleInterface(cell.id);
    m_cells.clear();
    m_useOrder.clear();
}

// Cells read their text from their place, which a change of rows gives to other tasks: clients ask again.
void ReportViewAccessible::modelChange(QAccessibleTableModelChangeEvent*)
{
    forgetCells();
}

// The view selects whole rows and a selection's ranges never overlap, so no row is in two ranges: rows are
// counted and listed from the ranges alone, however many are selected.
QItemSelection ReportViewAccessible::selectedRanges() const
{
    const QItemSelectionModel* selection = view()->selectionModel();
    QItemSelection ranges = selection ? selection->selection() : QItemSelection();
    std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) { return a.top() < b.top(); });
    return ranges;
}

QList<int> ReportViewAccessible::selectedRows() const
{
    QList<int> rows;
    for (const QItemSelectionRange& range : selectedRanges())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    return rows;
}

int ReportViewAccessible::selectedRowCount() const
{
    qint64 rows = 0;
    for (const QItemSelectionRange& range : selectedRanges())
        rows += range.height();
    return int(rows);
}

bool ReportViewAccessible::isRowSelected(int row) const
{
    const QItemSelectionModel* selection = view()->selectionModel();
    return selection && selection->isRowSelected(row, view()->rootIndex());
}

int ReportViewAccessible::selectedCellCount() const
{
    return int(std::min<qint64>(qint64(selectedRowCount()) * columnCount(), INT_MAX));
}

// No more cells than can be alive at once: each is then among the most recent, so none is dropped while the
// list is made, and being selected, they outlast the cells a client asks for afterwards.
QList<QAccessibleInterface*> ReportViewAccessible::selectedCells() const
{
    QList<QAccessibleInterface*> cells;
    const int columns = columnCount();
    for (const QItemSelectionRange& range : selectedRanges())
        for (int row = range.top(); row <= range.bottom() && cells.size() < kMaxCells; ++row)
            for (int column = 0; column < columns && cells.size() < kMaxCells; ++column)
                cells.append(bodyCell(row, column));
    return cells;
}

QString ReportViewAccessible::columnDescription(int column) const
{
    const QAbstractItemModel* model = modelOf(view());
    return model ? model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
}

bool ReportViewAccessible::selectRow(int row)
{
    QItemSelectionModel* selection = view()->selectionModel();
    const auto mode = view()->selectionMode();
    if (!selection || mode == QAbstractItemView::NoSelection || row < 0 || row >= rowCount())
        return false;
    const auto command = mode == QAbstractItemView::SingleSelection ? QItemSelectionModel::ClearAndSelect
                                                                     : QItemSelectionModel::Select;
    selection->select(view()->model()->index(row, 0, view()->rootIndex()), command | QItemSelectionModel::Rows);
    return true;
}

bool ReportViewAccessible::unselectRow(int row)
{
    QItemSelectionModel* selection = view()->selectionModel();
    if (!selection || row < 0 || row >= rowCount())
        return false;
    selection->select(view()->model()->index(row, 0, view()->rootIndex()),
                      QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return true;
}

namespace {

void notifyCell(ReportView* view, QAccessible::Event type, const QModelIndex& index)
{
    QAccessibleEvent event(view, type);
    event.setChild(childIndex(view->model()->columnCount(view->rootIndex()), index.row(), index.column()));
    QAccessible::updateAccessibility(&event);
}

} // namespace

void notifyCurrentChanged(ReportView* view, const QModelIndex& current)
{
    if (QAccessible::isActive() && current.isValid() && view->hasFocus())
        notifyCell(view, QAccessible::Focus, current);
}

// The first cell of each change stands for the rest: naming every cell of a large range would cost per row.
void notifySelectionChanged(ReportView* view, const QItemSelection& selected, const QItemSelection& deselected)
{
    if (!QAccessible::isActive())
        return;
    if (!selected.isEmpty() && selected.first().isValid())
        notifyCell(view, QAccessible::SelectionAdd, selected.first().topLeft());
    if (!deselected.isEmpty() && deselected.first().isValid())
        notifyCell(view, QAccessible::SelectionRemove, deselected.first().topLeft());
}

} // namespace platform
