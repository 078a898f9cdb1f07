// What the desktop shows of an alarm: the window's attention request and one notification, which also says
// when the sound could not be played.
#pragma once

#include "platform/desktop/desktop.h"
#include "platform/desktop/desktop_notification.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

namespace platform {

class AlarmNotice {
public:
    // A run starts: its tone has not failed yet, and the notification service is asked what it can do.
    void startRun();
    void show(QWidget* window, const Alarm& alarm);
    void withdraw();
    // The tone could not be played: said at once, even to someone looking at the window.
    void soundFailed(const std::string& reason);

private:
    void notify();

    DesktopNotification m_notification;
    QPointer<QWidget> m_window;
    std::optional<Alarm> m_alarm; // the alarm told, until withdrawn
    QString m_soundFailure;       // why this run's tone could not be played, empty while it can
};

} // namespace platform
