#include "animation_decoding.h"

#include "child_decoder.h"
#include "decoded_size.h"
#include "picture_completeness.h"
#include "picture_decoding.h"
#include "picture_format.h"
#include "picture_source.h"

#include <QCoreApplication>
#include <QImageReader>

#include <optional>

namespace {

DecodedAnimation refused(DecodedPicture::Status status, int systemError = 0)
{
    DecodedAnimation animation;
    animation.status = status;
    animation.systemError = systemError;
    return animation;
}

DecodedAnimation withProblem(FrameProblem problem, int frameCount)
{
    DecodedAnimation animation;
    animation.status = DecodedPicture::Decoded;
    animation.problemKind = problem;
    animation.frameCount = frameCount;
    return animation;
}

QString rangeText(const FrameRange &range)
{
    return range.last == 0 ? QStringLiteral("%1-").arg(range.first)
                           : QStringLiteral("%1-%2").arg(range.first).arg(range.last);
}

// Whether the range asks for frames an animation of `frameCount` frames does not have.
bool beyondTheLast(const FrameRange &range, int frameCount)
{
    return range.first > frameCount || range.last > frameCount;
}

// The problem in French.
QString problemText(const DecodedAnimation &animation, const FrameRange &range)
{
    switch (animation.problemKind) {
    case FrameProblem::None:
        break;
    case FrameProblem::BeyondTheLast:
        return animation.frameCount == 1
            ? QCoreApplication::translate("AnimationDecoding", "--frames %1 : cette image n'en a qu'une")
                  .arg(rangeText(range))
            : QCoreApplication::translate("AnimationDecoding", "--frames %1 : cette image n'en a que %2")
                  .arg(rangeText(range))
                  .arg(animation.frameCount);
    case FrameProblem::TooMany:
        return QCoreApplication::translate(
                   "AnimationDecoding",
                   "animation de %1 images, refusée : %2 au plus (choisissez-en avec --frames A-B)")
            .arg(animation.frameCount)
            .arg(maxAnimationFrames);
    case FrameProblem::TooManyUncounted:
        return QCoreApplication::translate(
                   "AnimationDecoding",
                   "animation de plus de %1 images, refusée (choisissez-en avec --frames A-B)")
            .arg(maxAnimationFrames);
    case FrameProblem::AnimatedPng:
        return QCoreApplication::translate(
            "AnimationDecoding",
            "--frames : cette image est un PNG animé (APNG), dont Qt 5 ne lit que l'image par défaut ; "
            "sans --frames, elle seule est convertie");
    }
    return QString();
}

// A picture of any other format: one frame, decoded as any picture.
DecodedAnimation singlePicture(DecodedPicture &&decoded, const FrameRange &range,
                               const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    if (decoded.status != DecodedPicture::Decoded)
        return refused(decoded.status, decoded.systemError);
    if (beyondTheLast(range, 1))
        return withProblem(FrameProblem::BeyondTheLast, 1);
    DecodedAnimation animation;
    animation.status = DecodedPicture::Decoded;
    animation.frameCount = 1;
    animation.fullSize = decoded.fullSize;
    animation.delaysMs << 0;
    if (takeFrame)
        takeFrame(std::move(decoded.image), decoded.fullSize, 1);
    else
        animation.frames << std::move(decoded.image);
    return animation;
}

// The frames of an animation read by `format`'s reader in this process. Qt's readers draw every
// frame on a canvas that they hand over shared and copy before they draw the next one: the frames
// kept hold one canvas each, and nothing more is held.
DecodedAnimation readFrames(PictureSource &source, const QByteArray &format, const FrameRange &range,
                            const std::atomic<int> *interrupted,
                            const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    QImageReader reader(&source, format);
    reader.setAutoDetectImageFormat(false);
    const QSize announced = reader.size();
    const QImage::Format pixelFormat = announcedPixelFormat(reader);
    const auto undecoded = [&] { return refused(undecodedStatus(format, &source)); };
    const DecodingCost cost = decodingCost(format, announced, pixelFormat, &source);
    if (cost.kind == DecodingCost::Damaged)
        return undecoded();
    const qint64 frameBytes = cost.kind == DecodingCost::Known
        ? cost.bytes
        : decodedPictureBytes(announced, QImage::Format_ARGB32);
    // Counted before any is decoded: a GIF's blocks followed from the start. WebP's reader
    // counts them once it has read the first; MNG's, never: they are counted as they come.
    int counted = reader.imageCount();
    bool uncounted = counted <= 0 && format != "gif";
    source.seek(0);
    source.resetRanPastEnd();
    QImageReader frames(&source, format);
    frames.setAutoDetectImageFormat(false);
    if (counted <= 0 && !uncounted)
        return undecoded();
    if (uncounted && frameBytes > maxDecodedBytes)
        return refused(DecodedPicture::TooLarge);
    // The range checked against the animation's frames, once they are counted.
    int last = range.last == 0 ? maxAnimationFrames + 1 : range.last; // one more tells too many
    const auto countedProblem = [&]() -> std::optional<DecodedAnimation> {
        if (beyondTheLast(range, counted))
            return withProblem(FrameProblem::BeyondTheLast, counted);
        last = range.last == 0 ? counted : range.last;
        if (last > maxAnimationFrames)
            return withProblem(FrameProblem::TooMany, last);
        if (qint64(last - range.first + 1) * frameBytes > maxDecodedBytes)
            return refused(DecodedPicture::TooLarge);
        return std::nullopt;
    };
    if (!uncounted) {
        if (const auto problem = countedProblem())
            return *problem;
    } else if (range.last != 0 && qint64(last - range.first + 1) * frameBytes > maxDecodedBytes) {
        return refused(DecodedPicture::TooLarge);
    }

    DecodedAnimation animation;
    animation.frameCount = uncounted ? 0 : counted;
    qint64 held = 0;
    for (int number = 1; number <= last; ++number) {
        if (interrupted && interrupted->load())
            return refused(DecodedPicture::Hostile);
        QImage frame;
        if (!frames.read(&frame) || frame.isNull()) {
            if (!uncounted || number == 1)
                return undecoded();
            // The end of an animation whose reader does not count its frames.
            if (beyondTheLast(range, number - 1))
                return withProblem(FrameProblem::BeyondTheLast, number - 1);
            animation.frameCount = number - 1;
            break;
        }
        if (uncounted && number == 1 && frames.imageCount() > 0) {
            counted = frames.imageCount();
            uncounted = false;
            animation.frameCount = counted;
            if (const auto problem = countedProblem())
                return *problem;
        }
        if (number > maxAnimationFrames)
            return withProblem(FrameProblem::TooManyUncounted, 0);
        if (number < range.first)
            continue;
        held += std::max(frameBytes, decodedPictureBytes(frame.size(), frame.format()));
        if (held > maxDecodedBytes)
            return refused(DecodedPicture::TooLarge);
        keepFrame(animation, std::move(frame), frames.nextImageDelay(),
                  uncounted ? 0 : last - range.first + 1, takeFrame);
    }
    if (!reachesItsEnd(format, &source))
        return refused(DecodedPicture::Truncated);
    animation.status = DecodedPicture::Decoded;
    return animation;
}

} // namespace

