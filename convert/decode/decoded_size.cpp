#include "decoded_size.h"

#include <QIODevice>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int workingBytesPerPixel = 4; // the 32-bit form before the reduction to 5-6-5

// What the file's own headers say of the picture.
struct PictureHeader
{
    QSize size; // the largest picture found
    qint64 extraBytesPerPixel = 0; // what the decoder holds beside the picture, per pixel
    int minimumBytesPerPixel = workingBytesPerPixel;
    qint64 coefficientBytes = 0; // a progressive JPEG's coefficients
    int scans = 0;
    qint64 scanBlocks = 0;
};

// Products and sums of the sizes and counts files claim, which may reach beyond 64 bits (a picture
// of 2^31 x 2^31 pixels of 4 bytes), held at the largest number instead: a cost that wrapped would
// pass any bound.
qint64 timesAtMost(qint64 a, qint64 b)
{
    return b != 0 && a > LLONG_MAX / b ? LLONG_MAX : a * b;
}

qint64 plusAtMost(qint64 a, qint64 b)
{
    return a > LLONG_MAX - b ? LLONG_MAX : a + b;
}

// Reads `size` bytes at `position`, leaving the device where it was.
QByteArray readAt(QIODevice *device, qint64 position, int size)
{
    const qint64 before = device->pos();
    QByteArray bytes;
    if (position >= 0 && device->seek(position))
        bytes = device->read(size);
    device->seek(before);
    return bytes.size() == size ? bytes : QByteArray();
}

QSize clampedSize(qint64 width, qint64 height)
{
    return QSize(int(std::clamp<qint64>(width, 0, INT_MAX)), int(std::clamp<qint64>(height, 0, INT_MAX)));
}

void enlarge(PictureHeader *header, qint64 width, qint64 height)
{
    header->size = header->size.expandedTo(clampedSize(width, height));
}

// A width and a height of 16 bits each, little-endian, at `position`.
bool readSizeAt(QIODevice *device, qint64 position, PictureHeader *header)
{
    const QByteArray bytes = readAt(device, position, 4);
    if (bytes.isEmpty())
        return false;
    enlarge(header, qFromLittleEndian<quint16>(bytes.constData()),
            qFromLittleEndian<quint16>(bytes.constData() + 2));
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
    enlarge(header, claimed(0), claimed(1));

    const quint32 offset = qFromLittleEndian<quint32>(entry.constData() + 12);
    const QByteArray image = readAt(device, offset, 26);
    if (image.isEmpty())
        return false;
    const char *data = image.constData();
    if (image.startsWith("\x89PNG\r\n\x1a\n")) {
        enlarge(header, qFromBigEndian<quint32>(data + 16), qFromBigEndian<quint32>(data + 20));
        if (quint8(data[24]) == 16) // 16 bits a channel decode to 64-bit pixels
            header->minimumBytesPerPixel = 8;
    } else {
        enlarge(header, qAbs(qint64(qFromLittleEndian<qint32>(data + 4))),
                qAbs(qint64(qFromLittleEndian<qint32>(data + 8))) / 2);
    }
    return true;
}

// Formats whose readers announce no size keep it at a fixed place of their header.
bool readPcx(QIODevice *device, PictureHeader *header)
{
    const QByteArray bytes = readAt(device, 4, 8);
    if (bytes.isEmpty())
        return false;
    const auto at
        = [&](int offset) { return qint64(qFromLittleEndian<quint16>(bytes.constData() + offset)); };
    const qint64 width = at(4) - at(0) + 1, height = at(6) - at(2) + 1;
    if (width <= 0 || height <= 0)
        return false;
    enlarge(header, width, height);
    return true;
}

// SGI: each channel's rows apart, so a pixel's samples all count.
bool readSgi(QIODevice *device, PictureHeader *header)
{
    const QByteArray bytes = readAt(device, 0, 12);
    if (bytes.isEmpty() || qFromBigEndian<quint16>(bytes.constData()) != 474)
        return false;
    const auto at = [&](int offset) { return qFromBigEndian<quint16>(bytes.constData() + offset); };
    enlarge(header, at(6), at(8));
    header->extraBytesPerPixel = qint64(std::max<quint16>(at(10), 1)) * std::max<quint8>(quint8(bytes[3]), 1);
    return true;
}

