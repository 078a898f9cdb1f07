// The dialog templates, in dialog units and template order (which is also the tab order).
#include "res/templates.h"

#include "res/control_names.h"
#include "res/resource.h"

namespace res {

using platform::ControlKind;
using platform::ControlTemplate;
using platform::kNoId;
using namespace platform; // style bits

namespace {

constexpr ControlTemplate kMainControls[] = {
    {IDC_PRESET, ControlKind::HScrollBar, "", 7, 69, 251, 11, TabStop},
    {IDC_START, ControlKind::PushButton, "START", 266, 7, 50, 14, TabStop},
    {IDC_CLEAR, ControlKind::PushButton, "Clear", 266, 26, 50, 14, TabStop},
    {ID_HELP, ControlKind::PushButton, "&Help", 266, 45, 50, 16, TabStop},
    {IDC_SHOWLIST, ControlKind::PushButton, "Show List", 266, 66, 50, 14, TabStop},
    {IDC_LIST, ControlKind::ListView, "", 7, 88, 309, 173, TabStop | Border | ShowSelAlways | MultiSelect},
    {IDC_NEW, ControlKind::PushButton, "New", 7, 267, 50, 14, TabStop},
    {IDC_EDIT, ControlKind::PushButton, "Edit", 61, 267, 50, 14, TabStop},
    {IDC_REMOVE, ControlKind::PushButton, "Remove", 115, 267, 50, 14, TabStop},
    {IDC_MAIN_OK, ControlKind::PushButton, "OK", 266, 267, 50, 14, TabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 212, 267, 50, 14, TabStop},
};

constexpr ControlTemplate kAboutControls[] = {
    {IDR_MAINFRAME, ControlKind::Icon, "", 11, 17, 21, 20, 0},
    {kNoId, ControlKind::Label, "Pelmora Version " PELMORA_VERSION, 40, 10, 119, 8, 0},
    {IDOK, ControlKind::DefPushButton, "OK", 178, 7, 50, 16, TabStop},
};

constexpr unsigned kDigitsBox = TabStop | Number | CenterText | AutoHScroll | Border;

constexpr ControlTemplate kTaskControls[] = {
    {IDC_TASK_DESCRIPTION, ControlKind::Edit, "", 7, 18, 268, 46,
     TabStop | Multiline | WantReturn | AutoHScroll | VScroll | Border},
    {IDC_TASK_DELAY, ControlKind::RadioButton, "Delay:", 19, 92, 37, 10, TabStop},
    {IDC_TASK_DELAY_PICKER, ControlKind::DateTimePicker, "", 63, 87, 50, 15, TabStop | RightAlign},
    {IDC_TASK_COUNT_DOWN, ControlKind::RadioButton, "count down", 132, 92, 55, 10, TabStop | Disabled},
    {IDC_TASK_COUNT_UP, ControlKind::RadioButton, "count up", 201, 92, 55, 10, TabStop | Disabled},
    {IDC_TASK_TIME, ControlKind::RadioButton, "Time:", 19, 115, 33, 10, TabStop},
    {IDC_TASK_TIME_PICKER, ControlKind::DateTimePicker, "", 63, 110, 50, 15, TabStop | RightAlign | Disabled},
    {IDC_TASK_BEEP, ControlKind::RadioButton, "Beep:", 19, 158, 35, 10, TabStop},
    {IDC_TASK_BEEP_HZ, ControlKind::Edit, "", 63, 154, 33, 14, kDigitsBox},
    {IDC_TASK_BEEP_MS, ControlKind::Edit, "", 128, 154, 33, 14, kDigitsBox},
    {IDC_TASK_RUN, ControlKind::RadioButton, "Run file:", 19, 182, 43, 10, TabStop},
    {IDC_TASK_RUN_FILE, ControlKind::Edit, "", 63, 178, 148, 14, TabStop | AutoHScroll | Border | Disabled},
    {IDC_TASK_SELECT, ControlKind::PushButton, "Select...", 217, 178, 50, 14, TabStop | Disabled},
    {IDOK, ControlKind::DefPushButton, "OK", 225, 212, 50, 14, TabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 171, 212, 50, 14, TabStop},
    {kNoId, ControlKind::GroupBox, "Wait for:", 7, 71, 268, 65, 0},
    {kNoId, ControlKind::GroupBox, "Then do:", 7, 140, 268, 65, 0},
    {kNoId, ControlKind::Label, "Hertz", 101, 160, 18, 8, 0},
    {kNoId, ControlKind::Label, "Mss", 168, 160, 13, 8, 0},
    {kNoId, ControlKind::Label, "Description:", 7, 7, 47, 8, 0},
};

} // namespace

const platform::DialogTemplate kMainDialog{IDD_MAIN, "Pelmora", 323, 289, kMainControls, kMainNames};
const platform::DialogTemplate kAboutDialog{IDD_ABOUTBOX, "About Pelmora", 235, 110, kAboutControls, {}};
const platform::DialogTemplate kTaskDialog{IDD_TASK, "Task", 282, 233, kTaskControls, kTaskNames};

} // namespace res
