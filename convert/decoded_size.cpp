#include "decoded_size.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <climits>

namespace {

constexpr int workingBytesPerPixel = 4; // the 32-bit form before the reduction to 5-6-5

struct PictureHeader
{
    QSize size;
    int bytesPerPixel = workingBytesPerPixel;
};

// Reads `size` bytes at `position`, leaving the device where it was.
QByteArray readAt(QIODevice *device, qint64 position, int size)
{
    const qint64 before = device->pos();
    QByteArray bytes;
    if (device->seek(position))
        bytes = device->read(size);
    device->seek(before);
    return bytes.size() == size ? bytes : QByteArray();
}

// The GIF logical screen (bytes 6 to 9), the canvas Qt's reader draws every frame on.
bool readGifScreen(QIODevice *device, PictureHeader *header)
{
    const QByteArray screen = readAt(device, 6, 4);
    if (screen.isEmpty())
        return false;
    header->size = QSize(qFromLittleEndian<quint16>(screen.constData()),
                         qFromLittleEndian<quint16>(screen.constData() + 2));
    return true;
}

// The picture of an icon's first directory entry, the one Qt's reader decodes: either a PNG
// file, whose IHDR chunk gives its size and depth, or a DIB whose height counts the colour
// rows and the transparency mask together.
bool readIconEntry(QIODevice *device, PictureHeader *header)
{
    const QByteArray entry = readAt(device, 6, 16);
    if (entry.isEmpty())
        return false;
    const auto claimed = [&](int at) { return quint8(entry[at]) == 0 ? 256 : int(quint8(entry[at])); };
    header->size = QSize(claimed(0), claimed(1));

    const quint32 offset = qFromLittleEndian<quint32>(entry.constData() + 12);
    const QByteArray image = readAt(device, offset, 26);
    if (image.isEmpty())
        return false;
    const char *data = image.constData();
    if (image.startsWith("\x89PNG\r\n\x1a\n")) {
        const QSize png(int(qMin<quint32>(qFromBigEndian<quint32>(data + 16), INT_MAX)),
                        int(qMin<quint32>(qFromBigEndian<quint32>(data + 20), INT_MAX)));
        header->size = header->size.expandedTo(png);
        if (quint8(data[24]) == 16) // 16 bits a channel decode to 64-bit pixels
            header->bytesPerPixel = 8;
    } else {
        const qint64 width = qAbs(qint64(qFromLittleEndian<qint32>(data + 4)));
        const qint64 height = qAbs(qint64(qFromLittleEndian<qint32>(data + 8))) / 2;
        header->size = header->size.expandedTo(
            QSize(int(qMin<qint64>(width, INT_MAX)), int(qMin<qint64>(height, INT_MAX))));
    }
    return true;
}

} // namespace

qint64 decodedPictureBytes(const QByteArray &readerFormat, QSize claimedSize, QImage::Format pixelFormat,
                           QIODevice *device)
{
    PictureHeader container;
    if (readerFormat == "gif" && !readGifScreen(device, &container))
        return -1;
    if ((readerFormat == "ico" || readerFormat == "cur") && !readIconEntry(device, &container))
        return -1;

    const QSize size = claimedSize.expandedTo(container.size);
    int bytesPerPixel = std::max(workingBytesPerPixel, container.bytesPerPixel);
    if (pixelFormat != QImage::Format_Invalid)
        bytesPerPixel = std::max(bytesPerPixel, QImage::toPixelFormat(pixelFormat).bitsPerPixel() / 8);
    return qint64(qMax(size.width(), 0)) * qMax(size.height(), 0) * bytesPerPixel;
}
