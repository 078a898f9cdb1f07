// Drives the main window in engine, clock and list tests: tasks, row selection, captions, timers, paints, clock pixels.
#pragma once

#include "mainwnd/dia_main.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/widgets/report_view.h"
#include "platform/widgets/scroll_bar.h"
#include "res/resource.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QWindow>
#include <QImage>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionSlider>

#include <initializer_list>

namespace driver {

// Shows the window and lets the platform expose it: only an exposed window paints.
inline bool showExposed(QWidget& window)
{
    window.show();
    QCoreApplication::processEvents();
    return window.windowHandle() && window.windowHandle()->isExposed();
}

inline TaskRecord delayTask(std::int64_t delay, bool countUp = false)
{
    TaskRecord task;
    task.bCountUp = countUp ? 1 : 0;
    task.spanDelay = delay;
    task.nBeepHz = 440;
    task.nBeepMs = 30;
    task.strDescription = countUp ? "count up" : "count down";
    return task;
}

inline TaskRecord timeTask(platform::Time at)
{
    TaskRecord task;
    task.bAtTime = 1;
    task.timeAt = at;
    task.nBeepHz = 880;
    task.nBeepMs = 20;
    task.strDescription = "at time";
    return task;
}

inline TaskRecord runTask(const std::string& path, std::int64_t delay = 0, bool countUp = false)
{
    TaskRecord task = delayTask(delay, countUp);
    task.nAction = ACTION_RUN;
    task.strRunFile = path;
    return task;
}

// Puts the tasks into the window's list and lets the view know of them.
inline void loadTasks(CDia_Main& window, std::initializer_list<TaskRecord> tasks)
{
    for (const TaskRecord& task : tasks)
        window.m_tasks.Append(task);
    window.Refill();
}

// Selects one row through the view, and records it as the item-changed notification would.
inline void selectRow(CDia_Main& window, int row)
{
    platform::ReportView* view = window.listView();
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window.m_nSelected = row;
}

inline void deselectAll(CDia_Main& window)
{
    window.listView()->selectionModel()->clearSelection();
}

inline QPushButton* startButton(const CDia_Main& window)
{
    return platform::control<QPushButton>(&window, IDC_START);
}

inline QString startCaption(const CDia_Main& window)
{
    return startButton(window)->text();
}

// The timers the window itself holds, with their periods.
inline QList<QAbstractEventDispatcher::TimerInfo> windowTimers(CDia_Main& window)
{
    return QAbstractEventDispatcher::instance()->registeredTimers(&window);
}

// Where a part of a scroll bar lies, as its style draws it.
inline QRect scrollBarPart(const QScrollBar& bar, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.state |= QStyle::State_Horizontal;
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar);
}

// Counts a widget's paints, and the region they cover, as they happen; with `within`, only the paints that reach it.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget, QRect within = {}) : m_within(within) { widget.installEventFilter(this); }
    int paints = 0;
    QRegion covered;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const QRegion& region = static_cast<QPaintEvent*>(event)->region();
        if (m_within.isNull() || region.boundingRect().intersects(m_within)) {
            ++paints;
            covered += region;
        }
        return false;
    }

private:
    QRect m_within;
};

inline QColor colorOf(std::uint32_t colorRef)
{
    return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

inline int countPixels(const QImage& image, const QColor& color)
{
    const QRgb wanted = color.rgb();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == wanted ? 1 : 0;
    return count;
}

// The clock as the window renders it now (a grab is itself a paint of the window).
inline QImage grabClock(CDia_Main& window)
{
    return window.grab(window.m_rectClock).toImage();
}

// What the last real paint left on screen, read back without painting again.
inline QImage shownOnScreen(CDia_Main& window, const QRect& rect)
{
    return window.screen()->grabWindow(window.winId(), rect.x(), rect.y(), rect.width(), rect.height()).toImage();
}

} // namespace driver
