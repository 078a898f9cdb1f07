// Tests for the tone: ALSA's default device is redirected into a raw file (at once, or as a device paced by
// the clock plays it) and the samples are measured; the sound server is one that is missing or never answers.
#include "platform/desktop/tone.h"
#include "tests/support/timing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kRate = 48000.0;
constexpr double kFullScale = 32767.0;
// A call that returns within this did not wait for its tone (every tone it is checked against is longer).
constexpr double kReturnsAtOnceMs = 100.0 * testing_support::kTimingSlack;
// How long a stopped tone may still be heard: the 50 ms a stop may take, and a little for a loaded machine.
constexpr double kStopSlackMs = 60.0 * testing_support::kTimingSlack;

// A beep (or, with `silence`, the STOP of a tone), then a pause before the next call.
struct Call {
    int hz;
    int ms;
    int thenWaitMs = 0;
    bool silence = false;
};

Call silenceThenWait(int ms)
{
    return {0, 0, ms, true};
}

// A HOME whose ~/.asoundrc sends the default PCM into tone.raw instead of a sound card.
class CaptureHome {
public:
    CaptureHome()
    {
        QFile rc(m_dir.filePath(".asoundrc"));
        EXPECT_TRUE(rc.open(QIODevice::WriteOnly));
        rc.write("pcm.!default { type file; slave.pcm \"null\"; file \"" + capturePath().toLocal8Bit()
                 + "\"; format \"raw\" }\n");
    }

    // A default device that plays in real time, so a stopped tone stops in the file too; or, stalled, not at
    // all; or stuck after some frames, the rest pending for ever.
    void pace(bool stalled = false, int stuckAfter = -1)
    {
        QFile rc(m_dir.filePath(".asoundrc"));
        EXPECT_TRUE(rc.open(QIODevice::WriteOnly));
        rc.write("pcm_type.paced { lib \"" PACED_PCM_PLUGIN "\" }\npcm.!default { type paced; file \""
                 + capturePath().toLocal8Bit() + "\"; events \"" + eventsPath().toLocal8Bit() + "\""
                 + (stalled ? "; stalled true" : "") + "; stuck_after " + QByteArray::number(stuckAfter) + " }\n");
    }

    // CLOCK_MONOTONIC milliseconds at which each tone's first samples reached the paced device.
    std::vector<double> firstSamplesAt() const
    {
        QFile file(eventsPath());
        std::vector<double> at;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith("first "))
                    at.push_back(line.mid(6).toDouble() / 1e6);
        return at;
    }

    // A default device that cannot open, as on a machine without a sound card.
    void breakDevice()
    {
        QFile rc(m_dir.filePath(".asoundrc"));
        EXPECT_TRUE(rc.open(QIODevice::WriteOnly));
        rc.write("pcm.!default { type plug; slave.pcm \"nosuchdevice\" }\n");
    }

    QString home() const { return m_dir.path(); }
    // Where the sound server is looked for: by default a socket that does not exist.
    QString serverPath() const { return m_dir.filePath("no-server"); }
    QString errorsPath() const { return m_dir.filePath("stderr.txt"); }
    QString capturePath() const { return m_dir.filePath("tone.raw"); }
    QString eventsPath() const { return m_dir.filePath("events.txt"); }
    bool captured() const { return QFile::exists(capturePath()); }

    std::string errors() const
    {
        QFile file(errorsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(no stderr)";
    }

    std::vector<std::int16_t> samples() const
    {
        QFile file(capturePath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        std::vector<std::int16_t> out;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i])
                                                    | static_cast<std::uint8_t>(bytes[i + 1]) << 8));
        return out;
    }

private:
    QTemporaryDir m_dir;
};

void pointAlsaAt(const QString& home, const QString& server)
{
    setenv("PULSE_SERVER", ("unix:" + server).toLocal8Bit().constData(), 1);
    setenv("HOME", home.toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").toLocal8Bit().constData(), 1);
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("ALSA_CONFIG_DIR");
}

void captureStderr(const QString& path)
{
    const int fd = open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, STDERR_FILENO) < 0)
        _exit(1);
    close(fd);
}

