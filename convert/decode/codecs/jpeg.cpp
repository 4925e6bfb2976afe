#include "codecs.h"
#include "header_reading.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>

// JPEG, read by Qt's reader (libjpeg) in this process. Its markers are walked once for all that is
// read of it: the frame header gives the size and the components; a progressive picture keeps all
// of its coefficients, 64 of 2 bytes a block, and each of its scans goes over them again, so the
// scans are counted; and the end of image tells a whole file (libjpeg paints what is missing grey).

namespace {

bool isRestart(quint8 code)
{
    return code >= 0xd0 && code <= 0xd7;
}

bool isStartOfFrame(quint8 code)
{
    return code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc;
}

bool isProgressive(quint8 code)
{
    return code == 0xc2 || code == 0xc6 || code == 0xca || code == 0xce;
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
            if (next != 0 && !isRestart(next))
                return position + (p - data);
        }
        position += block.size() - 1;
        if (!device->seek(position))
            return -1;
    }
}

enum class WalkEnd { EndOfImage, Cut, Stopped };

// Marker after marker from the start of image on, up to the end of image: each segment handed to
// `visit` with its code, where its contents start and their length, until it answers false; the
// entropy-coded data after each scan's header skipped over. Leaves the device where it was.
template<typename Visit> WalkEnd walkMarkers(QIODevice *device, Visit visit)
{
    const qint64 before = device->pos();
    WalkEnd end = WalkEnd::Cut;
    qint64 position = 2; // after the start of image
    for (;;) {
        const QByteArray marker = readAt(device, position, 2);
        if (marker.isEmpty() || quint8(marker[0]) != 0xff)
            break;
        const quint8 code = quint8(marker[1]);
        if (code == 0xd9) {
            end = WalkEnd::EndOfImage;
            break;
        }
        if (code == 0xff || code == 0x01 || isRestart(code)) { // a fill byte, or no length
            position += code == 0xff ? 1 : 2;
            continue;
        }
        const QByteArray length = readAt(device, position + 2, 2);
        if (length.isEmpty())
            break;
        const qint64 segmentLength = qFromBigEndian<quint16>(length.constData());
        if (!visit(code, position + 4, segmentLength - 2)) {
            end = WalkEnd::Stopped;
            break;
        }
        position += 2 + segmentLength;
        if (code == 0xda && (position = endOfEntropyCodedData(device, position)) < 0)
            break;
    }
    device->seek(before);
    return end;
}

// The blocks of each component, by its identifier, as a progressive frame lays them out.
using ComponentBlocks = qint64[256];

bool readFrame(QIODevice *device, qint64 position, qint64 length, quint8 code, HeaderClaims *claims,
               ComponentBlocks &componentBlocks)
{
    const QByteArray frame = readAt(device, position, int(qBound<qint64>(0, length, 6 + 255 * 3)));
    if (frame.size() < 6)
        return false;
    const int height = qFromBigEndian<quint16>(frame.constData() + 1);
    const int width = qFromBigEndian<quint16>(frame.constData() + 3);
    const int components = quint8(frame[5]);
    if (frame.size() < 6 + components * 3)
        return false;
    enlarge(claims, width, height);
    if (!isProgressive(code))
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
        const qint64 blocksOfComponent = blocks(width, h, maxH) * blocks(height, v, maxV);
        componentBlocks[quint8(frame[6 + 3 * c])] = blocksOfComponent;
        claims->coefficientBytes += blocksOfComponent * 64 * 2;
    }
    return true;
}

// The blocks of the components a scan header names.
qint64 scanBlocks(QIODevice *device, qint64 position, qint64 length, const ComponentBlocks &componentBlocks)
{
    const QByteArray scan = readAt(device, position, int(qBound<qint64>(0, length, 1 + 4 * 2)));
    qint64 blocks = 0;
    for (int c = 0; !scan.isEmpty() && c < quint8(scan[0]) && 2 + 2 * c < scan.size(); ++c)
        blocks += componentBlocks[quint8(scan[1 + 2 * c])];
    return blocks;
}

// The first frame header, and the scans up to the first one of a baseline picture, or all of a
// progressive one's.
bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    ComponentBlocks componentBlocks = {};
    bool framed = false, progressive = false, damaged = false;
    walkMarkers(device, [&](quint8 code, qint64 position, qint64 length) {
        if (isStartOfFrame(code) && !framed) {
            damaged = !readFrame(device, position, length, code, claims, componentBlocks);
            if (damaged)
                return false;
            framed = true;
            progressive = isProgressive(code);
        }
        if (code == 0xda) {
            ++claims->scans;
            if (!progressive)
                return false;
            claims->scanBlocks += scanBlocks(device, position, length, componentBlocks);
        }
        return true;
    });
    return framed && !damaged;
}

// Every marker up to the end of image; the data of every scan skipped over.
bool reachesItsEnd(QIODevice *device)
{
    return walkMarkers(device, [](quint8, qint64, qint64) { return true; }) == WalkEnd::EndOfImage;
}

} // namespace

const Codec &jpegCodec()
{
    static const Codec codec = [] {
        Codec jpeg;
        jpeg.family = "jpeg";
        jpeg.formats = {"jpeg"};
        jpeg.signatures = {{0, QByteArrayLiteral("\xff\xd8\xff"), "jpeg"}};
        jpeg.reading = Reading::InProcess;
        jpeg.readHeader = readHeader;
        jpeg.reachesItsEnd = reachesItsEnd;
        jpeg.frames = Frames::One;
        jpeg.scalesWhileDecoding = true;
        return jpeg;
    }();
    return codec;
}
