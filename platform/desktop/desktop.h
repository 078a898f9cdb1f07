// The one seam between the windows and the outside world: clock, tone, running files, the alarm the user
// sees, message boxes, the file-open dialog. Tests install a recording fake in place of the real desktop.
#pragma once

#include "platform/core/clock.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace platform {

enum class MessageIcon { None, Information, Error };

// An alarm that went off, as the desktop is told of it.
struct Alarm {
    std::string text;           // one line: the task's, or which countdown ended
    bool seen = false;          // the user is looking at the window: shown only if the sound fails
    std::function<void()> stop; // what the notification's Stop does; empty when the run is already over
};

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual Time now() = 0;
    // A clock that goes on counting while the machine sleeps or the process is stopped.
    virtual std::chrono::milliseconds sinceBoot() = 0;
    // Starts a tone and returns at once. A tone asked for while one plays follows it; one, not more.
    virtual void beep(int hz, int ms) = 0;
    // Readies the tone's thread and sound setup ahead of the first tone, so that one is not late.
    virtual void readyTone() = 0;
    // Ends the tone now and forgets the one waiting; nothing to do when no tone was ever readied.
    virtual void silenceTone() = 0;
    // Whether the file exists and opens for reading: the test before a run file is started.
    virtual bool opensForReading(const std::string& path) = 0;
    // Starts the file through the shell (or the default application) and returns without waiting; why it
    // cannot be started, when that is known before starting it.
    virtual std::optional<std::string> runFile(const std::string& path) = 0;
    // Asks for the user's attention to the window and shows a desktop notification of the alarm, in place
    // of the one showing; a seen alarm waits, and shows only if the sound cannot be played.
    virtual void showAlarm(QWidget* window, const Alarm& alarm) = 0;
    // Takes the notification and the attention request back, if there are any.
    virtual void withdrawAlarm() = 0;
    // Keeps the machine from idling or suspending by itself until letSleep (a run is in progress).
    virtual void keepAwake() = 0;
    virtual void letSleep() = 0;
    // A modal message box with an OK button.
    virtual void messageBox(QWidget* parent, const std::string& text, MessageIcon icon) = 0;
    // A modal open dialog for one existing file; the full path, or nothing when cancelled.
    virtual std::optional<std::string> chooseFileToOpen(QWidget* parent) = 0;
};

// The desktop in use: the real one unless a test installed another.
Desktop& desktop();

// Installs a desktop for the life of this object (tests), restoring the previous one afterwards.
class DesktopOverride {
public:
    explicit DesktopOverride(Desktop& replacement);
    ~DesktopOverride();
    DesktopOverride(const DesktopOverride&) = delete;
    DesktopOverride& operator=(const DesktopOverride&) = delete;

private:
    Desktop* m_previous;
};

} // namespace platform
