#pragma once

#include "picture_decoding.h"

#include <QByteArray>
#include <QSize>

class PictureSource;

// A picture too large to be decoded whole, decoded row by row and shaped and fitted as its rows
// come (see streaming_scaler.h), so that what is held is the fitted picture and a few rows, not
// the source. The bytes are those of the whole picture decoded, then shaped and fitted.
//
// PNG: libpng reads the rows with the very transformations Qt's PNG reader asks of it (the same
// pixel format and colour table, 16 bits a channel kept, grey and palettes expanded as Qt
// expands them, no gamma correction), so that each row holds the pixels QImageReader gives. An
// interlaced PNG brings its rows in seven passes over the whole picture: its rows are then
// decoded in bands, as many rows as the bound allows at a time, the file read once a band.

// Whether pictures of this reader can be decoded by rows.
bool decodesByRows(const QByteArray &format);

// The picture of `source` (of `format`, announcing `size`) decoded by rows, then shaped and
// fitted as `display` says, its alpha in the form `rows` asks; refused as too large when what it
// would hold goes over the bound. Its `fullSize` is `size`, and `fitted` is set.
DecodedPicture decodeByRows(PictureSource &source, const QByteArray &format, QSize size,
                            const DisplayOptions &display, const RowFitting &rows);
