#include "lvgl_compression.h"

#include "released_memory.h"

#define LZ4_STATIC_LINKING_ONLY // for LZ4_COMPRESS_INPLACE_MARGIN, a macro only
#include <lz4.h>

#include <cstring>

namespace {

constexpr int maxRun = 127; // a run's count fits in the control byte's 7 bits
constexpr int repeatThreshold = 16; // fewer repeats than this are copied as they are

bool sameBlock(const char *a, const char *b, int size)
{
    return std::memcmp(a, b, size_t(size)) == 0;
}

// How many blocks from `at` repeat the first one, up to 127.
int repeatCount(const char *data, qint64 size, qint64 at, int block)
{
    int count = 0;
    for (qint64 i = at; i + block <= size && count < maxRun; i += block) {
        if (!sameBlock(data + at, data + i, block))
            break;
        ++count;
    }
    return count;
}

// How many blocks from `at` to copy as they are: up to a repeat longer than the threshold, or
// 127 blocks.
int copyCount(const char *data, qint64 size, qint64 at, int block)
{
    int count = 0, repeats = 0;
    const char *previous = data + at;
    for (qint64 i = at;; i += block) {
        const char *value = data + i;
        if (sameBlock(value, previous, block)) {
            if (++repeats > repeatThreshold)
                break;
        } else {
            previous = value;
            count += 1 + repeats;
            repeats = 0;
            if (count >= maxRun)
                return maxRun;
        }
        if (i + block >= size) {
            count += repeats;
            break;
        }
    }
    return qMin(count, maxRun);
}

// A buffer of `room` bytes, then the `size` bytes of `source`, whose pages are handed back to the
// system as they are copied (the source is never read again), then `padding` zeros.
QByteArray movedAfter(qint64 room, char *source, qint64 size, qint64 padding = 0)
{
    QByteArray buffer(int(room + size + padding), Qt::Uninitialized);
    std::memset(buffer.data() + room + size, 0, size_t(padding));
    char *to = buffer.data() + room;
    ReleasedMemory copied(source, size);
    constexpr qint64 chunk = 1 << 20;
    for (qint64 done = 0; done < size; done += chunk) {
        const qint64 count = qMin(chunk, size - done);
        std::memcpy(to + done, source + done, size_t(count));
        copied.readUpTo(source + done + count);
    }
    return buffer;
}

} // namespace

QByteArray lvglRleCompress(char *source, qint64 sourceSize, int block, int headerRoom)
{
    // The input after a margin that the output, written from the start, never catches up on: the
    // header, then one control byte more than the blocks it stands before for each run of 127
    // copied blocks, fewer for any other run.
    const qint64 size = (sourceSize + block - 1) / block * block;
    const qint64 margin = headerRoom + size / block / maxRun + 2;
    QByteArray buffer = movedAfter(margin, source, sourceSize, size - sourceSize);
    std::memset(buffer.data(), 0, size_t(headerRoom));
    char *const data = buffer.data() + margin;
    char *out = buffer.data() + headerRoom;
    qint64 at = 0;
    while (at < size) {
        const int repeats = repeatCount(data, size, at, block);
        if (repeats == 0)
            break;
        if (repeats < repeatThreshold) {
            const int copies = copyCount(data, size, at, block);
            *out++ = char(copies | 0x80);
            std::memmove(out, data + at, size_t(copies) * size_t(block));
            out += qsizetype(copies) * block;
            at += qsizetype(copies) * block;
        } else {
            *out++ = char(repeats);
            std::memmove(out, data + at, size_t(block));
            out += block;
            at += qsizetype(repeats) * block;
        }
    }
    buffer.resize(int(out - buffer.constData()));
    buffer.squeeze();
    return buffer;
}

QByteArray lz4Compress(char *source, qint64 size, int headerRoom)
{
    // The input at the end of a buffer of the largest output and LZ4's margin, the output written
    // from its start.
    const int bound = LZ4_compressBound(int(size));
    const qint64 room = headerRoom + bound + LZ4_COMPRESS_INPLACE_MARGIN - size;
    QByteArray buffer = movedAfter(room, source, size);
    std::memset(buffer.data(), 0, size_t(headerRoom));
    const int written
        = LZ4_compress_default(buffer.constData() + room, buffer.data() + headerRoom, int(size), bound);
    buffer.resize(headerRoom + qMax(written, 0));
    buffer.squeeze();
    return buffer;
}

namespace {

constexpr qint64 lz4Window = 1 << 16; // how far back a match reaches, at most 65,535 bytes
constexpr int lz4MinimumMatch = 4;

} // namespace

