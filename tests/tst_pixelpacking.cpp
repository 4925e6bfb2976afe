#include "display_formats.h"
#include "display_preparation.h"
#include "lvgl_compression.h"
#include "lvgl_format.h"
#include "picturesupport.h"
#include "pixel_packing.h"

#include <QTest>

#include <lz4.h>

using namespace TestSupport;

// The one pixel-packing layer every format lays its bytes out with, read back by a decoder of
// its own; and the encoders, which work in the memory of the picture they are handed, leaving a
// picture their caller keeps as it was and giving the same bytes however little they keep.
class TestPixelPacking : public QObject
{
    Q_OBJECT

private slots:
    void packRows_data();
    void packRows();
    void put565_data();
    void put565();
    void encodersLeaveTheCallersPicture_data();
    void encodersLeaveTheCallersPicture();
    void compressesInThePixelsMemory_data();
    void compressesInThePixelsMemory();
};

void TestPixelPacking::packRows_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bitsPerPixel");
    QTest::addColumn<bool>("leftmostLowest");
    QTest::addColumn<int>("filler");
    QTest::addColumn<int>("stride"); // 0: the packed row's bytes
    QTest::addColumn<QByteArray>("values"); // empty: made up for the size
    QTest::addColumn<QByteArray>("expected"); // empty: only read back

    const QByteArray nine("\1\0\1\1\0\0\0\1\1", 9);
    QTest::newRow("1 bit, 9 wide, leftmost highest")
        << 9 << 1 << 1 << false << 0 << 0 << nine << QByteArray("\xb1\x80", 2);
    QTest::newRow("1 bit, 9 wide, leftmost lowest (XBM)")
        << 9 << 1 << 1 << true << 0 << 0 << nine << QByteArray("\x8d\x01", 2);
    QTest::newRow("2 bits, 5 wide") << 5 << 1 << 2 << false << 0 << 0 << QByteArray("\3\0\1\2\3", 5)
                                    << QByteArray("\xc6\xc0", 2);
    QTest::newRow("4 bits, 3 wide, 1 past the edge")
        << 3 << 1 << 4 << false << 1 << 0 << QByteArray("\x0f\x02\x0a", 3) << QByteArray("\xf2\xa1", 2);
    QTest::newRow("1 bit, 8 wide") << 8 << 3 << 1 << false << 0 << 0 << QByteArray() << QByteArray();
    QTest::newRow("1 bit, 7 wide, lowest first")
        << 7 << 3 << 1 << true << 0 << 0 << QByteArray() << QByteArray();
    QTest::newRow("1 bit, 13 wide, 1s past the edge")
        << 13 << 2 << 1 << false << 1 << 0 << QByteArray() << QByteArray();
    QTest::newRow("1 bit, 10 wide, rows of 4 bytes")
        << 10 << 3 << 1 << false << 0 << 4 << QByteArray() << QByteArray();
    QTest::newRow("2 bits, 4 wide") << 4 << 2 << 2 << false << 0 << 0 << QByteArray() << QByteArray();
    QTest::newRow("2 bits, 7 wide") << 7 << 2 << 2 << false << 0 << 0 << QByteArray() << QByteArray();
    QTest::newRow("4 bits, 6 wide") << 6 << 2 << 4 << false << 0 << 0 << QByteArray() << QByteArray();
    QTest::newRow("4 bits, 5 wide, rows of 8 bytes")
        << 5 << 3 << 4 << false << 1 << 8 << QByteArray() << QByteArray();
    QTest::newRow("8 bits, 5 wide, rows of 8 bytes")
        << 5 << 3 << 8 << false << 0 << 8 << QByteArray() << QByteArray();
}

