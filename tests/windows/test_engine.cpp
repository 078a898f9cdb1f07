// The countdown engine: START/STOP, ticks, firing, the manual preset and its failure handling.
#include "tests/support/main_window_driver.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/temp_work_dir.h"
#include "tests/support/tz_guard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <limits>

using driver::delayTask;
using driver::loadTasks;
using driver::runTask;
using driver::selectRow;
using driver::startCaption;
using driver::timeTask;
using Bar = platform::ScrollBar;
using Tone = platform::FakeDesktop::Tone;

namespace {

// 2026-03-02 in UTC; the engine compares times of day only.
constexpr platform::Time kSomeDay = 1772409600;
constexpr platform::Time kOtherDay = kSomeDay + 40 * 86400;

constexpr platform::Time at(platform::Time day, int h, int m, int s)
{
    return day + h * 3600 + m * 60 + s;
}

} // namespace

class Engine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(driver::showExposed(window)); }

    void preset(int seconds) { window.OnHScroll(Bar::ThumbPosition, seconds); }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            window.OnTimer();
    }
    QString title() const { return window.windowTitle(); }

    platform::FakeDesktop fake;
    TzGuard tz{"UTC0"};
    TempWorkDir dir;
    CDia_Main window;
};

TEST_F(Engine, ManualPresetOfTenSecondsCountsDownThenBeepsEveryTickUntilStop)
{
    preset(10);
    window.OnStartStop();
    EXPECT_EQ(startCaption(window), "STOP");
    EXPECT_TRUE(window.m_bRunning);
    EXPECT_EQ(window.m_spanCounter, 10);
    ASSERT_EQ(driver::windowTimers(window).size(), 1);
    EXPECT_EQ(driver::windowTimers(window)[0].interval, 1000);
    EXPECT_EQ(driver::windowTimers(window)[0].timerType, Qt::PreciseTimer);
    EXPECT_EQ(window.m_taskActive.nBeepHz, 1000);
    EXPECT_EQ(window.m_taskActive.spanDelay, 10);

    tick();
    EXPECT_EQ(window.m_spanCounter, 9);
    EXPECT_EQ(window.scrollBar()->value(), 9);
    EXPECT_EQ(title(), "Pelmora -  00:00:09 "); // painted before the tick returned
    tick(9);
    EXPECT_EQ(window.m_spanCounter, 0);
    EXPECT_EQ(title(), "Pelmora -  00:00:00 ");
    EXPECT_TRUE(fake.tones.empty());

    tick();
    EXPECT_EQ(fake.tones, (std::vector<Tone>{{1000, 100}}));
    tick(2);
    EXPECT_EQ(fake.tones.size(), 3u);
    EXPECT_EQ(window.m_spanCounter, 0);
    EXPECT_TRUE(window.m_bRunning);

    window.OnStartStop();
    EXPECT_EQ(startCaption(window), "START");
    EXPECT_FALSE(window.m_bRunning);
    EXPECT_TRUE(driver::windowTimers(window).isEmpty());
    EXPECT_EQ(window.m_spanCounter, 10);
    EXPECT_EQ(title(), "Pelmora -  00:00:10 ");
    EXPECT_EQ(window.scrollBar()->value(), 0); // the thumb stays where the last tick left it

    // The next scroll action starts from the thumb, not from the counter.
    window.OnHScroll(Bar::LineRight, 0);
    EXPECT_EQ(window.m_spanCounter, 1);
}

TEST_F(Engine, PresetZeroBeepsOnTheFirstTickAndStartAloneDoesNotRedraw)
{
    const QString before = title();
    window.OnStartStop();
    EXPECT_EQ(title(), before);
    tick();
    EXPECT_EQ(fake.tones, (std::vector<Tone>{{1000, 100}}));
}

