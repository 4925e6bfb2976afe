#include "display_formats.h"

#include "error_diffusion.h"
#include "lvgl_format.h"
#include "palette.h"

#include <QtEndian>

namespace {

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray hex16(quint16 value)
{
    return "0x" + QByteArray::number(value, 16).rightJustified(4, '0');
}

// The header every format starts from: <stdint.h>, the size macros, and how to draw the array.
// Arrays that the drawing libraries read with pgm_read_* go to AVR program memory without
// --progmem.
CHeader startHeader(const QImage &picture, const EncodingOptions &options, const QVector<QByteArray> &drawing,
                    bool flashOnAvr = false)
{
    const QByteArray &name = options.arrayName;
    CHeader header;
    header.name = name;
    for (const QByteArray &line : drawing)
        header.commentLines << QByteArray(line).replace("NAME", name);
    header.includes << "<stdint.h>";
    header.progmem = options.progmem || flashOnAvr;
    header.macros << qMakePair(name + "_width", number(picture.width()))
                  << qMakePair(name + "_height", number(picture.height()));
    return header;
}

CArray byteArray(const QByteArray &name, QByteArray values)
{
    CArray array;
    array.type = CArray::Uint8;
    array.name = name;
    array.size = number(values.size());
    array.data = std::move(values);
    return array;
}

// Lit pixels, one byte each: 1 when lit.
QVector<quint8> litPixels(const PreparedPicture &picture, const EncodingOptions &options, QImage *shown)
{
    return greyLevels(picture.colours, 2, options.threshold, options, shown);
}

// Rows of bits, each row starting on a new byte, the leftmost pixel in the highest bit or, for
// XBM, the lowest.
QByteArray packRows(const QVector<quint8> &bits, int width, int height, bool leftmostLowest)
{
    const int rowBytes = (width + 7) / 8;
    QByteArray bytes(rowBytes * height, '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (bits[y * width + x])
                bytes[y * rowBytes + x / 8]
                    = char(bytes[y * rowBytes + x / 8] | (leftmostLowest ? 1 << (x % 8) : 0x80 >> (x % 8)));
        }
    }
    return bytes;
}

// Rows of lit bits, drawn by the libraries' bitmap functions.
EncodedPicture encodeBitRows(const PreparedPicture &picture, const EncodingOptions &options,
                             bool leftmostLowest, const QVector<QByteArray> &drawing)
{
    EncodedPicture encoded;
    const QVector<quint8> lit = litPixels(picture, options, &encoded.shown);
    encoded.header = startHeader(picture.colours, options, drawing, true);
    encoded.header.arrays << byteArray(
        options.arrayName, packRows(lit, picture.colours.width(), picture.colours.height(), leftmostLowest));
    return encoded;
}

EncodedPicture encodeMono(const PreparedPicture &picture, const EncodingOptions &options)
{
    return encodeBitRows(picture, options, false,
                         {"Adafruit GFX : display.drawBitmap(x, y, NAME, NAME_width, NAME_height, 1);",
                          "u8g2 : u8g2_DrawBitmap(&u8g2, x, y, (NAME_width + 7) / 8, NAME_height, NAME);"});
}

EncodedPicture encodeXbm(const PreparedPicture &picture, const EncodingOptions &options)
{
    return encodeBitRows(picture, options, true,
                         {"u8g2 : u8g2_DrawXBMP(&u8g2, x, y, NAME_width, NAME_height, NAME);",
                          "Adafruit GFX : display.drawXBitmap(x, y, NAME, NAME_width, NAME_height, 1);"});
}

// SSD1306 pages: 8 rows a byte, bit 0 at the top, the byte of page p and column x at p * W + x.
EncodedPicture encodePages(const PreparedPicture &picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    const QVector<quint8> lit = litPixels(picture, options, &encoded.shown);
    const int width = picture.colours.width(), height = picture.colours.height();
    QByteArray bytes(width * ((height + 7) / 8), '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (lit[y * width + x])
                bytes[(y / 8) * width + x] = char(bytes[(y / 8) * width + x] | 1 << (y % 8));
        }
    }
    encoded.header = startHeader(picture.colours, options,
                                 {"Adafruit_SSD1306 : memcpy(display.getBuffer(), NAME, sizeof NAME);",
                                  "u8g2 : memcpy(u8g2_GetBufferPtr(&u8g2), NAME, sizeof NAME);"});
    encoded.header.arrays << byteArray(options.arrayName, bytes);
    return encoded;
}

