// Buffered little-endian archive streams with counted strings, over small byte sources and sinks.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Where an archive reader gets its bytes. It is asked only when the reader's buffer runs dry.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes; fewer (or 0) only at the end. Device errors throw platform::Error.
    virtual std::size_t read(char* data, std::size_t size) = 0;
    // Bytes still to come; a length prefix is checked against it before anything is allocated.
    virtual std::uint64_t remaining() const = 0;
};

// Where an archive writer puts its bytes. It is called only when the writer's buffer is full or flushed.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all `size` bytes; false when the device failed, the reason then in errorText().
    virtual bool write(const char* data, std::size_t size) = 0;
    virtual std::string errorText() const = 0;
};

// A source over a file descriptor opened for reading (not owned), made before anything is read from it.
// It reads straight into the archive's buffer: the archive's 4096 bytes are the only buffer.
class FileSource : public ByteSource {
public:
    FileSource(int fd, std::string fileName);
    std::size_t read(char* data, std::size_t size) override;
    std::uint64_t remaining() const override;

private:
    int m_fd;
    std::string m_fileName;
    std::uint64_t m_remaining = 0;
};

inline constexpr std::size_t kArchiveBufferSize = 4096;

// Reads fixed little-endian fields and counted strings. Bytes running short raise
// ArchiveError(EndOfFile, fileName). The source is asked for up to `bufferSize` bytes at a time.
class ArchiveReader {
public:
    ArchiveReader(ByteSource& source, std::string fileName, std::size_t bufferSize = kArchiveBufferSize);
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    std::uint8_t readU8();
    std::int32_t readI32();
    std::int64_t readI64();
    // Reads an 8-bit or 16-bit counted string into `target` as bytes (16-bit text becomes UTF-8),
    // cut at the first zero character. On any error `target` keeps its old value.
    void readString(std::string& target);
    // Bytes not yet read: what is buffered plus what the source still holds.
    std::uint64_t bytesLeft() const;
    // Bytes read so far, counted from where the source started.
    std::uint64_t position() const { return m_fetched - std::uint64_t(m_end - m_pos); }

private:
    struct Length {
        std::uint64_t count;
        bool wide;
    };
    Length readLength();
    template <typename T> T readLittleEndian();
    void readCountedString(std::string& target);
    void ensure(std::size_t size);
    void readRaw(char* data, std::size_t size);
    void assignText(std::string& target, const char* data, std::size_t bytes, bool wide);
    // 8-bit text up to its first zero.
    static void assignNarrow(std::string& target, const char* data, std::size_t bytes);
    [[noreturn]] void endOfFile() const;

    ByteSource& m_source;
    std::string m_fileName;
    std::size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    const char* m_pos;
    const char* m_end;
    std::uint64_t m_fetched = 0; // bytes taken from the source so far
};

// Fixed fields are read several times per record: inline, with only the buffer's refill out of line.
inline std::uint8_t ArchiveReader::readU8()
{
    if (m_pos == m_end)
        ensure(1);
    return std::uint8_t(*m_pos++);
}

template <typename T> inline T ArchiveReader::readLittleEndian()
{
    if (std::size_t(m_end - m_pos) < sizeof(T))
        ensure(sizeof(T));
    T value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, m_pos, sizeof(T)); // one load, where the byte loop below is not always merged
    } else {
        const auto* bytes = reinterpret_cast<const unsigned char*>(m_pos);
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= T(bytes[i]) << (8 * i);
    }
    m_pos += sizeof(T);
    return value;
}

inline std::int32_t ArchiveReader::readI32() { return std::int32_t(readLittleEndian<std::uint32_t>()); }

inline std::int64_t ArchiveReader::readI64() { return std::int64_t(readLittleEndian<std::uint64_t>()); }

// Most texts are short 8-bit ones lying whole in the buffer: those are read inline.
inline void ArchiveReader::readString(std::string& target)
{
    constexpr std::size_t kShortCountLimit = 0xFF; // a count byte below it is the whole count
    const std::size_t buffered = std::size_t(m_end - m_pos);
    const std::size_t count = buffered > 0 ? std::uint8_t(*m_pos) : kShortCountLimit;
    if (count >= kShortCountLimit || count >= buffered)
        return readCountedString(target);
    const char* text = m_pos + 1;
    assignNarrow(target, text, count);
    m_pos = text + count;
}

inline void ArchiveReader::assignNarrow(std::string& target, const char* data, std::size_t bytes)
{
    const void* zero = std::memchr(data, 0, bytes);
    const std::size_t length = zero ? std::size_t(static_cast<const char*>(zero) - data) : bytes;
    // A text that needs a heap block gets one of its own length, not the doubled room assign() would take.
    if (length > target.capacity())
        target = std::string(data, length);
    else
        target.assign(data, length);
}

// Writes fixed little-endian fields and 8-bit counted strings. flush() must end the writing;
// a sink failure raises FileError(fileName, reason).
class ArchiveWriter {
public:
    ArchiveWriter(ByteSink& sink, std::string fileName);
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    void writeU8(std::uint8_t value);
    void writeI32(std::int32_t value);
    void writeI64(std::int64_t value);
    void writeString(std::string_view text);
    void writeRaw(const char* data, std::size_t size);
    void flush();

private:
    void writeLength(std::uint64_t count);
    template <typename T> void writeLittleEndian(T value);

    ByteSink& m_sink;
    std::string m_fileName;
    std::size_t m_used = 0;
    char m_buffer[kArchiveBufferSize];
};

} // namespace platform
