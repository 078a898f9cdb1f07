// A report-mode list view that places its rows by arithmetic, keeping nothing per row.
#include "platform/widgets/report_view.h"

#include "platform/widgets/report_view_accessible.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace platform {

namespace {

constexpr int kHorizontalStep = 20;

int clampToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, 0, INT_MAX));
}

QPalette::ColorGroup colorGroup(const QStyleOptionViewItem& option)
{
    if (!(option.state & QStyle::State_Enabled))
        return QPalette::Disabled;
    return (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
}

} // namespace

ReportView::ReportView(QWidget* parent) : QAbstractItemView(parent), m_header(new QHeaderView(Qt::Horizontal, this))
{
    // Offsets are pixels: a million rows of a few pixels each still fit the scroll bar's int range.
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollMode(ScrollPerPixel);
    setSelectionBehavior(SelectRows);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(m_header, &QHeaderView::sectionResized, this, &ReportView::layoutChanged);
    connect(m_header, &QHeaderView::sectionMoved, this, &ReportView::layoutChanged);
    connect(m_header, &QHeaderView::sectionCountChanged, this, &ReportView::layoutChanged);
}

void ReportView::setModel(QAbstractItemModel* newModel)
{
    if (model())
        disconnect(model(), nullptr, this, nullptr);
    QAbstractItemView::setModel(newModel);
    m_header->setModel(newModel);
    m_rowHeight = 0;
    if (newModel) {
        connect(newModel, &QAbstractItemModel::rowsRemoved, this, &ReportView::layoutChanged);
        connect(newModel, &QAbstractItemModel::layoutChanged, this, &ReportView::layoutChanged);
    }
    layoutChanged();
}

void ReportView::setColumnWidth(int column, int width)
{
    m_header->resizeSection(column, width);
}

void ReportView::reset()
{
    QAbstractItemView::reset();
    m_rowHeight = 0;
    layoutChanged();
}

// ---- geometry

int ReportView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int ReportView::rowHeight() const
{
    if (m_rowHeight <= 0)
        m_rowHeight = measureRowHeight();
    return m_rowHeight;
}

// Rows share one height, so the first row's cells stand for all of them.
int ReportView::measureRowHeight() const
{
    int height = fontMetrics().height();
    if (rowCount() > 0) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        for (int column = 0; column < model()->columnCount(rootIndex()); ++column) {
            const QModelIndex index = model()->index(0, column, rootIndex());
            height = std::max(height, itemDelegateForIndex(index)->sizeHint(option, index).height());
        }
    }
    return std::max(1, height);
}

int ReportView::rowAt(int viewportY) const
{
    const qint64 contentY = qint64(viewportY) + verticalOffset();
    if (contentY < 0)
        return -1;
    const qint64 row = contentY / rowHeight();
    return row < rowCount() ? int(row) : -1;
}

int ReportView::visibleRows() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

// The whole row: from the first column's edge to the right end of the columns or the viewport.
QRect ReportView::rowRect(int row) const
{
    const int left = -horizontalOffset();
    const int width = std::max(m_header->length(), viewport()->width() + horizontalOffset());
    return QRect(left, row * rowHeight() - verticalOffset(), width, rowHeight());
}

QModelIndex ReportView::indexAt(const QPoint& point) const
{
    const int row = rowAt(point.y());
    const int column = m_header->logicalIndexAt(point.x());
    if (row < 0 || column < 0)
        return {};
    return model()->index(row, column, rootIndex());
}

QRect ReportView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex())
        return {};
    const int column = index.column();
    return QRect(m_header->sectionViewportPosition(column), index.row() * rowHeight() - verticalOffset(),
                 m_header->sectionSize(column), rowHeight());
}

int ReportView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int ReportView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

bool ReportView::isIndexHidden(const QModelIndex&) const
{
    return false;
}

void ReportView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != model())
        return;
    const int height = rowHeight();
    const int top = index.row() * height;
    const int page = viewport()->height();
    int value = verticalOffset();
    switch (hint) {
    case PositionAtTop: value = top; break;
    case PositionAtBottom: value = top + height - page; break;
    case PositionAtCenter: value = top - (page - height) / 2; break;
    case EnsureVisible:
        if (top < value)
            value = top;
        else if (top + height > value + page)
            value = top + height - page;
        break;
    }
    verticalScrollBar()->setValue(value);

    const int left = m_header->sectionPosition(index.column());
    const int right = left + m_header->sectionSize(index.column());
    const int width = viewport()->width();
    if (left < horizontalOffset())
        horizontalScrollBar()->setValue(left);
    else if (right > horizontalOffset() + width)
        horizontalScrollBar()->setValue(std::min(left, right - width));
}

void ReportView::updateGeometries()
{
    // Setting the margins resizes the viewport, which comes back here.
    if (m_inGeometries)
        return;
    m_inGeometries = true;
    const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    updateScrollBars();
    m_header->setOffset(horizontalOffset());
    m_inGeometries = false;
    QAbstractItemView::updateGeometries();
}

void ReportView::updateScrollBars()
{
    const int height = rowHeight();
    const QSize page = viewport()->size();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setSingleStep(height);
    vertical->setPageStep(page.height());
    vertical->setRange(0, clampToInt(qint64(rowCount()) * height - page.height()));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setSingleStep(kHorizontalStep);
    horizontal->setPageStep(page.width());
    horizontal->setRange(0, std::max(0, m_header->length() - page.width()));
}

