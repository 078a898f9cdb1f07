// Grid lines, hot-track selection and the notifications of the task list view.
#include "mainwnd/list_view_support.h"

#include "platform/widgets/report_view.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace listview {

namespace {

void appendSpanRows(std::vector<int>& rows, const RowSpan& span, int skip)
{
    auto add = [&](int row) {
        if (row != skip)
            rows.push_back(row);
    };
    if (span.last - span.first < kRowsToldOneByOne) {
        for (int row = span.first; row <= span.last; ++row)
            add(row);
        return;
    }
    add(span.first);
    add(span.last);
}

QHeaderView* headerOf(QAbstractItemView* view)
{
    auto* report = qobject_cast<platform::ReportView*>(view);
    return report ? report->header() : nullptr;
}

} // namespace

std::vector<int> rowsToTell(const std::vector<RowSpan>& lost, const std::vector<RowSpan>& gained, int focusRow)
{
    std::vector<int> rows;
    for (const RowSpan& span : lost)
        appendSpanRows(rows, span, focusRow);
    for (const RowSpan& span : gained)
        appendSpanRows(rows, span, focusRow);
    // The row acted on comes last, so that it is the one the window ends up naming.
    if (focusRow >= 0)
        rows.push_back(focusRow);
    return rows;
}

std::vector<RowSpan> rowSpans(const QItemSelection& selection)
{
    std::vector<RowSpan> spans;
    for (const QItemSelectionRange& range : selection)
        if (range.isValid())
            spans.push_back({range.top(), range.bottom()});
    std::sort(spans.begin(), spans.end(), [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
    std::vector<RowSpan> merged;
    for (const RowSpan& span : spans) {
        if (!merged.empty() && span.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, span.last);
        else
            merged.push_back(span);
    }
    return merged;
}

// ---- grid lines

GridLines::GridLines(QAbstractItemView* view) : QObject(view), m_view(view)
{
    view->viewport()->installEventFilter(this);
}

bool GridLines::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Paint || m_bInside)
        return false;
    // The view paints its rows first; the grid goes over them.
    m_bInside = true;
    QCoreApplication::sendEvent(watched, event);
    m_bInside = false;
    paint();
    return true;
}

void GridLines::paint()
{
    QWidget* viewport = m_view->viewport();
    const QRect area = viewport->rect();
    QStyleOption option;
    option.initFrom(m_view);
    QPainter painter(viewport);
    painter.setPen(QColor::fromRgba(QRgb(m_view->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, m_view))));

    if (QHeaderView* header = headerOf(m_view)) {
        for (int column = 0; column < header->count(); ++column) {
            if (header->isSectionHidden(column))
                continue;
            const int x = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
            if (x >= area.left() && x <= area.right())
                painter.drawLine(x, area.top(), x, area.bottom());
        }
    }
    // Rows share one height, so the lines under them run on through the empty space below the last.
    const QModelIndex topRow = m_view->indexAt(QPoint(0, 0));
    if (!topRow.isValid())
        return;
    const QRect rowRect = m_view->visualRect(topRow);
    if (rowRect.height() <= 0)
        return;
    for (int y = rowRect.bottom(); y <= area.bottom(); y += rowRect.height())
        painter.drawLine(area.left(), y, area.right(), y);
}

// ---- hot tracking

HotTrack::HotTrack(QAbstractItemView* view) : QObject(view), m_view(view)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(view->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, view));
    connect(&m_timer, &QTimer::timeout, this, &HotTrack::selectRowUnderPointer);
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
}

bool HotTrack::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (move->buttons() != Qt::NoButton) {
            m_timer.stop();
            break;
        }
        m_pointer = move->position().toPoint();
        m_timer.start();
        break;
    }
    case QEvent::Leave:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        m_timer.stop();
        break;
    default:
        break;
    }
    return false;
}

void HotTrack::selectRowUnderPointer()
{
    m_timer.stop();
    // A pointer that rests while a button is held, or while another modal window has the input, selects nothing.
    if (QApplication::mouseButtons() != Qt::NoButton)
        return;
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != m_view->window())
        return;
    QItemSelectionModel* selection = m_view->selectionModel();
    const QModelIndex index = m_view->indexAt(m_pointer);
    if (!selection || !index.isValid() || selection->isRowSelected(index.row()))
        return;
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---- item-changed notifications

ItemChanges::ItemChanges(QAbstractItemView* view, std::function<void(int row)> itemChanged)
    : QObject(view), m_view(view), m_itemChanged(std::move(itemChanged))
{
    QItemSelectionModel* selection = view->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this, &ItemChanges::selectionChanged);
    connect(selection, &QItemSelectionModel::currentChanged, this, &ItemChanges::currentChanged);
}

void ItemChanges::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    const QItemSelectionModel* selection = m_view->selectionModel();
    const int current = selection->currentIndex().row();
    const int focusRow = current >= 0 && selection->isRowSelected(current) ? current : -1;
    tell(rowsToTell(rowSpans(deselected), rowSpans(selected), focusRow));
}

void ItemChanges::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (current.row() == previous.row())
        return;
    std::vector<int> rows;
    if (previous.isValid())
        rows.push_back(previous.row());
    if (current.isValid())
        rows.push_back(current.row());
    tell(rows);
}

void ItemChanges::tell(const std::vector<int>& rows)
{
    for (int row : rows)
        m_itemChanged(row);
}

// ---- keys and double clicks

ListInput::ListInput(QAbstractItemView* view, std::function<bool(int key)> keyDown,
                     std::function<void(int row)> doubleClick)
    : QObject(view), m_view(view), m_viewport(view->viewport()), m_keyDown(std::move(keyDown)),
      m_doubleClick(std::move(doubleClick))
{
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

bool ListInput::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        // Told before the list moves its own selection for the key, as the key arrives. A key that
        // ran a command is consumed, so that the list's type-ahead search does not act on it too.
        return m_keyDown(static_cast<QKeyEvent*>(event)->key());
    }
    if (watched == m_viewport && event->type() == QEvent::MouseButtonDblClick && !m_bInside)
        return doubleClicked(watched, event);
    return false;
}

bool ListInput::doubleClicked(QObject* viewport, QEvent* event)
{
    auto* click = static_cast<QMouseEvent*>(event);
    const bool leftButton = click->button() == Qt::LeftButton;
    const int row = m_view->indexAt(click->position().toPoint()).row();
    // The list takes the click first, so that a command that rebuilds the rows comes after it.
    m_bInside = true;
    QCoreApplication::sendEvent(viewport, event);
    m_bInside = false;
    event->accept();
    if (leftButton)
        m_doubleClick(row);
    return true;
}

} // namespace listview
