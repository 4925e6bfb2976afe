#include "picture_completeness.h"

#include "codecs.h"

#include <QIODevice>

bool reachesItsEnd(const QByteArray &readerFormat, QIODevice *device)
{
    // Each container is followed by its codec (codecs/).
    const Codec &codec = codecOf(readerFormat);
    const qint64 before = device->pos();
    const bool whole = !codec.reachesItsEnd || codec.reachesItsEnd(device);
    device->seek(before);
    return whole;
}

bool readsWithinTheFile(const QByteArray &readerFormat)
{
    return codecOf(readerFormat).readsWithinTheFile;
}
