// Tests of the archive streams: fixed fields, counted strings, buffering and failures.
#include "tests/support/byte_files.h"
#include "platform/storage/archive.h"
#include "platform/core/errors.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

using platform::ArchiveError;
using platform::ArchiveReader;
using platform::ArchiveWriter;

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Counts the calls a reader makes, to show that it reads in buffer-sized blocks only.
class CountingSource : public platform::ByteSource {
public:
    explicit CountingSource(platform::ByteSource& inner) : m_inner(inner) {}
    std::size_t read(char* data, std::size_t size) override
    {
        requests.push_back(size);
        return m_inner.read(data, size);
    }
    std::uint64_t remaining() const override { return m_inner.remaining(); }
    std::vector<std::size_t> requests;

private:
    platform::ByteSource& m_inner;
};

// Keeps what it is given in memory and fails once `failAfterCalls` writes have gone through.
class RecordingSink : public platform::ByteSink {
public:
    bool write(const char* data, std::size_t size) override
    {
        if (writes.size() == failAfterCalls)
            return false;
        writes.push_back(size);
        bytes.append(data, size);
        return true;
    }
    std::string errorText() const override { return "No space left on device"; }
    std::vector<std::size_t> writes;
    Bytes bytes;
    std::size_t failAfterCalls = std::numeric_limits<std::size_t>::max();
};

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::string path() const { return m_dir.filePath("archive.bin").toStdString(); }

    void writeFile(const Bytes& bytes) const { writeBytes(path(), bytes); }

    // The bytes a writer hands its sink for what `fill` writes.
    template <typename Fill> static Bytes writeWith(Fill fill)
    {
        RecordingSink sink;
        ArchiveWriter out(sink, "archive.bin");
        fill(out);
        out.flush();
        return sink.bytes;
    }

    // Puts `bytes` in the file and hands a reader over it to `read`.
    template <typename Read> void readWith(const Bytes& bytes, Read read) const
    {
        writeFile(bytes);
        FilePtr file(std::fopen(path().c_str(), "rb"), &std::fclose);
        platform::FileSource source(fileno(file.get()), "archive.bin");
        ArchiveReader in(source, "archive.bin");
        read(in);
    }

    // One string read from `bytes`, then an i32 that must follow it, proving all its bytes were consumed.
    std::string readStringThenMarker(const Bytes& bytes) const
    {
        std::string text = "untouched";
        readWith(bytes + Bytes("\x2A\0\0\0", 4), [&](ArchiveReader& in) {
            in.readString(text);
            EXPECT_EQ(in.readI32(), 42);
            EXPECT_EQ(in.bytesLeft(), 0u);
        });
        return text;
    }

    // Expects `read` to raise EndOfFile naming the file.
    void expectEndOfFile(const Bytes& bytes, const std::function<void(ArchiveReader&)>& read) const
    {
        readWith(bytes, [&](ArchiveReader& in) {
            try {
                read(in);
                ADD_FAILURE() << "no error raised";
            } catch (const ArchiveError& error) {
                EXPECT_EQ(error.cause(), ArchiveError::Cause::EndOfFile);
                EXPECT_EQ(error.fileName(), "archive.bin");
            }
        });
    }

    // The same for a string, whose target must be left as it was.
    void expectStringEndOfFile(const Bytes& bytes) const
    {
        std::string text = "keep";
        expectEndOfFile(bytes, [&](ArchiveReader& in) { in.readString(text); });
        EXPECT_EQ(text, "keep");
    }

private:
    QTemporaryDir m_dir;
};

// ---- Fixed fields ----

TEST_F(ArchiveTest, FixedFieldsAreLittleEndian)
{
    const Bytes bytes = writeWith([](ArchiveWriter& out) {
        out.writeU8(0xAB);
        out.writeI32(0x01020304);
        out.writeI32(-2);
        out.writeI64(0x0102030405060708);
        out.writeI64(std::numeric_limits<std::int64_t>::min());
    });
    EXPECT_EQ(bytes, bytesOf({0xAB, 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1,
                              0, 0, 0, 0, 0, 0, 0, 0x80}));
}

TEST_F(ArchiveTest, ExtremeIntegersRoundTrip)
{
    using I32 = std::numeric_limits<std::int32_t>;
    using I64 = std::numeric_limits<std::int64_t>;
    const Bytes bytes = writeWith([](ArchiveWriter& out) {
        for (std::int32_t v : {I32::min(), I32::max(), -1, 0})
            out.writeI32(v);
        for (std::int64_t v : {I64::min(), I64::max(), std::int64_t(-1), std::int64_t(1) << 40})
            out.writeI64(v);
        out.writeU8(0xFF);
    });
    readWith(bytes, [](ArchiveReader& in) {
        for (std::int32_t v : {I32::min(), I32::max(), -1, 0})
            EXPECT_EQ(in.readI32(), v);
        for (std::int64_t v : {I64::min(), I64::max(), std::int64_t(-1), std::int64_t(1) << 40})
            EXPECT_EQ(in.readI64(), v);
        EXPECT_EQ(in.readU8(), 0xFF);
    });
}