// CLOCK_MONOTONIC milliseconds, the clock the paced device stamps its events with.
double monotonicMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A sound server that takes connections and never answers, as a frozen one does, in a process of its own.
class FrozenServer {
public:
    explicit FrozenServer(const QString& path)
    {
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        m_pid = fork();
        if (m_pid == 0) {
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || listen(fd, 8) < 0
                || write(ready[1], "r", 1) != 1)
                _exit(1);
            for (;;)
                pause();
        }
        close(ready[1]);
        char byte = 0;
        EXPECT_EQ(read(ready[0], &byte, 1), 1) << "the frozen server did not start";
        close(ready[0]);
    }
    ~FrozenServer() { end(); }
    FrozenServer(const FrozenServer&) = delete;
    FrozenServer& operator=(const FrozenServer&) = delete;

    // Its socket stays, refusing connections, as a server's does after it died.
    void end()
    {
        if (m_pid > 0 && kill(m_pid, SIGKILL) == 0)
            waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

// One call's report from the child: when it was made and how long it took to return; the exit has no `took`.
struct Report {
    double at;
    double took;
};

void send(int out, Report report)
{
    if (write(out, &report, sizeof report) != static_cast<ssize_t>(sizeof report))
        _exit(1);
}

[[noreturn]] void runCallsAndReport(const CaptureHome& capture, const std::vector<Call>& calls, int out)
{
    pointAlsaAt(capture.home(), capture.serverPath());
    captureStderr(capture.errorsPath());
    // A tone thread that cannot be stopped would hold the exit for ever: the child is killed instead.
    alarm(30);
    // As the program's START does before a first tone is due: the tone thread starts and reads ALSA's setup.
    platform::readyTone();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (const Call& call : calls) {
        const double at = monotonicMs();
        if (call.silence)
            platform::silenceTone();
        else
            platform::beep(call.hz, call.ms);
        send(out, {at, monotonicMs() - at});
        std::this_thread::sleep_for(std::chrono::milliseconds(call.thenWaitMs));
    }
    // A full exit, as the program's end: a tone still playing must stop with it.
    send(out, {monotonicMs(), -1});
    std::exit(0);
}

// How long each call took to return, when each call came, and when the child set out to exit.
struct ChildReport {
    std::vector<double> took;
    std::vector<double> calledAt;
    double exitAt = 0;
};

// ALSA reads ~/.asoundrc once per process, so the redirection only holds in a process that has not
// touched ALSA yet: each batch of calls runs in a fresh child.
// `afterFirstCall` runs in the parent as soon as the child has made its first call.
ChildReport beepInChild(const CaptureHome& capture, const std::vector<Call>& calls,
                        const std::function<void()>& afterFirstCall = {})
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        runCallsAndReport(capture, calls, fds[1]);
    }
    close(fds[1]);
    ChildReport child;
    Report report {};
    while (read(fds[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report)) {
        if (report.took < 0) {
            child.exitAt = report.at;
            continue;
        }
        child.took.push_back(report.took);
        child.calledAt.push_back(report.at);
        if (child.took.size() == 1 && afterFirstCall)
            afterFirstCall();
    }
    close(fds[0]);
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return child;
}

// Where the signal crosses zero between frames i and i+1, to a fraction of a frame.
double crossingAt(const std::vector<std::int16_t>& s, std::size_t i)
{
    return static_cast<double>(i) + static_cast<double>(s[i]) / (static_cast<double>(s[i]) - s[i + 1]);
}

// Frequency from the upward zero crossings in [from, to): whole periods over the time they span.
double frequency(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to)
{
    std::vector<double> rising;
    for (std::size_t i = from; i + 1 < to; ++i)
        if (s[i] < 0 && s[i + 1] >= 0)
            rising.push_back(crossingAt(s, i));
    if (rising.size() < 2)
        return 0;
    return static_cast<double>(rising.size() - 1) * kRate / (rising.back() - rising.front());
}

double peak(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to)
{
    int most = 0;
    for (std::size_t i = from; i < to && i < s.size(); ++i)
        most = std::max(most, std::abs(static_cast<int>(s[i])));
    return most;
}

TEST(Beep, ReturnsAtOnceAndPlaysTheToneForItsDuration)
{
    CaptureHome capture;
    const std::vector<double> took = beepInChild(capture, {{440, 250, 400}}).took;
    ASSERT_EQ(took.size(), 1u);
    // Far below the tone's length, loose enough for a loaded machine; bench_tone measures the speed.
    EXPECT_LT(took[0], kReturnsAtOnceMs);

    ASSERT_TRUE(capture.captured());
    const std::vector<std::int16_t> s = capture.samples();
    EXPECT_NEAR(static_cast<double>(s.size()), 12000.0, 48.0);
    ASSERT_GT(s.size(), 10000u);
    EXPECT_NEAR(frequency(s, s.size() / 10, s.size() * 9 / 10), 440.0, 2.0);
}

