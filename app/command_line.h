// The options Pelmora answers before it opens a window: --help and --version.
#pragma once

#include <optional>

// Prints the usage text for --help or the version for --version and returns the exit status; returns nothing
// when the program is to start as usual. Other arguments are ignored.
std::optional<int> answerCommandLine(int argc, char** argv);
