#pragma once

#include <QByteArray>

// Quillon's run-length coding of a display format's array, which the firmware reads back with
// examples/firmware/quillon_rle.h, a row or a band at a time, straight from flash.
//
// The coded bytes begin with one byte: the unit, 1, 2 or 3 bytes (a byte of packed pixels, a 5-6-5
// value, an RGB888 pixel), or 0 when the array is stored as it is after it, because the coding would
// not have made it smaller. Then, for a unit of 1 to 3, packets of one control byte each:
//
//     0x00 to 0x7f   (c + 1) units follow, copied as they are         literal: 1 to 128 units
//     0x80 to 0xff   one unit follows, repeated (c - 0x80 + 1) times  run: 1 to 128 units
//
// The array is taken in whole units, the last one filled with zeros; the reader stops at the
// array's own size, which the header gives. A run is coded as such once it is at least 3 bytes
// long for a unit of 1, and 2 units long for the larger ones: shorter, it would cost more than
// the literal it breaks. The same bytes always give the same coding.
namespace QuillonRle {

constexpr quint8 stored = 0; // the first byte of an array stored as it is
constexpr int maxCount = 128; // units in one packet, literal or run
constexpr int maxUnit = 3;

// The coding of `bytes` in units of `unit` bytes (1 to 3): at most one byte more than `bytes`.
QByteArray compress(const QByteArray &bytes, int unit);

// The reader, written beside each header that includes it: its name, and its bytes as
// examples/firmware/quillon_rle.h holds them (built into the program).
constexpr char readerFileName[] = "quillon_rle.h";
const QByteArray &readerText();

} // namespace QuillonRle
