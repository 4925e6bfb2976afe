#include "picture_decoding.h"

#include "animation_decoding.h"
#include "child_decoder.h"
#include "codecs.h"
#include "decoded_size.h"
#include "display_preparation.h"
#include "fresh_memory.h"
#include "picture_completeness.h"
#include "picture_format.h"
#include "picture_source.h"
#include "row_decoding.h"

#include <QImageReader>

#include <optional>

#include <sys/mman.h>

namespace {

// Decodes the source from its start into `image`, which the reader reuses when it is of the
// size and format announced.
bool readPicture(PictureSource &source, const QByteArray &format, QImage *image, QSize scaledSize = QSize())
{
    source.seek(0);
    source.resetRanPastEnd();
    QImageReader reader;
    openReader(reader, &source, format);
    if (scaledSize.isValid())
        reader.setScaledSize(scaledSize);
    return reader.read(image) && !image->isNull();
}

// Whether the source decodes again to `image` under two fills of fresh memory, each byte the
// other's complement: a reader that reads memory it never wrote gives two different pictures,
// whatever fill the first decoding had (the process's own, or one that another thread set).
bool decodesAlike(PictureSource &source, const QByteArray &format, const QImage &image, QSize scaledSize)
{
    for (int fillByte : {0x55, 0xaa}) {
        const FreshMemoryFill fill(fillByte);
        QImage again;
        if (!readPicture(source, format, &again, scaledSize) || again != image)
            return false;
    }
    return true;
}

DecodedPicture refused(DecodedPicture::Status status, int systemError = 0)
{
    return {status, QImage(), systemError, QSize()};
}

bool tooComplex(const DecodingCost &cost)
{
    return cost.scans > maxJpegScans || cost.scanBlocks > maxJpegScanBlocks;
}

// The size a JPEG of `size` is decoded at to be shaped as the options say: scaled down by the
// largest of 8, 4 and 2 that keeps it at least twice the size it is scaled to (rounded up, as
// libjpeg does); QSize() when it is best decoded whole.
QSize jpegScaledSize(QSize size, const DisplayOptions &display)
{
    const QSize fitted = wholeScaledSize(size, display);
    if (!fitted.isValid())
        return QSize();
    for (int denominator : {8, 4, 2}) {
        const QSize scaled((size.width() + denominator - 1) / denominator,
                           (size.height() + denominator - 1) / denominator);
        if (scaled.width() >= 2 * fitted.width() && scaled.height() >= 2 * fitted.height())
            return scaled;
    }
    return QSize();
}

// A picture over zero-filled pages of its own, in pages of 2 MiB where the system has them.
QImage zeroPagesPicture(QSize size, QImage::Format format)
{
    struct Pages
    {
        void *data;
        size_t size;
    };
    const int bytesPerLine = QImage(size.width(), 1, format).bytesPerLine();
    const size_t bytes = size_t(bytesPerLine) * size_t(size.height());
    if (bytesPerLine <= 0)
        return QImage();
    void *data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED)
        return QImage();
    ::madvise(data, bytes, MADV_HUGEPAGE);
    const auto unmap = [](void *info) {
        auto *pages = static_cast<Pages *>(info);
        ::munmap(pages->data, pages->size);
        delete pages;
    };
    return QImage(static_cast<uchar *>(data), size.width(), size.height(), bytesPerLine, format, unmap,
                  new Pages {data, bytes});
}

// The picture handed to the reader to decode into. Qt's readers decode into the image they are
// given when its size and format are the ones they announced (a top-down BMP's height counted
// positive; the icon reader, which makes its own, aside): a null one for a reader that announces
// none, or makes its own. Handing them a zero-filled one makes every pixel they leave unset black,
// or the palette's first colour. In a child process, it is made of zero pages from the system,
// used only where written: a reader that makes its own picture leaves them untouched, where
// filling them would cost as much again as the first use of the reader's own. Nothing when it
// cannot be made.
std::optional<QImage> pictureToFill(const ReaderClaims &claims, const Codec &codec, FreshMemoryCheck check)
{
    QImage image;
    if (claims.size.isValid() && claims.pixelFormat != QImage::Format_Invalid && !codec.makesItsOwnPicture) {
        const QSize given = claims.scaledSize.isValid() ? claims.scaledSize : claims.size;
        image = check == FreshMemoryCheck::None ? zeroPagesPicture(given, claims.pixelFormat)
                                                : QImage(given, claims.pixelFormat);
        if (image.isNull())
            return std::nullopt;
        if (check != FreshMemoryCheck::None)
            image.fill(0);
    }
    return image;
}

// The frames of a picture whose reader cannot count them (MNG's): 1, or 0 when a second picture
// follows the first.
int countedOnRead(PictureSource &source, const QByteArray &format)
{
    source.seek(0);
    QImageReader frames;
    openReader(frames, &source, format);
    QImage frame;
    return frames.read(&frame) && frames.read(&frame) ? 0 : 1;
}

} // namespace

std::optional<DecodedPicture> openRefusal(PictureSource &source)
{
    switch (source.openRegularFile()) {
    case PictureSource::NotARegularFile:
        return refused(DecodedPicture::NotAPicture);
    case PictureSource::Unreadable:
        return refused(DecodedPicture::Unreadable, source.systemError());
    case PictureSource::Opened:
        break;
    }
    return std::nullopt;
}

