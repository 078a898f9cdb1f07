// The real tone: a faded sine wave through ALSA's default device on a thread of its own, or the desktop bell.
#include "platform/desktop/tone.h"

#include <QApplication>
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

constexpr unsigned kRate = 48000;
constexpr long kFadeFrames = kRate * 2 / 1000;
constexpr double kAmplitude = 0.9 * 32767.0;
constexpr unsigned kLatencyUs = 100000;
// Samples go out ten milliseconds at a time: a stop is noticed between blocks, well inside 50 ms.
constexpr long kBlockFrames = kRate / 100;
constexpr long kCutCheckUs = 5000;
constexpr int kWaitMs = 10;

// ALSA reports a missing device on stderr by itself; the bell already stands in for it.
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

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

// Whether the tone playing now is to stop: asked between blocks, and waited on for the timed parts.
class CutSignal {
public:
    virtual ~CutSignal() = default;
    virtual bool cut() const = 0;
    // Waits until `until` or a cut, whichever comes first; true when cut.
    virtual bool waitUntil(std::chrono::steady_clock::time_point until) const = 0;
};

// The default playback device, closed on every way out; a stopped tone is dropped, not drained.
class Pcm {
public:
    Pcm()
    {
        // Non-blocking throughout: a busy or stalled device must never hold the tone thread past a stop.
        if (snd_pcm_open(&m_pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
            m_pcm = nullptr;
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

    void play(const Tone& tone, const CutSignal& signal)
    {
        std::vector<std::int16_t> block;
        for (long first = 0; first < tone.frames(); first += kBlockFrames) {
            block.clear();
            const long last = std::min(first + kBlockFrames, tone.frames());
            for (long i = first; i < last; ++i)
                block.push_back(tone.sample(i));
            if (!write(block, signal))
                return drop();
        }
        // A tone shorter than the buffer has not started yet: start it, or a stop would wait for a drain.
        if (snd_pcm_state(m_pcm) == SND_PCM_STATE_PREPARED)
            snd_pcm_start(m_pcm);
        // Played out, nothing is left to drain (and a drain would only report "again" on a non-blocking device).
        if (waitForPlayedOut(signal))
            drop();
    }

private:
    // Waits for room a few milliseconds at a time, asking for a stop each round; false when cut or failed.
    bool write(const std::vector<std::int16_t>& block, const CutSignal& signal)
    {
        std::size_t done = 0;
        while (done < block.size()) {
            if (signal.cut())
                return false;
            const snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, block.data() + done, block.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            const int error = (n == 0 || n == -EAGAIN) ? snd_pcm_wait(m_pcm, kWaitMs) : static_cast<int>(n);
            // An underrun is recovered from; a suspended device is not, as its recovery waits for the resume.
            if (error < 0 && (error == -ESTRPIPE || snd_pcm_recover(m_pcm, error, 1) < 0))
                return false;
        }
        return true;
    }

    // Waits while the device still holds samples, so a stop can drop them; true when cut meanwhile.
    bool waitForPlayedOut(const CutSignal& signal)
    {
        snd_pcm_sframes_t delay = 0;
        while (snd_pcm_state(m_pcm) == SND_PCM_STATE_RUNNING && snd_pcm_delay(m_pcm, &delay) == 0 && delay > 0) {
            const auto step = std::chrono::microseconds(std::min<long>(delay * 1000000L / kRate, kCutCheckUs));
            if (signal.waitUntil(std::chrono::steady_clock::now() + step))
                return true;
        }
        return signal.cut();
    }

    void drop()
    {
        snd_pcm_drop(m_pcm);
    }

    void close()
    {
        if (m_pcm)
            snd_pcm_close(m_pcm);
        m_pcm = nullptr;
    }

    snd_pcm_t* m_pcm = nullptr;
};

// QApplication::beep() belongs to the GUI thread; without a running application there is nothing to ring.
void ringBellOnGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app))
        QMetaObject::invokeMethod(app, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

struct ToneRequest {
    int hz;
    int ms;
};

// One tone at a time on a thread of its own; one more may wait for it. Destroying it ends the thread.
class TonePlayer final : public CutSignal {
public:
    TonePlayer() : m_thread([this] { run(); }) {}
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    ~TonePlayer() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
            m_next.reset();
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void request(ToneRequest tone)
    {
        {
            std::lock_guard lock(m_mutex);
            // Ticks that fall due while one tone plays and another waits are not made up.
            if (!m_current)
                m_current = tone;
            else if (!m_next)
                m_next = tone;
        }
        m_wake.notify_all();
    }

    void silence()
    {
        std::lock_guard lock(m_mutex);
        m_next.reset();
        if (m_playing)
            m_cut = true;
        else
            m_current.reset();
        m_wake.notify_all();
    }

    bool cut() const override
    {
        std::lock_guard lock(m_mutex);
        return m_cut || m_quit;
    }

    bool waitUntil(std::chrono::steady_clock::time_point until) const override
    {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_until(lock, until, [this] { return m_cut || m_quit; });
    }

private:
    void run()
    {
        // ALSA's configuration is read once per process: read it now, not when the first tone is due.
        snd_lib_error_set_handler(silentAlsaError);
        snd_config_update();
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_quit || m_current; });
            if (m_quit)
                return;
            const ToneRequest tone = *m_current;
            m_playing = true;
            m_cut = false;
            lock.unlock();
            play(tone);
            lock.lock();
            m_playing = false;
            m_current = std::exchange(m_next, std::nullopt);
        }
    }

    // The tone, or the bell and a silent wait of the same length; either way it takes the whole tone's time.
    void play(ToneRequest tone)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(tone.ms);
        {
            Pcm pcm;
            if (pcm.configure())
                pcm.play(Tone(tone.hz, frameCount(tone.ms)), *this);
            else if (!cut()) // opening a missing device may take long enough for a STOP to come first
                ringBellOnGuiThread();
        }
        // Some devices report the drain before the sound is out, and the bell takes no time at all.
        waitUntil(end);
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;
    std::optional<ToneRequest> m_current; // playing, or about to
    std::optional<ToneRequest> m_next;    // waits for the current one to end
    bool m_playing = false;               // the thread has taken m_current up
    bool m_cut = false;
    bool m_quit = false;
    std::thread m_thread; // last: it starts when everything it uses is ready
};

// The player, from the first tone or readying until shutDownTone(). Used from the GUI thread only.
std::unique_ptr<TonePlayer>& player()
{
    static std::unique_ptr<TonePlayer> player;
    return player;
}

// Set once by the desktop at start-up, read on the GUI thread only.
std::function<void(const std::string&)>& toneFailureHandler()
{
    static std::function<void(const std::string&)> handler;
    return handler;
}

TonePlayer& readyPlayer()
{
    if (!player())
        player() = std::make_unique<TonePlayer>();
    return *player();
}

} // namespace

void beep(int hz, int ms)
{
    if (!isPlayable(hz, ms))
        return;
    readyPlayer().request({hz, ms});
}

void readyTone()
{
    readyPlayer();
}

void silenceTone()
{
    if (player())
        player()->silence();
}

void shutDownTone()
{
    player().reset();
}

void setToneFailureHandler(std::function<void(const std::string& reason)> handler)
{
    toneFailureHandler() = std::move(handler);
}

} // namespace platform
