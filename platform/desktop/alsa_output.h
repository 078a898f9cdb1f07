// A tone through ALSA's default device, opened for each tone and closed after it.
#pragma once

#include "platform/desktop/tone_output.h"

namespace platform::tone {

// Reads ALSA's configuration once per process, ahead of the first tone, and keeps ALSA off stderr.
void readyAlsa();
// Plays the wave on the default device until it is played out, cut, or `deadline` passes.
Result playThroughAlsa(const Wave& wave, const CutSignal& signal, Clock::time_point deadline);

} // namespace platform::tone
