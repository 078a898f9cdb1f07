// The clock face for assistive technology: its text to read, and the moments it announces.
#pragma once

class CDia_Main;

enum class ClockEvent { Start, Alarm, Stop };

// Gives the main window an interface whose children begin with the clock and its announcements. Must
// run before the window is first asked for its interface.
void installClockAccessibility();

// Lets assistive technology's copy of the clock's text follow the face. A changed text is no
// announcement: screen readers speak it only when the user reads the clock.
void clockChanged(CDia_Main& window);

// Tells assistive technology that a run started, alarmed or stopped. An alarm that repeats every tick is
// told once per run.
void announceClock(CDia_Main& window, ClockEvent event);
