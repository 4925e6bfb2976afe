#include "animation_decoding.h"

#include "child_decoder.h"
#include "codecs.h"
#include "decoded_size.h"
#include "gif_frames.h"
#include "picture_completeness.h"
#include "picture_decoding.h"
#include "picture_format.h"
#include "picture_source.h"

#include <QCoreApplication>
#include <QImageReader>

#include <climits>
#include <optional>

#include <webp/decode.h>
#include <webp/demux.h>

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
    if (decoded.status != DecodedPicture::Decoded) {
        DecodedAnimation animation = refused(decoded.status, decoded.systemError);
        animation.frameCount = 1;
        return animation;
    }
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

// An animation's frames as its reader gives them, one after another, and what is known of them
// before any is read.
class FrameSource
{
public:
    virtual ~FrameSource() = default;
    // Why the file is refused before any frame is read; Decoded when it is not.
    DecodedPicture::Status refusal = DecodedPicture::Decoded;
    qint64 frameBytes = 0; // what each frame takes: the canvas it is drawn on
    int counted = 0; // the frames, counted before any is read; 0 when the reader has not
    // The next frame and its delay; false at the end, or when the frame could not be read.
    virtual bool read(QImage *frame, int *delayMs) = 0;
    // The frames counted once the first one has been read; 0 when the reader does not count them.
    virtual int countedAfterTheFirst() { return counted; }
    // Why a file whose frame could not be read is refused.
    virtual DecodedPicture::Status unread() = 0;
    // Whether the file goes on to its end (see picture_completeness.h).
    virtual bool whole() = 0;
};

// The frames as `format`'s reader composes them in this process. Qt's readers draw every frame
// on a canvas that they hand over shared and copy before they draw the next one: the frames kept
// hold one canvas each, and nothing more is held.
class ReaderFrames : public FrameSource
{
public:
    ReaderFrames(PictureSource &source, const QByteArray &format)
        : m_source(source)
        , m_format(format)
    {
        QImageReader reader;
        openReader(reader, &source, format);
        const ReaderClaims claims = readerClaims(reader, source, format);
        if (claims.refusal != DecodedPicture::Decoded) {
            refusal = claims.refusal;
            return;
        }
        frameBytes = claims.cost.kind == DecodingCost::Known
            ? claims.cost.bytes
            : decodedPictureBytes(claims.announced, QImage::Format_ARGB32);
        // WebP's reader counts them once it has read the first; MNG's, never.
        counted = qMax(0, reader.imageCount());
        if (const auto frameDelays = codecOf(format).frameDelays)
            m_delays = frameDelays(&source);
        source.seek(0);
        source.resetRanPastEnd();
        m_frames.emplace();
        openReader(*m_frames, &source, format);
    }

    bool read(QImage *frame, int *delayMs) override
    {
        if (!m_frames->read(frame) || frame->isNull())
            return false;
        *delayMs = m_delays.value(m_read++, m_frames->nextImageDelay());
        return true;
    }
    int countedAfterTheFirst() override { return m_frames->imageCount(); }
    DecodedPicture::Status unread() override { return undecodedStatus(m_format, &m_source); }
    bool whole() override { return reachesItsEnd(m_format, &m_source); }

private:
    PictureSource &m_source;
    const QByteArray m_format;
    std::optional<QImageReader> m_frames;
    QVector<int> m_delays; // an MNG's, from its chunks
    int m_read = 0;
};

// A GIF's frames, composed here (see gif_frames.h).
class ComposedGifFrames : public FrameSource
{
public:
    explicit ComposedGifFrames(PictureSource &source)
        : m_gif(&source)
    {
        switch (m_gif.state()) {
        case GifFrames::NotAGif:
            refusal = DecodedPicture::NotAPicture;
            return;
        case GifFrames::Truncated:
            refusal = DecodedPicture::Truncated;
            return;
        case GifFrames::Whole:
            break;
        }
        frameBytes = decodedPictureBytes(m_gif.canvasSize(), QImage::Format_ARGB32);
        counted = m_gif.frameCount();
        if (frameBytes <= 0)
            refusal = DecodedPicture::NotAPicture;
    }

