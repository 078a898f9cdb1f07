// A tone through the desktop's sound server over the PulseAudio protocol (PulseAudio, or PipeWire's pipewire-pulse).
#pragma once

#include "platform/sound/tone_output.h"

struct pa_context;
struct pa_mainloop;

namespace platform::tone {

// One connection to the server, kept from tone to tone and made again when it breaks. Its main loop runs
// only on the calling (tone) thread, and only as long as a call waits: every wait has a deadline.
class PulseOutput {
public:
    PulseOutput();
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Connects ahead of the first tone; a connection still pending at `deadline` goes on at the next tone.
    void ready(const CutSignal& signal, Clock::time_point deadline);
    // Plays the wave in one stream of its own; Unavailable when no server is there to answer.
    Result play(const Wave& wave, const CutSignal& signal, Clock::time_point deadline);
    void disconnect();

private:
    enum class Link { Ready, NoServer, Pending };

    Link connect(const CutSignal& signal, Clock::time_point deadline);

    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};

} // namespace platform::tone