bool readSunRaster(QIODevice *device, PictureHeader *header)
{
    const QByteArray bytes = readAt(device, 0, 12);
    if (bytes.isEmpty() || qFromBigEndian<quint32>(bytes.constData()) != 0x59a66a95)
        return false;
    enlarge(header, qFromBigEndian<quint32>(bytes.constData() + 4),
            qFromBigEndian<quint32>(bytes.constData() + 8));
    return true;
}

// Radiance HDR: text lines, an empty one, then the resolution, such as "-Y 480 +X 640".
bool readRadiance(QIODevice *device, PictureHeader *header)
{
    const qint64 before = device->pos();
    device->seek(0);
    const QByteArray head = device->read(8192);
    device->seek(before);
    const int blank = head.indexOf("\n\n");
    if (!head.startsWith("#?") || blank < 0)
        return false;
    const QRegularExpressionMatch resolution
        = QRegularExpression(QStringLiteral("\\A[-+]([XY]) (\\d{1,10}) [-+]([XY]) (\\d{1,10})\n"))
              .match(QString::fromLatin1(head.mid(blank + 2)));
    if (!resolution.hasMatch() || resolution.captured(1) == resolution.captured(3))
        return false;
    // The first axis is the one whose lines are stored one after the other.
    const qint64 first = resolution.captured(2).toLongLong(), second = resolution.captured(4).toLongLong();
    if (resolution.captured(1) == QLatin1String("Y"))
        enlarge(header, second, first);
    else
        enlarge(header, first, second);
    return true;
}

// MNG: the frame's size in the MHDR chunk, and every picture the frames embed, since the
// decoder holds each one whole.
bool readMng(QIODevice *device, PictureHeader *header)
{
    constexpr int maxChunks = 100000;
    qint64 position = 8;
    bool framed = false;
    for (int chunk = 0; chunk < maxChunks; ++chunk) {
        const QByteArray head = readAt(device, position, 16);
        if (head.isEmpty())
            break;
        const quint32 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4, 4);
        if (type == "MHDR" || type == "IHDR" || type == "JHDR" || type == "BASI") {
            enlarge(header, qFromBigEndian<quint32>(head.constData() + 8),
                    qFromBigEndian<quint32>(head.constData() + 12));
            framed = framed || type == "MHDR";
        }
        if (type == "MEND")
            break;
        position += 12 + qint64(length);
    }
    return framed;
}

// TIFF: the first directory's size, samples a pixel and bits a sample. Pictures of more than
// four samples a pixel are decoded through libtiff's RGBA reader, which holds all their samples
// beside the picture.
bool readTiff(QIODevice *device, PictureHeader *header)
{
    const QByteArray start = readAt(device, 0, 16);
    if (start.isEmpty())
        return false;
    const bool little = start.startsWith("II");
    const auto u16
        = [&](const char *p) { return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p); };
    const auto u32
        = [&](const char *p) { return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p); };
    const auto u64
        = [&](const char *p) { return little ? qFromLittleEndian<quint64>(p) : qFromBigEndian<quint64>(p); };
    const bool big = u16(start.constData() + 2) == 43; // BigTIFF: 8-byte counts and offsets
    const qint64 directory
        = big ? qint64(qMin<quint64>(u64(start.constData() + 8), LLONG_MAX)) : u32(start.constData() + 4);
    const QByteArray countBytes = readAt(device, directory, big ? 8 : 2);
    if (countBytes.isEmpty())
        return false;
    const qint64 count = qMin<qint64>(
        big ? qint64(qMin<quint64>(u64(countBytes.constData()), 4096)) : u16(countBytes.constData()), 4096);
    const int entrySize = big ? 20 : 12;
    const QByteArray entries = readAt(device, directory + countBytes.size(), int(count * entrySize));
    if (entries.isEmpty())
        return false;
    qint64 width = 0, height = 0, samples = 1, bits = 1;
    for (qint64 i = 0; i < count; ++i) {
        const char *entry = entries.constData() + i * entrySize;
        const quint16 tag = u16(entry), type = u16(entry + 2);
        const char *value = entry + (big ? 12 : 8);
        // A LONG8 of 8 bytes is within a BigTIFF's entry; a classic TIFF's field of 4 bytes gives
        // where it is, as libtiff reads it.
        const QByteArray long8 = type != 16 ? QByteArray()
            : big                           ? QByteArray(value, 8)
                                            : readAt(device, u32(value), 8);
        const qint64 number = type == 3 ? u16(value)
            : type == 4                 ? u32(value)
            : !long8.isEmpty()          ? qint64(qMin<quint64>(u64(long8.constData()), INT_MAX))
                                        : 0;
        if (tag == 256)
            width = number;
        else if (tag == 257)
            height = number;
        else if (tag == 277)
            samples = std::max<qint64>(number, 1);
        else if (tag == 258) { // one value a sample, inline when they fit; the first one tells
            const quint64 values = big ? u64(entry + 4) : u32(entry + 4);
            const QByteArray first = values * 2 <= quint64(big ? 8 : 4)
                ? QByteArray(value, 2)
                : readAt(device, big ? qint64(qMin<quint64>(u64(value), LLONG_MAX)) : u32(value), 2);
            if (!first.isEmpty())
                bits = std::max<qint64>(bits, u16(first.constData()));
        }
    }
    if (width <= 0 || height <= 0)
        return false;
    enlarge(header, width, height);
    if (samples > 4)
        header->extraBytesPerPixel = samples * ((bits + 7) / 8);
    return true;
}