TEST_F(ArchiveTest, ShortFixedFieldRaisesEndOfFile)
{
    expectEndOfFile(bytesOf({1, 2, 3}), [](ArchiveReader& in) { in.readI32(); });
    expectEndOfFile(Bytes(), [](ArchiveReader& in) { in.readU8(); });
    expectEndOfFile(bytesOf({1, 2, 3, 4, 5, 6, 7}), [](ArchiveReader& in) { in.readI64(); });
}

// ---- Counted strings ----

struct PrefixCase {
    std::size_t length;
    Bytes prefix;
};

class CountedStringTest : public ArchiveTest, public ::testing::WithParamInterface<PrefixCase> {};

TEST_P(CountedStringTest, PrefixIsWrittenAndTextRoundTrips)
{
    const PrefixCase& c = GetParam();
    Bytes text(c.length, '\0');
    for (std::size_t i = 0; i < c.length; ++i)
        text[i] = char('a' + i % 26);
    const Bytes bytes = writeWith([&](ArchiveWriter& out) { out.writeString(text); });
    ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
    EXPECT_EQ(bytes.substr(0, c.prefix.size()), c.prefix);
    EXPECT_EQ(readStringThenMarker(bytes), text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CountedStringTest,
    ::testing::Values(PrefixCase{0, bytesOf({0})}, PrefixCase{1, bytesOf({1})}, PrefixCase{127, bytesOf({127})},
        PrefixCase{128, bytesOf({128})}, PrefixCase{254, bytesOf({254})}, PrefixCase{255, bytesOf({0xFF, 0xFF, 0})},
        PrefixCase{4096, bytesOf({0xFF, 0, 0x10})}, PrefixCase{65533, bytesOf({0xFF, 0xFD, 0xFF})},
        PrefixCase{65534, bytesOf({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0})},
        PrefixCase{65535, bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0})},
        PrefixCase{70000, bytesOf({0xFF, 0xFF, 0xFF, 0x70, 0x11, 1, 0})}));

TEST_F(ArchiveTest, WiderCountsAreRead)
{
    EXPECT_EQ(readStringThenMarker(bytesOf({0xFF, 0xFF, 0xFF, 3, 0, 0, 0}) + "abc"), "abc");
    EXPECT_EQ(readStringThenMarker(bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 0, 0, 0, 0}) + "xyz"),
              "xyz");
    EXPECT_EQ(readStringThenMarker(bytesOf({0xFF, 4, 0}) + "wxyz"), "wxyz");
    // 16-bit text (marked FF FE FF) with 16- and 32-bit counts of characters.
    Bytes units;
    for (int i = 0; i < 300; ++i)
        units += bytesOf({'k', 0});
    EXPECT_EQ(readStringThenMarker(bytesOf({0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}) + units), Bytes(300, 'k'));
    EXPECT_EQ(readStringThenMarker(bytesOf({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0, 0}) + units),
              Bytes(300, 'k'));
}

TEST_F(ArchiveTest, BytesThatAreNotUtf8RoundTrip)
{
    const Bytes text = bytesOf({0xFF, 0xFE, 0x80, 0xC3, 0x28, 0x0D, 0x0A, 0xE9, 0x01, 0x7F});
    const Bytes bytes = writeWith([&](ArchiveWriter& out) { out.writeString(text); });
    EXPECT_EQ(bytes, bytesOf({10}) + text);
    EXPECT_EQ(readStringThenMarker(bytes), text);
}

TEST_F(ArchiveTest, ZeroCharacterCutsTheTextButAllBytesAreConsumed)
{
    EXPECT_EQ(readStringThenMarker(bytesOf({5, 'a', 'b', 0, 'c', 'd'})), "ab");
    EXPECT_EQ(readStringThenMarker(bytesOf({3, 0, 'c', 'd'})), "");
    // Text long enough to be read through the heap path, with the zero near its end.
    Bytes longText(300, 'q');
    longText[290] = '\0';
    EXPECT_EQ(readStringThenMarker(bytesOf({0xFF, 0x2C, 0x01}) + longText), Bytes(290, 'q'));
}

TEST_F(ArchiveTest, SixteenBitStringsBecomeUtf8)
{
    // FF FE FF marks 16-bit text; the count that follows is in characters.
    const Bytes marker = bytesOf({0xFF, 0xFE, 0xFF});
    EXPECT_EQ(readStringThenMarker(marker + bytesOf({2, 'A', 0, 0xE9, 0})), "A\xC3\xA9");
    EXPECT_EQ(readStringThenMarker(marker + bytesOf({2, 0x3D, 0xD8, 0x00, 0xDE})), "\xF0\x9F\x98\x80");
    EXPECT_EQ(readStringThenMarker(marker + bytesOf({2, 0xAC, 0x20, 0x0D, 0x00})), "\xE2\x82\xAC\r");
    EXPECT_EQ(readStringThenMarker(marker + bytesOf({0})), "");
    // A lone surrogate cannot be UTF-8; it becomes U+FFFD.
    EXPECT_EQ(readStringThenMarker(marker + bytesOf({2, 0x3D, 0xD8, 'x', 0})), "\xEF\xBF\xBDx");
    // A zero character cuts 16-bit text too.
    EXPECT_EQ(readStringThenMarker(marker + bytesOf({3, 'a', 0, 0, 0, 'b', 0})), "a");
}

