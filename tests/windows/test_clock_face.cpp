// The clock face: its text and colours, the window title, the blinking dot and a failed paint.
#include "mainwnd/clock_font.h"
#include "tests/support/main_window_driver.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/temp_work_dir.h"
#include "tests/support/tz_guard.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHoverEvent>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using driver::colorOf;
using driver::countPixels;
using driver::delayTask;
using driver::grabClock;
using driver::loadTasks;
using driver::selectRow;
using driver::timeTask;

namespace {

constexpr platform::Time kSomeDay = 1772409600; // midnight UTC
const QRect kDot(15, 15, 5, 5);

const QColor kYellow = colorOf(CDia_Main::COLOR_WHOLE_MINUTE);
const QColor kCyan = colorOf(CDia_Main::COLOR_AT_TIME);
const QColor kGreen = colorOf(CDia_Main::COLOR_COUNT_DOWN);
const QColor kWhite = colorOf(CDia_Main::COLOR_COUNT_UP);
const QColor kBlack(0, 0, 0);

} // namespace

class ClockFace : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(driver::showExposed(window)); }

    // The one face colour among the four that the clock shows, checking the other three are absent.
    QColor shownColour()
    {
        const QImage image = grabClock(window);
        QColor found;
        for (const QColor& colour : {kYellow, kCyan, kGreen, kWhite}) {
            if (countPixels(image, colour) == 0)
                continue;
            EXPECT_FALSE(found.isValid()) << "two face colours at once";
            found = colour;
        }
        return found;
    }
    void showCounter(std::int64_t seconds)
    {
        window.m_spanCounter = seconds;
        window.RedrawClock();
    }
    bool dotIs(const QColor& colour)
    {
        return countPixels(driver::shownOnScreen(window, kDot), colour) == kDot.width() * kDot.height();
    }

    platform::FakeDesktop fake;
    TzGuard tz{"UTC0"};
    TempWorkDir dir;
    CDia_Main window;
};

TEST_F(ClockFace, TheFontIsArialWithACellOfNinetySixPixelsAndTheClockTextFits)
{
    const QFontMetrics metrics(window.m_fontClock);
    EXPECT_EQ(window.m_fontClock.family(), "Arial");
    EXPECT_EQ(QFontInfo(window.m_fontClock).family(), "Liberation Sans");
    EXPECT_EQ(metrics.height(), 96);
    EXPECT_LE(metrics.horizontalAdvance(" 00:00:00 "), window.m_rectClock.width());
    EXPECT_LE(metrics.horizontalAdvance(" 88:88:88 "), window.m_rectClock.width());
}

// The size is found with as few sizes loaded as can be; it must still be the one a look at every size finds.
TEST(ClockFont, TheSizeIsTheLargestWhoseLineFitsTheCell)
{
    for (const char* family : {"Arial", "DejaVu Sans", "Liberation Serif"}) {
        for (const int cell : {12, 40, 95, 96, 97, 107, 150}) {
            QFont font{QString::fromLatin1(family)};
            int largest = cell / 2;
            for (;; ++largest) {
                font.setPixelSize(largest + 1);
                if (QFontMetrics(font).height() > cell)
                    break;
            }
            EXPECT_EQ(pixelSizeForCellHeight(QFont(QString::fromLatin1(family)), cell), largest) << family << " " << cell;
        }
    }
}

TEST_F(ClockFace, TheCounterShowsWholeMinutesInYellowAndOthersInGreenWithTheTextInTheTitle)
{
    const struct {
        std::int64_t seconds;
        const char* text;
        QColor colour;
    } cases[] = {
        {0, " 00:00:00 ", kYellow},      {61, " 00:01:01 ", kGreen},       {60, " 00:01:00 ", kYellow},
        {3600, " 01:00:00 ", kYellow},   {25 * 3600 + 1, " 01:00:01 ", kGreen},
    };
    for (const auto& c : cases) {
        showCounter(c.seconds);
        EXPECT_EQ(window.m_strText, c.text);
        EXPECT_EQ(window.windowTitle(), QString("Pelmora - ") + c.text);
        EXPECT_EQ(shownColour(), c.colour) << c.seconds;
    }
}

