#include "codecs.h"

// JPEG XL, a bare code stream or one in its ISO container, read by another package's reader in
// the child.

const Codec &jxlCodec()
{
    static const Codec codec = [] {
        Codec jxl;
        jxl.family = "jxl";
        jxl.formats = {"jxl"};
        jxl.signatures
            = {{0, QByteArrayLiteral("\xff\x0a"), "jxl"}, {4, QByteArrayLiteral("JXL \r\n\x87\n"), "jxl"}};
        return jxl;
    }();
    return codec;
}
