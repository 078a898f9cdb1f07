// The working directory as it was when the program started; TASKS.BIN lives there.
#pragma once

#include <string>

extern std::string g_szStartDir;

namespace platform {

// Records the current working directory into g_szStartDir (any length Linux allows).
void captureStartDir();
// Makes g_szStartDir the working directory again; does nothing when it is empty.
void restoreStartDir();

} // namespace platform
