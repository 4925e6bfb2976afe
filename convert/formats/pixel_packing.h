#pragma once

#include <QByteArray>
#include <QtGlobal>

// How every format lays its pixels out in bytes, in one place: values of a few bits packed into
// rows of bytes (one bit packer, whatever the bits a pixel, their order and the rows' length),
// and 5-6-5 values in either byte order (one writer).

// How values of 1, 2, 4 or 8 bits share a byte.
struct BitPacking
{
    int bitsPerPixel = 1;
    // The leftmost pixel in the lowest bits (XBM); otherwise in the highest, as most drawing
    // libraries and panels read them.
    bool leftmostLowest = false;
    // The value of the pixels past the right edge, which fill a row's last byte.
    quint8 filler = 0;
};

// The bytes a row of `width` pixels takes once packed.
int packedRowBytes(int width, int bitsPerPixel);

// Packs a row of `width` values, one byte each (only the low bits counted), into `out`.
void packRow(const uchar *values, int width, const BitPacking &packing, char *out);

// Packs `height` rows of `width` values, each row `valueStride` bytes after the one before, into
// rows of `stride` bytes (packedRowBytes() when 0), zeros after each row's packed bytes.
QByteArray packRows(const uchar *values, qsizetype valueStride, int width, int height,
                    const BitPacking &packing, int stride = 0);
// The same into `out`, which holds `height` rows of `stride` bytes.
void packRowsInto(const uchar *values, qsizetype valueStride, int width, int height,
                  const BitPacking &packing, int stride, char *out);

// A 5-6-5 value as a little-endian firmware keeps it (low byte first), or high byte first, as
// displays that take the high byte first receive it. Returns the byte after it.
inline char *put565(char *out, quint16 value, bool highFirst)
{
    out[0] = char(highFirst ? value >> 8 : value & 0xff);
    out[1] = char(highFirst ? value & 0xff : value >> 8);
    return out + 2;
}

// A 5-6-5 value with red and blue exchanged, as a panel wired BGR takes it: blue in bits 15-11,
// red in bits 4-0.
inline quint16 swapRedBlue565(quint16 value)
{
    return quint16((value & 0x07e0) | value >> 11 | (value & 0x1f) << 11);
}

// A row of `width` 5-6-5 values into `out`, in that byte order. Returns the byte after them.
char *put565Row(const quint16 *values, int width, bool highFirst, char *out);
