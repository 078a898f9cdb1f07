// Pelmora's entry point.
#include "app/command_line.h"
#include "app/pelmora_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (const auto status = answerCommandLine(argc, argv))
        return *status;
    // Qt sees the program's name alone: its own options (-reverse, -style, -stylesheet, -platform, -session...)
    // are not Pelmora's, while its environment variables still apply.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.pelmora.pelmora"));
    CPelmoraApp app;
    app.InitInstance();
    return app.ExitCode();
}
