// The real tone: a faded sine wave through ALSA's default device, or the desktop bell when there is none.
#include "platform/desktop.h"

#include <QApplication>
#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

namespace platform {

namespace {

constexpr unsigned kRate = 48000;
constexpr long kFadeFrames = kRate * 2 / 1000;
constexpr double kAmplitude = 0.9 * 32767.0;
constexpr unsigned kLatencyUs = 100000;
// Samples are made a block at a time so a long tone never needs a long buffer.
constexpr long kBlockFrames = 4800;

// ALSA reports a missing device on stderr by itself; the bell already stands in for it.
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void quietAlsaOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(silentAlsaError); });
}

bool isPlayable(int hz, int ms)
{
    return hz > 0 && hz <= 20000 && ms > 0;
}

long frameCount(int ms)
{
    return std::lround(static_cast<double>(kRate) * ms / 1000.0);
}

// A sine of hz hertz, ramped up and down over the first and last frames so the speaker does not click.
class Tone {
public:
    Tone(int hz, long frames) : m_hz(hz), m_frames(frames), m_fade(std::min(kFadeFrames, frames / 2)) {}

    long frames() const { return m_frames; }

    std::int16_t sample(long i) const
    {
        const double phase = 2.0 * std::numbers::pi * m_hz * static_cast<double>(i) / kRate;
        return static_cast<std::int16_t>(std::lround(kAmplitude * envelope(i) * std::sin(phase)));
    }

private:
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

// The default playback device, closed on every way out.
class Pcm {
public:
    Pcm()
    {
        // Non-blocking open: a busy hardware device would otherwise hold the caller until it frees up.
        if (snd_pcm_open(&m_pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
            m_pcm = nullptr;
        else if (snd_pcm_nonblock(m_pcm, 0) < 0)
            close();
    }
    ~Pcm() { close(); }
    Pcm(const Pcm&) = delete;
    Pcm& operator=(const Pcm&) = delete;

    bool configure()
    {
        return m_pcm
            && snd_pcm_set_params(m_pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                                  kLatencyUs) == 0;
    }

    bool play(const Tone& tone)
    {
        std::vector<std::int16_t> block;
        for (long first = 0; first < tone.frames(); first += kBlockFrames) {
            block.clear();
            const long last = std::min(first + kBlockFrames, tone.frames());
            for (long i = first; i < last; ++i)
                block.push_back(tone.sample(i));
            if (!write(block))
                return false;
        }
        return snd_pcm_drain(m_pcm) == 0;
    }

private:
    bool write(const std::vector<std::int16_t>& block)
    {
        std::size_t done = 0;
        while (done < block.size()) {
            snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, block.data() + done, block.size() - done);
            if (n < 0)
                n = snd_pcm_recover(m_pcm, static_cast<int>(n), 1);
            if (n < 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    void close()
    {
        if (m_pcm)
            snd_pcm_close(m_pcm);
        m_pcm = nullptr;
    }

    snd_pcm_t* m_pcm = nullptr;
};

void ringBell()
{
    // QApplication::beep() needs a running application; without one there is nothing to ring.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
}

// True when the tone reached a device; false when there was none to open.
bool playTone(int hz, int ms)
{
    quietAlsaOnce();
    Pcm pcm;
    if (!pcm.configure())
        return false;
    pcm.play(Tone(hz, frameCount(ms)));
    return true;
}

} // namespace

void beep(int hz, int ms)
{
    if (!isPlayable(hz, ms))
        return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (!playTone(hz, ms))
        ringBell();
    // Some devices report the drain before the sound is out, and the bell takes no time at all.
    std::this_thread::sleep_until(end);
}

} // namespace platform
