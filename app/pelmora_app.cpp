// The application object: captures the start-up directory and runs the main window.
#include "app/pelmora_app.h"

#include "app/one_per_folder.h"
#include "app/session_end.h"
#include "mainwnd/dia_main.h"
#include "platform/desktop/desktop.h"
#include "platform/desktop/single_instance.h"
#include "platform/desktop/tone.h"
#include "platform/core/start_dir.h"
#include "tasks/task_file.h"

#include <QEventLoop>

bool CPelmoraApp::InitInstance()
{
    platform::captureStartDir();
    // Claimed before the tasks are read: a second start must not even load them.
    platform::SingleInstance instance(tasks::kTaskFileName);
    if (!claimTaskFile(instance, m_nExitCode))
        return false;
    {
        CDia_Main dialog;
        QObject::connect(&instance, &platform::SingleInstance::raiseRequested, &dialog,
                         [&dialog] { bringToFront(dialog); });
        SessionEnd sessionEnd(dialog);
        // Shown as a normal window, not run modally: the desktop may then minimise it. OK, Cancel and the
        // close box end its run; the session's end and the signals end every loop.
        QEventLoop running;
        QObject::connect(&dialog, &QDialog::finished, &running, &QEventLoop::quit);
        dialog.show();
        running.exec();
        m_nExitCode = sessionEnd.exitCode();
    }
    // The tone's thread posts the bell to the application object, which main() destroys next.
    platform::shutDownTone();
    // The framework is not to run a message loop of its own: the program ends here.
    return false;
}
