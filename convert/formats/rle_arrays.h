#pragma once

#include "display_formats.h"

// A display format's arrays coded by run length (rle_coding.h) in the header that holds them, as
// --compress rle asks of every format but LVGL's, which LVGL's own RLE codes. Each array NAME of a
// picture's pixels becomes `const uint8_t NAME_rle[]`, beside `#define NAME_size` (the bytes of NAME,
// which is not written) and NAME_stride (the bytes of one of its rows, or pages), after
// `#include "quillon_rle.h"`, the reader written beside the header; the palette and an animation's
// tables stay as they are. The drawing lines read the array a row, a page or a band at a time into
// a small buffer and hand that to the library's call for memory (not flash).

// Whether the format's arrays are so coded with these options.
bool codesByRunLength(const DisplayFormat &format, const ArrayLayout &layout);

// The array NAME of `bytes` (as the firmware holds them, rows padded), coded in units of `unit`
// bytes (2 for 5-6-5 values, else 1): NAME_rle; `header` is given NAME_size and the reader's
// include.
CArray runLengthArray(const QByteArray &name, const QByteArray &bytes, int unit, CHeader &header);

// A drawing line of a template that reads the array's rows, {rows} one at a time or {bands} (for
// a library that takes a block of rows) eight at a time, made to read NAME_rle: a row (or a band
// of rows, when they are not padded) decoded into `row` (`band`), 16-bit for {NAME16}, with
// NAME_mask_rle into `mask` for {NAME_mask}, then the call drawn from it; {P}, the P that ends the
// name of a library's function for flash (u8g2_DrawXBMP), is dropped. A line of no template is
// left as it is.
QByteArray codedRowsOf(QByteArray line, const ArrayLayout &layout);

// A buffer of a drawing statement that reads coded arrays: `array` (NAME, NAME_mask...) is read
// from its NAME_rle, `piece` bytes a turn (sizeof row, n * NAME_stride...), into `buffer` (row),
// which `declaration` declares (uint8_t row[NAME_stride]).
struct CodedBuffer
{
    QByteArray array;
    QByteArray declaration;
    QByteArray buffer;
    QByteArray piece;
};

// NAME read a row (or a page) at a time into `buffer`, of NAME_stride bytes.
CodedBuffer codedRow(const QByteArray &buffer);

// The loops of these statements, each with its opening brace: a row, or a page, at a time (r), a
// band of up to eight rows at a time (r, n of them in the band); none: each array read whole.
extern const char codedRowLoop[];
extern const char codedBandLoop[];
constexpr int codedBandRows = 8;

// A drawing statement, in braces of its own: the buffers declared and their readers started,
// then in each turn of `loop` a piece of each array read and `use` done; `after` once the loop
// is done.
QByteArray codedReads(const QVector<CodedBuffer> &buffers, const QByteArray &loop, const QByteArray &use,
                      const QByteArray &after = QByteArray());
