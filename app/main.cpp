// Pelmora's entry point.
#include "app/pelmora_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setDesktopFileName(QStringLiteral("pelmora"));
    CPelmoraApp app;
    app.InitInstance();
    return app.ExitCode();
}
