#include "epaper_formats.h"

#include "display_format_parts.h"
#include "dithering.h"
#include "pixel_packing.h"
#include "rle_arrays.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

// The lines of a header's comment that say how to draw its arrays.
using DrawingLines = QVector<QByteArray>;

// The "redmean" distance: squared differences of red, green and blue weighed as the eye
// tells them apart, red counting more among reds and blue among blues. Cheap, and nearer to
// what is seen than plain RGB distance, which finds dark blues and greens too near black.
int colourDistance(const int *wanted, QRgb candidate)
{
    const int meanRed = (wanted[0] + qRed(candidate)) / 2;
    const int dr = wanted[0] - qRed(candidate), dg = wanted[1] - qGreen(candidate),
              db = wanted[2] - qBlue(candidate);
    return ((512 + meanRed) * dr * dr >> 8) + 4 * dg * dg + ((767 - meanRed) * db * db >> 8);
}

// Each pixel, rows top first, the index of its nearest panel colour, the error diffused or
// not. The colours are let go once read; `shown`, when given, then receives the panel's colours.
QVector<quint8> nearestPanelColours(QImage colours, const QVector<QRgb> &panel, Dithering dither,
                                    QImage *shown)
{
    const int width = colours.width(), height = colours.height();
    QVector<quint8> result(width * height);
    // The answers worked out so far, each in the slot its colour hashes to: the colour in the
    // high 24 bits, its entry in the low 8. Photos repeat colours; a collision only costs a search.
    constexpr quint32 empty = 0xffffffff; // no panel has 256 colours
    std::vector<quint32> answers(1 << 16, empty);
    const std::array<OrderedSpread, 3> spread = spreadOfPalette(panel);
    reducePixels<3>(
        width, height, dither, spread, rgbChannelsOf(colours),
        [&](const int *values, int *shownValues) {
            const quint32 key = quint32(values[0] << 16 | values[1] << 8 | values[2]);
            quint32 &answer = answers[(key * 2654435761u) >> 16];
            int best = 0;
            if (answer >> 8 == key && answer != empty) {
                best = int(answer & 0xff);
            } else {
                int bestDistance = INT_MAX;
                for (int i = 0; i < panel.size(); ++i) {
                    const int distance = colourDistance(values, panel[i]);
                    if (distance < bestDistance) {
                        bestDistance = distance;
                        best = i;
                    }
                }
                answer = key << 8 | quint32(best);
            }
            shownValues[0] = qRed(panel[best]);
            shownValues[1] = qGreen(panel[best]);
            shownValues[2] = qBlue(panel[best]);
            return best;
        },
        [&](int x, int y, int index) { result[y * width + x] = quint8(index); });
    colours = QImage();
    if (!shown)
        return result;
    *shown = allocated(QImage(width, height, QImage::Format_RGB32));
    const quint8 *index = result.constData();
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(shown->scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = panel[*index++];
    }
    return result;
}

// Whether every pixel of the picture is white (Format_RGB32).
bool allWhite(const QImage &colours)
{
    for (int y = 0; y < colours.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(colours.constScanLine(y));
        if (std::any_of(line, line + colours.width(),
                        [](QRgb pixel) { return (pixel & 0xffffff) != 0xffffff; }))
            return false;
    }
    return true;
}

// Where an encoder's `shown` goes, or nowhere when the job's files need none.
QImage *shownOrNull(const EncodingOptions &options, EncodedPicture *encoded)
{
    return options.shown == EncodingOptions::NotShown ? nullptr : &encoded->shown;
}

// The arrays are in an AVR's program memory: GxEPD2 reads them there with its pgm flag (and
// reads plain memory with it where the chip has no such memory).
const char gxepd2Flags[] = "false, false, true";

// Waveshare's C library reads its images through plain pointers, which reach a 32-bit board's
// flash but not an AVR's program memory; its Arduino classes read program memory, through an
// object of their class Epd.
const char waveshareMemory[] = "Waveshare's C library reads plain memory, where 32-bit boards keep these "
                               "arrays; on an AVR, its Arduino classes read program memory (Epd epd;).";

// Coded by run length, the arrays are decoded into memory: a band at a time for GxEPD2, which then
// refreshes the panel once, whole for Waveshare's libraries, which take only whole pictures.
const char waveshareCoded[] = "Waveshare's Arduino classes read whole pictures from program memory only, "
                              "where coded arrays cannot be read: on an AVR, GxEPD2 draws them a band at a "
                              "time.";
const char gxepd2Refresh[] = "display.refresh(x, y, NAME_width, NAME_height);";

