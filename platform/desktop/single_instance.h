// One Pelmora per task file: a lock and a local socket in the user's runtime directory.
#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <filesystem>

namespace platform {

// Where the lock and the socket live: XDG_RUNTIME_DIR when it names a folder, else the temporary folder.
QString runtimeDirectory();

// The name the lock and the socket share for the task file `taskFile`: a digest of its path with every
// link resolved, so two folders reaching one file share it and nothing is written beside the file.
QString instanceName(const std::filesystem::path& taskFile);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        First,        // this process holds the lock; problem() is set when later starts cannot reach it
        OtherRaised,  // another Pelmora holds the task file and was asked to come to the front
        HolderSilent, // another Pelmora holds the task file but does not answer: problem() says which
        Unguarded,    // the lock could not be taken for another reason: problem() says why
    };

    SingleInstance(const QString& directory, const QString& name, QObject* parent = nullptr);

    // Takes the lock, or asks the Pelmora that holds it to bring its window to the front.
    Claim claim();
    QString problem() const { return m_problem; }

signals:
    // A later start in the same folder asked for the window.
    void raiseRequested();

private:
    bool askHolderToRaise();
    void listen();
    void serve(QLocalSocket* socket);
    void readRequests(QLocalSocket* socket);

    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer m_server;
    QString m_problem;
};

} // namespace platform