void TestPixelPacking::packRows()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bitsPerPixel);
    QFETCH(bool, leftmostLowest);
    QFETCH(int, filler);
    QFETCH(int, stride);
    QFETCH(QByteArray, values);
    QFETCH(QByteArray, expected);
    const int mask = (1 << bitsPerPixel) - 1;
    // Rows of values three bytes longer than the picture, those bytes all ones: never packed.
    const int valueStride = width + 3;
    QByteArray rows(valueStride * height, char(0xff));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[y * valueStride + x] = values.isEmpty() ? char((x * 5 + y * 3 + 1) & mask) : values[x];

    const QByteArray packed
        = ::packRows(reinterpret_cast<const uchar *>(rows.constData()), valueStride, width, height,
                     {bitsPerPixel, leftmostLowest, quint8(filler)}, stride);
    if (!expected.isEmpty())
        QCOMPARE(packed.toHex(), expected.toHex());
    const int rowBytes = (width * bitsPerPixel + 7) / 8;
    const int rowStride = stride ? stride : rowBytes;
    QCOMPARE(packed.size(), rowStride * height);
    for (int y = 0; y < height; ++y) {
        // Every pixel of the row's bytes, those past the width too.
        for (int x = 0; x < rowBytes * 8 / bitsPerPixel; ++x) {
            const int bit = x * bitsPerPixel % 8;
            const int shift = leftmostLowest ? bit : 8 - bitsPerPixel - bit;
            const int value = uchar(packed[y * rowStride + x * bitsPerPixel / 8]) >> shift & mask;
            const int wanted = x < width ? uchar(rows[y * valueStride + x]) : filler;
            QVERIFY2(value == wanted, qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
        }
        for (int i = rowBytes; i < rowStride; ++i)
            QCOMPARE(int(packed[y * rowStride + i]), 0);
    }
}

void TestPixelPacking::put565_data()
{
    QTest::addColumn<bool>("highFirst");
    QTest::addColumn<QByteArray>("expected");
    // Red, green and blue apart: 0xf800, 0x07e0, 0x001f, then 0x1234.
    QTest::newRow("low byte first") << false << QByteArray::fromHex("00f8e0071f003412");
    QTest::newRow("high byte first") << true << QByteArray::fromHex("f80007e0001f1234");
}

void TestPixelPacking::put565()
{
    QFETCH(bool, highFirst);
    QFETCH(QByteArray, expected);
    const quint16 values[] = {0xf800, 0x07e0, 0x001f, 0x1234};
    QByteArray bytes(8, '\0');
    QCOMPARE(put565Row(values, 3, highFirst, bytes.data()), bytes.data() + 6);
    QCOMPARE(::put565(bytes.data() + 6, values[3], highFirst), bytes.data() + 8);
    QCOMPARE(bytes.toHex(), expected.toHex());
}

void TestPixelPacking::encodersLeaveTheCallersPicture_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("colourFormat"); // LVGL's
    QTest::addColumn<int>("strideAlign");
    QTest::addColumn<bool>("alphaMask");
    QTest::addColumn<bool>("dither");
    for (const DisplayFormat &format : displayFormats())
        QTest::newRow(format.name) << QByteArray(format.name) << QByteArray() << 1 << false << false;
    QTest::newRow("rgb565 with a mask, rows of 8 bytes")
        << QByteArray("rgb565") << QByteArray() << 8 << true << false;
    for (const QByteArray &colourFormat : lvglColourFormatNames(9))
        QTest::newRow(("lvgl " + colourFormat).constData())
            << QByteArray("lvgl") << colourFormat << 1 << false << false;
    // 24 and 32 bits a pixel padded beyond the picture's own rows: not written over them.
    QTest::newRow("lvgl RGB888, rows of 16 bytes")
        << QByteArray("lvgl") << QByteArray("RGB888") << 16 << false << false;
    QTest::newRow("lvgl ARGB8888, rows of 8 bytes")
        << QByteArray("lvgl") << QByteArray("ARGB8888") << 8 << false << false;
    QTest::newRow("lvgl ARGB8888, rle")
        << QByteArray("lvgl") << QByteArray("ARGB8888:rle") << 1 << false << false;
    QTest::newRow("lvgl RGB888, lz4")
        << QByteArray("lvgl") << QByteArray("RGB888:lz4") << 1 << false << false;
    // Dithered in the picture's own memory.
    QTest::newRow("rgb565 dithered") << QByteArray("rgb565") << QByteArray() << 1 << false << true;
    QTest::newRow("lvgl RGB565A8 dithered")
        << QByteArray("lvgl") << QByteArray("RGB565A8") << 1 << false << true;
}

