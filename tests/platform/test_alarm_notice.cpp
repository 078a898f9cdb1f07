// The alarm's notification as a notification service of the test's own, on a private session bus, receives it.
#include "platform/desktop/alarm_notice.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kAnswerMs = 5000;
constexpr int kAnswerTravelMs = 200; // from the service back to the program

class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString summary;
        QString body;
        QVariantMap hints;
    };
    QList<Shown> shown;
    QList<uint> closed;
    bool markup = false;
    int asked = 0;

public slots:
    QStringList GetCapabilities()
    {
        ++asked;
        return markup ? QStringList{"body", "body-markup"} : QStringList{"body"};
    }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int)
    {
        shown.append({summary, body, hints});
        return replaces ? replaces : uint(shown.size());
    }
    void CloseNotification(uint id) { closed.append(id); }
};

// A dbus-daemon of the test's own, made the session bus before anything in this process asks for it.
struct PrivateSessionBus {
    PrivateSessionBus()
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (daemon.waitForReadyRead(kAnswerMs))
            address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    ~PrivateSessionBus()
    {
        daemon.kill();
        daemon.waitForFinished();
    }
    QProcess daemon;
    QString address;
};

} // namespace

TEST(AlarmNotice, AFailedSoundIsSaidEvenInTheActiveWindowWithTheBodyEscapedOnlyForMarkup)
{
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    NotificationService service;
    QDBusConnection serviceSide = QDBusConnection::connectToBus(bus.address, "service");
    ASSERT_TRUE(serviceSide.registerService("org.freedesktop.Notifications"));
    ASSERT_TRUE(serviceSide.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots));

    for (const bool markup : {false, true}) {
        service.markup = markup;
        service.shown.clear();
        platform::AlarmNotice notice;
        const int asked = service.asked;
        notice.startRun();
        ASSERT_TRUE(QTest::qWaitFor([&] { return service.asked == asked + 1; }, kAnswerMs));
        QTest::qWait(kAnswerTravelMs);
        notice.show(nullptr, {"Tea is ready", true, [] {}});
        notice.soundFailed("no device <default> & no server\a");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !service.shown.isEmpty(); }, kAnswerMs));
        EXPECT_EQ(service.shown.size(), 1) << "a seen alarm was shown before the sound failed";
        EXPECT_EQ(service.shown[0].summary, "Tea is ready");
        EXPECT_EQ(service.shown[0].body, markup ? "The sound could not be played: no device &lt;default&gt; &amp; no server\u2407"
                                                : "The sound could not be played: no device <default> & no server\u2407");
        EXPECT_EQ(service.shown[0].hints.value("urgency"), QVariant::fromValue(uchar(2)));
        notice.withdraw();
        EXPECT_TRUE(QTest::qWaitFor([&] { return service.closed.size() == (markup ? 2 : 1); }, kAnswerMs));
    }

    // A failure at the run's start shows the seen alarm at once.
    platform::AlarmNotice notice;
    notice.startRun();
    notice.soundFailed("busy");
    notice.show(nullptr, {"Tea", true, {}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return service.shown.size() == 2; }, kAnswerMs));
}

#include "test_alarm_notice.moc"
