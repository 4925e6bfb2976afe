#pragma once

#include <QImage>

#include <array>

// The tone controls: a picture's brightness, contrast and gamma changed once it is shaped and laid
// onto its background, before the format reduces it to its levels. Each of red, green and blue
// goes through the same curve, v (0 to 1) taken, in this order:
// - brightness B and contrast C (-100 to 100) as ImageMagick's -brightness-contrast BxC: the line
//   of slope s = tan(pi (C/100 + 1) / 4) (0 when negative) through ((1 - b)/2, (1 + b)/2), where
//   b = B/100, so v becomes s (v - (1 - b)/2) + (1 + b)/2, kept within 0 to 1. 0 and 0 change
//   nothing; C = 100 leaves black below the middle and white above, C = -100 a flat grey;
// - gamma G (0.1 to 10) as ImageMagick's -gamma G: v becomes v^(1/G), G > 1 lighter, 1 the same;
// then v is rounded to the nearest of the 256 levels, halves up.
struct Tone
{
    int brightness = 0;
    int contrast = 0;
    double gamma = 1;

    bool changesNothing() const { return brightness == 0 && contrast == 0 && gamma == 1; }
};

// The value each of the 256 levels becomes.
std::array<uchar, 256> toneCurve(const Tone &tone);

// The tone changed in place, in a picture of Format_RGB32 that is not shared; the highest byte of
// each pixel kept.
void applyTone(QImage &colours, const Tone &tone);
