// A tone through the desktop's sound server: the asynchronous PulseAudio API on a main loop that only the tone
// thread runs, in short slices, so that a stop is heard within milliseconds and no wait outlasts its tone.
#include "platform/sound/pulse_output.h"

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <functional>
#include <string>

namespace platform::tone {

namespace {

constexpr std::size_t kFrameBytes = sizeof(std::int16_t);
// Little buffered on the server, so that the first samples are heard soon after the tick.
constexpr std::uint32_t kLatencyBytes = kRate / 1000 * 40 * kFrameBytes;
// How far the samples written run ahead of the clock.
constexpr auto kLead = std::chrono::milliseconds(500);
// A STOP is heard once the server has the stream's end: worth a short wait, never a long one.
constexpr auto kFlushLimit = std::chrono::milliseconds(20);

bool connecting(pa_context_state_t state)
{
    return state == PA_CONTEXT_UNCONNECTED || state == PA_CONTEXT_CONNECTING || state == PA_CONTEXT_AUTHORIZING
        || state == PA_CONTEXT_SETTING_NAME;
}

// One tone's stream: ended and released on every way out.
class Stream {
public:
    explicit Stream(pa_context* context)
    {
        const pa_sample_spec sampleFormat {PA_SAMPLE_S16LE, kRate, 1};
        m_stream = pa_stream_new(context, "Alarm", &sampleFormat, nullptr);
        pa_buffer_attr attr {};
        attr.maxlength = attr.minreq = attr.fragsize = static_cast<std::uint32_t>(-1);
        attr.tlength = kLatencyBytes;
        // Playing starts with the first block, not when the buffer is full.
        attr.prebuf = kBlockFrames * kFrameBytes;
        if (m_stream
            && pa_stream_connect_playback(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0) {
            pa_stream_unref(m_stream);
            m_stream = nullptr;
        }
    }
    ~Stream()
    {
        end();
        if (m_stream)
            pa_stream_unref(m_stream);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    pa_stream_state_t state() const { return m_stream ? pa_stream_get_state(m_stream) : PA_STREAM_FAILED; }
    bool good() const { return !m_ended && PA_STREAM_IS_GOOD(state()); }

    bool write(const std::vector<std::int16_t>& samples)
    {
        return pa_stream_write(m_stream, samples.data(), samples.size() * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE)
            == 0;
    }

    // Asks to be told when the server has played everything: `drained` is set then.
    pa_operation* drain(bool& drained)
    {
        return pa_stream_drain(
            m_stream, [](pa_stream*, int, void* flag) { *static_cast<bool*>(flag) = true; }, &drained);
    }

    // Ends the stream now: the server drops what it still holds.
    void end()
    {
        if (good())
            pa_stream_disconnect(m_stream);
        m_ended = true;
    }

private:
    pa_stream* m_stream = nullptr;
    bool m_ended = false;
};

// Runs the main loop until `done`, a cut (when `signal` is given) or `deadline`; true when done.
bool runUntil(pa_mainloop* loop, const std::function<bool()>& done, const CutSignal* signal,
              Clock::time_point deadline)
{
    while (!done()) {
        const auto now = Clock::now();
        if ((signal && signal->cut()) || now >= deadline)
            return false;
        const auto slice = std::chrono::duration_cast<std::chrono::microseconds>(
            std::min<Clock::duration>(deadline - now, kCutCheck));
        if (pa_mainloop_prepare(loop, static_cast<int>(slice.count())) < 0 || pa_mainloop_poll(loop) < 0
            || pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

// Waits until the server has played the stream out; true when cut first. A stream still playing at the
// deadline is stuck: the caller drops it, and the next tone gets a new one.
bool waitForPlayedOut(pa_mainloop* loop, Stream& stream, const CutSignal& signal, Clock::time_point deadline)
{
    bool drained = false;
    pa_operation* op = stream.drain(drained);
    if (!op)
        return false;
    runUntil(loop, [&] { return drained || pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, &signal, deadline);
    if (!drained)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    return !drained && signal.cut();
}

Result playInto(pa_mainloop* loop, Stream& stream, const Wave& wave, const CutSignal& signal,
                Clock::time_point deadline)
{
    const auto stopped = [&](const char* reason) {
        return signal.cut() ? Result {Outcome::Cut, {}} : Result {Outcome::Failed, reason};
    };
    if (!runUntil(loop, [&] { return stream.state() != PA_STREAM_CREATING; }, &signal, deadline) || !stream.good())
        return stopped("the sound server did not open a stream for the tone in time");
    // Written ahead of the clock by a lead, not as the server asks: a tone thread that is late on a loaded machine
    // must not let the stream run dry in the middle of a tone.
    const auto began = Clock::now();
    const auto due = [&] {
        const auto ahead = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began + kLead);
        return static_cast<long>(ahead.count()) * static_cast<long>(kRate / 1000);
    };
    for (long next = 0; next < wave.frames();) {
        if (!runUntil(loop, [&] { return !stream.good() || due() > next; }, &signal, deadline) || !stream.good())
            return stopped("the sound server did not take the tone in its time");
        const std::vector<std::int16_t> block = wave.block(next, due() - next);
        if (!stream.write(block))
            return stopped("the sound server refused the tone");
        next += static_cast<long>(block.size());
    }
    return {waitForPlayedOut(loop, stream, signal, deadline) ? Outcome::Cut : Outcome::Played, {}};
}

} // namespace

PulseOutput::PulseOutput() : m_loop(pa_mainloop_new()) {}

PulseOutput::~PulseOutput()
{
    disconnect();
    if (m_loop)
        pa_mainloop_free(m_loop);
}

void PulseOutput::disconnect()
{
    if (!m_context)
        return;
    // Closing the socket is enough for the server to drop whatever this connection played.
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

PulseOutput::Link PulseOutput::connect(const CutSignal& signal, Clock::time_point deadline)
{
    if (!m_loop)
        return Link::NoServer;
    // A server that went away since the last tone is noticed now, so that this tone can go elsewhere.
    if (m_context)
        pa_mainloop_iterate(m_loop, 0, nullptr);
    if (m_context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
        disconnect();
    if (!m_context) {
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Pelmora");
        // Starting a sound server is the desktop's business, not an alarm's.
        if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            disconnect();
            return Link::NoServer;
        }
    }
    runUntil(m_loop, [this] { return !connecting(pa_context_get_state(m_context)); }, &signal, deadline);
    const pa_context_state_t state = pa_context_get_state(m_context);
    if (state == PA_CONTEXT_READY)
        return Link::Ready;
    if (connecting(state))
        return Link::Pending;
    disconnect();
    return Link::NoServer;
}

void PulseOutput::ready(const CutSignal& signal, Clock::time_point deadline)
{
    connect(signal, deadline);
}

Result PulseOutput::play(const Wave& wave, const CutSignal& signal, Clock::time_point deadline)
{
    switch (connect(signal, deadline)) {
    case Link::NoServer:
        return {Outcome::Unavailable, "no sound server answered"};
    case Link::Pending:
        if (signal.cut())
            return {Outcome::Cut, {}};
        return {Outcome::Failed, "the sound server did not answer in time"};
    case Link::Ready:
        break;
    }
    Stream stream(m_context);
    const Result result = playInto(m_loop, stream, wave, signal, deadline);
    stream.end();
    // The server hears of the end only once the loop has written it out.
    runUntil(m_loop, [this] { return pa_context_is_pending(m_context) <= 0; }, nullptr, Clock::now() + kFlushLimit);
    // A server that could not play one tone may be frozen or gone: the next tone connects anew.
    if (result.outcome == Outcome::Failed)
        disconnect();
    return result;
}

} // namespace platform::tone