TEST_F(ArchiveTest, ShortStringsRaiseEndOfFileAndKeepTheTarget)
{
    expectStringEndOfFile(bytesOf({10, 'a', 'b', 'c'}));
    expectStringEndOfFile(bytesOf({0xFF, 0x2C}));
    expectStringEndOfFile(bytesOf({0xFF, 0xFE, 0xFF, 3, 'a', 0, 'b', 0, 'c'}));
    expectStringEndOfFile(bytesOf({0xFF, 0xFE}));
}

TEST_F(ArchiveTest, HugeCountsFailBeforeAnyLargeAllocation)
{
    g_largestAllocation = 0;
    // About 4 GiB, 2^40 and 2^64-1 characters (the last would overflow if doubled for 16-bit text).
    expectStringEndOfFile(bytesOf({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}) + Bytes(23, 'x'));
    expectStringEndOfFile(bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 1, 0, 0}) + "abc");
    expectStringEndOfFile(bytesOf({0xFF, 0xFE, 0xFF}) + Bytes(15, '\xFF') + "abcd");
    EXPECT_LT(g_largestAllocation.load(), std::size_t(1) << 20);
}

// ---- Buffering and the devices ----

TEST_F(ArchiveTest, ReaderFillsItsBufferInBlocks)
{
    const Bytes bytes = writeWith([](ArchiveWriter& out) {
        for (int i = 0; i < 2500; ++i)
            out.writeI32(i);
    });
    ASSERT_EQ(bytes.size(), 10000u);
    writeFile(bytes);
    FilePtr file(std::fopen(path().c_str(), "rb"), &std::fclose);
    platform::FileSource fileSource(fileno(file.get()), "archive.bin");
    CountingSource source(fileSource);
    ArchiveReader in(source, "archive.bin");
    EXPECT_EQ(in.bytesLeft(), 10000u);
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(in.readI32(), i);
    EXPECT_EQ(in.bytesLeft(), 0u);
    EXPECT_EQ(source.requests, (std::vector<std::size_t>{4096, 4096, 4096}));
    // A reader given a larger buffer asks for that much; an i32 cut by the refill keeps its first bytes.
    ASSERT_EQ(::lseek(fileno(file.get()), 0, SEEK_SET), 0);
    platform::FileSource again(fileno(file.get()), "archive.bin");
    CountingSource larger(again);
    ArchiveReader wide(larger, "archive.bin", 6002);
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(wide.readI32(), i);
    EXPECT_EQ(larger.requests, (std::vector<std::size_t>{6002, 6000}));
}

TEST_F(ArchiveTest, WriterEmptiesItsBufferOnlyWhenFullOrFlushed)
{
    RecordingSink sink;
    ArchiveWriter out(sink, "archive.bin");
    out.writeString(Bytes(9997, 'z')); // three bytes of prefix: 10000 in all
    EXPECT_EQ(sink.writes, (std::vector<std::size_t>{4096, 4096}));
    out.flush();
    EXPECT_EQ(sink.writes, (std::vector<std::size_t>{4096, 4096, 1808}));
    EXPECT_EQ(sink.bytes, bytesOf({0xFF, 0x0D, 0x27}) + Bytes(9997, 'z'));
    out.flush();
    EXPECT_EQ(sink.writes.size(), 3u);
}

TEST_F(ArchiveTest, SinkFailureRaisesFileErrorWithTheReason)
{
    RecordingSink sink;
    sink.failAfterCalls = 1;
    ArchiveWriter out(sink, "archive.bin");
    try {
        for (int i = 0; i < 2000; ++i)
            out.writeI64(i);
        out.flush();
        ADD_FAILURE() << "no error raised";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.fileName(), "archive.bin");
        EXPECT_EQ(error.reason(), "No space left on device");
    }
    EXPECT_EQ(sink.bytes.size(), 4096u);
}

TEST_F(ArchiveTest, FileSourceKnowsWhatIsLeft)
{
    writeFile(Bytes(5000, 'r'));
    FilePtr file(std::fopen(path().c_str(), "rb"), &std::fclose);
    platform::FileSource source(fileno(file.get()), "archive.bin");
    EXPECT_EQ(source.remaining(), 5000u);
    char block[4096];
    EXPECT_EQ(source.read(block, sizeof block), 4096u);
    EXPECT_EQ(source.remaining(), 904u);
    EXPECT_EQ(source.read(block, sizeof block), 904u);
    EXPECT_EQ(source.remaining(), 0u);
    EXPECT_EQ(source.read(block, sizeof block), 0u);
}

} // namespace
