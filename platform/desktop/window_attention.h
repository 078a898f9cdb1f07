// A window's attention request and its activation at the user's word, as the window manager reads them.
#pragma once

class QString;
class QWidget;

namespace platform {

// On X11 both the EWMH demands-attention state and the ICCCM urgency flag, which some window managers
// read alone; set and cleared by us, so a request ends when the alarm does, activated or not.
void setAttention(QWidget* window, bool wanted);
// Restores, raises and activates the window because the user asked for it elsewhere (a notification). A
// Wayland activation token, when one came, lets the compositor grant the focus.
void activateAtUsersRequest(QWidget* window, const QString& activationToken);

} // namespace platform
