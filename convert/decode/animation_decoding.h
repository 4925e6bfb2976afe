#pragma once

#include "picture_decoding.h"

#include <QImage>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

// Every picture of an animation, or a range of them, decoded as Qt's reader composes them: each
// read in turn by QImageReader, on the canvas its predecessors left as their disposal says, with
// the delay the reader gives before the next one.
//
// Only Qt's own animation reader, GIF's, runs here. A picture of another format is decoded as
// decodePicture() decodes it, and counts as one frame; one whose reader, run in a child process,
// finds more than one (an animated WebP or MNG) is refused: the child hands back its first
// picture only. Qt 5's PNG reader reads an APNG's default picture only, a single frame.
//
// Bounded as one picture is: the frames read, each counted at the size of the canvas Qt draws
// them on, take no more than maxDecodedBytes together, and no more than maxAnimationFrames are
// read. A GIF's frames are counted from its blocks before any is decoded, so that a file that
// goes over either bound is refused without decoding anything.

// More frames than any display's firmware plays from its flash.
constexpr int maxAnimationFrames = 1000;

// The frames asked for, numbered from 1; `last` 0 means up to the last one.
struct FrameRange
{
    bool asked = false; // false: the first frame, as any picture
    int first = 1;
    int last = 0;
};

struct DecodedAnimation
{
    DecodedPicture::Status status = DecodedPicture::NotAPicture;
    int systemError = 0; // why an Unreadable file could not be opened (errno)
    // Why the frames asked for cannot be given, in French, when the file itself is fine.
    QString problem;
    QVector<QImage> frames; // those asked for, in order (none when handed to `takeFrame`)
    QVector<int> delaysMs; // each frame's, as QImageReader::nextImageDelay() gives it
    int frameCount = 0; // the animation's, all of them
    QSize fullSize; // the first frame's own size, larger when a JPEG was decoded smaller
};

// `takeFrame`, when given, is handed each frame as soon as it is decoded, instead of `frames`,
// with the picture's own size when it was decoded smaller (else QSize()): another thread may then
// work on it while the next one decodes.
DecodedAnimation decodeAnimation(const QString &filePath, const DisplayOptions &display,
                                 const FrameRange &range, const std::atomic<int> *interrupted = nullptr,
                                 const std::function<void(QImage &&, QSize)> &takeFrame = {});
