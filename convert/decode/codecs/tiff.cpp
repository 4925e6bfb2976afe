#include "codecs.h"
#include "header_reading.h"
#include "tiff_rows.h"

#include <QtEndian>

#include <algorithm>
#include <climits>

// TIFF, read by Qt's plugin (libtiff) in the child, or by rows through libtiff there when too
// large to be decoded whole (tiff_rows.h). Its reader reads nothing beyond the end of a whole file.

namespace {

// The first directory's size, samples a pixel and bits a sample. Pictures of more than
// four samples a pixel are decoded through libtiff's RGBA reader, which holds all their samples
// beside the picture.
bool readHeader(QIODevice *device, HeaderClaims *claims)
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
    enlarge(claims, width, height);
    if (samples > 4)
        claims->extraBytesPerPixel = samples * ((bits + 7) / 8);
    return true;
}

} // namespace

const Codec &tiffCodec()
{
    static const Codec codec = [] {
        Codec tiff;
        tiff.family = "tiff";
        tiff.formats = {"tiff"};
        tiff.signatures = {{0, QByteArrayLiteral("II*\0"), "tiff"},
                           {0, QByteArrayLiteral("MM\0*"), "tiff"},
                           {0, QByteArrayLiteral("II+\0"), "tiff"}, // BigTIFF
                           {0, QByteArrayLiteral("MM\0+"), "tiff"}};
        tiff.readHeader = readHeader;
        tiff.readsWithinTheFile = true;
        tiff.decodeByRows = decodeTiffByRows;
        return tiff;
    }();
    return codec;
}
