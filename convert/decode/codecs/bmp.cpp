#include "codecs.h"

// BMP, read by Qt's reader in this process, which announces its size (a top-down picture's height
// negative) and stops at the end of a file cut short, keeping the rows it read.

const Codec &bmpCodec()
{
    static const Codec codec = [] {
        Codec bmp;
        bmp.family = "bmp";
        bmp.formats = {"bmp"};
        bmp.signatures = {{0, QByteArrayLiteral("BM"), "bmp"}};
        bmp.reading = Reading::InProcess;
        bmp.readsWithinTheFile = true;
        bmp.frames = Frames::One;
        return bmp;
    }();
    return codec;
}
