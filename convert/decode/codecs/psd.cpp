#include "codecs.h"

// Photoshop documents (PSD), read by another package's reader in the child.

const Codec &psdCodec()
{
    static const Codec codec = [] {
        Codec psd;
        psd.family = "psd";
        psd.formats = {"psd"};
        psd.signatures = {{0, QByteArrayLiteral("8BPS"), "psd"}};
        return psd;
    }();
    return codec;
}
