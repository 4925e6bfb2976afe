#include "codecs.h"
#include "header_reading.h"

#include <QIODevice>

// GIF, composed here from its blocks (gif_frames.h), its first frame as any picture is: every
// frame drawn on a canvas of the logical screen's size, the size that counts. Its blocks, followed
// up to the trailer, tell a whole file (Qt's reader leaves the rest of the screen).

namespace {

// The logical screen, the canvas every frame is drawn on.
bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    return readSizeAt(device, 6, claims);
}

// The sub-blocks that follow an extension or a picture, up to the empty one; -1 when the file
// ends first.
qint64 afterSubBlocks(QIODevice *device, qint64 position)
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
bool reachesItsEnd(QIODevice *device)
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
            position = afterSubBlocks(device, position + 2);
            break;
        case 0x2c: { // a picture: its descriptor, colour table and code size, then its data
            const QByteArray descriptor = readAt(device, position + 1, 9);
            if (descriptor.isEmpty())
                return false;
            position = afterSubBlocks(device, position + 10 + colourTable(quint8(descriptor[8])) + 1);
            break;
        }
        default: // not a GIF block: damage, not an end, which the reader judges
            return true;
        }
        if (position < 0)
            return false;
    }
}

} // namespace

const Codec &gifCodec()
{
    static const Codec codec = [] {
        Codec gif;
        gif.family = "gif";
        gif.formats = {"gif"};
        gif.signatures = {{0, QByteArrayLiteral("GIF87a"), "gif"}, {0, QByteArrayLiteral("GIF89a"), "gif"}};
        gif.reading = Reading::InProcess;
        gif.readHeader = readHeader;
        gif.reachesItsEnd = reachesItsEnd;
        gif.frames = Frames::ComposedHere;
        return gif;
    }();
    return codec;
}
