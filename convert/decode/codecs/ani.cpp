#include "codecs.h"

// Animated cursors (ANI), RIFF files read by another package's reader in the child, which reads
// their frames itself.

const Codec &aniCodec()
{
    static const Codec codec = [] {
        Codec ani;
        ani.family = "ani";
        ani.formats = {"ani"};
        ani.signatures = {{8, QByteArrayLiteral("ACON"), "ani"}};
        return ani;
    }();
    return codec;
}
