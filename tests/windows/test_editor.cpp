// The task editor: what it shows for new and stored tasks, its option handlers, Select..., OK and Cancel.
#include "editor/dia_task.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/core/errors.h"
#include "tests/support/fake_desktop.h"
#include "res/resource.h"
#include "tests/support/temp_work_dir.h"
#include "tests/support/tz_guard.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr platform::Time kNow = 1709634030;             // 2024-03-05 10:20:30 UTC, 05:20:30 in EST5
constexpr platform::Time kJuly14At1930Utc = 1563132600; // 2019-07-14, 14:30:00 in EST5

// The controls in tab order: id, "-" when disabled, "*" or "o" for a radio's check, "=" and the text.
std::string summary(const CDia_Task& dlg)
{
    std::string out;
    for (int id : {1023, 1007, 1015, 1012, 1013, 1008, 1014, 1016, 1017, 1021, 1018, 1019, 1020}) {
        QWidget* w = platform::findControl(&dlg, id);
        out += (out.empty() ? "" : " ") + std::to_string(id) + (w->isEnabled() ? "" : "-");
        if (auto* radio = qobject_cast<QRadioButton*>(w))
            out += radio->isChecked() ? "*" : "o";
        else if (auto* multi = qobject_cast<QPlainTextEdit*>(w))
            out += "=" + multi->toPlainText().toStdString();
        else if (auto* line = qobject_cast<QLineEdit*>(w))
            out += "=" + line->text().toStdString();
        else if (auto* picker = qobject_cast<QDateTimeEdit*>(w))
            out += "=" + picker->text().toStdString();
    }
    return out;
}

TaskRecord delayTask(std::int64_t delay, std::uint8_t countUp = 0)
{
    TaskRecord t;
    t.bCountUp = countUp;
    t.nBeepHz = 440;
    t.nBeepMs = 250;
    t.strDescription = "tea";
    t.timeAt = 86400 * 3;
    t.spanDelay = delay;
    return t;
}

TaskRecord timeTask()
{
    TaskRecord t = delayTask(90, 1);
    t.bAtTime = 1;
    t.timeAt = kJuly14At1930Utc;
    return t;
}

TaskRecord runTask(const char* file)
{
    TaskRecord t = delayTask(60);
    t.nAction = ACTION_RUN;
    t.strRunFile = file;
    return t;
}

class TaskEditor : public ::testing::Test {
protected:
    TaskEditor() { fake.clock = kNow; }

    // Opens the editor on `target` without a nested loop, as the first showing runs its initialisation.
    std::unique_ptr<CDia_Task> open(TaskRecord& target, bool isNew = false)
    {
        auto dlg = std::make_unique<CDia_Task>();
        dlg->m_pTarget = &target;
        dlg->m_bNewTask = isNew;
        dlg->show();
        return dlg;
    }
    static void click(CDia_Task& dlg, int id) { platform::control<QAbstractButton>(&dlg, id)->click(); }
    template <class W>
    static W* ctl(CDia_Task& dlg, int id) { return platform::control<W>(&dlg, id); }

    TzGuard tz{"EST5"};
    platform::FakeDesktop fake;
};

TEST_F(TaskEditor, IsBuiltFromTheTemplateAndWaitsForTheCallerBeforeFillingIn)
{
    CDia_Task dlg;
    EXPECT_EQ(dlg.windowTitle(), "Task");
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_EQ(dlg.m_task, (TaskRecord{0, 0, 1000, 100, "", "", kNow, 0, ACTION_BEEP}));
    EXPECT_TRUE(dlg.m_strPickedFile.empty());
    EXPECT_FALSE(ctl<QRadioButton>(dlg, 1007)->isChecked() || ctl<QRadioButton>(dlg, 1007)->autoExclusive());
    EXPECT_TRUE(ctl<QLineEdit>(dlg, 1017)->text().isEmpty());
}

TEST_F(TaskEditor, NewTaskShowsAndStoresTheDefaults)
{
    TaskRecord shown = runTask("/bin/old");
    fake.clock = kNow + 5; // the dialog takes the time again when it opens
    auto dlg = open(shown, true);
    EXPECT_EQ(summary(*dlg), "1023= 1007* 1015=00:00:00 1012* 1013o 1008o 1014-=05:20:35 "
                             "1016* 1017=1000 1021=100 1018o 1019-= 1020-");
    EXPECT_EQ(dlg->focusWidget(), platform::findControl(dlg.get(), 1023));
    EXPECT_EQ(dlg->m_strPickedFile, "100"); // the scratch text of the number boxes
    EXPECT_EQ(shown, runTask("/bin/old"));  // nothing is stored before OK
    click(*dlg, IDOK);
    EXPECT_EQ(shown, (TaskRecord{0, 0, 1000, 100, "", "", kNow + 5, 0, ACTION_BEEP}));
}

