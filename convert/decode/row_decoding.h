#pragma once

#include "picture_decoding.h"

#include <QByteArray>
#include <QSize>

#include <optional>

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
//
// TIFF: libtiff reads the strips or tiles a band of rows at a time, with the very calls Qt's TIFF
// plugin makes for the whole picture (see tiff_rows.h); it runs where that plugin runs, in the
// child process of the picture (see child_decoder.h), which hands back the fitted picture only.

// Whether pictures of this reader can be decoded by rows.
bool decodesByRows(const QByteArray &format);

// The picture of `source` (of `format`, announcing `size`) decoded by rows, then shaped and
// fitted as `display` says, its alpha in the form `rows` asks; refused as too large when what it
// would hold goes over the bound. Its `fullSize` is its own size (turned as its file says), and
// `fitted` is set. Nothing when the reader leaves a picture of this kind to be decoded whole.
std::optional<DecodedPicture> decodeByRows(PictureSource &source, const QByteArray &format, QSize size,
                                           const DisplayOptions &display, const RowFitting &rows);

// A PNG's rows read by libpng, as decodeByRows() reads them (codecs/png.cpp's row decoder).
std::optional<DecodedPicture> decodePngByRows(PictureSource &source, const QByteArray &format, QSize size,
                                              const DisplayOptions &display, const RowFitting &rows);

// The shaping and the fitting by rows as a child process is told them (see child_decoder.h):
// plain numbers, sent on a socket between two runs of one program.
struct FittingRequest
{
    qint32 allowed;
    qint32 keepAlpha;
    qint64 wholeLimit;
    qint32 bandRows;
    qint32 crop[4]; // left, top, width, height; no width: none
    qint32 rotation;
    qint32 flipHorizontal;
    qint32 flipVertical;
    qint32 fit[2];
    qint32 fitMode;
    qint32 upscale;
    qint32 gravity;
    qint32 canvas[2];
    qint32 backgroundGiven;
    quint32 background; // #AARRGGBB
    qint32 dither; // a Dithering
};
FittingRequest fittingRequest(const DisplayOptions &display, const RowFitting &rows);
// The options and the fitting the request tells, each value within its range.
void fittingAsked(const FittingRequest &request, DisplayOptions *display, RowFitting *rows);
