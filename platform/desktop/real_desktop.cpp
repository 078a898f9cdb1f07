// The desktop as the user has it: system clock, tone, shell, attention and desktop notification, sleep
// inhibitor, Qt message boxes and file dialog.
#include "platform/desktop/desktop.h"

#include "platform/desktop/desktop_notification.h"
#include "platform/desktop/run_file.h"
#include "platform/desktop/sleep_inhibitor.h"
#include "platform/desktop/tone.h"
#include "platform/desktop/window_attention.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

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

const char* const kSoundFailedFormat = "The sound could not be played: %1";

class RealDesktop final : public Desktop {
public:
    RealDesktop()
    {
        setToneFailureHandler([this](const std::string& reason) { onSoundFailed(reason); });
    }

    Time now() override { return systemNow(); }
    void beep(int hz, int ms) override { platform::beep(hz, ms); }

    void readyTone() override
    {
        m_soundFailure.clear(); // a new run: the tone tries afresh
        platform::readyTone();
        m_notification.prepare();
    }

    void silenceTone() override { platform::silenceTone(); }
    bool opensForReading(const std::string& path) override { return platform::opensForReading(path); }
    void runFile(const std::string& path) override { platform::runFile(path); }

    void showAlarm(QWidget* window, const Alarm& alarm) override
    {
        m_window = window;
        m_alarm = alarm;
        if (!alarm.seen)
            setAttention(window, true);
        if (!alarm.seen || !m_soundFailure.isEmpty())
            notify();
    }

    void withdrawAlarm() override
    {
        // Cleared by us, not by the window manager's activation, which may never come.
        if (m_alarm && !m_alarm->seen)
            setAttention(m_window, false);
        m_alarm.reset();
        m_notification.close();
    }

    void keepAwake() override { m_inhibitor.hold(); }
    void letSleep() override { m_inhibitor.release(); }

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
    // Said even to someone looking at the window: a silent alarm is no alarm.
    void onSoundFailed(const std::string& reason)
    {
        m_soundFailure = QString::fromLatin1(kSoundFailedFormat).arg(QString::fromLocal8Bit(reason));
        if (m_alarm)
            notify();
    }

    void notify()
    {
        QPointer<QWidget> window = m_window;
        DesktopNotification::Actions actions{
            [window](const QString& token) { activateAtUsersRequest(window, token); }, m_alarm->stop};
        m_notification.show(QString::fromLocal8Bit(m_alarm->text), m_soundFailure, std::move(actions));
    }

    DesktopNotification m_notification;
    SleepInhibitor m_inhibitor;
    QPointer<QWidget> m_window;
    std::optional<Alarm> m_alarm; // the alarm told, until withdrawn
    QString m_soundFailure;       // why this run's tone could not be played, empty while it can
};

} // namespace

Desktop& realDesktop()
{
    static RealDesktop instance;
    return instance;
}

} // namespace platform
