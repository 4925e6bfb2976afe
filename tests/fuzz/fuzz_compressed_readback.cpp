// Fuzz target: the readers of compressed arrays. The first byte chooses one:
// - LVGL's RLE or LZ4 read back (DecompressedStream) from any bytes, damaged or not, in pieces of
//   any size: never a read beyond the bytes, and the same bytes whatever the pieces;
// - what lvglRleCompress() or lz4Compress() coded, read back as the very bytes coded;
// - what QuillonRle::compress() coded (--compress rle), read back by the firmware's reader
//   (examples/firmware/quillon_rle.h) as the very bytes coded.

#include "lvgl_compression.h"
#include "quillon_rle.h"
#include "rle_coding.h"

#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what)
{
    qCritical("compressed readback: %s", what);
    std::abort();
}

// What `stream` gives, `pieces` bytes a read in turn (each 1 to 256), until `size` or a failure.
QByteArray readInPieces(DecompressedStream &&stream, qint64 size, const QByteArray &pieces)
{
    QByteArray read;
    for (int turn = 0; read.size() < size; ++turn) {
        const int count = int(qMin<qint64>(1 + quint8(pieces.at(turn % pieces.size())), size - read.size()));
        QByteArray piece(count, '\0');
        if (!stream.read(piece.data(), count))
            break;
        read += piece;
    }
    return read;
}

void readDamaged(DecompressedStream::Method method, int blockSize, const QByteArray &pieces,
                 const QByteArray &data)
{
    // Held in a buffer of exactly their size, so that a read beyond them shows.
    const std::vector<char> bytes(data.begin(), data.end());
    const QByteArray held = QByteArray::fromRawData(bytes.data(), int(bytes.size()));
    const qint64 most = 1 << 16;
    const QByteArray inPieces = readInPieces(DecompressedStream(held, 0, method, blockSize), most, pieces);
    const QByteArray byOne
        = readInPieces(DecompressedStream(held, 0, method, blockSize), most, QByteArray(1, 0));
    if (!byOne.startsWith(inPieces))
        fail("read in pieces, the bytes differ from those read one by one");
}

void roundTrip(bool rle, int blockSize, int room, const QByteArray &pieces, const QByteArray &data)
{
    QByteArray given = data;
    const QByteArray compressed = rle ? lvglRleCompress(given.data(), given.size(), blockSize, room)
                                      : lz4Compress(given.data(), given.size(), room);
    const qint64 padded = rle ? (data.size() + blockSize - 1) / blockSize * blockSize : data.size();
    const QByteArray read
        = readInPieces(DecompressedStream(compressed, room,
                                          rle ? DecompressedStream::Rle : DecompressedStream::Lz4, blockSize),
                       padded, pieces);
    if (read.left(data.size()) != data || read.size() != padded
        || read.mid(data.size()) != QByteArray(int(padded - data.size()), '\0'))
        fail("what was compressed reads back otherwise");
}

void firmwareRoundTrip(int unit, const QByteArray &pieces, const QByteArray &data)
{
    const QByteArray coded = QuillonRle::compress(data, unit);
    if (coded.size() > data.size() + 1)
        fail("the coding is more than one byte longer than the array");
    const std::vector<uint8_t> held(coded.begin(), coded.end());
    quillon_rle_t reader;
    quillon_rle_init(&reader, held.data());
    QByteArray read(data.size(), '\0');
    for (int at = 0, turn = 0; at < data.size(); ++turn) {
        const int count = qMin(1 + quint8(pieces.at(turn % pieces.size())), data.size() - at);
        quillon_rle_read(&reader, reinterpret_cast<uint8_t *>(read.data() + at), size_t(count));
        at += count;
    }
    if (read != data)
        fail("the firmware's reader reads the coded array otherwise");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3 || size > 65536)
        return 0;
    // The first byte chooses the reader and its block or unit, the second the pieces' sizes.
    const int choice = data[0];
    const QByteArray pieces(reinterpret_cast<const char *>(data + 1), qMin<int>(4, int(size) - 1));
    const QByteArray rest(reinterpret_cast<const char *>(data + 1 + pieces.size()),
                          int(size) - 1 - pieces.size());
    const int blockSize = 1 + (choice >> 3) % 4;
    switch (choice % 5) {
    case 0:
        readDamaged(DecompressedStream::Rle, blockSize, pieces, rest);
        break;
    case 1:
        readDamaged(DecompressedStream::Lz4, 1, pieces, rest);
        break;
    case 2:
        roundTrip(true, blockSize, (choice >> 5) % 8, pieces, rest);
        break;
    case 3:
        roundTrip(false, 1, (choice >> 5) % 8, pieces, rest);
        break;
    default:
        firmwareRoundTrip(1 + (choice >> 3) % QuillonRle::maxUnit, pieces, rest);
        break;
    }
    return 0;
}
