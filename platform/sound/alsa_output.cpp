// A tone through ALSA's default device: non-blocking throughout, every wait bounded by the tone's deadline.
#include "platform/sound/alsa_output.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace platform::tone {

namespace {

constexpr unsigned kLatencyUs = 100000;
constexpr int kWaitMs = 10;
// Silence written after each tone. ALSA's pulse plugin keeps its last few frames back until a drain, which a
// stop could not cut short, and reports them played: without a tail, the fade-out is lost and the tone clicks.
constexpr long kTailFrames = kBlockFrames;
// A device past its tone's deadline by this much is not answering: the tone is given up, not waited for.
constexpr auto kAnswerMargin = std::chrono::milliseconds(50);
// How long a tone, or the program's end, waits for the last tone's device to be let go.
constexpr auto kReleaseWait = std::chrono::milliseconds(100);

// ALSA reports a missing device on stderr by itself; the program says it once, in its own words.
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

Result unavailable(int error)
{
    return {Outcome::Unavailable, std::string("no sound server or sound device answered: ") + snd_strerror(error)};
}

// The default playback device, closed on every way out; a stopped or stuck tone is dropped, not drained.
class Pcm {
public:
    Pcm()
    {
        // Non-blocking: a busy or stalled device must never hold the tone thread past a stop.
        m_error = snd_pcm_open(&m_pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (m_error < 0)
            m_pcm = nullptr;
        else
            m_error = snd_pcm_set_params(m_pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                                         kLatencyUs);
    }
    ~Pcm()
    {
        if (m_pcm)
            snd_pcm_close(m_pcm);
    }
    Pcm(const Pcm&) = delete;
    Pcm& operator=(const Pcm&) = delete;

    int error() const { return m_error; }

    Result play(const Wave& wave, const CutSignal& signal, Clock::time_point deadline)
    {
        for (long first = 0; first < wave.frames(); first += kBlockFrames) {
            if (signal.cut())
                return drop(Outcome::Cut);
            if (!write(wave.block(first, kBlockFrames), signal, deadline))
                return signal.cut() ? drop(Outcome::Cut)
                                    : drop(Outcome::Failed, "the sound device did not take the tone in its time");
        }
        // The tone is whole without its tail: a device with no room left for it has all it needs.
        write(std::vector<std::int16_t>(kTailFrames, 0), signal, deadline);
        // A tone shorter than the buffer has not started yet: start it, or a stop would wait for a drain.
        if (snd_pcm_state(m_pcm) == SND_PCM_STATE_PREPARED)
            snd_pcm_start(m_pcm);
        // Played out, nothing is left to drain; a device still holding samples at the deadline is stuck, and
        // what it holds is dropped so that the next tone finds it free.
        return drop(waitForPlayedOut(signal, deadline) ? Outcome::Cut : Outcome::Played);
    }

private:
    // Waits for room a few milliseconds at a time, asking for a stop each round; false when cut, failed or late.
    bool write(const std::vector<std::int16_t>& block, const CutSignal& signal, Clock::time_point deadline)
    {
        std::size_t done = 0;
        while (done < block.size()) {
            if (signal.cut() || Clock::now() >= deadline)
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

    // Waits while the device still holds samples, up to the deadline; true when cut meanwhile.
    bool waitForPlayedOut(const CutSignal& signal, Clock::time_point deadline)
    {
        snd_pcm_sframes_t delay = 0;
        while (snd_pcm_state(m_pcm) == SND_PCM_STATE_RUNNING && snd_pcm_delay(m_pcm, &delay) == 0 && delay > 0) {
            const auto due = Clock::now() + std::chrono::microseconds(delay * 1000000L / kRate);
            if (signal.waitUntil(std::min({due, Clock::now() + kCutCheck, deadline})))
                return true;
            if (Clock::now() >= deadline)
                break;
        }
        return signal.cut();
    }

    Result drop(Outcome outcome, std::string reason = {})
    {
        snd_pcm_drop(m_pcm);
        return {outcome, std::move(reason)};
    }

    snd_pcm_t* m_pcm = nullptr;
    int m_error = 0;
};

} // namespace

// One tone on the device, played on a thread of its own: a plugin that talks to a sound server (pulse, pipewire)
// may wait on a frozen server without a time limit, even to open or to drop. The tone thread forwards a stop
// and may leave; the device's thread then finishes alone, and the device stays in its use until then.
class DeviceTone final : public CutSignal {
public:
    bool cut() const override
    {
        std::lock_guard lock(m_mutex);
        return m_cut;
    }
    bool waitUntil(Clock::time_point until) const override
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_until(lock, until, [this] { return m_cut; });
    }
    void stop()
    {
        std::lock_guard lock(m_mutex);
        m_cut = true;
        m_changed.notify_all();
    }
    void finish(Result result)
    {
        std::lock_guard lock(m_mutex);
        m_result = std::move(result);
        m_changed.notify_all();
    }
    // The result once the device's thread is done with it; nothing while it plays, or past `until`.
    std::optional<Result> resultBy(Clock::time_point until) const
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_until(lock, until, [this] { return m_result.has_value(); });
        return m_result;
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_cut = false;
    std::optional<Result> m_result;
};

namespace {

Result playOnDevice(const Wave& wave, const CutSignal& signal, Clock::time_point deadline)
{
    Pcm pcm;
    if (pcm.error() < 0)
        return unavailable(pcm.error());
    return pcm.play(wave, signal, deadline);
}

} // namespace

AlsaOutput::AlsaOutput()
{
    snd_lib_error_set_handler(silentAlsaError);
    snd_config_update();
}

Result AlsaOutput::play(const Wave& wave, const CutSignal& signal, Clock::time_point deadline)
{
    // One tone on the device at a time: a device still held by a tone that did not answer is not answering.
    if (!release(Clock::now() + kReleaseWait))
        return {Outcome::Failed, "the sound device did not answer in time"};
    auto tone = std::make_shared<DeviceTone>();
    m_lastTone = tone;
    std::thread([tone, wave, deadline] { tone->finish(playOnDevice(wave, *tone, deadline)); }).detach();
    const auto givenUp = deadline + kAnswerMargin;
    while (Clock::now() < givenUp) {
        if (signal.cut()) {
            tone->stop();
            return {Outcome::Cut, {}};
        }
        if (const std::optional<Result> result = tone->resultBy(std::min(Clock::now() + kCutCheck, givenUp)))
            return *result;
    }
    tone->stop();
    return {Outcome::Failed, "the sound device did not answer in time"};
}

bool AlsaOutput::release(Clock::time_point until) const
{
    return !m_lastTone || m_lastTone->resultBy(until).has_value();
}

} // namespace platform::tone
