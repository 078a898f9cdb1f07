// One Pelmora per task file: a lock and a local socket in the user's runtime directory.
#include "platform/desktop/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <system_error>

namespace platform {

namespace {

constexpr QByteArrayView kRaiseRequest = "raise\n";
// How long a later start keeps trying while the holder is between taking the lock and listening.
constexpr int kClaimTimeoutMs = 5000;
constexpr int kConnectTimeoutMs = 1000;
constexpr int kRetryPauseMs = 50;

QString describeLockError(QLockFile::LockError error)
{
    switch (error) {
    case QLockFile::PermissionError:
        return QStringLiteral("Permission denied");
    default:
        return QStringLiteral("unknown error");
    }
}

} // namespace

QString runtimeDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

QString instanceName(const std::filesystem::path& taskFile)
{
    // Made absolute first: a relative name of a file that does not exist yet would come back unresolved,
    // and every folder without a task file would share one name.
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::absolute(taskFile, error);
    if (!error)
        resolved = std::filesystem::weakly_canonical(resolved, error);
    if (error)
        resolved = taskFile.lexically_normal();
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(resolved.native()),
                                                       QCryptographicHash::Sha256);
    // 32 hex digits keep the socket path well inside the 108 bytes a local socket address holds.
    return QStringLiteral("pelmora-") + QString::fromLatin1(digest.left(16).toHex());
}

SingleInstance::SingleInstance(const QString& directory, const QString& name, QObject* parent)
    : QObject(parent), m_socketPath(directory + u'/' + name + QStringLiteral(".socket")),
      m_lock(directory + u'/' + name + QStringLiteral(".lock"))
{
    // Only a dead or foreign holder makes the lock stale, never its age: Pelmora runs for days.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

SingleInstance::Claim SingleInstance::claim()
{
    const QDeadlineTimer deadline(kClaimTimeoutMs);
    for (;;) {
        if (m_lock.tryLock(0)) {
            listen();
            return Claim::First;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            m_problem = QStringLiteral("%1: %2").arg(m_lock.fileName(), describeLockError(m_lock.error()));
            return Claim::Unguarded;
        }
        if (askHolderToRaise())
            return Claim::OtherRaised;
        if (deadline.hasExpired()) {
            qint64 pid = 0;
            m_lock.getLockInfo(&pid, nullptr, nullptr);
            m_problem = QStringLiteral("%1: held by process %2, which does not answer on %3")
                            .arg(m_lock.fileName())
                            .arg(pid)
                            .arg(m_socketPath);
            return Claim::HolderSilent;
        }
        QThread::msleep(kRetryPauseMs);
    }
}

bool SingleInstance::askHolderToRaise()
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    // The holder reads the request from the socket's buffer whenever its event loop next runs.
    socket.write(kRaiseRequest.data(), kRaiseRequest.size());
    return socket.waitForBytesWritten(kConnectTimeoutMs);
}

void SingleInstance::listen()
{
    // Holding the lock means a socket left behind is a crashed holder's.
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath))
        m_problem = QStringLiteral("%1: %2").arg(m_socketPath, m_server.errorString());
}

void SingleInstance::serve(QLocalSocket* socket)
{
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
    readRequests(socket);
}

void SingleInstance::readRequests(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        if (socket->readLine() == kRaiseRequest)
            emit raiseRequested();
    }
}

} // namespace platform
