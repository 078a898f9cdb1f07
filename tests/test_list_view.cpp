// The task list: how rows are written, how the window follows the selection, and the list's commands.
#include "editor/dia_task.h"
#include "mainwnd/dia_main.h"
#include "mainwnd/list_view_support.h"
#include "platform/dialog_builder.h"
#include "platform/errors.h"
#include "platform/fake_desktop.h"
#include "res/resource.h"
#include "temp_work_dir.h"
#include "tz_guard.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyleOption>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr std::int64_t kOneHourTwoMinutesFive = 3600 + 2 * 60 + 5;

TaskRecord beepTask(const char* description, std::int64_t delay = 60)
{
    TaskRecord task;
    task.strDescription = description;
    task.spanDelay = delay;
    task.nBeepHz = 1000;
    task.nBeepMs = 100;
    return task;
}

// Counts the paints of the main window that reach the clock rectangle, as they happen.
class ClockPaints : public QObject {
public:
    explicit ClockPaints(CDia_Main& window) : m_clock(window.m_rectClock) { window.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && static_cast<QPaintEvent*>(event)->rect().intersects(m_clock))
            ++count;
        return false;
    }

private:
    QRect m_clock;
};

// Answers every task editor that opens while it lives; `answer` ends the dialog.
class EditorAnswer {
public:
    explicit EditorAnswer(std::function<void(CDia_Task&)> answer) : m_answer(std::move(answer))
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
        m_answer(*editor);
        if (editor->isVisible()) {
            ADD_FAILURE() << "the editor stayed open after its answer";
            editor->reject();
        }
    }

    std::function<void(CDia_Task&)> m_answer;
    QTimer m_timer;
};

std::function<void(CDia_Task&)> acceptWithDescription(const char* text)
{
    return [text](CDia_Task& editor) {
        platform::control<QPlainTextEdit>(&editor, IDC_TASK_DESCRIPTION)->setPlainText(QString::fromUtf8(text));
        platform::control<QPushButton>(&editor, IDOK)->click();
    };
}

void cancelEditor(CDia_Task& editor)
{
    platform::control<QPlainTextEdit>(&editor, IDC_TASK_DESCRIPTION)->setPlainText(QStringLiteral("thrown away"));
    platform::control<QPushButton>(&editor, IDCANCEL)->click();
}

} // namespace

