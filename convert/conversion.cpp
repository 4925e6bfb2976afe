#include "conversion.h"

#include "header_generator.h"
#include "qimage16.h"

#include <QImageReader>

DecodedPicture decodePicture(const QString &filePath)
{
    QImageReader reader(filePath);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > maxSourcePixels)
        return {DecodedPicture::TooLarge, QImage()};
    QImage image = reader.read();
    if (image.isNull())
        return {DecodedPicture::NotAPicture, QImage()};
    return {DecodedPicture::Decoded, std::move(image)};
}

QImage toRgb565(const QImage &picture)
{
    // The same two steps as showing the picture through a QPixmap and taking it back.
    const QImage displayed = picture.convertToFormat(
        picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return displayed.convertToFormat(QImage::Format_RGB16);
}

WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths)
{
    if (!image.saveBmp16(paths.bmp))
        return WriteOutcome::BmpFailed;
    if (!generateHeaderFile(paths.bmp, paths.header))
        return WriteOutcome::HeaderFailed;
    return WriteOutcome::Written;
}
