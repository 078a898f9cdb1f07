// A new file beside another: unnamed while it is written where the file system allows, and the sweep of the
// names that a crash can leave.
#pragma once

#include <filesystem>
#include <sys/types.h>

namespace tasks {

class TemporaryFile {
public:
    // Opens a new, empty file for writing in the folder of `beside`, locked against the sweep while it is open.
    explicit TemporaryFile(const std::filesystem::path& beside, mode_t mode);
    // Closes the file and removes the temporary name it still has.
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool opened() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Gives the file a temporary name of its own beside the other file, when it has none yet; false with errno.
    bool name();
    const std::filesystem::path& temporaryName() const { return m_name; }
    // The temporary name now belongs to another file (or none): the destructor leaves it alone.
    void forgetName() { m_name.clear(); }
    // Links the file under `name`, which must not exist; false with errno (EEXIST when it does).
    bool linkAs(const std::filesystem::path& name) const;
    // Closes the file; false with errno when the close reported a failure.
    bool close();

private:
    std::filesystem::path m_beside;
    std::filesystem::path m_name;
    int m_fd = -1;
};

// Test hook: behave as on a file system that has no unnamed files.
namespace temporary_file_hooks {
inline bool withoutUnnamed = false;
} // namespace temporary_file_hooks

// Whether `name` is one of the temporary names made beside `file`: "TASKS.BIN.saving-1a2b3c4d", or
// "TASKS.BIN.1a2b3c4d" as earlier versions made them.
bool isTemporaryName(const std::filesystem::path& file, const std::string& name);

// Removes the temporary files beside `file` that no running save holds: what a crash left.
void sweepTemporaries(const std::filesystem::path& file);

} // namespace tasks
