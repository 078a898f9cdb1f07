// The alarm's attention request and notification, with the tone's failure in its body.
#include "platform/desktop/alarm_notice.h"

#include "platform/core/line_text.h"
#include "platform/desktop/window_attention.h"

namespace platform {

namespace {
const char* const kSoundFailedFormat = "The sound could not be played: %1";
}

void AlarmNotice::startRun()
{
    m_soundFailure.clear();
    m_notification.prepare();
}

void AlarmNotice::show(QWidget* window, const Alarm& alarm)
{
    m_window = window;
    m_alarm = alarm;
    if (!alarm.seen)
        setAttention(window, true);
    if (!alarm.seen || !m_soundFailure.isEmpty())
        notify();
}

void AlarmNotice::withdraw()
{
    // Cleared by us, not by the window manager's activation, which may never come.
    if (m_alarm && !m_alarm->seen)
        setAttention(m_window, false);
    m_alarm.reset();
    m_notification.close();
}

void AlarmNotice::soundFailed(const std::string& reason)
{
    // A silent alarm is no alarm: said even to someone looking at the window.
    m_soundFailure = QString::fromLatin1(kSoundFailedFormat).arg(QString::fromLocal8Bit(withVisibleControls(reason)));
    if (m_alarm)
        notify();
}

void AlarmNotice::notify()
{
    QPointer<QWidget> window = m_window;
    DesktopNotification::Actions actions{[window](const QString& token) { activateAtUsersRequest(window, token); },
                                         m_alarm->stop};
    m_notification.show(QString::fromLocal8Bit(m_alarm->text), m_soundFailure, std::move(actions));
}

} // namespace platform
