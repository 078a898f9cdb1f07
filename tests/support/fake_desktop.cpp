// A desktop for tests that records what the user would have seen and heard.
#include "tests/support/fake_desktop.h"

#include "platform/desktop/run_file.h"

namespace platform {

// Run files are real files in the test's folder; the check is the real one.
bool FakeDesktop::opensForReading(const std::string& path)
{
    return platform::opensForReading(path);
}

void FakeDesktop::showAlarm(QWidget*, const Alarm& alarm)
{
    if (alarm.seen)
        ++seenAlarms;
    else
        alarms.push_back(alarm.text);
    alarmStop = alarm.stop;
}

void FakeDesktop::messageBox(QWidget*, const std::string& text, MessageIcon icon)
{
    messages.push_back({text, icon});
    if (onMessage)
        onMessage(messages.back());
}

std::optional<std::string> FakeDesktop::chooseFileToOpen(QWidget*)
{
    ++fileDialogs;
    if (fileAnswers.empty())
        return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

} // namespace platform
