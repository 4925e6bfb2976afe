#include "colour_formats.h"

#include "display_format_parts.h"
#include "dithering.h"
#include "rle_arrays.h"

#include <QCoreApplication>

#include <array>
#include <cstring>
#include <new>

namespace {

// A pixel's levels, each of its layout's bits, travel in a QRgb: the channel the panel takes first
// in the red slot, green in the green one, the last in the blue one.
QRgb levelsOf(int first, int second, int last)
{
    return QRgb(first << 16 | second << 8 | last);
}

// How a layout lays levels out in bytes.
struct ColourLayout
{
    int bits[3]; // each channel's, in the order the panel takes them
    // The rows one after the other in one stream of pixels, not each on bytes of its own (rgb444).
    bool stream;
    // The bytes --compress rle codes as one unit: a pixel of rgb332, rgb666 and rgb888, two of
    // rgb444, so that runs of a colour are runs of units.
    int unit;
    qint64 (*bytesOf)(qint64 pixels);
    // The levels of `count` pixels packed into `out`. Each pixel is read before its bytes are
    // written, and its bytes go no further than it: `out` may be the levels' own memory.
    void (*pack)(const QRgb *levels, qint64 count, uchar *out);
    // The levels of `count` pixels read back from `bytes`, from its pixel `first`.
    void (*unpack)(const uchar *bytes, qint64 first, int count, QRgb *levels);
};

// 3-3-2: a byte a pixel.
void pack332(const QRgb *levels, qint64 count, uchar *out)
{
    for (qint64 i = 0; i < count; ++i) {
        const QRgb pixel = levels[i];
        out[i] = uchar(qRed(pixel) << 5 | qGreen(pixel) << 2 | qBlue(pixel));
    }
}

void unpack332(const uchar *bytes, qint64 first, int count, QRgb *levels)
{
    for (int i = 0; i < count; ++i) {
        const int byte = bytes[first + i];
        levels[i] = levelsOf(byte >> 5, byte >> 2 & 7, byte & 3);
    }
}

// 4-4-4: two pixels of 12 bits in three bytes, high nibble first.
void pack444(const QRgb *levels, qint64 count, uchar *out)
{
    const auto value = [](QRgb pixel) { return qRed(pixel) << 8 | qGreen(pixel) << 4 | qBlue(pixel); };
    qint64 i = 0;
    for (; i + 1 < count; i += 2, out += 3) {
        const int left = value(levels[i]), right = value(levels[i + 1]);
        out[0] = uchar(left >> 4);
        out[1] = uchar((left & 0xf) << 4 | right >> 8);
        out[2] = uchar(right);
    }
    if (i < count) { // the last of an odd number, then a zero nibble
        const int left = value(levels[i]);
        out[0] = uchar(left >> 4);
        out[1] = uchar((left & 0xf) << 4);
    }
}

void unpack444(const uchar *bytes, qint64 first, int count, QRgb *levels)
{
    for (int i = 0; i < count; ++i) {
        const qint64 pixel = first + i;
        const uchar *pair = bytes + pixel / 2 * 3;
        const int value = pixel % 2 ? (pair[1] & 0xf) << 8 | pair[2] : pair[0] << 4 | pair[1] >> 4;
        levels[i] = levelsOf(value >> 8, value >> 4 & 0xf, value & 0xf);
    }
}

// 6-6-6 and 8-8-8: a byte a channel, 6-bit levels in its high bits.
template<int Shift> void packBytes(const QRgb *levels, qint64 count, uchar *out)
{
    for (qint64 i = 0; i < count; ++i, out += 3) {
        const QRgb pixel = levels[i];
        const uchar first = uchar(qRed(pixel) << Shift), second = uchar(qGreen(pixel) << Shift),
                    last = uchar(qBlue(pixel) << Shift);
        out[0] = first;
        out[1] = second;
        out[2] = last;
    }
}

template<int Shift> void unpackBytes(const uchar *bytes, qint64 first, int count, QRgb *levels)
{
    for (const uchar *byte = bytes + first * 3; count > 0; --count, byte += 3)
        *levels++ = levelsOf(byte[0] >> Shift, byte[1] >> Shift, byte[2] >> Shift);
}

// A layout's bytes for a number of pixels.
qint64 onePerPixel(qint64 pixels)
{
    return pixels;
}
qint64 threePerTwoPixels(qint64 pixels)
{
    return (pixels * 3 + 1) / 2;
}
qint64 threePerPixel(qint64 pixels)
{
    return pixels * 3;
}

const ColourLayout rgb332 {{3, 3, 2}, false, 1, onePerPixel, pack332, unpack332};
const ColourLayout rgb444 {{4, 4, 4}, true, 3, threePerTwoPixels, pack444, unpack444};
const ColourLayout rgb666 {{6, 6, 6}, false, 3, threePerPixel, packBytes<2>, unpackBytes<2>};
const ColourLayout rgb888 {{8, 8, 8}, false, 3, threePerPixel, packBytes<0>, unpackBytes<0>};

// The level of `bits` bits for each 8-bit value: its high bits, or, for the error diffusion, the
// nearest level.
std::array<uchar, 256> levelTable(int bits, bool nearest)
{
    const int top = (1 << bits) - 1;
    std::array<uchar, 256> table;
    for (int value = 0; value < 256; ++value)
        table[size_t(value)] = uchar(nearest ? (value * top + 127) / 255 : value >> (8 - bits));
    return table;
}

// The 8-bit value a display shows for each level of `bits` bits: its bits repeated to fill 8, as
// 5-6-5's are widened, so that the highest level is 255.
std::array<uchar, 256> shownTable(int bits)
{
    std::array<uchar, 256> table {};
    for (int level = 0; level < 1 << bits; ++level) {
        int value = 0;
        for (int shift = 8 - bits; shift > -bits; shift -= bits)
            value |= shift >= 0 ? level << shift : level >> -shift;
        table[size_t(level)] = uchar(value);
    }
    return table;
}

// The picture's colours (Format_RGB32) made the layout's levels in place: cut to their high bits,
// or, dithered, reduced to the nearest levels in the way --dither-method says.
void reduceInPlace(QImage &colours, const ColourLayout &layout, const EncodingOptions &options)
{
    uchar *bits = colours.bits(); // the picture's own: a shared one is copied first
    if (!bits)
        throw std::bad_alloc();
    const int width = colours.width(), height = colours.height();
    const qsizetype bytesPerLine = colours.bytesPerLine();
    const auto pixelAt
        = [=](int x, int y) -> QRgb & { return reinterpret_cast<QRgb *>(bits + y * bytesPerLine)[x]; };
    // Where the channel each slot takes lies in a colour: red, or blue, first.
    const int shifts[3] = {options.pixels.bgr ? 0 : 16, 8, options.pixels.bgr ? 16 : 0};
    const bool dithered = options.display.dither != Dithering::None;
    std::array<uchar, 256> levels[3];
    for (int c = 0; c < 3; ++c)
        levels[c] = levelTable(layout.bits[c], dithered);
    if (!dithered) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                QRgb &pixel = pixelAt(x, y);
                pixel = levelsOf(levels[0][pixel >> shifts[0] & 0xff], levels[1][pixel >> 8 & 0xff],
                                 levels[2][pixel >> shifts[2] & 0xff]);
            }
        }
        return;
    }
    std::array<uchar, 256> shown[3];
    std::array<OrderedSpread, 3> spread; // rgb332's: 8, 8 and 4 levels, in the order of its slots
    for (int c = 0; c < 3; ++c) {
        shown[c] = shownTable(layout.bits[c]);
        spread[size_t(c)] = spreadBetweenLevels(1 << layout.bits[c]);
    }
    reducePixels<3>(
        width, height, options.display.dither, spread,
        [&](int x, int y, int *values) {
            const QRgb pixel = pixelAt(x, y);
            for (int c = 0; c < 3; ++c)
                values[c] = int(pixel >> shifts[c] & 0xff);
        },
        [&](const int *values, int *shownValues) {
            int level[3];
            for (int c = 0; c < 3; ++c) {
                level[c] = levels[c][size_t(values[c])];
                shownValues[c] = shown[c][size_t(level[c])];
            }
            return int(levelsOf(level[0], level[1], level[2]));
        },
        [&](int x, int y, int pixelLevels) { pixelAt(x, y) = QRgb(pixelLevels); });
}