void ReportView::layoutChanged()
{
    updateGeometries();
    viewport()->update();
}

void ReportView::scrollContentsBy(int, int)
{
    m_header->setOffset(horizontalOffset());
    viewport()->update();
}

void ReportView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_rowHeight = 0;
        layoutChanged();
    }
    QAbstractItemView::changeEvent(event);
}

void ReportView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    // The height was measured without a first row when the list was empty.
    if (start == 0)
        m_rowHeight = 0;
    layoutChanged();
}

void ReportView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    viewport()->update();
}

// ---- keys and selection

void ReportView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QAbstractItemView::currentChanged(current, previous);
    notifyCurrentChanged(this, current);
}

void ReportView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QAbstractItemView::selectionChanged(selected, deselected);
    notifySelectionChanged(this, selected, deselected);
}

QModelIndex ReportView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int count = rowCount();
    if (count == 0)
        return {};
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    int target = row;
    switch (cursorAction) {
    case MoveUp: target = row - 1; break;
    case MoveDown: target = row + 1; break;
    case MovePageUp: target = row - visibleRows(); break;
    case MovePageDown: target = row + visibleRows(); break;
    case MoveHome: target = 0; break;
    case MoveEnd: target = count - 1; break;
    default: return current;
    }
    const int column = current.isValid() ? current.column() : 0;
    return model()->index(std::clamp(target, 0, count - 1), column, rootIndex());
}

void ReportView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    if (!model() || !selectionModel())
        return;
    const QRect area = rect.normalized();
    const qint64 top = std::max<qint64>(0, qint64(area.top()) + verticalOffset());
    const qint64 bottom = qint64(area.bottom()) + verticalOffset();
    const qint64 first = top / rowHeight();
    const qint64 last = std::min<qint64>(rowCount() - 1, bottom / rowHeight());
    const int columns = model()->columnCount(rootIndex());
    QItemSelection selection;
    // A rect wholly above or below the rows selects nothing, which still clears when asked to.
    if (bottom >= 0 && first <= last && columns > 0)
        selection.select(model()->index(int(first), 0, rootIndex()), model()->index(int(last), columns - 1, rootIndex()));
    selectionModel()->select(selection, command);
}

QRegion ReportView::visualRegionForSelection(const QItemSelection& selection) const
{
    QRegion region;
    const QRect visible = viewport()->rect();
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid())
            continue;
        const qint64 top = qint64(range.top()) * rowHeight() - verticalOffset();
        const qint64 bottom = qint64(range.bottom() + 1) * rowHeight() - verticalOffset();
        if (bottom <= 0 || top >= visible.height())
            continue;
        region += QRect(0, int(std::max<qint64>(top, 0)), visible.width(),
                        int(std::min<qint64>(bottom, visible.height()) - std::max<qint64>(top, 0)));
    }
    return region;
}

// ---- painting

void ReportView::paintEvent(QPaintEvent* event)
{
    const int count = rowCount();
    if (count == 0)
        return;
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int first = rowAt(std::max(0, area.top()));
    if (first < 0)
        return;
    const qint64 lastY = qint64(area.bottom()) + verticalOffset();
    const int last = int(std::min<qint64>(count - 1, lastY / rowHeight()));
    for (int row = first; row <= last; ++row)
        paintRow(painter, row);
}

void ReportView::paintRow(QPainter& painter, int row)
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    const bool selected = selectionModel() && selectionModel()->isRowSelected(row, rootIndex());
    const QRect whole = rowRect(row);
    if (selected) {
        option.state |= QStyle::State_Selected;
        painter.fillRect(whole, option.palette.brush(colorGroup(option), QPalette::Highlight));
    }
    const int columns = m_header->count();
    for (int visual = 0; visual < columns; ++visual) {
        const int column = m_header->logicalIndex(visual);
        if (m_header->isSectionHidden(column))
            continue;
        option.viewItemPosition = columns == 1 ? QStyleOptionViewItem::OnlyOne
            : visual == 0                      ? QStyleOptionViewItem::Beginning
            : visual == columns - 1            ? QStyleOptionViewItem::End
                                               : QStyleOptionViewItem::Middle;
        paintCell(painter, model()->index(row, column, rootIndex()), option);
    }
    if (hasFocus() && currentIndex().row() == row)
        paintFocus(painter, option, QRect(whole.left(), whole.top(), m_header->length(), whole.height()));
}

// One focus frame around the columns of the current row, rather than one per cell.
void ReportView::paintFocus(QPainter& painter, const QStyleOptionViewItem& option, const QRect& rect)
{
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.rect = rect;
    focus.state |= QStyle::State_KeyboardFocusChange;
    const bool selected = option.state & QStyle::State_Selected;
    focus.backgroundColor = option.palette.color(colorGroup(option), selected ? QPalette::Highlight : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

void ReportView::paintCell(QPainter& painter, const QModelIndex& index, QStyleOptionViewItem option)
{
    option.rect = visualRect(index);
    if (option.rect.right() < 0 || option.rect.left() > viewport()->width())
        return;
    itemDelegateForIndex(index)->paint(&painter, option, index);
}

} // namespace platform
