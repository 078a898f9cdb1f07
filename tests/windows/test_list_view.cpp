// The task list: how rows are written, how the window follows the selection, and the list's commands.
#include "editor/dia_task.h"
#include "tests/support/main_window_driver.h"
#include "mainwnd/list_view_support.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/core/errors.h"
#include "tests/support/fake_desktop.h"
#include "platform/widgets/report_view.h"
#include "res/resource.h"
#include "tests/support/temp_work_dir.h"
#include "tests/support/tz_guard.h"
#include "tasks/task_file.h"
#include "platform/core/line_text.h"

#include <QApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyleOption>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace {

using Strings = std::vector<std::string>;
using Rows = std::vector<int>;
using Tones = std::vector<platform::FakeDesktop::Tone>;

TaskRecord beepTask(const char* description, std::int64_t delay = 60)
{
    TaskRecord task;
    task.strDescription = description;
    task.spanDelay = delay;
    task.nBeepHz = 1000;
    task.nBeepMs = 100;
    return task;
}

// Answers every task editor that opens while it lives: the answer sets the description and clicks
// OK, or clicks Cancel when there is none.
class EditorAnswer {
public:
    explicit EditorAnswer(const char* description = nullptr) : m_description(description)
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    int opened = 0;
    bool newTask = false;
    const TaskRecord* target = nullptr;

private:
    void poll()
    {
        auto* editor = qobject_cast<CDia_Task*>(QApplication::activeModalWidget());
        if (!editor || !editor->isVisible())
            return;
        ++opened;
        newTask = editor->m_bNewTask;
        target = editor->m_pTarget;
        auto* text = platform::control<QPlainTextEdit>(editor, IDC_TASK_DESCRIPTION);
        text->setPlainText(QString::fromUtf8(m_description ? m_description : "thrown away"));
        platform::control<QPushButton>(editor, m_description ? IDOK : IDCANCEL)->click();
        if (editor->isVisible()) {
            ADD_FAILURE() << "the editor stayed open";
            editor->reject();
        }
    }

    const char* m_description;
    QTimer m_timer;
};

} // namespace

class TaskListView : public ::testing::Test {
protected:
    // A shown main window, expanded, listing `tasks`.
    CDia_Main& open(const std::vector<TaskRecord>& tasks)
    {
        window = std::make_unique<CDia_Main>();
        for (const TaskRecord& task : tasks)
            window->m_tasks.Append(task);
        window->Refill();
        window->OnShowList();
        EXPECT_TRUE(driver::showExposed(*window));
        return *window;
    }
    CDia_Main& openAbc() { return open({beepTask("a"), beepTask("b"), beepTask("c")}); }

