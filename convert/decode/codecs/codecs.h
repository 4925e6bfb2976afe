#pragma once

#include "codec.h"

#include <QByteArray>

#include <vector>

// The table of codecs, one row a family of input formats (see codec.h), in the order they are
// tried on a file's first bytes; every other reader's row last.
const std::vector<const Codec *> &codecTable();

// The codec of the format Qt names `format`: the row of every other reader when no family lists it.
const Codec &codecOf(const QByteArray &format);

// The rows, each in its file.
const Codec &pngCodec();
const Codec &jpegCodec();
const Codec &gifCodec();
const Codec &bmpCodec();
const Codec &iconCodec();
const Codec &heifCodec();
const Codec &anymapCodec();
const Codec &pcxCodec();
const Codec &svgCodec();
const Codec &tiffCodec();
const Codec &webpCodec();
const Codec &aniCodec();
const Codec &psdCodec();
const Codec &jxlCodec();
const Codec &tgaCodec();
const Codec &sgiCodec();
const Codec &sunRasterCodec();
const Codec &radianceCodec();
const Codec &mngCodec();
const Codec &otherReadersCodec();