TEST_F(Engine, CountUpTaskStepsToItsDelayThenFiresAndZeroDelayFiresAtOnce)
{
    loadTasks(window, {delayTask(5, true), delayTask(0, true)});
    selectRow(window, 0);
    window.m_spanCounter = 42;
    window.OnStartStop();
    EXPECT_EQ(window.m_spanCounter, 0);
    for (int second = 1; second <= 5; ++second) {
        tick();
        EXPECT_EQ(window.m_spanCounter, second);
    }
    EXPECT_TRUE(fake.tones.empty());
    tick();
    EXPECT_EQ(fake.tones, (std::vector<Tone>{{440, 30}}));
    EXPECT_EQ(window.m_spanCounter, 5);
    EXPECT_EQ(window.scrollBar()->value(), 0); // a count-up never moves the thumb
    window.OnStartStop();

    selectRow(window, 1);
    window.OnStartStop();
    tick();
    EXPECT_EQ(fake.tones.size(), 2u);
}

TEST_F(Engine, CountDownTaskMovesTheThumbOnlyOnceItsRowIsDeselected)
{
    loadTasks(window, {delayTask(100), delayTask(7)});
    selectRow(window, 0);
    window.OnStartStop();
    EXPECT_EQ(window.m_spanCounter, 100);
    tick();
    EXPECT_EQ(window.m_spanCounter, 99);
    EXPECT_EQ(window.scrollBar()->value(), 0);

    // Another row changes what is shown, not what runs.
    selectRow(window, 1);
    tick();
    EXPECT_EQ(window.m_spanCounter, 98);
    EXPECT_EQ(window.m_taskActive.spanDelay, 100);

    driver::deselectAll(window);
    tick();
    EXPECT_EQ(window.m_spanCounter, 97);
    EXPECT_EQ(window.scrollBar()->value(), 97);
}

TEST_F(Engine, ATickAfterAGapFirstCountsTheWholeSecondsMissedNeverPastTheEnd)
{
    using namespace std::chrono_literals;
    struct Case {
        int row;
        std::chrono::milliseconds gap; // before the third tick; the first two come a second apart
        std::int64_t counter;
        std::size_t tones;
    };
    loadTasks(window, {delayTask(100), delayTask(100, true), delayTask(10), delayTask(10, true), timeTask(at(kSomeDay, 12, 0, 0))});
    const Case cases[] = {
        {0, 1500ms, 97, 0}, // late, yet an ordinary tick
        {0, 1900ms, 97, 0}, // late by 0.9 s, yet no tick dropped: the next one keeps the grid
        {0, 6s, 92, 0},     // five missed, then this tick's step
        {0, 6400ms, 92, 0}, // whole ticks only: never counted ahead of the time
        {0, 6600ms, 92, 0},
        {0, 6999ms, 92, 0},
        {1, 6s, 8, 0},
        {2, 60s, 0, 1}, // the end fell in the gap: this tick fires, once
        {3, 60s, 10, 1},
        {4, 60s, 0, 0}, // a time of day needs nothing made up
    };
    fake.clock = at(kSomeDay, 11, 0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row * 100000 + c.gap.count());
        fake.tones.clear();
        selectRow(window, c.row);
        window.OnStartStop();
        for (const std::chrono::milliseconds gap : {1000ms, 1000ms, c.gap}) {
            fake.bootClock += gap;
            tick();
        }
        EXPECT_EQ(window.m_spanCounter, c.counter);
        EXPECT_EQ(fake.tones.size(), c.tones);
        window.OnStartStop();
    }

    // A manual count-down drags the thumb over the missed seconds too.
    driver::deselectAll(window);
    preset(30);
    window.OnStartStop();
    fake.bootClock += 11s;
    tick();
    EXPECT_EQ(window.m_spanCounter, 19);
    EXPECT_EQ(window.scrollBar()->value(), 19);

    // A run started a minute after the last one stopped measures its first tick from START.
    window.OnStartStop();
    fake.bootClock += 60s;
    window.OnStartStop();
    fake.bootClock += 1s;
    tick();
    EXPECT_EQ(window.m_spanCounter, 29);
}

