// An ALSA playback device for tests and benchmarks that plays in real time into a raw file: samples reach
// the file only as the clock plays them, and a dropped stream loses what it had not played yet.
//
//   pcm_type.paced { lib "/path/libasound_module_pcm_paced.so" }
//   pcm.!default { type paced; file "/path/tone.raw"; events "/path/events.txt" }
//
// The events file gets one line per happening, with CLOCK_MONOTONIC nanoseconds:
// "first <ns>" when a started stream receives its first samples, "stop <ns> <frames played>" when it stops.
// With `stalled true` the clock never plays anything, like a suspended sound server: writers find no room.
// With `stuck_after N` it stops after N frames and stays running with the rest pending, as a stuck stream does.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

constexpr long kTimerNs = 2'000'000; // how often a waiting writer looks at the clock again

std::int64_t monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct Paced {
    snd_pcm_ioplug_t io {};
    int samplesFd = -1;
    int eventsFd = -1;
    int timerFd = -1;
    bool running = false;
    bool stalled = false;
    long stuckAfter = -1;
    bool sawFirst = false;
    std::int64_t lastNs = 0;
    double owedFrames = 0;              // played time not yet a whole frame
    snd_pcm_uframes_t written = 0;      // since prepare
    snd_pcm_uframes_t played = 0;       // since prepare
    std::deque<std::int16_t> pending;   // written, not played yet

    void closeFiles() const
    {
        for (int fd : {samplesFd, eventsFd, timerFd})
            if (fd >= 0)
                close(fd);
    }

    void event(const std::string& line) const
    {
        if (eventsFd >= 0 && write(eventsFd, line.data(), line.size()) < 0)
            perror("paced: events");
    }

    // Moves what the clock has played since the last look from `pending` into the file.
    void advance()
    {
        if (!running || stalled || (stuckAfter >= 0 && played >= snd_pcm_uframes_t(stuckAfter)))
            return;
        const std::int64_t now = monotonicNs();
        owedFrames += double(now - lastNs) * io.rate / 1e9;
        lastNs = now;
        auto due = std::min<snd_pcm_uframes_t>(snd_pcm_uframes_t(owedFrames), written - played);
        if (stuckAfter >= 0)
            due = std::min<snd_pcm_uframes_t>(due, snd_pcm_uframes_t(stuckAfter) - played);
        owedFrames -= double(due);
        if (written == played)
            owedFrames = 0; // an empty device does not save up time
        std::vector<std::int16_t> out(pending.begin(), pending.begin() + due);
        pending.erase(pending.begin(), pending.begin() + due);
        played += due;
        if (!out.empty() && write(samplesFd, out.data(), out.size() * 2) < 0)
            perror("paced: samples");
    }
};

Paced* self(snd_pcm_ioplug_t* io)
{
    return static_cast<Paced*>(io->private_data);
}

int onStart(snd_pcm_ioplug_t* io)
{
    Paced* p = self(io);
    p->running = true;
    p->lastNs = monotonicNs();
    p->owedFrames = 0;
    return 0;
}

int onStop(snd_pcm_ioplug_t* io)
{
    Paced* p = self(io);
    p->advance();
    p->running = false;
    p->pending.clear();
    p->event("stop " + std::to_string(monotonicNs()) + " " + std::to_string(p->played) + "\n");
    return 0;
}

int onPrepare(snd_pcm_ioplug_t* io)
{
    Paced* p = self(io);
    p->running = false;
    p->sawFirst = false;
    p->written = p->played = 0;
    p->pending.clear();
    return 0;
}

snd_pcm_sframes_t onPointer(snd_pcm_ioplug_t* io)
{
    Paced* p = self(io);
    p->advance();
    return snd_pcm_sframes_t(p->played % io->buffer_size);
}

