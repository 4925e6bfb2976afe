#include "display_formats.h"

#include "colour_formats.h"
#include "display_format_parts.h"
#include "dithering.h"
#include "epaper_formats.h"
#include "lvgl_format.h"
#include "palette.h"
#include "pixel_packing.h"
#include "rle_arrays.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray hex16(quint16 value)
{
    return "0x" + QByteArray::number(value, 16).rightJustified(4, '0');
}

// A drawing line with its picture's rows: whole, or one at a time when --stride-align pads them,
// each from its own stride. {rows} stands for the loop over the rows ({bands} where the library
// also takes blocks of rows), {y} and {h} for the rows drawn, {NAME}, {NAME16} and {NAME_mask} for
// the first of them in an array of bytes, of 16-bit values and in the mask, {step} for the bytes
// from a row to the next, {P} for the P of a library's function that reads flash. Coded by run
// length, the rows are decoded a row or a band at a time (rle_arrays.h).
QByteArray rowsOf(QByteArray line, const EncodingOptions &options)
{
    if (options.compression == EncodingOptions::Rle)
        return codedRowsOf(line, options);
    const bool padded = options.strideAlign > 1;
    return line.replace("{bands}", "{rows}")
        .replace("{P}", "P")
        .replace("{rows}", padded ? "for (int r = 0; r < NAME_height; r++) " : "")
        .replace("{y}", padded ? "y + r" : "y")
        .replace("{h}", padded ? "1" : "NAME_height")
        .replace("{NAME}", padded ? "NAME + r * NAME_stride" : "NAME")
        .replace("{NAME16}", padded ? "NAME + r * (NAME_stride / 2)" : "NAME")
        .replace("{NAME_mask}", padded ? "NAME_mask + r * NAME_mask_stride" : "NAME_mask")
        .replace("{step}", padded ? "NAME_stride" : "NAME_width");
}

// The header every format starts from: <stdint.h>, the size macros, and how to draw the array.
// Its arrays go to AVR program memory, where the drawing lines read them, with or without
// --progmem (QUILLON_PROGMEM is nothing on every other chip).
CHeader startHeader(QSize size, const EncodingOptions &options, const QVector<QByteArray> &drawing)
{
    const QByteArray &name = options.arrayName;
    CHeader header;
    header.name = name;
    for (const QByteArray &line : drawing)
        header.commentLines << rowsOf(line, options).replace("NAME", name);
    header.includes << "<stdint.h>";
    header.progmem = true;
    header.macros << qMakePair(name + "_width", number(size.width()))
                  << qMakePair(name + "_height", number(size.height()));
    return header;
}

// The bytes a row takes once padded to a multiple of --stride-align bytes, and of `unit`, the
// size of the array's elements.
int rowStride(int rowBytes, const EncodingOptions &options, int unit = 1)
{
    const int align = std::lcm(options.strideAlign, unit);
    return (rowBytes + align - 1) / align * align;
}

// Rows of `rowBytes` bytes, each followed by zeros up to `stride` bytes.
QByteArray padRows(const QByteArray &rows, int rowBytes, int stride)
{
    if (stride == rowBytes)
        return rows;
    QByteArray padded(rows.size() / rowBytes * stride, '\0');
    for (int from = 0, to = 0; from < rows.size(); from += rowBytes, to += stride)
        std::copy_n(rows.constData() + from, rowBytes, padded.data() + to);
    return padded;
}

// An array of rows of `rowBytes` bytes, padded as --stride-align asks; the stride told by a
// macro when the rows are padded on request, or coded by run length (rle_arrays.h), as asked.
CArray rowArray(const QByteArray &name, const QByteArray &rows, int rowBytes, const EncodingOptions &options,
                CHeader &header, CArray::ValueType type = CArray::Uint8)
{
    const int unit = type == CArray::Uint16 ? 2 : 1;
    const int stride = declaredRowStride(name, rowBytes, options, header, unit);
    if (options.compression == EncodingOptions::Rle)
        return runLengthArray(name, padRows(rows, rowBytes, stride), unit, header);
    CArray array;
    array.type = type;
    array.name = name;
    array.data = padRows(rows, rowBytes, stride);
    array.size = number(array.data.size() / unit);
    return array;
}

