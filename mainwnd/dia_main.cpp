// The main window's life: building, initialisation, closing with or without saving, About and help.
#include "mainwnd/dia_main.h"

#include "mainwnd/about_box.h"
#include "mainwnd/clock_accessible.h"
#include "mainwnd/help_window.h"
#include "platform/desktop/desktop.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/dialogs/error_boundary.h"
#include "platform/core/format.h"
#include "platform/widgets/report_view.h"
#include "platform/widgets/scroll_bar.h"
#include "platform/core/start_dir.h"
#include "res/resource.h"
#include "res/templates.h"
#include "tasks/task_file.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

namespace {

constexpr platform::CommandEntry<CDia_Main> kCommands[] = {
    {IDC_START, &CDia_Main::OnStartStop},
    {IDC_CLEAR, &CDia_Main::OnClear},
    {ID_HELP, &CDia_Main::OnHelp},
    {IDC_SHOWLIST, &CDia_Main::OnShowList},
    {IDC_NEW, &CDia_Main::OnNew},
    {IDC_EDIT, &CDia_Main::OnEdit},
    {IDC_REMOVE, &CDia_Main::OnRemove},
    {IDC_MAIN_OK, &CDia_Main::OnOK},
    {IDCANCEL, &CDia_Main::OnCancel},
};

// A file larger than this (some thousands of tasks) is read just after the window's first paint, so that
// the window shows at once; the list it fills is hidden until Show List.
constexpr std::uintmax_t kLoadBeforePaintBytes = 256 * 1024;
// A window that is shown but never painted (not mapped yet, or hidden by the desktop) loads it anyway.
constexpr int kLoadAtLatestMs = 2000;

constexpr int kFrameCheckMs = 100;
constexpr int kFrameChecks = 50;

// The refusal keeps the system's wording at its start and adds why the file cannot be created.
std::string saveRefusedMessage(const std::string& reason)
{
    return platform::format("Can not create an archive file: \n\n%s\n\n%s", tasks::kTaskFileName, reason.c_str());
}

} // namespace

CDia_Main::CDia_Main(QWidget* parent) : QDialog(parent)
{
    // A normal top-level window, fixed in size, with a minimize box and no maximize box; inside, it keeps
    // a dialog's keys and ends.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    installClockAccessibility();
    platform::buildDialog(this, res::kMainDialog);
    // The window has no default button, so none may be drawn as one: Qt would make the first button
    // the default whenever no button has the focus.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
    setFixedWidth(width());
    bindControls();
    platform::guarded(this, [this] { OnInitDialog(); });
}

CDia_Main::~CDia_Main()
{
    // The focus leaves as the window's parts go; what is left of this window hears nothing of it.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // Closing the window ends the program: no tone or notification outlives it.
    EndAlarm();
    // The list's model reads m_tasks, which is gone by the time the base class hides the window.
    listControl()->setModel(nullptr);
}

void CDia_Main::bindControls()
{
    platform::bindCommands<CDia_Main>(this, kCommands);
    connect(scrollBar(), &platform::ScrollBar::scrolled, this, [this](int code, int thumbPosition) {
        platform::guarded(this, [&] { OnHScroll(code, thumbPosition); });
    });
    // The user may leave Pelmora from another of its windows (the About box, the help), which this one never
    // hears of: the focus leaving the whole program tells.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now)
            platform::guarded(this, [this] { OnDeactivate(); });
    });
}

void CDia_Main::OnInitDialog()
{
    // The program's other windows (editor, About box, help) take the icon from the application.
    QApplication::setWindowIcon(applicationIcon());
    setWindowIcon(QApplication::windowIcon());
    CreateClockFont();
    SetUpScrollBar();
    m_bRunning = false;
    m_bListShown = false;
    m_rectClock = QRect(QPoint(10, 10), QPoint(399, 99));
    OnClear();
    SetOuterHeight(kCollapsedHeight);
    m_bLoadPending = true;
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(tasks::kTaskFileName, error);
    if (error || bytes <= kLoadBeforePaintBytes)
        EnsureLoaded();
    scrollBar()->setFocus();
}

platform::ReportView* CDia_Main::listView()
{
    EnsureListView();
    return listControl();
}

platform::ReportView* CDia_Main::listControl() const
{
    return platform::control<platform::ReportView>(this, IDC_LIST);
}

platform::ScrollBar* CDia_Main::scrollBar() const
{
    return platform::control<platform::ScrollBar>(this, IDC_PRESET);
}

bool CDia_Main::IsSelected() const
{
    const QItemSelectionModel* selection = listControl()->selectionModel();
    return selection && selection->hasSelection();
}

void CDia_Main::LoadTasks()
{
    m_taskFile.load(m_tasks, m_taskShown);
}

void CDia_Main::EnsureLoaded()
{
    if (!std::exchange(m_bLoadPending, false))
        return;
    LoadTasks();
    m_nSelected = -1;
    Refill();
}

// Queued from a paint, it runs once that paint is on the screen.
void CDia_Main::queueLoadAfterPaint()
{
    if ((!m_bLoadPending && m_listModel) || std::exchange(m_bLoadQueued, true))
        return;
    QTimer::singleShot(0, this, &CDia_Main::loadAfterShowing);
}

// The notice about the file follows its loading, whichever came first: this, a save or New.
void CDia_Main::loadAfterShowing()
{
    // The display gets the paint (pixels and title) first: Qt would otherwise send it only once idle.
    QGuiApplication::sync();
    platform::guarded(this, [this] {
        EnsureListView();
        EnsureLoaded();
    });
    queueLoadNotice();
}

void CDia_Main::queueLoadNotice()
{
    if (std::exchange(m_bLoadNoticeQueued, true))
        return;
    QTimer::singleShot(0, this, [this] { platform::guarded(this, [this] { ShowLoadNotice(); }); });
}

