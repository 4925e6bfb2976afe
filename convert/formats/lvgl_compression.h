#pragma once

#include <QByteArray>

// LVGL's run-length coding (lv_rle.c), as LVGL's converter codes: blocks of `blockSize` bytes (a
// pixel's), a control byte before each run, its top bit set before up to 127 blocks copied as
// they are, clear before a count of up to 127 repeats of the one block that follows. Repeats of
// fewer than 16 blocks are copied instead. The data is padded with zeros to whole blocks.
// `headerRoom` zeros come first, where the caller writes its own header.
QByteArray lvglRleCompress(const QByteArray &data, int blockSize, int headerRoom = 0);

// LZ4's block format, without its size, through liblz4; after `headerRoom` zeros.
QByteArray lz4Compress(const QByteArray &data, int headerRoom = 0);
