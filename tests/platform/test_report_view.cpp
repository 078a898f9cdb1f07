// The report list view: rows placed by arithmetic, full-row selection, keys, painting only what shows, and the
// table that assistive technology reads.
#include "platform/widgets/report_view.h"

#include "platform/widgets/accessibility.h"
#include "platform/widgets/report_view_accessible.h"

#include <QAbstractTableModel>
#include <QAccessible>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

using Rows = std::vector<int>;

// As many rows as asked for, each cell's text computed from its place.
class CountedModel : public QAbstractTableModel {
public:
    explicit CountedModel(int rows) : m_rows(rows) {}
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return QStringLiteral("row %1 column %2").arg(index.row()).arg(index.column());
    }

private:
    int m_rows;
};

class CountingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        ++paints;
        rows.push_back(index.row());
        QStyledItemDelegate::paint(painter, option, index);
    }
    mutable int paints = 0;
    mutable Rows rows;
};

constexpr int kMillion = 1'000'000;

class ReportViewTest : public ::testing::Test {
protected:
    void open(int rows)
    {
        model = std::make_unique<CountedModel>(rows);
        view.setModel(model.get());
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (int column = 0; column < 3; ++column)
            view.setColumnWidth(column, 100);
        view.resize(400, 300);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    QModelIndex index(int row, int column = 0) const { return model->index(row, column); }
    QPoint rowCentre(int row) const { return view.visualRect(index(row)).center(); }
    void click(QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, at);
    }
    Rows selectedRows() const
    {
        Rows rows;
        for (const QModelIndex& selected : view.selectionModel()->selectedRows())
            rows.push_back(selected.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    bool fullyShown(const QModelIndex& at) const { return view.viewport()->rect().contains(view.visualRect(at)); }

    std::unique_ptr<CountedModel> model;
    platform::ReportView view;
};

} // namespace

TEST_F(ReportViewTest, TheHeaderSitsAboveTheRowsWithTheColumnWidths)
{
    open(10);
    QHeaderView* header = view.header();
    EXPECT_TRUE(header->isVisible());
    EXPECT_GT(header->height(), 0);
    EXPECT_EQ(header->geometry().bottom() + 1, view.viewport()->geometry().top());
    EXPECT_EQ(header->sectionSize(1), 100);
    EXPECT_EQ(view.visualRect(index(0, 1)), QRect(100, 0, 100, view.rowHeight()));
}

TEST_F(ReportViewTest, IndexAtAndVisualRectAgreeAtTheFirstMiddleAndLastRowsOfAMillion)
{
    open(kMillion);
    for (int row : {0, kMillion / 2, kMillion - 1}) {
        const QModelIndex cell = index(row, 1);
        view.scrollTo(cell);
        ASSERT_TRUE(fullyShown(cell)) << "row " << row;
        const QRect rect = view.visualRect(cell);
        EXPECT_EQ(rect.height(), view.rowHeight());
        EXPECT_EQ(view.indexAt(rect.center()), cell) << "row " << row;
        EXPECT_EQ(view.indexAt(rect.topLeft()), cell) << "row " << row;
        EXPECT_EQ(view.indexAt(rect.bottomRight()), cell) << "row " << row;
        if (row > 0 && rect.top() > 0) {
            EXPECT_EQ(view.indexAt(rect.topLeft() - QPoint(0, 1)), index(row - 1, 1));
        }
        if (row + 1 < kMillion) {
            EXPECT_EQ(view.indexAt(rect.bottomLeft() + QPoint(0, 1)), index(row + 1, 1));
        }
    }
}

TEST_F(ReportViewTest, ScrollingToTheLastRowShowsItWholeAtTheBottom)
{
    open(kMillion);
    view.scrollTo(index(kMillion - 1));
    EXPECT_TRUE(fullyShown(index(kMillion - 1)));
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    EXPECT_FALSE(view.indexAt(view.visualRect(index(kMillion - 1)).bottomLeft() + QPoint(0, 1)).isValid());
    view.scrollToTop();
    EXPECT_EQ(view.indexAt(QPoint(1, 0)), index(0));
}

TEST_F(ReportViewTest, ClicksSelectWholeRowsShiftSelectsARangeAndCtrlToggles)
{
    open(10);
    click(rowCentre(2));
    EXPECT_EQ(selectedRows(), Rows{2});
    EXPECT_EQ(view.selectionModel()->selectedIndexes().size(), 3) << "every column of the row";
    click(rowCentre(5), Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(), (Rows{2, 3, 4, 5}));
    click(rowCentre(3), Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (Rows{2, 4, 5}));
    click(rowCentre(8), Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (Rows{2, 4, 5, 8}));
    EXPECT_EQ(view.currentIndex().row(), 8);
    click(view.visualRect(index(7, 2)).center());
    EXPECT_EQ(selectedRows(), Rows{7}) << "a click on a later column selects its row too";
}

TEST_F(ReportViewTest, AClickBelowTheLastRowClearsTheSelection)
{
    open(5);
    click(rowCentre(1));
    ASSERT_EQ(selectedRows(), Rows{1});
    const QRect last = view.visualRect(index(4));
    const QPoint below(last.center().x(), last.bottom() + last.height());
    ASSERT_TRUE(view.viewport()->rect().contains(below));
    EXPECT_FALSE(view.indexAt(below).isValid());
    click(below);
    EXPECT_TRUE(selectedRows().empty());
}

TEST_F(ReportViewTest, KeysMoveTheCurrentRowAndKeepItInSight)
{
    open(kMillion);
    click(rowCentre(0));
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.currentIndex().row(), 1);
    EXPECT_EQ(selectedRows(), Rows{1});
    QTest::keyClick(&view, Qt::Key_End);
    EXPECT_EQ(view.currentIndex().row(), kMillion - 1);
    EXPECT_TRUE(fullyShown(view.currentIndex()));
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(view.currentIndex().row(), kMillion - 2);
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(view.currentIndex().row(), 0);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(view.currentIndex().row(), view.viewport()->height() / view.rowHeight());
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_EQ(view.currentIndex().row(), view.viewport()->height() / view.rowHeight()) << "sideways keys stay";
}

