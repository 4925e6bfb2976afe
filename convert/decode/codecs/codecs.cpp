#include "codecs.h"

const std::vector<const Codec *> &codecTable()
{
    // The order the probes need: an icon's bytes may also hold an ISO media box, an anymap's too.
    static const std::vector<const Codec *> table = {
        &pngCodec(),    &jpegCodec(),      &gifCodec(),      &bmpCodec(),  &iconCodec(),        &heifCodec(),
        &anymapCodec(), &pcxCodec(),       &svgCodec(),      &tiffCodec(), &webpCodec(),        &tgaCodec(),
        &sgiCodec(),    &sunRasterCodec(), &radianceCodec(), &mngCodec(),  &otherReadersCodec()};
    return table;
}

const Codec &codecOf(const QByteArray &format)
{
    for (const Codec *codec : codecTable()) {
        for (const QByteArray &name : codec->formats) {
            if (name == format)
                return *codec;
        }
    }
    return otherReadersCodec();
}
