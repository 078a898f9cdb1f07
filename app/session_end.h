// Ends the program as the close box does when the session ends or SIGTERM, SIGHUP or SIGINT arrives; saves
// without ending at a session manager's checkpoint or at a logout that may yet be cancelled.
#pragma once

#include "platform/desktop/termination_signals.h"

#include <QObject>

class CDia_Main;
class QSessionManager;

class SessionEnd : public QObject {
    Q_OBJECT
public:
    explicit SessionEnd(CDia_Main& window);

    // 0, or 1 when the tasks could not be saved at the end.
    int exitCode() const { return m_nExitCode; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void end();
    void commitData(QSessionManager& manager);
    // A save nobody can be asked about: false, with the reason on standard error, when it failed.
    bool saveUnattended();

    CDia_Main& m_window;
    platform::TerminationSignals m_signals;
    bool m_bEnded = false;
    bool m_bWindowEnded = false; // OK, Cancel, Escape or the close box ended the window: nothing left to save
    int m_nExitCode = 0;
};