bool coded(const EncodingOptions &options)
{
    return options.arrays.compression == ArrayLayout::Rle;
}

// A plane of rows, read a band at a time into `buffer`, or whole.
CodedBuffer bandOf(const QByteArray &array, const QByteArray &buffer)
{
    return {array, "uint8_t " + buffer + '[' + array + "_stride * " + QByteArray::number(codedBandRows) + ']',
            buffer, "n * " + array + "_stride"};
}
CodedBuffer wholeOf(const QByteArray &array, const QByteArray &buffer)
{
    return {array, "static UBYTE " + buffer + '[' + array + "_size]", buffer, "sizeof " + buffer};
}

// Black, white and a colour in two planes, 0 where the ink goes.
// `waveshare`: the Display function of one of Waveshare's panels of that ink.
EncodedPicture encodeTwoPlanes(PreparedPicture picture, const EncodingOptions &options, QRgb ink,
                               const QByteArray &inkName, const QByteArray &waveshare)
{
    enum { White, Black, Ink };
    EncodedPicture encoded;
    const int width = picture.colours.width(), height = picture.colours.height();
    const bool white = allWhite(picture.colours);
    const QVector<quint8> chosen
        = nearestPanelColours(std::move(picture.colours), {qRgb(255, 255, 255), qRgb(0, 0, 0), ink},
                              options.display.dither, shownOrNull(options, &encoded));
    // 0 where the ink goes, 1 elsewhere and past the width.
    const int rowBytes = packedRowBytes(width, 1);
    QByteArray black(rowBytes * height, Qt::Uninitialized), colour(rowBytes * height, Qt::Uninitialized);
    std::vector<uchar> blackRow(static_cast<size_t>(width)), colourRow(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            blackRow[size_t(x)] = chosen[y * width + x] == Black ? 0 : 1;
            colourRow[size_t(x)] = chosen[y * width + x] == Ink ? 0 : 1;
        }
        packRow(blackRow.data(), width, {1, false, 1}, black.data() + y * rowBytes);
        packRow(colourRow.data(), width, {1, false, 1}, colour.data() + y * rowBytes);
    }
    const QByteArray plane = "NAME_" + inkName;
    const DrawingLines drawing = coded(options)
        ? DrawingLines {"GxEPD2 (GxEPD2_3C, x a multiple of 8): "
                            + codedReads({bandOf("NAME_black", "black"), bandOf(plane, inkName)},
                                         codedBandLoop,
                                         "display.writeImage(black, " + inkName
                                             + ", x, y + r, NAME_width, n, false, false, false);",
                                         gxepd2Refresh),
                        "Waveshare C library (a picture of the screen's size, decoded whole into RAM): "
                            + codedReads({wholeOf("NAME_black", "black"), wholeOf(plane, inkName)}, "",
                                         waveshare + "(black, " + inkName + ");")
                            + " or the screen's own Display function.",
                        waveshareCoded}
        : DrawingLines {"GxEPD2 (GxEPD2_3C, x a multiple of 8): display.drawImage(NAME_black, " + plane
                            + ", x, y, NAME_width, NAME_height, " + gxepd2Flags + ");",
                        "Waveshare C library (a picture of the screen's size): " + waveshare + "(NAME_black, "
                            + plane + "); or the screen's own Display function.",
                        "Waveshare Arduino (a picture of the screen's size): epd.DisplayFrame(NAME_black, "
                            + plane + ");",
                        waveshareMemory};
    encoded.header = startDisplayHeader(
        QSize(width, height), options,
        DrawingLines {"In each plane, as GxEPD2 and Waveshare expect them: 0 where the ink goes, 1 white "
                      "(and beyond the width)."}
            + drawing);
    encoded.header.arrays << displayRowArray(options.header.arrayName + "_black", black, rowBytes,
                                             options.arrays, encoded.header)
                          << displayRowArray(options.header.arrayName + "_" + inkName, colour, rowBytes,
                                             options.arrays, encoded.header);
    // A plane without ink, in a picture that is not all white.
    const std::pair<quint8, QByteArray> planes[] = {{Black, "_black"}, {Ink, "_" + inkName}};
    for (const auto &[plane, suffix] : planes) {
        if (!white && !chosen.contains(plane))
            encoded.uniform << UniformArray {options.header.arrayName + suffix, UniformArray::NoInk, true};
    }
    return encoded;
}