// Two pixels a byte, the left one in the high nibble, each row starting on a new byte.
QByteArray packNibbles(const QVector<quint8> &values, int width, int height)
{
    const int rowBytes = (width + 1) / 2;
    QByteArray bytes(rowBytes * height, '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            bytes[y * rowBytes + x / 2]
                = char(bytes[y * rowBytes + x / 2] | values[y * width + x] << (x % 2 ? 0 : 4));
    }
    return bytes;
}

QByteArray bytesOf(const QVector<quint8> &values)
{
    return QByteArray(reinterpret_cast<const char *>(values.constData()), values.size());
}

// 5-6-5 values as a little-endian firmware keeps them, or high byte first.
void append565(QByteArray &data, quint16 value, bool highFirst)
{
    data += char(highFirst ? value >> 8 : value & 0xff);
    data += char(highFirst ? value & 0xff : value >> 8);
}

EncodedPicture encodeGray8(const PreparedPicture &picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    const QVector<quint8> levels = greyLevels(picture.colours, 256, 0, options, &encoded.shown);
    encoded.header
        = startHeader(picture.colours, options,
                      {"Adafruit GFX : canvas.drawGrayscaleBitmap(x, y, NAME, NAME_width, NAME_height);"});
    encoded.header.progmem = true; // drawGrayscaleBitmap reads it with pgm_read_byte
    encoded.header.arrays << byteArray(options.arrayName, bytesOf(levels));
    return encoded;
}

EncodedPicture encodeGray4(const PreparedPicture &picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    const QVector<quint8> levels = greyLevels(picture.colours, 16, 0, options, &encoded.shown);
    encoded.header = startHeader(picture.colours, options,
                                 {"SSD1322, SSD1327 : les octets vont tels quels dans la mémoire de l'écran, "
                                  "deux pixels par octet, celui de gauche dans les 4 bits de poids fort."});
    encoded.header.arrays << byteArray(
        options.arrayName, packNibbles(levels, picture.colours.width(), picture.colours.height()));
    return encoded;
}

// Palette pictures: the palette chosen for the picture, each pixel its nearest entry.
EncodedPicture encodeIndexed(const PreparedPicture &picture, const EncodingOptions &options, int paletteSize)
{
    const QImage &colours = picture.colours;
    const int width = colours.width(), height = colours.height();
    IndexedPicture indexed = indexPicture(colours, paletteSize, options.dither);
    QVector<quint16> &palette = indexed.palette;
    const QVector<quint8> &indices = indexed.indices;
    EncodedPicture encoded;
    encoded.shown = std::move(indexed.shown);

    const bool eightBits = paletteSize == 256;
    encoded.header = startHeader(colours, options,
                                 {QByteArray("TFT_eSPI : tft.pushImage(x, y, NAME_width, NAME_height, NAME, ")
                                  + (eightBits ? "true" : "false") + ", (uint16_t *)NAME_palette);"});
    palette.resize(paletteSize);
    CArray paletteArray;
    paletteArray.type = CArray::Uint16;
    paletteArray.name = options.arrayName + "_palette";
    paletteArray.size = number(paletteSize);
    for (quint16 colour : palette)
        append565(paletteArray.data, colour, options.swapBytes);
    encoded.header.arrays << paletteArray
                          << byteArray(options.arrayName,
                                       eightBits ? bytesOf(indices) : packNibbles(indices, width, height));
    return encoded;
}

EncodedPicture encodeIndex4(const PreparedPicture &picture, const EncodingOptions &options)
{
    return encodeIndexed(picture, options, 16);
}

EncodedPicture encodeIndex8(const PreparedPicture &picture, const EncodingOptions &options)
{
    return encodeIndexed(picture, options, 256);
}

