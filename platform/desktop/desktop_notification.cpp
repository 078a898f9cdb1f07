// The freedesktop notification service over QtDBus: capabilities, Notify with actions and hints, their
// signals, and CloseNotification for the id it answered.
#include "platform/desktop/desktop_notification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace platform {

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";
const char* const kOpenAction = "default"; // what the service runs for a click on the notification itself
const char* const kStopAction = "stop";
constexpr int kNeverExpires = 0;
constexpr uchar kUrgencyCritical = 2;

QDBusMessage notificationCall(const char* method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

// Runs `done` with the reply whenever it comes, if ever, while `owner` lives; nothing waits for it.
template <typename Reply, typename Done>
void whenAnswered(QObject* owner, const QDBusMessage& call, Done done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [done](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const Reply reply = *w;
        if (!reply.isError())
            done(reply.value());
    });
}

bool busUsable()
{
    return QCoreApplication::instance() && QDBusConnection::sessionBus().isConnected();
}

} // namespace

void DesktopNotification::prepare()
{
    if (m_asked || !busUsable())
        return;
    m_asked = true;
    whenAnswered<QDBusPendingReply<QStringList>>(this, notificationCall("GetCapabilities"), [this](const QStringList& caps) {
        m_bodyMarkup = caps.contains(QStringLiteral("body-markup"));
    });
}

void DesktopNotification::listen()
{
    if (m_listening)
        return;
    m_listening = true;
    // From any sender: naming the service would make QtDBus look up its owner, and wait for the answer.
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(QString(), kPath, kInterface, QStringLiteral("ActivationToken"), this,
                SLOT(onActivationToken(uint, QString)));
    bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void DesktopNotification::show(const QString& summary, const QString& body, Actions actions)
{
    if (!busUsable())
        return;
    prepare();
    listen();
    m_actions = std::move(actions);
    QStringList actionList{QString::fromLatin1(kOpenAction), QStringLiteral("Show Pelmora")};
    if (m_actions.stop)
        actionList << QString::fromLatin1(kStopAction) << QStringLiteral("Stop");
    const QString desktopId = QGuiApplication::desktopFileName();
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(kUrgencyCritical)},
                            {QStringLiteral("desktop-entry"), desktopId}};
    QDBusMessage call = notificationCall("Notify");
    // A "<" or "&" would read as a tag or an entity where the service takes markup, and as itself elsewhere.
    call << QGuiApplication::applicationDisplayName() << m_id << desktopId << summary
         << (m_bodyMarkup ? body.toHtmlEscaped() : body) << actionList << hints << kNeverExpires;
    const std::uint64_t shownAs = ++m_generation;
    whenAnswered<QDBusPendingReply<std::uint32_t>>(this, call, [this, shownAs](std::uint32_t id) {
        if (shownAs == m_generation)
            m_id = id;
        else if (id != m_id)
            closeById(id); // taken back or shown anew before the service answered
    });
}

void DesktopNotification::close()
{
    ++m_generation;
    if (m_id != 0)
        closeById(m_id);
    m_id = 0;
    m_actions = {};
}

void DesktopNotification::closeById(std::uint32_t id)
{
    QDBusMessage call = notificationCall("CloseNotification");
    call << id;
    QDBusConnection::sessionBus().asyncCall(call);
}

void DesktopNotification::onActivationToken(uint id, const QString& token)
{
    if (id != 0 && id == m_id)
        m_activationToken = token;
}

void DesktopNotification::onActionInvoked(uint id, const QString& action)
{
    if (id == 0 || id != m_id)
        return;
    const QString token = std::exchange(m_activationToken, QString());
    // Copies: either action may close the notification, which forgets them.
    if (action == QLatin1String(kOpenAction) && m_actions.open)
        std::function(m_actions.open)(token);
    else if (action == QLatin1String(kStopAction) && m_actions.stop)
        std::function(m_actions.stop)();
}

void DesktopNotification::onClosed(uint id, uint)
{
    // Dismissed, expired or closed by us: it is gone, and the alarm goes on as it was.
    if (id != 0 && id == m_id)
        m_id = 0;
}

} // namespace platform
