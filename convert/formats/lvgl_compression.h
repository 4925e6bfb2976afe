#pragma once

#include <QByteArray>

// LVGL's run-length coding (lv_rle.c), as LVGL's converter codes: blocks of `blockSize` bytes (a
// pixel's), a control byte before each run, its top bit set before up to 127 blocks copied as
// they are, clear before a count of up to 127 repeats of the one block that follows. Repeats of
// fewer than 16 blocks are copied instead. The data is padded with zeros to whole blocks.
// `headerRoom` zeros come first, where the caller writes its own header.
//
// The `size` bytes at `data` are given up by the caller: they are copied to the end of the buffer
// that the compressed bytes are then written into, from its start, and their memory is handed
// back to the system as they are copied (where the system allows it), so that about one copy of
// the pixels is held at a time. `data` must not be read again.
QByteArray lvglRleCompress(char *data, qint64 size, int blockSize, int headerRoom = 0);

// LZ4's block format, without its size, through liblz4; after `headerRoom` zeros. Compressed in
// place the same way, with the margin that LZ4 documents for it.
QByteArray lz4Compress(char *data, qint64 size, int headerRoom = 0);
