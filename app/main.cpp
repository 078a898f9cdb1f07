// Pelmora's entry point.
#include "app/command_line.h"
#include "app/pelmora_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (const auto status = answerCommandLine(argc, argv))
        return *status;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.pelmora.pelmora"));
    CPelmoraApp app;
    app.InitInstance();
    return app.ExitCode();
}
