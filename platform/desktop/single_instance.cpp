// One Pelmora per task file: a lock on the folder that holds it and a local socket named after that folder.
#include "platform/desktop/single_instance.h"

#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::string_view kRaiseRequest = "raise\n";
constexpr std::string_view kRaisedAnswer = "raised\n";
// How often a later start looks again while the holder is between taking the lock and listening.
constexpr int kRetryPauseMs = 50;
constexpr int kBacklog = 8;
// A peer that sends more than this without ending a line is not a Pelmora asking to raise the window.
constexpr std::size_t kLongestRequest = 64;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString folderText(const std::filesystem::path& folder)
{
    return QString::fromLocal8Bit(QByteArray::fromStdString(folder.native()));
}

QString nameOfFolder(const struct stat& folder)
{
    return QStringLiteral("pelmora-%1-%2")
        .arg(static_cast<qulonglong>(folder.st_dev), 0, 16)
        .arg(static_cast<qulonglong>(folder.st_ino), 0, 16);
}

// The user behind the other end of a connected local socket, if the kernel says.
std::optional<uid_t> peerUser(int descriptor)
{
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

// Abstract names live in no folder: nothing to leave behind, and every runtime directory sees them.
struct AbstractAddress {
    explicit AbstractAddress(const QString& name)
    {
        const QByteArray bytes = name.toUtf8();
        address.sun_family = AF_UNIX;
        const std::size_t length = std::min<std::size_t>(bytes.size(), sizeof address.sun_path - 1);
        std::memcpy(address.sun_path + 1, bytes.constData(), length); // a NUL, then the name
        size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }

    sockaddr_un address {};
    socklen_t size = 0;
};

// A descriptor closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Connected without waiting: a holder whose queue is full, or not listening yet, is tried again later.
Descriptor connectToHolder(const QString& name)
{
    Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const AbstractAddress address(name);
    if (socket.get() < 0 || ::connect(socket.get(), address.get(), address.size) != 0)
        return Descriptor();
    return socket;
}

// Waits until `deadline` for a line from `socket`; empty when none came, nullopt when the peer hung up first.
std::optional<std::string> readLine(int socket, const QDeadlineTimer& deadline)
{
    std::string received;
    for (;;) {
        if (const std::size_t end = received.find('\n'); end != std::string::npos)
            return received.substr(0, end + 1);
        pollfd readable {socket, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::string();
        char chunk[kLongestRequest];
        const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
        if (got > 0)
            received.append(chunk, static_cast<std::size_t>(got));
        else if (got == 0 || (errno != EINTR && errno != EAGAIN))
            return std::nullopt;
    }
}

// One later start's connection to the holder: its raise requests are answered until it hangs up.
class RaiseConnection : public QObject {
public:
    RaiseConnection(int socket, SingleInstance& instance)
        : QObject(&instance), m_instance(instance), m_socket(socket), m_readable(socket, QSocketNotifier::Read)
    {
        connect(&m_readable, &QSocketNotifier::activated, this, &RaiseConnection::readRequests);
    }

    void readRequests()
    {
        char chunk[kLongestRequest];
        for (;;) {
            const ssize_t got = ::recv(m_socket.get(), chunk, sizeof chunk, 0);
            if (got > 0) {
                m_received.append(chunk, static_cast<std::size_t>(got));
                answerRequests();
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || m_received.size() > kLongestRequest)
                    hangUp();
                return;
            }
        }
    }

private:
    void answerRequests()
    {
        for (std::size_t end; (end = m_received.find('\n')) != std::string::npos; m_received.erase(0, end + 1)) {
            if (std::string_view(m_received).substr(0, end + 1) != kRaiseRequest)
                continue;
            emit m_instance.raiseRequested();
            // A few bytes on a fresh connection: nothing to wait for; a peer gone meanwhile needs no answer.
            ::send(m_socket.get(), kRaisedAnswer.data(), kRaisedAnswer.size(), MSG_NOSIGNAL);
        }
    }

    void hangUp()
    {
        m_readable.setEnabled(false);
        deleteLater();
    }

    SingleInstance& m_instance;
    Descriptor m_socket; // closed after the notifier that watches it is gone
    QSocketNotifier m_readable;
    std::string m_received;
};

} // namespace
std::filesystem::path taskFileFolder(const std::filesystem::path& taskFile)
{
    // Made absolute first: a relative name of a file that does not exist yet would come back unresolved.
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::absolute(taskFile, error);
    if (!error)
        resolved = std::filesystem::weakly_canonical(resolved, error);
    if (error)
        resolved = std::filesystem::absolute(taskFile).lexically_normal();
    return resolved.parent_path();
}