class TaskListView : public ::testing::Test {
protected:
    // A shown, expanded main window holding `tasks`, listed.
    CDia_Main& open(const std::vector<TaskRecord>& tasks)
    {
        window = std::make_unique<CDia_Main>();
        for (const TaskRecord& task : tasks)
            window->m_tasks.Append(task);
        window->Refill();
        window->OnShowList();
        window->show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->windowHandle()->isExposed());
        return *window;
    }
    CDia_Main& openAbc() { return open({beepTask("a"), beepTask("b"), beepTask("c")}); }

    QTreeView* view() const { return window->listView(); }
    QString cell(int row, int column) const { return view()->model()->index(row, column).data().toString(); }
    QPoint rowCentre(int row) const { return view()->visualRect(view()->model()->index(row, 0)).center(); }
    QPoint emptySpace() const
    {
        const int rows = view()->model()->rowCount();
        const QRect last = view()->visualRect(view()->model()->index(rows - 1, 0));
        const QPoint below(last.left() + 20, last.bottom() + 2 * last.height());
        EXPECT_TRUE(view()->viewport()->rect().contains(below)) << "the rows fill the list";
        return below;
    }
    void click(QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, modifiers, at);
    }
    void press(int id) { platform::control<QPushButton>(window.get(), id)->click(); }
    std::vector<int> selectedRows() const
    {
        std::vector<int> rows;
        for (const QModelIndex& index : view()->selectionModel()->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    std::vector<std::string> descriptions() const
    {
        std::vector<std::string> texts;
        for (int i = 0; i < window->m_tasks.Count(); ++i)
            texts.push_back(window->m_tasks.At(i).strDescription);
        return texts;
    }
    // Row i shows task i, for tasks whose descriptions hold no line break.
    void expectRowsAgreeWithTasks() const
    {
        ASSERT_EQ(view()->model()->rowCount(), window->m_tasks.Count());
        for (int i = 0; i < window->m_tasks.Count(); ++i)
            EXPECT_EQ(cell(i, 0), QString::fromLocal8Bit(window->m_tasks.At(i).strDescription)) << "row " << i;
    }

    platform::FakeDesktop fake;
    TempWorkDir dir;
    TzGuard tz{"UTC0"};
    std::unique_ptr<CDia_Main> window;
};

// ---- how rows are written

TEST_F(TaskListView, ColumnsHaveTheirHeadingsWidthsAndLeftAlignment)
{
    open({beepTask("a")});
    const QAbstractItemModel* model = view()->model();
    ASSERT_EQ(model->columnCount(), 3);
    const char* headings[] = {"Task description", "Wait for", "Then do"};
    const int widths[] = {250, 70, 500};
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(model->headerData(column, Qt::Horizontal).toString(), headings[column]);
        EXPECT_EQ(view()->header()->sectionSize(column), widths[column]);
        const auto cellAlignment = model->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_TRUE(cellAlignment & Qt::AlignLeft) << column;
        const auto headAlignment = model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_TRUE(headAlignment & Qt::AlignLeft) << column;
    }
    EXPECT_EQ(view()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(view()->uniformRowHeights());
}

TEST_F(TaskListView, DescriptionsAreCutAtTheFirstLineBreak)
{
    open({beepTask("line one\r\nline two"), beepTask("\nbegins with a break"), beepTask("one line only"),
          beepTask("cr only\rrest"), beepTask("")});
    EXPECT_EQ(cell(0, 0), "line one...");
    EXPECT_EQ(cell(1, 0), "...");
    EXPECT_EQ(cell(2, 0), "one line only");
    EXPECT_EQ(cell(3, 0), "cr only...");
    EXPECT_EQ(cell(4, 0), "");
}

TEST_F(TaskListView, WaitForShowsTheDelayWithItsDirectionOrTheTimeOfDay)
{
    TaskRecord down = beepTask("down", kOneHourTwoMinutesFive);
    TaskRecord up = beepTask("up", kOneHourTwoMinutesFive);
    up.bCountUp = 1;
    TaskRecord dayDropped = beepTask("a day and 1:01:01", 86400 + 3661);
    TaskRecord atTime = beepTask("at time", 99);
    atTime.bAtTime = 1;
    atTime.bCountUp = 1;
    atTime.timeAt = 1'700'000'000; // 22:13:20 UTC
    open({down, up, dayDropped, atTime});
    EXPECT_EQ(cell(0, 1), "01:02:05  D");
    EXPECT_EQ(cell(1, 1), "01:02:05  U");
    EXPECT_EQ(cell(2, 1), "01:01:01  D");
    EXPECT_EQ(cell(3, 1), "22:13:20  T");
}

TEST_F(TaskListView, ThenDoShowsTheBeepOrTheFileToRun)
{
    TaskRecord run = beepTask("run");
    run.nAction = ACTION_RUN;
    run.strRunFile = "/opt/with space/alarm.sh";
    TaskRecord other = beepTask("seven");
    other.nAction = 7;
    other.strRunFile = "/bin/true";
    open({beepTask("beep"), run, other});
    EXPECT_EQ(cell(0, 2), "Beep: 1000 / 100");
    EXPECT_EQ(cell(1, 2), "Run: /opt/with space/alarm.sh");
    EXPECT_EQ(cell(2, 2), "Run: /bin/true");
}

TEST_F(TaskListView, TextsAreDecodedFromTheLocaleEncoding)
{
    TaskRecord task = beepTask("Gr\xc3\xbc\xc3\x9f" "e");
    task.nAction = ACTION_RUN;
    task.strRunFile = "/tmp/\xc3\xa9t\xc3\xa9";
    open({task});
    EXPECT_EQ(cell(0, 0), QString::fromUtf8("Grüße"));
    EXPECT_EQ(cell(0, 2), QString::fromUtf8("Run: /tmp/été"));
}

TEST_F(TaskListView, GridLinesRunAfterEveryColumnAndUnderEveryRow)
{
    open({beepTask("a"), beepTask("b")});
    QStyleOption option;
    option.initFrom(view());
    const QColor grid = QColor::fromRgba(QRgb(view()->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, view())));
    const QImage image = view()->viewport()->grab().toImage();
    const QRect row0 = view()->visualRect(view()->model()->index(0, 0));
    const int afterFirstColumn = view()->header()->sectionViewportPosition(0) + 250 - 1;
    EXPECT_EQ(image.pixelColor(afterFirstColumn, row0.center().y()), grid);
    EXPECT_EQ(image.pixelColor(afterFirstColumn, image.height() - 2), grid) << "column lines reach the bottom";
    EXPECT_EQ(image.pixelColor(row0.center().x(), row0.bottom()), grid);
    EXPECT_EQ(image.pixelColor(row0.center().x(), row0.bottom() + 3 * row0.height()), grid) << "and go on below";
    EXPECT_NE(image.pixelColor(row0.center().x() + 3, row0.center().y() - 1), grid);
}

