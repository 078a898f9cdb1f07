// Buffered archive reading and writing: fixed fields, counted strings, and the file descriptor source.
#include "platform/storage/archive.h"

#include "platform/core/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// Text read through the stack when it straddles the buffer and is short, so most strings cost no allocation.
constexpr std::size_t kStackTextSize = 128;
// ensure() gathers a fixed field of up to 8 bytes at the buffer's front.
constexpr std::size_t kMinBufferSize = sizeof(std::uint64_t);

std::uint16_t utf16Unit(const char* data, std::size_t index)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data) + 2 * index;
    return std::uint16_t(bytes[0] | (bytes[1] << 8));
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u < 0xDC00; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u < 0xE000; }

// UTF-16LE text up to its first zero unit as UTF-8; a lone surrogate becomes U+FFFD, as Qt does.
std::string utf8FromUtf16le(const char* data, std::size_t units)
{
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = utf16Unit(data, i);
        if (c == 0)
            break;
        if (isHighSurrogate(c) && i + 1 < units && isLowSurrogate(utf16Unit(data, i + 1)))
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16Unit(data, ++i) - 0xDC00);
        else if (isHighSurrogate(c) || isLowSurrogate(c))
            c = 0xFFFD;
        appendUtf8(out, c);
    }
    return out;
}

} // namespace

FileSource::FileSource(int fd, std::string fileName) : m_fd(fd), m_fileName(std::move(fileName))
{
    struct stat info {};
    const off_t position = ::lseek(m_fd, 0, SEEK_CUR);
    if (::fstat(m_fd, &info) == 0 && position >= 0 && info.st_size > position)
        m_remaining = std::uint64_t(info.st_size - position);
}

std::size_t FileSource::read(char* data, std::size_t size)
{
    ssize_t got = 0;
    do
        got = ::read(m_fd, data, size);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        throw FileError(m_fileName, std::strerror(errno));
    m_remaining -= std::min<std::uint64_t>(std::uint64_t(got), m_remaining);
    return std::size_t(got);
}

std::uint64_t FileSource::remaining() const { return m_remaining; }

ArchiveReader::ArchiveReader(ByteSource& source, std::string fileName, std::size_t bufferSize)
    : m_source(source), m_fileName(std::move(fileName)), m_capacity(std::max(bufferSize, kMinBufferSize)),
      m_buffer(std::make_unique_for_overwrite<char[]>(m_capacity)), m_pos(m_buffer.get()), m_end(m_buffer.get())
{
}

void ArchiveReader::endOfFile() const { throw ArchiveError(ArchiveError::Cause::EndOfFile, m_fileName); }

std::uint64_t ArchiveReader::bytesLeft() const { return std::uint64_t(m_end - m_pos) + m_source.remaining(); }

// Makes at least `size` (<= 8) bytes available in the buffer, keeping the unread ones.
void ArchiveReader::ensure(std::size_t size)
{
    char* const buffer = m_buffer.get();
    std::size_t have = std::size_t(m_end - m_pos);
    std::memmove(buffer, m_pos, have);
    m_pos = buffer;
    m_end = buffer + have;
    while (have < size) {
        const std::size_t got = m_source.read(buffer + have, m_capacity - have);
        if (got == 0)
            endOfFile();
        m_fetched += got;
        have += got;
        m_end = buffer + have;
    }
}

void ArchiveReader::readRaw(char* data, std::size_t size)
{
    while (size > 0) {
        if (m_pos == m_end) {
            m_pos = m_end = m_buffer.get();
            const std::size_t got = m_source.read(m_buffer.get(), m_capacity);
            if (got == 0)
                endOfFile();
            m_fetched += got;
            m_end = m_buffer.get() + got;
        }
        const std::size_t chunk = std::min(size, std::size_t(m_end - m_pos));
        std::memcpy(data, m_pos, chunk);
        m_pos += chunk;
        data += chunk;
        size -= chunk;
    }
}

