#pragma once

#include "display_options.h"

#include <QImage>
#include <QRect>
#include <QSize>

// The shape a picture takes for its screen, in this order: a rectangle of it cut out, turned by
// quarter turns clockwise, mirrored, fitted to a size (within it, over it, or to it exactly),
// then placed on a canvas. Cutting, turning and mirroring move whole pixels; only fitting
// resamples.

// The most that shaping may take: the shaped picture at 4 bytes a pixel (the 32-bit colours every
// picture passes through), or the larger one Cover scales to before it cuts, times the frames of
// an animation. The decoded picture's bound (maxDecodedBytes): a small picture on a huge canvas,
// or enlarged to a huge size, may not claim gigabytes either.
constexpr qint64 maxShapedBytes = qint64(256) << 20;

// Why the options cannot shape `frames` pictures of `size`, in French: a rectangle that leaves
// it, or a shape that would take more than maxShapedBytes, told with the option that makes it
// so large; empty when they can.
QString geometryProblem(QSize size, const DisplayOptions &options, int frames = 1);

// The picture cut, turned and mirrored as the options say; std::bad_alloc when memory is short.
QImage cutTurnedAndMirrored(QImage picture, const DisplayOptions &options);

// The size of a picture of `size` once cut and turned.
QSize orientedSize(QSize size, const DisplayOptions &options);

// The size a picture of `size` takes once fitted within `bounds`: never larger than it was, and
// never empty. An invalid `bounds` keeps it.
QSize fittedSize(QSize size, QSize bounds);

// The size a picture of (oriented) `size` is scaled to, before Cover cuts what overflows.
QSize scaledSize(QSize size, const DisplayOptions &options);

// The part of a picture scaled to `scaled` that is kept: what overflows the fitting size is cut
// around the gravity in Cover mode; all of it otherwise.
QRect keptPart(QSize scaled, const DisplayOptions &options);

// Where a picture of `inner` size goes in one of `outer` size, at the gravity. Where it is
// centred, the middle of the one is put on the middle of the other, each rounded down, as
// ImageMagick's -gravity center -extent puts it: an odd margin, or an odd cut, falls left or right
// as the two lengths' parities say.
QPoint placedAt(QSize inner, QSize outer, Qt::Alignment gravity);

// The size of a picture of `size` once shaped: cut, turned, fitted and on its canvas.
QSize shapedSize(QSize size, const DisplayOptions &options);

// The size a picture of `size` (as decoded, before any cut or turn) is scaled to as a whole,
// for decoders that can decode smaller; QSize() when it is not scaled down, or when a rectangle
// is cut out of it, which must be cut in the picture's own pixels.
QSize wholeScaledSize(QSize size, const DisplayOptions &options);
