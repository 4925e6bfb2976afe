#include "codecs.h"
#include "header_reading.h"

#include <QtEndian>

// PCX, read by another package's reader in the child, which announces no size: it is read here,
// at a fixed place of the header.

namespace {

// Its manufacturer byte, a known version, run-length encoding, and 1, 2, 4 or 8 bits.
QByteArray formatOf(const QByteArray &head, const QString &)
{
    const bool pcx = head.size() >= 4 && head[0] == '\x0a'
        && QByteArray("\x00\x02\x03\x04\x05", 5).contains(head[1]) && head[2] == '\x01'
        && QByteArray("\x01\x02\x04\x08", 4).contains(head[3]);
    return pcx ? QByteArray("pcx") : QByteArray();
}

bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    const QByteArray bytes = readAt(device, 4, 8);
    if (bytes.isEmpty())
        return false;
    const auto at
        = [&](int offset) { return qint64(qFromLittleEndian<quint16>(bytes.constData() + offset)); };
    const qint64 width = at(4) - at(0) + 1, height = at(6) - at(2) + 1;
    if (width <= 0 || height <= 0)
        return false;
    enlarge(claims, width, height);
    return true;
}

} // namespace

const Codec &pcxCodec()
{
    static const Codec codec = [] {
        Codec pcx;
        pcx.family = "pcx";
        pcx.formats = {"pcx"};
        pcx.probe = formatOf;
        pcx.readHeader = readHeader;
        pcx.readsWithinTheFile = true;
        return pcx;
    }();
    return codec;
}