// What the display shows, drawn a row at a time from the array's bytes.
struct ShownColours
{
    const ColourLayout *layout;
    QImage storage; // what holds the bytes when they are the picture's own memory
    QByteArray bytes;
    int width;
    int stride; // a row's bytes; 0 for a stream
    int redSlot; // where red is among the levels: first (0), or last (2) with --color-order bgr
    std::array<std::array<uchar, 256>, 3> shown;

    void operator()(int y, QRgb *row) const
    {
        const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
        if (layout->stream)
            layout->unpack(data, qint64(y) * width, width, row);
        else
            layout->unpack(data + qint64(y) * stride, 0, width, row);
        for (int x = 0; x < width; ++x) {
            const QRgb levels = row[x];
            const int channels[3]
                = {shown[0][qRed(levels)], shown[1][qGreen(levels)], shown[2][qBlue(levels)]};
            row[x] = qRgb(channels[redSlot], channels[1], channels[2 - redSlot]);
        }
    }
};

// The loop that sends each of the array's bytes as it is, with a library's call for a data byte.
// The library reads the array's byte {i} as `read` says (from an AVR's program memory for those
// that run there).
struct RawBytes
{
    const char *command; // its call that sends a command
    const char *data; // and a data byte
    const char *read;
};
const RawBytes tftEspiBytes {"tft.writecommand", "tft.writedata", "NAME[{i}]"};
const RawBytes adafruitBytes {"tft.writeCommand", "tft.spiWrite", "QUILLON_READ_BYTE(NAME, {i})"};

