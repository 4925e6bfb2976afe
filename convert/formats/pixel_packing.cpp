#include "pixel_packing.h"

#include <cstring>

int packedRowBytes(int width, int bitsPerPixel)
{
    return int((qint64(width) * bitsPerPixel + 7) / 8);
}

void packRow(const uchar *values, int width, const BitPacking &packing, char *out)
{
    const int bits = packing.bitsPerPixel;
    if (bits == 8) {
        std::memcpy(out, values, size_t(width));
        return;
    }
    const int perByte = 8 / bits, mask = (1 << bits) - 1;
    // Where each pixel of a byte goes, left to right.
    int shifts[8];
    for (int i = 0; i < perByte; ++i)
        shifts[i] = packing.leftmostLowest ? i * bits : 8 - bits * (i + 1);
    const int whole = width / perByte * perByte;
    for (int x = 0; x < whole; x += perByte) {
        int byte = 0;
        for (int i = 0; i < perByte; ++i)
            byte |= (values[x + i] & mask) << shifts[i];
        *out++ = char(byte);
    }
    if (whole < width) {
        int byte = 0;
        for (int i = 0; i < perByte; ++i)
            byte |= ((whole + i < width ? values[whole + i] : packing.filler) & mask) << shifts[i];
        *out = char(byte);
    }
}

QByteArray packRows(const uchar *values, qsizetype valueStride, int width, int height,
                    const BitPacking &packing, int stride)
{
    const int rowBytes = packedRowBytes(width, packing.bitsPerPixel);
    if (stride == 0)
        stride = rowBytes;
    QByteArray rows(qsizetype(stride) * height, Qt::Uninitialized);
    packRowsInto(values, valueStride, width, height, packing, stride, rows.data());
    return rows;
}

void packRowsInto(const uchar *values, qsizetype valueStride, int width, int height,
                  const BitPacking &packing, int stride, char *out)
{
    const int rowBytes = packedRowBytes(width, packing.bitsPerPixel);
    for (int y = 0; y < height; ++y, out += stride) {
        packRow(values + y * valueStride, width, packing, out);
        std::memset(out + rowBytes, 0, size_t(stride - rowBytes));
    }
}

char *put565Row(const quint16 *values, int width, bool highFirst, char *out)
{
    for (int x = 0; x < width; ++x)
        out = put565(out, values[x], highFirst);
    return out;
}