TEST_F(ReportViewTest, OnlyTheVisibleRowsArePainted)
{
    auto* counting = new CountingDelegate(&view);
    CountingDelegate& delegate = *counting;
    view.setItemDelegate(counting);
    open(kMillion);
    view.scrollTo(index(kMillion / 2), QAbstractItemView::PositionAtTop);
    delegate.paints = 0;
    delegate.rows.clear();
    view.viewport()->repaint();
    const int shown = view.viewport()->height() / view.rowHeight();
    EXPECT_GE(delegate.paints, shown * 3);
    EXPECT_LE(delegate.paints, (shown + 1) * 3);
    ASSERT_FALSE(delegate.rows.empty());
    EXPECT_EQ(*std::min_element(delegate.rows.begin(), delegate.rows.end()), kMillion / 2);
}

TEST_F(ReportViewTest, ARefillOfTheModelResizesTheScrollRange)
{
    open(10);
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    auto refilled = std::make_unique<CountedModel>(kMillion);
    view.setModel(refilled.get());
    model = std::move(refilled);
    EXPECT_EQ(view.verticalScrollBar()->maximum(),
              kMillion * view.rowHeight() - view.viewport()->height());
}

TEST_F(ReportViewTest, ScrollingSidewaysMovesTheHeaderAndTheCellsTogether)
{
    open(10);
    view.setColumnWidth(2, 600);
    QScrollBar* sideways = view.horizontalScrollBar();
    ASSERT_GT(sideways->maximum(), 0);
    sideways->setValue(150);
    EXPECT_EQ(view.header()->offset(), 150);
    EXPECT_EQ(view.visualRect(index(0, 1)).left(), 100 - 150);
    EXPECT_EQ(view.indexAt(QPoint(0, 1)), index(0, 1));
}

// ---- the table that assistive technology reads