TEST_F(TaskEditor, StoredTasksOpenAsStored)
{
    TaskRecord beepWithFile = delayTask(60);
    beepWithFile.strRunFile = "/bin/kept";
    TaskRecord seven = runTask("/bin/seven");
    seven.nAction = 7;
    const struct {
        TaskRecord task;
        const char* expected;
    } cases[] = {
        {delayTask(3725, 1), "1023=tea 1007* 1015=01:02:05 1012o 1013* 1008o 1014-=05:20:30 "
                             "1016* 1017=440 1021=250 1018o 1019-= 1020-"},
        {delayTask(86400 + 3661), "1023=tea 1007* 1015=01:01:01 1012* 1013o 1008o 1014-=05:20:30 "
                                  "1016* 1017=440 1021=250 1018o 1019-= 1020-"},
        {runTask("/usr/bin/x"), "1023=tea 1007* 1015=00:01:00 1012* 1013o 1008o 1014-=05:20:30 "
                                "1016o 1017-= 1021-= 1018* 1019=/usr/bin/x 1020"},
        {beepWithFile, "1023=tea 1007* 1015=00:01:00 1012* 1013o 1008o 1014-=05:20:30 "
                       "1016* 1017=440 1021=250 1018o 1019-= 1020-"},
        {seven, "1023=tea 1007* 1015=00:01:00 1012* 1013o 1008o 1014-=05:20:30 "
                "1016o 1017= 1021= 1018o 1019-= 1020-"},
        // The delay picker is not set: it keeps the moment the dialog was made.
        {timeTask(), "1023=tea 1007o 1015-=05:20:30 1012-o 1013-* 1008* 1014=14:30:00 "
                     "1016* 1017=440 1021=250 1018o 1019-= 1020-"},
    };
    for (const auto& c : cases) {
        TaskRecord target = c.task;
        auto dlg = open(target);
        EXPECT_EQ(summary(*dlg), c.expected);
        EXPECT_EQ(dlg->m_task.bCountUp, 0) << "only the check is set, never the working record";
    }
}

TEST_F(TaskEditor, OptionHandlersCheckOnePairMemberAndSwitchTheDependentControls)
{
    TaskRecord target = delayTask(60);
    auto dlg = open(target);
    const std::string delayState = summary(*dlg);
    click(*dlg, IDC_TASK_TIME);
    EXPECT_EQ(summary(*dlg), "1023=tea 1007o 1015-=00:01:00 1012-* 1013-o 1008* 1014=05:20:30 "
                             "1016* 1017=440 1021=250 1018o 1019-= 1020-");
    EXPECT_EQ(dlg->m_task.bAtTime, 1);
    click(*dlg, IDC_TASK_DELAY);
    EXPECT_EQ(summary(*dlg), delayState);
    EXPECT_EQ(dlg->m_task.bAtTime, 0);
    click(*dlg, IDC_TASK_RUN);
    EXPECT_EQ(summary(*dlg), "1023=tea 1007* 1015=00:01:00 1012* 1013o 1008o 1014-=05:20:30 "
                             "1016o 1017-=440 1021-=250 1018* 1019= 1020");
    EXPECT_EQ(dlg->m_task.nAction, ACTION_RUN);
    click(*dlg, IDC_TASK_BEEP);
    EXPECT_EQ(summary(*dlg), delayState);
    EXPECT_EQ(dlg->m_task.nAction, ACTION_BEEP);
    click(*dlg, IDC_TASK_COUNT_UP);
    click(*dlg, IDC_TASK_COUNT_UP); // again: the same result
    EXPECT_TRUE(ctl<QRadioButton>(*dlg, 1013)->isChecked());
    EXPECT_FALSE(ctl<QRadioButton>(*dlg, 1012)->isChecked());
    EXPECT_EQ(dlg->m_task.bCountUp, 1);
    click(*dlg, IDC_TASK_COUNT_DOWN);
    EXPECT_EQ(summary(*dlg), delayState);
    EXPECT_EQ(dlg->m_task.bCountUp, 0);
}