TEST_F(Engine, TimeOfDayTaskFiresFromItsTimeOnAnyDayAndFallsSilentAfterMidnight)
{
    TaskRecord task = timeTask(at(kSomeDay, 12, 0, 0));
    task.spanDelay = 77;
    loadTasks(window, {task});
    selectRow(window, 0);
    window.m_spanCounter = 33;
    window.OnStartStop();
    EXPECT_EQ(window.m_spanCounter, 77); // set from the record even for a time task

    fake.clock = at(kOtherDay, 11, 59, 58);
    tick(2);
    EXPECT_TRUE(fake.tones.empty());
    fake.clock = at(kOtherDay, 12, 0, 0);
    tick();
    EXPECT_EQ(fake.tones, (std::vector<Tone>{{880, 20}}));
    fake.clock = at(kOtherDay, 12, 0, 1);
    tick();
    EXPECT_EQ(fake.tones.size(), 2u);
    fake.clock = at(kOtherDay + 86400, 0, 0, 1);
    tick(3);
    EXPECT_EQ(fake.tones.size(), 2u);
    EXPECT_TRUE(window.m_bRunning);
    EXPECT_EQ(window.m_spanCounter, 77);
}

TEST_F(Engine, TimeOfDayTaskWhoseTimeHasPassedOrCannotBeConvertedFiresOnTheFirstTick)
{
    // A time that cannot be converted has -1 components, which every time of day has reached.
    const std::pair<platform::Time, platform::Time> alarmAndNow[] = {
        {at(kSomeDay, 8, 30, 0), at(kOtherDay, 8, 30, 1)},
        {std::numeric_limits<platform::Time>::max(), at(kOtherDay, 0, 0, 0)},
    };
    for (const auto& [alarm, now] : alarmAndNow) {
        window.m_tasks = TaskList();
        loadTasks(window, {timeTask(alarm)});
        selectRow(window, 0);
        fake.tones.clear();
        window.OnStartStop();
        fake.clock = now;
        tick();
        EXPECT_EQ(fake.tones.size(), 1u) << alarm;
        window.OnStartStop();
    }
}

TEST_F(Engine, RunTaskEndsTheRunBeforeRunningItsFileOnce)
{
    const std::string script = dir.file("alarm.sh");
    TempWorkDir::write("alarm.sh", "#!/bin/sh\n");
    loadTasks(window, {runTask(script), runTask(script, 2, true)});
    selectRow(window, 0);
    fake.onMessage = [](const auto&) { FAIL() << "no message expected"; };
    window.OnStartStop();
    tick();
    EXPECT_EQ(fake.runs, std::vector<std::string>{script});
    EXPECT_FALSE(window.m_bRunning);
    EXPECT_EQ(startCaption(window), "START");
    EXPECT_TRUE(driver::windowTimers(window).isEmpty());
    EXPECT_EQ(window.m_spanCounter, 0);

    selectRow(window, 1);
    window.OnStartStop();
    tick(3);
    EXPECT_EQ(fake.runs.size(), 2u);
    EXPECT_EQ(window.m_spanCounter, 2);
    EXPECT_FALSE(window.m_bRunning);
}

TEST_F(Engine, RunTaskWithAFileThatDoesNotOpenShowsTheMessageAndRunsNothing)
{
    const std::string missing = dir.file("gone \"quoted\".sh");
    ASSERT_TRUE(QDir().mkdir("folder"));
    loadTasks(window, {runTask(missing), runTask(dir.file("folder"))});
    bool runningDuringMessage = true;
    fake.onMessage = [&](const auto&) { runningDuringMessage = window.m_bRunning; };
    selectRow(window, 0);
    window.OnStartStop();
    tick();
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Can not open the file: \n\n\"" + missing + "\"");
    EXPECT_EQ(fake.messages[0].icon, platform::MessageIcon::Information);
    EXPECT_FALSE(runningDuringMessage);
    EXPECT_EQ(startCaption(window), "START");
    EXPECT_TRUE(fake.runs.empty());

    selectRow(window, 1);
    window.OnStartStop();
    tick();
    EXPECT_EQ(fake.messages.size(), 2u);
    EXPECT_TRUE(fake.runs.empty());

    // A file that opens but cannot be started gets the same message, with the reason after it.
    const std::string script = dir.file("lost.sh");
    QFile(QString::fromStdString(script)).open(QIODevice::WriteOnly);
    loadTasks(window, {runTask(script)});
    fake.runFailure = "Its interpreter /nonexistent cannot be run: No such file or directory.";
    selectRow(window, 2);
    window.OnStartStop();
    tick();
    ASSERT_EQ(fake.messages.size(), 3u);
    EXPECT_EQ(fake.messages[2].text, "Can not open the file: \n\n\"" + script + "\"\n\n" + *fake.runFailure);
    EXPECT_EQ(startCaption(window), "START");
}

