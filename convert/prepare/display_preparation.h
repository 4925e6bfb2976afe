#pragma once

#include "allocation.h"
#include "display_options.h"
#include "picture_geometry.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>

// A picture fitted and laid onto its background, before any reduction: its colours, opaque
// (Format_RGB32), and, when it had an alpha channel and it was asked for, that alpha apart
// (Format_Alpha8), for formats that keep transparency.
struct PreparedPicture
{
    QImage colours;
    QImage alpha; // null: opaque, or not asked for
    // Whether `colours` are each pixel's own, laid onto nothing: the alpha was kept and no
    // background asked for.
    bool straight = false;
    // Whether pixels that were not opaque are, or will be shown, laid onto black, no background
    // being asked for: what likely made a dark icon on transparency all dark.
    bool transparentOnBlack = false;
};

// Shapes (fitting smoothly) and lays the picture onto the background, then changes its tone, as the
// options say. A picture that is not shared is worked on in place. Throws std::bad_alloc when memory
// is short; the options' geometryProblem() bounds what it takes beforehand. `fullSize`, when given,
// is the picture's own size, when it was decoded smaller: the fitted size is the one of that size.
PreparedPicture preparePicture(QImage picture, const DisplayOptions &options, bool keepAlpha = false,
                               QSize fullSize = QSize());

// The prepared colours as a display without transparency shows them: straight colours laid onto
// black as the window lays them, others as they are.
QImage opaqueColours(PreparedPicture picture);

// The prepared colours as 16-bit 5-6-5 pixels (QImage::Format_RGB16), dithered or cut; cut, or
// dithered by Floyd-Steinberg, in place when they are not shared.
QImage reduceTo565(QImage colours, Dithering dither);

// Both steps: the picture as 16-bit 5-6-5 pixels.
QImage prepareForDisplay(QImage picture, const DisplayOptions &options);

// The picture as 16-bit 5-6-5 pixels. Colours are taken as a display shows them: a picture with
// an alpha channel is first blended onto black (premultiplied), as QPixmap does, so fully
// transparent areas come out black. A picture that is not shared is converted in place. A null
// picture when memory is short, as the window has always taken it.
QImage toRgb565(QImage picture);
