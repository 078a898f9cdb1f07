// Keeping one version of a file under a name that says why, whole or not at all.
#pragma once

#include <filesystem>
#include <string>

namespace tasks {

// The n-th name (from 1) a copy of `file` may take: "TASKS.BIN.damaged", then "TASKS.BIN.damaged-2"...
using CopyName = std::filesystem::path (*)(const std::filesystem::path& file, int n);

// Where a copy went, or why none was made: then `kept` is empty, `failedName` is the name tried and `error`
// the system's reason.
struct KeptCopy {
    std::filesystem::path kept;
    std::string failedName;
    int error = 0;
    explicit operator bool() const { return !kept.empty(); }
};

// Keeps the file at `original` under the first free name of `nameOf(original, n)`, never over a name that
// exists: a hard link where the file system makes one, else a copy written to a file of its own, synced, and
// only then given its name, so that a copy that fails part-way leaves nothing behind.
KeptCopy keepCopy(const std::filesystem::path& original, CopyName nameOf);

// Gives the file at `from` the first free name of `nameOf(file, n)` in one step, never over a name that exists.
KeptCopy moveToCopyName(const std::filesystem::path& from, const std::filesystem::path& file, CopyName nameOf);

// Test hook: behave as on a file system that makes no hard links.
namespace kept_copy_hooks {
inline bool withoutLinks = false;
} // namespace kept_copy_hooks

} // namespace tasks