QString instanceName(const std::filesystem::path& taskFile)
{
    struct stat folder {};
    if (::stat(taskFileFolder(taskFile).c_str(), &folder) != 0)
        return {};
    return nameOfFolder(folder);
}

SingleInstance::SingleInstance(const std::filesystem::path& taskFile, int answerTimeoutMs, QObject* parent)
    : QObject(parent), m_folder(taskFileFolder(taskFile)), m_answerTimeoutMs(answerTimeoutMs)
{
}

SingleInstance::~SingleInstance()
{
    // The notifiers and connections go before the descriptors they watch.
    qDeleteAll(children());
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

QString SingleInstance::folder() const
{
    return folderText(m_folder);
}

SingleInstance::Claim SingleInstance::claim()
{
    // The lock is on the folder's inode, so bind mounts and links meet on it, and the kernel drops it when
    // its holder dies. Started programs must not inherit it.
    m_folderFd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat identity {};
    if (m_folderFd < 0 || ::fstat(m_folderFd, &identity) != 0) {
        m_problem = QStringLiteral("%1: %2").arg(folder(), systemReason(errno));
        return Claim::Unguarded;
    }
    m_name = nameOfFolder(identity);
    const QDeadlineTimer deadline(m_answerTimeoutMs);
    for (;;) {
        if (::flock(m_folderFd, LOCK_EX | LOCK_NB) == 0) {
            listen();
            return Claim::First;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            m_problem = QStringLiteral("%1: %2").arg(folder(), systemReason(errno));
            return Claim::Unguarded;
        }
        if (const Descriptor socket = connectToHolder(m_name); socket.get() >= 0) {
            switch (askHolderToRaise(socket.get(), deadline)) {
            case Answer::Raised:
                return Claim::OtherRaised;
            case Answer::OtherUser:
                return Claim::OtherUser;
            case Answer::Silent:
                return Claim::HolderSilent;
            case Answer::Gone:
                break;
            }
        }
        if (deadline.hasExpired())
            return Claim::HolderSilent;
        QThread::msleep(kRetryPauseMs);
    }
}

SingleInstance::Answer SingleInstance::askHolderToRaise(int socket, const QDeadlineTimer& deadline) const
{
    if (peerUser(socket) != getuid())
        return Answer::OtherUser;
    // The kernel accepts a connection even for a holder that is stopped or hung: only its reply counts.
    // A holder on its way out closes the connection unanswered: the folder is free in a moment.
    if (::send(socket, kRaiseRequest.data(), kRaiseRequest.size(), MSG_NOSIGNAL) < 0)
        return Answer::Gone;
    const std::optional<std::string> answer = readLine(socket, deadline);
    if (!answer)
        return Answer::Gone;
    return *answer == kRaisedAnswer ? Answer::Raised : Answer::Silent;
}

void SingleInstance::listen()
{
    const AbstractAddress address(m_name);
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0 || ::bind(m_listenFd, address.get(), address.size) != 0 || ::listen(m_listenFd, kBacklog) != 0) {
        m_problem = QStringLiteral("%1: %2").arg(m_name, systemReason(errno));
        return;
    }
    auto* incoming = new QSocketNotifier(m_listenFd, QSocketNotifier::Read, this);
    connect(incoming, &QSocketNotifier::activated, this, &SingleInstance::acceptRequests);
}

void SingleInstance::acceptRequests()
{
    for (;;) {
        const int socket = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        // Another user's program has no business raising this window.
        if (peerUser(socket) != getuid()) {
            ::close(socket);
            continue;
        }
        (new RaiseConnection(socket, *this))->readRequests();
    }
}

} // namespace platform
