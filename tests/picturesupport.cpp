#include "picturesupport.h"

#include "product.h"
#include "testsupport.h"

#include <QtEndian>

namespace TestSupport {

QImage patternPicture(int width, int height, bool withAlpha)
{
    QImage picture(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             qRgba((x * 37 + y * 11) & 0xff, (y * 53) & 0xff, (x * 29 + 100) & 0xff,
                                   withAlpha ? (x < width / 2 ? 0 : 255) : 255));
    return picture;
}

QImage alphaRampPicture()
{
    QImage picture(32, 8, QImage::Format_ARGB32);
    for (int alpha = 0; alpha < 256; ++alpha)
        picture.setPixel(
            alpha % 32, alpha / 32,
            qRgba((alpha * 97 + 13) & 0xff, (alpha * 59 + 200) & 0xff, (alpha * 173 + 71) & 0xff, alpha));
    return picture;
}

void savePicture(const QImage &picture, const QString &path, const char *format)
{
    if (qstrcmp(format, "GIF") == 0) {
        // GIF89a, 1 x 1, a two-colour table (black, white), one black pixel.
        writeFile(path,
                  QByteArray::fromHex("474946383961010001008000000000"
                                      "00FFFFFF"
                                      "2C000000000100010000"
                                      "02024401"
                                      "00"
                                      "3B"));
        return;
    }
    if (!picture.save(path, format))
        qFatal("cannot write %s", qPrintable(path));
}

namespace {

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffff;
    for (char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

} // namespace

QByteArray pngWithoutPixels(quint32 width, quint32 height, int bitsPerChannel, int colourType)
{
    const auto chunk = [](const QByteArray &type, const QByteArray &data) {
        return bigEndian32(quint32(data.size())) + type + data + bigEndian32(crc32(type + data));
    };
    // An RGB picture whose image data is one empty compressed block: its size can be read,
    // its pixels cannot.
    return QByteArray::fromHex("89504E470D0A1A0A")
        + chunk("IHDR",
                bigEndian32(width) + bigEndian32(height) + char(bitsPerChannel) + char(colourType)
                    + QByteArray::fromHex("000000"))
        + (colourType == 3 ? chunk("PLTE", QByteArray::fromHex("ff000000ff000000ff")) : QByteArray())
        + chunk("IDAT", QByteArray::fromHex("789C030000000001")) + chunk("IEND", QByteArray());
}

QByteArray storedZip(const QList<QPair<QByteArray, QByteArray>> &entries)
{
    const auto u16 = [](int value) { return littleEndian32(quint32(value)).left(2); };
    QByteArray archive, directory;
    for (const auto &[name, data] : entries) {
        // Version 1.0, no flags, stored, no date; the same fields in the local and the central
        // header.
        const QByteArray fields = u16(10) + u16(0) + u16(0) + u16(0) + u16(0) + littleEndian32(crc32(data))
            + littleEndian32(quint32(data.size())) + littleEndian32(quint32(data.size())) + u16(name.size())
            + u16(0);
        directory += littleEndian32(0x02014b50) + u16(10) + fields + u16(0) + u16(0) + u16(0)
            + littleEndian32(0) + littleEndian32(quint32(archive.size())) + name;
        archive += littleEndian32(0x04034b50) + fields + name + data;
    }
    return archive + directory + littleEndian32(0x06054b50) + u16(0) + u16(0) + u16(entries.size())
        + u16(entries.size()) + littleEndian32(quint32(directory.size()))
        + littleEndian32(quint32(archive.size())) + u16(0);
}

QByteArray bmpFile(int width, int height, int bitsPerPixel, int compression, const QByteArray &palette,
                   const QByteArray &pixels, qint64 pixelOffset, int infoSize)
{
    const auto u16 = [](int value) { return littleEndian32(quint32(value)).left(2); };
    QByteArray info = littleEndian32(quint32(infoSize));
    if (infoSize == 12) {
        info += u16(width) + u16(height) + u16(1) + u16(bitsPerPixel);
    } else {
        info += littleEndian32(quint32(width)) + littleEndian32(quint32(height)) + u16(1) + u16(bitsPerPixel)
            + littleEndian32(quint32(compression)) + littleEndian32(quint32(pixels.size()))
            + littleEndian32(2834) + littleEndian32(2834) + littleEndian32(quint32(palette.size() / 4))
            + littleEndian32(0);
        info.append(QByteArray(infoSize - info.size(), '\0'));
    }
    const qint64 offset = pixelOffset >= 0 ? pixelOffset : 14 + info.size() + palette.size();
    return "BM" + littleEndian32(quint32(14 + info.size() + palette.size() + pixels.size()))
        + littleEndian32(0) + littleEndian32(quint32(offset)) + info + palette + pixels;
}

QByteArray expectedBmp(const QImage &picture)
{
    const QImage rgb16 = picture.convertToFormat(QImage::Format_RGB16);
    const int rowSize = (rgb16.width() * 2 + 3) / 4 * 4;
    const quint32 pixelBytes = quint32(rowSize * rgb16.height());
    QByteArray bmp = "BM" + littleEndian32(pixelBytes + 54) + littleEndian32(0) + littleEndian32(54)
        + littleEndian32(40) + littleEndian32(quint32(rgb16.width()))
        + littleEndian32(quint32(rgb16.height())) + QByteArray::fromHex("01001000") + littleEndian32(0)
        + littleEndian32(pixelBytes) + littleEndian32(2834) + littleEndian32(2834) + littleEndian32(0)
        + littleEndian32(0);
    for (int y = rgb16.height() - 1; y >= 0; --y) {
        QByteArray row(rowSize, '\0');
        const auto *pixels = reinterpret_cast<const quint16 *>(rgb16.constScanLine(y));
        for (int x = 0; x < rgb16.width(); ++x)
            qToLittleEndian(pixels[x], row.data() + 2 * x);
        bmp += row;
    }
    return bmp;
}

QByteArray expectedHeader(const QByteArray &bytes)
{
    QByteArray text = QByteArray("// Fichier g\xC3\xA9n\xC3\xA9r\xC3\xA9 avec Quillon ") + Quillon::webAddress
        + "\n\nconst unsigned char logo[" + QByteArray::number(bytes.size()) + "] = \n{";
    for (int i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ',';
        if (i % 16 == 0)
            text += "\n\t";
        text += "0x" + QByteArray::number(uchar(bytes[i]), 16).rightJustified(2, '0');
    }
    return text + "\n};";
}

} // namespace TestSupport