DecompressedStream::DecompressedStream(const QByteArray &data, qint64 start, Method method, int blockSize)
    : m_data(data)
    , m_in(reinterpret_cast<const uchar *>(m_data.constData()))
    , m_at(start)
    , m_end(m_data.size())
    , m_method(method)
    , m_blockSize(blockSize)
    , m_window(method == Lz4 ? size_t(lz4Window) : 0)
{ }

bool DecompressedStream::read(char *out, qint64 size)
{
    return m_method == Rle ? readRle(out, size) : readLz4(out, size);
}

bool DecompressedStream::finished() const
{
    if (m_at != m_end)
        return false;
    return m_method == Rle ? m_runLeft < m_blockSize : m_literals == 0 && m_match == 0;
}

bool DecompressedStream::readRle(char *out, qint64 size)
{
    while (size > 0) {
        if (m_runLeft == 0) { // the next control byte: a count of blocks copied or repeated
            if (m_at >= m_end)
                return false;
            const int control = m_in[m_at++];
            m_copied = control & 0x80;
            m_runLeft = qint64(control & 0x7f) * m_blockSize;
            if (m_runLeft == 0)
                return false;
            if (!m_copied) {
                m_block = m_at;
                m_inBlock = 0;
                m_at += m_blockSize;
                if (m_at > m_end)
                    return false;
            }
        }
        const qint64 count = qMin(size, m_runLeft);
        if (m_copied) {
            if (m_at + count > m_end)
                return false;
            std::memcpy(out, m_in + m_at, size_t(count));
            m_at += count;
        } else {
            for (qint64 i = 0; i < count; ++i) {
                out[i] = char(m_in[m_block + m_inBlock]);
                m_inBlock = m_inBlock + 1 == m_blockSize ? 0 : m_inBlock + 1;
            }
        }
        out += count;
        size -= count;
        m_runLeft -= count;
    }
    return true;
}

bool DecompressedStream::lz4Length(qint64 *length)
{
    int byte = 255;
    while (byte == 255) {
        if (m_at >= m_end)
            return false;
        byte = m_in[m_at++];
        *length += byte;
    }
    return true;
}

void DecompressedStream::remember(const char *bytes, qint64 size)
{
    if (size > lz4Window) { // only the last 64 KiB can be reached
        m_written += quint64(size - lz4Window);
        bytes += size - lz4Window;
        size = lz4Window;
    }
    while (size > 0) {
        const qint64 at = qint64(m_written % quint64(lz4Window));
        const qint64 count = qMin(size, lz4Window - at);
        std::memcpy(m_window.data() + at, bytes, size_t(count));
        bytes += count;
        size -= count;
        m_written += quint64(count);
    }
}

// LZ4's block format: sequences of a token (the literals' length in its high 4 bits, the match's
// less 4 in its low 4 bits, 15 meaning more bytes follow), the literals, then a match's 16-bit
// little-endian offset and its length's further bytes; the last sequence holds literals only.
bool DecompressedStream::readLz4(char *out, qint64 size)
{
    while (size > 0) {
        if (m_literals > 0) {
            const qint64 count = qMin(size, m_literals);
            if (m_at + count > m_end)
                return false;
            std::memcpy(out, m_in + m_at, size_t(count));
            remember(out, count);
            m_at += count;
            m_literals -= count;
            out += count;
            size -= count;
        } else if (m_match > 0) {
            const qint64 count = qMin(size, m_match);
            for (qint64 i = 0; i < count; ++i) { // byte by byte: a match may overlap what it writes
                const char byte = m_window[size_t((m_written - quint64(m_offset)) % quint64(lz4Window))];
                m_window[size_t(m_written % quint64(lz4Window))] = byte;
                ++m_written;
                out[i] = byte;
            }
            m_match -= count;
            out += count;
            size -= count;
        } else if (m_matchNext) {
            if (m_at + 2 > m_end)
                return false;
            m_offset = m_in[m_at] | m_in[m_at + 1] << 8;
            m_at += 2;
            if (m_offset == 0 || quint64(m_offset) > m_written)
                return false;
            m_match = m_token & 15;
            if (m_match == 15 && !lz4Length(&m_match))
                return false;
            m_match += lz4MinimumMatch;
            m_matchNext = false;
        } else {
            if (m_at >= m_end)
                return false;
            m_token = m_in[m_at++];
            m_literals = m_token >> 4;
            if (m_literals == 15 && !lz4Length(&m_literals))
                return false;
            m_matchNext = true;
        }
    }
    return true;
}
