#include "child_answer.h"

#include "decoded_size.h"

namespace {

bool isImageFormat(qint32 format)
{
    return format > QImage::Format_Invalid && format < QImage::NImageFormats;
}

} // namespace

std::optional<DecodedPicture> pictureAnswerOutcome(const PictureHeader &header)
{
    if (header.magic != headerMagic)
        return DecodedPicture {DecodedPicture::Hostile, QImage(), 0, QSize()};
    // A status beyond those known is no answer of the child's own.
    if (header.status < DecodedPicture::Decoded || header.status > DecodedPicture::Hostile)
        return DecodedPicture {DecodedPicture::Hostile, QImage(), 0, QSize()};
    if (header.status != DecodedPicture::Decoded)
        return DecodedPicture {DecodedPicture::Status(header.status), QImage(), header.systemError, QSize()};
    const QSize fullSize(header.fullWidth, header.fullHeight);
    if (header.fitted && (fullSize.width() <= 0 || fullSize.height() <= 0))
        return DecodedPicture {DecodedPicture::Hostile, QImage(), 0, QSize()};
    if (header.fitted && header.width == 0 && header.height == 0) {
        DecodedPicture unshaped {DecodedPicture::Decoded, QImage(), 0, fullSize};
        unshaped.fitted = true;
        return unshaped;
    }
    if (!isImageFormat(header.format) || header.width <= 0 || header.height <= 0 || header.colourCount < 0
        || header.colourCount > 256)
        return DecodedPicture {DecodedPicture::Hostile, QImage(), 0, QSize()};
    const QImage::Format format = QImage::Format(header.format);
    // The child decoded no more than the limits let it; the parent holds no more either.
    if (decodedPictureBytes(QSize(header.width, header.height), format) > maxDecodedBytes)
        return DecodedPicture {DecodedPicture::TooLarge, QImage(), 0, QSize()};
    if (header.bytesPerLine != QImage(header.width, 1, format).bytesPerLine())
        return DecodedPicture {DecodedPicture::Hostile, QImage(), 0, QSize()};
    return std::nullopt;
}

std::optional<DecodedAnimation> animationAnswerOutcome(const AnimationHeader &header)
{
    DecodedAnimation animation;
    animation.status = DecodedPicture::Hostile;
    if (header.magic != animationMagic)
        return animation;
    const auto problem = FrameProblem(header.problem);
    if (header.status < DecodedPicture::Decoded || header.status > DecodedPicture::Hostile
        || problem < FrameProblem::None || problem > FrameProblem::AnimatedPng || header.frames < 0
        || header.frames > maxAnimationFrames)
        return animation;
    if (header.status != DecodedPicture::Decoded) {
        animation.status = DecodedPicture::Status(header.status);
        animation.systemError = header.systemError;
        animation.frameCount = qMax(0, header.frameCount);
        return animation;
    }
    if (problem != FrameProblem::None) {
        animation.status = DecodedPicture::Decoded;
        animation.problemKind = problem;
        animation.frameCount = header.frameCount;
        return animation;
    }
    return std::nullopt;
}

bool isPossibleFrame(const FrameEntry &entry)
{
    return isImageFormat(entry.format) && entry.width > 0 && entry.height > 0 && entry.colourCount >= 0
        && entry.colourCount <= 256
        && entry.bytesPerLine == QImage(entry.width, 1, QImage::Format(entry.format)).bytesPerLine();
}
