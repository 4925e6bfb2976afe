#pragma once

#include "display_formats.h"
#include "lvgl_colour_formats.h"

// A picture's pixels in one of LVGL's colour formats, laid out as LVGL's own converter
// (scripts/LVGLImage.py) lays them out: rows of `stride` bytes (LVGL 9) or packed tight
// (LVGL 8); blue, green, red (and alpha) for 24 and 32 bits; an RGB565A8 picture's alpha plane
// after its colours (LVGL 9), or each pixel's alpha after its colour (LVGL 8); an indexed
// picture's palette first, 4 bytes a colour (blue, green, red, alpha), then its indices, the
// leftmost pixel in the highest bits. As LVGLImage.py chooses its packing function by the colour
// format before it walks the pixels, the writer of a row is chosen once for the picture, and
// then called for each row.

// What the display shows of a direct colour format, drawn a row at a time from the pixels
// written, pixels with alpha laid onto black: rows of `rowBytes`, then, for RGB565A8, the alpha
// plane's rows of `alphaStride`.
struct DirectPixelsShown
{
    // How a row shows: from its bytes and, for RGB565A8, its row of the alpha plane.
    using RowDrawer = void (*)(const uchar *in, const uchar *alphaIn, int width, QRgb *row);

    // Whichever holds the memory of `data`, shared, when the rows are drawn on demand: the
    // picture's own, or the array's.
    QImage storage;
    QByteArray bytes;
    const uchar *data = nullptr;
    int width = 0, height = 0, rowBytes = 0, alphaStride = 0;
    RowDrawer drawer = nullptr;

    void operator()(int y, QRgb *row) const
    {
        drawRow(data + qsizetype(y) * rowBytes,
                data + qsizetype(height) * rowBytes + qsizetype(y) * alphaStride, row);
    }
    void drawRow(const uchar *in, const uchar *alphaIn, QRgb *row) const { drawer(in, alphaIn, width, row); }
};

// The pixels of one colour format, and the picture they show once laid onto black.
struct LvglPixels
{
    QByteArray data; // the palette first, for indexed formats
    QImage storage; // what holds data's bytes when they are the picture's own, encoded in place
    QByteArray swapped; // LVGL 8's 16-bit colours with their bytes swapped, for LV_COLOR_16_SWAP
    QImage shown;
    // How a row of a direct colour format shows, for rows drawn later (its `data` null for the
    // others, whose picture is `shown`).
    DirectPixelsShown draw;
    int stride = 0;
    QVector<UniformArray> uniform; // I1's pixels when they are all alike
};

// The picture, handed over, in `format` for LVGL `options.lvgl.version`. A format without alpha
// is given the picture's colours laid onto black. Pictures of 24 and 32 bits a pixel are written
// in the picture's own memory, and the memory of the pictures read goes back to the system as
// their rows are written.
LvglPixels lvglPixels(PreparedPicture picture, const LvglColourFormatRow &format,
                      const EncodingOptions &options);

// What lvglPixels() writes for a picture of `size` in `format` for LVGL `version` with rows of
// `stride` bytes (LVGL 9's; LVGL 8 packs them tight): the palette, the rows, RGB565A8's alpha
// plane. -1 when the stride is shorter than a row's pixels.
qint64 lvglPixelBytes(const LvglColourFormatRow &format, int version, QSize size, int stride);

// What the display shows of `data`, lvglPixelBytes() bytes laid out as lvglPixels() lays them,
// drawn as the preview of the same picture draws it, in Format_RGB32.
QImage lvglPixelsShown(const QByteArray &data, const LvglColourFormatRow &format, int version, QSize size,
                       int stride);
