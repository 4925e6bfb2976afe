#include "lvgl_pixels.h"

#include "display_format_parts.h"
#include "palette.h"
#include "pixel_packing.h"
#include "released_memory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A row as a writer reads it: its pixels, 5-6-5 values (quint16) for the RGB565 formats and
// colours (QRgb) for the others, and their alphas, 255 each in an opaque picture.
struct RowIn
{
    const uchar *pixels;
    const uchar *alphas;
};

// Where a writer writes the row: its bytes; LVGL 8's 16-bit colours in the other byte order;
// LVGL 9's RGB565A8 alpha plane's row. Those a format does not have are null.
struct RowOut
{
    char *bytes;
    char *swapped;
    char *alphas;
};

using RowWriter = void (*)(const RowIn &in, int width, const RowOut &out);
using RowDrawer = DirectPixelsShown::RowDrawer;

const quint16 *values565(const RowIn &in)
{
    return reinterpret_cast<const quint16 *>(in.pixels);
}

void writeRgb565(const RowIn &in, int width, const RowOut &out)
{
    put565Row(values565(in), width, false, out.bytes);
}

void writeRgb565Swapped(const RowIn &in, int width, const RowOut &out)
{
    put565Row(values565(in), width, true, out.bytes);
}

void writeRgb565A8(const RowIn &in, int width, const RowOut &out)
{
    put565Row(values565(in), width, false, out.bytes);
    std::memcpy(out.alphas, in.alphas, size_t(width));
}

// LVGL 8's true colour, in both byte orders.
void writeTrueColour(const RowIn &in, int width, const RowOut &out)
{
    put565Row(values565(in), width, false, out.bytes);
    put565Row(values565(in), width, true, out.swapped);
}

// LVGL 8's true colour with alpha: each pixel's alpha right after its colour, in both orders.
void writeTrueColourAlpha(const RowIn &in, int width, const RowOut &out)
{
    const quint16 *values = values565(in);
    char *bytes = out.bytes, *swapped = out.swapped;
    for (int x = 0; x < width; ++x) {
        bytes = put565(bytes, values[x], false);
        *bytes++ = char(in.alphas[x]);
        swapped = put565(swapped, values[x], true);
        *swapped++ = char(in.alphas[x]);
    }
}

// RGB888, XRGB8888 and ARGB8888: blue, green, red, then for 32 bits the alpha, or 0xff. Each
// colour is read whole before its bytes are written, over it when the row is the picture's own.
template<int bytesPerPixel, bool withAlpha> void writeBgr(const RowIn &in, int width, const RowOut &out)
{
    const auto *colours = reinterpret_cast<const QRgb *>(in.pixels);
    char *bytes = out.bytes;
    for (int x = 0; x < width; ++x) {
        const QRgb colour = colours[x];
        *bytes++ = char(qBlue(colour));
        *bytes++ = char(qGreen(colour));
        *bytes++ = char(qRed(colour));
        if constexpr (bytesPerPixel == 4)
            *bytes++ = char(withAlpha ? in.alphas[x] : 0xff);
    }
}

// Luminance, reversed with --invert.
template<bool inverted> void writeL8(const RowIn &in, int width, const RowOut &out)
{
    const auto *colours = reinterpret_cast<const QRgb *>(in.pixels);
    for (int x = 0; x < width; ++x) {
        const int level = luminance(colours[x]);
        out.bytes[x] = char(inverted ? 255 - level : level);
    }
}

void writeA8(const RowIn &in, int width, const RowOut &out)
{
    std::memcpy(out.bytes, in.alphas, size_t(width));
}

// A1, A2 and A4: each alpha's highest bits, as LVGLImage.py keeps them, packed as I1 to I4 are,
// the leftmost pixel in a byte's highest bits. A few pixels at a time, on whole bytes.
template<int bits> void writeAlphaBits(const RowIn &in, int width, const RowOut &out)
{
    static const BitPacking packing {bits};
    constexpr int piece = 256; // pixels, a multiple of 8
    uchar values[piece];
    for (int x = 0; x < width; x += piece) {
        const int count = qMin(piece, width - x);
        for (int i = 0; i < count; ++i)
            values[i] = uchar(in.alphas[x + i] >> (8 - bits));
        packRow(values, count, packing, out.bytes + x / 8 * bits);
    }
}

