// printf-style formatting of the program's own texts into std::string.
#pragma once

#include <string>

namespace platform {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform
