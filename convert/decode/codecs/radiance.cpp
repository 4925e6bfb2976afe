#include "codecs.h"
#include "header_reading.h"

#include <QIODevice>
#include <QRegularExpression>

// Radiance HDR, read by another package's reader in the child, which announces no size: text
// lines, an empty one, then the resolution, such as "-Y 480 +X 640".

namespace {

bool readHeader(QIODevice *device, HeaderClaims *claims)
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
        enlarge(claims, second, first);
    else
        enlarge(claims, first, second);
    return true;
}

} // namespace

const Codec &radianceCodec()
{
    static const Codec codec = [] {
        Codec hdr;
        hdr.family = "hdr";
        hdr.formats = {"hdr"};
        hdr.signatures
            = {{0, QByteArrayLiteral("#?RADIANCE"), "hdr"}, {0, QByteArrayLiteral("#?RGBE"), "hdr"}};
        hdr.readHeader = readHeader;
        hdr.readsWithinTheFile = true;
        return hdr;
    }();
    return codec;
}