void openReader(QImageReader &reader, QIODevice *source, const QByteArray &format)
{
    reader.setDevice(source);
    reader.setFormat(format);
    reader.setAutoDetectImageFormat(false); // that reader only: the others' plugins stay unloaded
}

ReaderClaims readerClaims(QImageReader &reader, PictureSource &source, const QByteArray &format,
                          const DisplayOptions *display)
{
    ReaderClaims claims;
    claims.announced = reader.size();
    claims.pixelFormat = announcedPixelFormat(reader);
    claims.size
        = QSize(claims.announced.width(), qAbs(claims.announced.height())); // a top-down BMP's is negative
    if (display && claims.size.isValid() && codecOf(format).scalesWhileDecoding)
        claims.scaledSize = jpegScaledSize(claims.size, *display);
    claims.cost = decodingCost(format, claims.announced, claims.pixelFormat, &source, claims.scaledSize);
    if (claims.cost.kind == DecodingCost::Damaged)
        claims.refusal = undecodedStatus(format, &source);
    return claims;
}

QImage::Format announcedPixelFormat(const QImageReader &reader)
{
    // A reader that could not read its header may announce any value at all.
    const QImage::Format format = reader.imageFormat();
    return format <= QImage::Format_Invalid || format >= QImage::NImageFormats ? QImage::Format_Invalid
                                                                               : format;
}

DecodedPicture::Status undecodedStatus(const QByteArray &format, PictureSource *source)
{
    return (readsWithinTheFile(format) && source->ranPastEnd()) || !reachesItsEnd(format, source)
        ? DecodedPicture::Truncated
        : DecodedPicture::NotAPicture;
}

DecodedPicture decodePicture(const QString &filePath, QSize fitWithin, const std::atomic<int> *interrupted)
{
    DisplayOptions display;
    display.fit = fitWithin;
    return decodePicture(filePath, display, interrupted);
}

DecodedPicture decodePicture(const QString &filePath, const DisplayOptions &display,
                             const std::atomic<int> *interrupted, const RowFitting &rows)
{
    PictureSource source(filePath);
    if (const std::optional<DecodedPicture> refusal = openRefusal(source))
        return *refusal;
    QByteArray format = pictureFormatOf(source.peek(pictureSignatureBytes), filePath);
    if (format.isEmpty()) // a signature not known here: every reader is asked
        format = QImageReader(&source).format();
    if (format.isEmpty())
        return refused(DecodedPicture::NotAPicture);
    source.close();
    const Codec &codec = codecOf(format);
    if (codec.frames == Frames::ComposedHere) // its first frame composed as its others are
        return *composedFirstFrame(filePath, format);
    if (codec.reading == Reading::InChild)
        return decodeInChild(filePath, format, interrupted, display, rows);
    return decodeInProcess(filePath, format, display, FreshMemoryCheck::DecodeAgain, rows);
}

DecodedPicture decodeInProcess(const QString &filePath, const QByteArray &format,
                               const DisplayOptions &display, FreshMemoryCheck check, const RowFitting &rows)
{
    PictureSource source(filePath);
    if (const std::optional<DecodedPicture> refusal = openRefusal(source))
        return *refusal;

    QImageReader reader;
    openReader(reader, &source, format);
    const ReaderClaims claims = readerClaims(reader, source, format, &display);
    const DecodingCost &cost = claims.cost;
    const QSize scaledSize = claims.scaledSize;
    if (claims.refusal != DecodedPicture::Decoded)
        return refused(claims.refusal);
    if (cost.kind == DecodingCost::Known) {
        if (cost.bytes > rows.wholeLimit && rows.allowed && decodesByRows(format)) {
            if (std::optional<DecodedPicture> fitted
                = decodeByRows(source, format, claims.size, display, rows))
                return std::move(*fitted);
        }
        if (cost.bytes > maxDecodedBytes)
            return refused(DecodedPicture::TooLarge);
        if (tooComplex(cost))
            return refused(DecodedPicture::TooComplex);
    }

    const Codec &codec = codecOf(format);
    std::optional<QImage> image = pictureToFill(claims, codec, check);
    if (!image)
        return refused(DecodedPicture::TooLarge);
    const uchar *const given = image->isNull() ? nullptr : image->constBits();
    // Counted before the first picture is read: a GIF's blocks are followed without decoding them.
    const int counted = reader.supportsAnimation() ? reader.imageCount() : 1;
    const bool read = readPicture(source, format, &*image, scaledSize);
    // Readers keep what they could decode of a file cut short.
    const DecodedPicture notRead = refused(undecodedStatus(format, &source));
    if (!read || notRead.status == DecodedPicture::Truncated)
        return notRead;
    if (cost.kind == DecodingCost::Unknown
        && decodedPictureBytes(image->size(), image->format()) > maxDecodedBytes)
        return refused(DecodedPicture::TooLarge);
    if (check == FreshMemoryCheck::DecodeAgain && image->constBits() != given && FreshMemoryFill::available()
        && !decodesAlike(source, format, *image, scaledSize))
        return refused(DecodedPicture::NotAPicture);
    const QSize fullSize = scaledSize.isValid() ? claims.size : image->size();
    const int frameCount = counted > 0 ? counted : countedOnRead(source, format);
    const bool animatedPng = codec.frames == Frames::DefaultPictureOnly && codec.animates(&source);
    return {DecodedPicture::Decoded, std::move(*image), 0, fullSize, frameCount, animatedPng};
}