// Lit pixels, one byte each: 1 when lit, noted in `encoded` when they are all alike. The colours
// are let go.
QImage litPixels(PreparedPicture &picture, const EncodingOptions &options, EncodedPicture &encoded)
{
    QImage lit = storedGreyLevels(picture.colours, 2, options.threshold, options);
    noteUniformBits(lit, picture.transparentOnBlack, options, &encoded.uniform);
    picture = PreparedPicture();
    return lit;
}

// Rows of lit bits, drawn by the libraries' bitmap functions.
EncodedPicture encodeBitRows(PreparedPicture picture, const EncodingOptions &options, bool leftmostLowest,
                             const QVector<QByteArray> &drawing)
{
    EncodedPicture encoded;
    QImage lit = litPixels(picture, options, encoded);
    encoded.header = startHeader(lit.size(), options, drawing);
    encoded.header.arrays << rowArray(options.arrayName, packLevels(lit, {1, leftmostLowest}),
                                      (lit.width() + 7) / 8, options, encoded.header);
    encoded.shown = shownGreyLevels(std::move(lit), 2, options);
    return encoded;
}

// What the two u8g2 lines are for.
const char u8g2Kinds[] = "(u8g2: its C API; U8g2lib: its U8G2 class, on Arduino.)";

EncodedPicture encodeMono(PreparedPicture picture, const EncodingOptions &options)
{
    // Not u8g2_DrawBitmap: it reads RAM, where an AVR has no such array, and draws each row's
    // padding bits too; u8g2 reads --format xbm from flash.
    return encodeBitRows(std::move(picture), options, false,
                         {"Adafruit GFX: {rows}display.drawBitmap(x, {y}, {NAME}, NAME_width, {h}, 1);"});
}

EncodedPicture encodeXbm(PreparedPicture picture, const EncodingOptions &options)
{
    QVector<QByteArray> drawing
        = {"u8g2: {rows}u8g2_DrawXBM{P}(&u8g2, x, {y}, NAME_width, {h}, {NAME});",
           "U8g2lib: {rows}u8g2.drawXBM{P}(x, {y}, NAME_width, {h}, {NAME});", u8g2Kinds};
    // Adafruit GFX reads XBM rows from flash only, where decoded rows are not.
    drawing
        << (options.compression == EncodingOptions::Rle
                ? "Adafruit GFX reads XBM rows from flash only (drawXBitmap): --format mono draws decoded "
                  "rows with drawBitmap."
                : "Adafruit GFX: {rows}display.drawXBitmap(x, {y}, {NAME}, NAME_width, {h}, 1);");
    return encodeBitRows(std::move(picture), options, true, drawing);
}

