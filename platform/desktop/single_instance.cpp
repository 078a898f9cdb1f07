// One Pelmora per task file: a lock on the folder that holds it and a local socket named after that folder.
#include "platform/desktop/single_instance.h"

#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

constexpr QByteArrayView kRaiseRequest = "raise\n";
constexpr QByteArrayView kRaisedAnswer = "raised\n";
// How often a later start looks again while the holder is between taking the lock and listening.
constexpr int kRetryPauseMs = 50;

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
std::optional<uid_t> peerUser(qintptr descriptor)
{
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

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
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

SingleInstance::~SingleInstance()
{
    m_server.close();
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
        QLocalSocket socket;
        if (connectToHolder(socket, deadline)) {
            switch (askHolderToRaise(socket, deadline)) {
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

bool SingleInstance::connectToHolder(QLocalSocket& socket, const QDeadlineTimer& deadline)
{
    // Abstract names live in no folder: nothing to leave behind, and every runtime directory sees them.
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(m_name);
    return socket.waitForConnected(static_cast<int>(deadline.remainingTime()));
}

SingleInstance::Answer SingleInstance::askHolderToRaise(QLocalSocket& socket, const QDeadlineTimer& deadline)
{
    if (peerUser(socket.socketDescriptor()) != getuid())
        return Answer::OtherUser;
    // The kernel accepts a connection even for a holder that is stopped or hung: only its reply counts.
    socket.write(kRaiseRequest.data(), kRaiseRequest.size());
    while (!socket.canReadLine()) {
        if (deadline.hasExpired())
            return Answer::Silent;
        // A holder on its way out closes the connection unanswered: the folder is free in a moment.
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return socket.state() == QLocalSocket::UnconnectedState ? Answer::Gone : Answer::Silent;
    }
    return socket.readLine() == kRaisedAnswer ? Answer::Raised : Answer::Silent;
}

void SingleInstance::listen()
{
    m_server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!m_server.listen(m_name))
        m_problem = QStringLiteral("%1: %2").arg(m_name, m_server.errorString());
}

void SingleInstance::serve(QLocalSocket* socket)
{
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Another user's program has no business raising this window.
    if (peerUser(socket->socketDescriptor()) != getuid()) {
        socket->disconnectFromServer();
        return;
    }
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
    readRequests(socket);
}

void SingleInstance::readRequests(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        if (socket->readLine() != kRaiseRequest)
            continue;
        emit raiseRequested();
        socket->write(kRaisedAnswer.data(), kRaisedAnswer.size());
    }
}

} // namespace platform
