// The About box, built from its template.
#include "mainwnd/about_box.h"

#include "platform/dialogs/dialog_builder.h"
#include "res/resource.h"
#include "res/templates.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

QIcon applicationIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/res/pelmora-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/res/pelmora-32.png"), QSize(32, 32));
    return icon;
}

CDia_About::CDia_About(QWidget* parent) : QDialog(parent)
{
    platform::buildDialog(this, res::kAboutDialog);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* icon = platform::control<QLabel>(this, IDR_MAINFRAME);
    icon->setPixmap(QPixmap(QStringLiteral(":/res/pelmora-32.png")));
    connect(platform::control<QPushButton>(this, IDOK), &QPushButton::clicked, this, &QDialog::accept);
}
