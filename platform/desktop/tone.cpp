// The real tone: a faded sine wave on a thread of its own, through the sound server when one answers, else
// ALSA's default device, else the desktop bell; a run in which no tone could sound is reported once.
#include "platform/desktop/tone.h"

#include "platform/sound/sound_module.h"
#include "platform/sound/tone_output.h"

#include <QApplication>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace platform {

namespace {

using tone::Clock;
using tone::Outcome;

// A stuck device or stream is given up this long after its tone should have ended.
constexpr auto kPlayOutMargin = std::chrono::milliseconds(150);
// START readies the sound a second or more before the first tone; a slower server is waited for by the tone.
constexpr auto kReadyLimit = std::chrono::milliseconds(500);
// The program's end waits this long at most for the sound device to be let go.
constexpr auto kReleaseOnExit = std::chrono::milliseconds(100);

bool isPlayable(int hz, int ms)
{
    return hz > 0 && hz <= 20000 && ms > 0;
}

// QApplication::beep() belongs to the GUI thread; without a running application there is nothing to ring.
void ringBellOnGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app))
        QMetaObject::invokeMethod(app, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

// Set once by the desktop at start-up, read on the GUI thread only.
std::function<void(const std::string&)>& toneFailureHandler()
{
    static std::function<void(const std::string&)> handler;
    return handler;
}

struct ToneRequest {
    int hz;
    int ms;
};

// One tone at a time on a thread of its own; one more may wait for it. Destroying it ends the thread.
class TonePlayer final : public tone::CutSignal {
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

    // A run begins: the sound is connected ahead of its first tone, and its failure may be told again.
    void ready()
    {
        {
            std::lock_guard lock(m_mutex);
            m_readying = true;
            newRun();
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
        newRun();
        m_wake.notify_all();
    }

    // Whether a failure told on the GUI thread still belongs to the run going on.
    bool inRun(unsigned run) const
    {
        std::lock_guard lock(m_mutex);
        return run == m_run;
    }

    bool cut() const override
    {
        std::lock_guard lock(m_mutex);
        return m_cut || m_quit;
    }

    bool waitUntil(Clock::time_point until) const override
    {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_until(lock, until, [this] { return m_cut || m_quit; });
    }

private:
    // Readying gives way to the program's end and to a tone that is due.
    class ReadySignal final : public tone::CutSignal {
    public:
        explicit ReadySignal(const TonePlayer& player) : m_player(player) {}
        bool cut() const override
        {
            std::lock_guard lock(m_player.m_mutex);
            return m_player.m_quit || m_player.m_current;
        }
        bool waitUntil(Clock::time_point until) const override
        {
            std::unique_lock lock(m_player.m_mutex);
            return m_player.m_wake.wait_until(lock, until, [this] { return m_player.m_quit || m_player.m_current; });
        }

    private:
        const TonePlayer& m_player;
    };

    void newRun()
    {
        ++m_run;
        m_failureTold = false;
    }

    void run()
    {
        // The sound module and ALSA's configuration are loaded now, when the sound is readied, not when a tone is due.
        const std::unique_ptr<tone::Outputs> outputs = tone::loadOutputs();
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_quit || m_current || m_readying; });
            if (m_quit) {
                // A stopped tone's device is let go before the program ends, unless it does not answer.
                lock.unlock();
                outputs->release(Clock::now() + kReleaseOnExit);
                return;
            }
            if (std::exchange(m_readying, false) && !m_current) {
                lock.unlock();
                outputs->ready(ReadySignal(*this), Clock::now() + kReadyLimit);
                lock.lock();
                continue;
            }
            const ToneRequest tone = *m_current;
            m_playing = true;
            m_cut = false;
            lock.unlock();
            play(*outputs, tone);
            lock.lock();
            m_playing = false;
            m_current = std::exchange(m_next, std::nullopt);
        }
    }

    // The tone, or the bell and a silent wait of the same length; either way it takes the whole tone's time.
    void play(tone::Outputs& outputs, ToneRequest request)
    {
        const auto start = Clock::now();
        const auto end = start + std::chrono::milliseconds(request.ms);
        const tone::Wave wave(request.hz, request.ms);
        tone::Result result = outputs.playOnServer(wave, *this, end + kPlayOutMargin);
        if (result.outcome == Outcome::Unavailable)
            result = outputs.playOnDevice(wave, *this, end + kPlayOutMargin);
        // Opening a missing device may take long enough for a STOP to come first.
        if ((result.outcome == Outcome::Unavailable || result.outcome == Outcome::Failed) && !cut()) {
            ringBellOnGuiThread();
            tellFailure(result.reason);
        }
        // Some devices report the end before the sound is out, and the bell takes no time at all.
        waitUntil(end);
    }

    // Once a run: one line on stderr, and the handler on the GUI thread if the run is still going then.
    void tellFailure(const std::string& reason)
    {
        unsigned run = 0;
        {
            std::lock_guard lock(m_mutex);
            if (std::exchange(m_failureTold, true))
                return;
            run = m_run;
        }
        std::fprintf(stderr, "pelmora: the alarm's sound could not be played: %s\n", reason.c_str());
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [run, reason] { tellOnGuiThread(run, reason); }, Qt::QueuedConnection);
    }

    static void tellOnGuiThread(unsigned run, const std::string& reason);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;
    std::optional<ToneRequest> m_current; // playing, or about to
    std::optional<ToneRequest> m_next;    // waits for the current one to end
    bool m_playing = false;               // the thread has taken m_current up
    bool m_cut = false;
    bool m_quit = false;
    bool m_readying = false;
    unsigned m_run = 0;           // counts readyings and silences: a failure belongs to one run
    bool m_failureTold = false;   // in this run
    std::thread m_thread; // last: it starts when everything it uses is ready
};

// The player, from the first tone or readying until shutDownTone(). Used from the GUI thread only.
std::unique_ptr<TonePlayer>& player()
{
    static std::unique_ptr<TonePlayer> player;
    return player;
}

void TonePlayer::tellOnGuiThread(unsigned run, const std::string& reason)
{
    // The player may be gone by now, or the run over (a STOP came first): then nobody is to be told.
    if (!player() || !player()->inRun(run))
        return;
    if (const auto& handler = toneFailureHandler())
        handler(reason);
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
    readyPlayer().ready();
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
