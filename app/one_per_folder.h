// One Pelmora per task file: a later start brings the running window to the front and ends.
#pragma once

namespace platform {
class SingleInstance;
}
class QWidget;

// Whether this process is to run: false when another Pelmora holds the task file (exitCode then 0 when
// it brought its window to the front, else 1 with the reason in a message box and on standard error).
bool claimTaskFile(platform::SingleInstance& instance, int& exitCode);

// Shows `window` in front of the others and gives it the focus; a modal dialog open over it comes first.
void bringToFront(QWidget& window);
