// A tone through ALSA's default device, opened for each tone and closed after it.
#pragma once

#include "platform/sound/tone_output.h"

#include <memory>

namespace platform::tone {

class DeviceTone;

// Lives on the tone thread, which alone uses it: the last tone's device goes with it, never before.
class AlsaOutput {
public:
    // Reads ALSA's configuration once per process, ahead of the first tone, and keeps ALSA off stderr.
    AlsaOutput();
    // Plays the wave on the default device until it is played out, cut, or `deadline` passes; returns by then
    // (or at once when cut) even when the device does not answer, which keeps it busy until it does.
    Result play(const Wave& wave, const CutSignal& signal, Clock::time_point deadline);
    // Waits until `until` for the last tone's device to be let go; false when it is still held.
    bool release(Clock::time_point until) const;

private:
    std::shared_ptr<DeviceTone> m_lastTone;
};

} // namespace platform::tone
