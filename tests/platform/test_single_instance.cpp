// The name that the lock and the socket of one Pelmora per task file share.
#include "platform/desktop/single_instance.h"
#include "tests/support/temp_work_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string nameOf(const fs::path& taskFile)
{
    return platform::instanceName(taskFile).toStdString();
}

} // namespace

TEST(InstanceName, OneNamePerTaskFileWithLinksResolved)
{
    TempWorkDir first;
    const std::string inFirst = nameOf("TASKS.BIN");
    EXPECT_EQ(inFirst, nameOf(fs::path(first.path()) / "TASKS.BIN"));
    {
        // Neither folder has a task file yet: they must still not share a name.
        TempWorkDir second;
        EXPECT_NE(nameOf("TASKS.BIN"), inFirst);

        fs::create_directory_symlink(first.path(), second.file("folder-link"));
        EXPECT_EQ(nameOf(fs::path(second.file("folder-link")) / "TASKS.BIN"), inFirst);

        TempWorkDir::write(first.file("TASKS.BIN").c_str(), "");
        fs::create_symlink(first.file("TASKS.BIN"), second.file("TASKS.BIN"));
        EXPECT_EQ(nameOf("TASKS.BIN"), inFirst);
    }
}
