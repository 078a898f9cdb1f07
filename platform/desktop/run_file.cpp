// Starts a file the user named, detached: executables through the shell, anything else with the desktop's
// default application.
#include "platform/desktop/run_file.h"

#include <QStandardPaths>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

constexpr std::size_t kInterpreterLineLimit = 256; // what the kernel reads of a script's first line

// Anchors a relative path to the working directory, so a leading '-' is never read as an option
// and a bare name is never looked up on PATH.
std::string anchored(const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return path;
    return "./" + path;
}

bool isExecutableFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The kernel starts a script through the interpreter its first line names; when that cannot be run, only
// the detached shell would learn it, where nobody sees. A file without the line runs through the shell.
std::optional<std::string> missingInterpreter(const std::string& script)
{
    const int fd = open(script.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char head[kInterpreterLineLimit];
    struct stat st {};
    const ssize_t got = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? read(fd, head, sizeof head) : 0;
    close(fd);
    const std::string line(head, std::size_t(std::max<ssize_t>(got, 0)));
    if (line.rfind("#!", 0) != 0)
        return std::nullopt;
    const std::size_t start = line.find_first_not_of(" \t", 2);
    const std::size_t end = line.find_first_of(" \t\n", start);
    if (start == std::string::npos || start == end)
        return std::nullopt;
    const std::string interpreter = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    errno = 0;
    if (isExecutableFile(interpreter))
        return std::nullopt;
    const int error = errno != 0 ? errno : EACCES;
    return "Its interpreter " + interpreter + " cannot be run: " + std::strerror(error) + ".";
}

void waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// The started program begins with default signal handling and nothing blocked, whatever the GUI set
// up for itself (and whatever was blocked around the fork). Only async-signal-safe calls from here on:
// the parent has other threads.
void resetSignals()
{
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// The middle of a double fork: a session of its own, so the program outlives Pelmora and gets none of
// its terminal's signals; then it leaves the program to init, which reaps it. Signals stay blocked here,
// so none runs Pelmora's handlers; _Fork runs no fork handlers, which are not safe in this child.
[[noreturn]] void startOrphan(char* const argv[])
{
    setsid();
    // Pelmora's descriptors (its pipes, the display connection) are none of the program's business.
    close_range(3, ~0U, 0);
    if (_Fork() == 0) {
        resetSignals();
        execve(argv[0], argv, environ);
        _exit(127);
    }
    _exit(0);
}

// Starts argv[0] (an absolute path) and returns once it is on its own; only the short-lived middle
// process is waited for.
void startDetached(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t middle = fork();
    if (middle == 0)
        startOrphan(argv.data());
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (middle > 0)
        waitFor(middle);
}

} // namespace

std::optional<std::string> runFile(const std::string& path)
{
    if (path.empty())
        return std::nullopt;
    const std::string target = anchored(path);
    // The path travels as "$1", never as command text, so the shell cannot read anything in it.
    if (isExecutableFile(target)) {
        if (std::optional<std::string> missing = missingInterpreter(target))
            return missing;
        startDetached({"/bin/sh", "-c", "exec \"$1\"", "sh", target});
        return std::nullopt;
    }
    // Looked up before the fork: a search on PATH is no work for a forked child of a threaded program.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty())
        startDetached({opener.toLocal8Bit().toStdString(), target});
    return std::nullopt;
}

bool opensForReading(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool isFile = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return isFile;
}

} // namespace platform