void TestPixelPacking::encodersLeaveTheCallersPicture()
{
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, colourFormat);
    QFETCH(int, strideAlign);
    QFETCH(bool, alphaMask);
    QFETCH(bool, dither);
    const DisplayFormat *encoder = findDisplayFormat(format);
    QVERIFY(encoder);
    EncodingOptions options;
    options.lvgl.colourFormat = lvglColourFormatOf(colourFormat.split(':').first());
    options.arrays.compression = colourFormat.endsWith(":rle") ? ArrayLayout::Rle
        : colourFormat.endsWith(":lz4")                        ? ArrayLayout::Lz4
                                                               : ArrayLayout::Uncompressed;
    options.arrays.strideAlign = strideAlign;
    options.pixels.alphaMask = alphaMask;
    options.display.dither = dither ? Dithering::FloydSteinberg : Dithering::None;
    // Odd width, W != H, every pixel apart, translucent pixels; then over several pages of memory,
    // which an encoder hands back to the system once read, but never the caller's.
    for (const QSize size : {QSize(7, 5), QSize(131, 53)}) {
        const PreparedPicture kept
            = preparePicture(patternPicture(size.width(), size.height(), true), DisplayOptions(),
                             encoder->alpha != DisplayFormat::NoAlpha);
        const QImage colours = kept.colours.copy(), alpha = kept.alpha.copy();

        options.shown = EncodingOptions::ShownInFullColour;
        const EncodedPicture whole = encoder->encode(kept, options);
        QCOMPARE(kept.colours, colours);
        QCOMPARE(kept.alpha, alpha);
        QCOMPARE(whole.shownPicture().size(), size);

        // Handed over, and keeping only what the BMP file takes of what is shown, or nothing of it:
        // the same arrays, the same 5-6-5 pixels.
        for (const auto shown : {EncodingOptions::Shown565, EncodingOptions::NotShown}) {
            options.shown = shown;
            PreparedPicture handed = kept;
            handed.colours.detach();
            handed.alpha.detach();
            const EncodedPicture reduced = encoder->encode(std::move(handed), options);
            QCOMPARE(reduced.header.macros, whole.header.macros);
            QCOMPARE(reduced.header.commentLines, whole.header.commentLines);
            QCOMPARE(reduced.header.trailer, whole.header.trailer);
            QCOMPARE(reduced.header.arrays.size(), whole.header.arrays.size());
            for (int i = 0; i < whole.header.arrays.size(); ++i) {
                QCOMPARE(reduced.header.arrays[i].name, whole.header.arrays[i].name);
                QCOMPARE(reduced.header.arrays[i].data.toHex(), whole.header.arrays[i].data.toHex());
                QCOMPARE(reduced.header.arrays[i].alternativeData.toHex(),
                         whole.header.arrays[i].alternativeData.toHex());
            }
            QCOMPARE(reduced.imageFileHeader.toHex(), whole.imageFileHeader.toHex());
            if (shown == EncodingOptions::Shown565)
                QCOMPARE(reduced.shownPicture(QImage::Format_RGB16),
                         whole.shownPicture(QImage::Format_RGB16));
        }
    }
}

