// The desktop as the user has it: system clock, ALSA tone, shell, urgency hint and desktop notification,
// Qt message boxes and file dialog.
#include "platform/desktop/desktop.h"

#include "platform/desktop/desktop_notification.h"
#include "platform/desktop/run_file.h"
#include "platform/desktop/tone.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace platform {

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

class RealDesktop final : public Desktop {
public:
    Time now() override { return systemNow(); }
    void beep(int hz, int ms) override { platform::beep(hz, ms); }
    void readyTone() override { platform::readyTone(); }
    void silenceTone() override { platform::silenceTone(); }
    bool opensForReading(const std::string& path) override { return platform::opensForReading(path); }
    std::optional<std::string> runFile(const std::string& path) override { return platform::runFile(path); }

    void showAlarm(QWidget* window, const std::string& text) override
    {
        QApplication::alert(window);
        // Services that take markup in the body would read a task's "<" or "&" as a tag or an entity.
        m_notification.show(QStringLiteral("Pelmora"), QString::fromLocal8Bit(text).toHtmlEscaped());
    }

    void withdrawAlarm() override { m_notification.close(); }

    void messageBox(QWidget* parent, const std::string& text, MessageIcon icon) override
    {
        QMessageBox box(toQtIcon(icon), QStringLiteral("Pelmora"), QString::fromLocal8Bit(text),
                        QMessageBox::Ok, parent);
        box.exec();
    }

    std::optional<std::string> chooseFileToOpen(QWidget*) override
    {
        // No parent, no filter, existing files only, Qt's own dialog on every desktop.
        QFileDialog dialog(nullptr, QStringLiteral("Open"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first().toLocal8Bit().toStdString();
    }

private:
    DesktopNotification m_notification;
};

} // namespace

Desktop& realDesktop()
{
    static RealDesktop instance;
    return instance;
}

} // namespace platform