    platform::ReportView* view() const { return window->listView(); }
    QModelIndex index(int row, int column = 0) const { return view()->model()->index(row, column); }
    QString cell(int row, int column) const { return index(row, column).data().toString(); }
    QPoint rowCentre(int row) const { return view()->visualRect(index(row)).center(); }
    QPoint emptySpace() const
    {
        const QRect last = view()->visualRect(index(view()->model()->rowCount() - 1));
        const QPoint below(last.left() + 20, last.bottom() + 2 * last.height());
        EXPECT_TRUE(view()->viewport()->rect().contains(below)) << "the rows fill the list";
        return below;
    }
    void click(QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, modifiers, at);
    }
    void press(int id) { platform::control<QPushButton>(window.get(), id)->click(); }
    Rows selectedRows() const
    {
        Rows rows;
        for (const QModelIndex& selected : view()->selectionModel()->selectedRows())
            rows.push_back(selected.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    // The descriptions of the tasks, after checking that row i shows task i.
    Strings tasksAsListed() const
    {
        Strings texts;
        EXPECT_EQ(view()->model()->rowCount(), window->m_tasks.Count());
        for (int i = 0; i < window->m_tasks.Count(); ++i) {
            texts.push_back(window->m_tasks.At(i).strDescription);
            EXPECT_EQ(cell(i, 0).toStdString(), texts.back()) << "row " << i;
        }
        return texts;
    }

    platform::FakeDesktop fake;
    TempWorkDir dir;
    TzGuard tz{"UTC0"};
    std::unique_ptr<CDia_Main> window;
};

// ---- the rows

TEST_F(TaskListView, ColumnsHaveTheirHeadingsWidthsAndLeftAlignment)
{
    open({beepTask("a")});
    const char* headings[] = {"Task description", "Wait for", "Then do"};
    const int widths[] = {250, 70, 500};
    ASSERT_EQ(view()->model()->columnCount(), 3);
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(view()->model()->headerData(column, Qt::Horizontal).toString(), headings[column]);
        EXPECT_EQ(view()->header()->sectionSize(column), widths[column]);
        EXPECT_TRUE(index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
    }
    EXPECT_EQ(view()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view()->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(TaskListView, RowsShowTheFirstLineTheWaitAndTheAction)
{
    TaskRecord up = beepTask("\nbegins with a break", 3600 + 2 * 60 + 5);
    up.bCountUp = 1;
    TaskRecord atTime = beepTask("cr\ronly", 99);
    atTime.bAtTime = 1;
    atTime.timeAt = 1'700'000'000; // 22:13:20 UTC
    TaskRecord run = beepTask("Gr\xc3\xbc\xc3\x9f" "e", 86400 + 3661);
    run.nAction = ACTION_RUN;
    run.strRunFile = "/opt/\xc3\xa9t\xc3\xa9/alarm.sh";
    TaskRecord other = beepTask("seven");
    other.nAction = 7;
    other.strRunFile = "/bin/true";
    open({beepTask("line one\r\nline two", 3600 + 2 * 60 + 5), up, atTime, run, other});
    const std::vector<QStringList> expected = {
        {"line one...", "01:02:05  D", "Beep: 1000 / 100"},
        {"...", "01:02:05  U", "Beep: 1000 / 100"},
        {"cr...", "22:13:20  T", "Beep: 1000 / 100"},
        {QString::fromUtf8("Grüße"), "01:01:01  D", QString::fromUtf8("Run: /opt/été/alarm.sh")},
        {"seven", "00:01:00  D", "Run: /bin/true"},
    };
    for (int row = 0; row < int(expected.size()); ++row)
        EXPECT_EQ((QStringList{cell(row, 0), cell(row, 1), cell(row, 2)}), expected[row]) << "row " << row;
}

TEST_F(TaskListView, GridLinesRunAfterEveryColumnAndUnderEveryRow)
{
    open({beepTask("a"), beepTask("b")});
    QStyleOption option;
    option.initFrom(view());
    const QColor grid = QColor::fromRgba(QRgb(view()->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, view())));
    const QImage image = view()->viewport()->grab().toImage();
    const QRect row = view()->visualRect(index(0));
    const int afterFirstColumn = view()->header()->sectionViewportPosition(0) + 250 - 1;
    EXPECT_EQ(image.pixelColor(afterFirstColumn, row.center().y()), grid);
    EXPECT_EQ(image.pixelColor(afterFirstColumn, image.height() - 2), grid) << "down to the bottom";
    EXPECT_EQ(image.pixelColor(row.center().x(), row.bottom()), grid);
    EXPECT_EQ(image.pixelColor(row.center().x(), row.bottom() + 3 * row.height()), grid) << "and on below";
    EXPECT_NE(image.pixelColor(row.center().x() + 3, row.center().y() - 1), grid);
}

TEST_F(TaskListView, RefillFollowsTheTaskListWhateverItsSizeAndDropsTheSelection)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    constexpr int kMany = 1'000'000;
    for (int i = main.m_tasks.Count(); i < kMany; ++i)
        main.m_tasks.Append(beepTask("many"));
    main.m_tasks.At(kMany - 1).strDescription = "the last";
    main.Refill();
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_FALSE(main.IsSelected());
    EXPECT_EQ(view()->model()->rowCount(), kMany);
    view()->scrollToBottom();
    EXPECT_TRUE(view()->viewport()->rect().contains(rowCentre(kMany - 1)));
    EXPECT_EQ(cell(kMany - 1, 0), "the last");
}

TEST_F(TaskListView, AListSetUpAfterItsTasksWereLoadedShowsThemAllOnceTheWindowHasPaintedOrWhenFirstAsked)
{
    window = std::make_unique<CDia_Main>();
    for (const char* description : {"a", "b"})
        window->m_tasks.Append(beepTask(description));
    window->Refill();
    ASSERT_TRUE(driver::showExposed(*window));
    QCoreApplication::processEvents();
    ASSERT_TRUE(platform::control<platform::ReportView>(window.get(), IDC_LIST)->model());
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b"}));

    CDia_Main neverShown;
    neverShown.m_tasks.Append(beepTask("c"));
    neverShown.Refill();
    EXPECT_EQ(neverShown.listView()->model()->rowCount(), 1);
}

// ---- following the selection

TEST_F(TaskListView, ClickingARowNamesItAndRedrawsTheClockAtOnceUnlessARunIsInProgress)
{
    CDia_Main& main = openAbc();
    driver::PaintCounter clockPaints(main, main.m_rectClock);
    click(rowCentre(1));
    EXPECT_EQ(main.m_nSelected, 1);
    EXPECT_EQ(selectedRows(), Rows{1});
    EXPECT_GT(clockPaints.paints, 0);
    EXPECT_EQ(main.windowTitle(), "Pelmora - b");

    clockPaints.paints = 0;
    main.m_bRunning = true;
    click(rowCentre(2));
    main.m_bRunning = false;
    EXPECT_EQ(main.m_nSelected, 2);
    EXPECT_EQ(selectedRows(), Rows{2});
    EXPECT_EQ(clockPaints.paints, 0);
}

TEST_F(TaskListView, ClickingEmptySpaceDeselectsButTheRowStaysNamedAndEditOpensIt)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    click(emptySpace());
    EXPECT_FALSE(main.IsSelected());
    EXPECT_EQ(main.m_nSelected, 1);
    EditorAnswer answer;
    press(IDC_EDIT);
    EXPECT_EQ(answer.opened, 1);
    EXPECT_EQ(answer.target, &main.m_tasks.At(1));
}

