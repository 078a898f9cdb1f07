// Starting a file the user named, detached, and the test that comes before it.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Whether the file exists and opens for reading. A directory is no file to run, and a FIFO must not
// block the window while nobody writes to it.
bool opensForReading(const std::string& path);
// Starts the file through the shell (or the default application) and returns without waiting. A script
// whose interpreter cannot be run is not started, and the reason is returned.
std::optional<std::string> runFile(const std::string& path);

} // namespace platform
