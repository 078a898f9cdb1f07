// The countdown engine: START/STOP, the tick, firing and the alarm it raises, and the manual preset scroll bar.
#include "mainwnd/dia_main.h"

#include "mainwnd/clock_accessible.h"

#include "platform/desktop/desktop.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/core/format.h"
#include "platform/core/line_text.h"
#include "platform/widgets/scroll_bar.h"
#include "res/resource.h"

#include <QPushButton>

#include <algorithm>

namespace {

constexpr int kPresetMin = 0;
constexpr int kPresetMax = 3600; // one hour
constexpr int kPresetPage = 60;  // one minute
constexpr int kTickMs = 1000;
constexpr int kManualBeepHz = 1000;
constexpr int kManualBeepMs = 100;

const char* const kStartCaption = "START";
const char* const kStopCaption = "STOP";

void setStartCaption(const CDia_Main& window, const char* caption)
{
    platform::control<QPushButton>(&window, IDC_START)->setText(QString::fromLatin1(caption));
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
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
    // A precise timer keeps its grid and drops ticks that fall due while a handler blocks.
    m_nTimerId = startTimer(kTickMs, Qt::PreciseTimer);
    m_bRunning = true;
    announceClock(*this, ClockEvent::Start);
}

void CDia_Main::OnTimer()
{
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
        // Only a count-down with nothing selected drags the thumb along.
        if (!IsSelected())
            scrollBar()->setValue(int(std::clamp<std::int64_t>(m_spanCounter, kPresetMin, kPresetMax)));
    }
    RedrawClock();
    if (alarmWentOff)
        RaiseAlarmOnce();
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
        const std::string& path = m_taskActive.strRunFile;
        if (platform::desktop().opensForReading(path)) {
            platform::desktop().runFile(path);
            return true;
        }
        m_strText = platform::format("Can not open the file: \n\n\"%s\"", path.c_str());
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
    // Someone looking at the window needs no more than the tone or the started program.
    if (isActiveWindow())
        return;
    // Read from the counter, not the last paint: a minimised window is not painted.
    const std::string text = m_bManualRun ? trimmed(ClockText())
                                          : std::string(platform::firstLine(platform::boundedPrefix(m_taskActive.strDescription)));
    platform::desktop().showAlarm(this, text);
}

void CDia_Main::EndAlarm()
{
    platform::desktop().silenceTone();
    platform::desktop().withdrawAlarm();
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
