// How quickly a tone answers through the sound server: from the tick's beep call to the first samples heard on
// the default sink's monitor, and from STOP to silence there (printed in ms; targets under 30 and under 50).
// Run it with a server up: bench/tone_server_bench.py starts a private PipeWire and runs it.
#include "bench/bench_support.h"
#include "platform/desktop/tone.h"

#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 20;
constexpr int kToneMs = 5000;
constexpr unsigned kRate = 48000;
// The monitor is read 2 ms at a time: each figure includes up to that, and the recording's own latency.
constexpr std::size_t kChunkFrames = kRate / 500;
constexpr auto kPlayBeforeStop = std::chrono::milliseconds(200);
constexpr auto kStartToFirstTick = std::chrono::milliseconds(1000);
constexpr auto kGiveUpAfter = std::chrono::seconds(5);

// Reads the monitor on a thread of its own and keeps when the sound last began and when it last ended.
class Monitor {
public:
    bool open()
    {
        const pa_sample_spec sampleFormat {PA_SAMPLE_S16LE, kRate, 1};
        pa_buffer_attr attr {};
        attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = kChunkFrames * sizeof(std::int16_t);
        int error = 0;
        m_record = pa_simple_new(nullptr, "bench_tone_server", PA_STREAM_RECORD, "@DEFAULT_MONITOR@", "monitor",
                                 &sampleFormat, nullptr, &attr, &error);
        if (m_record)
            m_thread = std::thread([this] { read(); });
        return m_record != nullptr;
    }

    ~Monitor()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_record)
            pa_simple_free(m_record);
    }

    // Milliseconds from `since` to the next start of sound (loud) or of silence (quiet); negative if none came.
    double waitFor(bool loud, Clock::time_point since) const
    {
        const auto giveUp = Clock::now() + kGiveUpAfter;
        while (Clock::now() < giveUp) {
            const Clock::time_point at {Clock::duration(loud ? m_loudSince.load() : m_quietSince.load())};
            if (at > since)
                return std::chrono::duration<double, std::milli>(at - since).count();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return -1;
    }

private:
    void read()
    {
        std::vector<std::int16_t> chunk(kChunkFrames);
        bool loud = false;
        while (!m_quit && pa_simple_read(m_record, chunk.data(), chunk.size() * sizeof chunk[0], nullptr) == 0) {
            const bool nowLoud = std::any_of(chunk.begin(), chunk.end(), [](std::int16_t s) { return s != 0; });
            if (nowLoud != loud)
                (nowLoud ? m_loudSince : m_quietSince) = Clock::now().time_since_epoch().count();
            loud = nowLoud;
        }
    }

    pa_simple* m_record = nullptr;
    std::atomic<bool> m_quit = false;
    std::atomic<Clock::rep> m_loudSince = 0;
    std::atomic<Clock::rep> m_quietSince = 0;
    std::thread m_thread;
};


} // namespace

int main()
{
    Monitor monitor;
    if (!monitor.open()) {
        std::fprintf(stderr, "no sound server answered: run bench/tone_server_bench.py, which starts one\n");
        return 1;
    }
    // As START does a second or more before the first tone.
    platform::readyTone();
    std::this_thread::sleep_for(kStartToFirstTick);

    std::vector<double> call, firstSample, silence;
    for (int round = 0; round < kRounds; ++round) {
        const auto tick = Clock::now();
        platform::beep(1000, kToneMs);
        call.push_back(std::chrono::duration<double, std::milli>(Clock::now() - tick).count());
        firstSample.push_back(monitor.waitFor(true, tick));
        std::this_thread::sleep_for(kPlayBeforeStop);
        const auto stop = Clock::now();
        platform::silenceTone();
        silence.push_back(monitor.waitFor(false, stop));
        if (firstSample.back() < 0 || silence.back() < 0) {
            std::fprintf(stderr, "the monitor heard no %s in round %d\n", firstSample.back() < 0 ? "tone" : "silence",
                         round + 1);
            return 1;
        }
        std::this_thread::sleep_for(kPlayBeforeStop);
    }
    std::printf("%d tones of %d ms through the sound server, each stopped after %lld ms, heard on its monitor\n"
                "(the recording's own delay included):\n",
                kRounds, kToneMs, static_cast<long long>(kPlayBeforeStop.count()));
    printTimings("beep call returns", call, 5);
    printTimings("tick to first sample", firstSample, 30);
    printTimings("STOP to silence", silence, 50);
    platform::shutDownTone();
    return 0;
}
