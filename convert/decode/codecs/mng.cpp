#include "animation_decoding.h"
#include "codecs.h"
#include "header_reading.h"

#include <QIODevice>
#include <QtEndian>

#include <climits>

// MNG, read by another package's reader (libmng) in the child, which announces no size and
// composes the frames itself, without counting them.

namespace {

// The frame's size in the MHDR chunk, and every picture the frames embed, since the
// decoder holds each one whole.
bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    constexpr int maxChunks = 100000;
    qint64 position = 8;
    bool framed = false;
    for (int chunk = 0; chunk < maxChunks; ++chunk) {
        const QByteArray head = readAt(device, position, 16);
        if (head.isEmpty())
            break;
        const quint32 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4, 4);
        if (type == "MHDR" || type == "IHDR" || type == "JHDR" || type == "BASI") {
            enlarge(claims, qFromBigEndian<quint32>(head.constData() + 8),
                    qFromBigEndian<quint32>(head.constData() + 12));
            framed = framed || type == "MHDR";
        }
        if (type == "MEND")
            break;
        position += 12 + qint64(length);
    }
    return framed;
}

// Each frame's delay in milliseconds, as an MNG's own chunks give it: its header's ticks a second,
// and each FRAM chunk's interframe delay, for the next frame only or from then on (1 tick until
// one says otherwise). Qt's reader hands libmng a clock that moves a millisecond each time it is
// read, and gives every delay a millisecond short, and the last one as 1 ms. Only for an MNG whose
// frames are its pictures one after another (framing modes 1 and 3, no delay of 0, no loop, no
// object shown again or pasted, no delta picture), where they are sure to be libmng's frames:
// nothing for another.
QVector<int> frameDelays(QIODevice *device)
{
    const auto readAt = [&](qint64 position, int size) {
        return device->seek(position) ? device->read(size) : QByteArray();
    };
    QVector<int> delays;
    qint64 ticksPerSecond = 0;
    qint64 defaultTicks = 1, nextTicks = 1;
    for (qint64 position = 8; delays.size() <= maxAnimationFrames;) {
        const QByteArray head = readAt(position, 8);
        if (head.size() < 8)
            return {};
        const quint32 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4);
        const QByteArray data = type == "MHDR" || type == "FRAM"
            ? readAt(position + 8, int(qMin<quint32>(length, 1024)))
            : QByteArray();
        position += 12 + qint64(length);
        if (type == "MEND")
            return delays;
        if (type == "MHDR") {
            if (data.size() < 12)
                return {};
            ticksPerSecond = qFromBigEndian<quint32>(data.constData() + 8);
        } else if (type == "FRAM") {
            const int mode = data.isEmpty() ? 0 : uchar(data[0]);
            if (mode != 0 && mode != 1 && mode != 3)
                return {};
            const int separator = data.indexOf('\0', 1);
            if (separator > 0 && data.size() >= separator + 5 && data[separator + 1] != 0) {
                if (data.size() < separator + 9)
                    return {};
                nextTicks = qFromBigEndian<quint32>(data.constData() + separator + 5);
                if (data[separator + 1] == 2)
                    defaultTicks = nextTicks;
            }
        } else if (type == "IHDR" || type == "JHDR") {
            if (ticksPerSecond <= 0 || nextTicks <= 0)
                return {};
            delays << int(qMin<qint64>(nextTicks * 1000 / ticksPerSecond, INT_MAX));
            nextTicks = defaultTicks;
        } else if (type == "LOOP" || type == "ENDL" || type == "SHOW" || type == "CLON" || type == "PAST"
                   || type == "DHDR" || type == "BASI" || type == "SEEK" || type == "MAGN") {
            return {};
        }
    }
    return {};
}

} // namespace

const Codec &mngCodec()
{
    static const Codec codec = [] {
        Codec mng;
        mng.family = "mng";
        mng.formats = {"mng"};
        mng.signatures = {{0, QByteArrayLiteral("\x8aMNG\r\n\x1a\n"), "mng"}};
        mng.readHeader = readHeader;
        mng.frameDelays = frameDelays;
        return mng;
    }();
    return codec;
}
