#include "codecs.h"

const std::vector<const Codec *> &codecTable()
{
    // The order the probes need: an icon's bytes may also hold an ISO media box, an anymap's
    // too. Signatures further in than the start (WebP's, ANI's, JPEG XL's container, JPEG 2000's,
    // Krita's, OpenRaster's) are tried where they take a file that also starts like another format
    // from that format or leave it to it: ANI's before PSD's, JPEG XL's after PSD's and before
    // SGI's and Sun raster's, which come before JPEG 2000's (the last row's).
    static const std::vector<const Codec *> table
        = {&pngCodec(),  &jpegCodec(),      &gifCodec(),      &bmpCodec(), &iconCodec(),
           &heifCodec(), &anymapCodec(),    &pcxCodec(),      &svgCodec(), &tiffCodec(),
           &webpCodec(), &aniCodec(),       &psdCodec(),      &jxlCodec(), &tgaCodec(),
           &sgiCodec(),  &sunRasterCodec(), &radianceCodec(), &mngCodec(), &otherReadersCodec()};
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
