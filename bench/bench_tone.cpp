// How quickly a tone answers: from the tick's beep call to the first samples reaching ALSA, and from STOP to
// silence, measured on a device that plays in real time (printed in ms; targets under 10 and under 50).
#include "bench/bench_support.h"
#include "platform/desktop/tone.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 20;
constexpr int kToneMs = 5000;
constexpr auto kPlayBeforeStop = std::chrono::milliseconds(200);
constexpr auto kStartToFirstTick = std::chrono::milliseconds(1000);
constexpr auto kGiveUpAfter = std::chrono::seconds(5);

double msSinceBoot(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
}

// The paced device's log: the CLOCK_MONOTONIC time (ms) of its first line starting with `what` at or
// after `after`.
std::optional<double> eventAfter(const QString& events, const QByteArray& what, double after)
{
    QFile file(events);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const double at = line.split(' ').value(1).toDouble() / 1e6;
        if (line.startsWith(what + ' ') && at >= after)
            return at;
    }
    return std::nullopt;
}

// Milliseconds from `since` to the device's next `what`.
double waitForEvent(const QString& events, const QByteArray& what, Clock::time_point since)
{
    const auto giveUp = Clock::now() + kGiveUpAfter;
    while (Clock::now() < giveUp) {
        if (const auto at = eventAfter(events, what, msSinceBoot(since)))
            return *at - msSinceBoot(since);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::fprintf(stderr, "the paced device never reported %s\n", what.constData());
    std::exit(1);
}

struct Figures {
    std::vector<double> call, firstSample, silence;
};


} // namespace

int main()
{
    QTemporaryDir home;
    const QString events = home.filePath("events.txt");
    QFile rc(home.filePath(".asoundrc"));
    if (!rc.open(QIODevice::WriteOnly))
        return 1;
    rc.write("pcm_type.paced { lib \"" PACED_PCM_PLUGIN "\" }\npcm.!default { type paced; file \""
             + home.filePath("tone.raw").toLocal8Bit() + "\"; events \"" + events.toLocal8Bit() + "\" }\n");
    rc.close();
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    // ALSA's device, not a sound server that may be running here: bench_tone_server measures that one.
    setenv("PULSE_SERVER", ("unix:" + home.filePath("no-server")).toLocal8Bit().constData(), 1);

    // As START does a second or more before the first tone: the tone thread starts and reads ALSA's setup.
    platform::readyTone();
    std::this_thread::sleep_for(kStartToFirstTick);

    Figures figures;
    for (int rounds = kRounds; rounds > 0; --rounds) {
        const auto tick = Clock::now();
        platform::beep(1000, kToneMs);
        figures.call.push_back(std::chrono::duration<double, std::milli>(Clock::now() - tick).count());
        figures.firstSample.push_back(waitForEvent(events, "first", tick));
        std::this_thread::sleep_for(kPlayBeforeStop);
        const auto stop = Clock::now();
        platform::silenceTone();
        figures.silence.push_back(waitForEvent(events, "stop", stop));
    }
    std::printf("%d tones of %d ms on a paced ALSA device, each stopped after %lld ms:\n", kRounds, kToneMs,
                static_cast<long long>(kPlayBeforeStop.count()));
    printTimings("beep call returns", figures.call, 5);
    printTimings("tick to first sample", figures.firstSample, 10);
    printTimings("STOP to silence", figures.silence, 50);
    return 0;
}
