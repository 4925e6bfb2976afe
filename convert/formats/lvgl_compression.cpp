#include "lvgl_compression.h"

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
int repeatCount(const QByteArray &data, int at, int block)
{
    int count = 0;
    for (int i = at; i + block <= data.size() && count < maxRun; i += block) {
        if (!sameBlock(data.constData() + at, data.constData() + i, block))
            break;
        ++count;
    }
    return count;
}

// How many blocks from `at` to copy as they are: up to a repeat longer than the threshold, or
// 127 blocks.
int copyCount(const QByteArray &data, int at, int block)
{
    int count = 0, repeats = 0;
    const char *previous = data.constData() + at;
    for (int i = at;; i += block) {
        const char *value = data.constData() + i;
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
        if (i + block >= data.size()) {
            count += repeats;
            break;
        }
    }
    return qMin(count, maxRun);
}

} // namespace

QByteArray lvglRleCompress(const QByteArray &input, int block, int headerRoom)
{
    QByteArray data = input;
    if (data.size() % block)
        data.append(QByteArray(block - data.size() % block, '\0'));
    QByteArray out(headerRoom, '\0');
    int at = 0;
    while (at < data.size()) {
        const int repeats = repeatCount(data, at, block);
        if (repeats == 0)
            break;
        if (repeats < repeatThreshold) {
            const int copies = copyCount(data, at, block);
            out += char(copies | 0x80);
            out.append(data.constData() + at, copies * block);
            at += copies * block;
        } else {
            out += char(repeats);
            out.append(data.constData() + at, block);
            at += repeats * block;
        }
    }
    return out;
}

QByteArray lz4Compress(const QByteArray &data, int headerRoom)
{
    const int bound = LZ4_compressBound(data.size());
    QByteArray out(headerRoom + bound, Qt::Uninitialized);
    std::memset(out.data(), 0, size_t(headerRoom));
    const int size = LZ4_compress_default(data.constData(), out.data() + headerRoom, data.size(), bound);
    out.resize(headerRoom + qMax(size, 0));
    return out;
}
