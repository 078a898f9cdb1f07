// One Pelmora per task file: the name its socket takes, and the folder lock.
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

TEST(SingleInstance, OneHolderAFolderAndASilentHolderIsNoAnswer)
{
    using Claim = platform::SingleInstance::Claim;
    constexpr int kShortAnswerMs = 300;
    TempWorkDir work;
    {
        platform::SingleInstance holder("TASKS.BIN");
        ASSERT_EQ(holder.claim(), Claim::First) << holder.problem().toStdString();
        EXPECT_TRUE(holder.problem().isEmpty()) << holder.problem().toStdString();

        // The holder's event loop never runs here: the kernel accepts the connection, nobody answers.
        platform::SingleInstance later(fs::path(work.path()) / "TASKS.BIN", kShortAnswerMs);
        EXPECT_EQ(later.claim(), Claim::HolderSilent);
        EXPECT_EQ(later.folder().toStdString(), fs::canonical(work.path()).string());

        TempWorkDir other;
        platform::SingleInstance elsewhere("TASKS.BIN", kShortAnswerMs);
        EXPECT_EQ(elsewhere.claim(), Claim::First);
    }
    // A holder that is gone, however it went, leaves nothing that stops the next start.
    platform::SingleInstance next(fs::path(work.path()) / "TASKS.BIN");
    EXPECT_EQ(next.claim(), Claim::First);
}
