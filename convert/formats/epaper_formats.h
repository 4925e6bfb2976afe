#pragma once

#include "display_formats.h"

// Formats of e-paper panels: four greys, the two planes of black, white and red (or yellow)
// panels, the seven colours of ACeP panels, the four inks of black, white, yellow and red panels
// and the six of Spectra 6 panels. Each pixel goes to the panel's nearest colour,
// the error diffused with --dither.

// Four greys by luminance, four pixels a byte, the leftmost in the two highest bits: 0 black
// to 3 white, reversed with --invert.
EncodedPicture encodeGray2(PreparedPicture picture, const EncodingOptions &options);

// Two planes laid out as `mono`, NAME_black and NAME_red (or NAME_yellow): in each, a bit 0
// where the panel puts that ink, 1 elsewhere (white), as GxEPD2's drawImage and Waveshare's
// Display functions take them. Bits beyond the width are 1.
EncodedPicture encodeEpdBlackWhiteRed(PreparedPicture picture, const EncodingOptions &options);
EncodedPicture encodeEpdBlackWhiteYellow(PreparedPicture picture, const EncodingOptions &options);

// Seven-colour ACeP panels: two pixels a byte, the left one in the high nibble, each the
// panel's code of its colour (0 black, 1 white, 2 green, 3 blue, 4 red, 5 yellow, 6 orange),
// chosen by the colours the panel really shows. A row of odd width ends with a white nibble.
EncodedPicture encodeEpd7(PreparedPicture picture, const EncodingOptions &options);

// Black, white, yellow and red panels (Waveshare's G): four pixels a byte, the leftmost in the
// two highest bits, each the panel's code of its ink (0 black, 1 white, 2 yellow, 3 red), chosen
// by the colours the panel really shows. Each row ends with whites up to a whole byte.
EncodedPicture encodeEpdBlackWhiteYellowRed(PreparedPicture picture, const EncodingOptions &options);

// Spectra 6 panels (Waveshare's E): two pixels a byte, the left one in the high nibble, each the
// panel's code of its ink (0 black, 1 white, 2 yellow, 3 red, 5 blue, 6 green), chosen by the
// colours the panel really shows. A row of odd width ends with a white nibble.
EncodedPicture encodeEpdSpectra6(PreparedPicture picture, const EncodingOptions &options);

// What a panel of epd7, epd-bwry or epd-spectra6 shows for each code its array may hold, by code
// (16 entries; 0, no colour at all, for a code that is none of its inks): the colours the encoder
// chooses by and the preview shows. Empty for the other formats.
QVector<QRgb> inkCodeColours(const QByteArray &format);
