#pragma once

#include "display_formats.h"

// The 1-bit formats: a pixel lit where its luminance reaches --threshold (reversed with
// --invert), dithered or not, each array drawn by the libraries' bitmap functions.
//
//   mono   rows of bits, the leftmost pixel in the highest bit (Adafruit GFX's drawBitmap)
//   xbm    rows of bits, the leftmost pixel in the lowest bit (u8g2's drawXBM, XBM files)
//   pages  the SSD1306's and SH1106's pages: 8 rows a byte, bit 0 at the top, the byte of page p
//          and column x at p * W + x, copied into the libraries' buffers
//
// Each row (each page) is padded as --stride-align asks, or coded by run length with --compress
// rle; the drawing lines then decode a row or a page at a time.
EncodedPicture encodeMono(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodeXbm(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodePages(PreparedPicture picture, const EncodingOptions &options);
