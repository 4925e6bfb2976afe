#pragma once

#include "picture_decoding.h"

#include <QByteArray>
#include <QSize>

#include <optional>

class PictureSource;

// A TIFF too large to be decoded whole, read by rows (see row_decoding.h) with libtiff asked
// what Qt's TIFF plugin asks it for the whole picture (qtiffhandler.cpp, Qt 5.15), so that each
// row holds the pixels that plugin gives:
// - 1-bit and 8-bit grey, 8-bit palettes, 16-bit grey and 16-bit RGB(A), which the plugin reads
//   as they are stored: strips a scanline at a time (TIFFReadScanline), tiles a row of tiles at
//   a time (TIFFReadTile), in the plugin's pixel format and colour table;
// - every other kind (8-bit RGB and RGBA, grey and palettes of 2 and 4 bits, grey with alpha,
//   YCbCr, CMYK, planes stored apart...) through libtiff's RGBA reader (TIFFRGBAImageGet, which
//   TIFFReadRGBAStrip and TIFFReadRGBATile call), over bands of whole strips or rows of tiles,
//   asked for the orientation the file gives, as the plugin asks it for the whole picture.
// The picture is then turned as its orientation says, as the plugin turns it: that turn is
// folded into the cut, turn and mirror the options ask for, and done as the rows are scaled.
//
// Left to the whole picture (nothing is returned): 16-bit RGB and RGBA whose samples are stored
// in planes apart, of which the plugin reads the first plane only.
//
// What is held: the fitted picture and the scaler's sums, the bands of rows handed to the
// scaler, and what libtiff holds for a band (a decoded strip or tile, the compressed bytes of
// the largest, its decoder's state). A picture whose strips or tiles alone would take more than
// the bound is refused as too large.
std::optional<DecodedPicture> decodeTiffByRows(PictureSource &source, const QByteArray &format, QSize size,
                                               const DisplayOptions &display, const RowFitting &rows);
