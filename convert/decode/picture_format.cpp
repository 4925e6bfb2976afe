#include "picture_format.h"

#include "svg_rendering.h"

#include <QFileInfo>

namespace {

struct Signature
{
    int offset;
    QByteArray bytes;
    const char *format;
};

// The formats whose files start with bytes of their own, as Qt's and KDE's readers name them.
const Signature signatures[] = {
    {0, QByteArrayLiteral("\x89PNG\r\n\x1a\n"), "png"},
    {0, QByteArrayLiteral("\xff\xd8\xff"), "jpeg"},
    {0, QByteArrayLiteral("GIF87a"), "gif"},
    {0, QByteArrayLiteral("GIF89a"), "gif"},
    {0, QByteArrayLiteral("BM"), "bmp"},
    {0, QByteArrayLiteral("/* XPM */"), "xpm"},
    {0, QByteArrayLiteral("#define "), "xbm"},
    {0, QByteArrayLiteral("II*\0"), "tiff"},
    {0, QByteArrayLiteral("MM\0*"), "tiff"},
    {0, QByteArrayLiteral("II+\0"), "tiff"}, // BigTIFF
    {0, QByteArrayLiteral("MM\0+"), "tiff"},
    {8, QByteArrayLiteral("WEBP"), "webp"},
    {8, QByteArrayLiteral("ACON"), "ani"},
    {0, QByteArrayLiteral("#?RADIANCE"), "hdr"},
    {0, QByteArrayLiteral("#?RGBE"), "hdr"},
    {0, QByteArrayLiteral("8BPS"), "psd"},
    {0, QByteArrayLiteral("gimp xcf"), "xcf"},
    {0, QByteArrayLiteral("\xff\x0a"), "jxl"},
    {4, QByteArrayLiteral("JXL \r\n\x87\n"), "jxl"},
    {0, QByteArrayLiteral("v/1\x01"), "exr"},
    {0, QByteArrayLiteral("\x8aMNG\r\n\x1a\n"), "mng"},
    {0, QByteArrayLiteral("icns"), "icns"},
    {0, QByteArrayLiteral("\x01\xda"), "rgb"}, // SGI
    {0, QByteArrayLiteral("\x59\xa6\x6a\x95"), "ras"}, // Sun raster
    {0, QByteArrayLiteral("\x53\x80\xf6\x34"), "pic"}, // Softimage
    {0, QByteArrayLiteral("qoif"), "qoi"},
    {0, QByteArrayLiteral("DDS "), "dds"},
    {4, QByteArrayLiteral("jP  \r\n\x87\n"), "jp2"},
    {0, QByteArrayLiteral("%!PS"), "eps"},
    {0, QByteArrayLiteral("\xc5\xd0\xd3\xc6"), "eps"}, // EPS with a binary preview
    {30, QByteArrayLiteral("mimetypeapplication/x-krita"), "kra"},
    {30, QByteArrayLiteral("mimetypeimage/openraster"), "ora"},
};

bool startsWithAt(const QByteArray &head, int offset, const QByteArray &bytes)
{
    return head.size() >= offset + bytes.size() && head.mid(offset, bytes.size()) == bytes;
}

// An ISO base media file (HEIF, AVIF): an "ftyp" box whose major brand names the format.
QByteArray isoMediaFormat(const QByteArray &head)
{
    if (!startsWithAt(head, 4, "ftyp") || head.size() < 12)
        return QByteArray();
    const QByteArray brand = head.mid(8, 4);
    if (brand == "avif" || brand == "avis")
        return "avif";
    for (const char *heif : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"}) {
        if (brand == heif)
            return "heif";
    }
    return QByteArray();
}

// Icons and cursors: a reserved 0, their type, and at least one picture (a TGA file may start
// with the same four bytes, then has 0 there).
QByteArray iconFormat(const QByteArray &head)
{
    if (head.size() < 6 || head[0] != 0 || head[1] != 0 || head[3] != 0 || (head[4] == 0 && head[5] == 0))
        return QByteArray();
    return head[2] == 1 ? "ico" : head[2] == 2 ? "cur" : QByteArray();
}

// Portable anymaps: P1 to P6, then a space.
QByteArray anymapFormat(const QByteArray &head)
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

// PCX: its manufacturer byte, a known version, run-length encoding, and 1, 2, 4 or 8 bits.
bool isPcx(const QByteArray &head)
{
    return head.size() >= 4 && head[0] == '\x0a' && QByteArray("\x00\x02\x03\x04\x05", 5).contains(head[1])
        && head[2] == '\x01' && QByteArray("\x01\x02\x04\x08", 4).contains(head[3]);
}

} // namespace

QByteArray pictureFormatOf(const QByteArray &head, const QString &fileName)
{
    for (const Signature &signature : signatures) {
        if (startsWithAt(head, signature.offset, signature.bytes))
            return signature.format;
    }
    for (const QByteArray &format : {iconFormat(head), isoMediaFormat(head), anymapFormat(head)}) {
        if (!format.isEmpty())
            return format;
    }
    if (isPcx(head))
        return "pcx";
    if (looksLikeSvg(head, fileName))
        return "svg";
    // TGA and WBMP files have no signature: their suffix tells.
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("tga") || suffix == QLatin1String("icb") || suffix == QLatin1String("vda")
        || suffix == QLatin1String("vst"))
        return "tga";
    if (suffix == QLatin1String("wbmp"))
        return "wbmp";
    return QByteArray();
}

bool isQtOwnFormat(const QByteArray &format)
{
    for (const char *own : {"png", "jpeg", "bmp", "gif", "ico", "cur", "pbm", "pgm", "ppm", "xbm", "xpm"}) {
        if (format == own)
            return true;
    }
    return false;
}