// ARGB8565: the 5-6-5 value, low byte first, then the alpha (as LVGL 8's true colour with alpha).
void writeArgb8565(const RowIn &in, int width, const RowOut &out)
{
    const quint16 *values = values565(in);
    char *bytes = out.bytes;
    for (int x = 0; x < width; ++x) {
        bytes = put565(bytes, values[x], false);
        *bytes++ = char(in.alphas[x]);
    }
}

// ARGB1555 and ARGB4444: 16 bits, low byte first, the alpha's highest bits in the highest, then
// red, green and blue, each cut to its highest `colourBits`.
template<int colourBits, int alphaBits> void writeArgb16(const RowIn &in, int width, const RowOut &out)
{
    const auto *colours = reinterpret_cast<const QRgb *>(in.pixels);
    constexpr int cut = 8 - colourBits;
    for (int x = 0; x < width; ++x) {
        const QRgb colour = colours[x];
        const int value = in.alphas[x] >> (8 - alphaBits) << 3 * colourBits
            | qRed(colour) >> cut << 2 * colourBits | qGreen(colour) >> cut << colourBits
            | qBlue(colour) >> cut;
        out.bytes[2 * x] = char(value & 0xff);
        out.bytes[2 * x + 1] = char(value >> 8);
    }
}

// AL88: the luminance of each pixel's own colour, then its alpha.
void writeAl88(const RowIn &in, int width, const RowOut &out)
{
    const auto *colours = reinterpret_cast<const QRgb *>(in.pixels);
    for (int x = 0; x < width; ++x) {
        out.bytes[2 * x] = char(luminance(colours[x]));
        out.bytes[2 * x + 1] = char(in.alphas[x]);
    }
}

QRgb overBlack(QRgb colour, int alpha)
{
    return qRgb(qRed(colour) * alpha / 255, qGreen(colour) * alpha / 255, qBlue(colour) * alpha / 255);
}

void drawRgb565A8(const uchar *in, const uchar *alphaIn, int width, QRgb *row)
{
    for (int x = 0; x < width; ++x, in += 2)
        row[x] = overBlack(shownColour(quint16(in[0] | in[1] << 8)), alphaIn[x]);
}

// LVGL 8's true colour with alpha, and ARGB8565: the 5-6-5 value, then the alpha.
void drawTrueColourAlpha(const uchar *in, const uchar *, int width, QRgb *row)
{
    for (int x = 0; x < width; ++x, in += 3)
        row[x] = overBlack(shownColour(quint16(in[0] | in[1] << 8)), in[2]);
}

template<int bytesPerPixel, bool withAlpha> void drawBgr(const uchar *in, const uchar *, int width, QRgb *row)
{
    for (int x = 0; x < width; ++x, in += bytesPerPixel) {
        const QRgb colour = qRgb(in[2], in[1], in[0]);
        if constexpr (withAlpha)
            row[x] = overBlack(colour, in[3]);
        else
            row[x] = colour;
    }
}

void drawLevels(const uchar *in, const uchar *, int width, QRgb *row)
{
    for (int x = 0; x < width; ++x)
        row[x] = qRgb(in[x], in[x], in[x]);
}

// A value of `bits` widened to 8 as LVGL widens it, its highest bits repeated in the lowest: 1
// bit to 0 or 255, 2 bits times 85, 4 bits times 17, 5 bits as a 5-6-5 value's red or blue.
template<int bits> int widened(int value)
{
    int out = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits)
        out |= shift >= 0 ? value << shift : value >> -shift;
    return out;
}

// A1 to A4 as A8: drawn as LVGL draws an alpha-only image recoloured white, on black.
template<int bits> void drawAlphaBits(const uchar *in, const uchar *, int width, QRgb *row)
{
    constexpr int perByte = 8 / bits;
    for (int x = 0; x < width; ++x) {
        const int alpha
            = widened<bits>(in[x / perByte] >> (8 - bits * (x % perByte + 1)) & ((1 << bits) - 1));
        row[x] = qRgb(alpha, alpha, alpha);
    }
}

