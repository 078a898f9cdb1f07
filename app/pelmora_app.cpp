// The application object: captures the start-up directory and runs the main window modally.
#include "app/pelmora_app.h"

#include "mainwnd/dia_main.h"
#include "platform/start_dir.h"

bool CPelmoraApp::InitInstance()
{
    platform::captureStartDir();
    {
        CDia_Main dialog;
        dialog.exec();
    }
    // The framework is not to run a message loop of its own: the program ends here.
    return false;
}
