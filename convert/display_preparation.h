#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

// How a picture is made ready for a small display before its reduction to 5-6-5: scaled down
// to fit it, laid onto a background, and dithered. The defaults change nothing: the result is
// then the window's.
struct DisplayOptions
{
    QSize fit; // scaled down (never up), keeping its proportions, to fit within this; invalid: kept
    QColor background = Qt::black; // what transparent and translucent pixels are blended onto
    bool dither = false; // Floyd-Steinberg error diffusion instead of cutting the low bits
};

// The picture as 16-bit 5-6-5 pixels (QImage::Format_RGB16), prepared as the options say:
// fitted (smoothly), then blended onto the background, then reduced, dithered or not. A
// picture that is not shared is worked on in place.
QImage prepareForDisplay(QImage picture, const DisplayOptions &options);
