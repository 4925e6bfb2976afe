// Fuzz target: pictures of any size and pixels through the BMP writer must come back, read from
// the file, as the same 5-6-5 pixels under the exact 54-byte header, with zero padding.

#include "qimage16.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    qCritical("BMP writer: %s", what);
    std::abort();
}

quint32 field(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // The first bytes choose the size and the format handed to the writer; the rest are pixels.
    const int width = 1 + data[0] % 97;
    const int height = 1 + data[1] % 67;
    const bool asRgb16 = data[2] & 1;
    data += 3;
    size -= 3;

    QImage picture(width, height, asRgb16 ? QImage::Format_RGB16 : QImage::Format_ARGB32);
    size_t next = 0;
    for (int y = 0; y < height; ++y) {
        uchar *line = picture.scanLine(y);
        for (int i = 0; i < picture.bytesPerLine(); ++i)
            line[i] = size ? data[next++ % size] : uchar(i * 7 + y);
    }
    const QImage rgb16 = picture.convertToFormat(QImage::Format_RGB16);

    static QTemporaryDir dir;
    const QString path = dir.filePath("fuzz16bits.BMP");
    if (!QImage16(picture).saveBmp16(path))
        fail("returned false for a writable path");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail("cannot read the file back");
    const QByteArray bmp = file.readAll();

    const int rowSize = (width * 2 + 3) / 4 * 4;
    const quint32 pixelBytes = quint32(rowSize * height);
    if (bmp.size() != int(pixelBytes) + 54)
        fail("the file size is wrong");
    if (bmp.left(2) != "BM" || field(bmp, 2) != pixelBytes + 54 || field(bmp, 6) != 0 || field(bmp, 10) != 54
        || field(bmp, 14) != 40 || field(bmp, 18) != quint32(width) || field(bmp, 22) != quint32(height)
        || field(bmp, 26) != 0x00100001 || field(bmp, 30) != 0 || field(bmp, 34) != pixelBytes
        || field(bmp, 38) != 2834 || field(bmp, 42) != 2834 || field(bmp, 46) != 0 || field(bmp, 50) != 0)
        fail("a header field is wrong");
    for (int row = 0; row < height; ++row) {
        const char *stored = bmp.constData() + 54 + row * rowSize;
        const auto *pixels = reinterpret_cast<const quint16 *>(rgb16.constScanLine(height - 1 - row));
        for (int x = 0; x < width; ++x)
            if (qFromLittleEndian<quint16>(stored + 2 * x) != pixels[x])
                fail("a pixel differs");
        for (int pad = width * 2; pad < rowSize; ++pad)
            if (stored[pad] != 0)
                fail("an alignment byte is not zero");
    }
    return 0;
}
