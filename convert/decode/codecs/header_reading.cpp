#include "header_reading.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <climits>

QByteArray readAt(QIODevice *device, qint64 position, int size)
{
    const qint64 before = device->pos();
    QByteArray bytes;
    if (position >= 0 && device->seek(position))
        bytes = device->read(size);
    device->seek(before);
    return bytes.size() == size ? bytes : QByteArray();
}

void enlarge(HeaderClaims *claims, qint64 width, qint64 height)
{
    claims->size = claims->size.expandedTo(
        QSize(int(std::clamp<qint64>(width, 0, INT_MAX)), int(std::clamp<qint64>(height, 0, INT_MAX))));
}

bool readSizeAt(QIODevice *device, qint64 position, HeaderClaims *claims)
{
    const QByteArray bytes = readAt(device, position, 4);
    if (bytes.isEmpty())
        return false;
    enlarge(claims, qFromLittleEndian<quint16>(bytes.constData()),
            qFromLittleEndian<quint16>(bytes.constData() + 2));
    return true;
}
