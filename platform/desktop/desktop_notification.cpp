// The freedesktop notification service over QtDBus: Notify, and CloseNotification for the id it answered.
#include "platform/desktop/desktop_notification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace platform {

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";
constexpr int kServerDefaultTimeout = -1;

QDBusMessage notificationCall(const char* method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

void DesktopNotification::show(const QString& summary, const QString& body)
{
    close();
    QDBusConnection bus = QDBusConnection::sessionBus();
    QCoreApplication* app = QCoreApplication::instance();
    if (!bus.isConnected() || !app)
        return;
    QDBusMessage call = notificationCall("Notify");
    call << QStringLiteral("Pelmora") << 0u << QString() << summary << body << QStringList() << QVariantMap()
         << kServerDefaultTimeout;
    // No introspection and no waiting: the id comes back whenever the service answers, if ever.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), app);
    const std::uint64_t shownAs = m_generation;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, shownAs](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<std::uint32_t> reply = *w;
        if (reply.isError())
            return;
        if (shownAs == m_generation)
            m_id = reply.value();
        else
            closeById(reply.value()); // taken back before the service answered
    });
}

void DesktopNotification::close()
{
    ++m_generation;
    if (m_id != 0)
        closeById(m_id);
    m_id = 0;
}

void DesktopNotification::closeById(std::uint32_t id)
{
    QDBusMessage call = notificationCall("CloseNotification");
    call << id;
    QDBusConnection::sessionBus().asyncCall(call);
}

} // namespace platform
