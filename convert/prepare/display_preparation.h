#pragma once

#include "dithering.h"
#include "picture_geometry.h"
#include "tone.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>

// How a picture is made ready for a small display before its reduction to 5-6-5: shaped for
// the screen (picture_geometry.h), laid onto a background, its tone changed (tone.h), and
// dithered. The defaults change nothing: the result is then the window's.
struct DisplayOptions
{
    QRect crop; // the part of the picture kept; invalid: all of it
    int rotation = 0; // clockwise: 0, 90, 180 or 270 degrees
    bool flipHorizontal = false;
    bool flipVertical = false;
    QSize fit; // scaled to fit this as fitMode says; invalid: kept
    FitMode fitMode = FitMode::Contain;
    bool upscale = false; // Contain and Cover may enlarge a smaller picture
    Qt::Alignment gravity = Qt::AlignCenter; // where Cover cuts and the canvas places
    QSize canvas; // the picture placed on a canvas of exactly this size; invalid: none
    // What transparent and translucent pixels are blended onto. Without one (invalid), they are
    // taken as the window shows them: transparent ones black, translucent ones at their own
    // colour, rounded as premultiplied.
    QColor background;
    Tone tone; // brightness, contrast and gamma, once shaped and laid onto the background
    // How every reduction to the display's levels dithers (dithering.h): without, the low bits are
    // cut in 5-6-5, each pixel takes its nearest level or colour elsewhere.
    Dithering dither = Dithering::None;
};

// An allocation that fails throws std::bad_alloc, as Qt's containers and the standard library's
// do, through every step of the shaping and the encoding: a front end catches it once and tells
// that memory was short, rather than write what a null picture gives (empty arrays). A QImage that
// cannot be had is null instead: these throw for it.
QImage allocated(QImage picture);
void checkAllocated(const QImage &picture);

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

// The size a picture of `size` takes once fitted within `bounds`: never larger than it was, and
// never empty. An invalid `bounds` keeps it.
QSize fittedSize(QSize size, QSize bounds);

// Both steps: the picture as 16-bit 5-6-5 pixels.
QImage prepareForDisplay(QImage picture, const DisplayOptions &options);

// The picture as 16-bit 5-6-5 pixels. Colours are taken as a display shows them: a picture with
// an alpha channel is first blended onto black (premultiplied), as QPixmap does, so fully
// transparent areas come out black. A picture that is not shared is converted in place. A null
// picture when memory is short, as the window has always taken it.
QImage toRgb565(QImage picture);