TEST_F(TaskListView, KeysAndModifiedClicksNameTheRowActedOn)
{
    CDia_Main& main = open({beepTask("a"), beepTask("b"), beepTask("c"), beepTask("d"), beepTask("e")});
    click(rowCentre(3));
    QTest::keyClick(view(), Qt::Key_Up);
    EXPECT_EQ(main.m_nSelected, 2);
    EXPECT_EQ(selectedRows(), Rows{2});
    click(rowCentre(0), Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(), (Rows{0, 1, 2}));
    EXPECT_EQ(main.m_nSelected, 0);
    click(rowCentre(4), Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (Rows{0, 1, 2, 4}));
    EXPECT_EQ(main.m_nSelected, 4);
    click(rowCentre(1), Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (Rows{0, 2, 4}));
    EXPECT_EQ(main.m_nSelected, 1) << "a row that loses its selection is named too";
}

TEST_F(TaskListView, SelectingEveryRowOfALongListRedrawsTheClockOnlyAFewTimes)
{
    constexpr int kRows = 20'000;
    CDia_Main& main = open(std::vector<TaskRecord>(kRows, beepTask("row")));
    click(rowCentre(1));
    driver::PaintCounter clockPaints(main, main.m_rectClock);
    QTest::keyClick(view(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(int(selectedRows().size()), kRows);
    EXPECT_EQ(main.m_nSelected, 1) << "the row with the focus is told last";
    EXPECT_LE(clockPaints.paints, 4);
}

TEST_F(TaskListView, ARestingPointerSelectsTheRowUnderItAfterTheHoverDelay)
{
    CDia_Main& main = openAbc();
    auto* hotTrack = view()->findChild<listview::HotTrack*>();
    ASSERT_NE(hotTrack, nullptr);
    QTest::mouseMove(view()->viewport(), rowCentre(2));
    EXPECT_TRUE(hotTrack->timer().isActive());
    EXPECT_EQ(hotTrack->timer().interval(), view()->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, view()));
    EXPECT_FALSE(main.IsSelected()) << "not before the delay";
    hotTrack->selectRowUnderPointer();
    EXPECT_EQ(selectedRows(), Rows{2});
    EXPECT_EQ(main.m_nSelected, 2);

    QTest::mouseMove(view()->viewport(), emptySpace());
    hotTrack->selectRowUnderPointer();
    EXPECT_EQ(selectedRows(), Rows{2}) << "resting on empty space changes nothing";
}

TEST_F(TaskListView, ClearForgetsTheSelectedTaskAndShowsTheManualCounter)
{
    CDia_Main& main = openAbc();
    main.m_spanCounter = 42;
    click(rowCentre(0));
    press(IDC_CLEAR);
    EXPECT_FALSE(main.IsSelected());
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_EQ(main.m_spanCounter, 0);
    EXPECT_EQ(main.windowTitle(), "Pelmora -  00:00:00 ");
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "c"}));
}