// SSD1306 pages: 8 rows a byte, bit 0 at the top, the byte of page p and column x at p * W + x.
EncodedPicture encodePages(PreparedPicture picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    QImage lit = litPixels(picture, options, encoded);
    const int width = lit.width(), height = lit.height();
    QByteArray bytes(width * ((height + 7) / 8), '\0');
    for (int y = 0; y < height; ++y) {
        const uchar *line = lit.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            if (line[x])
                bytes[(y / 8) * width + x] = char(bytes[(y / 8) * width + x] | 1 << (y % 8));
        }
    }
    // Each page row of the picture goes into the display's own at column x, the rows below it
    // in its last page cleared; read from flash on AVR (memcpy_P and u8x8_pgm_read are plain
    // reads elsewhere), or decoded a page at a time.
    const QByteArray copy = "memcpy_P";
    const QByteArray pageStart = options.strideAlign > 1 ? "p * NAME_stride" : "p * NAME_width";
    QVector<QByteArray> drawing;
    if (options.compression == EncodingOptions::Rle) {
        const QVector<CodedBuffer> page = {codedRow("page")};
        const QByteArray pages = "for (int p = 0; p < (NAME_height + 7) / 8; p++) {";
        drawing << "Adafruit_SSD1306: "
                + codedReads(
                       page, pages,
                       "memcpy(display.getBuffer() + (y / 8 + p) * display.width() + x, page, NAME_width);")
                << "u8g2: "
                + codedReads(
                       page, pages,
                       "memcpy(u8g2_GetBufferPtr(&u8g2) + (y / 8 + p) * u8g2_GetBufferTileWidth(&u8g2) * 8 "
                       "+ x, page, NAME_width);")
                << "U8g2lib: "
                + codedReads(page, pages,
                             "memcpy(u8g2.getBufferPtr() + (y / 8 + p) * u8g2.getBufferTileWidth() * 8 + x, "
                             "page, NAME_width);");
    } else {
        drawing << "Adafruit_SSD1306: for (int16_t p = 0; p < (NAME_height + 7) / 8; p++) " + copy
                + "(display.getBuffer() + (y / 8 + p) * display.width() + x, NAME + " + pageStart
                + ", NAME_width);";
        // u8g2.h brings no memcpy.
        const QByteArray read = "u8x8_pgm_read(NAME + " + pageStart + " + c);";
        const QByteArray columns
            = "for (int p = 0; p < (NAME_height + 7) / 8; p++) for (int c = 0; c < NAME_width; c++) ";
        drawing << "u8g2: " + columns
                + "u8g2_GetBufferPtr(&u8g2)[(y / 8 + p) * u8g2_GetBufferTileWidth(&u8g2) * 8 + x + c] = "
                + read
                << "U8g2lib: " + columns
                + "u8g2.getBufferPtr()[(y / 8 + p) * u8g2.getBufferTileWidth() * 8 + x + c] = " + read;
    }
    drawing << u8g2Kinds
            << "y a multiple of 8, the picture wholly on the screen (rotation 0, u8g2's full buffer)."
            << "The rows under the picture in its last page are cleared.";
    encoded.header = startHeader(lit.size(), options, drawing);
    encoded.header.arrays << rowArray(options.arrayName, bytes, width, options, encoded.header);
    encoded.shown = shownGreyLevels(std::move(lit), 2, options);
    return encoded;
}

EncodedPicture encodeGray8(PreparedPicture picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    QImage levels = storedGreyLevels(picture.colours, 256, 0, options);
    picture = PreparedPicture();
    encoded.header
        = startHeader(levels.size(), options,
                      {"Adafruit GFX: {rows}canvas.drawGrayscaleBitmap(x, {y}, {NAME}, NAME_width, {h});"});
    encoded.header.arrays << rowArray(options.arrayName, packLevels(levels, {8}), levels.width(), options,
                                      encoded.header);
    encoded.shown = shownGreyLevels(std::move(levels), 256, options);
    return encoded;
}

EncodedPicture encodeGray4(PreparedPicture picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    QImage levels = storedGreyLevels(picture.colours, 16, 0, options);
    picture = PreparedPicture();
    // Each row goes into the SSD1327's buffer, two pixels a byte as there, from x (even).
    const QByteArray intoBuffer = "(display.getBuffer() + (y + r) * (display.width() / 2) + x / 2, ";
    const QByteArray rows = "for (int16_t r = 0; r < NAME_height; r++) ";
    QByteArray copy = "Adafruit_SSD1327: ";
    if (options.compression == EncodingOptions::Rle)
        copy += codedReads({codedRow("row")}, rows + '{',
                           "memcpy" + intoBuffer + "row, (NAME_width + 1) / 2);");
    else
        copy += rows + "memcpy_P" + intoBuffer + "NAME + r * "
            + (options.strideAlign > 1 ? "NAME_stride" : "((NAME_width + 1) / 2)")
            + ", (NAME_width + 1) / 2);";
    encoded.header = startHeader(
        levels.size(), options,
        {copy,
         "x even, the picture wholly on the screen (rotation 0); with an odd width, the pixel right of "
         "each row is cleared.",
         "SSD1322, SSD1327: two pixels a byte, the left one in the high 4 bits."});
    encoded.header.arrays << rowArray(options.arrayName, packLevels(levels, {4}), (levels.width() + 1) / 2,
                                      options, encoded.header);
    encoded.shown = shownGreyLevels(std::move(levels), 16, options);
    return encoded;
}

