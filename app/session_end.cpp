// Ends the program as the close box does when the session ends or SIGTERM, SIGHUP or SIGINT arrives; saves
// without ending at a session manager's checkpoint or at a logout that may yet be cancelled.
#include "app/session_end.h"

#include "mainwnd/dia_main.h"
#include "platform/core/start_dir.h"

#include <QApplication>
#include <QEvent>
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

// Qt hands each word of a restart command to the session manager cut to its length in UTF-16 units, which
// loses the end of a folder named in more than ASCII. As many bytes of "/." follow the folder as the cut
// takes: whatever of them is left, or all of them where nothing is cut, leads to the same folder.
QString withCutAllowance(const QString& folder)
{
    const qsizetype cut = folder.toUtf8().size() - folder.size();
    return folder + QStringLiteral("/.").repeated((cut + 1) / 2);
}

// Brings Pelmora back in the same folder at the next login. env's --chdir spares a shell and its quoting;
// the folder is also told as the session's own property, for managers that start programs there.
void registerRestart(QSessionManager& manager)
{
    const QString folder = QString::fromLocal8Bit(g_szStartDir);
    manager.setRestartCommand({QStringLiteral("/usr/bin/env"), QStringLiteral("--chdir=") + withCutAllowance(folder),
                               QCoreApplication::applicationFilePath()});
    manager.setRestartHint(QSessionManager::RestartIfRunning);
    manager.setManagerProperty(QStringLiteral("CurrentDirectory"), folder);
}

} // namespace

SessionEnd::SessionEnd(CDia_Main& window) : m_window(window)
{
    connect(&m_signals, &platform::TerminationSignals::received, this, &SessionEnd::end);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &SessionEnd::commitData);
    connect(qApp, &QGuiApplication::saveStateRequest, this, &registerRestart);
    connect(&window, &QDialog::finished, this, [this] { m_bWindowEnded = true; });
    qApp->installEventFilter(this);
}

// A checkpoint, or a logout the user may still cancel: save as the close box does, and go on running.
void SessionEnd::commitData(QSessionManager& manager)
{
    registerRestart(manager);
    // What Cancel or Escape discarded stays discarded.
    if (m_bWindowEnded || m_bEnded || saveUnattended())
        return;
    // The save failed: the manager hears so, and a logout is refused, as the close box keeps the window open.
    manager.cancel();
}

// The session manager's last word (Die) reaches the application as a Quit event: the session has ended.
bool SessionEnd::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != qApp || event->type() != QEvent::Quit || m_bWindowEnded)
        return false;
    end();
    return true;
}

bool SessionEnd::saveUnattended()
{
    // Nobody is left to answer a message box: the reason goes to standard error.
    const auto error = m_window.SaveTasksUnattended();
    if (error) {
        // One line that names the folder: TASKS.BIN alone says little in a session's log.
        std::fprintf(stderr, "pelmora: in %s: %s\n", g_szStartDir.c_str(), oneLine(*error).constData());
    }
    return !error;
}

void SessionEnd::end()
{
    // A signal read in the same pass of the loop as Cancel or Escape must not save what they discarded.
    if (m_bEnded || m_bWindowEnded)
        return;
    m_bEnded = true;
    if (!saveUnattended())
        m_nExitCode = 1;
    // Ends every event loop, a nested editor or message box included, so the main window's run returns.
    QCoreApplication::exit(m_nExitCode);
}