// 0xFF escapes to a wider count; the word 0xFFFE marks 16-bit text, whose count then starts over.
ArchiveReader::Length ArchiveReader::readLength()
{
    bool wide = false;
    std::uint64_t count = readU8();
    if (count < 0xFF)
        return {count, wide};
    std::uint16_t word = readLittleEndian<std::uint16_t>();
    if (word == 0xFFFE) {
        wide = true;
        count = readU8();
        if (count < 0xFF)
            return {count, wide};
        word = readLittleEndian<std::uint16_t>();
    }
    if (word < 0xFFFE)
        return {word, wide};
    const std::uint32_t dword = readLittleEndian<std::uint32_t>();
    if (dword < 0xFFFFFFFF)
        return {dword, wide};
    return {readLittleEndian<std::uint64_t>(), wide};
}

void ArchiveReader::assignText(std::string& target, const char* data, std::size_t bytes, bool wide)
{
    if (wide) {
        target = utf8FromUtf16le(data, bytes / 2);
        return;
    }
    assignNarrow(target, data, bytes);
}

void ArchiveReader::readCountedString(std::string& target)
{
    const Length length = readLength();
    const std::uint64_t unit = length.wide ? 2 : 1;
    const std::size_t buffered = std::size_t(m_end - m_pos);
    // Checked before any allocation, so a damaged prefix cannot ask for gigabytes.
    if (length.count > buffered / unit && length.count > bytesLeft() / unit)
        endOfFile();
    const std::size_t bytes = std::size_t(length.count * unit);
    if (buffered >= bytes) {
        assignText(target, m_pos, bytes, length.wide);
        m_pos += bytes;
    } else if (bytes <= kStackTextSize) {
        char text[kStackTextSize];
        readRaw(text, bytes);
        assignText(target, text, bytes, length.wide);
    } else {
        std::string text(bytes, '\0');
        readRaw(text.data(), bytes);
        // A long 8-bit text with no zero in it becomes the target as it is, never copied once more.
        if (length.wide || std::memchr(text.data(), 0, bytes))
            assignText(target, text.data(), bytes, length.wide);
        else
            target = std::move(text);
    }
}

ArchiveWriter::ArchiveWriter(ByteSink& sink, std::string fileName) : m_sink(sink), m_fileName(std::move(fileName)) {}

void ArchiveWriter::flush()
{
    if (m_used == 0)
        return;
    if (!m_sink.write(m_buffer, m_used))
        throw FileError(m_fileName, m_sink.errorText());
    m_used = 0;
}

template <typename T> void ArchiveWriter::writeLittleEndian(T value)
{
    if (kArchiveBufferSize - m_used < sizeof(T))
        flush();
    for (std::size_t i = 0; i < sizeof(T); ++i)
        m_buffer[m_used++] = char((value >> (8 * i)) & 0xFF);
}

void ArchiveWriter::writeU8(std::uint8_t value) { writeLittleEndian(value); }

void ArchiveWriter::writeI32(std::int32_t value) { writeLittleEndian(std::uint32_t(value)); }

void ArchiveWriter::writeI64(std::int64_t value) { writeLittleEndian(std::uint64_t(value)); }

void ArchiveWriter::writeRaw(const char* data, std::size_t size)
{
    while (size > 0) {
        if (m_used == kArchiveBufferSize)
            flush();
        const std::size_t chunk = std::min(size, kArchiveBufferSize - m_used);
        std::memcpy(m_buffer + m_used, data, chunk);
        m_used += chunk;
        data += chunk;
        size -= chunk;
    }
}

void ArchiveWriter::writeLength(std::uint64_t count)
{
    if (count < 0xFF)
        return writeU8(std::uint8_t(count));
    writeU8(0xFF);
    if (count < 0xFFFE)
        return writeLittleEndian(std::uint16_t(count));
    writeLittleEndian(std::uint16_t(0xFFFF));
    if (count < 0xFFFFFFFF)
        return writeLittleEndian(std::uint32_t(count));
    writeLittleEndian(std::uint32_t(0xFFFFFFFF));
    writeLittleEndian(std::uint64_t(count));
}

void ArchiveWriter::writeString(std::string_view text)
{
    writeLength(text.size());
    writeRaw(text.data(), text.size());
}

} // namespace platform