// Each pixel the code of the panel's nearest ink, `colours` the inks as the panel shows them and
// `codes` their codes, packed `bitsPerPixel` to a byte, the leftmost pixel highest, each row
// ending with white (code 1 on each of these panels) up to a whole byte. `drawing`: the header's lines.
EncodedPicture encodeInkCodes(PreparedPicture picture, const EncodingOptions &options,
                              const QVector<QRgb> &colours, const QVector<quint8> &codes, int bitsPerPixel,
                              const QVector<QByteArray> &drawing)
{
    EncodedPicture encoded;
    const int width = picture.colours.width(), height = picture.colours.height();
    QVector<quint8> chosen = nearestPanelColours(std::move(picture.colours), colours, options.display.dither,
                                                 shownOrNull(options, &encoded));
    for (quint8 &ink : chosen)
        ink = codes[ink];
    constexpr quint8 white = 1; // the code of white on every such panel
    const QByteArray bytes = packRows(chosen.constData(), width, width, height, {bitsPerPixel, false, white});
    encoded.header = startDisplayHeader(QSize(width, height), options, drawing);
    encoded.header.arrays << displayRowArray(
        options.header.arrayName, bytes, packedRowBytes(width, bitsPerPixel), options.arrays, encoded.header);
    return encoded;
}

const QVector<QRgb> &acepInks()
{
    // The colours an ACeP panel shows, in the order of its codes: those measured on the 5.65-inch
    // 600 x 448 panel (UC8159) by Pimoroni, SATURATED_PALETTE of their Inky library
    // (inky_uc8159.py). Pure RGB colours would send most of a photo to black and white.
    static const QVector<QRgb> colours = {
        qRgb(57, 48, 57), // 0 black
        qRgb(255, 255, 255), // 1 white
        qRgb(58, 91, 70), // 2 green
        qRgb(61, 59, 94), // 3 blue
        qRgb(156, 72, 75), // 4 red
        qRgb(208, 190, 71), // 5 yellow
        qRgb(177, 106, 73), // 6 orange
    };
    return colours;
}

const QVector<QRgb> &bwryInks()
{
    // The colours a black, white, yellow and red panel shows, in the order of its codes: those
    // Pimoroni measured on its 2.13-inch 250 x 122 panel of these inks (JD79661, the size of
    // Waveshare's 2.13-inch G), SATURATED_PALETTE of their Inky library (inky_jd79661.py): black
    // 13, 13, 13, white 71, 71, 71, yellow 81, 62, 10 and red 42, 13, 10, taken in dim light;
    // here each channel scaled by 255 / 71 so that the panel's white is white (at most 255),
    // as the eye takes it.
    static const QVector<QRgb> colours = {
        qRgb(47, 47, 47), // 0 black
        qRgb(255, 255, 255), // 1 white
        qRgb(255, 223, 36), // 2 yellow
        qRgb(151, 47, 36), // 3 red
    };
    return colours;
}

const QVector<QRgb> &spectra6Inks()
{
    // The colours a Spectra 6 panel shows, in the order of its inks: the calibration that
    // paperlesspaper measured for its 7.3-inch Spectra 6 frames, the "spectra6" palette of their
    // epdoptimize library (default-palettes.json). The panel's codes skip 4, orange on ACeP panels.
    static const QVector<QRgb> colours = {
        qRgb(25, 30, 33), // black, code 0
        qRgb(232, 232, 232), // white, 1
        qRgb(239, 222, 68), // yellow, 2
        qRgb(178, 19, 24), // red, 3
        qRgb(33, 87, 186), // blue, 5
        qRgb(18, 95, 32), // green, 6
    };
    return colours;
}

} // namespace

EncodedPicture encodeGray2(PreparedPicture picture, const EncodingOptions &options)
{
    EncodedPicture encoded;
    QImage levels = storedGreyLevels(picture.colours, 4, 0, options);
    picture = PreparedPicture();
    const int rowBytes = packedRowBytes(levels.width(), 2);
    const QByteArray bytes = packLevels(levels, {2});
    QVector<QByteArray> lines {QByteArray("Four pixels a byte, the leftmost in the high 2 bits; ")
                               + (options.pixels.invert ? "0 white, 1 and 2 grey, 3 black (--invert)."
                                                        : "0 black, 1 and 2 grey, 3 white.")};
    if (coded(options)) {
        lines << "Waveshare C library, 4 greys (a picture of the screen's size, decoded whole into RAM): "
                + codedReads({wholeOf("NAME", "image")}, "", "EPD_4IN2_4GrayDisplay(image);")
              << waveshareCoded;
    } else {
        lines
            << "Waveshare C library, 4 greys (a picture of the screen's size): EPD_4IN2_4GrayDisplay(NAME);";
        // The Arduino class reads the rows one right after the other, 8 pixels at a time.
        if (options.arrays.strideAlign == 1)
            lines << "Waveshare Arduino 4.2 inches, 4 greys (x and the width multiples of 8): "
                     "epd.Set_4GrayDisplay((const char *)NAME, x, y, NAME_width, NAME_height);";
        lines << waveshareMemory;
    }
    encoded.header = startDisplayHeader(levels.size(), options, lines);
    encoded.header.arrays << displayRowArray(options.header.arrayName, bytes, rowBytes, options.arrays,
                                             encoded.header);
    encoded.shown = shownGreyLevels(std::move(levels), 4, options);
    return encoded;
}

