#include "indexed_formats.h"

#include "display_format_parts.h"
#include "palette.h"
#include "pixel_packing.h"
#include "rle_arrays.h"

#include <algorithm>

namespace {

// Palette pictures: the palette chosen for the picture, each pixel its nearest entry.
EncodedPicture encodeIndexed(PreparedPicture picture, const EncodingOptions &options, int paletteSize)
{
    const int width = picture.colours.width(), height = picture.colours.height();
    int pictureColours = 0;
    IndexedPicture indexed = indexPixels(picture.colours,
                                         options.pixels.palette.isEmpty()
                                             ? choosePalette(picture.colours, paletteSize, &pictureColours)
                                             : options.pixels.palette,
                                         options.display.dither);
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
    const bool swapped = eightBits && options.pixels.swapBytes;
    const QByteArray rows = "for (int32_t r = 0; r < NAME_height; r++) {";
    const QByteArray lookUp = " uint16_t row[NAME_width]; for (int32_t c = 0; c < NAME_width; c++) row[c] = "
                              "NAME_palette[";
    const QByteArray push = "]; tft.pushPixels(row, NAME_width);";
    const QByteArray eightBitRows = options.arrays.compression == ArrayLayout::Rle
        ? codedReads({codedRow("indices")}, rows, lookUp.mid(1) + "indices[c]" + push)
        : rows + lookUp + "NAME[r * {step} + c]" + push + " }";
    encoded.header = startDisplayHeader(
        QSize(width, height), options,
        {eightBits
             ? QByteArray("TFT_eSPI: tft.setSwapBytes(") + (swapped ? "false" : "true")
                 + "); tft.startWrite(); tft.setAddrWindow(x, y, NAME_width, NAME_height); " + eightBitRows
                 + " tft.endWrite();"
             : QByteArray("TFT_eSPI: {bands}tft.pushImage(x, {y}, NAME_width, {h}, {NAME}, false, (uint16_t "
                          "*)NAME_palette);")});
    if (!eightBits && options.pixels.swapBytes)
        encoded.header.commentLines << "The palette stays in the microcontroller's order: TFT_eSPI sends it "
                                       "high byte first itself.";
    if (options.pixels.paletteOfFrames)
        encoded.header.commentLines << options.header.arrayName
                + "_palette: one palette chosen for all the frames of the animation.";
    else if (!options.pixels.palette.isEmpty())
        encoded.header.commentLines << options.header.arrayName + "_palette: the "
                + QByteArray::number(options.pixels.palette.size()) + " colours given by --palette"
                + (options.pixels.palette.size() < paletteSize
                       ? ", followed by 0x0000 entries that no pixel uses."
                       : ".");
    palette.resize(paletteSize);
    if (options.pixels.bgr) // the colours shown stay as they are
        std::transform(palette.begin(), palette.end(), palette.begin(), swapRedBlue565);
    CArray paletteArray;
    paletteArray.type = CArray::Uint16;
    paletteArray.name = options.header.arrayName + "_palette";
    paletteArray.size = QByteArray::number(paletteSize);
    paletteArray.data = QByteArray(paletteSize * 2, Qt::Uninitialized);
    put565Row(palette.constData(), paletteSize, swapped, paletteArray.data.data());
    encoded.header.arrays << paletteArray
                          << displayRowArray(
                                 options.header.arrayName,
                                 packRows(indices.constData(), width, width, height, {eightBits ? 8 : 4}),
                                 eightBits ? width : (width + 1) / 2, options.arrays, encoded.header);
    return encoded;
}

} // namespace

EncodedPicture encodeIndex4(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeIndexed(std::move(picture), options, 16);
}

EncodedPicture encodeIndex8(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeIndexed(std::move(picture), options, 256);
}
