// Pelmora's entry point.
#include "app/pelmora_app.h"
#include "mainwnd/about_box.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setDesktopFileName(QStringLiteral("pelmora"));
    // Every window of the program, dialogs included, carries its icon.
    QApplication::setWindowIcon(applicationIcon());
    CPelmoraApp app;
    app.InitInstance();
    return 0;
}
