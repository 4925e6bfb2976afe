#include "codecs.h"
#include "header_reading.h"

#include <QtEndian>

// Sun raster pictures, read by another package's reader in the child, which announces no size.

namespace {

bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    const QByteArray bytes = readAt(device, 0, 12);
    if (bytes.isEmpty() || qFromBigEndian<quint32>(bytes.constData()) != 0x59a66a95)
        return false;
    enlarge(claims, qFromBigEndian<quint32>(bytes.constData() + 4),
            qFromBigEndian<quint32>(bytes.constData() + 8));
    return true;
}

} // namespace

const Codec &sunRasterCodec()
{
    static const Codec codec = [] {
        Codec ras;
        ras.family = "ras";
        ras.formats = {"ras"};
        ras.signatures = {{0, QByteArrayLiteral("\x59\xa6\x6a\x95"), "ras"}};
        ras.readHeader = readHeader;
        return ras;
    }();
    return codec;
}
