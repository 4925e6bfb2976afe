#pragma once

#include "animation_decoding.h"
#include "picture_decoding.h"

#include <QtGlobal>

#include <optional>

// What a decoding child (child_decoder.h) answers its parent on its channel, in the machine's own
// order (both ends are the same program), and how the parent judges it before it reads on: the
// child runs another package's reader on a hostile file, so every number it sends is checked.

// A picture's description: the child's outcome, then, when decoded, the size, format and colour
// table, and where the bytes are in its memory.
struct PictureHeader
{
    quint32 magic;
    qint32 status;
    qint32 systemError;
    qint32 width;
    qint32 height;
    qint32 format;
    qint64 bytesPerLine;
    qint32 colourCount;
    quint64 pixelsAddress; // where the bytes are in the child's memory
    qint32 frameCount;
    // Decoded by rows and fitted (DecodedPicture::fitted): the picture's own size; no pixels when
    // the options cannot shape a picture of that size.
    qint32 fitted;
    qint32 fullWidth;
    qint32 fullHeight;
};
constexpr quint32 headerMagic = 0x51444331; // "QDC1"

// The frames of an animation, described the same way: the header, then a table of one entry a
// frame, then each frame's colours, if it has any. Their bytes are in the memory file, one frame
// after another, each from the start of a page, so that the parent maps each frame apart.
struct AnimationHeader
{
    quint32 magic;
    qint32 status;
    qint32 systemError;
    qint32 problem; // FrameProblem
    qint32 frameCount;
    qint32 frames; // the entries that follow
};
constexpr quint32 animationMagic = 0x51444131; // "QDA1"

struct FrameEntry
{
    qint32 width;
    qint32 height;
    qint32 format;
    qint32 colourCount;
    qint64 bytesPerLine;
    qint32 delayMs;
    qint32 unused;
};

// The outcome a picture's description gives by itself: not a description, or a status beyond
// those known (Hostile), a failure the child tells, a fitted picture without pixels, impossible numbers
// (Hostile), a picture too large. Nothing when it describes pixels to receive: `colourCount` colours (0 to
// 256), then `height` rows of `bytesPerLine` bytes, as QImage lays out a picture of its `width` and `format`.
std::optional<DecodedPicture> pictureAnswerOutcome(const PictureHeader &header);

// The same for an animation's description: nothing when its `frames` entries follow (0 to
// maxAnimationFrames).
std::optional<DecodedAnimation> animationAnswerOutcome(const AnimationHeader &header);

// Whether a frame's entry describes a picture that can be: a format Qt has, a size, 0 to 256
// colours, rows as QImage lays them out.
bool isPossibleFrame(const FrameEntry &entry);