// Palette pictures: the palette chosen for the picture, each pixel its nearest entry.
EncodedPicture encodeIndexed(PreparedPicture picture, const EncodingOptions &options, int paletteSize)
{
    const int width = picture.colours.width(), height = picture.colours.height();
    int pictureColours = 0;
    IndexedPicture indexed
        = indexPixels(picture.colours,
                      options.palette.isEmpty() ? choosePalette(picture.colours, paletteSize, &pictureColours)
                                                : options.palette,
                      options.dither);
    picture = PreparedPicture(); // the indices are all that is needed now
    QVector<quint16> &palette = indexed.palette;
    const QVector<quint8> &indices = indexed.indices;
    EncodedPicture encoded;
    if (options.shown != EncodingOptions::NotShown)
        encoded.shown = paletteColours(indexed, QSize(width, height));
    encoded.pictureColours = pictureColours;

    // TFT_eSPI's 4-bit pushImage sends each palette entry high byte first itself: the palette
    // stays in the firmware's order, whatever --swap-bytes. Its 8-bit one reads RGB332 and no
    // palette: each row is looked up here into a row of 5-6-5 values, pushed as pushImage pushes
    // its own.
    const bool eightBits = paletteSize == 256;
    const bool swapped = eightBits && options.swapBytes;
    const QByteArray rows = "for (int32_t r = 0; r < NAME_height; r++) {";
    const QByteArray lookUp = " uint16_t row[NAME_width]; for (int32_t c = 0; c < NAME_width; c++) row[c] = "
                              "NAME_palette[";
    const QByteArray push = "]; tft.pushPixels(row, NAME_width);";
    const QByteArray eightBitRows = options.compression == EncodingOptions::Rle
        ? codedReads({codedRow("indices")}, rows, lookUp.mid(1) + "indices[c]" + push)
        : rows + lookUp + "NAME[r * {step} + c]" + push + " }";
    encoded.header = startHeader(
        QSize(width, height), options,
        {eightBits
             ? QByteArray("TFT_eSPI: tft.setSwapBytes(") + (swapped ? "false" : "true")
                 + "); tft.startWrite(); tft.setAddrWindow(x, y, NAME_width, NAME_height); " + eightBitRows
                 + " tft.endWrite();"
             : QByteArray("TFT_eSPI: {bands}tft.pushImage(x, {y}, NAME_width, {h}, {NAME}, false, (uint16_t "
                          "*)NAME_palette);")});
    if (!eightBits && options.swapBytes)
        encoded.header.commentLines << "The palette stays in the microcontroller's order: TFT_eSPI sends it "
                                       "high byte first itself.";
    if (options.paletteOfFrames)
        encoded.header.commentLines << options.arrayName
                + "_palette: one palette chosen for all the frames of the animation.";
    else if (!options.palette.isEmpty())
        encoded.header.commentLines << options.arrayName + "_palette: the " + number(options.palette.size())
                + " colours given by --palette"
                + (options.palette.size() < paletteSize ? ", followed by 0x0000 entries that no pixel uses."
                                                        : ".");
    palette.resize(paletteSize);
    if (options.bgr) // the colours shown stay as they are
        std::transform(palette.begin(), palette.end(), palette.begin(), swapRedBlue565);
    CArray paletteArray;
    paletteArray.type = CArray::Uint16;
    paletteArray.name = options.arrayName + "_palette";
    paletteArray.size = number(paletteSize);
    paletteArray.data = QByteArray(paletteSize * 2, Qt::Uninitialized);
    put565Row(palette.constData(), paletteSize, swapped, paletteArray.data.data());
    encoded.header.arrays << paletteArray
                          << rowArray(
                                 options.arrayName,
                                 packRows(indices.constData(), width, width, height, {eightBits ? 8 : 4}),
                                 eightBits ? width : (width + 1) / 2, options, encoded.header);
    return encoded;
}

EncodedPicture encodeIndex4(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeIndexed(std::move(picture), options, 16);
}

EncodedPicture encodeIndex8(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeIndexed(std::move(picture), options, 256);
}

