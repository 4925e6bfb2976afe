#pragma once

#include "display_formats.h"

// The palette formats, as TFT_eSPI draws them: NAME_palette, 5-6-5 entries (chosen for the
// picture, or given by --palette and followed by 0x0000 entries), then each pixel the index of its
// nearest entry, dithered or not.
//
//   index4  16 colours, two pixels a byte, the left one in the high 4 bits; the palette stays in
//           the microcontroller's order whatever --swap-bytes, as pushImage sends it itself
//   index8  256 colours, a byte a pixel; the palette's entries swapped with --swap-bytes, since
//           its drawing line looks each row up into 5-6-5 values that pushPixels sends
EncodedPicture encodeIndex4(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodeIndex8(PreparedPicture picture, const EncodingOptions &options);
