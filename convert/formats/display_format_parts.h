#pragma once

#include "display_formats.h"
#include "pixel_packing.h"

#include <vector>

// The pieces every format's encoder builds its header from, for the encoders kept in files of
// their own.

// The header a format starts from: <stdint.h>, NAME_width and NAME_height, and the lines that
// draw the arrays, "NAME" in them replaced by the array's name.
CHeader startDisplayHeader(QSize size, const EncodingOptions &options, const QVector<QByteArray> &drawing);

// An array of rows of `rowBytes` bytes, padded with zeros as --stride-align asks, the stride
// then told by a macro and a comment line of `header`.
CArray displayRowArray(const QByteArray &name, const QByteArray &rows, int rowBytes,
                       const ArrayLayout &layout, CHeader &header);

// The bytes a row of `rowBytes` bytes takes once padded as --stride-align asks, and to a multiple
// of `unit`, the size of the array's elements; when the rows are padded on request, the stride is
// told by a macro NAME_stride and a comment line of `header`, and by the macro alone when they are
// coded by run length.
int declaredRowStride(const QByteArray &name, int rowBytes, const ArrayLayout &layout, CHeader &header,
                      int unit = 1);

// greyLevels() in steps, so that the colours can be let go once the levels are known: the values
// stored, one byte a pixel (Format_Grayscale8); then, once they are packed, the picture they show,
// made of them in place.
QImage storedGreyLevels(const QImage &colours, int levels, int threshold, const EncodingOptions &options);
void showGreyLevels(QImage &stored, int levels);
// The same, given over, for an encoder's `shown`: none when the job's files show nothing.
QImage shownGreyLevels(QImage stored, int levels, const EncodingOptions &options);

// Notes a 1-bit array in `uniform` when its stored bits (`stored`, a byte a pixel, 0 or 1) are all
// alike; `transparentOnBlack` as the prepared picture tells it.
void noteUniformBits(const QImage &stored, bool transparentOnBlack, const EncodingOptions &options,
                     QVector<UniformArray> *uniform);

// The rows of a picture of one byte a pixel, packed.
QByteArray packLevels(const QImage &stored, const BitPacking &packing);
