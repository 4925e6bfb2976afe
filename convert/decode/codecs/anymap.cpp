#include "codecs.h"

// Qt's readers of small text and binary maps, in this process: the portable anymaps (PBM, PGM,
// PPM), XBM and XPM. Their readers announce their size and read nothing beyond it.

namespace {

// Portable anymaps: P1 to P6, then a space.
QByteArray formatOf(const QByteArray &head, const QString &)
{
    if (head.size() < 3 || head[0] != 'P' || !QByteArray(" \t\r\n").contains(head[2]))
        return QByteArray();
    switch (head[1]) {
    case '1':
    case '4':
        return "pbm";
    case '2':
    case '5':
        return "pgm";
    case '3':
    case '6':
        return "ppm";
    default:
        return QByteArray();
    }
}

} // namespace

const Codec &anymapCodec()
{
    static const Codec codec = [] {
        Codec anymap;
        anymap.family = "anymap";
        anymap.formats = {"pbm", "pgm", "ppm", "xbm", "xpm"};
        anymap.signatures
            = {{0, QByteArrayLiteral("/* XPM */"), "xpm"}, {0, QByteArrayLiteral("#define "), "xbm"}};
        anymap.probe = formatOf;
        anymap.reading = Reading::InProcess;
        anymap.frames = Frames::One;
        return anymap;
    }();
    return codec;
}
