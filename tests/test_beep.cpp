// Tests for the tone: ALSA's default device is redirected into a raw file and the samples are measured.
#include "platform/desktop.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kRate = 48000.0;
constexpr double kFullScale = 32767.0;

struct Call {
    int hz;
    int ms;
};

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

    // A default device that cannot open, as on a machine without a sound card.
    void breakDevice()
    {
        QFile rc(m_dir.filePath(".asoundrc"));
        EXPECT_TRUE(rc.open(QIODevice::WriteOnly));
        rc.write("pcm.!default { type plug; slave.pcm \"nosuchdevice\" }\n");
    }

    QString home() const { return m_dir.path(); }
    QString errorsPath() const { return m_dir.filePath("stderr.txt"); }
    QString capturePath() const { return m_dir.filePath("tone.raw"); }
    bool captured() const { return QFile::exists(capturePath()); }

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

void pointAlsaAt(const QString& home)
{
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

[[noreturn]] void runCallsAndReport(const CaptureHome& capture, const std::vector<Call>& calls, int out)
{
    pointAlsaAt(capture.home());
    captureStderr(capture.errorsPath());
    for (const Call& call : calls) {
        const auto start = std::chrono::steady_clock::now();
        platform::beep(call.hz, call.ms);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (write(out, &ms, sizeof ms) != static_cast<ssize_t>(sizeof ms))
            _exit(1);
    }
    _exit(0);
}

// ALSA reads ~/.asoundrc once per process, so the redirection only holds in a process that has not
// touched ALSA yet: each batch of calls runs in a fresh child. Returns how long each call took.
std::vector<double> beepInChild(const CaptureHome& capture, const std::vector<Call>& calls)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        runCallsAndReport(capture, calls, fds[1]);
    }
    close(fds[1]);
    std::vector<double> took;
    double ms = 0;
    while (read(fds[0], &ms, sizeof ms) == static_cast<ssize_t>(sizeof ms))
        took.push_back(ms);
    close(fds[0]);
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return took;
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

TEST(Beep, PlaysTheToneForItsDuration)
{
    CaptureHome capture;
    const std::vector<double> took = beepInChild(capture, {{440, 250}});
    ASSERT_EQ(took.size(), 1u);
    EXPECT_NEAR(took[0], 250.0, 20.0);

    ASSERT_TRUE(capture.captured());
    const std::vector<std::int16_t> s = capture.samples();
    EXPECT_NEAR(static_cast<double>(s.size()), 12000.0, 48.0);
    ASSERT_GT(s.size(), 10000u);
    EXPECT_NEAR(frequency(s, s.size() / 10, s.size() * 9 / 10), 440.0, 2.0);
}

TEST(Beep, FadesInAndOutWithinAboutTwoMilliseconds)
{
    CaptureHome capture;
    beepInChild(capture, {{440, 250}});
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
    for (const auto& [call, frames] : {std::pair<Call, std::size_t>{{1000, 37}, 1776}, {{20000, 50}, 2400}}) {
        CaptureHome capture;
        beepInChild(capture, {call});
        EXPECT_EQ(capture.samples().size(), frames) << call.hz << " Hz";
    }
}

TEST(Beep, WithoutADeviceStillTakesTheWholeDurationQuietly)
{
    CaptureHome capture;
    capture.breakDevice();
    const std::vector<double> took = beepInChild(capture, {{440, 100}});
    ASSERT_EQ(took.size(), 1u);
    EXPECT_NEAR(took[0], 100.0, 20.0);
    QFile errors(capture.errorsPath());
    ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
    EXPECT_EQ(errors.readAll().toStdString(), "") << "ALSA printed on its own";
}

TEST(Beep, OutOfRangeCallsReturnAtOnceAndPlayNothing)
{
    CaptureHome capture;
    const std::vector<Call> calls{{0, 100}, {-440, 100}, {25000, 100}, {20001, 100}, {440, 0}, {440, -5}};
    const std::vector<double> took = beepInChild(capture, calls);
    ASSERT_EQ(took.size(), calls.size());
    for (std::size_t i = 0; i < took.size(); ++i)
        EXPECT_LT(took[i], 20.0) << "hz " << calls[i].hz << " ms " << calls[i].ms;
    EXPECT_FALSE(capture.captured());
}

} // namespace