// Coded by run length, rgb444's stream is decoded this many bytes at a time: whole pairs of
// pixels (three bytes), as the panel takes them.
constexpr int codedStreamPiece = 48;

// The line that sends the array's bytes as they are into a window of the picture's size at x, y:
// the panel first set to the colour mode `mode` (COLMOD, 0x3A), when one is given, and to 16-bit
// colour (0x55) after. `rowBytes` and `bytes`: a row's bytes and the array's, unpadded, as C (no
// row's for a stream); padded rows are sent one at a time, each from its own stride. Coded by run
// length, the rows (or pieces of a stream) are decoded one at a time into memory and sent from
// there.
QByteArray rawWrite(const RawBytes &library, const QByteArray &mode, const QByteArray &rowBytes,
                    const QByteArray &bytes, const EncodingOptions &options)
{
    const QByteArray data = library.data;
    const auto colourMode = [&](const QByteArray &value) {
        return library.command + QByteArray("(0x3A); ") + data + '(' + value + "); ";
    };
    QByteArray send;
    if (options.arrays.compression == ArrayLayout::Rle && rowBytes.isEmpty()) {
        const QByteArray piece = "uint8_t piece[" + QByteArray::number(codedStreamPiece) + ']';
        send = codedReads({{"NAME", piece, "piece", "n"}},
                          "for (uint32_t at = 0; at < NAME_size; at += sizeof piece) { uint32_t n = "
                          "NAME_size - at < sizeof piece ? NAME_size - at : sizeof piece;",
                          "for (uint32_t i = 0; i < n; i++) " + data + "(piece[i]);")
            + ' ';
    } else if (options.arrays.compression == ArrayLayout::Rle) {
        send = codedReads({codedRow("row")}, codedRowLoop,
                          "for (int32_t n = 0; n < " + rowBytes + "; n++) " + data + "(row[n]);")
            + ' ';
    } else {
        const bool padded = options.arrays.strideAlign > 1;
        const QByteArray loop = padded
            ? "for (int32_t r = 0; r < NAME_height; r++) for (int32_t n = 0; n < " + rowBytes + "; n++) "
            : "for (uint32_t n = 0; n < " + bytes + "; n++) ";
        const QByteArray byte = QByteArray(library.read).replace("{i}", padded ? "r * NAME_stride + n" : "n");
        send = loop + data + '(' + byte + "); ";
    }
    return "tft.startWrite(); " + (mode.isEmpty() ? QByteArray() : colourMode(mode))
        + "tft.setAddrWindow(x, y, NAME_width, NAME_height); " + send
        + (mode.isEmpty() ? QByteArray() : colourMode("0x55")) + "tft.endWrite();";
}

