// Runs a file the user named: executables through the shell, anything else with the desktop's default application.
#include "platform/desktop.h"

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

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

// The child starts with default signal handling and nothing blocked, whatever the GUI set up for itself.
class SpawnAttributes {
public:
    SpawnAttributes()
    {
        posix_spawnattr_init(&m_attr);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&m_attr, &none);
        posix_spawnattr_setsigdefault(&m_attr, &all);
        posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawnattr_t* get() const { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
};

void waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Starts argv[0] (looked up on PATH) and waits for it; a program that cannot start is simply skipped.
void runAndWait(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    SpawnAttributes attributes;
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, attributes.get(), argv.data(), environ) == 0)
        waitFor(pid);
}

} // namespace

void runFile(const std::string& path)
{
    if (path.empty())
        return;
    const std::string target = anchored(path);
    // The path travels as "$1", never as command text, so the shell cannot read anything in it.
    if (isExecutableFile(target))
        runAndWait({"/bin/sh", "-c", "exec \"$1\"", "sh", target});
    else
        runAndWait({"xdg-open", target});
}

} // namespace platform
