// The desktop as the user has it: system clock, tone, shell, attention and desktop notification, sleep
// inhibitor, Qt message boxes and file dialog.
#include "platform/desktop/desktop.h"

#include "platform/desktop/alarm_notice.h"
#include "platform/desktop/run_file.h"
#include "platform/desktop/sleep_inhibitor.h"
#include "platform/desktop/tone.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <ctime>

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
    RealDesktop()
    {
        setToneFailureHandler([this](const std::string& reason) { m_alarmNotice.soundFailed(reason); });
    }

    Time now() override { return systemNow(); }

    std::chrono::milliseconds sinceBoot() override
    {
        timespec now{};
        clock_gettime(CLOCK_BOOTTIME, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::milliseconds(now.tv_nsec / 1'000'000);
    }

    void beep(int hz, int ms) override { platform::beep(hz, ms); }

    void readyTone() override
    {
        m_alarmNotice.startRun();
        platform::readyTone();
    }

    void silenceTone() override { platform::silenceTone(); }
    bool opensForReading(const std::string& path) override { return platform::opensForReading(path); }
    std::optional<std::string> runFile(const std::string& path) override { return platform::runFile(path); }

    void showAlarm(QWidget* window, const Alarm& alarm) override { m_alarmNotice.show(window, alarm); }
    void withdrawAlarm() override { m_alarmNotice.withdraw(); }
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
    AlarmNotice m_alarmNotice;
    SleepInhibitor m_inhibitor;
};

} // namespace

Desktop& realDesktop()
{
    static RealDesktop instance;
    return instance;
}

} // namespace platform
