// What a report-mode list view does beyond drawing its rows: grid lines, hot-track selection, and the
// item-changed, key-down and double-click notifications it sends its window.
#pragma once

#include <QObject>
#include <QPoint>
#include <QTimer>

#include <functional>
#include <vector>

class QAbstractItemView;
class QItemSelection;
class QModelIndex;

namespace listview {

// An inclusive run of rows.
struct RowSpan {
    int first;
    int last;
    bool operator==(const RowSpan&) const = default;
};

// A change longer than this many rows is told by its first and last row only, so that selecting
// every row of a long list does not redraw the clock once per row.
constexpr int kRowsToldOneByOne = 256;

// The rows of a selection change in the order they are told: rows that lost state first, then rows
// that gained it, with `focusRow` (the row the user acted on, or -1) last among the gainers.
std::vector<int> rowsToTell(const std::vector<RowSpan>& lost, const std::vector<RowSpan>& gained, int focusRow);

// The rows a selection covers, as sorted, merged spans.
std::vector<RowSpan> rowSpans(const QItemSelection& selection);

// Draws the grid: a line under every row and a line after every column.
class GridLines : public QObject {
    Q_OBJECT
public:
    explicit GridLines(QAbstractItemView* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paint();

    QAbstractItemView* m_view;
    bool m_bInside = false;
};

// Selects the row under the pointer once the pointer has rested there for the desktop's hover delay.
class HotTrack : public QObject {
    Q_OBJECT
public:
    explicit HotTrack(QAbstractItemView* view);
    // Armed while the pointer rests over the list; fires after the hover delay.
    const QTimer& timer() const { return m_timer; }
    // Makes the row under the resting pointer the one selected row (what the delay's end does).
    void selectRowUnderPointer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* m_view;
    QTimer m_timer;
    QPoint m_pointer;
};

// Tells the window of every row whose selection or focus changed, each with its index.
class ItemChanges : public QObject {
    Q_OBJECT
public:
    ItemChanges(QAbstractItemView* view, std::function<void(int row)> itemChanged);

private:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void currentChanged(const QModelIndex& current, const QModelIndex& previous);
    void tell(const std::vector<int>& rows);

    QAbstractItemView* m_view;
    std::function<void(int row)> m_itemChanged;
};

// Tells the window of every key pressed in the list and of every left double click, with the row
// under the pointer (-1 on empty space) once the list itself has taken the click. A key the window
// answers with true ran a command and goes no further.
class ListInput : public QObject {
    Q_OBJECT
public:
    ListInput(QAbstractItemView* view, std::function<bool(int key)> keyDown,
              std::function<void(int row)> doubleClick);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool doubleClicked(QObject* viewport, QEvent* event);

    QAbstractItemView* m_view;
    // Kept apart from the view: while the view is being destroyed it can no longer be asked for it.
    QObject* m_viewport;
    std::function<bool(int key)> m_keyDown;
    std::function<void(int row)> m_doubleClick;
    bool m_bInside = false;
};

} // namespace listview
