#include "one_bit_formats.h"

#include "display_format_parts.h"
#include "rle_arrays.h"

namespace {

// Lit pixels, one byte each: 1 when lit, noted in `encoded` when they are all alike. The colours
// are let go.
QImage litPixels(PreparedPicture &picture, const EncodingOptions &options, EncodedPicture &encoded)
{
    QImage lit = storedGreyLevels(picture.colours, 2, options.pixels.threshold, options);
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
    encoded.header = startDisplayHeader(lit.size(), options, drawing);
    encoded.header.arrays << displayRowArray(options.header.arrayName, packLevels(lit, {1, leftmostLowest}),
                                             (lit.width() + 7) / 8, options.arrays, encoded.header);
    encoded.shown = shownGreyLevels(std::move(lit), 2, options);
    return encoded;
}

// What the two u8g2 lines are for.
const char u8g2Kinds[] = "(u8g2: its C API; U8g2lib: its U8G2 class, on Arduino.)";

} // namespace

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
        << (options.arrays.compression == ArrayLayout::Rle
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
    const QByteArray pageStart = options.arrays.strideAlign > 1 ? "p * NAME_stride" : "p * NAME_width";
    QVector<QByteArray> drawing;
    if (options.arrays.compression == ArrayLayout::Rle) {
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
    encoded.header = startDisplayHeader(lit.size(), options, drawing);
    encoded.header.arrays << displayRowArray(options.header.arrayName, bytes, width, options.arrays,
                                             encoded.header);
    encoded.shown = shownGreyLevels(std::move(lit), 2, options);
    return encoded;
}