TEST_F(TaskListView, ShowListTwiceReturnsToTheCollapsedWindow)
{
    CDia_Main& main = open({});
    auto* showList = platform::control<QPushButton>(&main, IDC_SHOWLIST);
    EXPECT_EQ(showList->text(), "Hide List");
    EXPECT_EQ(main.frameGeometry().height(), CDia_Main::kExpandedHeight);
    press(IDC_SHOWLIST);
    EXPECT_EQ(main.height(), main.listView()->geometry().top()); // a thin frame: 175 px would show the list
    EXPECT_EQ(showList->text(), "Show List");
    EXPECT_FALSE(main.m_bListShown);
}

// ---- the commands

TEST_F(TaskListView, NewAppendsAnAcceptedTaskAtTheEndAndNothingWhenCancelled)
{
    CDia_Main& main = openAbc();
    click(rowCentre(0));
    {
        EditorAnswer answer("brand new");
        press(IDC_NEW);
        EXPECT_EQ(answer.opened, 1);
        EXPECT_TRUE(answer.newTask);
        EXPECT_EQ(answer.target, &main.m_taskShown);
    }
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "c", "brand new"}));
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_FALSE(main.IsSelected());

    const TaskRecord shown = main.m_taskShown;
    EditorAnswer cancel;
    press(IDC_NEW);
    EXPECT_EQ(cancel.opened, 1);
    EXPECT_EQ(main.m_taskShown, shown);
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "c", "brand new"}));
}

TEST_F(TaskListView, EditChangesTheStoredTaskInPlaceWhenAcceptedAndNothingWhenCancelled)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    {
        EditorAnswer cancel;
        press(IDC_EDIT);
        EXPECT_EQ(cancel.opened, 1);
    }
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "c"}));
    EXPECT_EQ(main.m_nSelected, 1);
    EXPECT_EQ(selectedRows(), Rows{1});

    EditorAnswer answer("changed");
    press(IDC_EDIT);
    EXPECT_FALSE(answer.newTask);
    EXPECT_EQ(answer.target, &main.m_tasks.At(1));
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "changed", "c"}));
    EXPECT_EQ(main.m_nSelected, -1);
}

TEST_F(TaskListView, EditWithNoRowNamedOrOnePastTheEndOpensNothing)
{
    CDia_Main& main = openAbc();
    EditorAnswer answer;
    press(IDC_EDIT);
    main.m_nSelected = 3;
    press(IDC_EDIT);
    EXPECT_EQ(answer.opened, 0);
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_EQ(fake.messages[0].text, "Please select a tasks for edit at first!");
    EXPECT_EQ(fake.messages[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(fake.messages[1].text, platform::InvalidArgumentError().userMessage());
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "c"}));
}

TEST_F(TaskListView, RemoveTakesTheNamedTaskOutAndLaterOnesMoveUp)
{
    CDia_Main& main = open({beepTask("a"), beepTask("b"), beepTask("c"), beepTask("d")});
    press(IDC_REMOVE);
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "c", "d"})) << "nothing named yet";
    click(rowCentre(1));
    press(IDC_REMOVE);
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "c", "d"}));
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_FALSE(main.IsSelected());
    click(rowCentre(2));
    press(IDC_REMOVE);
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "c"}));
    click(rowCentre(0));
    click(emptySpace());
    press(IDC_REMOVE);
    EXPECT_EQ(tasksAsListed(), Strings{"c"}) << "the named row goes, selected or not";
    EXPECT_TRUE(fake.messages.empty()) << "no confirmation";
}

