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