// 5-6-5 pixels, top row first; with a mask of the opaque pixels, or a colour that stands for the
// transparent ones.
EncodedPicture encodeRgb565(const PreparedPicture &picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    QImage pixels = reduceTo565(picture.colours, options.dither);
    const int width = pixels.width(), height = pixels.height();
    const bool transparent = options.transparent.isValid();
    const QRgb key = options.transparent.rgb();
    const quint16 keyValue = cutTo565(qRed(key), qGreen(key), qBlue(key));
    const auto opaque
        = [&](int x, int y) { return picture.alpha.isNull() || picture.alpha.constScanLine(y)[x] >= 128; };

    QByteArray values(width * height * 2, Qt::Uninitialized);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<quint16 *>(pixels.scanLine(y));
        for (int x = 0; x < width; ++x) {
            quint16 value = line[x];
            if (transparent) {
                if (!opaque(x, y))
                    value = keyValue;
                else if (value == keyValue) // one step of green away, so that it is drawn
                    value = quint16((value >> 5 & 0x3f) == 0x3f ? value - 0x20 : value + 0x20);
                line[x] = value;
            }
            const quint16 stored = options.swapBytes ? quint16(value << 8 | value >> 8) : value;
            qToLittleEndian(stored, values.data() + 2 * (y * width + x));
        }
    }
    const auto stored
        = [&](quint16 value) { return options.swapBytes ? quint16(value << 8 | value >> 8) : value; };

    QVector<QByteArray> drawing;
    if (options.alphaMask)
        drawing << "Adafruit GFX : tft.drawRGBBitmap(x, y, NAME, NAME_mask, NAME_width, NAME_height);";
    else if (transparent)
        drawing << "TFT_eSPI : tft.pushImage(x, y, NAME_width, NAME_height, NAME, NAME_transparent);";
    else
        drawing << "Adafruit GFX : tft.drawRGBBitmap(x, y, NAME, NAME_width, NAME_height);";
    encoded.header = startHeader(pixels, options, drawing, true);
    if (transparent)
        encoded.header.macros << qMakePair(options.arrayName + "_transparent", hex16(stored(keyValue)));
    CArray array;
    array.type = CArray::Uint16;
    array.name = options.arrayName;
    array.size = number(values.size() / 2);
    array.data = std::move(values);
    encoded.header.arrays << array;
    if (options.alphaMask) {
        QVector<quint8> mask(width * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                mask[y * width + x] = opaque(x, y) ? 1 : 0;
        encoded.header.arrays << byteArray(options.arrayName + "_mask", packRows(mask, width, height, false));
    }
    encoded.shown = std::move(pixels);
    return encoded;
}

} // namespace

QVector<quint8> greyLevels(const QImage &colours, int levels, int threshold, const EncodingOptions &options,
                           QImage *shown)
{
    const int width = colours.width(), height = colours.height();
    QVector<quint8> result(width * height);
    *shown = QImage(colours.size(), QImage::Format_Grayscale8); // greys, one byte each
    const int top = levels - 1;
    diffuseErrors<1>(
        width, height, options.dither,
        [&](int x, int y, int *values) {
            values[0] = luminance(reinterpret_cast<const QRgb *>(colours.constScanLine(y))[x]);
        },
        [&](const int *values, int *intensity) {
            // Two levels split at the threshold; more, at the nearest level.
            const int level = levels == 2 ? (values[0] >= threshold ? 1 : 0) : (values[0] * top + 127) / 255;
            intensity[0] = level * 255 / top;
            return level;
        },
        [&](int x, int y, int level) {
            const int stored = options.invert ? top - level : level;
            result[y * width + x] = quint8(stored);
            const int lightness = level * 255 / top;
            shown->scanLine(y)[x] = uchar(lightness);
        });
    return result;
}

int luminance(QRgb colour)
{
    return (299 * qRed(colour) + 587 * qGreen(colour) + 114 * qBlue(colour) + 500) / 1000;
}

const QVector<DisplayFormat> &displayFormats()
{
    static const QVector<DisplayFormat> formats = {
        {"rgb565", DisplayFormat::AlphaWhenAsked, true, encodeRgb565},
        {"mono", DisplayFormat::NoAlpha, true, encodeMono},
        {"xbm", DisplayFormat::NoAlpha, true, encodeXbm},
        {"pages", DisplayFormat::NoAlpha, false, encodePages},
        {"gray8", DisplayFormat::NoAlpha, true, encodeGray8},
        {"gray4", DisplayFormat::NoAlpha, false, encodeGray4},
        {"index4", DisplayFormat::NoAlpha, false, encodeIndex4},
        {"index8", DisplayFormat::NoAlpha, false, encodeIndex8},
        {"lvgl", DisplayFormat::AlphaAlways, false, encodeLvgl, lvglSizeProblem},
    };
    return formats;
}

const DisplayFormat *findDisplayFormat(const QByteArray &name)
{
    for (const DisplayFormat &format : displayFormats()) {
        if (name == format.name)
            return &format;
    }
    return nullptr;
}
