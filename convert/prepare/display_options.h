#pragma once

#include "dithering.h"
#include "tone.h"

#include <QColor>
#include <QRect>
#include <QSize>

// How a picture is fitted to a size (picture_geometry.h).
enum class FitMode {
    Contain, // within the size, keeping the proportions
    Cover, // exactly the size, enlarged or reduced to cover it, what overflows cut at the gravity
    Stretch // to the size exactly
};

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