TEST_F(TaskEditor, OkWithoutTouchingAnythingKeepsEveryTaskByteForByte)
{
    TaskRecord odd = runTask("/tmp/\xff\xfe-not-utf8");
    odd.strDescription = "line one\r\nline two\r\n\x80";
    TaskRecord seven = delayTask(7);
    seven.nAction = 7;
    seven.nBeepHz = -5;
    TaskRecord longDelay = delayTask(3 * 86400 + 5, 1);
    longDelay.strRunFile = "/bin/hidden";
    TaskRecord old = timeTask();
    old.timeAt = -4000000000; // 1843: far outside today, and the date must survive
    for (TaskRecord task : {delayTask(3725), delayTask(86400 + 3661), timeTask(), odd, seven, longDelay, old}) {
        TaskRecord target = task;
        auto dlg = open(target);
        click(*dlg, IDOK);
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        EXPECT_EQ(target, task) << task.strDescription << " " << task.spanDelay;
    }
}

TEST_F(TaskEditor, OkStoresWhatTheUserChanged)
{
    TaskRecord target = delayTask(60);
    auto dlg = open(target);
    ctl<QPlainTextEdit>(*dlg, 1023)->moveCursor(QTextCursor::End);
    QTest::keyClicks(ctl<QPlainTextEdit>(*dlg, 1023), "!");
    dlg->m_ctlDelay->setTime(QTime(2, 3, 4));
    click(*dlg, IDC_TASK_COUNT_UP);
    ctl<QLineEdit>(*dlg, 1017)->clear();
    ctl<QLineEdit>(*dlg, 1021)->setText("7");
    click(*dlg, IDOK);
    EXPECT_EQ(target.strDescription, "tea!");
    EXPECT_EQ(target.spanDelay, 2 * 3600 + 3 * 60 + 4);
    EXPECT_EQ(target.bCountUp, 1);
    EXPECT_EQ(target.nBeepHz, 1000) << "an emptied box stores the default";
    EXPECT_EQ(target.nBeepMs, 7);

    click(*(dlg = open(target)), IDC_TASK_TIME);
    click(*dlg, IDC_TASK_RUN);
    ctl<QLineEdit>(*dlg, 1019)->setText("/bin/new");
    click(*dlg, IDOK);
    EXPECT_EQ(target.bAtTime, 1);
    EXPECT_EQ(target.timeAt, kNow) << "the picker showed the moment the dialog was made";
    EXPECT_EQ(target.nAction, ACTION_RUN);
    EXPECT_EQ(target.strRunFile, "/bin/new");
    EXPECT_EQ(target.nBeepMs, 7) << "a disabled box keeps what it shows";

    target = timeTask();
    dlg = open(target);
    dlg->m_ctlTime->setCurrentSection(QDateTimeEdit::HourSection);
    dlg->m_ctlTime->stepBy(1);
    click(*dlg, IDOK);
    EXPECT_EQ(target.timeAt, kJuly14At1930Utc + 3600) << "the date comes back with the new time";
}

TEST_F(TaskEditor, EditsKeepEveryCharacterTheUserDidNotTouchAndTypedLineBreaksAreCrLf)
{
    // No-break space, lone CR, U+2028, a byte that is not UTF-8, CR LF, lone LF, U+2029.
    const std::string description = "a\xC2\xA0" "b\r" "c\xE2\x80\xA8" "d\xE9" "e\r\n" "f\n" "g\xE2\x80\xA9" "h";
    const std::string runFile = "/tmp/\xFF\xC3\xA9\xC2\xA0\xE2\x80\xA8x";
    TaskRecord target = runTask(runFile.c_str());
    target.strDescription = description;
    auto dlg = open(target);
    auto* box = ctl<QPlainTextEdit>(*dlg, 1023);
    QTest::keyClicks(box, "S"); // the cursor starts at the beginning
    box->moveCursor(QTextCursor::End);
    QTest::keyClicks(box, "X");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClicks(box, "Y");
    QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(box, "Z");
    auto* file = ctl<QLineEdit>(*dlg, 1019);
    file->end(false);
    QTest::keyClicks(file, "!");
    click(*dlg, IDOK);
    EXPECT_EQ(target.strDescription, "S" + description + "X\r\nY\r\nZ");
    EXPECT_EQ(target.strRunFile, runFile + "!");

    // Joining two lines keeps the spelling of every break the join did not remove.
    const struct {
        const char* before;
        int line;
        Qt::Key key; // Backspace at the start of `line`, Delete at its end
        const char* after;
    } joins[] = {{"a\r\nb\rc", 2, Qt::Key_Backspace, "a\r\nbc"},
                 {"a\nb\r\nc", 2, Qt::Key_Backspace, "a\nbc"},
                 {"a\r\nb\nc\rd", 1, Qt::Key_Delete, "a\r\nbc\rd"}};
    for (const auto& join : joins) {
        target.strDescription = join.before;
        dlg = open(target);
        box = ctl<QPlainTextEdit>(*dlg, 1023);
        QTextCursor cursor(box->document()->findBlockByNumber(join.line));
        if (join.key == Qt::Key_Delete)
            cursor.movePosition(QTextCursor::EndOfBlock);
        box->setTextCursor(cursor);
        QTest::keyClick(box, join.key);
        click(*dlg, IDOK);
        EXPECT_EQ(target.strDescription, join.after) << join.before;
    }
}

