// A tone through ALSA's default device, opened for each tone and closed after it.
#pragma once

#include "platform/desktop/tone_output.h"

namespace platform::tone {

// Reads ALSA's configuration once per process, ahead of the first tone, and keeps ALSA off stderr.
void readyAlsa();
// Plays the wave on the default device until it is played out, cut, or `deadline` passes; returns by then (or
// at once when cut) even when the device does not answer, which keeps it busy until it does.
Result playThroughAlsa(const Wave& wave, const CutSignal& signal, Clock::time_point deadline);
// Waits until `until` for the last tone's device to be let go; false when it is still held.
bool releaseAlsa(Clock::time_point until);

} // namespace platform::tone
