// Ends the program as the close box does when the session ends or SIGTERM, SIGHUP or SIGINT arrives.
#pragma once

#include "platform/desktop/termination_signals.h"

#include <QObject>

class CDia_Main;

class SessionEnd : public QObject {
    Q_OBJECT
public:
    explicit SessionEnd(CDia_Main& window);

    // 0, or 1 when the tasks could not be saved at the end.
    int exitCode() const { return m_nExitCode; }

private:
    void end();

    CDia_Main& m_window;
    platform::TerminationSignals m_signals;
    bool m_bEnded = false;
    int m_nExitCode = 0;
};
