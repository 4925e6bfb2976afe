#pragma once

#include "c_header.h"
#include "display_preparation.h"

#include <QColor>
#include <QImage>
#include <QVector>

// The pixel formats a header can hold for a display library, each one encoder: the prepared
// picture in, the header's arrays and what the display will show out. The command line, the
// CMake function and the benchmarks all read the one table, displayFormats().
//
// Light and dark are told by luminance, Rec. 601 weights (0.299 R + 0.587 G + 0.114 B).

struct EncodingOptions
{
    QByteArray arrayName = "logo";
    bool progmem = false;
    bool swapBytes = false; // 5-6-5 values high byte first
    bool dither = false; // Floyd-Steinberg to the format's own levels or palette
    int threshold = 128; // luminance at or above which a pixel is lit (mono formats)
    bool invert = false; // lit and unlit swapped, grey levels reversed
    bool alphaMask = false; // 5-6-5: a mask array, 1 where alpha is 128 or more
    QColor transparent; // 5-6-5: this colour where alpha is below 128; invalid: none
};

struct EncodedPicture
{
    QImage shown; // what the display will show, for the BMP file and the preview
    CHeader header;
};

struct DisplayFormat
{
    const char *name; // as --format takes it
    bool usesAlpha; // whether the encoder needs the alpha plane when options ask for it
    EncodedPicture (*encode)(const PreparedPicture &picture, const EncodingOptions &options);
};

// Every format but bmp, the default, whose header holds the BMP file's bytes.
const QVector<DisplayFormat> &displayFormats();
// The format of that name, or nullptr.
const DisplayFormat *findDisplayFormat(const QByteArray &name);

// Rec. 601 luminance of an 8-bit colour, rounded.
int luminance(QRgb colour);
