// A desktop for tests that records what the user would have seen and heard.
#include "platform/fake_desktop.h"

namespace platform {

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
