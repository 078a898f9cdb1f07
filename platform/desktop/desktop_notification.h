// A notification through the freedesktop notification service on the session bus, and taking it back.
#pragma once

#include <QString>

#include <cstdint>

namespace platform {

// One notification at a time. Calls never wait for the service; with no bus or no service nothing shows.
class DesktopNotification {
public:
    void show(const QString& summary, const QString& body);
    void close();

private:
    void closeById(std::uint32_t id);

    std::uint32_t m_id = 0;        // the notification showing, 0 for none
    std::uint64_t m_generation = 0; // counts shows and closes, so a late reply knows it is stale
};

} // namespace platform
