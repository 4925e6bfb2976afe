#include "conversion.h"

#include "atomic_file_writer.h"
#include "decoded_size.h"
#include "display_preparation.h"
#include "header_generator.h"
#include "picture_source.h"
#include "qimage16.h"
#include "rgb565_header.h"

#include <QImageReader>

DecodedPicture decodePicture(const QString &filePath)
{
    PictureSource source(filePath);
    switch (source.openRegularFile()) {
    case PictureSource::NotARegularFile:
        return {DecodedPicture::NotAPicture, QImage(), 0};
    case PictureSource::Unreadable:
        return {DecodedPicture::Unreadable, QImage(), source.systemError()};
    case PictureSource::Opened:
        break;
    }

    QImageReader reader(&source);
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    const QImage::Format pixelFormat = reader.imageFormat();
    if (format.isEmpty() || !size.isValid())
        return {DecodedPicture::NotAPicture, QImage(), 0};
    const qint64 decodedBytes = decodedPictureBytes(format, size, pixelFormat, &source);
    if (decodedBytes < 0)
        return {DecodedPicture::NotAPicture, QImage(), 0};
    if (decodedBytes > maxDecodedBytes)
        return {DecodedPicture::TooLarge, QImage(), 0};

    // Qt's readers decode into the image they are given when its size and format are the ones
    // they announced (the icon reader, which makes its own, aside). Handing them a zero-filled
    // one makes every pixel they leave unset black, or the palette's first colour.
    QImage image;
    if (pixelFormat != QImage::Format_Invalid && format != "ico" && format != "cur") {
        image = QImage(size, pixelFormat);
        if (image.isNull())
            return {DecodedPicture::TooLarge, QImage(), 0};
        image.fill(0);
    }
    source.resetRanPastEnd();
    if (!reader.read(&image) || image.isNull())
        return {DecodedPicture::NotAPicture, QImage(), 0};
    // Qt's BMP reader keeps a picture whose rows stop short of what the header announces.
    if (format == "bmp" && source.ranPastEnd())
        return {DecodedPicture::NotAPicture, QImage(), 0};
    return {DecodedPicture::Decoded, std::move(image), 0};
}

QImage toRgb565(QImage picture)
{
    return prepareForDisplay(std::move(picture), DisplayOptions());
}

WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths,
                              const HeaderOptions &headerOptions, int *systemError)
{
    int ignored = 0;
    int &error = systemError ? *systemError : ignored;
    error = 0;
    const qint64 bmpSize = image.bmp16FileSize();
    if (bmpSize < 0)
        return WriteOutcome::BmpFailed;
    if (headerOptions.content == HeaderOptions::Rgb565Pixels) {
        if (!image.saveBmp16(paths.bmp, &error))
            return WriteOutcome::BmpFailed;
        return writeRgb565Header(image, paths.header, headerOptions, &error) ? WriteOutcome::Written
                                                                             : WriteOutcome::HeaderFailed;
    }

    AtomicFileWriter bmp(paths.bmp);
    if (!bmp.open()) {
        error = bmp.systemError();
        return WriteOutcome::BmpFailed;
    }
    // Both files are written from the same blocks. A header that fails does not stop the BMP
    // file, which is kept on its own.
    HeaderFileWriter header(paths.header, bmpSize, headerOptions);
    bool headerWritten = header.open();
    const bool bmpWritten = image.writeBmp16([&](const char *data, qint64 size) {
        if (!bmp.write(data, size))
            return false;
        headerWritten = headerWritten && header.append(data, size);
        return true;
    });
    if (!bmpWritten || !bmp.commit()) {
        header.cancel();
        error = bmp.systemError();
        return WriteOutcome::BmpFailed;
    }
    if (!headerWritten || !header.commit()) {
        error = header.systemError();
        return WriteOutcome::HeaderFailed;
    }
    return WriteOutcome::Written;
}