TEST_F(TaskListView, RefillFollowsTheTaskListAndDropsTheSelection)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    ASSERT_TRUE(main.IsSelected());
    main.m_tasks.Append(beepTask("d"));
    main.Refill();
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_FALSE(main.IsSelected());
    expectRowsAgreeWithTasks();
    EXPECT_EQ(cell(3, 0), "d");
}

TEST_F(TaskListView, AMillionTasksAreListedAndTheLastIsReachedAtOnce)
{
    CDia_Main& main = open({});
    constexpr int kMany = 1'000'000;
    main.m_tasks.Reserve(kMany);
    for (int i = 0; i < kMany; ++i)
        main.m_tasks.Append(beepTask("many"));
    main.m_tasks.At(kMany - 1).strDescription = "the last";
    main.Refill();
    view()->scrollToBottom();
    view()->viewport()->repaint();
    EXPECT_EQ(view()->model()->rowCount(), kMany);
    const QRect lastRow = view()->visualRect(view()->model()->index(kMany - 1, 0));
    EXPECT_TRUE(view()->viewport()->rect().contains(lastRow.center()));
    EXPECT_EQ(cell(kMany - 1, 0), "the last");
}

// ---- following the selection

TEST_F(TaskListView, ClickingARowNamesItAndRedrawsTheClockAtOnce)
{
    CDia_Main& main = openAbc();
    ClockPaints paints(main);
    click(rowCentre(1));
    EXPECT_EQ(main.m_nSelected, 1);
    EXPECT_TRUE(main.IsSelected());
    EXPECT_EQ(selectedRows(), std::vector<int>{1});
    EXPECT_GT(paints.count, 0);
    EXPECT_EQ(main.windowTitle(), "Pelmora - b");

    click(rowCentre(2));
    EXPECT_EQ(main.m_nSelected, 2);
    EXPECT_EQ(selectedRows(), std::vector<int>{2});
}

TEST_F(TaskListView, ClickingEmptySpaceDeselectsButTheRowStaysNamedAndEditOpensIt)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    click(emptySpace());
    EXPECT_FALSE(main.IsSelected());
    EXPECT_EQ(main.m_nSelected, 1);

    EditorAnswer answer(cancelEditor);
    press(IDC_EDIT);
    EXPECT_EQ(answer.opened, 1);
    EXPECT_FALSE(answer.newTask);
    EXPECT_EQ(answer.target, &main.m_tasks.At(1));
}

TEST_F(TaskListView, WhileARunIsInProgressAChangeNamesTheRowWithoutRedrawingTheClock)
{
    CDia_Main& main = openAbc();
    ClockPaints paints(main);
    main.m_bRunning = true;
    click(rowCentre(2));
    main.m_bRunning = false;
    EXPECT_EQ(main.m_nSelected, 2);
    EXPECT_EQ(paints.count, 0);
}

