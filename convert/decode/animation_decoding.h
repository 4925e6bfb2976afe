#pragma once

#include "picture_decoding.h"

#include <QImage>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <optional>

// Every picture of an animation, or a range of them, decoded and composed as browsers compose
// them: each drawn on the canvas its predecessors left as their disposal says, with its delay
// before the next one.
//
// A GIF's frames are composed here, from its blocks (see gif_frames.h), in this process; an
// animated WebP's by libwebp's own animation decoder, in a child process (see child_decoder.h),
// which hands every frame back; the readers of other packages that read animations (MNG's), in a
// child process too, as they compose them. A picture of any other format is decoded as
// decodePicture() decodes it, and counts as one frame. Qt 5's PNG reader reads an APNG's default
// picture only: an APNG is refused.
//
// Bounded as one picture is: the frames read, each counted at the size of the canvas they are
// drawn on, take no more than maxDecodedBytes together, and no more than maxAnimationFrames are
// read. A GIF's or a WebP's frames are counted before any is decoded, so that a file that goes
// over either bound is refused without decoding anything; an MNG's, whose reader does not count
// them, as they are decoded.

// More frames than any display's firmware plays from its flash.
constexpr int maxAnimationFrames = 1000;

// The frames asked for, numbered from 1; `last` 0 means up to the last one.
struct FrameRange
{
    bool asked = false; // false: the first frame, as any picture
    int first = 1;
    int last = 0;
};

// Why the frames asked for cannot be given, told without words so that a child process can hand
// it back; decodeAnimation() words it in `problem`.
enum class FrameProblem {
    None,
    BeyondTheLast, // the range goes beyond the animation's `frameCount` frames
    TooMany, // the range asks for `frameCount` frames, more than maxAnimationFrames
    TooManyUncounted, // the reader does not count them, and there are more than maxAnimationFrames
    AnimatedPng // Qt 5 reads an APNG's default picture only
};

struct DecodedAnimation
{
    DecodedPicture::Status status = DecodedPicture::NotAPicture;
    int systemError = 0; // why an Unreadable file could not be opened (errno)
    // Why the frames asked for cannot be given, in French, when the file itself is fine.
    QString problem;
    QVector<QImage> frames; // those asked for, in order (none when handed to `takeFrame`)
    QVector<int> delaysMs; // each frame's, as QImageReader::nextImageDelay() gives it
    FrameProblem problemKind = FrameProblem::None;
    // The animation's, all of them; 0 when its reader stopped before knowing. Also told when the
    // file is refused as too large, when it is known.
    int frameCount = 0;
    QSize fullSize; // the first frame's own size, larger when a JPEG was decoded smaller
};

// `takeFrame`, when given, is handed each frame as soon as it is decoded, instead of `frames`,
// with the picture's own size when it was decoded smaller (else QSize()) and the number of frames
// it will be handed in all (0 while the reader has not counted them): another thread may then
// work on it while the next one decodes, and the frames' work be bounded before any is done.
DecodedAnimation decodeAnimation(const QString &filePath, const DisplayOptions &display,
                                 const FrameRange &range, const std::atomic<int> *interrupted = nullptr,
                                 const std::function<void(QImage &&, QSize, int)> &takeFrame = {});

// The frames of the picture in `filePath` read in this process with the reader named: what a
// child process runs for decodeAnimation(). A reader that reads no animation gives its one
// picture as decodeInProcess() decodes it. `problem` is left unworded.
DecodedAnimation decodeFramesInProcess(const QString &filePath, const QByteArray &format,
                                       const FrameRange &range,
                                       const std::function<void(QImage &&, QSize, int)> &takeFrame);

// The first frame of a picture whose frames are composed here (a GIF, an animated WebP), as
// decodePicture() gives a picture, with the animation's frames counted; nothing for any other
// picture. WebP's is read by libwebp, which runs in a child process only.
std::optional<DecodedPicture> composedFirstFrame(const QString &filePath, const QByteArray &format);

// A frame just decoded, with its delay: handed to `takeFrame` when given, with the number of
// frames handed in all (0: not counted), else kept in `frames`.
void keepFrame(DecodedAnimation &animation, QImage &&frame, int delayMs, int frames,
               const std::function<void(QImage &&, QSize, int)> &takeFrame);