TEST_F(TaskListView, SpaceEditsAndDeleteRemovesOtherKeysDoNothing)
{
    CDia_Main& main = open({beepTask(" lead"), beepTask("b"), beepTask("c")});
    click(rowCentre(2));
    {
        EditorAnswer cancel;
        QTest::keyClick(view(), Qt::Key_Space);
        EXPECT_EQ(cancel.opened, 1);
    }
    EXPECT_EQ(main.m_nSelected, 2) << "the list's type-ahead search must not see the Space";
    EXPECT_EQ(selectedRows(), Rows{2});
    click(rowCentre(1));
    {
        EditorAnswer answer("by space");
        QTest::keyClick(view(), Qt::Key_Space);
        EXPECT_EQ(answer.target, &main.m_tasks.At(1));
    }
    EXPECT_EQ(tasksAsListed(), (Strings{" lead", "by space", "c"}));
    click(rowCentre(2));
    {
        EditorAnswer answer;
        QTest::keyClick(view(), Qt::Key_A);
        QTest::keyClick(view(), Qt::Key_Return);
        EXPECT_EQ(answer.opened, 0);
    }
    QTest::keyClick(view(), Qt::Key_Delete);
    EXPECT_EQ(tasksAsListed(), (Strings{" lead", "by space"}));
}

TEST_F(TaskListView, DoubleClickOnARowEditsItAndOnEmptySpaceMakesANewTask)
{
    CDia_Main& main = openAbc();
    {
        EditorAnswer answer("double");
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, rowCentre(2));
        EXPECT_EQ(answer.opened, 1);
        EXPECT_FALSE(answer.newTask);
    }
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "double"}));
    EXPECT_FALSE(main.IsSelected()) << "the refill after the edit has the last word";
    {
        EditorAnswer answer("from empty space");
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, emptySpace());
        EXPECT_TRUE(answer.newTask);
    }
    EXPECT_EQ(tasksAsListed(), (Strings{"a", "b", "double", "from empty space"}));
    EXPECT_FALSE(main.IsSelected());
}

// ---- the road of one alarm through the window

TEST_F(TaskListView, ASelectedCountDownTaskRunsTicksBeepsAndStops)
{
    TaskRecord tea = beepTask("tea", 3);
    tea.nBeepHz = 440;
    tea.nBeepMs = 30;
    CDia_Main& main = open({beepTask("a", 600), tea});
    QPushButton* start = driver::startButton(main);
    click(rowCentre(1));
    EXPECT_EQ(main.windowTitle(), "Pelmora - tea");
    press(IDC_START);
    EXPECT_EQ(start->text(), "STOP");
    EXPECT_EQ(main.m_taskActive, tea);
    for (std::int64_t left : {2, 1, 0}) {
        main.OnTimer();
        EXPECT_EQ(main.m_spanCounter, left);
    }
    EXPECT_TRUE(fake.tones.empty());
    main.OnTimer();
    main.OnTimer();
    EXPECT_EQ(fake.tones, (Tones{{440, 30}, {440, 30}}));
    press(IDC_START);
    EXPECT_FALSE(main.m_bRunning);
    EXPECT_EQ(start->text(), "START");
    EXPECT_EQ(main.m_spanCounter, 0) << "with the row still selected the counter stays";
}

TEST_F(TaskListView, AfterAClickOnEmptySpaceStartRunsTheManualCountdown)
{
    CDia_Main& main = open({beepTask("long", 600)});
    click(rowCentre(0));
    click(emptySpace());
    main.m_spanCounter = 1;
    press(IDC_START);
    EXPECT_EQ(main.m_taskActive.spanDelay, 1);
    main.OnTimer();
    main.OnTimer();
    EXPECT_EQ(fake.tones, (Tones{{1000, 100}}));
    press(IDC_START);
}

// ---- huge texts and large files