TEST_F(TaskListView, KeysAndModifiedClicksMoveTheNameToTheRowActedOn)
{
    CDia_Main& main = open({beepTask("a"), beepTask("b"), beepTask("c"), beepTask("d"), beepTask("e")});
    click(rowCentre(3));
    QTest::keyClick(view(), Qt::Key_Up);
    EXPECT_EQ(main.m_nSelected, 2);
    EXPECT_EQ(selectedRows(), std::vector<int>{2});

    click(rowCentre(0), Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(main.m_nSelected, 0);

    click(rowCentre(4), Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1, 2, 4}));
    EXPECT_EQ(main.m_nSelected, 4);

    click(rowCentre(1), Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(main.m_nSelected, 1) << "a row that loses its selection is named too";
}

TEST_F(TaskListView, SelectingEveryRowOfALongListRedrawsTheClockOnlyAFewTimes)
{
    constexpr int kRows = 20'000;
    CDia_Main& main = open(std::vector<TaskRecord>(kRows, beepTask("row")));
    click(rowCentre(1));
    ClockPaints paints(main);
    QTest::keyClick(view(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(int(selectedRows().size()), kRows);
    EXPECT_EQ(main.m_nSelected, 1) << "the row with the focus is told last";
    EXPECT_LE(paints.count, 4);
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
    EXPECT_EQ(selectedRows(), std::vector<int>{2});
    EXPECT_EQ(main.m_nSelected, 2);

    QTest::mouseMove(view()->viewport(), emptySpace());
    hotTrack->selectRowUnderPointer();
    EXPECT_EQ(selectedRows(), std::vector<int>{2}) << "resting on empty space keeps the selection";
}

TEST_F(TaskListView, ClearForgetsTheSelectedTaskAndShowsTheManualCounter)
{
    CDia_Main& main = openAbc();
    main.m_spanCounter = 42;
    click(rowCentre(0));
    ClockPaints paints(main);
    press(IDC_CLEAR);
    EXPECT_FALSE(main.IsSelected());
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_EQ(main.m_spanCounter, 0);
    EXPECT_GT(paints.count, 0);
    EXPECT_EQ(main.windowTitle(), "Pelmora -  00:00:00 ");
    expectRowsAgreeWithTasks();
}

TEST_F(TaskListView, ShowListTwiceReturnsToTheCollapsedWindow)
{
    CDia_Main& main = open({});
    auto* showList = platform::control<QPushButton>(&main, IDC_SHOWLIST);
    EXPECT_EQ(showList->text(), "Hide List");
    EXPECT_EQ(main.frameGeometry().height(), CDia_Main::kExpandedHeight);
    press(IDC_SHOWLIST);
    EXPECT_EQ(main.frameGeometry().height(), CDia_Main::kCollapsedHeight);
    EXPECT_EQ(showList->text(), "Show List");
    EXPECT_FALSE(main.m_bListShown);
    press(IDC_SHOWLIST);
    press(IDC_SHOWLIST);
    EXPECT_EQ(main.frameGeometry().height(), CDia_Main::kCollapsedHeight);
    EXPECT_EQ(showList->text(), "Show List");
}

// ---- the commands

TEST_F(TaskListView, AnAcceptedNewTaskIsAppendedAtTheEnd)
{
    CDia_Main& main = openAbc();
    click(rowCentre(0));
    EditorAnswer answer(acceptWithDescription("brand new"));
    press(IDC_NEW);
    EXPECT_EQ(answer.opened, 1);
    EXPECT_TRUE(answer.newTask);
    EXPECT_EQ(answer.target, &main.m_taskShown);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "b", "c", "brand new"}));
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_FALSE(main.IsSelected());
    expectRowsAgreeWithTasks();
}

TEST_F(TaskListView, ACancelledNewTaskAddsNothing)
{
    CDia_Main& main = openAbc();
    const TaskRecord shownBefore = main.m_taskShown;
    EditorAnswer answer(cancelEditor);
    press(IDC_NEW);
    EXPECT_EQ(answer.opened, 1);
    EXPECT_EQ(main.m_taskShown, shownBefore);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "b", "c"}));
    expectRowsAgreeWithTasks();
}

