// The working directory as it was when the program started.
#include "platform/core/start_dir.h"

#include <filesystem>
#include <system_error>

std::string g_szStartDir;

namespace platform {

void captureStartDir()
{
    std::error_code error;
    const auto dir = std::filesystem::current_path(error);
    g_szStartDir = error ? std::string() : dir.string();
}

void restoreStartDir()
{
    if (g_szStartDir.empty())
        return;
    std::error_code error;
    std::filesystem::current_path(g_szStartDir, error);
}

} // namespace platform
