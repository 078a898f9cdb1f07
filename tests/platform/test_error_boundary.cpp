// The error boundary: every kind of escaping exception is reported once and the program goes on.
#include "platform/dialogs/error_boundary.h"
#include "platform/core/errors.h"
#include "tests/support/fake_desktop.h"

#include <gtest/gtest.h>

#include <new>

namespace {

std::string reportOf(void (*raise)())
{
    platform::FakeDesktop fake;
    const bool completed = platform::guarded(nullptr, raise);
    EXPECT_FALSE(completed);
    EXPECT_EQ(fake.messages.size(), 1u);
    if (fake.messages.empty())
        return {};
    EXPECT_EQ(fake.messages[0].icon, platform::MessageIcon::Error);
    return fake.messages[0].text;
}

} // namespace

TEST(ErrorBoundary, NamesEachKindOfError)
{
    EXPECT_EQ(reportOf([] { throw platform::InvalidArgumentError(); }), "An invalid argument was encountered.");
    EXPECT_EQ(reportOf([] { throw std::bad_alloc(); }), "Out of memory.");
    const std::string archive = reportOf(
        [] { throw platform::ArchiveError(platform::ArchiveError::Cause::EndOfFile, "TASKS.BIN"); });
    EXPECT_NE(archive.find("TASKS.BIN"), std::string::npos);
    const std::string file = reportOf([] { throw platform::FileError("TASKS.BIN", "No space left on device"); });
    EXPECT_NE(file.find("TASKS.BIN"), std::string::npos);
    EXPECT_NE(file.find("No space left on device"), std::string::npos);
    EXPECT_FALSE(reportOf([] { throw platform::InvalidTimeError(); }).empty());
    EXPECT_NE(reportOf([] { throw 42; }).find("unknown"), std::string::npos);
}

TEST(ErrorBoundary, AbandonsTheHandlerAtTheThrowAndRunsCleanHandlersSilently)
{
    platform::FakeDesktop fake;
    int stepsDone = 0;
    EXPECT_FALSE(platform::guarded(nullptr, [&] {
        ++stepsDone;
        throw platform::InvalidArgumentError();
        ++stepsDone; // never reached
    }));
    EXPECT_EQ(stepsDone, 1);
    EXPECT_TRUE(platform::guarded(nullptr, [&] { ++stepsDone; }));
    EXPECT_EQ(stepsDone, 2);
    EXPECT_EQ(fake.messages.size(), 1u);
}

TEST(ErrorBoundary, AFailingReportDoesNotEscape)
{
    platform::FakeDesktop fake;
    fake.onMessage = [](const platform::FakeDesktop::Message&) { throw std::runtime_error("box failed"); };
    EXPECT_FALSE(platform::guarded(nullptr, [] { throw platform::InvalidArgumentError(); }));
}
