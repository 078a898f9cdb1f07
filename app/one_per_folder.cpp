// One Pelmora per task file: a later start brings the running window to the front and ends.
#include "app/one_per_folder.h"

#include "platform/desktop/desktop.h"
#include "platform/desktop/single_instance.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

namespace {

// A start that cannot run says why in a message box, since it may have come from a menu with no terminal.
void refuseStart(const QString& reason, const QString& folder)
{
    const QByteArray text = (reason + QStringLiteral(":\n\n") + folder).toLocal8Bit();
    std::fprintf(stderr, "pelmora: %s\n", text.data());
    platform::desktop().messageBox(nullptr, text.toStdString(), platform::MessageIcon::Error);
}

} // namespace

bool claimTaskFile(platform::SingleInstance& instance, int& exitCode)
{
    using Claim = platform::SingleInstance::Claim;
    const Claim claim = instance.claim();
    const QByteArray problem = instance.problem().toLocal8Bit();
    switch (claim) {
    case Claim::First:
        if (!problem.isEmpty())
            std::fprintf(stderr, "pelmora: later starts in this folder cannot reach this one: %s\n", problem.data());
        return true;
    case Claim::Unguarded:
        // Better an unguarded Pelmora than none: the lock only protects against a second start.
        std::fprintf(stderr, "pelmora: cannot lock the task file against a second start: %s\n", problem.data());
        return true;
    case Claim::OtherRaised:
        exitCode = 0;
        return false;
    case Claim::HolderSilent:
        refuseStart(QStringLiteral("A Pelmora already runs in this folder but does not answer"), instance.folder());
        exitCode = 1;
        return false;
    case Claim::OtherUser:
        refuseStart(QStringLiteral("Another user's Pelmora already runs in this folder"), instance.folder());
        exitCode = 1;
        return false;
    }
    return true;
}

void bringToFront(QWidget& window)
{
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    QWidget* front = QApplication::activeModalWidget();
    if (!front)
        front = &window;
    front->raise();
    front->activateWindow();
}
