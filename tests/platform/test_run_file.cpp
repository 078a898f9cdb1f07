// Tests for running files: hostile names reach the shell as one word, other files go to xdg-open, and the
// program started runs on its own, in a session of its own.
#include "platform/desktop/run_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr auto kExecutable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                             | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                             | QFileDevice::ExeOther;
constexpr auto kPlain = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther;

// Names a shell would split, expand, run or take as an option if the path were spliced into its text.
const std::vector<QString> kHostileNames{
    "say \"hi\"",      "it's",           "$(touch pwned)", "`touch pwned`",   "; touch pwned",
    "& touch pwned",   "two\nlines",     "-x",             " spaced  name ",  "'; touch pwned; '",
    "\"$(touch pwned)", "*",             "back\\slash",    "$HOME",           "| touch pwned",
};

std::string local(const QString& path)
{
    return path.toLocal8Bit().toStdString();
}

// Each test works in its own directory, also the working directory, so anything a misread name
// creates lands where the test looks.
class RunFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldCwd = QDir::currentPath();
        m_oldPath = qgetenv("PATH");
        ASSERT_TRUE(m_dir.isValid() && m_bin.isValid());
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    }

    void TearDown() override
    {
        QDir::setCurrent(m_oldCwd);
        qputenv("PATH", m_oldPath);
        expectNoChildrenLeft();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void writeFile(const QString& name, const QByteArray& text, QFileDevice::Permissions permissions)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << local(name);
        file.write(text);
        file.close();
        ASSERT_TRUE(file.setPermissions(permissions));
    }

    // A script that appends one "x" to its marker, so a marker holding "x" means it ran exactly once.
    void writeScript(const QString& name, const QString& marker, const QByteArray& before = "#!/bin/sh\n")
    {
        writeFile(name, before + "printf x >> '" + path(marker).toLocal8Bit() + "'\n", kExecutable);
    }

    QByteArray contents(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // The started program runs on after runFile returns: give it a moment to write its file.
    static void awaitFile(const QString& filePath)
    {
        (void)QTest::qWaitFor([&] { return QFileInfo(filePath).size() > 0; }, 5000);
    }

    QSet<QString> entries() const
    {
        const QStringList list = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                              | QDir::NoDotAndDotDot);
        return QSet<QString>(list.begin(), list.end());
    }

    // Puts a stand-in xdg-open first on PATH that writes its argument count, then each argument
    // followed by a NUL, to a file.
    void installFakeXdgOpen()
    {
        QFile fake(m_bin.filePath("xdg-open"));
        ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
        const QByteArray record = m_bin.filePath("args").toLocal8Bit();
        // Written aside and moved into place, so the record appears whole.
        fake.write("#!/bin/sh\nprintf '%s\\n' \"$#\" > '" + record + ".part'\nprintf '%s\\0' \"$@\" >> '" + record
                   + ".part'\n/bin/mv '" + record + ".part' '" + record + "'\n");
        fake.close();
        ASSERT_TRUE(fake.setPermissions(kExecutable));
        hideSystemXdgOpen();
    }

    // PATH holds only the test's bin directory, so no xdg-open of the machine's is reached.
    void hideSystemXdgOpen() { qputenv("PATH", m_bin.path().toLocal8Bit()); }

    QByteArray xdgOpenArgs() const
    {
        awaitFile(m_bin.filePath("args"));
        QFile file(m_bin.filePath("args"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<not called>");
    }

    // Runs a script per name, given as `pathOf` makes it: each must leave its marker once, and nothing else.
    void expectEachRunsOnce(const std::vector<QString>& names, const std::function<std::string(const QString&)>& pathOf)
    {
        QSet<QString> expected;
        for (std::size_t i = 0; i < names.size(); ++i) {
            writeScript(names[i], QStringLiteral("marker%1").arg(i));
            expected << names[i] << QStringLiteral("marker%1").arg(i);
        }
        for (const QString& name : names)
            platform::runFile(pathOf(name));
        for (std::size_t i = 0; i < names.size(); ++i)
            awaitFile(path(QStringLiteral("marker%1").arg(i)));
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(contents(QStringLiteral("marker%1").arg(i)), "x") << local(names[i]);
        EXPECT_EQ(entries(), expected);
    }

    static QByteArray oneArgument(const QString& arg) { return "1\n" + arg.toLocal8Bit() + '\0'; }

    static void expectNoChildrenLeft()
    {
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child was left behind";
        EXPECT_EQ(errno, ECHILD);
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_bin;
    QString m_oldCwd;
    QByteArray m_oldPath;
};

TEST_F(RunFile, HostileNamesRunAsOneWordExactlyOnce)
{
    expectEachRunsOnce(kHostileNames, [&](const QString& name) { return local(path(name)); });
}

TEST_F(RunFile, RelativeNamesAreTakenFromTheWorkingDirectoryNotAsOptions)
{
    expectEachRunsOnce({"-x", "--help", "-c touch pwned", "plain name"}, [](const QString& name) { return local(name); });
}

TEST_F(RunFile, ScriptWithoutInterpreterLineRunsThroughTheShell)
{
    writeScript("no shebang", "marker", "");
    platform::runFile(local(path("no shebang")));
    awaitFile(path("marker"));
    EXPECT_EQ(contents("marker"), "x");
}

TEST_F(RunFile, ScriptWhoseInterpreterIsMissingIsNotStartedAndSaysWhy)
{
    writeScript("lost", "marker", "#! /nonexistent/interpreter -x\n");
    EXPECT_EQ(platform::runFile(local(path("lost"))),
              "Its interpreter /nonexistent/interpreter cannot be run: No such file or directory.");
    writeScript("found", "marker", "#!/bin/sh -e\n");
    EXPECT_EQ(platform::runFile(local(path("found"))), std::nullopt);
    awaitFile(path("marker"));
    EXPECT_EQ(contents("marker"), "x"); // the second script alone ran
}

TEST_F(RunFile, ReturnsAtOnceLeavingTheProgramInASessionOfItsOwnAndNoChild)
{
    // The script waits (up to 3 s) for a go-ahead file, then records its parent, its session and its descriptors.
    const QByteArray go = path("go").toLocal8Bit();
    writeScript("slow", "marker",
                "#!/bin/sh\ni=0\nwhile [ ! -e '" + go + "' ] && [ $i -lt 60 ]; do sleep 0.05; i=$((i+1)); done\n"
                "sed 's/.*) //' /proc/$$/stat | cut -d' ' -f2,4 > '" + path("ids").toLocal8Bit() + "'\n"
                "ls /proc/$$/fd | tr '\\n' ' ' > '" + path("fds").toLocal8Bit() + "'\n");
    // A descriptor of Pelmora's without close-on-exec, as a library may leave one.
    constexpr int kPelmoraFd = 77;
    ASSERT_EQ(dup2(STDERR_FILENO, kPelmoraFd), kPelmoraFd);
    platform::runFile(local(path("slow")));
    close(kPelmoraFd);
    EXPECT_EQ(contents("marker"), "<missing>") << "runFile waited for the script";
    expectNoChildrenLeft();
    QFile(path("go")).open(QIODevice::WriteOnly);
    awaitFile(path("marker"));
    const QList<QByteArray> ids = contents("ids").simplified().split(' ');
    ASSERT_EQ(ids.size(), 2) << contents("ids").toStdString();
    EXPECT_NE(ids[0].toInt(), getpid()) << "the script is still Pelmora's child";
    EXPECT_NE(ids[1].toInt(), getsid(0)) << "the script shares Pelmora's session";
    EXPECT_FALSE(contents("fds").split(' ').contains(QByteArray::number(kPelmoraFd)))
        << "Pelmora's descriptor reached the script: " << contents("fds").toStdString();
}

TEST_F(RunFile, FileWithoutExecutePermissionGoesToXdgOpenAsOneArgument)
{
    installFakeXdgOpen();
    const QString name = "notes 'it's' $(touch pwned);\n`touch pwned` & \"x\".txt";
    // Were the file run by the shell instead of opened, it would leave a marker.
    writeFile(name, "printf x > '" + path("marker").toLocal8Bit() + "'\n", kPlain);
    platform::runFile(local(path(name)));
    EXPECT_EQ(xdgOpenArgs(), oneArgument(path(name)));
    EXPECT_EQ(entries(), QSet<QString>{name});
}

TEST_F(RunFile, RelativeFileForXdgOpenIsNotTakenAsAnOption)
{
    installFakeXdgOpen();
    writeFile("--help.txt", "text\n", kPlain);
    platform::runFile("--help.txt");
    EXPECT_EQ(xdgOpenArgs(), oneArgument("./--help.txt"));
}

TEST_F(RunFile, DirectoryGoesToXdgOpenAndRunsNothing)
{
    installFakeXdgOpen();
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder; touch pwned"));
    platform::runFile(local(path("folder; touch pwned")));
    EXPECT_EQ(xdgOpenArgs(), oneArgument(path("folder; touch pwned")));
    EXPECT_EQ(entries(), QSet<QString>{"folder; touch pwned"});
}

TEST_F(RunFile, MissingXdgOpenIsSkippedQuietly)
{
    hideSystemXdgOpen();
    writeFile("notes.txt", "text\n", kPlain);
    platform::runFile(local(path("notes.txt")));
    EXPECT_EQ(xdgOpenArgs(), "<not called>");
    EXPECT_EQ(entries(), QSet<QString>{"notes.txt"});
}

TEST_F(RunFile, EmptyPathDoesNothing)
{
    installFakeXdgOpen();
    platform::runFile("");
    EXPECT_EQ(xdgOpenArgs(), "<not called>");
    EXPECT_TRUE(entries().isEmpty());
}

} // namespace
