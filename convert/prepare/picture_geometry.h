#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

struct DisplayOptions;

// The shape a picture takes for its screen, in this order: a rectangle of it cut out, turned by
// quarter turns clockwise, mirrored, fitted to a size (within it, over it, or to it exactly),
// then placed on a canvas. Cutting, turning and mirroring move whole pixels; only fitting
// resamples.

enum class FitMode {
    Contain, // within the size, keeping the proportions
    Cover, // over the whole size, keeping the proportions, what overflows cut at the gravity
    Stretch // to the size exactly
};

// Why the options cannot shape a picture of `size` (a rectangle that leaves it), in French;
// empty when they can.
QString geometryProblem(QSize size, const DisplayOptions &options);

// The picture cut, turned and mirrored as the options say.
QImage cutTurnedAndMirrored(QImage picture, const DisplayOptions &options);

// The size of a picture of `size` once cut and turned.
QSize orientedSize(QSize size, const DisplayOptions &options);

// The size a picture of (oriented) `size` is scaled to, before Cover cuts what overflows.
QSize scaledSize(QSize size, const DisplayOptions &options);

// The part of a picture scaled to `scaled` that is kept: what overflows the fitting size is cut
// around the gravity in Cover mode; all of it otherwise.
QRect keptPart(QSize scaled, const DisplayOptions &options);

// Where a picture of `inner` size goes in one of `outer` size, at the gravity.
QPoint placedAt(QSize inner, QSize outer, Qt::Alignment gravity);

// The size a picture of `size` (as decoded, before any cut or turn) is scaled to as a whole,
// for decoders that can decode smaller; QSize() when it is not scaled down, or when a rectangle
// is cut out of it, which must be cut in the picture's own pixels.
QSize wholeScaledSize(QSize size, const DisplayOptions &options);