// 5-6-5 pixels, top row first; with a mask of the opaque pixels, or a colour that stands for the
// transparent ones.
EncodedPicture encodeRgb565(PreparedPicture picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    QImage pixels = reduceTo565(std::move(picture.colours), options.dither);
    const int width = pixels.width(), height = pixels.height();
    const bool transparent = options.transparent.isValid();
    const QRgb key = options.transparent.rgb();
    const quint16 keyValue = cutTo565(qRed(key), qGreen(key), qBlue(key));
    // A panel wired BGR takes red and blue exchanged; the key is compared with the values stored.
    const auto stored = [&options](quint16 value) { return options.bgr ? swapRedBlue565(value) : value; };
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
            put565(values.data() + 2 * (qsizetype(y) * width + x), stored(value), options.swapBytes);
        }
    }
    // Adafruit GFX draws values in the firmware's order. TFT_eSPI sends them high byte first
    // when told to swap, as they are when told not to; it compares its key, given in the
    // firmware's order, to the values as they are stored, swapping the key when told not to swap.
    const QByteArray swapFirst
        = QByteArray("TFT_eSPI: tft.setSwapBytes(") + (options.swapBytes ? "false" : "true") + "); ";
    QVector<QByteArray> drawing;
    if (options.alphaMask) {
        if (!options.swapBytes)
            drawing
                << "Adafruit GFX: {rows}tft.drawRGBBitmap(x, {y}, {NAME16}, {NAME_mask}, NAME_width, {h});";
        drawing << swapFirst
                + "{bands}tft.pushMaskedImage(x, {y}, NAME_width, {h}, (uint16_t *){NAME16}, (uint8_t "
                  "*){NAME_mask});";
    }
    if (transparent)
        drawing << swapFirst + "{bands}tft.pushImage(x, {y}, NAME_width, {h}, {NAME16}, NAME_transparent);";
    if (!options.alphaMask && !transparent) {
        if (!options.swapBytes)
            drawing << "Adafruit GFX: {rows}tft.drawRGBBitmap(x, {y}, {NAME16}, NAME_width, {h});";
        drawing << swapFirst + "{bands}tft.pushImage(x, {y}, NAME_width, {h}, {NAME16});";
    }
    encoded.header = startHeader(pixels.size(), options, drawing);
    if (transparent)
        encoded.header.macros << qMakePair(options.arrayName + "_transparent", hex16(stored(keyValue)));
    encoded.header.arrays << rowArray(options.arrayName, values, width * 2, options, encoded.header,
                                      CArray::Uint16);
    if (options.alphaMask) { // 1 where opaque, packed a row at a time
        const int rowBytes = packedRowBytes(width, 1);
        QByteArray mask(qsizetype(rowBytes) * height, Qt::Uninitialized);
        std::vector<uchar> row(static_cast<size_t>(width));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                row[size_t(x)] = opaque(x, y) ? 1 : 0;
            packRow(row.data(), width, {1}, mask.data() + qsizetype(y) * rowBytes);
        }
        encoded.header.arrays << rowArray(options.arrayName + "_mask", mask, rowBytes, options,
                                          encoded.header);
    }
    encoded.shown = std::move(pixels);
    return encoded;
}

} // namespace

QVector<quint8> greyLevels(const QImage &colours, int levels, int threshold, const EncodingOptions &options,
                           QImage *shown)
{
    QImage stored = storedGreyLevels(colours, levels, threshold, options);
    const int width = colours.width(), height = colours.height();
    QVector<quint8> result(width * height);
    for (int y = 0; y < height; ++y)
        std::copy_n(stored.constScanLine(y), width, result.data() + y * width);
    showGreyLevels(stored, levels);
    *shown = std::move(stored);
    return result;
}