snd_pcm_sframes_t onTransfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
                             snd_pcm_uframes_t size)
{
    Paced* p = self(io);
    if (!p->sawFirst) {
        p->sawFirst = true;
        p->event("first " + std::to_string(monotonicNs()) + "\n");
    }
    const auto* base = static_cast<const std::int16_t*>(areas[0].addr) + areas[0].first / 16;
    const unsigned step = areas[0].step / 16;
    for (snd_pcm_uframes_t i = 0; i < size; ++i)
        p->pending.push_back(base[(offset + i) * step]);
    p->written += size;
    return snd_pcm_sframes_t(size);
}

int onPollRevents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int, unsigned short* revents)
{
    std::uint64_t expirations = 0;
    if (pfd[0].revents & POLLIN)
        (void)!read(self(io)->timerFd, &expirations, sizeof expirations);
    // Whether there is room is the writer's own question; waking it is enough.
    *revents = (pfd[0].revents & POLLIN) ? POLLOUT : 0;
    return 0;
}

int onClose(snd_pcm_ioplug_t* io)
{
    std::unique_ptr<Paced>{self(io)}->closeFiles();
    return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
    snd_pcm_ioplug_callback_t c {};
    c.start = onStart;
    c.stop = onStop;
    c.pointer = onPointer;
    c.transfer = onTransfer;
    c.close = onClose;
    c.prepare = onPrepare;
    c.poll_revents = onPollRevents;
    return c;
}();

int constrain(snd_pcm_ioplug_t* io)
{
    static const unsigned accesses[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned formats[] = {SND_PCM_FORMAT_S16_LE};
    int err = 0;
    if ((err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, accesses)) < 0
        || (err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats)) < 0
        || (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 1)) < 0
        || (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 8000, 192000)) < 0
        || (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 64 * 1024)) < 0
        || (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0)
        return err;
    return 0;
}

int openFile(const char* path)
{
    return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
}

} // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(paced)
{
    (void)root;
    const char* file = nullptr;
    const char* events = nullptr;
    int stalled = 0;
    long stuckAfter = -1;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id = nullptr;
        if (snd_config_get_id(entry, &id) < 0)
            continue;
        const std::string key = id;
        if (key == "comment" || key == "type" || key == "hint")
            continue;
        if (key == "file" && snd_config_get_string(entry, &file) >= 0)
            continue;
        if (key == "events" && snd_config_get_string(entry, &events) >= 0)
            continue;
        if (key == "stalled" && (stalled = snd_config_get_bool(entry)) >= 0)
            continue;
        if (key == "stuck_after" && snd_config_get_integer(entry, &stuckAfter) >= 0)
            continue;
        SNDERR("Unknown field %s", id);
        return -EINVAL;
    }
    if (stream != SND_PCM_STREAM_PLAYBACK || !file)
        return -EINVAL;

    auto owner = std::make_unique<Paced>();
    Paced* p = owner.get();
    p->stalled = stalled > 0;
    p->stuckAfter = stuckAfter;
    p->samplesFd = openFile(file);
    p->eventsFd = openFile(events);
    p->timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    const itimerspec every {{0, kTimerNs}, {0, kTimerNs}};
    if (p->samplesFd < 0 || p->timerFd < 0 || timerfd_settime(p->timerFd, 0, &every, nullptr) < 0) {
        const int err = -errno;
        p->closeFiles();
        return err;
    }
    p->io.version = SND_PCM_IOPLUG_VERSION;
    p->io.name = "paced";
    p->io.callback = &kCallbacks;
    p->io.private_data = p;
    p->io.poll_fd = p->timerFd;
    p->io.poll_events = POLLIN;
    p->io.mmap_rw = 0;
    int err = snd_pcm_ioplug_create(&p->io, name, stream, mode);
    if (err < 0) {
        p->closeFiles();
        return err;
    }
    owner.release(); // the device owns it now, until its close callback
    if ((err = constrain(&p->io)) < 0) {
        snd_pcm_ioplug_delete(&p->io);
        return err;
    }
    *pcmp = p->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(paced)
}