// The levels packed into the header's array, over the levels' own memory when the rows fit there;
// what the display shows drawn from it.
EncodedPicture encodeColours(PreparedPicture picture, const EncodingOptions &options,
                             const ColourLayout &layout, const QVector<QByteArray> &drawing)
{
    QImage levels = std::move(picture.colours);
    picture = PreparedPicture();
    if (levels.depth() != 32) // the prepared colours are 32-bit: rows of 4 bytes a pixel, unpadded
        levels = allocated(levels.convertToFormat(QImage::Format_RGB32));
    reduceInPlace(levels, layout, options);
    const QSize size = levels.size();
    const int width = size.width(), height = size.height();
    EncodedPicture encoded;
    encoded.header = startDisplayHeader(size, options, drawing);
    const int stride = layout.stream ? 0
                                     : declaredRowStride(options.header.arrayName, int(layout.bytesOf(width)),
                                                         options.arrays, encoded.header);
    const qint64 bytes = layout.stream ? layout.bytesOf(qint64(width) * height) : qint64(stride) * height;
    CArray array;
    array.name = options.header.arrayName;
    array.size = QByteArray::number(bytes);
    // A row's bytes are no more than its levels' (four a pixel) unless --stride-align pads them
    // beyond: then they go to an array of their own.
    const bool inPlace = layout.stream || stride <= levels.bytesPerLine();
    if (!inPlace)
        array.data = QByteArray(int(bytes), Qt::Uninitialized);
    uchar *out = inPlace ? levels.bits() : reinterpret_cast<uchar *>(array.data.data());
    if (layout.stream) { // the rows of a picture of 32-bit pixels lie one after the other
        layout.pack(reinterpret_cast<const QRgb *>(levels.constBits()), qint64(width) * height, out);
    } else {
        const int rowBytes = int(layout.bytesOf(width));
        for (int y = 0; y < height; ++y) {
            uchar *row = out + qint64(y) * stride;
            layout.pack(reinterpret_cast<const QRgb *>(levels.constScanLine(y)), width, row);
            std::memset(row + rowBytes, 0, size_t(stride - rowBytes));
        }
    }
    if (inPlace) {
        array.storage = std::move(levels);
        array.data
            = QByteArray::fromRawData(reinterpret_cast<const char *>(array.storage.constBits()), int(bytes));
    }
    if (options.shown != EncodingOptions::NotShown) {
        ShownColours draw {&layout, array.storage, array.data, width, stride, options.pixels.bgr ? 2 : 0, {}};
        for (int c = 0; c < 3; ++c)
            draw.shown[size_t(c)] = shownTable(layout.bits[c]);
        if (options.shown == EncodingOptions::Shown565)
            encoded.shown = PictureRows(size, draw).picture(QImage::Format_RGB16);
        else
            encoded.drawnShown = PictureRows(size, draw);
    }
    encoded.header.arrays << (options.arrays.compression == ArrayLayout::Rle
                                  ? runLengthArray(array.name, array.data, layout.unit, encoded.header)
                                  : array);
    return encoded;
}

// What the raw writes' lines say of the calls and the panels.
const char rawCalls[] = "writedata (TFT_eSPI) and spiWrite (Adafruit_SPITFT) send the bytes as they are; "
                        "pushPixels and writePixels would send 16-bit colours.";

