// Ends the program as the close box does when the session ends or SIGTERM, SIGHUP or SIGINT arrives.
#include "app/session_end.h"

#include "mainwnd/dia_main.h"
#include "platform/core/start_dir.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdio>
#include <string>

namespace {

// One line for a session's log: "message: file: reason" rather than paragraphs run together.
QByteArray oneLine(const std::string& message)
{
    QString line;
    for (const QString& paragraph : QString::fromLocal8Bit(message).split(QStringLiteral("\n\n"))) {
        const QString text = paragraph.simplified();
        if (text.isEmpty())
            continue;
        if (!line.isEmpty())
            line += line.endsWith(u':') ? QStringLiteral(" ") : QStringLiteral(": ");
        line += text;
    }
    return line.toLocal8Bit();
}

} // namespace

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
        std::fprintf(stderr, "pelmora: in %s: %s\n", g_szStartDir.c_str(), oneLine(*error).constData());
        m_nExitCode = 1;
    }
    // Ends every event loop, a nested editor or message box included, so the main window's run returns.
    QCoreApplication::exit(m_nExitCode);
}
