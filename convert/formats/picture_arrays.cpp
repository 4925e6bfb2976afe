#include "picture_arrays.h"

#include "rle_coding.h"

#include <QCoreApplication>

namespace {

QString latin1(const QByteArray &text)
{
    return QString::fromLatin1(text);
}

// An array's bytes, read back from its run-length coding (rle_coding.h) when it is so written:
// exactly `size` bytes, or a problem.
QString decodeRunLength(const QByteArray &name, const QByteArray &coded, qint64 size, QByteArray *out)
{
    if (coded.isEmpty())
        return QCoreApplication::translate("HeaderReading", "%1 : tableau codé vide").arg(latin1(name));
    const int unit = uchar(coded[0]);
    if (unit == QuillonRle::stored) {
        if (coded.size() - 1 != size)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : %2 octets stockés tels quels au lieu de %3")
                .arg(latin1(name))
                .arg(coded.size() - 1)
                .arg(size);
        *out = coded.mid(1);
        return QString();
    }
    if (unit > QuillonRle::maxUnit)
        return QCoreApplication::translate("HeaderReading", "%1 : unité de codage %2 inconnue")
            .arg(latin1(name))
            .arg(unit);
    // Whole units: the last one may go beyond the size by its zeros.
    const qint64 wanted = (size + unit - 1) / unit * unit;
    QByteArray bytes;
    bytes.reserve(int(wanted));
    qint64 at = 1;
    const qint64 end = coded.size();
    while (bytes.size() < wanted) {
        if (at >= end)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : le flux codé s'arrête après %2 octets des %3 du tableau")
                .arg(latin1(name))
                .arg(qMin<qint64>(bytes.size(), size))
                .arg(size);
        const int control = uchar(coded[int(at++)]);
        const qint64 count = (control & 0x7f) + 1;
        const qint64 packetBytes = control & 0x80 ? unit : count * unit;
        if (at + packetBytes > end)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : le flux codé s'arrête au milieu d'un paquet")
                .arg(latin1(name));
        if (bytes.size() + count * unit > wanted)
            return QCoreApplication::translate("HeaderReading",
                                               "%1 : le flux codé déborde des %2 octets du tableau")
                .arg(latin1(name))
                .arg(size);
        if (control & 0x80) {
            for (qint64 k = 0; k < count; ++k)
                bytes.append(coded.constData() + at, unit);
        } else {
            bytes.append(coded.constData() + at, int(packetBytes));
        }
        at += packetBytes;
    }
    if (at != end)
        return QCoreApplication::translate("HeaderReading", "%1 : %2 octets après la fin du flux codé")
            .arg(latin1(name))
            .arg(end - at);
    bytes.truncate(int(size));
    *out = bytes;
    return QString();
}

} // namespace

QString PictureArrays::bytes(const QByteArray &suffix, qint64 size, int valueBytes, QByteArray *out) const
{
    const QByteArray name = m_stem + suffix;
    if (const ReadArray *array = m_header.array(name)) {
        if (array->valueBytes != valueBytes)
            return QCoreApplication::translate("HeaderReading", "%1 : des valeurs de %2 octets au lieu de %3")
                .arg(latin1(name))
                .arg(array->valueBytes)
                .arg(valueBytes);
        *out = array->data;
    } else if (const ReadArray *coded = m_header.array(name + "_rle")) {
        const qint64 declared = m_header.number(m_base + suffix + "_size");
        if (declared < 0)
            return QCoreApplication::translate("HeaderReading", "%1 : %2 manque")
                .arg(latin1(name + "_rle"), latin1(m_base + suffix + "_size"));
        if (declared != size)
            return QCoreApplication::translate("HeaderReading", "%1 : %2 vaut %3 au lieu de %4")
                .arg(latin1(name + "_rle"), latin1(m_base + suffix + "_size"))
                .arg(declared)
                .arg(size);
        if (coded->valueBytes != 1)
            return QCoreApplication::translate("HeaderReading", "%1 : des valeurs de %2 octets au lieu de 1")
                .arg(latin1(name + "_rle"))
                .arg(coded->valueBytes);
        const QString problem = decodeRunLength(name + "_rle", coded->data, size, out);
        if (!problem.isEmpty())
            return problem;
    } else {
        return QCoreApplication::translate("HeaderReading", "%1 : tableau introuvable").arg(latin1(name));
    }
    if (out->size() != size)
        return QCoreApplication::translate("HeaderReading",
                                           "%1 : %2 octets au lieu des %3 d'une image de cette taille")
            .arg(latin1(name))
            .arg(out->size())
            .arg(size);
    return QString();
}

int PictureArrays::stride(const QByteArray &suffix, int rowBytes) const
{
    const qint64 stride = m_header.number(m_base + suffix + "_stride");
    return stride >= rowBytes ? int(stride) : rowBytes;
}
