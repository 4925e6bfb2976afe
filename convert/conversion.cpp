#include "conversion.h"

#include "atomic_file_writer.h"
#include "decoded_size.h"
#include "display_preparation.h"
#include "fresh_memory.h"
#include "header_generator.h"
#include "picture_completeness.h"
#include "picture_source.h"
#include "qimage16.h"

#include <QBuffer>
#include <QImageReader>

namespace {

// Decodes the source from its start into `image`, which the reader reuses when it is of the
// size and format announced.
bool readPicture(PictureSource &source, const QByteArray &format, QImage *image, QSize scaledSize = QSize())
{
    source.seek(0);
    source.resetRanPastEnd();
    QImageReader reader(&source, format);
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

} // namespace

namespace {

// The size a JPEG of `size` is decoded at to be fitted within `bounds`: scaled down by the
// largest of 8, 4 and 2 that keeps it at least twice the fitted size (rounded up, as libjpeg
// does); QSize() when it is best decoded whole.
QSize jpegScaledSize(QSize size, QSize bounds)
{
    const QSize fitted = fittedSize(size, bounds);
    for (int denominator : {8, 4, 2}) {
        const QSize scaled((size.width() + denominator - 1) / denominator,
                           (size.height() + denominator - 1) / denominator);
        if (scaled.width() >= 2 * fitted.width() && scaled.height() >= 2 * fitted.height())
            return scaled;
    }
    return QSize();
}

} // namespace

DecodedPicture decodePicture(const QString &filePath, QSize fitWithin)
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

    QImageReader reader(&source);
    const QByteArray format = reader.format();
    if (format.isEmpty())
        return refused(DecodedPicture::NotAPicture);
    const QSize announced = reader.size();
    // A reader that could not read its header may announce any value at all.
    QImage::Format pixelFormat = reader.imageFormat();
    if (pixelFormat <= QImage::Format_Invalid || pixelFormat >= QImage::NImageFormats)
        pixelFormat = QImage::Format_Invalid;
    const QSize size(announced.width(), qAbs(announced.height())); // a top-down BMP's is negative
    const QSize scaledSize = format == "jpeg" && size.isValid() ? jpegScaledSize(size, fitWithin) : QSize();
    // A file that does not decode, or that a reader would fill in, may simply have been cut short:
    // those that read nothing beyond a whole file asked for bytes it did not have; the others'
    // files stop before their end.
    const auto undecoded = [&] {
        return (readsWithinTheFile(format) && source.ranPastEnd()) || !reachesItsEnd(format, &source)
            ? refused(DecodedPicture::Truncated)
            : refused(DecodedPicture::NotAPicture);
    };
    const DecodingCost cost = decodingCost(format, announced, pixelFormat, &source, scaledSize);
    switch (cost.kind) {
    case DecodingCost::Damaged:
        return undecoded();
    case DecodingCost::Known:
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
    QImage image;
    if (size.isValid() && pixelFormat != QImage::Format_Invalid && format != "ico" && format != "cur") {
        image = QImage(scaledSize.isValid() ? scaledSize : size, pixelFormat);
        if (image.isNull())
            return refused(DecodedPicture::TooLarge);
        image.fill(0);
    }
    const uchar *const given = image.isNull() ? nullptr : image.constBits();
    const bool read = readPicture(source, format, &image, scaledSize);
    const DecodedPicture notRead = undecoded(); // readers keep what they could decode of a file cut short
    if (!read || notRead.status == DecodedPicture::Truncated)
        return notRead;
    if (cost.kind == DecodingCost::Unknown
        && decodedPictureBytes(image.size(), image.format()) > maxDecodedBytes)
        return refused(DecodedPicture::TooLarge);
    if (image.constBits() != given && FreshMemoryFill::available()
        && !decodesAlike(source, format, image, scaledSize))
        return refused(DecodedPicture::NotAPicture);
    const QSize fullSize = scaledSize.isValid() ? size : image.size();
    return {DecodedPicture::Decoded, std::move(image), 0, fullSize};
}

QImage toRgb565(QImage picture)
{
    return prepareForDisplay(std::move(picture), DisplayOptions());
}

namespace {

// The preview in a PNG file that every viewer shows right.
QByteArray pngOf(const QImage &picture)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG");
    return png;
}

} // namespace

WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths, const OutputRequest &request,
                              int *systemError)
{
    int ignored = 0;
    int &error = systemError ? *systemError : ignored;
    error = 0;
    const qint64 bmpSize = image.bmp16FileSize();
    if (bmpSize < 0)
        return WriteOutcome::BmpFailed;
    const auto interrupted = [&] { return request.interrupted && request.interrupted->load() != 0; };

    AtomicFileWriter bmp(paths.bmp);
    if (!bmp.open()) {
        error = bmp.systemError();
        return WriteOutcome::BmpFailed;
    }
    // The header of the BMP file's bytes is written from the same blocks; one of pixel arrays
    // on its own.
    HeaderFileWriter bytesHeader(paths.header, bmpSize, request.header);
    AtomicFileWriter pixelsHeader(paths.header);
    AtomicFileWriter &header = request.pixels ? pixelsHeader : bytesHeader.file();
    bool headerWritten = request.pixels ? pixelsHeader.open() : bytesHeader.open();
    const bool bmpWritten = image.writeBmp16([&](const char *data, qint64 size) {
        if (interrupted() || !bmp.write(data, size))
            return false;
        if (!request.pixels)
            headerWritten = headerWritten && bytesHeader.append(data, size);
        return true;
    });
    if (!bmpWritten) {
        error = bmp.systemError();
        return interrupted() ? WriteOutcome::Interrupted : WriteOutcome::BmpFailed;
    }
    headerWritten = headerWritten
        && (request.pixels ? writeCHeader(pixelsHeader, *request.pixels) : bytesHeader.finish());

    AtomicFileWriter preview(paths.preview);
    const bool previewWritten
        = !request.preview || (preview.open() && preview.write(pngOf(*request.preview)));
    if (interrupted())
        return WriteOutcome::Interrupted;

    // Every file on the disk first, so that the commits that follow are quick.
    if (!bmp.syncToDisk()) {
        error = bmp.systemError();
        return WriteOutcome::BmpFailed;
    }
    if (!headerWritten || !header.syncToDisk()) {
        error = header.systemError();
        return WriteOutcome::HeaderFailed;
    }
    if (!previewWritten || (request.preview && !preview.syncToDisk())) {
        error = preview.systemError();
        return WriteOutcome::PreviewFailed;
    }
    if (!bmp.commit()) {
        error = bmp.systemError();
        return WriteOutcome::BmpFailed;
    }
    if (!header.commit()) {
        error = header.systemError();
        return WriteOutcome::HeaderFailed;
    }
    if (request.preview && !preview.commit()) {
        error = preview.systemError();
        return WriteOutcome::PreviewFailed;
    }
    return WriteOutcome::Written;
}
