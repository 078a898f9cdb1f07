// The help page in a window of its own.
#include "mainwnd/help_window.h"


#include <QDialog>
#include <QTextBrowser>
#include <QVBoxLayout>

QWidget* createHelpWindow(QWidget* owner)
{
    auto* window = new QDialog(owner, Qt::Window);
    window->setWindowTitle(QStringLiteral("Pelmora Help"));
    auto* browser = new QTextBrowser(window);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setSource(QUrl(QStringLiteral("qrc:/res/help.html")));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    window->resize(520, 560);
    return window;
}
