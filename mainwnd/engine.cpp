// The countdown engine: START/STOP, the tick, firing and the alarm it raises, and the manual preset scroll bar.
#include "mainwnd/dia_main.h"

#include "mainwnd/clock_accessible.h"

#include "platform/desktop/desktop.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/dialogs/error_boundary.h"
#include "platform/core/format.h"
#include "platform/core/line_text.h"
#include "platform/widgets/scroll_bar.h"
#include "res/resource.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr int kPresetMin = 0;
constexpr int kPresetMax = 3600; // one hour
constexpr int kPresetPage = 60;  // one minute
constexpr std::chrono::milliseconds kTick{1000};
// A tick this long after the one before stands for ticks a stopped process or a sleep took.
constexpr std::chrono::milliseconds kLateTick{1500};
constexpr int kManualBeepHz = 1000;
constexpr int kManualBeepMs = 100;
constexpr std::size_t kAlarmTextChars = 200; // a notification's line; more is cut

const char* const kStartCaption = "START";
const char* const kStopCaption = "STOP";

void setStartCaption(const CDia_Main& window, const char* caption)
{
    platform::control<QPushButton>(&window, IDC_START)->setText(QString::fromLatin1(caption));
}

// What an alarm says: the task's first line, or which manual countdown ended.
std::string alarmText(const TaskRecord& task, bool manual)
{
    if (!manual)
        return platform::shortLine(task.strDescription, kAlarmTextChars);
    const SpanParts preset = spanParts(task.spanDelay);
    return platform::format("The %s countdown has ended",
                            platform::clockDigits(preset.hours, preset.minutes, preset.seconds).c_str());
}

void writeManualSettings(TaskRecord& task, std::int64_t counter)
{
    task.bCountUp = 0;
    task.bAtTime = 0;
    task.spanDelay = counter;
    task.nAction = ACTION_BEEP;
    task.nBeepHz = kManualBeepHz;
    task.nBeepMs = kManualBeepMs;
}

// Only a count-down with nothing selected drags the thumb along.
void thumbFollowsCounter(CDia_Main& window)
{
    if (!window.IsSelected())
        window.scrollBar()->setValue(int(std::clamp<std::int64_t>(window.m_spanCounter, kPresetMin, kPresetMax)));
}

// The position a scroll code asks for, from the bar's range, page and current position.
int presetPosition(const platform::ScrollBar& bar, int code, int thumbPosition)
{
    using Bar = platform::ScrollBar;
    const int min = bar.minimum();
    const int max = bar.maximum();
    const int pos = bar.value();
    switch (code) {
    case Bar::LineLeft:
        return pos > min ? pos - 1 : pos;
    case Bar::LineRight:
        return pos < max ? pos + 1 : pos;
    case Bar::PageLeft:
        return pos > min ? std::max(pos - bar.pageStep(), min) : pos;
    case Bar::PageRight:
        return pos < max ? std::min(pos + bar.pageStep(), max) : pos;
    case Bar::ThumbPosition:
    case Bar::ThumbTrack:
        return thumbPosition;
    case Bar::Left:
        return min;
    case Bar::Right:
        return max;
    default:
        return pos;
    }
}

} // namespace

void CDia_Main::SetUpScrollBar()
{
    platform::ScrollBar* bar = scrollBar();
    bar->setRange(kPresetMin, kPresetMax);
    bar->setPageStep(kPresetPage);
    bar->setSingleStep(1);
    bar->setValue(kPresetMin);
    bar->setSliderPosition(kPresetMin);
}

void CDia_Main::OnStartStop()
{
    // Either way the last run's alarm is over: its tone and its notification go at once.
    EndAlarm();
    if (m_bRunning) {
        setStartCaption(*this, kStartCaption);
        if (!IsSelected())
            m_spanCounter = m_taskActive.spanDelay;
        killTimer(m_nTimerId);
        m_nTimerId = 0;
        m_bRunning = false;
        RedrawClock();
        announceClock(*this, ClockEvent::Stop);
        return;
    }
    // The caption changes first: a bad selection below abandons START with "STOP" showing.
    setStartCaption(*this, kStopCaption);
    // A second or more before the first tone: time enough to ready the sound without delaying it.
    platform::desktop().readyTone();
    const bool manual = !IsSelected();
    if (manual) {
        writeManualSettings(m_taskActive, m_spanCounter);
    } else {
        m_taskActive = m_tasks.At(m_nSelected);
        m_spanCounter = m_taskActive.bCountUp ? 0 : m_taskActive.spanDelay;
    }
    m_bManualRun = manual;
    m_bAlarmRaised = false;
    m_bAlarmShown = false;
    // A precise timer keeps its grid and drops ticks that fall due while a handler blocks.
    m_nTimerId = startTimer(kTick, Qt::PreciseTimer);
    m_lastTick = platform::desktop().sinceBoot();
    m_bRunning = true;
    // A machine that sleeps by itself stops counting with it.
    platform::desktop().keepAwake();
    announceClock(*this, ClockEvent::Start);
}