void CDia_Main::ShowLoadNotice()
{
    if (const std::optional<std::string> notice = m_taskFile.loadNotice())
        platform::desktop().messageBox(this, *notice, platform::MessageIcon::Error);
}

// The notice waits until the window has appeared, so the user sees what it is about, and until the file
// has been read.
void CDia_Main::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_bLoadPending)
        queueLoadNotice();
    else
        QTimer::singleShot(kLoadAtLatestMs, this, &CDia_Main::loadAfterShowing);
}

bool CDia_Main::SaveTasks()
{
    EnsureLoaded();
    const tasks::SaveResult saved = m_taskFile.save(m_tasks);
    if (saved) {
        if (saved.notice)
            platform::desktop().messageBox(this, *saved.notice, platform::MessageIcon::Information);
        return true;
    }
    m_strText = saveRefusedMessage(*saved.refusal);
    platform::desktop().messageBox(this, m_strText, platform::MessageIcon::None);
    return false;
}

std::optional<std::string> CDia_Main::SaveTasksUnattended()
{
    try {
        EnsureLoaded();
        const tasks::SaveResult saved = m_taskFile.save(m_tasks);
        if (saved) {
            // The save went well, yet the user should learn where another program's version went.
            if (saved.notice)
                std::fprintf(stderr, "pelmora: in %s: %s\n", g_szStartDir.c_str(), saved.notice->c_str());
            return std::nullopt;
        }
        return saveRefusedMessage(*saved.refusal);
    } catch (...) {
        return platform::describeCurrentException();
    }
}

void CDia_Main::OnOK()
{
    if (SaveTasks())
        done(QDialog::Accepted);
}

void CDia_Main::OnClose()
{
    OnOK();
}

void CDia_Main::OnCancel()
{
    QDialog::reject();
}

void CDia_Main::OnEnter()
{
    // Enter never closes the main window.
}

void CDia_Main::OnSysCommand(int id)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CDia_About about(this);
        about.exec();
    }
}

void CDia_Main::OnHelp()
{
    if (!m_helpWindow)
        m_helpWindow = createHelpWindow(this);
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

QMenu* CDia_Main::CreateSystemMenu()
{
    auto* menu = new QMenu(this);
    menu->addAction(QStringLiteral("Mi&nimize"), this, &QWidget::showMinimized);
    menu->addAction(QStringLiteral("&Close"), this, &QWidget::close);
    menu->addSeparator();
    menu->addAction(QString::fromUtf8(res::kAboutMenuText), this, [this] {
        platform::guarded(this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    });
    return menu;
}

void CDia_Main::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateSystemMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CDia_Main::SetOuterHeight(int height)
{
    m_nOuterHeight = height;
    applyOuterHeight();
}

// Asked of the native window each time: the widget's own frame geometry keeps the first answer,
// which can be taken before the window manager has put its frame on.
int CDia_Main::frameHeight() const
{
    const QWindow* window = windowHandle();
    if (!window || !isVisible())
        return 0;
    const QMargins margins = window->frameMargins();
    return margins.top() + margins.bottom();
}

void CDia_Main::applyOuterHeight()
{
    m_nFrameHeight = frameHeight();
    int clientHeight = m_nOuterHeight - m_nFrameHeight;
    // A thin frame would leave part of the list showing: the collapsed window then ends at the list's top.
    if (m_nOuterHeight == kCollapsedHeight)
        clientHeight = std::min(clientHeight, listControl()->geometry().top());
    setFixedHeight(clientHeight);
}

void CDia_Main::followFrame()
{
    if (frameHeight() != m_nFrameHeight && m_nOuterHeight > 0)
        applyOuterHeight();
}

// A busy window manager may report its frame seconds after the window shows, with no event to the
// window; so the frame is looked at again for a while.
void CDia_Main::watchFrame(int checksLeft)
{
    if (checksLeft <= 0)
        return;
    QTimer::singleShot(kFrameCheckMs, this, [this, checksLeft] {
        followFrame();
        watchFrame(checksLeft - 1);
    });
}

bool CDia_Main::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    // The window manager reports its frame only some time after the window is shown.
    switch (event->type()) {
    case QEvent::Show:
        watchFrame(kFrameChecks);
        [[fallthrough]];
    case QEvent::Move:
    case QEvent::WindowActivate:
        followFrame();
        break;
    case QEvent::WindowDeactivate:
        platform::guarded(this, [this] { OnDeactivate(); });
        break;
    default:
        break;
    }
    return handled;
}

// Qt's own decoration on Wayland offers to maximise any window; a fixed-size one goes straight back.
void CDia_Main::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMaximized())
        QTimer::singleShot(0, this, [this] { setWindowState(windowState() & ~Qt::WindowMaximized); });
}

void CDia_Main::paintEvent(QPaintEvent* event)
{
    if (platform::guardedInPaint(this, [&] { PaintClockFace(event->region()); }))
        QDialog::paintEvent(event);
    queueLoadAfterPaint();
}

void CDia_Main::timerEvent(QTimerEvent*)
{
    platform::guarded(this, [this] { OnTimer(); });
}

void CDia_Main::closeEvent(QCloseEvent* event)
{
    event->ignore();
    platform::guarded(this, [this] { OnClose(); });
}

void CDia_Main::reject()
{
    platform::guarded(this, [this] { OnCancel(); });
}

void CDia_Main::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter presses the focused push button; anywhere else it is the accept command.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        else
            platform::guarded(this, [this] { OnEnter(); });
        return;
    case Qt::Key_F1:
        platform::guarded(this, [this] { OnHelp(); });
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
