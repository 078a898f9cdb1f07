// The portal's or logind's inhibitor over QtDBus, asked for and given back without waiting.
#include "platform/desktop/sleep_inhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace platform {

namespace {

const char* const kPortalService = "org.freedesktop.portal.Desktop";
const char* const kPortalPath = "/org/freedesktop/portal/desktop";
const char* const kPortalInhibit = "org.freedesktop.portal.Inhibit";
const char* const kPortalRequest = "org.freedesktop.portal.Request";
constexpr std::uint32_t kInhibitSuspend = 4;
constexpr std::uint32_t kInhibitIdle = 8;
const char* const kLogindService = "org.freedesktop.login1";
const char* const kLogindPath = "/org/freedesktop/login1";
const char* const kLogindManager = "org.freedesktop.login1.Manager";
const char* const kReason = "A Pelmora timer is running";

template <typename Reply, typename Answered, typename Failed>
void whenAnswered(QDBusConnection bus, const QDBusMessage& call, Answered answered, Failed failed)
{
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [answered, failed](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const Reply reply = *w;
        if (reply.isError())
            failed();
        else
            answered(reply.value());
    });
}

void closePortalRequest(const QString& handle)
{
    QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(kPortalService, handle, kPortalRequest, QStringLiteral("Close")));
}

} // namespace

void SleepInhibitor::hold()
{
    if (m_held || !QCoreApplication::instance())
        return;
    m_held = true;
    const std::uint64_t asked = ++m_generation;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        holdThroughLogind(asked);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kPortalInhibit, QStringLiteral("Inhibit"));
    call << QString() << (kInhibitSuspend | kInhibitIdle)
         << QVariantMap{{QStringLiteral("reason"), QString::fromLatin1(kReason)}};
    whenAnswered<QDBusPendingReply<QDBusObjectPath>>(
        bus, call,
        [this, asked](const QDBusObjectPath& handle) {
            if (stale(asked))
                closePortalRequest(handle.path());
            else
                m_portalRequest = handle.path();
        },
        [this, asked] {
            if (!stale(asked))
                holdThroughLogind(asked); // no portal, or one without Inhibit
        });
}

void SleepInhibitor::holdThroughLogind(std::uint64_t asked)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager, QStringLiteral("Inhibit"));
    // "idle" alone: a suspend the user asks for (the lid, the menu) must still happen.
    call << QStringLiteral("idle") << QCoreApplication::applicationName() << QString::fromLatin1(kReason)
         << QStringLiteral("block");
    whenAnswered<QDBusPendingReply<QDBusUnixFileDescriptor>>(
        bus, call,
        [this, asked](const QDBusUnixFileDescriptor& lock) {
            if (!stale(asked))
                m_logindLock = lock; // a stale one closes as the reply goes
        },
        [] {});
}

void SleepInhibitor::release()
{
    if (!m_held)
        return;
    m_held = false;
    ++m_generation;
    if (!m_portalRequest.isEmpty())
        closePortalRequest(std::exchange(m_portalRequest, QString()));
    m_logindLock = QDBusUnixFileDescriptor();
}

} // namespace platform