namespace {

// Bytes none of which equals the one before it.
QByteArray unrepeated(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(1 + i % 251);
    return bytes;
}

// Bytes with no run and no repeat that LZ4 would find: a xorshift generator's, the same each time.
QByteArray noise(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (int i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

// What was compressed, read back by a stream in uneven pieces, as the rows of a preview read it;
// not a byte more.
void compareReadBack(const QByteArray &compressed, int start, int block, const QByteArray &expected)
{
    DecompressedStream stream(compressed, start, block ? DecompressedStream::Rle : DecompressedStream::Lz4,
                              qMax(block, 1));
    QByteArray again;
    for (int piece = 1; again.size() < expected.size(); piece = piece * 7 % 70001) {
        QByteArray part(qMin(piece, int(expected.size() - again.size())), Qt::Uninitialized);
        QVERIFY(stream.read(part.data(), part.size()));
        again += part;
    }
    QCOMPARE(again.toHex(), expected.toHex());
    char beyond = 0;
    QVERIFY(!stream.read(&beyond, 1));
}

} // namespace

void TestPixelPacking::compressesInThePixelsMemory_data()
{
    QTest::addColumn<int>("block"); // LVGL's RLE blocks; 0 for LZ4
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("expectedSize"); // after the 12 bytes of header room; LZ4's as liblz4 gives
    QTest::newRow("RLE, 15 repeats copied") << 4 << QByteArray(60, 'a') << 1 + 60;
    QTest::newRow("RLE, 16 repeats counted") << 4 << QByteArray(64, 'a') << 1 + 4;
    QTest::newRow("RLE, 20 repeats of a block of 3 bytes apart")
        << 3 << QByteArray("xyz").repeated(20) << 1 + 3;
    QTest::newRow("RLE, 128 repeats: 127, then 1 copied") << 2 << QByteArray(256, 'b') << 3 + 3;
    QTest::newRow("RLE, 3 runs of 127 copies and 1") << 1 << unrepeated(127 * 3 + 1) << 4 + 127 * 3 + 1;
    QTest::newRow("RLE, 10 bytes in blocks of 3, padded") << 3 << unrepeated(10) << 1 + 12;
    QTest::newRow("RLE, 600 000 bytes, nothing repeated")
        << 4 << unrepeated(600000) << 600000 + (150000 + 126) / 127;
    QTest::newRow("RLE, nothing") << 4 << QByteArray() << 0;
    QTest::newRow("LZ4, nothing") << 0 << QByteArray() << -1;
    QTest::newRow("LZ4, 1 byte") << 0 << QByteArray(1, 'x') << -1;
    QTest::newRow("LZ4, repeats") << 0 << QByteArray(100000, 'r') << -1;
    // Beyond LZ4's window of 64 KiB, and larger once compressed.
    QTest::newRow("LZ4, 300 000 bytes of noise") << 0 << noise(300000) << -1;
    QTest::newRow("LZ4, a match 65 000 bytes back")
        << 0 << noise(65000) + noise(65000) + QByteArray(9, 'e') << -1;
}

// The pixels given up to the compression, compressed into a buffer that held them: the bytes an
// ordinary compression gives, which LVGL's decoders undo.
void TestPixelPacking::compressesInThePixelsMemory()
{
    QFETCH(int, block);
    QFETCH(QByteArray, input);
    QFETCH(int, expectedSize);
    constexpr int room = 12;
    QByteArray given = input;
    given.detach();
    const QByteArray compressed = block ? lvglRleCompress(given.data(), given.size(), block, room)
                                        : lz4Compress(given.data(), given.size(), room);
    QCOMPARE(compressed.left(room), QByteArray(room, '\0'));
    const QByteArray body = compressed.mid(room);
    if (block) {
        QCOMPARE(body.size(), expectedSize);
        QByteArray padded = input;
        padded.append(QByteArray((block - input.size() % block) % block, '\0'));
        QCOMPARE(lvglRleDecoded(body, block).toHex(), padded.toHex());
        compareReadBack(compressed, room, block, padded);
        return;
    }
    QByteArray ordinary(LZ4_compressBound(input.size()), Qt::Uninitialized);
    ordinary.resize(LZ4_compress_default(input.constData(), ordinary.data(), input.size(), ordinary.size()));
    QCOMPARE(body.toHex(), ordinary.toHex());
    QByteArray decoded(input.size(), Qt::Uninitialized);
    QCOMPARE(LZ4_decompress_safe(body.constData(), decoded.data(), body.size(), decoded.size()),
             input.size());
    QCOMPARE(decoded, input);
    compareReadBack(compressed, room, 0, input);
}

QTEST_GUILESS_MAIN(TestPixelPacking)
#include "tst_pixelpacking.moc"
