// The clock face: the large digits, their colour, the window title and the blinking dot.
#include "mainwnd/dia_main.h"

#include "mainwnd/clock_font.h"

#include "platform/core/errors.h"
#include "platform/core/format.h"
#include "platform/core/line_text.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <utility>

namespace {

constexpr int kClockCellHeight = 96;
const char* const kClockFamily = "Arial";
// Ten blank cells wipe whatever a longer text left before the clock text is drawn over them.
const char* const kBlankCells = "          ";
constexpr std::uint32_t kCellBackground = 0x00000000; // black
constexpr std::uint32_t kDotOn = 0x00FFFFFF;          // white
constexpr std::uint32_t kDotOff = 0x00000000;         // black
constexpr QRect kDot(15, 15, 5, 5);

// Colours are kept as 0x00BBGGRR, red in the low byte.
QColor fromColorRef(std::uint32_t colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

std::string spanText(std::int64_t span)
{
    const SpanParts parts = spanParts(span);
    return " " + platform::clockDigits(parts.hours, parts.minutes, parts.seconds) + " ";
}

std::string timeOfDayText(platform::Time time)
{
    const platform::TimeOfDay parts = timeParts(time);
    return " " + platform::clockDigits(parts.hour, parts.minute, parts.second) + " ";
}

// The manual counter: whole minutes in their own colour.
std::uint32_t showCounter(CDia_Main& window)
{
    window.m_strText = spanText(window.m_spanCounter);
    return spanParts(window.m_spanCounter).seconds <= 0 ? CDia_Main::COLOR_WHOLE_MINUTE
                                                        : CDia_Main::COLOR_COUNT_DOWN;
}

// The selected task decides, not the running one; a delay task shows the running counter.
std::string selectedTaskText(const TaskRecord& task, const CDia_Main& window)
{
    if (task.bAtTime)
        return timeOfDayText(task.timeAt);
    return spanText(window.m_bRunning ? window.m_spanCounter : task.spanDelay);
}

std::uint32_t showSelectedTask(CDia_Main& window)
{
    window.m_taskShown = window.m_tasks.At(window.m_nSelected);
    const TaskRecord& task = window.m_taskShown;
    window.m_strText = selectedTaskText(task, window);
    if (task.bAtTime)
        return CDia_Main::COLOR_AT_TIME;
    return task.bCountUp ? CDia_Main::COLOR_COUNT_UP : CDia_Main::COLOR_COUNT_DOWN;
}

std::string counterTitle(const std::string& clockText)
{
    return platform::format("Pelmora - %s", clockText.c_str());
}

// The clock text with nothing selected, else the description up to its first line break.
std::string titleText(const CDia_Main& window)
{
    if (!window.IsSelected())
        return counterTitle(window.m_strText);
    const std::string& description = window.m_taskShown.strDescription;
    return platform::format("Pelmora - %s",
                            platform::withVisibleControls(platform::firstLineMarked(platform::boundedPrefix(description))).c_str());
}

// Qt takes "[*]" as the modified-marker placeholder and drops it; doubled, it shows as written.
QString shownTitle(const std::string& title)
{
    return QString::fromLocal8Bit(title).replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
}

// The part of a paint that is the window's own surface over the clock. Qt also repaints a parent
// under a child that is not opaque (a hovered or focused button); that area belongs to the child.
QRegion ownClockRegion(const QWidget& window, const QRegion& painted, const QRect& clock)
{
    QRegion own = painted & clock;
    for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible() && !child->isWindow())
            own -= child->geometry();
    return own;
}

} // namespace

void CDia_Main::CreateClockFont()
{
    m_fontClock = QFont(QString::fromLatin1(kClockFamily));
    m_fontClock.setPixelSize(pixelSizeForCellHeight(m_fontClock, kClockCellHeight));
}

// A ticking counter's title goes out ahead of its digits, so the display takes both in one batch and the
// paint finds it set. A selected task's title is its description, which the ticks leave as it is.
void CDia_Main::ShowTitleAhead()
{
    if (!IsSelected())
        setWindowTitle(shownTitle(counterTitle(spanText(m_spanCounter))));
}

std::string CDia_Main::ClockText() const
{
    return IsSelected() ? selectedTaskText(m_tasks.At(m_nSelected), *this) : spanText(m_spanCounter);
}

void CDia_Main::PaintClockFace(const QRegion& region)
{
    // The character cells reach below m_rectClock; a paint that covers them fills them whole, while
    // the redraws of the clock rectangle stay clipped to it.
    const QRect cells(m_rectClock.topLeft(), QSize(m_rectClock.width(), QFontMetrics(m_fontClock).height()));
    const QRegion clip = ownClockRegion(*this, region, m_rectClock.united(cells));
    if (clip.isEmpty())
        return;
    std::uint32_t colour = 0;
    try {
        colour = IsSelected() ? showSelectedTask(*this) : showCounter(*this);
    } catch (const platform::InvalidArgumentError&) {
        // Every paint of a bad selection fails alike; one report is enough until a paint succeeds.
        if (std::exchange(m_bFaceFailReported, true))
            return;
        throw;
    }
    m_bFaceFailReported = false;

    QPainter painter(this);
    painter.setClipRegion(clip);
    painter.setFont(m_fontClock);
    // Opaque text fills every character cell with black.
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(fromColorRef(kCellBackground));
    painter.setPen(fromColorRef(colour));
    const QPoint baseline = m_rectClock.topLeft() + QPoint(0, painter.fontMetrics().ascent());
    painter.drawText(baseline, QString::fromLatin1(kBlankCells));
    painter.drawText(baseline, QString::fromLocal8Bit(m_strText));

    setWindowTitle(shownTitle(titleText(*this)));

    if (m_taskShown.bAtTime && m_bRunning) {
        painter.fillRect(kDot, fromColorRef(m_bBlinkOn ? kDotOff : kDotOn));
        m_bBlinkOn = !m_bBlinkOn;
    }
}
