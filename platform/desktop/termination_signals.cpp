// SIGTERM, SIGHUP and SIGINT delivered as a Qt signal on the event loop, through a self-pipe.
#include "platform/desktop/termination_signals.h"

#include <QtGlobal>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The handler may only do what is async-signal-safe: it writes the signal's number into the pipe.
volatile sig_atomic_t s_writeEnd = -1;

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a wake-up for the event loop: a lost byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(s_writeEnd, &byte, 1);
    errno = savedErrno;
}

// One pipe for the life of the process, never closed: a handler that started on another thread just
// before the old handlers came back must never write into a descriptor number reused for a file.
const int* signalPipe()
{
    static const auto pipe = [] {
        std::array<int, 2> ends = {-1, -1};
        if (::pipe2(ends.data(), O_CLOEXEC | O_NONBLOCK) != 0)
            qFatal("Pelmora: cannot create the pipe for termination signals: %s", strerror(errno));
        s_writeEnd = ends[1];
        return ends;
    }();
    return pipe.data();
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent), m_readEnd(signalPipe()[0])
{
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarting keeps blocking calls (a running task's wait, the tone) unaware of the signal.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
}

TerminationSignals::~TerminationSignals()
{
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
}

void TerminationSignals::readPending()
{
    unsigned char byte = 0;
    while (::read(m_readEnd, &byte, 1) == 1)
        emit received(byte);
}

} // namespace platform