QImage storedGreyLevels(const QImage &colours, int levels, int threshold, const EncodingOptions &options)
{
    const int width = colours.width(), height = colours.height();
    QImage stored = allocated(QImage(colours.size(), QImage::Format_Grayscale8));
    uchar *bits = stored.bits();
    const qsizetype bytesPerLine = stored.bytesPerLine();
    const int top = levels - 1;
    const uchar *source = colours.constBits();
    const qsizetype sourceLine = colours.bytesPerLine();
    // Two levels split at the threshold; more, at the nearest level.
    const auto levelOf
        = [&](int light) { return levels == 2 ? (light >= threshold ? 1 : 0) : (light * top + 127) / 255; };
    // Each pixel on its own: a look-up of its luminance, rows read straight.
    if (options.dither == Dithering::None) {
        uchar valueOf[256];
        for (int light = 0; light < 256; ++light)
            valueOf[light] = uchar(options.invert ? top - levelOf(light) : levelOf(light));
        for (int y = 0; y < height; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(source + y * sourceLine);
            uchar *out = bits + y * bytesPerLine;
            for (int x = 0; x < width; ++x)
                out[x] = valueOf[luminance(line[x])];
        }
        return stored;
    }
    reducePixels<1>(
        width, height, options.dither,
        {levels == 2 ? spreadAroundThreshold(threshold) : spreadBetweenLevels(levels)},
        [&](int x, int y, int *values) {
            values[0] = luminance(reinterpret_cast<const QRgb *>(source + y * sourceLine)[x]);
        },
        [&](const int *values, int *intensity) {
            const int level = levelOf(values[0]);
            intensity[0] = level * 255 / top;
            return level;
        },
        [&](int x, int y, int level) {
            bits[y * bytesPerLine + x] = uchar(options.invert ? top - level : level);
        });
    return stored;
}

void noteUniformBits(const QImage &stored, bool transparentOnBlack, const EncodingOptions &options,
                     QVector<UniformArray> *uniform)
{
    if (stored.isNull())
        return;
    const uchar first = *stored.constBits();
    for (int y = 0; y < stored.height(); ++y) {
        const uchar *line = stored.constScanLine(y);
        if (std::any_of(line, line + stored.width(), [first](uchar bit) { return bit != first; }))
            return;
    }
    const bool lit = first == 1, dark = lit == options.invert;
    const UniformArray::Cause cause = !dark ? UniformArray::AllLight
        : transparentOnBlack                ? UniformArray::DarkOnTransparency
                                            : UniformArray::AllDark;
    *uniform << UniformArray {options.arrayName, cause, lit};
}

QImage shownGreyLevels(QImage stored, int levels, const EncodingOptions &options)
{
    if (options.shown == EncodingOptions::NotShown)
        return QImage();
    showGreyLevels(stored, levels);
    return stored;
}

void showGreyLevels(QImage &stored, int levels)
{
    const int top = levels - 1;
    uchar lit[256];
    for (int level = 0; level < levels; ++level)
        lit[level] = uchar(level * 255 / top); // as the panel lights it
    const int width = stored.width(), height = stored.height();
    for (int y = 0; y < height; ++y) {
        uchar *line = stored.scanLine(y);
        for (int x = 0; x < width; ++x)
            line[x] = lit[line[x]];
    }
}

QImage EncodedPicture::shownPicture(QImage::Format format) const
{
    return shown.isNull() ? drawnShown.picture(format) : allocated(shown.convertToFormat(format));
}

QImage EncodedPicture::bmpPicture(bool shownKept)
{
    if (shown.isNull())
        return shownPicture(QImage::Format_RGB16);
    if (!shownKept) {
        shown.convertTo(QImage::Format_RGB16);
        checkAllocated(shown);
    }
    return shown;
}

QByteArray packLevels(const QImage &stored, const BitPacking &packing)
{
    return packRows(stored.constBits(), stored.bytesPerLine(), stored.width(), stored.height(), packing);
}