template<int colourBits, int alphaBits> void drawArgb16(const uchar *in, const uchar *, int width, QRgb *row)
{
    constexpr int mask = (1 << colourBits) - 1;
    for (int x = 0; x < width; ++x, in += 2) {
        const int value = in[0] | in[1] << 8;
        row[x] = overBlack(qRgb(widened<colourBits>(value >> 2 * colourBits & mask),
                                widened<colourBits>(value >> colourBits & mask),
                                widened<colourBits>(value & mask)),
                           widened<alphaBits>(value >> 3 * colourBits));
    }
}

void drawAl88(const uchar *in, const uchar *, int width, QRgb *row)
{
    for (int x = 0; x < width; ++x, in += 2)
        row[x] = overBlack(qRgb(in[0], in[0], in[0]), in[1]);
}

// How a direct colour format's rows are written, and drawn again for what the display shows:
// no drawer for RGB565 and RGB565_SWAPPED, which show as the 5-6-5 picture they are made of.
struct RowCoding
{
    RowWriter write;
    RowDrawer draw;
};

// Chosen once for a picture, as LVGLImage.py chooses its packing function by the colour format.
RowCoding rowCoding(LvglColourFormat format, bool lvgl8, bool invert)
{
    using F = LvglColourFormat;
    switch (format) {
    case F::Rgb565:
        return {lvgl8 ? writeTrueColour : writeRgb565, nullptr};
    case F::Rgb565Swapped:
        return {writeRgb565Swapped, nullptr};
    case F::Rgb565A8:
        return lvgl8 ? RowCoding {writeTrueColourAlpha, drawTrueColourAlpha}
                     : RowCoding {writeRgb565A8, drawRgb565A8};
    case F::Rgb888:
        return {writeBgr<3, false>, drawBgr<3, false>};
    case F::Xrgb8888:
        return {writeBgr<4, false>, drawBgr<4, false>};
    case F::Argb8888:
        return {writeBgr<4, true>, drawBgr<4, true>};
    case F::Argb8565:
        return {writeArgb8565, drawTrueColourAlpha};
    case F::Argb1555:
        return {writeArgb16<5, 1>, drawArgb16<5, 1>};
    case F::Argb4444:
        return {writeArgb16<4, 4>, drawArgb16<4, 4>};
    case F::L8:
        return {invert ? writeL8<true> : writeL8<false>, drawLevels};
    case F::Al88:
        return {writeAl88, drawAl88};
    case F::A1:
        return {writeAlphaBits<1>, drawAlphaBits<1>};
    case F::A2:
        return {writeAlphaBits<2>, drawAlphaBits<2>};
    case F::A4:
        return {writeAlphaBits<4>, drawAlphaBits<4>};
    default: // A8, and the indexed formats, which are not written by rows
        return {writeA8, drawLevels};
    }
}

// How a direct colour format's rows are laid out, and written.
struct DirectLayout
{
    RowCoding coding;
    bool fiveSixFive; // written from the picture reduced to 5-6-5
    bool bothOrders; // LVGL 8's 16-bit colours
    bool alphaPlane; // LVGL 9's RGB565A8: the alphas after the rows
    int bytesPerPixel; // 0 for A1 to A4
    int pixelBytes; // a row's pixels'
    int rowBytes; // a row's, its padding included
    int alphaStride; // the alpha plane's rows are half the colour rows
};

