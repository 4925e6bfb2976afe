// Fuzz target: any bytes, taken as what a decoding child answers on its channel (a picture's
// description, or an animation's and its table of frames), must be judged as the parent judges
// them before it reads on: never a picture to receive whose numbers a QImage cannot have, nor one
// over the bound, nor a status beyond those the parent knows.

#include "child_answer.h"
#include "decoded_size.h"

#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char *what)
{
    qCritical("child answer: %s", what);
    std::abort();
}

bool isKnownStatus(int status)
{
    return status >= DecodedPicture::Decoded && status <= DecodedPicture::Hostile;
}

// The bytes from `at` as the parent reads a struct: whole, else nothing.
template<typename T> bool take(const uint8_t *data, size_t size, size_t *at, T *value)
{
    if (size - *at < sizeof(T))
        return false;
    std::memcpy(value, data + *at, sizeof(T));
    *at += sizeof(T);
    return true;
}

void judgePicture(const PictureHeader &header)
{
    const std::optional<DecodedPicture> outcome = pictureAnswerOutcome(header);
    if (outcome) {
        if (!isKnownStatus(int(outcome->status)))
            fail("a picture's outcome beyond the statuses known");
        if (outcome->status == DecodedPicture::Decoded && (!outcome->fitted || !outcome->image.isNull()))
            fail("a decoded picture without pixels that is not an unshaped fitted one");
        return;
    }
    if (header.magic != headerMagic || header.status != DecodedPicture::Decoded)
        fail("pixels to receive from a failed or foreign answer");
    const QImage::Format format = QImage::Format(header.format);
    const QImage row(header.width, 1, format);
    if (row.isNull() || header.height <= 0 || header.colourCount < 0 || header.colourCount > 256
        || header.bytesPerLine != row.bytesPerLine())
        fail("pixels to receive whose numbers a QImage cannot have");
    if (decodedPictureBytes(QSize(header.width, header.height), format) > maxDecodedBytes)
        fail("pixels to receive over the bound");
}

void judgeAnimation(const uint8_t *data, size_t size, size_t at)
{
    AnimationHeader header {};
    if (!take(data, size, &at, &header))
        return;
    const std::optional<DecodedAnimation> outcome = animationAnswerOutcome(header);
    if (outcome) {
        if (!isKnownStatus(int(outcome->status)))
            fail("an animation's outcome beyond the statuses known");
        return;
    }
    if (header.frames < 0 || header.frames > maxAnimationFrames)
        fail("a table of frames beyond the bound");
    qint64 held = 0;
    FrameEntry entry {};
    for (int i = 0; i < header.frames && take(data, size, &at, &entry); ++i) {
        if (!isPossibleFrame(entry))
            return;
        // The parent counts the frames' bytes before it maps any: those over the bound are none.
        held += decodedPictureBytes(QSize(entry.width, entry.height), QImage::Format(entry.format));
        if (held > maxDecodedBytes)
            return;
        const QImage row(entry.width, 1, QImage::Format(entry.format));
        if (row.isNull() || entry.height <= 0 || entry.bytesPerLine != row.bytesPerLine()
            || entry.colourCount < 0 || entry.colourCount > 256)
            fail("a frame to receive whose numbers a QImage cannot have");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    // The first byte chooses the answer: a picture's, or an animation's.
    if (data[0] & 1) {
        judgeAnimation(data, size, 1);
        return 0;
    }
    PictureHeader header {};
    size_t at = 1;
    if (take(data, size, &at, &header))
        judgePicture(header);
    return 0;
}