TEST_F(TaskEditor, ChoosingAnOptionBringsItsUnsetControlsIntoUse)
{
    TaskRecord target = delayTask(60);
    target.strRunFile = "/bin/never-shown";
    auto dlg = open(target);
    click(*dlg, IDC_TASK_RUN);
    click(*dlg, IDOK);
    EXPECT_EQ(target.strRunFile, "") << "the empty box the user saw, not a path hidden behind it";

    click(*(dlg = open(target)), IDC_TASK_BEEP);
    click(*dlg, IDOK);
    EXPECT_EQ(target.nBeepHz, 1000) << "empty boxes store the defaults";
    EXPECT_EQ(target.nBeepMs, 100);

    target = timeTask(); // its delay picker was never set: choosing Delay takes what it shows
    click(*(dlg = open(target)), IDC_TASK_DELAY);
    click(*dlg, IDC_TASK_TIME);
    click(*dlg, IDOK);
    EXPECT_EQ(target.spanDelay, 5 * 3600 + 20 * 60 + 30);
    EXPECT_EQ(target.timeAt, kJuly14At1930Utc) << "a picker set from the task keeps it while untouched";
}

TEST_F(TaskEditor, BeepBoxesTakeDigitsUpToTheLargest32BitNumber)
{
    TaskRecord target = delayTask(60);
    auto dlg = open(target);
    auto* hz = ctl<QLineEdit>(*dlg, 1017);
    const std::pair<const char*, const char*> typing[] = {
        {"1a-2 +3.", "123"}, {"2147483648", "214748364"}, {"21474836479", "2147483647"}};
    for (const auto& [typed, kept] : typing) {
        hz->clear();
        QTest::keyClicks(hz, typed);
        EXPECT_EQ(hz->text(), kept) << typed;
    }
    click(*dlg, IDOK);
    EXPECT_EQ(target.nBeepHz, 2147483647);
}

TEST_F(TaskEditor, SelectPutsTheFullPathInAndGoesBackToTheStartDirectory)
{
    TempWorkDir start;
    QTemporaryDir elsewhere;
    const std::string file = elsewhere.filePath("alarm.sh").toStdString();
    std::ofstream(file) << "true\n";
    TaskRecord target = delayTask(60);
    auto dlg = open(target);
    click(*dlg, IDC_TASK_RUN);
    std::filesystem::current_path(elsewhere.path().toStdString()); // as the file dialog may leave it

    click(*dlg, IDC_TASK_SELECT); // cancelled: nothing changes, not even the directory
    EXPECT_EQ(ctl<QLineEdit>(*dlg, 1019)->text(), "");
    EXPECT_EQ(std::filesystem::current_path(), elsewhere.path().toStdString());

    fake.fileAnswers.push_back(file);
    click(*dlg, IDC_TASK_SELECT);
    EXPECT_EQ(fake.fileDialogs, 2);
    EXPECT_EQ(ctl<QLineEdit>(*dlg, 1019)->text().toStdString(), file);
    EXPECT_EQ(dlg->m_strPickedFile, file);
    EXPECT_EQ(dlg->m_task.strRunFile, file);
    EXPECT_EQ(std::filesystem::current_path(), start.path());
    EXPECT_EQ(target.strRunFile, "") << "only OK writes the target";
    click(*dlg, IDOK);
    EXPECT_EQ(target.strRunFile, file);
}