TEST_F(ReportViewTest, AsATableItReadsCountsHeadersCellsSelectionAndTheCurrentRow)
{
    platform::installAccessibleFactories();
    open(kMillion);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(iface->tableInterface(), nullptr);
    QAccessibleTableInterface* table = iface->tableInterface();
    EXPECT_EQ(iface->role(), QAccessible::Table);
    EXPECT_EQ(table->rowCount(), kMillion);
    EXPECT_EQ(table->columnCount(), 3);
    // The headers come first among the children, then the cells row by row.
    EXPECT_EQ(iface->childCount(), 3 * (kMillion + 1));
    QAccessibleInterface* last = table->cellAt(kMillion - 1, 2);
    EXPECT_EQ(last->text(QAccessible::Name), "row 999999 column 2");
    EXPECT_EQ(iface->indexOfChild(last), iface->childCount() - 1);
    EXPECT_EQ(iface->child(iface->childCount() - 1), last);
    EXPECT_EQ(last->tableCellInterface()->columnHeaderCells().value(0)->role(), QAccessible::ColumnHeader);
    EXPECT_TRUE(last->state().offscreen);

    view.setFocus();
    click(rowCentre(2));
    click(rowCentre(4), Qt::ShiftModifier);
    EXPECT_EQ(table->selectedRows(), QList<int>({2, 3, 4}));
    EXPECT_TRUE(table->cellAt(4, 0)->state().focused);
    EXPECT_FALSE(table->cellAt(3, 0)->state().focused);
    EXPECT_TRUE(table->cellAt(3, 1)->state().selected);
    EXPECT_TRUE(table->unselectRow(3));
    EXPECT_EQ(table->selectedRows(), QList<int>({2, 4}));
    EXPECT_TRUE(table->selectRow(4)) << "selected again, still counted once";
    EXPECT_TRUE(table->selectRow(0));
    EXPECT_EQ(table->selectedRows(), QList<int>({0, 2, 4}));
    EXPECT_EQ(table->selectedRowCount(), 3);
    EXPECT_EQ(table->selectedCellCount(), 9);
    EXPECT_EQ(table->selectedCells().value(3)->text(QAccessible::Name), "row 2 column 0");
    view.selectAll();
    EXPECT_EQ(table->selectedRowCount(), kMillion);
    EXPECT_EQ(table->selectedCellCount(), 3 * kMillion);
    EXPECT_EQ(table->selectedCells().size(), platform::ReportViewAccessible::kMaxCells);
}

TEST_F(ReportViewTest, SelectedAndCurrentCellsStayAliveHoweverManyOthersAreAskedFor)
{
    platform::installAccessibleFactories();
    open(kMillion);
    QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(&view)->tableInterface();
    QList<QAccessible::Id> firstRow;
    for (int column = 0; column < 3; ++column)
        firstRow.append(QAccessible::uniqueId(table->cellAt(0, column)));
    for (int made = 3; made < platform::ReportViewAccessible::kMaxCells; ++made)
        table->cellAt(made / 3, made % 3);
    // The first row's cells are the oldest made: the selection hands them out next to new ones.
    table->selectRow(0);
    table->selectRow(5000);
    const QList<QAccessibleInterface*> cells = table->selectedCells();
    ASSERT_EQ(cells.size(), 6);
    for (int column = 0; column < 3; ++column)
        ASSERT_EQ(QAccessible::accessibleInterface(firstRow[column]), cells[column]) << column;
    for (QAccessibleInterface* cell : cells)
        EXPECT_TRUE(cell->text(QAccessible::Name).startsWith(QStringLiteral("row ")));

    // Clients keep the selected cells and the current one between calls.
    view.selectionModel()->setCurrentIndex(index(7, 1), QItemSelectionModel::NoUpdate);
    const QList<QAccessibleInterface*> kept = cells + QList{table->cellAt(7, 1)};
    QList<QAccessible::Id> keptIds;
    for (QAccessibleInterface* cell : kept)
        keptIds.append(QAccessible::uniqueId(cell));
    for (int row = 10'000; row < 12'000; ++row)
        table->cellAt(row, 0);
    for (int i = 0; i < kept.size(); ++i)
        EXPECT_EQ(QAccessible::accessibleInterface(keptIds[i]), kept[i]) << i;
}

TEST_F(ReportViewTest, AskingTheTableForEveryCellOfAMillionRowsAddsNoMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator is invisible to mallinfo2, so nothing would be measured";
#endif
    platform::installAccessibleFactories();
    open(kMillion);
    QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(&view)->tableInterface();
    const auto readCells = [table](int first, int end) {
        for (int row = first; row < end; ++row)
            for (int column = 0; column < 3; ++column)
                ASSERT_FALSE(table->cellAt(row, column)->text(QAccessible::Name).isEmpty());
    };
    readCells(0, 1000); // as many cells as are ever alive at once, and more
    const std::int64_t before = std::int64_t(mallinfo2().uordblks);
    readCells(1000, kMillion);
    const std::int64_t added = std::int64_t(mallinfo2().uordblks) - before;
    // Kept cells would take well over a hundred bytes each, hundreds of megabytes in all.
    EXPECT_LT(added, 1 << 20);
}