const QVector<DisplayFormat> &displayFormats()
{
    using F = DisplayFormat;
    static const QVector<DisplayFormat> formats = {
        {/* name = */ "rgb565", /* family = */ F::Colour, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat",
                           "les pixels en valeurs 16 bits 5-6-5, de la ligne du haut à celle du bas"),
         /* encode = */ encodeRgb565, /* sizeProblem = */ nullptr, /* alpha = */ F::AlphaWhenAsked,
         /* settings = */ F::SwapBytes | F::AlphaMask | F::Transparent | F::StrideAlign | F::ColourOrder,
         /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ F::MaskArray | F::TransparentMacro, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "rgb332", /* family = */ F::Colour, /* help = */
         QT_TRANSLATE_NOOP(
             "DisplayFormat",
             "3-3-2, un octet par pixel : rouge aux bits 7-5, vert aux bits 4-2, bleu aux bits 1-0"),
         /* encode = */ encodeRgb332, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::ColourOrder | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "rgb444", /* family = */ F::Colour, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat",
                           "4-4-4 des ST7735 et ST7789 en couleurs 12 bits : deux pixels en trois octets, "
                           "les lignes à la suite"),
         /* encode = */ encodeRgb444, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::ColourOrder, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "rgb666", /* family = */ F::Colour, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat",
                           "6-6-6 de l'ILI9488 en SPI : trois octets par pixel, rouge, vert, bleu, chacun "
                           "sur ses 6 bits forts"),
         /* encode = */ encodeRgb666, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::ColourOrder | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "rgb888", /* family = */ F::Colour, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "8-8-8 : trois octets par pixel, rouge, vert, bleu"),
         /* encode = */ encodeRgb888, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::ColourOrder | F::StrideAlign, /* optionsProblem = */ rgb888OptionsProblem,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "mono", /* family = */ F::OneBit, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "1 bit par pixel, ligne par ligne, bit fort à gauche"),
         /* encode = */ encodeMono, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::Threshold | F::Invert | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "xbm", /* family = */ F::OneBit, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "1 bit par pixel, ligne par ligne, bit faible à gauche"),
         /* encode = */ encodeXbm, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::Threshold | F::Invert | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "pages", /* family = */ F::OneBit, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "pages de 8 lignes des SSD1306 et SH1106"),
         /* encode = */ encodePages, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::Threshold | F::Invert | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "gray8", /* family = */ F::Grey, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "256 gris, un octet par pixel"),
         /* encode = */ encodeGray8, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::Invert | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "gray4", /* family = */ F::Grey, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "16 gris, deux pixels par octet"),
         /* encode = */ encodeGray4, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::Invert | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "index4", /* family = */ F::Indexed, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "palette 5-6-5 de 16 couleurs, deux pixels par octet"),
         /* encode = */ encodeIndex4, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::SwapBytes | F::Palette | F::StrideAlign | F::ColourOrder,
         /* optionsProblem = */ nullptr,
         /* paletteColours = */ 16, /* arrays = */ F::PaletteArray, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "index8", /* family = */ F::Indexed, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "palette 5-6-5 de 256 couleurs, un octet par pixel"),
         /* encode = */ encodeIndex8, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::SwapBytes | F::Palette | F::StrideAlign | F::ColourOrder,
         /* optionsProblem = */ nullptr,
         /* paletteColours = */ 256, /* arrays = */ F::PaletteArray, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        // Every name of LVGL's begins so, but for those of the C library's headers it includes.
        {/* name = */ "lvgl", /* family = */ F::Lvgl, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "une image lv_image_dsc_t de LVGL (lv_img_dsc_t de LVGL 8)"),
         /* encode = */ encodeLvgl, /* sizeProblem = */ lvglSizeProblem, /* alpha = */ F::AlphaAlways,
         /* settings = */ F::SwapBytes | F::Threshold | F::Invert | F::StrideAlign | F::LvglSettings,
         /* optionsProblem = */ lvglOptionsProblem,
         /* paletteColours = */ 0, /* arrays = */ F::MapArray, /* flashOnAvr = */ false,
         /* includedFile = */ "lvgl.h", /* includedNames = */ "\\A(_?(lv|LV)_\\w*|LVGL\\w*|NULL|va_list)\\z",
         /* framesProblem = */ lvglFramesProblem},
        {/* name = */ "gray2", /* family = */ F::Grey, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "4 gris de l'encre électronique, quatre pixels par octet"),
         /* encode = */ encodeGray2, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ F::Invert | F::StrideAlign, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "epd-bw-red", /* family = */ F::Epaper, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat",
                           "encre noire et rouge : plans NOM_black et NOM_red, 0 où va l'encre"),
         /* encode = */ encodeEpdBlackWhiteRed, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ 0, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ F::BlackPlane | F::RedPlane, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "epd-bw-yellow", /* family = */ F::Epaper, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat",
                           "encre noire et jaune : plans NOM_black et NOM_yellow, 0 où va l'encre"),
         /* encode = */ encodeEpdBlackWhiteYellow, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ 0, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ F::BlackPlane | F::YellowPlane, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "epd7", /* family = */ F::Epaper, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat", "les 7 couleurs des écrans ACeP, deux pixels par octet"),
         /* encode = */ encodeEpd7, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ 0, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "epd-bwry", /* family = */ F::Epaper, /* help = */
         QT_TRANSLATE_NOOP(
             "DisplayFormat",
             "les 4 encres noire, blanche, jaune et rouge (Waveshare G), quatre pixels par octet"),
         /* encode = */ encodeEpdBlackWhiteYellowRed, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ 0, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
        {/* name = */ "epd-spectra6", /* family = */ F::Epaper, /* help = */
         QT_TRANSLATE_NOOP("DisplayFormat",
                           "les 6 encres des écrans Spectra 6 (Waveshare E), deux pixels par octet"),
         /* encode = */ encodeEpdSpectra6, /* sizeProblem = */ nullptr, /* alpha = */ F::NoAlpha,
         /* settings = */ 0, /* optionsProblem = */ nullptr,
         /* paletteColours = */ 0, /* arrays = */ 0, /* flashOnAvr = */ true,
         /* includedFile = */ nullptr, /* includedNames = */ nullptr},
    };
    return formats;
}

