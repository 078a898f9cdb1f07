// What a sound output plays and how it ends: the faded sine, the stop signal, the outcome of one tone, and the
// outputs the sound module gives.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace platform::tone {

using Clock = std::chrono::steady_clock;

inline constexpr unsigned kRate = 48000;
// Samples go out ten milliseconds at a time: a stop is noticed between blocks, well inside 50 ms.
inline constexpr long kBlockFrames = kRate / 100;
// How often a wait looks at the stop signal and its deadline again.
inline constexpr auto kCutCheck = std::chrono::milliseconds(5);

// A sine of hz hertz, ramped up and down over the first and last frames so the speaker does not click.
class Wave {
public:
    Wave(int hz, int ms)
        : m_hz(hz), m_frames(std::lround(static_cast<double>(kRate) * ms / 1000.0)),
          m_fade(std::min(kFadeFrames, m_frames / 2))
    {
    }

    long frames() const { return m_frames; }

    std::int16_t sample(long i) const
    {
        const double phase = 2.0 * std::numbers::pi * m_hz * static_cast<double>(i) / kRate;
        return static_cast<std::int16_t>(std::lround(kAmplitude * envelope(i) * std::sin(phase)));
    }

    // Frames [first, first + count) of the tone, cut short at its end.
    std::vector<std::int16_t> block(long first, long count) const
    {
        std::vector<std::int16_t> out;
        for (long i = first; i < std::min(first + count, m_frames); ++i)
            out.push_back(sample(i));
        return out;
    }

private:
    static constexpr long kFadeFrames = kRate * 2 / 1000;
    static constexpr double kAmplitude = 0.9 * 32767.0;

    double envelope(long i) const
    {
        const long edge = std::min(i, m_frames - 1 - i);
        if (m_fade == 0 || edge >= m_fade)
            return 1.0;
        return 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(edge) / m_fade);
    }

    int m_hz;
    long m_frames;
    long m_fade;
};

// Whether the wait going on is to end now: a STOP, the program's end, or (while readying) a tone that is due.
class CutSignal {
public:
    virtual ~CutSignal() = default;
    virtual bool cut() const = 0;
    // Waits until `until` or a cut, whichever comes first; true when cut.
    virtual bool waitUntil(Clock::time_point until) const = 0;
};

// How one tone ended on an output. `Unavailable` leaves the tone to the next output; `Failed` means that the
// output was there but could not play it in its time, so no other output is tried for this tone.
enum class Outcome { Played, Cut, Unavailable, Failed };

struct Result {
    Outcome outcome;
    std::string reason; // for Unavailable and Failed: what the user is told
};

// The ways to sound a tone, from the sound module: the sound server, else the sound device. Used by the tone
// thread alone, which makes and destroys it.
class Outputs {
public:
    virtual ~Outputs() = default;
    // Connects to the sound server ahead of the first tone; a connection still pending at `deadline` goes on later.
    virtual void ready(const CutSignal& signal, Clock::time_point deadline) = 0;
    // Unavailable when no server answers; the tone may then go to the device.
    virtual Result playOnServer(const Wave& wave, const CutSignal& signal, Clock::time_point deadline) = 0;
    virtual Result playOnDevice(const Wave& wave, const CutSignal& signal, Clock::time_point deadline) = 0;
    // Waits until `until` for the last tone's device to be let go; false when it is still held.
    virtual bool release(Clock::time_point until) = 0;
};

} // namespace platform::tone
