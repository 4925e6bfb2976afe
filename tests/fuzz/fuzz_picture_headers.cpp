// Fuzz target: what Quillon reads of a picture's file before a reader decodes it, from any bytes:
// the format its signature names, the size and cost its headers tell (the JPEG marker walk, the
// TIFF directories, the icon directory, the GIF screen, PCX, SGI, Sun raster, Radiance, MNG,
// TGA), whether it goes on to its end (JPEG, PNG, GIF, WebP, icons), whether a PNG or a WebP
// animates, and an MNG's frame delays: each through its codec (convert/decode/codecs). Each must
// give the same answer twice, leave the device where it was (a WebP's check aside, which reads its
// first bytes), and tell a size that can be decoded when it tells one.

#include "codecs.h"
#include "decoded_size.h"
#include "picture_completeness.h"
#include "picture_format.h"

#include <QBuffer>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what)
{
    qCritical("picture headers: %s", what);
    std::abort();
}

// Every format whose headers are read here; the first byte of the input chooses one, or past
// them, the one the file's signature names.
const char *const formats[]
    = {"jpeg", "png", "gif", "webp", "ico", "cur", "tiff", "tga", "pcx", "rgb", "ras", "hdr", "mng", "bmp"};
constexpr int formatCount = int(sizeof formats / sizeof *formats);
// And the name the signature is read with: TGA and WBMP files are known by their suffix only.
const char *const names[] = {"picture.png", "picture.TGA", "picture.wbmp", "picture"};

// Qt's buffer warns of each seek beyond its end, as the readers make them on a file cut short: a
// fuzzer's run would do little else.
void dropWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

bool operator==(const DecodingCost &a, const DecodingCost &b)
{
    return a.kind == b.kind && a.size == b.size && a.bytes == b.bytes && a.scans == b.scans
        && a.scanBlocks == b.scanBlocks;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QtMessageHandler quiet = qInstallMessageHandler(dropWarnings);
    Q_UNUSED(quiet);
    if (size < 1 || size > 65536)
        return 0;
    const int choice = data[0];
    // The file held in a buffer of exactly its size, so that a read beyond it shows.
    const std::vector<char> bytes(data + 1, data + size);
    const QByteArray file = QByteArray::fromRawData(bytes.data(), int(bytes.size()));

    const QString name = QString::fromLatin1(names[(choice >> 4) % 4]);
    const QByteArray named = pictureFormatOf(file.left(pictureSignatureBytes), name);
    if (pictureFormatOf(file, name) != named)
        fail("more than the first bytes decide the format");
    if (isQtOwnFormat(named) && named != QByteArray(named).toLower())
        fail("a format of Qt's own is not named in lower case");
    const QByteArray format
        = choice % (formatCount + 1) < formatCount ? QByteArray(formats[choice % (formatCount + 1)]) : named;

    QBuffer device;
    device.setData(file);
    device.open(QIODevice::ReadOnly);
    const qint64 start = qMin<qint64>(file.size(), (choice >> 6) & 1);
    device.seek(start);
    const DecodingCost cost = decodingCost(format, QSize(), QImage::Format_Invalid, &device);
    device.seek(start);
    if (!(decodingCost(format, QSize(), QImage::Format_Invalid, &device) == cost))
        fail("two readings of the headers tell different costs");
    if (cost.kind == DecodingCost::Known
        && (cost.size.isEmpty()
            || (cost.bytes / 4 < qint64(cost.size.width()) * cost.size.height() && cost.bytes != LLONG_MAX)
            || cost.scans < 0 || cost.scanBlocks < 0))
        fail("a known cost without a size, or below four bytes a pixel short of the largest");
    const DecodingCost claimed = decodingCost(format, QSize(3, 2), QImage::Format_RGB32, &device);
    if (claimed.kind == DecodingCost::Known && (claimed.size.width() < 3 || claimed.size.height() < 2))
        fail("a cost smaller than the size the reader claims");

    device.seek(start);
    const bool whole = reachesItsEnd(format, &device);
    if (device.pos() != start)
        fail("the end check moved the device");
    if (reachesItsEnd(format, &device) != whole)
        fail("two end checks differ");
    const bool animated = isAnimatedPng(&device);
    if (device.pos() != start || isAnimatedPng(&device) != animated)
        fail("the APNG check moved the device, or changed its mind");

    const Codec &codec = codecOf(format);
    if (codec.animates && codec.animates(&device) != codec.animates(&device))
        fail("two checks of an animation differ");
    device.seek(start);
    if (codec.frameDelays) {
        const QVector<int> delays = codec.frameDelays(&device);
        if (codec.frameDelays(&device) != delays)
            fail("two readings of the frame delays differ");
        for (int delay : delays) {
            if (delay < 0)
                fail("a frame delay below 0");
        }
    }
    return 0;
}
