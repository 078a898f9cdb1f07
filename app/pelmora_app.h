// The application object: captures the start-up directory and runs the main window.
#pragma once

class CPelmoraApp {
public:
    // Runs the program; returns when the main window has ended.
    bool InitInstance();
    // The process's exit status: 0 unless the tasks could not be saved at the end or another Pelmora
    // holding the task file did not answer.
    int ExitCode() const { return m_nExitCode; }

private:
    int m_nExitCode = 0;
};
