// A report-mode list view whose rows share one height and cost no memory of their own.
#pragma once

#include <QAbstractItemView>

class QHeaderView;

namespace platform {

// Rows are placed by arithmetic alone (row * row height), so a list of millions of rows keeps
// nothing per row; a horizontal header above the rows gives the columns.
class ReportView : public QAbstractItemView {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    QModelIndex indexAt(const QPoint& point) const override;
    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    QHeaderView* header() const { return m_header; }
    void setColumnWidth(int column, int width);
    // The height every row has, in pixels.
    int rowHeight() const;

public slots:
    void reset() override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

protected slots:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    // Both also tell assistive technology.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    int rowCount() const;
    int rowAt(int viewportY) const;
    int visibleRows() const;
    int measureRowHeight() const;
    void layoutChanged();
    void updateScrollBars();
    void paintRow(QPainter& painter, int row);
    void paintFocus(QPainter& painter, const QStyleOptionViewItem& option, const QRect& rect);
    void paintCell(QPainter& painter, const QModelIndex& index, QStyleOptionViewItem option);
    QRect rowRect(int row) const;

    QHeaderView* m_header;
    mutable int m_rowHeight = 0; // 0 until measured
    bool m_inGeometries = false;
};

} // namespace platform
