// SIGTERM, SIGHUP and SIGINT delivered as a Qt signal on the event loop, through a self-pipe.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <memory>

namespace platform {

// While one exists (one at a time), the three signals no longer end the process: each is reported by received().
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override; // puts the previous handlers back

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

signals:
    void received(int signalNumber);

private:
    void readPending();

    int m_readEnd; // the process's one signal pipe
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous[3] = {};
};

} // namespace platform