DirectLayout directLayout(const LvglColourFormatRow &format, const EncodingOptions &options, int width,
                          int stride)
{
    using F = LvglColourFormat;
    const bool lvgl8 = options.lvgl.version == 8;
    DirectLayout layout;
    layout.coding = rowCoding(format.id, lvgl8, options.pixels.invert);
    layout.fiveSixFive = format.id == F::Rgb565 || format.id == F::Rgb565A8 || format.id == F::Rgb565Swapped
        || format.id == F::Argb8565;
    layout.bothOrders = lvgl8 && layout.fiveSixFive;
    layout.alphaPlane = !lvgl8 && format.id == F::Rgb565A8;
    // LVGL 8 keeps RGB565A8's alphas after each pixel's colour.
    layout.bytesPerPixel = format.bitsPerPixel / 8 + (lvgl8 && format.id == F::Rgb565A8 ? 1 : 0);
    layout.pixelBytes
        = layout.bytesPerPixel ? width * layout.bytesPerPixel : (width * format.bitsPerPixel + 7) / 8;
    layout.rowBytes = lvgl8 ? layout.pixelBytes : stride;
    layout.alphaStride = stride / 2;
    return layout;
}

// A picture of the encoder's own, to be read once from its top row: made its own first when it is
// shared, so that no one else sees its memory go.
ReleasedMemory releasedAsRead(QImage &picture)
{
    if (picture.isNull())
        return ReleasedMemory();
    const uchar *bits = picture.bits();
    return ReleasedMemory(bits, picture.sizeInBytes());
}

// Where the rows go: `rows` of layout.rowBytes, the alpha plane after them; LVGL 8's other byte
// order into `swapped`, when it has one.
struct RowsOut
{
    char *rows;
    char *swapped;
};

// Each row of `source` (5-6-5 values or colours) and of `alpha` (null: opaque) written, then
// its padding; the pictures' memory handed back as it is read (`sourceRead`, and the alpha's).
void writeRows(const DirectLayout &layout, const QImage &source, QImage &alpha, const RowsOut &out,
               ReleasedMemory &sourceRead)
{
    const int width = source.width(), height = source.height();
    const std::vector<uchar> opaque(alpha.isNull() ? size_t(width) : 0, 255);
    ReleasedMemory alphaRead = releasedAsRead(alpha);
    char *const alphaPlane = layout.alphaPlane ? out.rows + qsizetype(height) * layout.rowBytes : nullptr;
    const int pixelBytes = layout.pixelBytes;
    for (int y = 0; y < height; ++y) {
        const uchar *line = source.constScanLine(y);
        const uchar *alphas = alpha.isNull() ? opaque.data() : alpha.constScanLine(y);
        char *const row = out.rows + qsizetype(y) * layout.rowBytes;
        char *const alphaRow = alphaPlane ? alphaPlane + qsizetype(y) * layout.alphaStride : nullptr;
        layout.coding.write(
            {line, alphas}, width,
            {row, out.swapped ? out.swapped + qsizetype(y) * layout.rowBytes : nullptr, alphaRow});
        std::fill(row + pixelBytes, row + layout.rowBytes, '\0'); // the row's padding
        if (alphaRow)
            std::fill(alphaRow + width, alphaRow + layout.alphaStride, '\0');
        sourceRead.readUpTo(line + source.bytesPerLine());
        alphaRead.readUpTo(alphas + alpha.bytesPerLine());
    }
}