// JPEG: the frame header gives the size and the components; a progressive picture keeps all of
// its coefficients, 64 of 2 bytes a block, and each of its scans goes over them again, so the
// scans are counted (the entropy-coded data in between is skipped over).
class JpegReader
{
public:
    explicit JpegReader(QIODevice *device)
        : m_device(device)
    { }

    bool read(PictureHeader *header)
    {
        qint64 position = 2; // after the start of image
        bool progressive = false;
        bool framed = false;
        for (;;) {
            const QByteArray marker = readAt(m_device, position, 4);
            if (marker.size() < 2 || quint8(marker[0]) != 0xff)
                return framed;
            const quint8 code = quint8(marker[1]);
            if (code == 0xff) { // fill byte
                ++position;
                continue;
            }
            if (code == 0xd9 || marker.size() < 4)
                return framed;
            if (code == 0x01 || (code >= 0xd0 && code <= 0xd7)) {
                position += 2;
                continue;
            }
            const qint64 length = qFromBigEndian<quint16>(marker.constData() + 2);
            const bool startOfFrame
                = code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc;
            if (startOfFrame && !framed) {
                if (!readFrame(position + 4, length - 2, header, code))
                    return false;
                framed = true;
                progressive = code == 0xc2 || code == 0xc6 || code == 0xca || code == 0xce;
            }
            if (code == 0xda) {
                ++header->scans;
                if (!progressive)
                    return framed;
                header->scanBlocks += scanBlocks(position + 4, length - 2);
            }
            position += 2 + length;
            if (code == 0xda)
                position = endOfEntropyCodedData(position);
        }
    }

private:
    bool readFrame(qint64 position, qint64 length, PictureHeader *header, quint8 code)
    {
        const QByteArray frame = readAt(m_device, position, int(qBound<qint64>(0, length, 6 + 255 * 3)));
        if (frame.size() < 6)
            return false;
        const int height = qFromBigEndian<quint16>(frame.constData() + 1);
        const int width = qFromBigEndian<quint16>(frame.constData() + 3);
        const int components = quint8(frame[5]);
        if (frame.size() < 6 + components * 3)
            return false;
        enlarge(header, width, height);
        if (code != 0xc2 && code != 0xc6 && code != 0xca && code != 0xce)
            return true;
        int maxH = 1, maxV = 1;
        for (int c = 0; c < components; ++c) {
            maxH = std::max(maxH, quint8(frame[7 + 3 * c]) >> 4);
            maxV = std::max(maxV, quint8(frame[7 + 3 * c]) & 0xf);
        }
        for (int c = 0; c < components; ++c) {
            const int h = std::max(1, quint8(frame[7 + 3 * c]) >> 4),
                      v = std::max(1, quint8(frame[7 + 3 * c]) & 0xf);
            // Blocks of the component, rounded up to whole units of its sampling, as libjpeg does.
            const auto blocks = [](qint64 pixels, int factor, int maxFactor) {
                const qint64 count = (pixels * factor + maxFactor * 8 - 1) / (maxFactor * 8);
                return (count + factor - 1) / factor * factor;
            };
            const qint64 componentBlocks = blocks(width, h, maxH) * blocks(height, v, maxV);
            m_componentBlocks[quint8(frame[6 + 3 * c])] = componentBlocks;
            header->coefficientBytes += componentBlocks * 64 * 2;
        }
        return true;
    }