EncodedPicture encodeEpdBlackWhiteRed(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeTwoPlanes(std::move(picture), options, qRgb(255, 0, 0), "red", "EPD_2IN13B_V4_Display");
}

EncodedPicture encodeEpdBlackWhiteYellow(PreparedPicture picture, const EncodingOptions &options)
{
    return encodeTwoPlanes(std::move(picture), options, qRgb(255, 255, 0), "yellow", "EPD_2IN13BC_Display");
}

EncodedPicture encodeEpd7(PreparedPicture picture, const EncodingOptions &options)
{
    const QVector<QRgb> &measured = acepInks();
    const QByteArray layout
        = "Two pixels a byte, the left one in the high 4 bits: 0 black, 1 white, 2 green, "
          "3 blue, 4 red, 5 yellow, 6 orange; with an odd width, each row ends with a white.";
    const DrawingLines drawing = coded(options)
        ? DrawingLines {layout,
                        "GxEPD2 (GxEPD2_7C, x even): "
                            + codedReads({bandOf("NAME", "band")}, codedBandLoop,
                                         "display.writeNative(band, nullptr, x, y + r, NAME_width, n, "
                                         "false, false, false);",
                                         gxepd2Refresh),
                        "Waveshare C library 5.65 inches (an even width, decoded whole into RAM): "
                            + codedReads({wholeOf("NAME", "image")}, "",
                                         "EPD_5IN65F_Display_part(image, x, y, NAME_width, NAME_height);"),
                        "Waveshare C library 7.3 inches (a picture of 800 x 480, decoded whole into RAM): "
                            + codedReads({wholeOf("NAME", "image")}, "", "EPD_7IN3F_Display(image);"),
                        waveshareCoded}
        : DrawingLines {
            layout,
            "GxEPD2 (GxEPD2_7C, x even): display.drawNative(NAME, nullptr, x, y, NAME_width, NAME_height, "
                + QByteArray(gxepd2Flags) + ");",
            "Waveshare C library 5.65 inches (an even width): "
            "EPD_5IN65F_Display_part(NAME, x, y, NAME_width, NAME_height);",
            "Waveshare C library 7.3 inches (a picture of 800 x 480): EPD_7IN3F_Display((UBYTE *)NAME);",
            "Waveshare Arduino 5.65 inches (an even width): epd.EPD_5IN65F_Display_part(NAME, x, y, "
            "NAME_width, NAME_height);",
            "Waveshare Arduino 7.3 inches (an even width): epd.EPD_7IN3F_Display_part(NAME, x, y, "
            "NAME_width, NAME_height);",
            waveshareMemory};
    return encodeInkCodes(std::move(picture), options, measured, {0, 1, 2, 3, 4, 5, 6}, 4, drawing);
}