    bool read(QImage *frame, int *delayMs) override { return m_gif.readNext(frame, delayMs); }
    DecodedPicture::Status unread() override { return DecodedPicture::NotAPicture; }
    bool whole() override { return true; } // judged before any frame was read

private:
    GifFrames m_gif;
};

// An animated WebP's frames, composed by libwebp's own animation decoder: Qt's reader leaves a
// frame that disposes to the background where it was, unless it has alpha.
class ComposedWebpFrames : public FrameSource
{
public:
    ComposedWebpFrames(PictureSource &source, const QByteArray &format)
        : m_source(source)
        , m_format(format)
    {
        source.seek(0);
        m_file = source.readAll();
        const WebPData data {reinterpret_cast<const uint8_t *>(m_file.constData()), size_t(m_file.size())};
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) {
            refusal = DecodedPicture::NotAPicture;
            return;
        }
        options.color_mode = littleEndian ? MODE_BGRA : MODE_RGBA;
        options.use_threads = 0;
        m_decoder = WebPAnimDecoderNew(&data, &options);
        WebPAnimInfo info;
        if (!m_decoder || !WebPAnimDecoderGetInfo(m_decoder, &info)) {
            refusal = unread();
            return;
        }
        m_size = QSize(int(info.canvas_width), int(info.canvas_height));
        frameBytes = decodedPictureBytes(m_size, QImage::Format_ARGB32);
        counted = int(qMin<uint32_t>(info.frame_count, INT_MAX));
    }
    ~ComposedWebpFrames() override { WebPAnimDecoderDelete(m_decoder); }
    ComposedWebpFrames(const ComposedWebpFrames &) = delete;
    ComposedWebpFrames &operator=(const ComposedWebpFrames &) = delete;

    bool read(QImage *frame, int *delayMs) override
    {
        uint8_t *canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderHasMoreFrames(m_decoder)
            || !WebPAnimDecoderGetNext(m_decoder, &canvas, &timestamp))
            return false;
        // The decoder's canvas is its own, drawn over by the next frame: copied.
        const QImage drawn(canvas, m_size.width(), m_size.height(), m_size.width() * 4,
                           littleEndian ? QImage::Format_ARGB32 : QImage::Format_RGBA8888);
        *frame = littleEndian ? drawn.copy() : drawn.convertToFormat(QImage::Format_ARGB32);
        *delayMs = timestamp - m_timestamp;
        m_timestamp = timestamp;
        return !frame->isNull();
    }
    DecodedPicture::Status unread() override { return undecodedStatus(m_format, &m_source); }
    bool whole() override { return reachesItsEnd(m_format, &m_source); }

private:
    static constexpr bool littleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    PictureSource &m_source;
    const QByteArray m_format;
    QByteArray m_file; // the decoder reads it as long as it lives
    WebPAnimDecoder *m_decoder = nullptr;
    QSize m_size;
    int m_timestamp = 0;
};