const char *arraySuffix(DisplayFormat::Array array)
{
    switch (array) {
    case DisplayFormat::PaletteArray:
        return "_palette";
    case DisplayFormat::MaskArray:
        return "_mask";
    case DisplayFormat::MapArray:
        return "_map";
    case DisplayFormat::TransparentMacro:
        return "_transparent";
    case DisplayFormat::BlackPlane:
        return "_black";
    case DisplayFormat::RedPlane:
        return "_red";
    case DisplayFormat::YellowPlane:
        return "_yellow";
    }
    return "";
}

QByteArrayList arraySuffixes(int arrays)
{
    int defined = 0;
    for (const DisplayFormat &format : displayFormats())
        defined |= format.arrays;
    QByteArrayList suffixes;
    for (int array = 1; array <= DisplayFormat::YellowPlane; array <<= 1) {
        if (defined & arrays & array)
            suffixes << arraySuffix(DisplayFormat::Array(array));
    }
    return suffixes;
}

QByteArrayList formatsReading(DisplayFormat::Setting setting)
{
    QVector<const DisplayFormat *> reading;
    for (const DisplayFormat &format : displayFormats()) {
        if (format.settings & setting)
            reading << &format;
    }
    std::stable_sort(reading.begin(), reading.end(),
                     [](const DisplayFormat *a, const DisplayFormat *b) { return a->family < b->family; });
    QByteArrayList names;
    for (const DisplayFormat *format : reading)
        names << format->name;
    return names;
}

const DisplayFormat *findDisplayFormat(const QByteArray &name)
{
    for (const DisplayFormat &format : displayFormats()) {
        if (name == format.name)
            return &format;
    }
    return nullptr;
}

bool keepsAlpha(const DisplayFormat *format, const EncodingOptions &options)
{
    return format
        && (format->alpha == DisplayFormat::AlphaAlways
            || (format->alpha == DisplayFormat::AlphaWhenAsked
                && (options.alphaMask || options.transparent.isValid())));
}

CHeader startDisplayHeader(QSize size, const EncodingOptions &options, const QVector<QByteArray> &drawing)
{
    return startHeader(size, options, drawing);
}

int declaredRowStride(const QByteArray &name, int rowBytes, const EncodingOptions &options, CHeader &header,
                      int unit)
{
    const int stride = rowStride(rowBytes, options, unit);
    if (options.strideAlign > 1 || options.compression == EncodingOptions::Rle)
        header.macros << qMakePair(name + "_stride", number(stride));
    if (options.strideAlign > 1) {
        header.commentLines << name + ": rows of " + number(stride) + " bytes (--stride-align "
                + number(options.strideAlign) + "), padded with zeros.";
    }
    return stride;
}

CArray displayRowArray(const QByteArray &name, const QByteArray &rows, int rowBytes,
                       const EncodingOptions &options, CHeader &header)
{
    return rowArray(name, rows, rowBytes, options, header);
}
