#include "codecs.h"
#include "header_reading.h"

// TGA, read by another package's reader in the child. Its files start with no bytes of their
// own: their suffix tells. The reader announces no size: it is read here, at a fixed place of the
// header.

namespace {

bool readHeader(QIODevice *device, HeaderClaims *claims)
{
    return readSizeAt(device, 12, claims);
}

} // namespace

const Codec &tgaCodec()
{
    static const Codec codec = [] {
        Codec tga;
        tga.family = "tga";
        tga.formats = {"tga"};
        tga.suffixes = {{"tga", "tga"}, {"icb", "tga"}, {"vda", "tga"}, {"vst", "tga"}};
        tga.readHeader = readHeader;
        tga.readsWithinTheFile = true;
        return tga;
    }();
    return codec;
}