// Three bytes a pixel, for a panel in 18-bit colour.
EncodedPicture encodeThreeBytes(PreparedPicture picture, const EncodingOptions &options,
                                const ColourLayout &layout, const QByteArray &note)
{
    const QByteArray rowBytes = "NAME_width * 3", bytes = "(uint32_t)NAME_width * NAME_height * 3";
    return encodeColours(
        std::move(picture), options, layout,
        {"TFT_eSPI (ILI9488_DRIVER): " + rawWrite(tftEspiBytes, QByteArray(), rowBytes, bytes, options),
         "Adafruit_SPITFT: " + rawWrite(adafruitBytes, "0x66", rowBytes, bytes, options),
         "TFT_eSPI runs an ILI9488 in 18-bit colour (COLMOD 0x66), which takes these bytes as they are; "
         "Adafruit_SPITFT stands for Adafruit's ILI9341, ST7735 and ST7789 classes, whose panel is set to "
         "18-bit colour while the picture is sent, then to 16-bit colour again (0x55).",
         rawCalls, note});
}

} // namespace

EncodedPicture encodeRgb332(PreparedPicture picture, const EncodingOptions &options)
{
    // TFT_eSPI's 8-bit pushImage reads 3-3-2 and sends each pixel in 5-6-5.
    return encodeColours(std::move(picture), options, rgb332,
                         {"TFT_eSPI: {rows}tft.pushImage(x, {y}, NAME_width, {h}, {NAME}, true);",
                          "TFT_eSPI widens each pixel to 5-6-5 for a panel in 16-bit colour; an SSD1331 or "
                          "SSD1351 in its 256-colour mode takes these bytes as they are."});
}

EncodedPicture encodeRgb444(PreparedPicture picture, const EncodingOptions &options)
{
    const QByteArray bytes = "((uint32_t)NAME_width * NAME_height * 3 + 1) / 2";
    return encodeColours(
        std::move(picture), options, rgb444,
        {"TFT_eSPI: " + rawWrite(tftEspiBytes, "0x03", QByteArray(), bytes, options),
         "Adafruit_ST77xx: " + rawWrite(adafruitBytes, "0x03", QByteArray(), bytes, options),
         "An ST7735 or ST7789 in 12-bit colour (COLMOD 0x03) while the picture is sent, then in 16-bit "
         "colour again (0x55), as these libraries run it; Adafruit_ST77xx stands for Adafruit_ST7735 and "
         "Adafruit_ST7789.",
         rawCalls});
}

EncodedPicture encodeRgb666(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeThreeBytes(std::move(picture), options, rgb666,
                            "Each byte holds its colour's 6 bits in its high bits, the low two 0.");
}

EncodedPicture encodeRgb888(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeThreeBytes(std::move(picture), options, rgb888,
                            "A panel in 18-bit colour keeps the 6 high bits of each byte.");
}

QString rgb888OptionsProblem(EncodingOptions *, const GivenOptions &given)
{
    if (given.dither || given.ditherMethod)
        return QCoreApplication::translate("DisplayFormat",
                                           "--%1 ne s'emploie pas avec --format rgb888, qui garde chaque "
                                           "couleur telle quelle")
            .arg(QLatin1String(given.dither ? "dither" : "dither-method"));
    return QString();
}

PictureRows colourLayoutShown(const QByteArray &format, const QByteArray &bytes, QSize size, int stride,
                              bool bgr)
{
    const ColourLayout *layout = format == "rgb332" ? &rgb332
        : format == "rgb444"                        ? &rgb444
        : format == "rgb666"                        ? &rgb666
        : format == "rgb888"                        ? &rgb888
                                                    : nullptr;
    if (!layout)
        return PictureRows();
    ShownColours draw {layout, QImage(), bytes, size.width(), layout->stream ? 0 : stride, bgr ? 2 : 0, {}};
    for (int c = 0; c < 3; ++c)
        draw.shown[size_t(c)] = shownTable(layout->bits[c]);
    return PictureRows(size, draw);
}

qint64 colourLayoutBytes(const QByteArray &format, QSize size, int stride)
{
    if (format == "rgb444")
        return rgb444.bytesOf(qint64(size.width()) * size.height());
    return qint64(stride) * size.height();
}

int colourLayoutRowBytes(const QByteArray &format, int width)
{
    const ColourLayout &layout = format == "rgb332" ? rgb332 : format == "rgb444" ? rgb444 : rgb666;
    return int(layout.bytesOf(width));
}