    // The blocks of the components a scan header names.
    qint64 scanBlocks(qint64 position, qint64 length)
    {
        const QByteArray scan = readAt(m_device, position, int(qBound<qint64>(0, length, 1 + 4 * 2)));
        qint64 blocks = 0;
        for (int c = 0; !scan.isEmpty() && c < quint8(scan[0]) && 2 + 2 * c < scan.size(); ++c)
            blocks += m_componentBlocks[quint8(scan[1 + 2 * c])];
        return blocks;
    }

    // The position of the first marker after entropy-coded data, which holds 0xff only before 0
    // (a stuffed byte) or a restart marker.
    qint64 endOfEntropyCodedData(qint64 position)
    {
        const qint64 before = m_device->pos();
        m_device->seek(position);
        QByteArray block;
        for (;;) {
            block = m_device->read(1 << 16);
            if (block.size() < 2)
                break;
            const char *data = block.constData();
            const char *end = data + block.size() - 1; // a marker needs the byte after 0xff
            for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, 0xff, size_t(end - p))));
                 ++p) {
                const quint8 next = quint8(p[1]);
                if (next != 0 && !(next >= 0xd0 && next <= 0xd7)) {
                    m_device->seek(before);
                    return position + (p - data);
                }
            }
            position += block.size() - 1;
            m_device->seek(position);
        }
        m_device->seek(before);
        return position + block.size();
    }

    QIODevice *m_device;
    qint64 m_componentBlocks[256] = {};
};

bool readHeader(const QByteArray &format, QIODevice *device, PictureHeader *header, bool *known)
{
    *known = true;
    if (format == "gif") // the logical screen, the canvas Qt's reader draws every frame on
        return readSizeAt(device, 6, header);
    if (format == "ico" || format == "cur")
        return readIconEntry(device, header);
    if (format == "jpeg")
        return JpegReader(device).read(header);
    if (format == "tiff")
        return readTiff(device, header);
    if (format == "tga")
        return readSizeAt(device, 12, header);
    if (format == "pcx")
        return readPcx(device, header);
    if (format == "rgb" || format == "sgi")
        return readSgi(device, header);
    if (format == "ras")
        return readSunRaster(device, header);
    if (format == "hdr")
        return readRadiance(device, header);
    if (format == "mng")
        return readMng(device, header);
    *known = false;
    return true;
}

} // namespace

qint64 decodedPictureBytes(QSize size, QImage::Format pixelFormat)
{
    int bytesPerPixel = workingBytesPerPixel;
    if (pixelFormat != QImage::Format_Invalid)
        bytesPerPixel = std::max(bytesPerPixel, QImage::toPixelFormat(pixelFormat).bitsPerPixel() / 8);
    return timesAtMost(qint64(qMax(size.width(), 0)) * qMax(size.height(), 0), bytesPerPixel);
}

DecodingCost decodingCost(const QByteArray &readerFormat, QSize claimedSize, QImage::Format pixelFormat,
                          QIODevice *device, QSize decodedSize)
{
    PictureHeader header;
    bool known = false;
    if (!readHeader(readerFormat, device, &header, &known))
        return {};
    // A top-down BMP announces a negative height.
    const QSize claimed(claimedSize.width(), qAbs(claimedSize.height()));
    const QSize size = claimed.isValid() ? claimed.expandedTo(header.size) : header.size;
    if (!known && !claimed.isValid())
        return {DecodingCost::Unknown, QSize(), 0, 0, 0};
    if (size.isEmpty())
        return {};
    const QSize decoded = decodedSize.isValid() ? decodedSize : size;
    const qint64 pixels = qint64(decoded.width()) * decoded.height();
    const qint64 bytes = plusAtMost(plusAtMost(std::max(decodedPictureBytes(decoded, pixelFormat),
                                                        timesAtMost(pixels, header.minimumBytesPerPixel)),
                                               timesAtMost(pixels, header.extraBytesPerPixel)),
                                    header.coefficientBytes);
    return {DecodingCost::Known, size, bytes, header.scans, header.scanBlocks};
}
