// Ends the program as the close box does when the session ends or SIGTERM, SIGHUP or SIGINT arrives.
#include "app/session_end.h"

#include "mainwnd/dia_main.h"
#include "platform/start_dir.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdio>

SessionEnd::SessionEnd(CDia_Main& window) : m_window(window)
{
    connect(&m_signals, &platform::TerminationSignals::received, this, &SessionEnd::end);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &SessionEnd::end);
}

void SessionEnd::end()
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    // Nobody is left to answer a message box: the reason goes to standard error and the program ends anyway.
    if (const auto error = m_window.SaveTasksUnattended()) {
        // One line that names the folder: TASKS.BIN alone says little in a session's log.
        const QByteArray line = QString::fromLocal8Bit(*error).simplified().toLocal8Bit();
        std::fprintf(stderr, "pelmora: in %s: %s\n", g_szStartDir.c_str(), line.constData());
        m_nExitCode = 1;
    }
    // Ends every event loop, a nested editor or message box included, so the main window's run returns.
    QCoreApplication::exit(m_nExitCode);
}
