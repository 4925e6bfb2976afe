#pragma once

#include <QByteArray>

#include <vector>

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

// What either of them compressed, read back in order a piece at a time: the pixels drawn again
// from the compressed bytes without being held whole a second time.
class DecompressedStream
{
public:
    enum Method { Rle, Lz4 };
    // The compressed bytes are `data` from `start`, shared; `blockSize` is RLE's.
    DecompressedStream(const QByteArray &data, qint64 start, Method method, int blockSize);

    // The next `size` bytes into `out`; false when the data ends before them or is damaged.
    bool read(char *out, qint64 size);
    // Whether every compressed byte has been read, and nothing is left to write but RLE's zeros
    // up to a whole block.
    bool finished() const;

private:
    bool readRle(char *out, qint64 size);
    bool readLz4(char *out, qint64 size);
    bool lz4Length(qint64 *length); // adds the bytes of 255 and the one after them
    void remember(const char *bytes, qint64 size); // the last 64 KiB written, LZ4's window

    QByteArray m_data;
    const uchar *m_in;
    qint64 m_at, m_end;
    Method m_method;
    int m_blockSize;
    // RLE: what is left of the run being read, in bytes; the repeated block, and where in it.
    qint64 m_runLeft = 0;
    bool m_copied = false;
    qint64 m_block = 0;
    int m_inBlock = 0;
    // LZ4: what is left of the sequence being read, and the window its matches copy from.
    int m_token = 0;
    qint64 m_literals = 0, m_match = 0;
    bool m_matchNext = false;
    int m_offset = 0;
    quint64 m_written = 0;
    std::vector<char> m_window;
};
