// One Pelmora per task file: the name its socket takes, and the folder lock.
#include "platform/desktop/single_instance.h"
#include "tests/support/temp_work_dir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstddef>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string nameOf(const fs::path& taskFile)
{
    return platform::instanceName(taskFile).toStdString();
}

// A socket of the Pelmora socket's kind, bound (listening) or connected to the folder's abstract name.
int folderSocket(bool bound)
{
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = platform::instanceName("TASKS.BIN").toUtf8();
    std::memcpy(address.sun_path + 1, name.constData(), name.size()); // abstract: a NUL, then the name
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const auto* at = reinterpret_cast<const sockaddr*>(&address);
    const bool done = bound ? ::bind(socket, at, size) == 0 && ::listen(socket, 1) == 0 : ::connect(socket, at, size) == 0;
    EXPECT_TRUE(done) << std::strerror(errno);
    return socket;
}

// What the holder sends back while its event loop runs, until `expected` bytes came or it hung up.
std::string replyTo(int socket, const std::string& request, std::size_t expected)
{
    EXPECT_EQ(::send(socket, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    std::string reply;
    QDeadlineTimer deadline(5000);
    while (reply.size() < expected && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        char chunk[64];
        const ssize_t got = ::recv(socket, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got == 0)
            break;
        if (got > 0)
            reply.append(chunk, static_cast<std::size_t>(got));
    }
    return reply;
}

} // namespace

TEST(InstanceName, OneNamePerTaskFileWithLinksResolved)
{
    TempWorkDir first;
    const std::string inFirst = nameOf("TASKS.BIN");
    EXPECT_EQ(inFirst, nameOf(fs::path(first.path()) / "TASKS.BIN"));
    {
        // Neither folder has a task file yet: they must still not share a name.
        TempWorkDir second;
        EXPECT_NE(nameOf("TASKS.BIN"), inFirst);

        fs::create_directory_symlink(first.path(), second.file("folder-link"));
        EXPECT_EQ(nameOf(fs::path(second.file("folder-link")) / "TASKS.BIN"), inFirst);

        TempWorkDir::write(first.file("TASKS.BIN").c_str(), "");
        fs::create_symlink(first.file("TASKS.BIN"), second.file("TASKS.BIN"));
        EXPECT_EQ(nameOf("TASKS.BIN"), inFirst);
    }
}

TEST(SingleInstance, OneHolderAFolderAndASilentHolderIsNoAnswer)
{
    using Claim = platform::SingleInstance::Claim;
    constexpr int kShortAnswerMs = 300;
    TempWorkDir work;
    {
        platform::SingleInstance holder("TASKS.BIN");
        ASSERT_EQ(holder.claim(), Claim::First) << holder.problem().toStdString();
        EXPECT_TRUE(holder.problem().isEmpty()) << holder.problem().toStdString();

        // The holder's event loop never runs here: the kernel accepts the connection, nobody answers.
        platform::SingleInstance later(fs::path(work.path()) / "TASKS.BIN", kShortAnswerMs);
        EXPECT_EQ(later.claim(), Claim::HolderSilent);
        EXPECT_EQ(later.folder().toStdString(), fs::canonical(work.path()).string());

        TempWorkDir other;
        platform::SingleInstance elsewhere("TASKS.BIN", kShortAnswerMs);
        EXPECT_EQ(elsewhere.claim(), Claim::First);
    }
    // A holder that is gone, however it went, leaves nothing that stops the next start.
    platform::SingleInstance next(fs::path(work.path()) / "TASKS.BIN");
    EXPECT_EQ(next.claim(), Claim::First);
}

TEST(SingleInstance, AHolderThatEndsWithoutAnsweringLeavesTheFolderToTheNextStart)
{
    TempWorkDir work;
    // A holder on its way out: it has the lock and the socket, takes the connection, and lets all go unanswered.
    const int folder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(folder, LOCK_EX | LOCK_NB), 0);
    const int server = folderSocket(true);
    std::thread ending([&] {
        const int connection = ::accept(server, nullptr, nullptr);
        ::close(folder);
        ::close(server);
        ::close(connection);
    });
    platform::SingleInstance next("TASKS.BIN");
    EXPECT_EQ(next.claim(), platform::SingleInstance::Claim::First);
    ending.join();
}

TEST(SingleInstance, TheHolderAnswersEveryRaiseAndHangsUpOnAnEndlessLine)
{
    TempWorkDir work;
    platform::SingleInstance holder("TASKS.BIN");
    ASSERT_EQ(holder.claim(), platform::SingleInstance::Claim::First);
    int raised = 0;
    QObject::connect(&holder, &platform::SingleInstance::raiseRequested, [&raised] { ++raised; });
    const int later = folderSocket(false);
    // Lines that are no request are passed over; each request is answered, also two in one write.
    EXPECT_EQ(replyTo(later, "hello\nraise\nraise\n", 14), "raised\nraised\n");
    EXPECT_EQ(raised, 2);
    EXPECT_EQ(replyTo(later, std::string(200, 'x'), 1), "");
    char byte = 0;
    EXPECT_EQ(::recv(later, &byte, 1, MSG_DONTWAIT), 0) << "the holder should have hung up";
    EXPECT_EQ(raised, 2);
    ::close(later);
}
