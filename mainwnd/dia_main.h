// The main window: the clock, the countdown engine, the task list and the window's life.
#pragma once

#include "tasks/task_file_guard.h"
#include "tasks/task_list.h"

#include <QDialog>
#include <QFont>
#include <QRect>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class QMenu;
class QRegion;
class TaskTableModel;

namespace platform {
class ReportView;
class ScrollBar;
}

class CDia_Main : public QDialog {
    Q_OBJECT
public:
    // Colours in 0x00BBGGRR, red in the low byte.
    static constexpr std::uint32_t COLOR_WHOLE_MINUTE = 0x0000FFFF; // yellow
    static constexpr std::uint32_t COLOR_AT_TIME = 0x00FFFF00;      // cyan
    static constexpr std::uint32_t COLOR_COUNT_DOWN = 0x009BFF00;   // green
    static constexpr std::uint32_t COLOR_COUNT_UP = 0x00FFFFFF;     // white

    static constexpr int kCollapsedHeight = 175;
    static constexpr int kExpandedHeight = 500;

    explicit CDia_Main(QWidget* parent = nullptr);
    ~CDia_Main() override;

    // Window life (dia_main.cpp)
    void OnInitDialog();
    void OnSysCommand(int id);
    void OnEnter();
    void OnOK();
    void OnClose();
    void OnCancel();
    void OnHelp();
    void LoadTasks();
    // Loads TASKS.BIN and refills the list, unless that has been done; everything that reads or saves
    // the whole list calls it first, as a large file is loaded only after the window's first paint.
    void EnsureLoaded();
    // Tells the user, once, what loading found wrong with TASKS.BIN (damaged or unreadable).
    void ShowLoadNotice();
    bool SaveTasks();
    // Saves as the close box does, with nobody to answer a message box (session end, signals):
    // nothing when the tasks reached the disk, else the message the user would have been shown. A file
    // another program had changed, kept before the save, is told in one line on standard error.
    std::optional<std::string> SaveTasksUnattended();
    // Whether the list reports any selected row; asked anew each time.
    bool IsSelected() const;
    // Sets the window's outer height (frame included where the window manager reports one); collapsed, the
    // client area never reaches below the list's top.
    void SetOuterHeight(int height);

    // Countdown engine (engine.cpp)
    void SetUpScrollBar();
    void OnStartStop();
    void OnTimer();
    // Counts at once the whole seconds of a gap before this tick (a stopped process, a sleep).
    void CatchUpMissedTicks();
    // Carries out the active task's action; true when a tone started or a file was started.
    bool Fire();
    // Tells the desktop of the run's alarm the first time it goes off, as seen when the window is active.
    void RaiseAlarmOnce();
    void ShowAlarm(bool seen);
    // The window stopped being active: an alarm the user saw there and that still sounds is shown outside.
    void OnDeactivate();
    // Silences the tone, takes back the notification, lets the machine sleep (STOP, START, closing).
    void EndAlarm();
    void OnHScroll(int code, int thumbPosition);
    // Invalidates the clock rectangle and paints it before returning.
    void RedrawClock();

    // Clock face (clock_face.cpp)
    void CreateClockFont();
    // Paints the face for a paint of the main window itself; `region` is what that paint covers.
    void PaintClockFace(const QRegion& region);
    // What the face shows now, read without painting; a bad selection raises as the paint does.
    std::string ClockText() const;
    void ShowTitleAhead();

    // Task list and its commands (list_view.cpp)
    void SetUpListView();
    // The list is set up just after the first paint, or sooner by whatever needs it first.
    void EnsureListView();
    void Refill();
    void OnItemChanged(int row);
    // True when the key ran a command.
    bool OnListKeyDown(int key);
    void OnListDoubleClick(int row);
    void OnNew();
    void OnEdit();
    void OnRemove();
    void OnClear();
    void OnShowList();

    // The window menu offered by a right click: the desktop owns the real system menu.
    QMenu* CreateSystemMenu();
    // The list view, set up first if it is not yet.
    platform::ReportView* listView();
    platform::ScrollBar* scrollBar() const;

    // Run-time state, owned by value for the window's whole life.
    bool m_bRunning = false;
    bool m_bListShown = false;
    bool m_bBlinkOn = false;
    bool m_bManualRun = false;    // the run was started with no row selected
    bool m_bAlarmRaised = false;  // this run's alarm has gone off once
    bool m_bAlarmShown = false;   // and was shown outside the window
    int m_nSelected = -1;
    std::string m_strText;
    QRect m_rectClock;
    QFont m_fontClock;
    std::int64_t m_spanCounter = 0;
    TaskRecord m_taskShown;
    TaskRecord m_taskActive;
    TaskList m_tasks;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;
    void reject() override;

private:
    void bindControls();
    // The list's widget as it is, set up or not.
    platform::ReportView* listControl() const;
    void applyOuterHeight();
    int frameHeight() const;
    void followFrame();
    void watchFrame(int checksLeft);
    void queueLoadAfterPaint();
    void loadAfterShowing();
    void queueLoadNotice();

    int m_nTimerId = 0;      // the window timer while a run is in progress, else 0
    std::chrono::milliseconds m_lastTick{}; // when the last tick (or START) came, on the clock that counts through sleep
    bool m_bFaceFailReported = false; // a failed clock paint was reported; repeats stay quiet until one succeeds
    int m_nOuterHeight = 0;  // the outer height last asked for
    int m_nFrameHeight = -1; // the frame height it was applied with
    tasks::TaskFileGuard m_taskFile{tasks::kTaskFileName}; // every save goes through it
    bool m_bLoadNoticeQueued = false;
    bool m_bLoadPending = false; // TASKS.BIN is yet to be read
    bool m_bLoadQueued = false;  // its reading and the list's set-up wait for the event loop, after the first paint
    TaskTableModel* m_listModel = nullptr;
    QWidget* m_helpWindow = nullptr;
};