TEST_F(ClockFace, TheTextSitsInOpaqueBlackCellsFromTheClockCorner)
{
    showCounter(0);
    const QImage image = grabClock(window);
    const QFontMetrics metrics(window.m_fontClock);
    const int textWidth = metrics.horizontalAdvance(" 00:00:00 ");
    const QColor background = window.palette().color(QPalette::Window);
    const QImage cells = image.copy(0, 0, textWidth - 1, image.height());
    EXPECT_EQ(countPixels(cells, background), 0);
    EXPECT_GT(countPixels(cells, kBlack), cells.width() * cells.height() / 2);
    EXPECT_GT(countPixels(cells, kYellow), 0);
    // Beyond the text the window keeps its own background.
    EXPECT_EQ(countPixels(image.copy(textWidth + 1, 0, image.width() - textWidth - 1, image.height()), kBlack), 0);

    // A paint of the whole window fills the cells down to their 96th row, y 105, and no further.
    const QImage whole = window.grab().toImage();
    const QImage below = whole.copy(10, 100, textWidth - 1, 6);
    EXPECT_EQ(countPixels(below, kBlack), below.width() * below.height());
    EXPECT_EQ(countPixels(whole.copy(10, 106, textWidth - 1, 1), kBlack), 0);
}

TEST_F(ClockFace, TheFirstPaintAfterOpeningSetsTheTitle)
{
    CDia_Main second;
    EXPECT_EQ(second.windowTitle(), "Pelmora");
    ASSERT_TRUE(driver::showExposed(second));
    EXPECT_EQ(second.windowTitle(), "Pelmora -  00:00:00 ");
}

TEST_F(ClockFace, ASelectedDelayTaskShowsItsDelayInItsColourAndItsDescriptionInTheTitle)
{
    loadTasks(window, {delayTask(300), delayTask(300, true)});
    selectRow(window, 0);
    window.RedrawClock();
    EXPECT_EQ(window.m_strText, " 00:05:00 ");
    EXPECT_EQ(shownColour(), kGreen);
    EXPECT_EQ(window.windowTitle(), "Pelmora - count down");
    EXPECT_EQ(window.m_taskShown, window.m_tasks.At(0));

    selectRow(window, 1);
    window.RedrawClock();
    EXPECT_EQ(window.m_strText, " 00:05:00 ");
    EXPECT_EQ(shownColour(), kWhite);
    EXPECT_EQ(window.windowTitle(), "Pelmora - count up");
}

TEST_F(ClockFace, ASelectedTimeTaskShowsItsLocalAlarmTimeInCyan)
{
    loadTasks(window, {timeTask(kSomeDay + 14 * 3600 + 30 * 60 + 15)});
    selectRow(window, 0);
    window.RedrawClock();
    EXPECT_EQ(window.m_strText, " 14:30:15 ");
    EXPECT_EQ(shownColour(), kCyan);
    EXPECT_EQ(window.windowTitle(), "Pelmora - at time");

    TzGuard east("XYZ-2");
    window.RedrawClock();
    EXPECT_EQ(window.m_strText, " 16:30:15 ");
}

TEST_F(ClockFace, TheTitleCutsTheDescriptionAtItsFirstLineBreak)
{
    const struct {
        const char* description;
        const char* title;
    } cases[] = {
        {"wake up\r\nmore", "Pelmora - wake up..."},
        {"one\ntwo\rthree", "Pelmora - one..."},
        {"\nleading", "Pelmora - ..."},
        {"", "Pelmora - "},
        {"a [*] b[*][*]", "Pelmora - a [*] b[*][*]"},
        {"\x1b]0;spoofed\a\x7f", "Pelmora - \u241b]0;spoofed\u2407\u2421"},
    };
    for (const auto& c : cases) {
        TaskRecord task = delayTask(10);
        task.strDescription = c.description;
        window.m_tasks = TaskList();
        loadTasks(window, {task});
        selectRow(window, 0);
        window.RedrawClock();
        EXPECT_EQ(window.windowHandle()->title(), c.title); // as the desktop shows it
    }
}

TEST_F(ClockFace, ASelectedDelayTaskShowsTheRunningCounterInItsOwnColour)
{
    loadTasks(window, {delayTask(300, true)});
    window.OnHScroll(platform::ScrollBar::ThumbPosition, 10);
    window.OnStartStop(); // the manual countdown
    selectRow(window, 0);
    window.OnTimer();
    EXPECT_EQ(window.m_strText, " 00:00:09 ");
    EXPECT_EQ(shownColour(), kWhite);
    EXPECT_EQ(window.m_taskActive.nBeepHz, 1000);
}

