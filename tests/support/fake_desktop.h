// A desktop for tests: a settable clock, and a record of every tone, silence, run, alarm, message and file dialog.
#pragma once

#include "platform/desktop/desktop.h"

#include <deque>
#include <functional>
#include <vector>

namespace platform {

class FakeDesktop final : public Desktop {
public:
    struct Tone {
        int hz;
        int ms;
        bool operator==(const Tone&) const = default;
    };
    struct Message {
        std::string text;
        MessageIcon icon;
    };

    Time now() override { return clock; }
    std::chrono::milliseconds sinceBoot() override { return bootClock; }
    void beep(int hz, int ms) override { tones.push_back({hz, ms}); }
    void readyTone() override { ++readies; }
    void silenceTone() override { ++silences; }
    bool opensForReading(const std::string& path) override;
    std::optional<std::string> runFile(const std::string& path) override
    {
        runs.push_back(path);
        return runFailure;
    }
    void showAlarm(QWidget*, const Alarm& alarm) override;
    void withdrawAlarm() override { ++withdrawals; }
    void keepAwake() override { setAwake(true); }
    void letSleep() override { setAwake(false); }
    void messageBox(QWidget*, const std::string& text, MessageIcon icon) override;
    std::optional<std::string> chooseFileToOpen(QWidget*) override;

    Time clock = 0;
    std::chrono::milliseconds bootClock{0};
    std::vector<Tone> tones;
    int readies = 0;
    int silences = 0;
    std::vector<std::string> runs;
    std::optional<std::string> runFailure; // what runFile answers
    std::vector<std::string> alarms; // the texts of the alarms shown
    int seenAlarms = 0;              // alarms told while the user looked at the window
    std::function<void()> alarmStop; // the last alarm's Stop
    int withdrawals = 0;
    std::vector<bool> awake;         // each change: kept awake (true), let sleep (false)
    std::vector<Message> messages;
    // Answers for the file-open dialog, taken in order; an empty queue means "cancelled".
    std::deque<std::optional<std::string>> fileAnswers;
    int fileDialogs = 0;
    // Called while a message box would be open (to act inside a nested modal moment).
    std::function<void(const Message&)> onMessage;

private:
    // As on the real desktop, a second hold or release changes nothing.
    void setAwake(bool held)
    {
        if (awake.empty() ? held : awake.back() != held)
            awake.push_back(held);
    }

    DesktopOverride m_install{*this};
};

} // namespace platform