TEST_F(TaskListView, AnAcceptedEditChangesTheStoredTaskInPlace)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    EditorAnswer answer(acceptWithDescription("changed"));
    press(IDC_EDIT);
    EXPECT_EQ(answer.opened, 1);
    EXPECT_FALSE(answer.newTask);
    EXPECT_EQ(answer.target, &main.m_tasks.At(1));
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "changed", "c"}));
    EXPECT_EQ(main.m_nSelected, -1);
    expectRowsAgreeWithTasks();
}

TEST_F(TaskListView, ACancelledEditChangesNothing)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    EditorAnswer answer(cancelEditor);
    press(IDC_EDIT);
    EXPECT_EQ(answer.opened, 1);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(main.m_nSelected, 1);
    EXPECT_EQ(selectedRows(), std::vector<int>{1});
    expectRowsAgreeWithTasks();
}

TEST_F(TaskListView, EditWithNoRowTouchedAsksForOneAndOpensNothing)
{
    openAbc();
    EditorAnswer answer(cancelEditor);
    press(IDC_EDIT);
    EXPECT_EQ(answer.opened, 0);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Please select a tasks for edit at first!");
    EXPECT_EQ(fake.messages[0].icon, platform::MessageIcon::Information);
}

TEST_F(TaskListView, EditOfARowPastTheEndIsAnInvalidArgumentAndOpensNothing)
{
    CDia_Main& main = openAbc();
    main.m_nSelected = 3;
    EditorAnswer answer(cancelEditor);
    press(IDC_EDIT);
    EXPECT_EQ(answer.opened, 0);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, platform::InvalidArgumentError().userMessage());
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(TaskListView, RemoveTakesTheNamedTaskOutAndLaterOnesMoveUp)
{
    CDia_Main& main = open({beepTask("a"), beepTask("b"), beepTask("c"), beepTask("d")});
    click(rowCentre(1));
    press(IDC_REMOVE);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(main.m_nSelected, -1);
    EXPECT_FALSE(main.IsSelected());
    expectRowsAgreeWithTasks();

    click(rowCentre(2));
    press(IDC_REMOVE);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "c"}));
    expectRowsAgreeWithTasks();

    press(IDC_REMOVE);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "c"})) << "nothing named after the refill";

    click(rowCentre(0));
    click(emptySpace());
    press(IDC_REMOVE);
    EXPECT_EQ(descriptions(), std::vector<std::string>{"c"}) << "the named row goes, selected or not";
    EXPECT_TRUE(fake.messages.empty()) << "no confirmation";
    expectRowsAgreeWithTasks();
}

TEST_F(TaskListView, SpaceEditsAndDeleteRemovesOtherKeysDoNothing)
{
    CDia_Main& main = openAbc();
    click(rowCentre(1));
    {
        EditorAnswer answer(acceptWithDescription("by space"));
        QTest::keyClick(view(), Qt::Key_Space);
        EXPECT_EQ(answer.opened, 1);
        EXPECT_EQ(answer.target, &main.m_tasks.At(1));
    }
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "by space", "c"}));
    expectRowsAgreeWithTasks();

    click(rowCentre(2));
    {
        EditorAnswer answer(cancelEditor);
        QTest::keyClick(view(), Qt::Key_A);
        QTest::keyClick(view(), Qt::Key_Return);
        EXPECT_EQ(answer.opened, 0);
    }
    QTest::keyClick(view(), Qt::Key_Delete);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "by space"}));
    expectRowsAgreeWithTasks();
}

TEST_F(TaskListView, DoubleClickOnARowEditsItAndOnEmptySpaceMakesANewTask)
{
    CDia_Main& main = openAbc();
    {
        EditorAnswer answer(acceptWithDescription("double"));
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, rowCentre(2));
        EXPECT_EQ(answer.opened, 1);
        EXPECT_FALSE(answer.newTask);
    }
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "b", "double"}));
    EXPECT_FALSE(main.IsSelected()) << "the refill after the edit is the last word";
    expectRowsAgreeWithTasks();
    {
        EditorAnswer answer(acceptWithDescription("from empty space"));
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, emptySpace());
        EXPECT_EQ(answer.opened, 1);
        EXPECT_TRUE(answer.newTask);
    }
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"a", "b", "double", "from empty space"}));
    EXPECT_FALSE(main.IsSelected());
    expectRowsAgreeWithTasks();
}

