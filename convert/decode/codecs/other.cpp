#include "codecs.h"

// Every other reader, another package's code run in the child: the formats whose files Quillon
// knows only by their signature, as Qt's and KDE's readers name them, and any format a reader
// recognises when no signature here tells. Their readers announce their size, and read their
// animations themselves.

const Codec &otherReadersCodec()
{
    static const Codec codec = [] {
        Codec other;
        other.family = "other";
        other.signatures = {
            {0, QByteArrayLiteral("gimp xcf"), "xcf"},
            {0, QByteArrayLiteral("v/1\x01"), "exr"},
            {0, QByteArrayLiteral("icns"), "icns"},
            {0, QByteArrayLiteral("\x53\x80\xf6\x34"), "pic"}, // Softimage
            {0, QByteArrayLiteral("qoif"), "qoi"},
            {0, QByteArrayLiteral("DDS "), "dds"},
            {4, QByteArrayLiteral("jP  \r\n\x87\n"), "jp2"},
            {0, QByteArrayLiteral("%!PS"), "eps"},
            {0, QByteArrayLiteral("\xc5\xd0\xd3\xc6"), "eps"}, // EPS with a binary preview
            {30, QByteArrayLiteral("mimetypeapplication/x-krita"), "kra"},
            {30, QByteArrayLiteral("mimetypeimage/openraster"), "ora"},
        };
        other.suffixes = {{"wbmp", "wbmp"}};
        return other;
    }();
    return codec;
}
