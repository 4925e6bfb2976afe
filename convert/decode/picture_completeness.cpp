#include "picture_completeness.h"

#include <QIODevice>
#include <QtEndian>

#include <cstring>

namespace {

// Reads `size` bytes at `position`; empty when the file holds fewer.
QByteArray readAt(QIODevice *device, qint64 position, int size)
{
    QByteArray bytes;
    if (position >= 0 && device->seek(position))
        bytes = device->read(size);
    return bytes.size() == size ? bytes : QByteArray();
}

// The position of the first marker after entropy-coded data, which holds 0xff only before 0 (a
// stuffed byte) or a restart marker; -1 when the file ends first.
qint64 endOfEntropyCodedData(QIODevice *device, qint64 position)
{
    if (!device->seek(position))
        return -1;
    for (;;) {
        const QByteArray block = device->read(1 << 16);
        if (block.size() < 2)
            return -1;
        const char *data = block.constData();
        const char *end = data + block.size() - 1; // a marker needs the byte after 0xff
        for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, 0xff, size_t(end - p))));
             ++p) {
            const quint8 next = quint8(p[1]);
            if (next != 0 && !(next >= 0xd0 && next <= 0xd7))
                return position + (p - data);
        }
        position += block.size() - 1;
        if (!device->seek(position))
            return -1;
    }
}

// Marker after marker up to the end of image; the data of every scan is skipped over.
bool jpegReachesItsEnd(QIODevice *device)
{
    qint64 position = 2; // after the start of image
    for (;;) {
        const QByteArray marker = readAt(device, position, 2);
        if (marker.isEmpty() || quint8(marker[0]) != 0xff)
            return false;
        const quint8 code = quint8(marker[1]);
        if (code == 0xd9)
            return true;
        if (code == 0xff || code == 0x01 || (code >= 0xd0 && code <= 0xd7)) { // fill byte, no length
            position += code == 0xff ? 1 : 2;
            continue;
        }
        const QByteArray length = readAt(device, position + 2, 2);
        if (length.isEmpty())
            return false;
        position += 2 + qFromBigEndian<quint16>(length.constData());
        if (code == 0xda) {
            position = endOfEntropyCodedData(device, position);
            if (position < 0)
                return false;
        }
    }
}

// Chunk after chunk, each whole, handing each one's type to `goOn` until it says to stop: false
// when the file ends first.
template<typename GoOn> bool walkPngChunks(QIODevice *device, GoOn goOn)
{
    const qint64 size = device->size();
    qint64 position = 8; // after the signature
    for (;;) {
        const QByteArray head = readAt(device, position, 8);
        if (head.isEmpty())
            return false;
        const qint64 end = position + 12 + qFromBigEndian<quint32>(head.constData());
        if (end > size)
            return false;
        if (!goOn(head.mid(4)))
            return true;
        position = end;
    }
}

// Chunk after chunk up to IEND, each whole.
bool pngReachesItsEnd(QIODevice *device)
{
    return walkPngChunks(device, [](const QByteArray &type) { return type != "IEND"; });
}

// The sub-blocks that follow an extension or a picture, up to the empty one; -1 when the file
// ends first.
qint64 afterGifSubBlocks(QIODevice *device, qint64 position)
{
    // Read 64 KiB at a time: a frame's data comes in sub-blocks of 255 bytes at most.
    QByteArray window;
    qint64 windowStart = 0;
    for (;;) {
        if (position < windowStart || position >= windowStart + window.size()) {
            if (position < 0 || !device->seek(position))
                return -1;
            window = device->read(1 << 16);
            windowStart = position;
            if (window.isEmpty())
                return -1;
        }
        const quint8 length = quint8(window[int(position - windowStart)]);
        position += 1 + length;
        if (length == 0)
            return position;
    }
}

// Block after block up to the trailer (0x3b).
bool gifReachesItsEnd(QIODevice *device)
{
    const QByteArray screen = readAt(device, 6, 7);
    if (screen.isEmpty())
        return false;
    const auto colourTable = [](quint8 flags) { return flags & 0x80 ? 3 << ((flags & 7) + 1) : 0; };
    qint64 position = 13 + colourTable(quint8(screen[4]));
    for (;;) {
        const QByteArray block = readAt(device, position, 1);
        if (block.isEmpty())
            return false;
        switch (quint8(block[0])) {
        case 0x3b:
            return true;
        case 0x21: // an extension: its label, then its sub-blocks
            position = afterGifSubBlocks(device, position + 2);
            break;
        case 0x2c: { // a picture: its descriptor, colour table and code size, then its data
            const QByteArray descriptor = readAt(device, position + 1, 9);
            if (descriptor.isEmpty())
                return false;
            position = afterGifSubBlocks(device, position + 10 + colourTable(quint8(descriptor[8])) + 1);
            break;
        }
        default: // not a GIF block: damage, not an end, which the reader judges
            return true;
        }
        if (position < 0)
            return false;
    }
}

bool webpReachesItsEnd(QIODevice *device)
{
    const QByteArray riff = readAt(device, 0, 8);
    return !riff.isEmpty() && 8 + qint64(qFromLittleEndian<quint32>(riff.constData() + 4)) <= device->size();
}

// The first picture of the directory, the one Qt's reader decodes.
bool iconReachesItsEnd(QIODevice *device)
{
    const QByteArray entry = readAt(device, 6, 16);
    return !entry.isEmpty()
        && qint64(qFromLittleEndian<quint32>(entry.constData() + 8))
            + qFromLittleEndian<quint32>(entry.constData() + 12)
        <= device->size();
}

} // namespace

bool reachesItsEnd(const QByteArray &readerFormat, QIODevice *device)
{
    const qint64 before = device->pos();
    bool whole = true;
    if (readerFormat == "jpeg")
        whole = jpegReachesItsEnd(device);
    else if (readerFormat == "png")
        whole = pngReachesItsEnd(device);
    else if (readerFormat == "gif")
        whole = gifReachesItsEnd(device);
    else if (readerFormat == "webp")
        whole = webpReachesItsEnd(device);
    else if (readerFormat == "ico" || readerFormat == "cur")
        whole = iconReachesItsEnd(device);
    device->seek(before);
    return whole;
}

bool readsWithinTheFile(const QByteArray &readerFormat)
{
    return readerFormat == "bmp" || readerFormat == "tga" || readerFormat == "tiff" || readerFormat == "hdr"
        || readerFormat == "pcx";
}

bool isAnimatedPng(QIODevice *device)
{
    const qint64 before = device->pos();
    bool animated = false;
    walkPngChunks(device, [&](const QByteArray &type) {
        animated = type == "acTL";
        return !animated && type != "IDAT" && type != "IEND";
    });
    device->seek(before);
    return animated;
}
