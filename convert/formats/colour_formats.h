#pragma once

#include "display_formats.h"

#include <QString>

// The colour layouts of 8, 12, 18 and 24 bits a pixel, beside 5-6-5: each pixel's red, green and
// blue cut to the layout's high bits (or, dithered, reduced to its nearest levels in the way
// --dither-method says: Floyd-Steinberg, Atkinson or Bayer's matrix), then laid out in the order
// the panel takes them, red first, or blue first with --color-order bgr (the channel that comes
// first takes the first channel's bits, in rgb332 the three high ones).
//
//   rgb332  uint8_t NAME[W*H]: a byte a pixel, the first channel in bits 7-5, green in 4-2, the
//           last in 1-0
//   rgb444  uint8_t NAME[(W*H*3+1)/2]: the 12-bit pixel stream of ST7735 and ST7789 (COLMOD
//           0x03), two pixels in three bytes, R0G0 B0R1 G1B1 (4 bits each, high nibble first), the
//           rows one after the other; an odd number of pixels ends with a zero nibble
//   rgb666  uint8_t NAME[W*H*3]: three bytes a pixel, each channel's 6 bits in its high bits, as an
//           ILI9488 takes them over SPI
//   rgb888  uint8_t NAME[W*H*3]: three bytes a pixel
//
// The levels are written over the prepared picture's own memory, then the array's bytes over
// them; what the display shows is drawn from the array, so that no second picture is held.
// With --compress rle, the array is coded by runs of pixels (of rgb332's bytes, of rgb444's pairs
// of pixels, three bytes each) as NAME_rle (rle_arrays.h), and the drawing lines decode it a row,
// or 48 bytes of rgb444's stream, at a time.
EncodedPicture encodeRgb332(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodeRgb444(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodeRgb666(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodeRgb888(PreparedPicture picture, const EncodingOptions &options);

// rgb888 keeps each colour as it is: --dither and --dither-method, which would have nothing to
// reduce, are refused.
QString rgb888OptionsProblem(EncodingOptions *options, const GivenOptions &given);

// What the display shows of the array of colour layout `format` (rgb332, rgb444, rgb666 or rgb888)
// holding `bytes`, rows of `stride` bytes (rgb444's stream has none), drawn as the encoder draws its
// preview; null for another format. The bytes must hold colourLayoutBytes().
PictureRows colourLayoutShown(const QByteArray &format, const QByteArray &bytes, QSize size, int stride,
                              bool bgr);
// The bytes of that array, and of one unpadded row.
qint64 colourLayoutBytes(const QByteArray &format, QSize size, int stride);
int colourLayoutRowBytes(const QByteArray &format, int width);