// ---- the road of one alarm through the window

TEST_F(TaskListView, ASelectedCountDownTaskRunsTicksBeepsAndStops)
{
    TaskRecord tea = beepTask("tea", 3);
    tea.nBeepHz = 440;
    tea.nBeepMs = 30;
    CDia_Main& main = open({beepTask("a", 600), tea});
    auto* start = platform::control<QPushButton>(&main, IDC_START);
    click(rowCentre(1));
    EXPECT_EQ(main.windowTitle(), "Pelmora - tea");

    press(IDC_START);
    EXPECT_TRUE(main.m_bRunning);
    EXPECT_EQ(start->text(), "STOP");
    EXPECT_EQ(main.m_taskActive, tea);
    for (std::int64_t left : {2, 1, 0}) {
        main.OnTimer();
        EXPECT_EQ(main.m_spanCounter, left);
    }
    EXPECT_TRUE(fake.tones.empty());
    main.OnTimer();
    main.OnTimer();
    EXPECT_EQ(fake.tones, (std::vector<platform::FakeDesktop::Tone>{{440, 30}, {440, 30}}));
    EXPECT_EQ(main.m_spanCounter, 0);

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
    ASSERT_EQ(main.m_nSelected, 0);
    main.m_spanCounter = 1;
    press(IDC_START);
    EXPECT_EQ(main.m_taskActive.spanDelay, 1);
    EXPECT_EQ(main.m_taskActive.nBeepHz, 1000);
    main.OnTimer();
    main.OnTimer();
    EXPECT_EQ(fake.tones, (std::vector<platform::FakeDesktop::Tone>{{1000, 100}}));
    press(IDC_START);
}

// ---- the order of notifications

TEST(ItemChangeOrder, RowsLosingStateComeBeforeRowsGainingItAndTheFocusRowLast)
{
    using listview::RowSpan;
    EXPECT_EQ(listview::rowsToTell({{5, 5}}, {{2, 2}}, 2), (std::vector<int>{5, 2}));
    EXPECT_EQ(listview::rowsToTell({}, {{1, 4}}, 1), (std::vector<int>{2, 3, 4, 1}));
    EXPECT_EQ(listview::rowsToTell({{0, 1}, {3, 3}}, {}, 2), (std::vector<int>{0, 1, 3, 2}))
        << "the focus row is told even when only others changed";
    EXPECT_EQ(listview::rowsToTell({{7, 7}}, {}, -1), std::vector<int>{7});
}

TEST(ItemChangeOrder, LongRunsAreToldByTheirEnds)
{
    constexpr int kLong = listview::kRowsToldOneByOne;
    EXPECT_EQ(int(listview::rowsToTell({}, {{0, kLong - 1}}, -1).size()), kLong);
    EXPECT_EQ(listview::rowsToTell({{0, 999'999}}, {{1'000'000, 1'999'999}}, 5),
              (std::vector<int>{0, 999'999, 1'000'000, 1'999'999, 5}));
}

TEST(ItemChangeOrder, SelectionsBecomeSortedMergedRowSpans)
{
    QStandardItemModel model(20, 3);
    auto rows = [&](int top, int bottom) {
        return QItemSelectionRange(model.index(top, 0), model.index(bottom, 2));
    };
    QItemSelection selection;
    selection.append(rows(10, 12));
    selection.append(rows(2, 3));
    selection.append(rows(4, 4));
    selection.append(rows(11, 15));
    selection.append(QItemSelectionRange(model.index(18, 1)));
    using listview::RowSpan;
    EXPECT_EQ(listview::rowSpans(selection), (std::vector<RowSpan>{{2, 4}, {10, 15}, {18, 18}}));
    EXPECT_TRUE(listview::rowSpans(QItemSelection()).empty());
}
