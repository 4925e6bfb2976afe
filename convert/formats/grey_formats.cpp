#include "grey_formats.h"

#include "display_format_parts.h"
#include "rle_arrays.h"

EncodedPicture encodeGray8(PreparedPicture picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    QImage levels = storedGreyLevels(picture.colours, 256, 0, options);
    picture = PreparedPicture();
    encoded.header = startDisplayHeader(
        levels.size(), options,
        {"Adafruit GFX: {rows}canvas.drawGrayscaleBitmap(x, {y}, {NAME}, NAME_width, {h});"});
    encoded.header.arrays << displayRowArray(options.header.arrayName, packLevels(levels, {8}),
                                             levels.width(), options.arrays, encoded.header);
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
    if (options.arrays.compression == ArrayLayout::Rle)
        copy += codedReads({codedRow("row")}, rows + '{',
                           "memcpy" + intoBuffer + "row, (NAME_width + 1) / 2);");
    else
        copy += rows + "memcpy_P" + intoBuffer + "NAME + r * "
            + (options.arrays.strideAlign > 1 ? "NAME_stride" : "((NAME_width + 1) / 2)")
            + ", (NAME_width + 1) / 2);";
    encoded.header = startDisplayHeader(
        levels.size(), options,
        {copy,
         "x even, the picture wholly on the screen (rotation 0); with an odd width, the pixel right of "
         "each row is cleared.",
         "SSD1322, SSD1327: two pixels a byte, the left one in the high 4 bits."});
    encoded.header.arrays << displayRowArray(options.header.arrayName, packLevels(levels, {4}),
                                             (levels.width() + 1) / 2, options.arrays, encoded.header);
    encoded.shown = shownGreyLevels(std::move(levels), 16, options);
    return encoded;
}
