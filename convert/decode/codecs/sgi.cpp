#include "codecs.h"
#include "header_reading.h"

#include <QtEndian>

#include <algorithm>

// SGI pictures, read by another package's reader in the child, which announces no size. Each
// channel's rows are stored apart, so the decoder holds all of a pixel's samples.

namespace {

bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    const QByteArray bytes = readAt(device, 0, 12);
    if (bytes.isEmpty() || qFromBigEndian<quint16>(bytes.constData()) != 474)
        return false;
    const auto at = [&](int offset) { return qFromBigEndian<quint16>(bytes.constData() + offset); };
    enlarge(claims, at(6), at(8));
    claims->extraBytesPerPixel = qint64(std::max<quint16>(at(10), 1)) * std::max<quint8>(quint8(bytes[3]), 1);
    return true;
}

} // namespace

const Codec &sgiCodec()
{
    static const Codec codec = [] {
        Codec sgi;
        sgi.family = "sgi";
        sgi.formats = {"rgb", "sgi"};
        sgi.signatures = {{0, QByteArrayLiteral("\x01\xda"), "rgb"}};
        sgi.readHeader = readHeader;
        return sgi;
    }();
    return codec;
}