TEST_F(Engine, AnAlarmBehindAnotherWindowIsShownOncePerRunAndEndsWithStopOrTheWindow)
{
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_FALSE(window.isActiveWindow());

    // A manual run shows the clock text, once however many tones follow, also from a hidden window that
    // paints nothing; STOP silences and withdraws.
    preset(2);
    window.hide();
    window.OnStartStop();
    tick(5);
    EXPECT_EQ(fake.tones.size(), 3u);
    EXPECT_EQ(fake.alarms, std::vector<std::string>{"The 00:00:02 countdown has ended"});
    ASSERT_TRUE(driver::showExposed(window));
    QApplication::setActiveWindow(&other);
    const int silences = fake.silences;
    const int withdrawals = fake.withdrawals;
    window.OnStartStop();
    EXPECT_EQ(fake.silences, silences + 1);
    EXPECT_EQ(fake.withdrawals, withdrawals + 1);
    EXPECT_EQ(fake.readies, 1) << "START readies the tone, STOP does not";

    // A task shows its description up to the first line break; a started file is an alarm, a missing one not.
    const std::string script = dir.file("alarm.sh");
    TempWorkDir::write("alarm.sh", "#!/bin/sh\n");
    TaskRecord task = runTask(script);
    task.strDescription = "Back up\r\nthe photos";
    loadTasks(window, {task, runTask(dir.file("missing.sh"))});
    selectRow(window, 0);
    window.OnStartStop();
    tick();
    selectRow(window, 1);
    window.OnStartStop();
    tick();
    EXPECT_EQ(fake.alarms, (std::vector<std::string>{"The 00:00:02 countdown has ended", "Back up"}));
    // Awake from each START to the run's end: STOP, or a file that was started.
    EXPECT_EQ(fake.awake, (std::vector<bool>{true, false, true, false, true, false}));

    // Someone looking at the window is not alarmed again.
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(window.isActiveWindow());
    selectRow(window, 0);
    window.OnStartStop();
    tick();
    EXPECT_EQ(fake.alarms.size(), 2u);
    EXPECT_EQ(fake.runs.size(), 2u);

    const int silencesBeforeClose = fake.silences;
    { CDia_Main closing; }
    EXPECT_EQ(fake.silences, silencesBeforeClose + 1) << "closing the window left the tone playing";
}

