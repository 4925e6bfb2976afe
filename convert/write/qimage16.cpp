#include "qimage16.h"

#include "atomic_file_writer.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr int bmpHeaderSize = 54;
constexpr int infoHeaderSize = 40;
constexpr quint32 pixelsPerMetre = 2834; // about 72 dots per inch
// Rows are gathered into blocks of about this size: few system calls, and a block that stays in
// the CPU's caches.
constexpr qint64 rowBlockSize = 1 << 20;

template<typename T> char *putLittleEndian(char *out, T value)
{
    qToLittleEndian(value, out);
    return out + sizeof(T);
}

using BmpHeader = std::array<char, bmpHeaderSize>;

BmpHeader bmpHeader(qint32 width, qint32 height, quint32 pixelDataSize)
{
    BmpHeader header;
    char *out = header.data();
    *out++ = 'B';
    *out++ = 'M';
    out = putLittleEndian<quint32>(out, pixelDataSize + bmpHeaderSize); // file size
    out = putLittleEndian<quint32>(out, 0); // two reserved 16-bit fields
    out = putLittleEndian<quint32>(out, bmpHeaderSize); // offset of the pixel data
    out = putLittleEndian<quint32>(out, infoHeaderSize);
    out = putLittleEndian<qint32>(out, width);
    out = putLittleEndian<qint32>(out, height); // positive: rows stored bottom-up
    out = putLittleEndian<quint16>(out, 1); // colour planes
    out = putLittleEndian<quint16>(out, 16); // bits per pixel
    out = putLittleEndian<quint32>(out, 0); // compression: none
    out = putLittleEndian<quint32>(out, pixelDataSize);
    out = putLittleEndian<quint32>(out, pixelsPerMetre);
    out = putLittleEndian<quint32>(out, pixelsPerMetre);
    out = putLittleEndian<quint32>(out, 0); // colours used
    putLittleEndian<quint32>(out, 0); // important colours
    return header;
}

} // namespace

QImage16::QImage16(const QImage &image)
    : QImage(image)
{ }

void QImage16::setImage(const QImage &image)
{
    QImage::operator=(image);
}

bool QImage16::saveBmp16(QString filePath) const
{
    int ignored = 0;
    return saveBmp16(filePath, &ignored);
}

bool QImage16::saveBmp16(const QString &filePath, int *systemError) const
{
    *systemError = 0;
    if (bmp16FileSize() < 0)
        return false;
    AtomicFileWriter file(filePath);
    const bool written = file.open()
        && writeBmp16([&](const char *data, qint64 size) { return file.write(data, size); }) && file.commit();
    *systemError = file.systemError();
    return written;
}

qint64 QImage16::bmp16FileSize() const
{
    if (isNull())
        return -1;
    // Every 5-6-5 scan line is padded to a multiple of 4 bytes, as BMP rows are.
    const qint64 fileSize = (qint64(width()) * 2 + 3) / 4 * 4 * height() + bmpHeaderSize;
    return fileSize > std::numeric_limits<quint32>::max() ? -1 : fileSize;
}

bool QImage16::writeBmp16(const ByteSink &write) const
{
    const qint64 fileSize = bmp16FileSize();
    if (fileSize < 0)
        return false;

    // The rows must hold 5-6-5 pixels whatever the caller gave us: 32-bit and grey pictures are
    // reduced a row at a time, as Qt reduces them whole, other formats whole.
    QImage reducedRow;
    const bool byRows = format() == QImage::Format_RGB32 || format() == QImage::Format_Grayscale8;
    const QImage image
        = format() == QImage::Format_RGB16 || byRows ? QImage(*this) : convertToFormat(QImage::Format_RGB16);
    if (image.isNull()) // no memory for the 5-6-5 copy
        return false;
    const auto rowOf = [&](int y) -> const uchar * {
        if (!byRows)
            return image.constScanLine(y);
        reducedRow = QImage(image.constScanLine(y), image.width(), 1, image.format())
                         .convertToFormat(QImage::Format_RGB16);
        return reducedRow.isNull() ? nullptr : reducedRow.constScanLine(0);
    };
    const size_t pixelBytes = size_t(image.width()) * 2;
    const qint64 stride = qint64(pixelBytes + 3) / 4 * 4;
    const BmpHeader header = bmpHeader(image.width(), image.height(), quint32(fileSize - bmpHeaderSize));
    if (!write(header.data(), header.size()))
        return false;

    // Qt leaves the alignment bytes at the end of each scan line uninitialised: only the pixel
    // bytes are copied, and the padding after them is zeroed, so the output is deterministic.
    // The block is the thread's own and kept from one picture to the next: touching fresh pages
    // would cost a third of the write.
    const int rowsPerBlock = int(qBound<qint64>(1, rowBlockSize / stride, image.height()));
    thread_local std::vector<char> block;
    try {
        block.resize(std::max(block.size(), size_t(stride) * size_t(rowsPerBlock)));
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (int y = image.height() - 1; y >= 0;) {
        int rowsInBlock = 0;
        for (; rowsInBlock < rowsPerBlock && y >= 0; ++rowsInBlock, --y) {
            char *row = block.data() + rowsInBlock * stride;
            const uchar *pixels = rowOf(y);
            if (!pixels)
                return false;
            std::memcpy(row, pixels, pixelBytes);
            std::memset(row + pixelBytes, 0, size_t(stride) - pixelBytes);
        }
        if (!write(block.data(), rowsInBlock * stride))
            return false;
    }
    return true;
}
