// The dialog templates of the main window, the About box and the task editor.
#pragma once

#include "platform/dialogs/dialog_template.h"

namespace res {

extern const platform::DialogTemplate kMainDialog;  // 102
extern const platform::DialogTemplate kAboutDialog; // 100
extern const platform::DialogTemplate kTaskDialog;  // 129

// String 101, the About item of the window's menu.
inline constexpr const char* kAboutMenuText = "&About Pelmora...";

} // namespace res