void CDia_Main::OnTimer()
{
    CatchUpMissedTicks();
    bool alarmWentOff = false;
    if (m_taskActive.bAtTime) {
        if (platform::secondsOfDay(timeParts(platform::desktop().now())) >= platform::secondsOfDay(timeParts(m_taskActive.timeAt)))
            alarmWentOff = Fire();
    } else if (m_taskActive.bCountUp) {
        if (m_spanCounter >= m_taskActive.spanDelay)
            alarmWentOff = Fire();
        else
            ++m_spanCounter;
    } else if (m_spanCounter <= 0) {
        alarmWentOff = Fire();
    } else {
        --m_spanCounter;
        thumbFollowsCounter(*this);
    }
    ShowTitleAhead();
    RedrawClock();
    if (alarmWentOff)
        RaiseAlarmOnce();
}

void CDia_Main::CatchUpMissedTicks()
{
    const std::chrono::milliseconds now = platform::desktop().sinceBoot();
    const std::chrono::milliseconds gap = now - std::exchange(m_lastTick, now);
    // A time of day is read from the clock at every tick, so it needs nothing made up.
    if (gap <= kLateTick || m_taskActive.bAtTime)
        return;
    // Whole ticks only, less the one running now; the counter never passes the run's end. A tick that came
    // late but dropped none is followed by one on the timer's grid, so a rounded-up fraction would be counted
    // twice and end the run early.
    const std::int64_t missed = gap / kTick - 1;
    if (m_taskActive.bCountUp) {
        if (m_spanCounter < m_taskActive.spanDelay)
            m_spanCounter = std::min(m_spanCounter + missed, m_taskActive.spanDelay);
    } else if (m_spanCounter > 0) {
        m_spanCounter = std::max<std::int64_t>(m_spanCounter - missed, 0);
        thumbFollowsCounter(*this);
    }
}

bool CDia_Main::Fire()
{
    announceClock(*this, ClockEvent::Alarm);
    switch (m_taskActive.nAction) {
    case ACTION_BEEP:
        platform::desktop().beep(m_taskActive.nBeepHz, m_taskActive.nBeepMs);
        return true;
    case ACTION_RUN: {
        // The run is over before the file is touched.
        killTimer(m_nTimerId);
        m_nTimerId = 0;
        m_bRunning = false;
        setStartCaption(*this, kStartCaption);
        platform::desktop().letSleep();
        const std::string& path = m_taskActive.strRunFile;
        std::optional<std::string> notStarted;
        if (platform::desktop().opensForReading(path) && !(notStarted = platform::desktop().runFile(path)))
            return true;
        m_strText = platform::format("Can not open the file: \n\n\"%s\"", path.c_str());
        if (notStarted)
            m_strText += "\n\n" + *notStarted;
        platform::desktop().messageBox(this, m_strText, platform::MessageIcon::Information);
        return false;
    }
    default:
        // Any other action fires to no effect until STOP.
        return false;
    }
}

void CDia_Main::RaiseAlarmOnce()
{
    if (m_bAlarmRaised)
        return;
    m_bAlarmRaised = true;
    // Someone looking at the window needs no more than the tone or the started program, until they leave.
    ShowAlarm(isActiveWindow());
}

void CDia_Main::ShowAlarm(bool seen)
{
    m_bAlarmShown = !seen;
    platform::Alarm alarm{alarmText(m_taskActive, m_bManualRun), seen, {}};
    if (m_bRunning) {
        alarm.stop = [window = QPointer<CDia_Main>(this)] {
            if (window)
                platform::guarded(window, [&] {
                    if (window->m_bRunning)
                        window->OnStartStop();
                });
        };
    }
    platform::desktop().showAlarm(this, alarm);
}

void CDia_Main::OnDeactivate()
{
    // One of Pelmora's own windows (the editor, a message box) keeps the user here.
    if (QApplication::activeWindow())
        return;
    // Still sounding: a run whose alarm went off is in progress until STOP.
    if (m_bAlarmRaised && !m_bAlarmShown && m_bRunning)
        ShowAlarm(false);
}

void CDia_Main::EndAlarm()
{
    platform::desktop().silenceTone();
    platform::desktop().withdrawAlarm();
    platform::desktop().letSleep();
}

void CDia_Main::OnHScroll(int code, int thumbPosition)
{
    if (m_bRunning || code == platform::ScrollBar::EndScroll)
        return;
    platform::ScrollBar* bar = scrollBar();
    const int position = presetPosition(*bar, code, thumbPosition);
    bar->setValue(position);
    // The counter takes the worked-out position, not one read back from the bar.
    m_spanCounter = position;
    RedrawClock();
}

void CDia_Main::RedrawClock()
{
    repaint(m_rectClock);
    clockChanged(*this);
}