// Direct colour formats.
LvglPixels directPixels(PreparedPicture picture, const LvglColourFormatRow &format,
                        const EncodingOptions &options, int stride)
{
    const QSize size = picture.colours.size();
    const int height = size.height();
    const DirectLayout layout = directLayout(format, options, size.width(), stride);
    LvglPixels pixels;
    pixels.stride = stride;
    // 24 and 32 bits a pixel are written over the picture's own colours, each pixel once read: the
    // rows are no longer than the picture's.
    const bool inPlace = !layout.fiveSixFive && layout.bytesPerPixel >= 3
        && layout.rowBytes <= picture.colours.bytesPerLine();
    QImage reduced
        = layout.fiveSixFive ? reduceTo565(std::move(picture.colours), options.display.dither) : QImage();
    RowsOut out {nullptr, nullptr};
    if (inPlace) {
        pixels.storage = std::move(picture.colours);
        uchar *bits = pixels.storage.bits();
        if (!bits) // a shared picture, which could not be copied
            throw std::bad_alloc();
        pixels.data = QByteArray::fromRawData(reinterpret_cast<const char *>(bits), layout.rowBytes * height);
        out.rows = reinterpret_cast<char *>(bits);
    } else {
        // Each byte written once, the rows' padding included, so that the array's pages are only
        // taken as the rows come.
        pixels.data
            = QByteArray(layout.rowBytes * height + (layout.alphaPlane ? layout.alphaStride * height : 0),
                         Qt::Uninitialized);
        out.rows = pixels.data.data();
        if (layout.bothOrders) {
            pixels.swapped = QByteArray(pixels.data.size(), Qt::Uninitialized);
            out.swapped = pixels.swapped.data();
        }
    }
    // The pictures the rows are made of are read once, top row first: their memory goes back to the
    // system as the array's rows are written. Not the 5-6-5 picture that is then shown as it is.
    QImage &source = layout.fiveSixFive ? reduced : inPlace ? pixels.storage : picture.colours;
    const bool reducedShown = !layout.coding.draw && options.shown != EncodingOptions::NotShown;
    ReleasedMemory sourceRead = inPlace || reducedShown ? ReleasedMemory() : releasedAsRead(source);
    writeRows(layout, source, picture.alpha, out, sourceRead);

    // Opaque 5-6-5 shows as it is; the others are drawn from the pixels written, the picture
    // let go first.
    picture = PreparedPicture();
    if (options.shown == EncodingOptions::NotShown)
        return pixels;
    if (!layout.coding.draw) {
        pixels.shown = std::move(reduced);
        return pixels;
    }
    reduced = QImage();
    pixels.draw.data = reinterpret_cast<const uchar *>(pixels.data.constData());
    pixels.draw.width = size.width();
    pixels.draw.height = height;
    pixels.draw.rowBytes = layout.rowBytes;
    pixels.draw.alphaStride = layout.alphaStride;
    pixels.draw.drawer = layout.coding.draw;
    // For a preview, the rows are drawn from the array as it is written (see encodeLvgl); the BMP
    // file's 5-6-5 pixels are made now.
    if (options.shown == EncodingOptions::Shown565)
        pixels.shown = PictureRows(size, pixels.draw).picture(QImage::Format_RGB16);
    return pixels;
}

// Indexed formats: the palette, 4 bytes a colour, then the indices. I1 is LVGL's format for
// monochrome displays: black and white by luminance, white where lit (at or above the threshold,
// or below it with --invert); the others take the palette chosen for the picture.
LvglPixels indexedPixels(PreparedPicture picture, const LvglColourFormatRow &format,
                         const EncodingOptions &options, int stride)
{
    const QSize size = picture.colours.size();
    const int width = size.width(), height = size.height();
    IndexedPicture indexed;
    QImage lit; // I1: 1 where lit, a byte a pixel
    QVector<UniformArray> uniform;
    if (format.paletteSize == 2) {
        lit = storedGreyLevels(picture.colours, 2, options.pixels.threshold, options);
        noteUniformBits(lit, picture.transparentOnBlack, options, &uniform);
        indexed.palette = {0x0000, 0xffff};
    } else {
        indexed = indexPixels(picture.colours, choosePalette(picture.colours, format.paletteSize),
                              options.display.dither);
    }
    picture = PreparedPicture(); // the indices are all that is needed now
    LvglPixels pixels;
    pixels.stride = stride;
    pixels.uniform = std::move(uniform);
    indexed.palette.resize(format.paletteSize);
    pixels.data = QByteArray(4 * format.paletteSize + qsizetype(stride) * height, Qt::Uninitialized);
    char *out = pixels.data.data();
    for (quint16 entry : indexed.palette) { // lv_color32_t: blue, green, red, alpha
        const QRgb colour = shownColour(entry);
        *out++ = char(qBlue(colour));
        *out++ = char(qGreen(colour));
        *out++ = char(qRed(colour));
        *out++ = char(0xff);
    }
    // The leftmost pixel in the highest bits, rows padded with zeros.
    const BitPacking packing {format.bitsPerPixel};
    if (lit.isNull()) {
        packRowsInto(indexed.indices.constData(), width, width, height, packing, stride, out);
        if (options.shown != EncodingOptions::NotShown)
            pixels.shown = paletteColours(indexed, size);
        return pixels;
    }
    packRowsInto(lit.constBits(), lit.bytesPerLine(), width, height, packing, stride, out);
    pixels.shown = shownGreyLevels(std::move(lit), 2, options); // black and white
    return pixels;
}

} // namespace

