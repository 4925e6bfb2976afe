#pragma once

#include <QColor>
#include <QVector>

// What the display formats' encoders read of a conversion's settings to turn the prepared
// picture into their arrays' bytes, beside the shaping (DisplayOptions, prepare/) and the header
// (HeaderOptions): each format reads only the fields its row names (DisplayFormat::Setting), and
// the command line refuses the options that give the others.

// How each pixel becomes the values the display takes.
struct PixelOptions
{
    bool swapBytes = false; // 5-6-5 values high byte first
    // --color-order bgr: red and blue exchanged, as panels wired BGR take them (blue where red
    // goes: in 5-6-5, bits 15-11), in the colour formats' pixels and the palettes' entries.
    bool bgr = false;
    int threshold = 128; // luminance at or above which a pixel is lit (mono formats)
    bool invert = false; // lit and unlit swapped, grey levels reversed
    bool alphaMask = false; // 5-6-5: a mask array, 1 where alpha is 128 or more
    QColor transparent; // 5-6-5: this colour where alpha is below 128; invalid: none
    // index4, index8: the palette's entries (5-6-5), fixed instead of chosen for the picture;
    // empty: chosen. No more than the format holds; the rest of the array is 0x0000.
    QVector<quint16> palette;
    // Whether `palette` was chosen here for every frame of an animation, not given by --palette.
    bool paletteOfFrames = false;
};

// How the arrays hold the pixels' rows: padded, and coded.
struct ArrayLayout
{
    // --compress: none; rle, the run-length coding of any format's arrays (rle_arrays.h), or of
    // LVGL's image as LVGL 9 reads it; lz4, LVGL's image only.
    enum Compression { Uncompressed, Rle, Lz4 };
    int strideAlign = 1; // rows padded to a multiple of this many bytes
    Compression compression = Uncompressed;
};