DecodedAnimation decodeAnimation(const QString &filePath, const DisplayOptions &display,
                                 const FrameRange &range, const std::atomic<int> *interrupted,
                                 const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    PictureSource source(filePath);
    if (const std::optional<DecodedPicture> refusal = openRefusal(source))
        return refused(refusal->status, refusal->systemError);
    QByteArray format = pictureFormatOf(source.peek(pictureSignatureBytes), filePath);
    if (format.isEmpty()) // a signature not known here: every reader is asked, as decodePicture() asks
        format = QImageReader(&source).format();
    DecodedAnimation animation;
    if (format == "gif") {
        animation = readFrames(source, format, range, interrupted, takeFrame);
    } else if (format == "png" && isAnimatedPng(&source)) {
        animation = withProblem(FrameProblem::AnimatedPng, 0);
    } else if (!format.isEmpty() && !isQtOwnFormat(format)) {
        source.close();
        animation = decodeFramesInChild(filePath, format, range, interrupted, takeFrame);
    } else {
        source.close();
        animation = singlePicture(decodePicture(filePath, display, interrupted), range, takeFrame);
    }
    animation.problem = problemText(animation, range);
    return animation;
}

DecodedAnimation decodeFramesInProcess(const QString &filePath, const QByteArray &format,
                                       const FrameRange &range,
                                       const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    PictureSource source(filePath);
    if (const std::optional<DecodedPicture> refusal = openRefusal(source))
        return refused(refusal->status, refusal->systemError);
    {
        QImageReader reader(&source, format);
        reader.setAutoDetectImageFormat(false);
        if (reader.supportsAnimation())
            return readFrames(source, format, range, nullptr, takeFrame);
    }
    source.close();
    return singlePicture(decodeInProcess(filePath, format, DisplayOptions(), FreshMemoryCheck::None), range,
                         takeFrame);
}

void keepFrame(DecodedAnimation &animation, QImage &&frame, int delayMs, int frames,
               const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    animation.delaysMs << delayMs;
    if (!animation.fullSize.isValid())
        animation.fullSize = frame.size();
    if (takeFrame)
        takeFrame(std::move(frame), QSize(), frames);
    else
        animation.frames << std::move(frame);
}
