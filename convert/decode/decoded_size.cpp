#include "decoded_size.h"

#include "codecs.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int workingBytesPerPixel = 4; // the 32-bit form before the reduction to 5-6-5

// Products and sums of the sizes and counts files claim, which may reach beyond 64 bits (a picture
// of 2^31 x 2^31 pixels of 4 bytes), held at the largest number instead: a cost that wrapped would
// pass any bound.
qint64 timesAtMost(qint64 a, qint64 b)
{
    return b != 0 && a > LLONG_MAX / b ? LLONG_MAX : a * b;
}

qint64 plusAtMost(qint64 a, qint64 b)
{
    return a > LLONG_MAX - b ? LLONG_MAX : a + b;
}

} // namespace

qint64 decodedPictureBytes(QSize size, QImage::Format pixelFormat)
{
    int bytesPerPixel = workingBytesPerPixel;
    if (pixelFormat != QImage::Format_Invalid)
        bytesPerPixel = std::max(bytesPerPixel, QImage::toPixelFormat(pixelFormat).bitsPerPixel() / 8);
    return timesAtMost(qint64(qMax(size.width(), 0)) * qMax(size.height(), 0), bytesPerPixel);
}

DecodingCost decodingCost(const QByteArray &readerFormat, QSize claimedSize, QImage::Format pixelFormat,
                          QIODevice *device, QSize decodedSize)
{
    // Each format's headers are read by its codec (codecs/), where it keeps its size.
    const Codec &codec = codecOf(readerFormat);
    HeaderClaims header;
    const bool known = codec.readHeader != nullptr;
    if (known && !codec.readHeader(device, &header))
        return {};
    // A top-down BMP announces a negative height.
    const QSize claimed(claimedSize.width(), qAbs(claimedSize.height()));
    const QSize size = claimed.isValid() ? claimed.expandedTo(header.size) : header.size;
    if (!known && !claimed.isValid())
        return {DecodingCost::Unknown, QSize(), 0, 0, 0};
    if (size.isEmpty())
        return {};
    const QSize decoded = decodedSize.isValid() ? decodedSize : size;
    const qint64 pixels = qint64(decoded.width()) * decoded.height();
    const qint64 bytes = plusAtMost(plusAtMost(std::max(decodedPictureBytes(decoded, pixelFormat),
                                                        timesAtMost(pixels, header.minimumBytesPerPixel)),
                                               timesAtMost(pixels, header.extraBytesPerPixel)),
                                    header.coefficientBytes);
    return {DecodingCost::Known, size, bytes, header.scans, header.scanBlocks};
}