LvglPixels lvglPixels(PreparedPicture picture, const LvglColourFormatRow &format,
                      const EncodingOptions &options)
{
    if (!format.alpha) { // shown as the window shows a picture, laid onto black
        const bool transparentOnBlack = picture.transparentOnBlack;
        picture = PreparedPicture {opaqueColours(std::move(picture)), QImage(), false, transparentOnBlack};
    }
    const int width = picture.colours.width();
    const int tightStride = (width * format.bitsPerPixel + 7) / 8;
    const int stride = options.lvgl.version == 8 ? tightStride
                                                 : (tightStride + options.arrays.strideAlign - 1)
            / options.arrays.strideAlign * options.arrays.strideAlign;
    if (format.paletteSize)
        return indexedPixels(std::move(picture), format, options, stride);
    return directPixels(std::move(picture), format, options, stride);
}

qint64 lvglPixelBytes(const LvglColourFormatRow &format, int version, QSize size, int stride)
{
    EncodingOptions options;
    options.lvgl.version = version;
    const int width = size.width(), height = size.height();
    const int tightStride = (width * format.bitsPerPixel + 7) / 8;
    if (version == 8)
        stride = tightStride;
    if (stride < tightStride)
        return -1;
    if (format.paletteSize)
        return 4 * format.paletteSize + qint64(stride) * height;
    const DirectLayout layout = directLayout(format, options, width, stride);
    return qint64(layout.rowBytes) * height + (layout.alphaPlane ? qint64(layout.alphaStride) * height : 0);
}

QImage lvglPixelsShown(const QByteArray &data, const LvglColourFormatRow &format, int version, QSize size,
                       int stride)
{
    const int width = size.width(), height = size.height();
    if (version == 8)
        stride = (width * format.bitsPerPixel + 7) / 8;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    QImage shown(size, QImage::Format_RGB32);
    if (shown.isNull())
        throw std::bad_alloc();
    if (format.paletteSize) { // lv_color32_t entries, then the indices, the leftmost highest
        const int bits = format.bitsPerPixel, perByte = 8 / bits;
        const uchar *indices = bytes + 4 * format.paletteSize;
        for (int y = 0; y < height; ++y) {
            const uchar *in = indices + qsizetype(y) * stride;
            auto *row = reinterpret_cast<QRgb *>(shown.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const int index = in[x / perByte] >> (8 - bits * (x % perByte + 1)) & ((1 << bits) - 1);
                const uchar *entry = bytes + 4 * index;
                row[x] = qRgb(entry[2], entry[1], entry[0]);
            }
        }
        return shown;
    }
    EncodingOptions options;
    options.lvgl.version = version;
    const DirectLayout layout = directLayout(format, options, width, stride);
    if (!layout.coding.draw) { // RGB565 shows as its 5-6-5 values, high byte first when swapped
        const bool swapped = format.id == LvglColourFormat::Rgb565Swapped;
        for (int y = 0; y < height; ++y) {
            const uchar *in = bytes + qsizetype(y) * layout.rowBytes;
            auto *row = reinterpret_cast<QRgb *>(shown.scanLine(y));
            for (int x = 0; x < width; ++x, in += 2)
                row[x] = shownColour(quint16(swapped ? in[0] << 8 | in[1] : in[0] | in[1] << 8));
        }
        return shown;
    }
    DirectPixelsShown draw;
    draw.data = bytes;
    draw.width = width;
    draw.height = height;
    draw.rowBytes = layout.rowBytes;
    draw.alphaStride = layout.alphaStride;
    draw.drawer = layout.coding.draw;
    for (int y = 0; y < height; ++y)
        draw(y, reinterpret_cast<QRgb *>(shown.scanLine(y)));
    return shown;
}