// The frames asked for, read from `frames` within the bounds of one picture.
DecodedAnimation readFrames(FrameSource &frames, const FrameRange &range, const std::atomic<int> *interrupted,
                            const std::function<void(QImage &&, QSize, int)> &takeFrame)
{
    if (frames.refusal != DecodedPicture::Decoded)
        return refused(frames.refusal);
    const qint64 frameBytes = frames.frameBytes;
    int counted = frames.counted;
    bool uncounted = counted <= 0;
    // Too large: told with the frames, when they are counted.
    const auto tooLarge = [&] {
        DecodedAnimation animation = refused(DecodedPicture::TooLarge);
        animation.frameCount = uncounted ? 0 : counted;
        return animation;
    };
    if (uncounted && frameBytes > maxDecodedBytes)
        return tooLarge();
    // The range checked against the animation's frames, once they are counted.
    int last = range.last == 0 ? maxAnimationFrames + 1 : range.last; // one more tells too many
    const auto countedProblem = [&]() -> std::optional<DecodedAnimation> {
        if (beyondTheLast(range, counted))
            return withProblem(FrameProblem::BeyondTheLast, counted);
        last = range.last == 0 ? counted : range.last;
        if (last > maxAnimationFrames)
            return withProblem(FrameProblem::TooMany, last);
        if (qint64(last - range.first + 1) * frameBytes > maxDecodedBytes)
            return tooLarge();
        return std::nullopt;
    };
    if (!uncounted) {
        if (const auto problem = countedProblem())
            return *problem;
    } else if (range.last != 0 && qint64(last - range.first + 1) * frameBytes > maxDecodedBytes) {
        return tooLarge();
    }

    DecodedAnimation animation;
    animation.frameCount = uncounted ? 0 : counted;
    qint64 held = 0;
    for (int number = 1; number <= last; ++number) {
        if (interrupted && interrupted->load())
            return refused(DecodedPicture::Hostile);
        QImage frame;
        int delayMs = 0;
        if (!frames.read(&frame, &delayMs)) {
            if (!uncounted || number == 1)
                return refused(frames.unread());
            // The end of an animation whose reader does not count its frames.
            if (beyondTheLast(range, number - 1))
                return withProblem(FrameProblem::BeyondTheLast, number - 1);
            animation.frameCount = number - 1;
            break;
        }
        if (uncounted && number == 1 && frames.countedAfterTheFirst() > 0) {
            counted = frames.countedAfterTheFirst();
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
            return tooLarge();
        keepFrame(animation, std::move(frame), delayMs, uncounted ? 0 : last - range.first + 1, takeFrame);
    }
    if (!frames.whole())
        return refused(DecodedPicture::Truncated);
    animation.status = DecodedPicture::Decoded;
    return animation;
}

// The first frame of an animation, as decodePicture() gives a picture.
DecodedPicture firstFrame(FrameSource &frames)
{
    FrameRange first;
    first.last = 1;
    DecodedAnimation animation = readFrames(frames, first, nullptr, {});
    DecodedPicture decoded;
    decoded.status = animation.status;
    if (animation.status != DecodedPicture::Decoded)
        return decoded;
    decoded.image = std::move(animation.frames.first());
    decoded.fullSize = decoded.image.size();
    decoded.frameCount = animation.frameCount;
    return decoded;
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
    const Codec &codec = codecOf(format);
    DecodedAnimation animation;
    if (codec.frames == Frames::ComposedHere) {
        ComposedGifFrames frames(source);
        animation = readFrames(frames, range, interrupted, takeFrame);
    } else if (codec.frames == Frames::DefaultPictureOnly && codec.animates(&source)) {
        animation = withProblem(FrameProblem::AnimatedPng, 0);
    } else if (!format.isEmpty() && codec.reading == Reading::InChild && codec.frames != Frames::One) {
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
    const Codec &codec = codecOf(format);
    if (codec.frames == Frames::ComposedByLibwebp && codec.animates(&source)) {
        ComposedWebpFrames frames(source, format);
        return readFrames(frames, range, nullptr, takeFrame);
    }
    if (codec.frames == Frames::ComposedHere) {
        ComposedGifFrames frames(source);
        return readFrames(frames, range, nullptr, takeFrame);
    }
    if (QImageReader(&source, format).supportsAnimation()) {
        source.seek(0);
        ReaderFrames frames(source, format);
        return readFrames(frames, range, nullptr, takeFrame);
    }
    source.close();
    return singlePicture(decodeInProcess(filePath, format, DisplayOptions(), FreshMemoryCheck::None), range,
                         takeFrame);
}

std::optional<DecodedPicture> composedFirstFrame(const QString &filePath, const QByteArray &format)
{
    const Codec &codec = codecOf(format);
    if (codec.frames != Frames::ComposedHere && codec.frames != Frames::ComposedByLibwebp)
        return std::nullopt;
    PictureSource source(filePath);
    if (const std::optional<DecodedPicture> refusal = openRefusal(source))
        return refusal;
    if (codec.frames == Frames::ComposedHere) {
        ComposedGifFrames frames(source);
        return firstFrame(frames);
    }
    if (!codec.animates(&source))
        return std::nullopt;
    ComposedWebpFrames frames(source, format);
    return firstFrame(frames);
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