EncodedPicture encodeEpdBlackWhiteYellowRed(PreparedPicture picture, const EncodingOptions &options)
{
    const QVector<QRgb> &measured = bwryInks();
    const QByteArray layout
        = "Four pixels a byte, the leftmost in the high 2 bits: 0 black, 1 white, 2 yellow, "
          "3 red; each row ends with whites up to a whole byte.";
    const DrawingLines drawing = coded(options)
        ? DrawingLines {layout,
                        "GxEPD2 (GxEPD2_4C, x a multiple of 4): "
                            + codedReads({bandOf("NAME", "band")}, codedBandLoop,
                                         "display.writeNative(band, nullptr, x, y + r, NAME_width, n, "
                                         "false, false, false);",
                                         gxepd2Refresh),
                        "Waveshare C library 7.3 inches (a picture of 800 x 480, decoded whole into RAM): "
                            + codedReads({wholeOf("NAME", "image")}, "", "EPD_7IN3G_Display(image);")
                            + " or the screen's own, EPD_2IN13G_Display, EPD_3IN0G_Display, "
                              "EPD_4IN37G_Display...",
                        "Waveshare C library 7.3 inches, STM32 and Arduino R4 (x and the width multiples of "
                        "4, decoded "
                        "whole into RAM): "
                            + codedReads({wholeOf("NAME", "image")}, "",
                                         "EPD_7IN3G_Display_part(image, x, y, NAME_width, NAME_height);"),
                        waveshareCoded}
        : DrawingLines {
            layout,
            "GxEPD2 (GxEPD2_4C, x a multiple of 4): display.drawNative(NAME, nullptr, x, y, NAME_width, "
            "NAME_height, "
                + QByteArray(gxepd2Flags) + ");",
            "Waveshare C library 7.3 inches (a picture of 800 x 480): EPD_7IN3G_Display((UBYTE *)NAME); or "
            "the screen's own, EPD_2IN13G_Display, EPD_3IN0G_Display, EPD_4IN37G_Display...",
            "Waveshare C library 7.3 inches, STM32 and Arduino R4 (x and the width multiples of 4): "
            "EPD_7IN3G_Display_part((UBYTE *)NAME, x, y, NAME_width, NAME_height);",
            "Waveshare Arduino 7.3, 4.37 and 3 inches (x and the width multiples of 4): "
            "epd.Display_part((UBYTE *)NAME, x, y, NAME_width, NAME_height);",
            waveshareMemory};
    return encodeInkCodes(std::move(picture), options, measured, {0, 1, 2, 3}, 2, drawing);
}

EncodedPicture encodeEpdSpectra6(PreparedPicture picture, const EncodingOptions &options)
{
    const QVector<QRgb> &measured = spectra6Inks();
    const QByteArray layout
        = "Two pixels a byte, the left one in the high 4 bits: 0 black, 1 white, 2 yellow, "
          "3 red, 5 blue, 6 green; with an odd width, each row ends with a white.";
    const DrawingLines drawing = coded(options)
        ? DrawingLines {layout,
                        "GxEPD2 (GxEPD2_7C with GxEPD2_730c_GDEP073E01, x even; invert true sends the "
                        "panel's codes "
                        "unchanged): "
                            + codedReads({bandOf("NAME", "band")}, codedBandLoop,
                                         "display.writeNative(band, nullptr, x, y + r, NAME_width, n, true, "
                                         "false, false);",
                                         gxepd2Refresh),
                        "Waveshare C library 7.3 inches (a picture of 800 x 480, decoded whole into RAM): "
                            + codedReads({wholeOf("NAME", "image")}, "", "EPD_7IN3E_Display(image);")
                            + " or the screen's own, EPD_4IN0E_Display, EPD_13IN3E_Display.",
                        "Waveshare C library 7.3 inches, STM32 and Arduino R4 (x and the width even, "
                        "decoded whole into "
                        "RAM): "
                            + codedReads({wholeOf("NAME", "image")}, "",
                                         "EPD_7IN3E_DisplayPart(image, x, y, NAME_width, NAME_height);")}
        : DrawingLines {
            layout,
            // GDEP073E01's driver turns the codes of GxEPD2_7C's buffer (ACeP's) into the panel's
            // own unless told to invert: these are the panel's own.
            "GxEPD2 (GxEPD2_7C with GxEPD2_730c_GDEP073E01, x even; invert true sends the panel's codes "
            "unchanged): display.drawNative(NAME, nullptr, x, y, NAME_width, NAME_height, true, false, "
            "true);",
            "Waveshare C library 7.3 inches (a picture of 800 x 480): EPD_7IN3E_Display((UBYTE *)NAME); or "
            "the screen's own, EPD_4IN0E_Display, EPD_13IN3E_Display.",
            "Waveshare C library 7.3 inches, STM32 and Arduino R4 (x and the width even): "
            "EPD_7IN3E_DisplayPart(NAME, x, y, NAME_width, NAME_height);",
            "Waveshare's C library reads plain memory, where 32-bit boards keep these arrays."};
    return encodeInkCodes(std::move(picture), options, measured, {0, 1, 2, 3, 5, 6}, 4, drawing);
}

QVector<QRgb> inkCodeColours(const QByteArray &format)
{
    const auto byCode = [](const QVector<QRgb> &colours, const QVector<int> &codes) {
        QVector<QRgb> shown(16, 0);
        for (int i = 0; i < codes.size(); ++i)
            shown[codes[i]] = colours[i];
        return shown;
    };
    if (format == "epd7")
        return byCode(acepInks(), {0, 1, 2, 3, 4, 5, 6});
    if (format == "epd-bwry")
        return byCode(bwryInks(), {0, 1, 2, 3});
    if (format == "epd-spectra6")
        return byCode(spectra6Inks(), {0, 1, 2, 3, 5, 6});
    return {};
}