TEST_F(ClockFace, TheDotBlinksWithEachTickOfATimeRunEvenWhenDeselectedAndGoesWithStop)
{
    loadTasks(window, {timeTask(kSomeDay + 23 * 3600)});
    fake.clock = kSomeDay;
    selectRow(window, 0);
    window.OnStartStop();
    EXPECT_FALSE(window.m_bBlinkOn);
    window.OnTimer();
    EXPECT_TRUE(dotIs(kWhite));
    EXPECT_TRUE(window.m_bBlinkOn);
    window.OnTimer();
    EXPECT_TRUE(dotIs(kBlack));
    window.OnTimer();
    EXPECT_TRUE(dotIs(kWhite));

    driver::deselectAll(window);
    window.m_spanCounter = 120;
    window.OnTimer();
    EXPECT_TRUE(dotIs(kBlack));
    EXPECT_EQ(window.m_strText, " 00:02:00 ");
    window.OnTimer();
    EXPECT_TRUE(dotIs(kWhite));
    EXPECT_GT(countPixels(driver::shownOnScreen(window, window.m_rectClock), kYellow), 0);

    window.OnStartStop();
    EXPECT_TRUE(dotIs(kBlack));
    EXPECT_TRUE(window.m_bBlinkOn); // STOP leaves the phase for the next run
}

TEST_F(ClockFace, RepaintsUnderHoveredOrFocusedButtonsLeaveTheDotAndTitleAlone)
{
    QApplication::setActiveWindow(&window);
    loadTasks(window, {timeTask(kSomeDay + 23 * 3600)});
    selectRow(window, 0);
    window.OnStartStop();
    window.OnTimer();
    ASSERT_TRUE(window.m_bBlinkOn);
    window.setWindowTitle("marker");
    QPushButton* start = driver::startButton(window);
    ASSERT_TRUE(start->geometry().intersects(window.m_rectClock)); // the button overlaps the clock's edge

    driver::PaintCounter counter(window);
    QHoverEvent enter(QEvent::HoverEnter, QPointF(5, 5), QPointF(start->mapToGlobal(QPoint(5, 5))), QPointF(-1, -1));
    QApplication::sendEvent(start, &enter);
    QApplication::processEvents();
    start->repaint();
    start->setFocus();
    QApplication::processEvents();
    window.findChild<QWidget*>("ctl_1003")->setFocus();
    QApplication::processEvents();

    EXPECT_GE(counter.paints, 2); // the window did paint under its buttons
    EXPECT_TRUE(counter.covered.intersects(window.m_rectClock));
    EXPECT_TRUE(window.m_bBlinkOn);
    EXPECT_TRUE(dotIs(kWhite));
    EXPECT_EQ(window.windowTitle(), "marker");
    window.OnTimer();
    EXPECT_FALSE(window.m_bBlinkOn);
}

TEST_F(ClockFace, ASelectedRowOutsideTheListEndsThePaintWithOneReportPerStorm)
{
    loadTasks(window, {delayTask(300)});
    selectRow(window, 0);
    window.RedrawClock();
    window.m_nSelected = 4;
    const QString title = window.windowTitle();
    window.m_spanCounter = 61;

    driver::PaintCounter counter(window);
    window.RedrawClock();
    EXPECT_TRUE(fake.messages.empty()); // no modal box inside the paint itself
    QApplication::processEvents();
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "An invalid argument was encountered.");
    EXPECT_EQ(window.windowTitle(), title);
    const QImage image = grabClock(window);
    for (const QColor& colour : {kBlack, kYellow, kGreen, kWhite, kCyan})
        EXPECT_EQ(countPixels(image, colour), 0) << colour.name().toStdString();

    const int paints = counter.paints;
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, paints); // nothing left invalid, no repaint loop
    window.RedrawClock();
    window.RedrawClock();
    QApplication::processEvents();
    EXPECT_EQ(fake.messages.size(), 1u);

    // Once a paint succeeds, a new failure is reported again.
    window.m_nSelected = 0;
    window.RedrawClock();
    EXPECT_EQ(window.windowTitle(), "Pelmora - count down");
    window.m_nSelected = -2;
    window.RedrawClock();
    QApplication::processEvents();
    EXPECT_EQ(fake.messages.size(), 2u);
}
