#include "conversion.h"

#include "header_generator.h"
#include "qimage16.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>

namespace {

// Qt's BMP reader accepts a file whose pixel rows are cut short and leaves the missing rows
// uninitialised: heap garbage that would end up in the firmware, different on every run. So an
// uncompressed BMP file must hold all the rows its header announces.
bool isTruncatedBmp(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray header = file.read(34);
    if (header.size() < 26)
        return true;
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(header.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(header.constData() + at); };

    const quint32 infoSize = u32(14);
    qint64 width = 0, height = 0, bitsPerPixel = 0;
    quint32 compression = 0;
    if (infoSize == 12) { // OS/2 core header
        width = u16(18);
        height = u16(20);
        bitsPerPixel = u16(24);
    } else {
        if (header.size() < 34)
            return true;
        width = qint32(u32(18));
        height = qint32(u32(22));
        bitsPerPixel = u16(28);
        compression = u32(30);
    }
    constexpr quint32 none = 0, bitFields = 3, alphaBitFields = 6;
    if (compression != none && compression != bitFields && compression != alphaBitFields)
        return false; // run-length encoded rows have no fixed size
    const qint64 rowSize = (qAbs(width) * bitsPerPixel + 31) / 32 * 4;
    return file.size() < qint64(u32(10)) + rowSize * qAbs(height);
}

} // namespace

DecodedPicture decodePicture(const QString &filePath)
{
    QImageReader reader(filePath);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > maxSourcePixels)
        return {DecodedPicture::TooLarge, QImage()};
    const bool isBmp = reader.format() == "bmp"; // known only until the reader has read
    QImage image = reader.read();
    if (image.isNull() || (isBmp && isTruncatedBmp(filePath)))
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

WriteOutcome writeOutputFiles(const QImage16 &image, const OutputPaths &paths, int *systemError)
{
    int error = 0;
    WriteOutcome outcome = WriteOutcome::Written;
    if (!image.saveBmp16(paths.bmp, &error))
        outcome = WriteOutcome::BmpFailed;
    else if (!generateHeaderFile(paths.bmp, paths.header, &error))
        outcome = WriteOutcome::HeaderFailed;
    if (systemError)
        *systemError = error;
    return outcome;
}