TEST(Beep, FadesInAndOutWithinAboutTwoMilliseconds)
{
    CaptureHome capture;
    beepInChild(capture, {{440, 250, 400}});
    const std::vector<std::int16_t> s = capture.samples();
    ASSERT_GT(s.size(), 10000u);
    const std::size_t n = s.size();
    const double middle = peak(s, n / 4, n * 3 / 4);
    EXPECT_GT(middle, 0.8 * kFullScale);
    EXPECT_LT(std::abs(s.front()), 0.02 * kFullScale);
    EXPECT_LT(std::abs(s.back()), 0.02 * kFullScale);
    // Half a millisecond in, the ramp is still low; a period after 4 ms, it is at full height.
    EXPECT_LT(peak(s, 0, 24), 0.3 * middle);
    EXPECT_LT(peak(s, n - 24, n), 0.3 * middle);
    EXPECT_GT(peak(s, 192, 192 + 110), 0.95 * middle);
    EXPECT_GT(peak(s, n - 192 - 110, n - 192), 0.95 * middle);
}

TEST(Beep, WritesTheExactNumberOfFramesUpToTheHighestAudibleTone)
{
    for (const auto& [call, frames] : {std::pair<Call, std::size_t>{{1000, 37, 200}, 1776}, {{20000, 50, 200}, 2400}}) {
        CaptureHome capture;
        beepInChild(capture, {call});
        EXPECT_EQ(capture.samples().size(), frames) << call.hz << " Hz";
    }
}

TEST(Beep, WithoutAServerOrADeviceReturnsAtOnceAndSaysSoOncePerRun)
{
    CaptureHome capture;
    capture.breakDevice();
    const std::vector<double> took = beepInChild(capture, {{440, 300, 400}, {440, 300, 400}}).took;
    ASSERT_EQ(took.size(), 2u);
    EXPECT_LT(took[0], kReturnsAtOnceMs);
    EXPECT_LT(took[1], kReturnsAtOnceMs);
    // ALSA says nothing on its own; the program says it once, with ALSA's reason.
    EXPECT_EQ(capture.errors(), "pelmora: the alarm's sound could not be played: no sound server or sound device "
                                "answered: No such file or directory\n");
}

TEST(Beep, AFrozenServerCostsOnlyTheToneItWouldHavePlayed)
{
    CaptureHome capture;
    FrozenServer server(capture.serverPath());
    // The first tone waits on the frozen server no longer than its own length; the second finds it gone and
    // plays on ALSA's device, in full.
    const ChildReport child = beepInChild(capture, {{1000, 300, 900}, {1000, 300, 600}}, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        server.end();
    });
    ASSERT_EQ(child.took.size(), 2u);
    EXPECT_LT(child.took[0], kReturnsAtOnceMs);
    EXPECT_LT(child.took[1], kReturnsAtOnceMs);
    EXPECT_EQ(capture.samples().size(), 14400u);
    EXPECT_EQ(capture.errors(), "pelmora: the alarm's sound could not be played: the sound server did not answer "
                                "in time\n");
}

TEST(Beep, ADeviceStuckWithSamplesPendingIsDroppedAndTheNextTickSounds)
{
    CaptureHome capture;
    // 4000 of each 100 ms tone's 4800 frames play, then the device stays running with the rest pending.
    capture.pace(false, 4000);
    const ChildReport child = beepInChild(capture, {{1000, 100, 1000}, {1000, 100, 1000}, {1000, 100, 500}});
    const std::vector<double> starts = capture.firstSamplesAt();
    ASSERT_EQ(starts.size(), 3u) << "the stuck device silenced the later ticks";
    for (std::size_t i = 0; i < starts.size(); ++i)
        EXPECT_LT(starts[i] - child.calledAt[i], 100.0 * testing_support::kTimingSlack) << "tone " << i;
    EXPECT_EQ(capture.samples().size(), 3 * 4000u);
    // Most of each tone was heard: nothing to tell.
    EXPECT_EQ(capture.errors(), "");
}

TEST(Beep, OutOfRangeCallsReturnAtOnceAndPlayNothing)
{
    CaptureHome capture;
    const std::vector<Call> calls{{0, 1000}, {-440, 1000}, {25000, 1000}, {20001, 1000}, {440, 0}, {440, -5, 200}};
    const std::vector<double> took = beepInChild(capture, calls).took;
    ASSERT_EQ(took.size(), calls.size());
    for (std::size_t i = 0; i < took.size(); ++i)
        EXPECT_LT(took[i], kReturnsAtOnceMs) << "hz " << calls[i].hz << " ms " << calls[i].ms;
    EXPECT_FALSE(capture.captured());
}

