#include "animation_decoding.h"

#include "decoded_size.h"
#include "picture_completeness.h"
#include "picture_format.h"
#include "picture_source.h"

#include <QCoreApplication>
#include <QImageReader>

namespace {

DecodedAnimation refused(DecodedPicture::Status status, int systemError = 0)
{
    DecodedAnimation animation;
    animation.status = status;
    animation.systemError = systemError;
    return animation;
}

DecodedAnimation withProblem(const QString &problem)
{
    DecodedAnimation animation;
    animation.status = DecodedPicture::Decoded;
    animation.problem = problem;
    return animation;
}

QString rangeText(const FrameRange &range)
{
    return range.last == 0 ? QStringLiteral("%1-").arg(range.first)
                           : QStringLiteral("%1-%2").arg(range.first).arg(range.last);
}

// Why the range asks for frames the animation does not have; empty when it does not.
QString rangeProblem(const FrameRange &range, int frameCount)
{
    if (range.first <= frameCount && range.last <= frameCount)
        return QString();
    return frameCount == 1
        ? QCoreApplication::translate("AnimationDecoding", "--frames %1 : cette image n'en a qu'une")
              .arg(rangeText(range))
        : QCoreApplication::translate("AnimationDecoding", "--frames %1 : cette image n'en a que %2")
              .arg(rangeText(range))
              .arg(frameCount);
}

QString tooManyFrames(int frames)
{
    return QCoreApplication::translate(
               "AnimationDecoding",
               "animation de %1 images, refusée : %2 au plus (choisissez-en avec --frames A-B)")
        .arg(frames)
        .arg(maxAnimationFrames);
}

// A picture of any other format: one frame, decoded as any picture.
DecodedAnimation singlePicture(const QString &filePath, const QByteArray &format,
                               const DisplayOptions &display, const FrameRange &range,
                               const std::atomic<int> *interrupted,
                               const std::function<void(QImage &&, QSize)> &takeFrame)
{
    DecodedPicture decoded = decodePicture(filePath, display, interrupted);
    if (decoded.status != DecodedPicture::Decoded)
        return refused(decoded.status, decoded.systemError);
    if (decoded.frameCount != 1)
        return withProblem(
            QCoreApplication::translate("AnimationDecoding",
                                        "--frames : cette animation %1 %2 est décodée à part, qui n'en rend "
                                        "que la première ; sans --frames, elle seule est convertie")
                .arg(QString::fromLatin1(format.toUpper()))
                .arg(decoded.frameCount > 1
                         ? QCoreApplication::translate("AnimationDecoding", "de %1 images")
                               .arg(decoded.frameCount)
                         : QCoreApplication::translate("AnimationDecoding", "de plusieurs images")));
    const QString problem = rangeProblem(range, 1);
    if (!problem.isEmpty())
        return withProblem(problem);
    DecodedAnimation animation;
    animation.status = DecodedPicture::Decoded;
    animation.frameCount = 1;
    animation.fullSize = decoded.fullSize;
    animation.delaysMs << 0;
    if (takeFrame)
        takeFrame(std::move(decoded.image), decoded.fullSize);
    else
        animation.frames << std::move(decoded.image);
    return animation;
}

} // namespace

DecodedAnimation decodeAnimation(const QString &filePath, const DisplayOptions &display,
                                 const FrameRange &range, const std::atomic<int> *interrupted,
                                 const std::function<void(QImage &&, QSize)> &takeFrame)
{
    PictureSource source(filePath);
    switch (source.openRegularFile()) {
    case PictureSource::NotARegularFile:
        return refused(DecodedPicture::NotAPicture);
    case PictureSource::Unreadable:
        return refused(DecodedPicture::Unreadable, source.systemError());
    case PictureSource::Opened:
        break;
    }
    const QByteArray format = pictureFormatOf(source.peek(pictureSignatureBytes), filePath);
    if (format != "gif") {
        source.close();
        return singlePicture(filePath, format, display, range, interrupted, takeFrame);
    }

    // Qt's GIF reader draws every frame on a canvas that it hands over shared and copies before
    // it draws the next one: the frames kept hold one canvas each, and nothing more is held.
    QImageReader reader(&source, format);
    reader.setAutoDetectImageFormat(false);
    const QSize announced = reader.size();
    QImage::Format pixelFormat = reader.imageFormat();
    if (pixelFormat <= QImage::Format_Invalid || pixelFormat >= QImage::NImageFormats)
        pixelFormat = QImage::Format_Invalid;
    const auto undecoded = [&] {
        return (readsWithinTheFile(format) && source.ranPastEnd()) || !reachesItsEnd(format, &source)
            ? refused(DecodedPicture::Truncated)
            : refused(DecodedPicture::NotAPicture);
    };
    const DecodingCost cost = decodingCost(format, announced, pixelFormat, &source);
    if (cost.kind == DecodingCost::Damaged)
        return undecoded();
    const qint64 frameBytes = cost.kind == DecodingCost::Known
        ? cost.bytes
        : decodedPictureBytes(announced, QImage::Format_ARGB32);
    // Counted as the size was read: the blocks followed from the start, none decoded.
    const int frameCount = reader.imageCount();
    source.seek(0);
    source.resetRanPastEnd();
    QImageReader frames(&source, format);
    frames.setAutoDetectImageFormat(false);
    if (frameCount <= 0)
        return undecoded();
    const QString problem = rangeProblem(range, frameCount);
    if (!problem.isEmpty())
        return withProblem(problem);
    const int last = range.last == 0 ? frameCount : range.last;
    if (last > maxAnimationFrames)
        return withProblem(tooManyFrames(last));
    if (qint64(last - range.first + 1) * frameBytes > maxDecodedBytes)
        return refused(DecodedPicture::TooLarge);

    DecodedAnimation animation;
    animation.frameCount = frameCount;
    for (int number = 1; number <= last; ++number) {
        if (interrupted && interrupted->load())
            return refused(DecodedPicture::Hostile);
        QImage frame;
        if (!frames.read(&frame) || frame.isNull())
            return undecoded();
        if (number < range.first)
            continue;
        animation.delaysMs << frames.nextImageDelay();
        if (!animation.fullSize.isValid())
            animation.fullSize = frame.size();
        if (takeFrame)
            takeFrame(std::move(frame), QSize());
        else
            animation.frames << std::move(frame);
    }
    if (!reachesItsEnd(format, &source))
        return refused(DecodedPicture::Truncated);
    animation.status = DecodedPicture::Decoded;

    return animation;
}