TEST_F(Engine, AnAlarmSeenInTheWindowIsShownOnceWhenTheUserLeavesAndItsStopEndsTheRun)
{
    TaskRecord task = delayTask(0);
    task.strDescription = "\r\n\x1b[1mTea\x7f\nis ready";
    loadTasks(window, {task});
    QApplication::setActiveWindow(&window);
    selectRow(window, 0);
    window.OnStartStop();
    tick(2);
    EXPECT_EQ(fake.seenAlarms, 1);
    EXPECT_TRUE(fake.alarms.empty());

    // Another of Pelmora's windows is no leaving; another program's is, once.
    QWidget dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_TRUE(fake.alarms.empty());
    QApplication::setActiveWindow(&window);
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(&window);
    QApplication::setActiveWindow(nullptr);
    EXPECT_EQ(fake.alarms, std::vector<std::string>{"\u241b[1mTea\u2421"});

    ASSERT_TRUE(fake.alarmStop);
    const int withdrawals = fake.withdrawals;
    fake.alarmStop();
    EXPECT_FALSE(window.m_bRunning);
    EXPECT_EQ(startCaption(window), "START");
    EXPECT_EQ(fake.withdrawals, withdrawals + 1);
    fake.alarmStop(); // a second Stop finds no run, and starts none
    EXPECT_FALSE(window.m_bRunning);

    // Leaving from another of Pelmora's windows (the About box, the help) is leaving too.
    QApplication::setActiveWindow(&window);
    window.OnStartStop();
    tick();
    EXPECT_EQ(fake.seenAlarms, 2);
    QLineEdit field(&dialog);
    field.show();
    QApplication::setActiveWindow(&dialog);
    field.setFocus();
    ASSERT_EQ(QApplication::focusWidget(), &field);
    QApplication::setActiveWindow(nullptr);
    EXPECT_EQ(fake.alarms.size(), 2u) << "the alarm was not shown when the user left from the About box";

    // Closing the window while it is active and a seen alarm rings shows nothing as it goes.
    {
        CDia_Main closing;
        ASSERT_TRUE(driver::showExposed(closing));
        loadTasks(closing, {task});
        QApplication::setActiveWindow(&closing);
        selectRow(closing, 0);
        closing.OnStartStop();
        closing.OnTimer();
        ASSERT_EQ(fake.seenAlarms, 3);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
    }
    EXPECT_EQ(fake.alarms.size(), 2u) << "the closed window showed its alarm";
}

TEST_F(Engine, AnyOtherActionRunsUntilStopWithoutEffect)
{
    TaskRecord task = delayTask(1);
    task.nAction = 2;
    loadTasks(window, {task});
    selectRow(window, 0);
    window.OnStartStop();
    tick(5);
    EXPECT_TRUE(window.m_bRunning);
    EXPECT_EQ(startCaption(window), "STOP");
    EXPECT_TRUE(fake.tones.empty());
    EXPECT_TRUE(fake.runs.empty());
    EXPECT_TRUE(fake.messages.empty());
    window.OnStartStop();
    EXPECT_FALSE(window.m_bRunning);
}

TEST_F(Engine, StopKeepsTheCounterWithARowSelectedAndRestoresTheDelayWithout)
{
    loadTasks(window, {delayTask(30)});
    selectRow(window, 0);
    window.OnStartStop();
    tick(4);
    window.OnStartStop();
    EXPECT_EQ(window.m_spanCounter, 26);

    window.OnStartStop();
    tick(4);
    driver::deselectAll(window);
    window.OnStartStop();
    EXPECT_EQ(window.m_spanCounter, 30);
}

TEST_F(Engine, ScrollingWithARowSelectedSetsTheCounterThatStartThenReplaces)
{
    loadTasks(window, {delayTask(30)});
    selectRow(window, 0);
    window.OnHScroll(Bar::Right, 0);
    EXPECT_EQ(window.m_spanCounter, 3600);
    window.OnStartStop();
    EXPECT_EQ(window.m_spanCounter, 30);
}

TEST_F(Engine, ClearDuringARunActsOnTheCounterAlone)
{
    preset(100);
    window.OnStartStop();
    tick(3);
    window.OnClear();
    EXPECT_EQ(window.m_spanCounter, 0);
    EXPECT_EQ(window.scrollBar()->value(), 0);
    EXPECT_TRUE(window.m_bRunning);
    tick();
    EXPECT_EQ(fake.tones.size(), 1u);
    window.OnStartStop();

    loadTasks(window, {delayTask(50, true)});
    selectRow(window, 0);
    window.OnStartStop();
    tick(10);
    window.OnClear();
    tick();
    EXPECT_EQ(window.m_spanCounter, 1); // a count-up starts again from 0
}

