#pragma once

#include "display_formats.h"

// The grey formats of OLED panels, each pixel its nearest level by luminance (dithered or not),
// 0 black, reversed with --invert:
//
//   gray8  a byte a pixel, 256 levels (Adafruit GFX's drawGrayscaleBitmap)
//   gray4  two pixels a byte, 16 levels, the left one in the high 4 bits, as the SSD1322's and
//          SSD1327's buffers hold them
//
// (gray2, the e-paper panels' four greys, is in epaper_formats.h.)
EncodedPicture encodeGray8(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodeGray4(PreparedPicture picture, const EncodingOptions &options);
