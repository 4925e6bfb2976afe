#include "picture_decoding.h"

#include "animation_decoding.h"
#include "child_decoder.h"
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
    QImageReader reader(&source, format);
    reader.setAutoDetectImageFormat(false); // that reader only: the others' plugins stay unloaded
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
    if (format == "gif") // composed here as its other frames are
        return *composedFirstFrame(filePath, format);
    if (!isQtOwnFormat(format))
        return decodeInChild(filePath, format, interrupted, display, rows);
    return decodeInProcess(filePath, format, display, FreshMemoryCheck::DecodeAgain, rows);
}

DecodedPicture decodeInProcess(const QString &filePath, const QByteArray &format,
                               const DisplayOptions &display, FreshMemoryCheck check, const RowFitting &rows)
{
    PictureSource source(filePath);
    if (const std::optional<DecodedPicture> refusal = openRefusal(source))
        return *refusal;

    QImageReader reader(&source, format);
    reader.setAutoDetectImageFormat(false);
    const QSize announced = reader.size();
    const QImage::Format pixelFormat = announcedPixelFormat(reader);
    const QSize size(announced.width(), qAbs(announced.height())); // a top-down BMP's is negative
    const QSize scaledSize = format == "jpeg" && size.isValid() ? jpegScaledSize(size, display) : QSize();
    const auto undecoded = [&] { return refused(undecodedStatus(format, &source)); };
    const DecodingCost cost = decodingCost(format, announced, pixelFormat, &source, scaledSize);
    switch (cost.kind) {
    case DecodingCost::Damaged:
        return undecoded();
    case DecodingCost::Known:
        if (cost.bytes > rows.wholeLimit && rows.allowed && decodesByRows(format)) {
            if (std::optional<DecodedPicture> fitted = decodeByRows(source, format, size, display, rows))
                return std::move(*fitted);
        }
        if (cost.bytes > maxDecodedBytes)
            return refused(DecodedPicture::TooLarge);
        if (tooComplex(cost))
            return refused(DecodedPicture::TooComplex);
        break;
    case DecodingCost::Unknown:
        break;
    }

    // Qt's readers decode into the image they are given when its size and format are the ones
    // they announced (a top-down BMP's height counted positive; the icon reader, which makes its
    // own, aside). Handing them a zero-filled one makes every pixel they leave unset black, or
    // the palette's first colour.
    // In a child process, it is made of zero pages from the system, used only where written: a
    // reader that makes its own picture leaves them untouched, where filling them would cost as
    // much again as the first use of the reader's own.
    QImage image;
    if (size.isValid() && pixelFormat != QImage::Format_Invalid && format != "ico" && format != "cur") {
        const QSize given = scaledSize.isValid() ? scaledSize : size;
        image = check == FreshMemoryCheck::None ? zeroPagesPicture(given, pixelFormat)
                                                : QImage(given, pixelFormat);
        if (image.isNull())
            return refused(DecodedPicture::TooLarge);
        if (check != FreshMemoryCheck::None)
            image.fill(0);
    }
    const uchar *const given = image.isNull() ? nullptr : image.constBits();
    // Counted before the first picture is read: a GIF's blocks are followed without decoding them.
    const int counted = reader.supportsAnimation() ? reader.imageCount() : 1;
    const bool read = readPicture(source, format, &image, scaledSize);
    const DecodedPicture notRead = undecoded(); // readers keep what they could decode of a file cut short
    if (!read || notRead.status == DecodedPicture::Truncated)
        return notRead;
    if (cost.kind == DecodingCost::Unknown
        && decodedPictureBytes(image.size(), image.format()) > maxDecodedBytes)
        return refused(DecodedPicture::TooLarge);
    if (check == FreshMemoryCheck::DecodeAgain && image.constBits() != given && FreshMemoryFill::available()
        && !decodesAlike(source, format, image, scaledSize))
        return refused(DecodedPicture::NotAPicture);
    const QSize fullSize = scaledSize.isValid() ? size : image.size();
    // A reader that cannot count (MNG's) tells whether a second picture follows the first.
    int frameCount = qMax(1, counted);
    if (counted <= 0) {
        source.seek(0);
        QImageReader frames(&source, format);
        frames.setAutoDetectImageFormat(false);
        QImage frame;
        if (frames.read(&frame) && frames.read(&frame))
            frameCount = 0;
    }
    const bool animatedPng = format == "png" && isAnimatedPng(&source);
    return {DecodedPicture::Decoded, std::move(image), 0, fullSize, frameCount, animatedPng};
}
