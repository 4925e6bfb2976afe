#include "codecs.h"
#include "header_reading.h"
#include "picture_completeness.h"
#include "row_decoding.h"

#include <QIODevice>
#include <QtEndian>

// PNG, read by Qt's reader in this process, or by rows through libpng when too large to be decoded
// whole. Its chunks, each whole, up to IEND tell a whole file; an acTL chunk before the first IDAT,
// an animated PNG (APNG), of which Qt 5's reader reads the default picture only.

namespace {

// Chunk after chunk, each whole, handing each one's type to `goOn` until it says to stop: false
// when the file ends first.
template<typename GoOn> bool walkChunks(QIODevice *device, GoOn goOn)
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
bool reachesItsEnd(QIODevice *device)
{
    return walkChunks(device, [](const QByteArray &type) { return type != "IEND"; });
}

} // namespace

bool isAnimatedPng(QIODevice *device)
{
    bool animated = false;
    walkChunks(device, [&](const QByteArray &type) {
        animated = type == "acTL";
        return !animated && type != "IDAT" && type != "IEND";
    });
    return animated;
}

const Codec &pngCodec()
{
    static const Codec codec = [] {
        Codec png;
        png.family = "png";
        png.formats = {"png"};
        png.signatures = {{0, QByteArrayLiteral("\x89PNG\r\n\x1a\n"), "png"}};
        png.reading = Reading::InProcess;
        png.reachesItsEnd = reachesItsEnd;
        png.frames = Frames::DefaultPictureOnly;
        png.animates = isAnimatedPng;
        png.decodeByRows = decodePngByRows;
        return png;
    }();
    return codec;
}
