#include "codecs.h"
#include "header_reading.h"

#include <QIODevice>
#include <QtEndian>

// Icons and cursors (ICO, CUR), read by Qt's reader in this process, which decodes the first
// picture of the directory and makes its own picture. That picture may be larger than the
// directory says: an embedded PNG of any size is listed as 16 x 16.

namespace {

// A reserved 0, their type, and at least one picture (a TGA file may start with the same four
// bytes, then has 0 there).
QByteArray formatOf(const QByteArray &head, const QString &)
{
    if (head.size() < 6 || head[0] != 0 || head[1] != 0 || head[3] != 0 || (head[4] == 0 && head[5] == 0))
        return QByteArray();
    return head[2] == 1 ? "ico" : head[2] == 2 ? "cur" : QByteArray();
}

// The picture of the first directory entry, the one Qt's reader decodes: either a PNG file, whose
// IHDR chunk gives its size and depth, or a DIB whose height counts the colour rows and the
// transparency mask together.
bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    const QByteArray entry = readAt(device, 6, 16);
    if (entry.isEmpty())
        return false;
    const auto claimed = [&](int at) { return quint8(entry[at]) == 0 ? 256 : int(quint8(entry[at])); };
    enlarge(claims, claimed(0), claimed(1));

    const quint32 offset = qFromLittleEndian<quint32>(entry.constData() + 12);
    const QByteArray image = readAt(device, offset, 26);
    if (image.isEmpty())
        return false;
    const char *data = image.constData();
    if (image.startsWith("\x89PNG\r\n\x1a\n")) {
        enlarge(claims, qFromBigEndian<quint32>(data + 16), qFromBigEndian<quint32>(data + 20));
        if (quint8(data[24]) == 16) // 16 bits a channel decode to 64-bit pixels
            claims->minimumBytesPerPixel = 8;
    } else {
        enlarge(claims, qAbs(qint64(qFromLittleEndian<qint32>(data + 4))),
                qAbs(qint64(qFromLittleEndian<qint32>(data + 8))) / 2);
    }
    return true;
}

// The first picture of the directory within the file.
bool reachesItsEnd(QIODevice *device)
{
    const QByteArray entry = readAt(device, 6, 16);
    return !entry.isEmpty()
        && qint64(qFromLittleEndian<quint32>(entry.constData() + 8))
            + qFromLittleEndian<quint32>(entry.constData() + 12)
        <= device->size();
}

} // namespace

const Codec &iconCodec()
{
    static const Codec codec = [] {
        Codec icon;
        icon.family = "ico";
        icon.formats = {"ico", "cur"};
        icon.probe = formatOf;
        icon.reading = Reading::InProcess;
        icon.readHeader = readHeader;
        icon.reachesItsEnd = reachesItsEnd;
        icon.frames = Frames::One;
        icon.makesItsOwnPicture = true;
        return icon;
    }();
    return codec;
}
