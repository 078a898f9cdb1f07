// The one seam between the windows and the outside world: clock, tone, running files, the alarm the user
// sees, message boxes, the file-open dialog. Tests install a recording fake in place of the real desktop.
#pragma once

#include "platform/core/clock.h"

#include <optional>
#include <string>

class QWidget;

namespace platform {

enum class MessageIcon { None, Information, Error };

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual Time now() = 0;
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
    // Asks for the user's attention to the window and shows a desktop notification with this text.
    virtual void showAlarm(QWidget* window, const std::string& text) = 0;
    // Takes the notification back, if one is showing.
    virtual void withdrawAlarm() = 0;
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
