// The sound module: the sound server's and ALSA's libraries come with it, loaded by the tone thread when the
// first alarm readies its sound, so that a start that never sounds one does not load them at all.
#include "platform/sound/alsa_output.h"
#include "platform/sound/pulse_output.h"
#include "platform/sound/tone_output.h"
#include "platform/sound/sound_module.h"

namespace platform::tone {

namespace {

class ModuleOutputs final : public Outputs {
public:
    void ready(const CutSignal& signal, Clock::time_point deadline) override { m_pulse.ready(signal, deadline); }
    Result playOnServer(const Wave& wave, const CutSignal& signal, Clock::time_point deadline) override
    {
        return m_pulse.play(wave, signal, deadline);
    }
    Result playOnDevice(const Wave& wave, const CutSignal& signal, Clock::time_point deadline) override
    {
        return m_alsa.play(wave, signal, deadline);
    }
    bool release(Clock::time_point until) override { return m_alsa.release(until); }

private:
    // ALSA's configuration is read once per process: here, when the sound is readied, not when a tone is due.
    AlsaOutput m_alsa;
    PulseOutput m_pulse;
};

} // namespace

} // namespace platform::tone

extern "C" __attribute__((visibility("default"))) platform::tone::Outputs* PELMORA_SOUND_ENTRY()
{
    return new platform::tone::ModuleOutputs;
}
