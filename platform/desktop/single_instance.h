// One Pelmora per task file: a lock on the folder that holds it and a local socket named after that folder.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <filesystem>

namespace platform {

// The folder that holds `taskFile` once every link is resolved: the one a Pelmora holds for it.
std::filesystem::path taskFileFolder(const std::filesystem::path& taskFile);

// The socket's name for the folder that holds `taskFile`: its device and inode, so that links, bind mounts
// and runtime directories all lead to one name; empty when the folder cannot be examined.
QString instanceName(const std::filesystem::path& taskFile);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        First,        // this process holds the folder; problem() is set when later starts cannot reach it
        OtherRaised,  // another Pelmora holds the folder and brought its window to the front
        HolderSilent, // another Pelmora holds the folder but did not answer in time
        OtherUser,    // another user's Pelmora holds the folder
        Unguarded,    // the folder could not be locked for another reason: problem() says why
    };

    // A later start waits this long for the holder's answer.
    static constexpr int kDefaultAnswerTimeoutMs = 3000;

    explicit SingleInstance(const std::filesystem::path& taskFile, int answerTimeoutMs = kDefaultAnswerTimeoutMs,
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Locks the folder without waiting, or asks the Pelmora that holds it to bring its window to the front.
    Claim claim();
    QString problem() const { return m_problem; }
    QString folder() const;

signals:
    // A later start in the same folder asked for the window.
    void raiseRequested();

private:
    enum class Answer { Raised, Silent, Gone, OtherUser };

    Answer askHolderToRaise(int socket, const QDeadlineTimer& deadline) const;
    void listen();
    void acceptRequests();

    std::filesystem::path m_folder;
    int m_answerTimeoutMs;
    int m_folderFd = -1; // holds the lock while open
    int m_listenFd = -1;
    QString m_name;
    QString m_problem;
};

} // namespace platform
