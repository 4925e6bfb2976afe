#pragma once

#include "display_formats.h"

// The pieces every format's encoder builds its header from, for the encoders kept in files of
// their own.

// The header a format starts from: <stdint.h>, NAME_width and NAME_height, and the lines that
// draw the arrays, "NAME" in them replaced by the array's name.
CHeader startDisplayHeader(const QImage &picture, const EncodingOptions &options,
                           const QVector<QByteArray> &drawing);

// An array of rows of `rowBytes` bytes, padded with zeros as --stride-align asks, the stride
// then told by a macro and a comment line of `header`.
CArray displayRowArray(const QByteArray &name, const QByteArray &rows, int rowBytes,
                       const EncodingOptions &options, CHeader &header);
