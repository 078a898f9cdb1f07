// What assistive technology reads for the controls and the clock: names the captions do not give.
#pragma once

#include "platform/dialogs/dialog_template.h"
#include "res/resource.h"

namespace res {

// Buttons, radio buttons and labels are read by their captions; these controls have none of their own.
inline constexpr platform::ControlName kMainNames[] = {
    {IDC_PRESET, "Countdown preset"},
    {IDC_LIST, "Tasks"},
};

// Each box and picker takes the name of the caption that stands beside it.
inline constexpr platform::ControlName kTaskNames[] = {
    {IDC_TASK_DESCRIPTION, "Description"},
    {IDC_TASK_DELAY_PICKER, "Delay"},
    {IDC_TASK_TIME_PICKER, "Time"},
    {IDC_TASK_BEEP_HZ, "Hertz"},
    {IDC_TASK_BEEP_MS, "Mss"},
    {IDC_TASK_RUN_FILE, "Run file"},
};

// The clock face is painted, not a control: its text is its name, this says what it is.
inline constexpr const char* kClockDescription = "Clock";
// What the clock announces when a run starts, alarms and stops.
inline constexpr const char* kAnnounceStart = "Timer started";
inline constexpr const char* kAnnounceAlarm = "Alarm";
inline constexpr const char* kAnnounceStop = "Timer stopped";

} // namespace res