// Runs the GUI thread's events for `ms`, as the program's event loop would.
void runEventsFor(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TEST(Beep, TellsTheFailureOnTheGuiThreadOncePerRunAndNotOnceTheRunIsOver)
{
    CaptureHome capture;
    capture.breakDevice();
    const pid_t pid = fork();
    if (pid == 0) {
        pointAlsaAt(capture.home(), capture.serverPath());
        captureStderr(capture.errorsPath());
        alarm(30);
        std::vector<std::string> told;
        bool onGuiThread = true;
        platform::setToneFailureHandler([&](const std::string& reason) {
            told.push_back(reason);
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        });
        // A run of two failed tones; a run that is over before its failure reaches the GUI thread; a third run.
        platform::readyTone();
        for (int i = 0; i < 2; ++i) {
            platform::beep(440, 100);
            runEventsFor(300);
        }
        platform::readyTone();
        platform::beep(440, 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        platform::silenceTone();
        runEventsFor(100);
        platform::readyTone();
        platform::beep(440, 100);
        runEventsFor(300);
        const bool right = told.size() == 2 && told[0] == told[1] && onGuiThread
            && told[0].starts_with("no sound server or sound device answered: ");
        _exit(right ? 0 : 10 + static_cast<int>(told.size()));
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "exit status " << WEXITSTATUS(status);
    // Each run says it on stderr, the one that was over too.
    const std::string errors = capture.errors();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 3) << errors;
}

TEST(Beep, SilenceBeforeAnyToneStartsNoThread)
{
    const pid_t pid = fork();
    if (pid == 0) {
        platform::silenceTone();
        _exit(static_cast<int>(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()));
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "threads after the silence: " << WEXITSTATUS(status);
}

TEST(Beep, StopAndProgramEndSilenceTheToneAtOnceAndDropTheOneWaiting)
{
    struct Case {
        const char* what;
        std::vector<Call> calls;
        bool stalled = false;
    };
    const std::vector<Case> cases{
        {"STOP after 1 s, a tone waiting", {{440, 10000, 1000}, {440, 10000}, silenceThenWait(500)}},
        {"program end after 1 s, a tone waiting", {{440, 10000, 1000}, {440, 10000}}},
        // Shorter than the device's buffer: a stop must not wait for it to drain.
        {"STOP 20 ms into a 90 ms tone", {{440, 90, 20}, silenceThenWait(300)}},
        {"STOP on a stalled device", {{440, 10000, 300}, silenceThenWait(100)}, true},
    };
    for (const Case& c : cases) {
        CaptureHome capture;
        capture.pace(c.stalled);
        const ChildReport child = beepInChild(capture, c.calls);
        ASSERT_EQ(child.took.size(), c.calls.size());
        // The tone plays from its first samples until the STOP (or the exit), and not a tone's worth longer.
        const auto stop = std::find_if(c.calls.begin(), c.calls.end(), [](const Call& call) { return call.silence; });
        const double cutAt = stop == c.calls.end() ? child.exitAt : child.calledAt[stop - c.calls.begin()];
        const std::vector<double> starts = capture.firstSamplesAt();
        const double untilCutMs = starts.empty() || c.stalled ? 0 : cutAt - starts.front();
        const double heardMs = std::min<double>(untilCutMs, c.calls.front().ms);
        const double playedMs = static_cast<double>(capture.samples().size()) * 1000.0 / kRate;
        EXPECT_LE(starts.size(), 1u) << c.what << ": the waiting tone played";
        EXPECT_GT(playedMs, heardMs - kStopSlackMs) << c.what;
        EXPECT_LT(playedMs, heardMs + kStopSlackMs) << c.what;
    }
}

TEST(Beep, TicksDuringAToneQueueOneNextToneThatFollowsItBackToBack)
{
    CaptureHome capture;
    capture.pace();
    beepInChild(capture, {{1000, 1500, 100}, {1000, 1500, 100}, {1000, 1500, 3300}});
    const std::vector<std::int16_t> s = capture.samples();
    EXPECT_NEAR(static_cast<double>(s.size()), 2 * 72000.0, 96.0);
    // Each tone fades to an exact zero: the first ends where two zero samples meet the second's start.
    std::size_t joins = 0;
    for (std::size_t i = 1000; i + 1000 < s.size(); ++i)
        joins += (s[i] == 0 && s[i + 1] == 0) ? 1 : 0;
    EXPECT_EQ(joins, 1u);
    const std::vector<double> starts = capture.firstSamplesAt();
    ASSERT_EQ(starts.size(), 2u);
    // The second starts as the first ends, not a tone's length later; scheduling on a loaded machine may add some.
    EXPECT_GT(starts[1] - starts[0], 1450.0);
    EXPECT_LT(starts[1] - starts[0], 1800.0);
}

} // namespace