TEST_F(Engine, ScrollCodesMoveThePresetAsTheirTableSays)
{
    Bar* bar = window.scrollBar();
    struct Case {
        int from;
        int code;
        int thumb;
        int expected;
    };
    const Case cases[] = {
        {0, Bar::LineLeft, 0, 0},          {5, Bar::LineLeft, 0, 4},       {3600, Bar::LineRight, 0, 3600},
        {5, Bar::LineRight, 0, 6},         {30, Bar::PageLeft, 0, 0},      {100, Bar::PageLeft, 0, 40},
        {3590, Bar::PageRight, 0, 3600},   {100, Bar::PageRight, 0, 160},  {100, Bar::ThumbPosition, 77, 77},
        {100, Bar::ThumbTrack, 1234, 1234}, {100, Bar::Left, 0, 0},        {100, Bar::Right, 0, 3600},
        {100, 99, 0, 100},
    };
    for (const Case& c : cases) {
        bar->setValue(c.from);
        window.m_spanCounter = -5;
        window.OnHScroll(c.code, c.thumb);
        EXPECT_EQ(bar->value(), c.expected) << "code " << c.code << " from " << c.from;
        EXPECT_EQ(window.m_spanCounter, c.expected) << "code " << c.code << " from " << c.from;
    }
    window.OnHScroll(Bar::EndScroll, 0);
    EXPECT_EQ(window.m_spanCounter, 100);

    window.OnHScroll(Bar::Right, 0);
    EXPECT_EQ(title(), "Pelmora -  01:00:00 ");
}

TEST_F(Engine, ScrollBarActionsMoveThePresetWhileIdleAndChangeNothingDuringARun)
{
    QApplication::setActiveWindow(&window);
    Bar* bar = window.scrollBar();
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_End);
    EXPECT_EQ(window.m_spanCounter, 3600);
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), 3540);
    const QPoint grip = driver::scrollBarPart(*bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, grip);
    QTest::mouseMove(bar, grip - QPoint(40, 0));
    EXPECT_LT(window.m_spanCounter, 3540); // the clock follows the dragged thumb
    EXPECT_EQ(bar->value(), window.m_spanCounter);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, grip - QPoint(40, 0));

    preset(600);
    window.OnStartStop();
    QSignalSpy codes(bar, &Bar::scrolled);
    const int middle = bar->height() / 2;

    for (Qt::Key key : {Qt::Key_Right, Qt::Key_End, Qt::Key_PageDown, Qt::Key_Home})
        QTest::keyClick(bar, key);
    QTest::mouseClick(bar, Qt::LeftButton, {}, driver::scrollBarPart(*bar, QStyle::SC_ScrollBarAddLine).center());
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 30, middle));
    const QPoint thumb = driver::scrollBarPart(*bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(bar, thumb + QPoint(60, 0));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, thumb + QPoint(60, 0));
    QWheelEvent wheel(QPointF(thumb), QPointF(bar->mapToGlobal(thumb)), {}, QPoint(0, -120), Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &wheel);

    EXPECT_GE(codes.size(), 12); // the actions did reach the handler
    EXPECT_EQ(bar->value(), 600);
    EXPECT_EQ(window.m_spanCounter, 600);
}

TEST_F(Engine, StartWithASelectedRowOutsideTheListLeavesStopShowingAndNoRun)
{
    loadTasks(window, {delayTask(30)});
    selectRow(window, 0);
    window.m_nSelected = 3;
    window.m_spanCounter = 12;
    const TaskRecord before = window.m_taskActive;
    driver::startButton(window)->click(); // through the error boundary, as a user's press
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "An invalid argument was encountered.");
    EXPECT_EQ(fake.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(startCaption(window), "STOP");
    EXPECT_FALSE(window.m_bRunning);
    EXPECT_TRUE(driver::windowTimers(window).isEmpty());
    EXPECT_EQ(window.m_spanCounter, 12);
    EXPECT_EQ(window.m_taskActive, before);

    // The next press runs START again.
    window.m_nSelected = 0;
    driver::startButton(window)->click();
    EXPECT_TRUE(window.m_bRunning);
    EXPECT_EQ(window.m_spanCounter, 30);
}