TEST_F(TaskListView, AHugeDescriptionShowsABoundedPrefixAtTheUsualRowHeightAndIsSavedWhole)
{
    const int usualHeight = openAbc().listView()->rowHeight();
    constexpr std::size_t kHuge = std::size_t(64) << 20;
    TaskRecord huge = beepTask("");
    huge.strDescription.assign(kHuge, 'w');
    CDia_Main& main = open({huge, beepTask("b")});
    EXPECT_EQ(view()->rowHeight(), usualHeight);
    EXPECT_EQ(cell(0, 0).size(), qsizetype(platform::kShownTextBytes));
    click(rowCentre(0));
    EXPECT_EQ(main.windowTitle().size(), qsizetype(std::strlen("Pelmora - ") + platform::kShownTextBytes));
    press(IDC_MAIN_OK);
    TaskList saved;
    TaskRecord scratch;
    tasks::loadTasks(tasks::kTaskFileName, saved, scratch);
    ASSERT_EQ(saved.Count(), 2);
    EXPECT_TRUE(saved.At(0) == huge);
}

TEST_F(TaskListView, ALargeFileFillsTheListJustAfterTheFirstPaintAndASaveBeforeItKeepsEveryTask)
{
    constexpr int kTasks = 20'000; // well past the bytes read before the first paint
    TaskList stored;
    for (int i = 0; i < kTasks; ++i)
        stored.Append(beepTask("task", i));
    ASSERT_TRUE(tasks::saveTasks(tasks::kTaskFileName, stored));
    const QByteArray bytes = TempWorkDir::read(tasks::kTaskFileName);

    // Ended before it ever painted: the save reads the file first, and writes back every task.
    auto unpainted = std::make_unique<CDia_Main>();
    EXPECT_EQ(unpainted->m_tasks.Count(), 0);
    EXPECT_EQ(unpainted->SaveTasksUnattended(), std::nullopt);
    unpainted.reset();
    EXPECT_EQ(TempWorkDir::read(tasks::kTaskFileName), bytes);

    window = std::make_unique<CDia_Main>();
    ASSERT_TRUE(driver::showExposed(*window));
    window->repaint();
    EXPECT_EQ(window->windowTitle(), "Pelmora -  00:00:00 ");
    for (int wait = 0; wait < 100 && window->m_tasks.Count() == 0; ++wait)
        QCoreApplication::processEvents();
    ASSERT_EQ(window->m_tasks.Count(), kTasks);
    EXPECT_EQ(view()->model()->rowCount(), kTasks);
    EXPECT_EQ(window->m_tasks.At(kTasks - 1).spanDelay, kTasks - 1);
    EXPECT_EQ(window->m_nSelected, -1);
}

// ---- the order of notifications

TEST(ItemChangeOrder, LosersComeFirstTheFocusRowLastAndLongRunsByTheirEnds)
{
    EXPECT_EQ(listview::rowsToTell({{5, 5}}, {{2, 2}}, 2), (Rows{5, 2}));
    EXPECT_EQ(listview::rowsToTell({}, {{1, 4}}, 1), (Rows{2, 3, 4, 1}));
    EXPECT_EQ(listview::rowsToTell({{0, 1}, {3, 3}}, {}, 2), (Rows{0, 1, 3, 2}));
    EXPECT_EQ(listview::rowsToTell({{7, 7}}, {}, -1), Rows{7});
    EXPECT_EQ(int(listview::rowsToTell({}, {{0, listview::kRowsToldOneByOne - 1}}, -1).size()),
              listview::kRowsToldOneByOne);
    EXPECT_EQ(listview::rowsToTell({{0, 999'999}}, {{1'000'000, 1'999'999}}, 5),
              (Rows{0, 999'999, 1'000'000, 1'999'999, 5}));
}

TEST(ItemChangeOrder, SelectionsBecomeSortedMergedRowSpans)
{
    QStandardItemModel model(20, 3);
    auto rows = [&](int top, int bottom) { return QItemSelectionRange(model.index(top, 0), model.index(bottom, 2)); };
    QItemSelection selection;
    for (const auto& range : {rows(10, 12), rows(2, 3), rows(4, 4), rows(11, 15), rows(18, 18)})
        selection.append(range);
    using listview::RowSpan;
    EXPECT_EQ(listview::rowSpans(selection), (std::vector<RowSpan>{{2, 4}, {10, 15}, {18, 18}}));
    EXPECT_TRUE(listview::rowSpans(QItemSelection()).empty());
}