TEST_F(TaskEditor, EnterInTheDescriptionInsertsALineBreakAndTabMovesOn)
{
    TaskRecord target = delayTask(60);
    auto dlg = open(target);
    auto* description = ctl<QPlainTextEdit>(*dlg, 1023);
    description->moveCursor(QTextCursor::End);
    QTest::keyClick(description, Qt::Key_Return);
    QTest::keyClick(description, Qt::Key_Enter);
    QTest::keyClicks(description, "pot");
    EXPECT_EQ(description->toPlainText(), "tea\n\npot");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(target, delayTask(60));

    // A long line scrolls the box sideways and brings up no bar that would hide a line.
    QTest::keyClicks(description, QString(200, u'w'));
    QApplication::processEvents();
    EXPECT_GT(description->horizontalScrollBar()->value(), 0);
    EXPECT_FALSE(description->horizontalScrollBar()->isVisible());

    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    description->setFocus();
    QTest::keyClick(description, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), platform::findControl(dlg.get(), IDC_TASK_DELAY));
}

TEST_F(TaskEditor, TabVisitsEachEnabledControlOnceAndThePickerFieldsAreReachedWithLeftAndRight)
{
    TaskRecord shown;
    auto dlg = open(shown, true);
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    const auto focusedId = [] {
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (w->objectName().startsWith("ctl_"))
                return w->objectName().mid(4).toStdString();
        return std::string("?");
    };
    const auto press = [](int key) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(key)); };
    std::string visited;
    for (int i = 0; i < 12; ++i) {
        press(Qt::Key_Tab);
        visited += focusedId() + " ";
    }
    EXPECT_EQ(visited, "1007 1015 1012 1013 1008 1016 1017 1021 1018 1 2 1023 ");

    ctl<QDateTimeEdit>(*dlg, 1015)->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(QApplication::focusWidget(), "12"); // a full field moves on to the next
    press(Qt::Key_Right);
    QTest::keyClicks(QApplication::focusWidget(), "05");
    press(Qt::Key_Left);
    press(Qt::Key_Left);
    press(Qt::Key_Left); // stays on the first field
    press(Qt::Key_Right);
    QTest::keyClicks(QApplication::focusWidget(), "07");
    EXPECT_EQ(ctl<QDateTimeEdit>(*dlg, 1015)->text(), "12:07:05");
    press(Qt::Key_Tab);
    EXPECT_EQ(focusedId(), "1012");
}

TEST_F(TaskEditor, CancelAndEscapeLeaveTheTargetAsItWas)
{
    for (bool escape : {false, true}) {
        TaskRecord target = delayTask(60);
        auto dlg = open(target);
        QTest::keyClicks(ctl<QPlainTextEdit>(*dlg, 1023), "changed");
        click(*dlg, IDC_TASK_TIME);
        click(*dlg, IDC_TASK_RUN);
        if (escape)
            QTest::keyClick(ctl<QPlainTextEdit>(*dlg, 1023), Qt::Key_Escape);
        else
            click(*dlg, IDCANCEL);
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), QDialog::Rejected);
        EXPECT_EQ(target, delayTask(60));
    }
}

TEST_F(TaskEditor, DoModalRunsTheDialogAndAnswersOkOrCancel)
{
    for (int button : {IDOK, IDCANCEL}) {
        TaskRecord target = delayTask(60);
        CDia_Task dlg;
        dlg.m_pTarget = &target;
        QTimer::singleShot(0, &dlg, [&] {
            platform::control<QLineEdit>(&dlg, 1017)->setText("880");
            click(dlg, button);
        });
        EXPECT_EQ(dlg.DoModal(), button);
        EXPECT_EQ(target.nBeepHz, button == IDOK ? 880 : 440);
    }
}

TEST_F(TaskEditor, UnbuildablePickerValueIsReportedAndAbandonsTheRest)
{
    // Today is 1969-12-31 in UTC, and 23:59:59 of it is the one time value the C library reports as failure.
    TzGuard utc("UTC0");
    fake.clock = -3600;
    TaskRecord target = delayTask(86399);
    auto dlg = open(target);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, platform::InvalidTimeError().userMessage());
    EXPECT_EQ(summary(*dlg).substr(0, 41), "1023=tea 1007* 1015=23:00:00 1012o 1013o ");
    EXPECT_EQ(summary(*dlg).substr(summary(*dlg).find("1016")), "1016o 1017= 1021= 1018o 1019-= 1020-");
    click(*dlg, IDOK);
    EXPECT_EQ(target, delayTask(86399));
}

} // namespace
