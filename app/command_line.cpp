// The options Pelmora answers before it opens a window: --help and --version.
#include "app/command_line.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: pelmora [--help | --version]\n"
    "\n"
    "Pelmora is a desktop alarm timer with a large digital clock. It reads and writes its tasks in\n"
    "TASKS.BIN in the folder it is started in.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Other arguments are ignored. See pelmora(1) for the keys and files.\n";

// A full disk or a closed pipe must not pass for a printed answer.
int print(const char* text)
{
    return std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

std::optional<int> answerCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help")
            return print(kUsage);
        if (argument == "--version")
            return print("Pelmora " PELMORA_VERSION "\n");
    }
    return std::nullopt;
}
