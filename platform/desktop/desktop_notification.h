// A notification through the freedesktop notification service on the session bus, its actions, and taking it back.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

namespace platform {

// One notification at a time, which stays until closed. Calls never wait for the service; with no bus or
// no service nothing shows.
class DesktopNotification final : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(const QString& activationToken)> open; // the notification itself was clicked
        std::function<void()> stop;                               // its Stop; none offered when empty
    };

    // Asks once what the service can do, so that the first notification already knows.
    void prepare();
    // Shows, or replaces the one showing. The summary is plain text; the body is escaped where the
    // service reads markup.
    void show(const QString& summary, const QString& body, Actions actions);
    void close();

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onActivationToken(uint id, const QString& token);
    void onClosed(uint id, uint reason);

private:
    void closeById(std::uint32_t id);
    void listen();

    std::uint32_t m_id = 0;         // the notification showing, 0 for none
    std::uint64_t m_generation = 0; // counts shows and closes, so a late reply knows it is stale
    bool m_asked = false;           // GetCapabilities went out
    bool m_listening = false;
    bool m_bodyMarkup = false;      // the service said it reads markup in the body
    Actions m_actions;
    QString m_activationToken;      // from the service just before it tells of the click
};

} // namespace platform
