// Keeping the machine from idling or suspending by itself while a run is in progress.
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QString>

#include <cstdint>

namespace platform {

// The desktop portal's Inhibit (suspend and idle) on the session bus, else logind's idle inhibitor on the
// system bus, which never blocks a suspend the user asks for. Every call is asynchronous: a missing or hung
// service leaves the machine as it was, and the program as it was.
class SleepInhibitor {
public:
    void hold();
    void release();

private:
    void holdThroughLogind(std::uint64_t asked);
    bool stale(std::uint64_t asked) const { return asked != m_generation; }

    bool m_held = false;
    std::uint64_t m_generation = 0; // counts holds and releases, so a late answer knows it is stale
    QString m_portalRequest;        // the portal's handle to close, once it answered
    QDBusUnixFileDescriptor m_logindLock; // logind's lock, released when the descriptor closes
};

} // namespace platform
