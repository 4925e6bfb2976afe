#include "animation_decoding.h"
#include "display_formats.h"
#include "frame_table.h"
#include "fresh_memory.h"
#include "output_files.h"
#include "picture_job.h"
#include "picturesupport.h"
#include "qimage16.h"
#include "testsupport.h"

#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

using namespace TestSupport;

Q_DECLARE_METATYPE(QVector<QImage>)

// Every frame of an animation: the frames decoded as Qt's reader composes them, within the bounds
// of one picture; their header compiled as C and C++ and walked through its tables, on the host
// and from an ATmega2560's flash; the command line's words and refusals.
class TestFrames : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(renewFolder()); }
    void decodesFramesWithinBounds_data();
    void decodesFramesWithinBounds();
    void headerWalkedThroughItsTables_data();
    void headerWalkedThroughItsTables();
    void frameTableReadFromAvrFlash_data();
    void frameTableReadFromAvrFlash();
    void sharesOnePaletteChosenFromEveryFrame_data();
    void sharesOnePaletteChosenFromEveryFrame();
    void commandLine_data();
    void commandLine();
    void observerToldInOrder_data();
    void observerToldInOrder();

private:
    // Writes the header of the frames in `format` (a row's variant: "rgb565 mask", "lvgl8"...)
    // and returns what a program that walks its tables prints.
    // Writes anim.h (and anim.c, split) of three frames with the decoding line; what the program
    // that walks its tables prints; what each frame shows, into `shown` when asked.
    QByteArray writeFrames(const QString &variant, bool split, bool progmem, QByteArray *printing,
                           QVector<QImage> *shown = nullptr);
};

namespace {

// Three frames of 5 x 3 whose pixels differ from frame to frame in red, green and blue apart.
QVector<QImage> threeFrames(bool withAlpha = false)
{
    QVector<QImage> frames;
    for (int f = 0; f < 3; ++f) {
        QImage frame(5, 3, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                frame.setPixel(x, y,
                               qRgba(40 * x + 8 * f, 90 * y + 16 * f, 200 - 50 * f + x,
                                     withAlpha ? (x + y + f) % 3 * 120 : 255));
        frames << frame;
    }
    return frames;
}

QByteArray onePixelFrames(int count)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    return animatedGifFile(QVector<QImage>(count, pixel), {});
}

// A GIF of `count` frames on a screen of `side` x `side`, each frame a whole screen announced by
// its descriptor, with no pixel data: refused before any is decoded, or it would take the memory.
QByteArray hugeFrames(int side, int count)
{
    const auto le16 = [](int value) { return QByteArray(1, char(value & 0xff)) + char(value >> 8); };
    QByteArray gif = "GIF89a" + le16(side) + le16(side) + QByteArray::fromHex("800000000000ffffff");
    for (int f = 0; f < count; ++f)
        gif += '\x2c' + le16(0) + le16(0) + le16(side) + le16(side)
            + QByteArray::fromHex("0002024401"
                                  "00");
    return gif + '\x3b';
}

// A GIF of one frame of 3 x 2 in red, green, blue and white, its data the codes given, of 3 bits
// (4 clears the table, 5 ends the data), in one sub-block.
QByteArray gifOfCodes(const QVector<int> &codes)
{
    QByteArray data;
    int bits = 0, used = 0;
    for (int code : codes)
        for (bits |= code << used, used += 3; used >= 8; bits >>= 8, used -= 8)
            data += char(bits & 0xff);
    if (used > 0)
        data += char(bits);
    return QByteArray::fromHex("474946383961"
                               "03000200"
                               "810000"
                               "ff000000ff000000ffffffff"
                               "2c"
                               "0000000003000200"
                               "00"
                               "02")
        + char(data.size()) + data + '\0' + '\x3b';
}

// An MNG of the frames, each a whole PNG stream after the header, at 100 ticks a second: Qt cannot
// write MNG files. A frame's FRAM delay in ticks, when given: from then on, or when negative, for
// that frame only.
QByteArray animatedMng(const QVector<QImage> &frames, const QVector<int> &framTicks = {})
{
    const QSize size = frames.first().size();
    QByteArray mng = QByteArray::fromHex("8a4d4e470d0a1a0a")
        + pngChunk("MHDR",
                   bigEndian32(quint32(size.width())) + bigEndian32(quint32(size.height())) + bigEndian32(100)
                       + QByteArray(12, '\0') + bigEndian32(1));
    for (int f = 0; f < frames.size(); ++f) {
        if (const int ticks = framTicks.value(f)) // framing mode 1, no name, the delay changed
            mng += pngChunk("FRAM",
                            QByteArray::fromHex("0100") + char(ticks > 0 ? 2 : 1) + QByteArray(3, '\0')
                                + bigEndian32(quint32(qAbs(ticks))));
        mng += pngFile(frames[f]).mid(8); // its chunks, IHDR to IEND
    }
    return mng + pngChunk("MEND", {});
}

// Bits written from the least significant of the first byte on, as WebP's lossless format reads them.
struct LosslessBits
{
    QByteArray bytes;
    int used = 0;

    void put(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i, ++used) {
            if (used % 8 == 0)
                bytes += '\0';
            if (value >> i & 1)
                bytes[used / 8] = char(bytes[used / 8] | 1 << (used % 8));
        }
    }
};

// A WebP lossless picture (VP8L) with no transform, each of green, red, blue and alpha coded in
// 8 bits with a prefix code of 256 symbols of length 8: its pixels' own bytes.
QByteArray losslessWebp(const QImage &image)
{
    LosslessBits bits;
    bits.put(0x2f, 8);
    bits.put(quint32(image.width() - 1), 14);
    bits.put(quint32(image.height() - 1), 14);
    bits.put(image.hasAlphaChannel() ? 1 : 0, 1); // alpha used
    bits.put(0, 3); // version
    bits.put(0, 3); // no transform, no colour cache, no meta prefix codes
    for (int alphabet : {256 + 24, 256, 256, 256}) { // green with the lengths' codes, red, blue, alpha
        bits.put(0, 1); // a normal code, whose lengths are themselves coded:
        bits.put(12 - 4, 4); // the lengths of the lengths 17, 18, 0, 1, 2, 3, 4, 5, 16, 6, 7, 8
        for (int i = 0; i < 12; ++i)
            bits.put(i == 2 || i == 11 ? 1 : 0, 3); // 0 and 8 only, a bit each
        bits.put(0, 1); // every symbol's length follows
        for (int symbol = 0; symbol < alphabet; ++symbol)
            bits.put(symbol < 256 ? 1 : 0, 1); // 8 or 0
    }
    bits.put(0b0001, 4); // distances: a simple code of one symbol, never read
    const auto byte = [&](int value) {
        for (int bit = 7; bit >= 0; --bit) // a prefix code's bits from its first
            bits.put(quint32(value >> bit & 1), 1);
    };
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            byte(qGreen(pixel));
            byte(qRed(pixel));
            byte(qBlue(pixel));
            byte(qAlpha(pixel));
        }
    }
    return bits.bytes;
}

// An animated WebP of the frames, each drawn at its offset (even) for its delay, its place cleared
// afterwards where `disposed` says so: Qt cannot write one. The canvas is the first frame's size.
QByteArray animatedWebp(const QVector<QImage> &frames, const QVector<int> &delays, QSize canvas = QSize(),
                        const QVector<bool> &disposed = {})
{
    const auto le = [](quint64 value, int bytes) {
        QByteArray data;
        for (int i = 0; i < bytes; ++i)
            data += char(value >> 8 * i & 0xff);
        return data;
    };
    const auto chunk = [&](const QByteArray &type, const QByteArray &data) {
        return type + le(quint32(data.size()), 4) + data + QByteArray(data.size() % 2, '\0');
    };
    const QSize size = canvas.isValid() ? canvas : frames.first().size();
    bool alpha = false; // the animation flag, and alpha's when a frame has it
    for (const QImage &frame : frames)
        alpha = alpha || frame.hasAlphaChannel();
    QByteArray webp = "WEBP"
        + chunk("VP8X",
                le(alpha ? 0x12 : 0x02, 4) + le(quint32(size.width() - 1), 3)
                    + le(quint32(size.height() - 1), 3))
        + chunk("ANIM", le(0, 6));
    for (int i = 0; i < frames.size(); ++i) {
        const QImage &frame = frames[i];
        webp += chunk("ANMF",
                      le(quint32(frame.offset().x() / 2), 3) + le(quint32(frame.offset().y() / 2), 3)
                          + le(quint32(frame.width() - 1), 3) + le(quint32(frame.height() - 1), 3)
                          + le(quint32(delays[i]), 3) + le(disposed.value(i) ? 0x03 : 0x02, 1)
                          + chunk("VP8L", losslessWebp(frame)));
    }
    return "RIFF" + le(quint32(webp.size()), 4) + webp;
}

// An APNG of two frames, the first its default picture, as Qt's PNG writer writes each: with
// `late`, its animation control chunk comes after the picture's data, which makes it a plain PNG.
QByteArray animatedPng(const QImage &first, const QImage &second, bool late = false)
{
    const QByteArray png = pngFile(first), other = pngFile(second);
    const int idat = png.indexOf("IDAT") - 4, otherIdat = other.indexOf("IDAT") - 4;
    const QByteArray secondData
        = other.mid(otherIdat + 8, int(qFromBigEndian<quint32>(other.constData() + otherIdat)));
    const auto control = [&](quint32 sequence) {
        return pngChunk("fcTL",
                        bigEndian32(sequence) + bigEndian32(quint32(first.width()))
                            + bigEndian32(quint32(first.height())) + bigEndian32(0) + bigEndian32(0)
                            + QByteArray::fromHex("000a00640000"));
    };
    const QByteArray animation = pngChunk("acTL", bigEndian32(2) + bigEndian32(0));
    const int iend = png.lastIndexOf("IEND") - 4;
    return png.left(idat) + (late ? QByteArray() : animation + control(0)) + png.mid(idat, iend - idat)
        + (late ? animation : QByteArray()) + control(1) + pngChunk("fdAT", bigEndian32(2) + secondData)
        + png.mid(iend);
}

// A part of the second frame at `rect`, and the second frame as Qt composes that part drawn over
// the first.
QPair<QImage, QImage> drawnOverFirst(const QVector<QImage> &frames, const QRect &rect)
{
    QImage part = frames[1].copy(rect), composed = frames[0];
    part.setOffset(rect.topLeft());
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            composed.setPixel(x, y, frames[1].pixel(x, y));
    return {part, composed};
}

// The frames as browsers show them: a transparent canvas, the screen enlarged to hold the first
// frame; each frame's opaque pixels drawn at its place, then its place cleared (disposal 2) or given
// back what it held (3 and 4).
QVector<QImage> composedAsBrowsers(const QVector<GifFrame> &frames, QSize screen)
{
    const QImage &first = frames.first().picture;
    QImage canvas(
        screen.expandedTo(QSize(first.offset().x() + first.width(), first.offset().y() + first.height())),
        QImage::Format_ARGB32);
    canvas.fill(0);
    QVector<QImage> shown;
    for (const GifFrame &frame : frames) {
        const QImage before = canvas;
        const QRect place(frame.picture.offset(), frame.picture.size());
        for (int y = 0; y < place.height(); ++y)
            for (int x = 0; x < place.width(); ++x)
                if (qAlpha(frame.picture.pixel(x, y)) != 0
                    && canvas.rect().contains(place.topLeft() + QPoint(x, y)))
                    canvas.setPixel(place.topLeft() + QPoint(x, y), frame.picture.pixel(x, y));
        shown << canvas;
        if (frame.disposal == 2)
            for (int y = place.top(); y <= place.bottom(); ++y)
                for (int x = place.left(); x <= place.right(); ++x)
                    if (canvas.rect().contains(x, y))
                        canvas.setPixel(x, y, 0);
        if (frame.disposal == 3 || frame.disposal == 4)
            canvas = before;
    }
    return shown;
}

// A part of a frame at (x, y), its colours shaded apart from another part's; with `holes`, every
// third pixel transparent.
QImage partAt(int x, int y, int width, int height, int shade, bool holes = false)
{
    QImage part(width, height, QImage::Format_ARGB32);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            part.setPixel(column, row,
                          holes && (row * width + column) % 3 == 1
                              ? 0
                              : qRgb(30 * column + shade, 40 * row + 2 * shade, 250 - 20 * column - shade));
    part.setOffset(QPoint(x, y));
    return part;
}

FrameRange rangeOf(const QString &text)
{
    FrameRange range;
    range.asked = true;
    if (text != "all") {
        range.first = text.section('-', 0, 0).toInt();
        range.last = text.section('-', 1, 1).toInt();
    }
    return range;
}

const char apngRefused[] = "--frames : cette image est un PNG animé (APNG), dont Qt 5 ne lit que l'image par "
                           "défaut ; sans --frames, elle seule est convertie";

const char dumpFunction[] = "#include <stdio.h>\nstatic void dump(const void *data, size_t size)\n{\n"
                            "    const unsigned char *bytes = (const unsigned char *)data;\n    size_t i;\n"
                            "    for (i = 0; i < size; ++i)\n        printf(\"%02x\", bytes[i]);\n"
                            "    printf(\"\\n\");\n}\n";

// A frame's coded array read back from its table's pointer, a byte at a time.
const char decodeFunction[] = "static void decode(const uint8_t *coded, size_t size)\n{\n"
                              "    quillon_rle_t r;\n    uint8_t byte;\n    size_t i;\n"
                              "    quillon_rle_init_near(&r, coded);\n    for (i = 0; i < size; ++i) {\n"
                              "        quillon_rle_read(&r, &byte, 1);\n        printf(\"%02x\", byte);\n"
                              "    }\n    printf(\"\\n\");\n}\n";

} // namespace

void TestFrames::decodesFramesWithinBounds_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("range");
    QTest::addColumn<int>("status"); // DecodedPicture::Status
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QVector<QImage>>("expected"); // the frames, compared pixel by pixel; none: not
    QTest::addColumn<QString>("delays"); // of the frames given

    // Delays under 2 hundredths are 100 ms in Qt's reader, as in browsers.
    const QVector<QImage> frames = threeFrames(), none;
    const QByteArray three = animatedGifFile(frames, {5, 20, 1});
    const int decoded = DecodedPicture::Decoded, tooLarge = DecodedPicture::TooLarge;
    const auto tooMany = [](int count) {
        return QString::fromUtf8(
                   "animation de %1 images, refusée : 1000 au plus (choisissez-en avec --frames A-B)")
            .arg(count);
    };
    const auto onlyThree
        = [](const char *range) { return QString("--frames %1 : cette image n'en a que 3").arg(range); };
    QTest::newRow("3 frames, all") << three << "all" << decoded << "" << frames << "50,200,100";
    QTest::newRow("3 frames, 2-3") << three << "2-3" << decoded << "" << frames.mid(1) << "200,100";
    QTest::newRow("3 frames, 3-3") << three << "3-3" << decoded << "" << frames.mid(2) << "100";
    // 2 hundredths, the first kept as given; a delay past 255 hundredths, both of its bytes; a
    // frame without a graphic control block, nothing of the block before it.
    QTest::newRow("delays of 2 and 300 hundredths, then none")
        << animatedGifFile(frames, {2, 300, 0}) << "all" << decoded << "" << frames << "20,3000,100";
    // A frame of 2 x 2 at (2, 1), drawn over the first: the second frame as Qt composes it.
    const auto gifPart = drawnOverFirst(frames, QRect(2, 1, 2, 2));
    QTest::newRow("a frame drawn over the first")
        << animatedGifFile({frames[0], gifPart.first}, {5, 5}) << "2-2" << decoded << ""
        << QVector<QImage> {gifPart.second} << "50";
    // Its data in more than 256 sub-blocks: past the first 64 KiB that the file's walk reads.
    QImage large(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            large.setPixel(x, y, qRgb(x * y % 7 * 40, y % 5 * 60, x % 3 * 120));
    QTest::newRow("a frame of 67 KB")
        << animatedGifFile({large}, {5}) << "all" << decoded << "" << QVector<QImage> {large} << "50";
    QTest::newRow("a frame of 67 KB, cut short") << animatedGifFile({large}, {5}).chopped(100) << "all"
                                                 << int(DecodedPicture::Truncated) << "" << none << "";
    QTest::newRow("3 frames, 3-4") << three << "3-4" << decoded << onlyThree("3-4") << none << "";
    QTest::newRow("3 frames, 4-4") << three << "4-4" << decoded << onlyThree("4-4") << none << "";
    const QByteArray png = pngFile(frames[0]);
    QTest::newRow("PNG, all") << png << "all" << decoded << "" << frames.mid(0, 1) << "0";
    QTest::newRow("PNG, 1-2") << png << "1-2" << decoded << "--frames 1-2 : cette image n'en a qu'une" << none
                              << "";
    // An SVG is one picture, drawn in its child as without --frames: refused there when it names a
    // file of the disk, which Qt's own reader of SVG would open.
    QTest::newRow("SVG naming a file of the disk, all")
        << QByteArray(
               R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )"
               R"(width="9" height="7"><image width="9" height="7" xlink:href="/etc/hostname"/></svg>)")
        << "all" << int(DecodedPicture::Hostile) << "" << none << "";
    // The frames read: at most 1,000.
    QTest::newRow("1000 frames of 1 x 1") << onePixelFrames(1000) << "all" << decoded << "" << none << "";
    QTest::newRow("1001 frames of 1 x 1")
        << onePixelFrames(1001) << "all" << decoded << tooMany(1001) << none << "";
    const QByteArray tenThousand = onePixelFrames(10000);
    QTest::newRow("10000 frames of 1 x 1") << tenThousand << "all" << decoded << tooMany(10000) << none << "";
    QTest::newRow("10000 frames of 1 x 1, 2-3") << tenThousand << "2-3" << decoded << "" << none << "";
    // Each frame a whole canvas of 4 bytes a pixel, against 256 MiB: 2 x 5793 x 5793 x 4 is
    // just above, 8000 x 8000 alone just below.
    // Animated WebP, decoded in a child process that hands every frame back; MNG too, whose
    // reader does not count its frames.
    const QByteArray webp = animatedWebp(frames, {50, 200, 70});
    QTest::newRow("WebP, all") << webp << "all" << decoded << "" << frames << "50,200,70";
    QTest::newRow("WebP, 2-3") << webp << "2-3" << decoded << "" << frames.mid(1) << "200,70";
    QTest::newRow("WebP, 3-4") << webp << "3-4" << decoded << onlyThree("3-4") << none << "";
    const auto webpPart = drawnOverFirst(frames, QRect(2, 0, 2, 2));
    QTest::newRow("WebP, a frame drawn over the first")
        << animatedWebp({frames[0], webpPart.first}, {30, 40}) << "2-2" << decoded << ""
        << QVector<QImage> {webpPart.second} << "40";
    // An opaque frame disposed to the background: its place cleared to transparency, as libwebp's
    // own composition clears it.
    QImage cleared(5, 3, QImage::Format_ARGB32);
    cleared.fill(0);
    for (int y = 0; y < 2; ++y)
        for (int x = 2; x < 4; ++x)
            cleared.setPixel(x, y, frames[1].pixel(x, y));
    QTest::newRow("WebP, an opaque frame disposed to the background")
        << animatedWebp({frames[0], webpPart.first}, {30, 40}, QSize(), {true, false}) << "all" << decoded
        << "" << QVector<QImage> {frames[0].convertToFormat(QImage::Format_ARGB32), cleared} << "30,40";
    QTest::newRow("WebP, an opaque first frame smaller than the canvas")
        << animatedWebp({webpPart.first, frames[1]}, {30, 40}, QSize(5, 3)) << "all" << decoded << ""
        << QVector<QImage> {cleared, frames[1].convertToFormat(QImage::Format_ARGB32)} << "30,40";
    QVector<QImage> pixels(1000, frames[0].copy(0, 0, 1, 1));
    QTest::newRow("WebP, 1000 frames of 1 x 1")
        << animatedWebp(pixels, QVector<int>(1000, 10)) << "all" << decoded << "" << none << "";
    QTest::newRow("WebP, 1001 frames of 1 x 1")
        << animatedWebp(pixels + pixels.mid(0, 1), QVector<int>(1001, 10)) << "all" << decoded
        << tooMany(1001) << none << "";
    QTest::newRow("WebP, 2 frames on 5793 x 5793")
        << animatedWebp(pixels.mid(0, 2), {10, 10}, QSize(5793, 5793)) << "all" << tooLarge << "" << none
        << "";
    // Delays as the chunks give them: 1 tick by default; a FRAM's for the frames after it, or for
    // the next one only.
    QTest::newRow("MNG, all") << animatedMng(frames) << "all" << decoded << "" << frames << "10,10,10";
    QTest::newRow("MNG, FRAM delays of 10, 30 and 50 ticks")
        << animatedMng(frames, {10, 30, 50}) << "all" << decoded << "" << frames << "100,300,500";
    QTest::newRow("MNG, a FRAM delay for one frame only")
        << animatedMng(frames, {10, -30}) << "all" << decoded << "" << frames << "100,300,100";
    QTest::newRow("MNG, 2-2") << animatedMng(frames) << "2-2" << decoded << "" << frames.mid(1, 1) << "";
    QTest::newRow("MNG, 2-4") << animatedMng(frames) << "2-4" << decoded << onlyThree("2-4") << none << "";
    QTest::newRow("MNG, 1000 frames of 1 x 1") << animatedMng(pixels) << "all" << decoded << "" << none << "";
    QTest::newRow("MNG, 1001 frames of 1 x 1")
        << animatedMng(pixels + pixels.mid(0, 1)) << "all" << decoded
        << QString::fromUtf8("animation de plus de 1000 images, refusée (choisissez-en avec --frames A-B)")
        << none << "";
    // An APNG's other frames: Qt 5 does not read them. Its acTL chunk after IDAT: a plain PNG.
    QTest::newRow("APNG, all") << animatedPng(frames[0], frames[1]) << "all" << decoded
                               << QString::fromUtf8(apngRefused) << none << "";
    QTest::newRow("PNG, acTL after IDAT, all")
        << animatedPng(frames[0], frames[1], true) << "all" << decoded << "" << frames.mid(0, 1) << "0";
    // Composed as browsers compose them, on a screen of 7 x 5: frames smaller than it at odd places,
    // each disposal, transparent and opaque first frames.
    const auto composed = [&](const char *name, const QVector<GifFrame> &gifFrames, const char *gifDelays,
                              QSize on = QSize(7, 5)) {
        QTest::newRow(name) << gifOfFrames(gifFrames, on) << "all" << decoded << ""
                            << composedAsBrowsers(gifFrames, on) << gifDelays;
    };
    const QImage whole = partAt(0, 0, 7, 5, 0);
    composed(
        "restored to the background after an opaque first frame",
        {{whole, 0, false, 7}, {partAt(1, 2, 3, 2, 5), 2, false, 1}, {partAt(4, 1, 2, 3, 9), 0, false, 0}},
        "70,100,100");
    composed("restored to the previous", {{whole}, {partAt(1, 1, 3, 3, 5), 3}, {partAt(3, 2, 4, 3, 9)}},
             "100,100,100");
    composed("disposal 4 taken as 3", {{whole}, {partAt(1, 1, 3, 3, 5), 4}, {partAt(3, 2, 4, 3, 9)}}, "");
    composed("transparent pixels leave what is there", {{whole}, {partAt(2, 1, 5, 4, 5, true), 0, false, 3}},
             "100,30");
    composed("an opaque first frame smaller than the screen",
             {{partAt(1, 1, 5, 3, 0)}, {partAt(0, 0, 2, 2, 5)}}, "");
    composed("a transparent first frame smaller than the screen, cleared",
             {{partAt(2, 1, 3, 3, 0, true), 2}, {partAt(3, 3, 4, 2, 5, true)}}, "");
    composed("a frame reaching beyond the screen", {{whole}, {partAt(5, 3, 4, 4, 5)}}, "");
    // Browsers enlarge a screen that the first frame goes beyond, and keep one far larger than it.
    composed("a first frame beyond the screen", {{partAt(2, 1, 5, 4, 0)}, {partAt(0, 0, 2, 2, 5)}}, "",
             QSize(6, 3));
    composed("a screen far larger than the first frame", {{partAt(1, 2, 3, 2, 0)}}, "", QSize(65, 31));
    // Interlaced rows in four passes, for every height that the passes cut differently.
    for (int height = 1; height <= 12; ++height)
        composed(qPrintable(QString("interlaced, %1 rows").arg(height)),
                 {{partAt(0, 0, 3, height, 0), 0, true}}, "", QSize(3, height));
    // Codes as an encoder writes them: growing to 12 bits, the table cleared or kept full.
    QImage noise(71, 59, QImage::Format_RGB32);
    quint32 seed = 7;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1103515245 + 12345;
            const int index = int(seed >> 16) % (x < 35 ? 200 : 3);
            noise.setPixel(x, y, qRgb(index, 255 - index, index * 7 % 256));
        }
    QTest::newRow("LZW codes up to 12 bits, the table cleared when full")
        << gifOfFrames({{noise}}) << "all" << decoded << "" << QVector<QImage> {noise} << "100";
    QTest::newRow("LZW codes up to 12 bits, the table kept full")
        << gifOfFrames({{noise}}, QSize(), GifCoding::LzwKeptFull) << "all" << decoded << ""
        << QVector<QImage> {noise} << "100";
    // Data that ends before the frame's last pixel, by its end code or its last sub-block: the
    // pixels it reaches drawn, the rest left as it was; damaged data refused.
    const auto reached = [](int pixels) {
        QImage frame(3, 2, QImage::Format_RGB32);
        frame.fill(Qt::black);
        for (int i = 0; i < pixels; ++i)
            frame.setPixel(i % 3, i / 3,
                           QVector<QRgb> {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}[i % 4]);
        return QVector<QImage> {frame};
    };
    QTest::newRow("an end code in the second row")
        << gifOfCodes({4, 0, 1, 4, 2, 3, 5}) << "all" << decoded << "" << reached(4) << "100";
    QTest::newRow("sub-blocks that end in the second row")
        << gifOfCodes({4, 0, 1, 4, 2, 3, 4, 0}) << "all" << decoded << "" << reached(5) << "100";
    QTest::newRow("a first code that is no colour")
        << gifOfCodes({4, 6, 5}) << "all" << int(DecodedPicture::NotAPicture) << "" << none << "";
    QTest::newRow("2 frames of 8000 x 8000") << hugeFrames(8000, 2) << "all" << tooLarge << "" << none << "";
    QTest::newRow("2 frames of 5793 x 5793") << hugeFrames(5793, 2) << "all" << tooLarge << "" << none << "";
    QTest::newRow("3 frames of 5000 x 5000, 1-3")
        << hugeFrames(5000, 3) << "1-3" << tooLarge << "" << none << "";
}

void TestFrames::decodesFramesWithinBounds()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, range);
    QFETCH(int, status);
    QFETCH(QString, problem);
    QFETCH(QVector<QImage>, expected);
    QFETCH(QString, delays);
    const QByteArray reader = file.startsWith("RIFF") ? "webp" : file.startsWith("\x8aMNG") ? "mng" : "";
    if (!reader.isEmpty() && !QImageReader::supportedImageFormats().contains(reader))
        QSKIP("no WebP or MNG reader (qt5-image-formats-plugins)");
    writeFile(path("animation"), file);
    const DecodedAnimation animation = decodeAnimation(path("animation"), DisplayOptions(), rangeOf(range));
    QCOMPARE(int(animation.status), status);
    QCOMPARE(animation.problem, problem);
    if (status != DecodedPicture::Decoded || !problem.isEmpty()) {
        QVERIFY(animation.frames.isEmpty());
        return;
    }
    const FrameRange asked = rangeOf(range);
    const int expectedCount = (asked.last ? asked.last : animation.frameCount) - asked.first + 1;
    QCOMPARE(animation.frames.size(), expectedCount);
    QCOMPARE(animation.delaysMs.size(), expectedCount);
    if (!delays.isEmpty()) {
        QStringList given;
        for (int delay : animation.delaysMs)
            given << QString::number(delay);
        QCOMPARE(given.join(','), delays);
    }
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(animation.frames[i].convertToFormat(expected[i].format()), expected[i]);
    if (expected.isEmpty())
        return;
    // The same on every run, whatever fresh memory holds; and the first frame, without --frames.
    if (reader.isEmpty() && FreshMemoryFill::available()) {
        const FreshMemoryFill fill(0x5a);
        const DecodedAnimation again = decodeAnimation(path("animation"), DisplayOptions(), rangeOf(range));
        QCOMPARE(again.frames, animation.frames);
    }
    if (asked.first == 1) {
        const DecodedPicture first = decodePicture(path("animation"));
        QCOMPARE(int(first.status), int(DecodedPicture::Decoded));
        QCOMPARE(first.image, animation.frames.first());
        if (reader != "mng") // whose reader does not count its frames
            QCOMPARE(first.frameCount, animation.frameCount);
    }
}

QByteArray TestFrames::writeFrames(const QString &variant, bool split, bool progmem, QByteArray *printing,
                                   QVector<QImage> *shown)
{
    const QString formatName = variant.section(' ', 0, 0);
    const bool lvgl = formatName.startsWith("lvgl");
    const DisplayFormat *format = findDisplayFormat(lvgl ? "lvgl" : formatName.toLatin1());
    EncodingOptions options;
    options.header.arrayName = "anim";
    options.pixels.alphaMask = variant.contains("mask");
    options.lvgl.version = formatName == "lvgl8" ? 8 : 9;
    const bool coded = variant.contains("rle");
    if (lvgl) // "lvgl RGB888": a colour format whose picture shown is drawn from its pixels
        options.lvgl.colourFormat = lvglColourFormatOf(variant.section(' ', 1, 1).toLatin1());
    options.header.progmem = progmem;
    QVector<PreparedPicture> frames;
    for (const QImage &frame : threeFrames(options.pixels.alphaMask))
        frames << preparePicture(frame, DisplayOptions(), format->alpha != DisplayFormat::NoAlpha);
    const QVector<int> delays = {50, 200, 70000};
    if (coded)
        options.arrays.compression = ArrayLayout::Rle;
    EncodedPicture encoded = encodeFrames(*format, frames, delays, options);
    encoded.header.commentLines << decodingLine(*format, options);

    OutputRequest request;
    request.header.arrayName = "anim";
    request.header.split = split;
    request.header.progmem = progmem;
    request.pixels = &encoded.header;
    const OutputPaths paths = outputPaths(path(), "anim.gif");
    if (writeOutputFiles(QImage16(encoded.shownPicture(QImage::Format_RGB16)), paths, request)
        != WriteOutcome::Written)
        qFatal("anim not written");

    // What each frame holds, encoded alone, with the palette that the frames share.
    // Coded by run length, each frame's arrays read back as they are without.
    EncodingOptions alone = options;
    alone.header.arrayName = "one";
    alone.arrays.compression = ArrayLayout::Uncompressed;
    const QByteArray palette = arraysOf(encoded.header).value("anim_palette");
    for (int i = 0; i < palette.size(); i += 2)
        alone.pixels.palette << quint16(uchar(palette[i]) | uchar(palette[i + 1]) << 8);
    // The first frame stands for the animation in the BMP file and the preview.
    if (encoded.shownPicture() != format->encode(frames.first(), alone).shownPicture())
        qFatal("anim not shown as its first frame");
    for (int i = 0; shown && i < frames.size(); ++i)
        *shown << format->encode(frames[i], alone).shownPicture();
    QByteArray expected;
    if (lvgl) {
        printing->clear(); // the header's own line walks the frames
        for (int i = 0; i < frames.size(); ++i) {
            const CArray map = format->encode(frames[i], alone).header.arrays.first();
            expected += "5x3 " + map.data.toHex() + '\n';
        }
        return expected;
    }
    expected = "3 5x3\n";
    *printing = "    printf(\"%d %dx%d\\n\", anim_frame_count, anim_width, anim_height);\n"
                "    for (i = 0; i < anim_frame_count; ++i) {\n"
                "        printf(\"%u\\n\", (unsigned)anim_delays_ms[i]);\n";
    QByteArrayList tables;
    for (int i = 0; i < frames.size(); ++i) {
        expected += QByteArray::number(qMin(delays[i], 65535)) + '\n';
        for (const CArray &array : format->encode(frames[i], alone).header.arrays) {
            const QByteArray suffix = array.name.mid(3);
            if (suffix == "_palette")
                continue;
            expected += array.data.toHex() + '\n';
            if (i == 0 && coded)
                *printing += "        decode(anim" + suffix + "_frames[i], anim" + suffix + "_size);\n";
            else if (i == 0)
                *printing
                    += "        dump(anim" + suffix + "_frames[i], sizeof anim_frame0" + suffix + ");\n";
        }
    }
    *printing += "    }\n";
    return expected;
}

void TestFrames::headerWalkedThroughItsTables_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("standard");
    QTest::addColumn<bool>("split");
    QTest::addColumn<bool>("progmem");
    for (const char *variant : {"rgb565 mask", "mono", "pages", "index4", "index8", "epd-bw-red",
                                "epd-spectra6", "lvgl", "lvgl RGB888", "lvgl8"})
        for (const char *standard : {"c99", "c++17"})
            for (const bool split : {false, true})
                QTest::addRow("%s, %s%s", variant, standard, split ? ", split" : "")
                    << variant << standard << split << false;
    for (const char *variant : {"rgb565", "index4"}) {
        QTest::addRow("%s, c99, progmem", variant) << variant << "c99" << false << true;
        QTest::addRow("%s, c++17, progmem split", variant) << variant << "c++17" << true << true;
    }
    // Coded by run length: the tables point at each frame's coded arrays.
    for (const char *variant :
         {"rgb565 mask rle", "index8 rle", "epd-bw-red rle", "xbm rle", "rgb332 rle", "rgb444 rle"}) {
        QTest::addRow("%s, c99", variant) << variant << "c99" << false << false;
        QTest::addRow("%s, c++17, split", variant) << variant << "c++17" << true << false;
    }
}

void TestFrames::headerWalkedThroughItsTables()
{
    QFETCH(QString, variant);
    QFETCH(QString, standard);
    QFETCH(bool, split);
    QFETCH(bool, progmem);
    const bool cxx = standard.startsWith("c++");
    QByteArray printing;
    QVector<QImage> shown;
    const QByteArray expected = writeFrames(variant, split, progmem, &printing, &shown);
    // Read back as --decode reads the header (and its C file): each frame as it shows alone.
    const HeaderPictures read
        = decodeHeader(readFile(path("anim.h")) + (split ? '\n' + readFile(path("anim.c")) : QByteArray()));
    QCOMPARE(read.problem, QString());
    QCOMPARE(read.pictures.size(), shown.size());
    for (int i = 0; i < shown.size(); ++i) {
        QCOMPARE(read.pictures[i].name, "anim_frame" + QByteArray::number(i));
        QCOMPARE(read.pictures[i].shown, shown[i]);
    }
    const QString compiler = QStandardPaths::findExecutable(cxx ? "g++" : "gcc");
    if (compiler.isEmpty())
        QSKIP("gcc and g++ are needed");
    QByteArray program = dumpFunction + QByteArray("#include \"anim.h\"\n")
        + (variant.contains("rle") ? decodeFunction : "");
    if (variant.startsWith("lvgl")) {
        // The header's own drawing line, pasted as it stands, against the stand-in's declarations.
        const QRegularExpressionMatch line
            = QRegularExpression("// LVGL [89]: (.*)\\n").match(QString::fromUtf8(readFile(path("anim.h"))));
        QVERIFY(line.hasMatch());
        const QByteArray descriptor = variant == "lvgl8" ? "lv_img_dsc_t" : "lv_image_dsc_t";
        program
            += "lv_obj_t *lv_screen_active(void) { return 0; }\nlv_obj_t *lv_scr_act(void) { return 0; }\n"
               "lv_obj_t *lv_animimg_create(lv_obj_t *parent) { (void)parent; return 0; }\n"
               "void lv_animimg_set_duration(lv_obj_t *obj, uint32_t duration)\n"
               "{ (void)obj; printf(\"%u ms\\n\", (unsigned)duration); }\n"
               "void lv_animimg_set_repeat_count(lv_obj_t *obj, uint32_t count) { (void)obj; (void)count; }\n"
               "void lv_animimg_start(lv_obj_t *obj) { (void)obj; }\n"
               "void lv_animimg_set_src(lv_obj_t *obj, const void *dsc[], size_t num)\n{\n"
               "    size_t i;\n    (void)obj;\n    for (i = 0; i < num; ++i) {\n        const "
            + descriptor + " *d = (const " + descriptor + " *)dsc[i];\n"
            + "        printf(\"%ux%u \", (unsigned)d->header.w, (unsigned)d->header.h);\n"
              "        dump(d->data, d->data_size);\n    }\n}\nint main(void)\n{\n"
            + printing + "    " + line.captured(1).toUtf8() + "\n    return 0;\n}\n";
    } else {
        // In C++, each drawing line of the C++ libraries, as it stands, against their stand-ins,
        // for every frame.
        QByteArray drawing;
        const QRegularExpression drawingLine("^// (Adafruit GFX|TFT_eSPI): (.*)$",
                                             QRegularExpression::MultilineOption);
        for (auto it = drawingLine.globalMatch(QString::fromUtf8(readFile(path("anim.h"))));
             cxx && it.hasNext();) {
            const QRegularExpressionMatch line = it.next();
            drawing
                += "        {\n            "
                + QByteArray(
                       line.captured(1) == "TFT_eSPI"
                           ? "TFT_eSPI tft;"
                           : "Adafruit_GFX tft(STANDIN_WIDTH, STANDIN_HEIGHT), "
                             "display(STANDIN_WIDTH, STANDIN_HEIGHT), canvas(STANDIN_WIDTH, STANDIN_HEIGHT);")
                + "\n            int16_t x = 0, y = 0;\n            " + line.captured(2).toUtf8()
                + "\n        }\n";
        }
        if (!drawing.isEmpty())
            program = "#include <displays.h>\n" + program + "static void draw(void)\n{\n    int i;\n"
                + "    for (i = 0; i < anim_frame_count; ++i) {\n" + drawing + "    }\n}\n";
        program += QByteArray("int main(void)\n{\n    int i;\n")
            + (variant.contains("rle") ? "    (void)dump;\n" : "") + printing
            + (drawing.isEmpty() ? "" : "    draw();\n") + "    return 0;\n}\n";
    }
    writeFile(path("main.c"), program);
    QStringList sources = {path("main.c")};
    if (split)
        sources << path("anim.c");
    const Run built = runProgram(QStringList {compiler, "-std=" + standard, "-Wall", "-Wextra", "-Werror",
                                              "-DLV_LVGL_H_INCLUDE_SIMPLE", "-I", QUILLON_LVGL_STANDIN, "-I",
                                              QUILLON_DISPLAY_STANDINS, "-I", path(), "-o", path("program")}
                                 + (cxx ? QStringList {"-x", "c++"} : QStringList()) + sources);
    QVERIFY2(built.exitCode == 0, qPrintable(built.out + built.err));
    const Run ran = runProgram({path("program")});
    QCOMPARE(ran.exitCode, 0);
    const QByteArray lvglDuration = variant.startsWith("lvgl") ? "70250 ms\n" : "";
    QCOMPARE(ran.out.toUtf8(), expected + lvglDuration);
    // The frames' coded arrays weighed together in the comment: 3 frames of one or two arrays.
    if (variant.contains("rle")) {
        const int arrays = variant.startsWith("rgb565") || variant.startsWith("epd") ? 6 : 3;
        QVERIFY2(readFile(path("anim.h")).contains(QByteArray::number(arrays) + " arrays run-length coded: ")
                     == (arrays > 4),
                 readFile(path("anim.h")).constData());
    }
}

void TestFrames::frameTableReadFromAvrFlash_data()
{
    QTest::addColumn<bool>("coded");
    QTest::newRow("arrays") << false;
    // Coded arrays read from their tables' pointers, on a chip of more than 64 KB of flash.
    QTest::newRow("coded arrays") << true;
}

void TestFrames::frameTableReadFromAvrFlash()
{
    QFETCH(bool, coded);
    for (const char *tool : {"avr-gcc", "simavr"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(QString(tool) + " is not installed (scripts/install-deps installs it)"));
    }
    // The frames' tables walked in program memory as a firmware walks them, with pgm_read_ptr
    // and pgm_read_word: a table left in RAM gives other pointers, and other sums.
    QByteArray printing;
    const QList<QByteArray> lines
        = writeFrames(coded ? "rgb565 mask rle" : "rgb565 mask", false, true, &printing).split('\n');
    // Each frame's pixels and mask, read from flash, or decoded from there.
    const QByteArray pixels = coded ? "anim_size" : "sizeof anim_frame0";
    const QByteArray mask = coded ? "anim_mask_size" : "sizeof anim_frame0_mask";
    const auto fletcher = [](const QByteArray &bytes) {
        int low = 0, high = 0;
        for (char byte : bytes) {
            low = (low + uchar(byte)) % 255;
            high = (high + low) % 255;
        }
        return QByteArray::number(high << 8 | low, 16).rightJustified(4, '0');
    };
    QByteArray expected = "3 5x3\n";
    for (int frame = 0; frame < 3; ++frame)
        expected += lines[1 + 3 * frame] + ' ' + fletcher(QByteArray::fromHex(lines[2 + 3 * frame])) + ' '
            + fletcher(QByteArray::fromHex(lines[3 + 3 * frame])) + '\n';
    writeFile(
        path("frames_main.c"),
        "#include <avr/pgmspace.h>\n#include \"anim.h\"\n"
        "void board_start(void);\nvoid board_putc(char c);\nvoid board_stop(void);\n"
        "static void put_number(uint32_t value, uint8_t base, uint8_t digits, char after)\n{\n"
        "    char text[12];\n    uint8_t n = 0;\n    do {\n"
        "        text[n++] = \"0123456789abcdef\"[value % base];\n        value /= base;\n"
        "    } while (value || n < digits);\n    while (n)\n        board_putc(text[--n]);\n"
        "    board_putc(after);\n}\n"
        "static uint16_t fletcher(const uint8_t *bytes, uint16_t size)\n{\n"
        "    uint16_t low = 0, high = 0;\n    uint8_t byte;\n"
            + QByteArray(coded ? "    quillon_rle_t r;\n    quillon_rle_init_near(&r, bytes);\n" : "")
            + "    while (size--) {\n"
            + (coded ? "        quillon_rle_read(&r, &byte, 1);\n"
                     : "        byte = pgm_read_byte(bytes++);\n")
            + "        low = (low + byte) % 255;\n        high = (high + low) % 255;\n    }\n"
              "    return high << 8 | low;\n}\n"
            + "int main(void)\n{\n    uint8_t i;\n    board_start();\n"
              "    put_number(anim_frame_count, 10, 1, ' ');\n    put_number(anim_width, 10, 1, 'x');\n"
              "    put_number(anim_height, 10, 1, '\\n');\n    for (i = 0; i < anim_frame_count; ++i) {\n"
              "        put_number(pgm_read_word(&anim_delays_ms[i]), 10, 1, ' ');\n"
              "        put_number(fletcher((const uint8_t *)pgm_read_ptr(&anim_frames[i]), "
            + pixels
            + "),\n                   16, 4, ' ');\n"
              "        put_number(fletcher((const uint8_t *)pgm_read_ptr(&anim_mask_frames[i]),\n"
              "                            "
            + mask
            + "), 16, 4, '\\n');\n"
              "    }\n    board_putc('e');\n    board_putc('n');\n    board_putc('d');\n    "
              "board_putc('\\n');\n"
              "    board_stop();\n    return 0;\n}\n");
    const Run built = runProgram({"avr-gcc", "-mmcu=atmega2560", "-Os", "-std=c99", "-Wall", "-Wextra",
                                  "-Werror", "-I", path(), FIRMWARE_TEST_DIR "/avr_board.c",
                                  path("frames_main.c"), "-o", path("frames.elf")});
    QVERIFY2(built.exitCode == 0, qPrintable(built.out + built.err));
    const Run chip = runProgram({"simavr", "-m", "atmega2560", "-f", "16000000", path("frames.elf")});
    // simavr colours each line of the serial output and ends it with a dot.
    QString output = QString(chip.out + chip.err).remove(QRegularExpression("\\x1b\\[[0-9;]*m"));
    output.remove(QRegularExpression("\\.$", QRegularExpression::MultilineOption));
    QVERIFY2(output.contains(QString::fromLatin1(expected) + "end\n"), qPrintable(output));
    if (!coded)
        return;
    // The header's own line for Adafruit GFX compiles there too: each frame's coded arrays read from
    // their tables' pointers, which a chip of more than 64 KB of flash takes only as such.
    const QRegularExpressionMatch line
        = QRegularExpression("^// Adafruit GFX: (.*)$", QRegularExpression::MultilineOption)
              .match(QString::fromUtf8(readFile(path("anim.h"))));
    QVERIFY(line.hasMatch());
    writeFile(path("draw.cpp"),
              "#include <displays.h>\n#include \"anim.h\"\nvoid draw(void);\nvoid draw(void)\n{\n"
              "    Adafruit_GFX tft(STANDIN_WIDTH, STANDIN_HEIGHT);\n    int16_t x = 0, y = 0;\n"
              "    for (int i = 0; i < anim_frame_count; ++i) {\n        "
                  + line.captured(1).toUtf8() + "\n    }\n}\n");
    const Run drawing
        = runProgram({"avr-g++", "-mmcu=atmega2560", "-Os", "-std=c++11", "-DSTANDIN_WIDTH=48",
                      "-DSTANDIN_HEIGHT=24", "-Wall", "-Wextra", "-Werror", "-I", QUILLON_DISPLAY_STANDINS,
                      "-I", path(), "-c", path("draw.cpp"), "-o", path("draw.o")});
    QVERIFY2(drawing.exitCode == 0, qPrintable(line.captured(1) + '\n' + drawing.out + drawing.err));
}

void TestFrames::sharesOnePaletteChosenFromEveryFrame_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("colours"); // each frame's, none in another frame
    // Within the palette: every colour of every frame kept exactly. Beyond: the nearest.
    QTest::newRow("index4, 2 x 8 colours") << QByteArray("index4") << 8;
    QTest::newRow("index8, 2 x 128 colours") << QByteArray("index8") << 128;
}

void TestFrames::sharesOnePaletteChosenFromEveryFrame()
{
    QFETCH(QByteArray, format);
    QFETCH(int, colours);
    // Two frames of `colours` colours each, 5-6-5 exactly, red in one, green and blue in the other.
    QVector<PreparedPicture> frames(2);
    for (int f = 0; f < 2; ++f) {
        frames[f].colours = QImage(colours, 3, QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < colours; ++x)
                frames[f].colours.setPixel(
                    x, y, f == 0 ? qRgb(x * 8 % 256, 0, x / 32 * 8) : qRgb(0, x * 4 % 256, 248));
    }
    EncodingOptions options;
    options.header.arrayName = "anim";
    const auto arrays = arraysOf(encodeFrames(*findDisplayFormat(format), frames, {10, 10}, options).header);
    const QByteArray palette = arrays["anim_palette"],
                     indices[2] = {arrays["anim_frame0"], arrays["anim_frame1"]};
    QCOMPARE(palette.size(), format == "index4" ? 32 : 512);
    const bool nibbles = format == "index4";
    for (int f = 0; f < 2; ++f) {
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < colours; ++x) {
                const int at = nibbles ? y * ((colours + 1) / 2) + x / 2 : y * colours + x;
                const int index
                    = nibbles ? (uchar(indices[f][at]) >> (x % 2 ? 0 : 4)) & 15 : uchar(indices[f][at]);
                const quint16 stored
                    = quint16(uchar(palette[2 * index]) | uchar(palette[2 * index + 1]) << 8);
                QCOMPARE(stored, rgb565(frames[f].colours.pixel(x, y)));
            }
        }
    }
}

void TestFrames::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error"); // standard error after "quillon-convert: "
    QTest::addColumn<QString>("arrays"); // the header's arrays of pixels, in order

    const QString usage = "\nEssayez « quillon-convert --help » pour plus d'informations.\n";
    const QString gif = "anim.gif";
    const auto mono = [](const QStringList &rest) { return QStringList {"--format", "mono"} + rest; };
    const auto firstOnly = [](const QString &name) {
        return name
            + " : image animée : seule la première de ses 3 images est convertie (--frames all pour "
              "toutes)\n";
    };
    const QString allFrames = "anim_frame0 anim_frame1 anim_frame2 anim_delays_ms anim_frames";
    // Without --frames, the first frame as before, and a word.
    QTest::newRow("animation without --frames") << mono({gif}) << 0 << firstOnly(gif) << "anim";
    QTest::newRow("a single frame without --frames") << mono({"one.gif"}) << 0 << ""
                                                     << "one";
    QTest::newRow("--frames all") << mono({"--frames", "all", gif}) << 0 << "" << allFrames;
    QTest::newRow("--frames 2-3") << mono({"--frames", "2-3", gif}) << 0 << ""
                                  << "anim_frame0 anim_frame1 anim_delays_ms anim_frames";
    QTest::newRow("--frames 3") << mono({"--frames", "3", gif}) << 0 << ""
                                << "anim_frame0 anim_delays_ms anim_frames";
    QTest::newRow("--frames 2-4") << mono({"--frames", "2-4", gif}) << 1
                                  << gif + " : --frames 2-4 : cette image n'en a que 3\n"
                                  << "";
    // Every frame shaped as one picture, the options checked against the first.
    QTest::newRow("--frames all --crop outside")
        << mono({"--frames", "all", "--crop", "2,1,4x2", gif}) << 1
        << gif + " : --crop 2,1,4x2 sort de l'image, de 5 x 3 pixels\n"
        << "";
    QTest::newRow("--frames all --crop --rotate")
        << QStringList {"--format", "index4", "--frames", "all", "--crop", "1,1,4x2", "--rotate", "90", gif}
        << 0 << ""
        << "anim_palette anim_frame0 anim_frame1 anim_frame2 anim_delays_ms anim_frames";
    // What shaping the frames takes, bounded before any is shaped once they are counted: a GIF's
    // before any is decoded, a WebP's as the child hands them back. Three frames of 95.4 MiB.
    const QString shapedTooLarge = QString::fromUtf8(
        " : animation trop grande une fois façonnée : avec --canvas 5000x5000, ses 3 images passent chacune "
        "par 5000 x 5000 pixels, soit 287 Mio en tout, plus que les 256 Mio permis (2 images au plus : "
        "choisissez-les avec --frames A-B)\n");
    QTest::newRow("--frames all --canvas 5000x5000")
        << mono({"--frames", "all", "--canvas", "5000x5000", gif}) << 1 << gif + shapedTooLarge << "";
    QTest::newRow("WebP, --frames all --canvas 5000x5000")
        << mono({"--frames", "all", "--canvas", "5000x5000", "anim.webp"}) << 1
        << "anim.webp" + shapedTooLarge << "";
    // A 1-bit array all unlit in every frame is told once: the lightest pixel of the last frame
    // has a luminance of 189.
    QTest::newRow("--frames all --threshold 190")
        << mono({"--frames", "all", "--threshold", "190", gif}) << 0
        << gif
            + QString::fromUtf8(
                " : anim : tous ses pixels sont éteints (0) : l'image est partout plus sombre "
                "que le seuil 190 (essayez --threshold N avec N plus bas)\n")
        << allFrames;
    QTest::newRow("--frames all --threshold 189")
        << mono({"--frames", "all", "--threshold", "189", gif}) << 0 << "" << allFrames;
    // Each frame's array all alike, but unlit in one and lit in the other: nothing to tell.
    QTest::newRow("--frames all, a black frame and a white one")
        << mono({"--frames", "all", "blackwhite.gif"}) << 0 << ""
        << "blackwhite_frame0 blackwhite_frame1 blackwhite_delays_ms blackwhite_frames";
    // Decoded in a child process, which hands back the first frame only without --frames, every
    // frame with it; Qt's MNG and WebP readers do not count frames before reading the first.
    QTest::newRow("MNG without --frames")
        << mono({"anim.mng"}) << 0
        << QString::fromUtf8(
               "anim.mng : image animée : seule la première de ses images est convertie (--frames all "
               "pour toutes)\n")
        << "anim";
    QTest::newRow("MNG, --frames all") << mono({"--frames", "all", "anim.mng"}) << 0 << "" << allFrames;
    QTest::newRow("WebP without --frames") << mono({"anim.webp"}) << 0 << firstOnly("anim.webp") << "anim";
    QTest::newRow("WebP, --frames 2-3 --format index4")
        << QStringList {"--format", "index4", "--frames", "2-3", "anim.webp"} << 0 << ""
        << "anim_palette anim_frame0 anim_frame1 anim_delays_ms anim_frames";
    // An animation whose frames are not counted: the range asked for is too large, not the picture.
    QTest::newRow("MNG of 1000 x 1000, --frames 1-100")
        << mono({"--frames", "1-100", "wide.mng"}) << 1
        << QString::fromUtf8(
               "wide.mng : animation trop grande pour être convertie : ses images prendraient plus "
               "de 256 Mio (choisissez-en avec --frames A-B)\n")
        << "";
    // A still picture too large: not an animation.
    QTest::newRow("--frames all, a still picture too large")
        << mono({"--frames", "all", "huge.png"}) << 1
        << QString::fromUtf8("huge.png : image trop grande pour être convertie\n") << "";
    // Qt 5 reads an APNG's default picture only.
    QTest::newRow("APNG without --frames")
        << mono({"anim.png"}) << 0
        << QString::fromUtf8("anim.png : PNG animé (APNG) : seule son image par défaut est convertie, Qt 5 "
                             "n'en lit pas les autres images\n")
        << "anim";
    QTest::newRow("APNG, --frames all")
        << mono({"--frames", "all", "anim.png"}) << 1 << "anim.png : " + QString::fromUtf8(apngRefused) + "\n"
        << "";
    // Two pictures whose headers of frames would define the same names.
    const QString clash = QString::fromUtf8("les en-têtes de %1 et de %2 définiraient tous deux « %3 » : "
                                            "renommez l'un des fichiers")
        + usage;
    QTest::newRow("--frames, anim and anim_frame1") << mono({"--frames", "all", gif, "anim_frame1.gif"}) << 2
                                                    << clash.arg(gif, "anim_frame1.gif", "anim_frame1") << "";
    QTest::newRow("--frames, anim_frame1 and anim") << mono({"--frames", "all", "anim_frame1.gif", gif}) << 2
                                                    << clash.arg("anim_frame1.gif", gif, "anim_frame1") << "";
    QTest::newRow("--frames, a and a_frame1") << mono({"--frames", "all", "a.gif", "a_frame1.gif"}) << 2
                                              << clash.arg("a.gif", "a_frame1.gif", "a_frame1") << "";
    QTest::newRow("--frames, anim and anim_delays_ms")
        << mono({"--frames", "all", gif, "anim_delays_ms.gif"}) << 2
        << clash.arg(gif, "anim_delays_ms.gif", "anim_delays_ms") << "";
    QTest::newRow("--frames, anim and anim_frame1000: no clash")
        << mono({"--frames", "all", gif, "anim_frame1000.gif"}) << 0 << ""
        << "";
    QTest::newRow("anim and anim_frame1 without --frames")
        << mono({gif, "anim_frame1.gif"}) << 0 << firstOnly(gif) << "";
    QTest::newRow("MNG of one frame, --frames all") << mono({"--frames", "all", "one.mng"}) << 0 << ""
                                                    << "one_frame0 one_delays_ms one_frames";
    // LVGL 8's lv_animimg_set_src() counts them in a uint8_t.
    QTest::newRow("LVGL 8, 256 frames")
        << QStringList {"--format", "lvgl", "--lvgl-version", "8", "--frames", "all", "many.gif"} << 1
        << "many.gif : LVGL 8 n'anime que 255 images au plus (lv_animimg_set_src en prend le nombre en "
           "uint8_t) : choisissez-en avec --frames A-B\n"
        << "";
    QTest::newRow("LVGL 8, 255 frames")
        << QStringList {"--format", "lvgl", "--lvgl-version", "8", "--frames", "2-256", "many.gif"} << 0 << ""
        << "";
    QTest::newRow("--frames 0-2") << mono({"--frames", "0-2", gif}) << 2
                                  << "--frames : « 0-2 » : les images sont numérotées à partir de 1" + usage
                                  << "";
    QTest::newRow("--frames 3-2") << mono({"--frames", "3-2", gif}) << 2
                                  << "--frames : « 3-2 » finit avant de commencer" + usage << "";
    QTest::newRow("--frames 1-1000") << mono({"--frames", "1-1000", gif}) << 1
                                     << gif + " : --frames 1-1000 : cette image n'en a que 3\n"
                                     << "";
    QTest::newRow("--frames 1-1001") << mono({"--frames", "1-1001", gif}) << 2
                                     << "--frames : « 1-1001 » demande plus de 1000 images" + usage << "";
    QTest::newRow("--frames first")
        << mono({"--frames", "first", gif}) << 2
        << "--frames : « first » n'est ni all ni des images A-B (par exemple 1-10, numérotées à partir de 1)"
            + usage
        << "";
    QTest::newRow("--frames with bmp")
        << QStringList {"--frames", "all", gif} << 2
        << "--frames ne s'emploie pas avec --format bmp : le fichier BMP ne tient qu'une image ; "
           "choisissez un format d'écran (rgb565, mono, lvgl...)"
            + usage
        << "";
}

void TestFrames::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(QString, arrays);
    writeFile(path("anim.gif"), animatedGifFile(threeFrames(), {5, 20, 1}));
    writeFile(path("many.gif"), onePixelFrames(256));
    const QByteArray reader = arguments.constLast().section('.', -1).toLatin1();
    if ((reader == "mng" || reader == "webp") && !QImageReader::supportedImageFormats().contains(reader))
        QSKIP("no MNG or WebP reader (qt5-image-formats-plugins)");
    writeFile(path("anim.mng"), animatedMng(threeFrames()));
    writeFile(path("anim.webp"), animatedWebp(threeFrames(), {50, 200, 70}));
    writeFile(path("anim.png"), animatedPng(threeFrames()[0], threeFrames()[1]));
    for (const char *name :
         {"one.gif", "anim_frame1.gif", "anim_delays_ms.gif", "anim_frame1000.gif", "a.gif", "a_frame1.gif"})
        writeFile(path(name), animatedGifFile({threeFrames()[1]}, {5}));
    writeFile(path("one.mng"), animatedMng({threeFrames()[2]}));
    QImage black(5, 3, QImage::Format_RGB32), white(5, 3, QImage::Format_RGB32);
    black.fill(Qt::black);
    white.fill(Qt::white);
    writeFile(path("blackwhite.gif"), animatedGifFile({black, white}, {5, 5}));
    writeFile(path("huge.png"), pngWithoutPixels(30000, 30000));
    // An MNG of 1000 x 1000 whose frames are not counted: 4 MB a frame.
    const QByteArray mhdr
        = QByteArray::fromHex("000003e8000003e8000003e8" // width, height, ticks a second
                              "00000000000000000000000000000001"); // layers, frames, time, profile
    writeFile(path("wide.mng"),
              QByteArray::fromHex("8a4d4e470d0a1a0a") + pngChunk("MHDR", mhdr) + pngChunk("MEND", {}));
    QProcess process;
    process.setWorkingDirectory(path());
    process.start(QUILLON_CONVERT, arguments);
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), exitCode);
    // Without a batch's last line, which counts its pictures.
    QCOMPARE(
        QString::fromUtf8(process.readAllStandardError())
            .remove(QRegularExpression(QString::fromUtf8("^2 images converties, 0 ignorée, 0 en échec\n"),
                                       QRegularExpression::MultilineOption)),
        error.isEmpty() ? error : "quillon-convert: " + error);
    if (arrays.isEmpty())
        return;
    const QByteArray header = readFile(path(arguments.constLast().section('.', 0, 0) + ".h"));
    if (arguments.contains("--rotate")) // 4 x 2 turned: 2 x 4
        QVERIFY(header.contains("#define anim_width 2\n#define anim_height 4\n"));
    QStringList names;
    const QRegularExpression array("static const \\w+ \\*?(?:const )?(\\w+)\\[");
    for (auto it = array.globalMatch(QString::fromUtf8(header)); it.hasNext();)
        names << it.next().captured(1);
    QCOMPARE(names.join(' '), arrays);
}

void TestFrames::observerToldInOrder_data()
{
    QTest::addColumn<QVector<QImage>>("frames");
    QTest::addColumn<bool>("allFrames");
    QTest::addColumn<bool>("headerStanding");
    QTest::addColumn<QStringList>("told");
    QImage dark(7, 4, QImage::Format_RGB32);
    dark.fill(qRgb(30, 20, 10));
    const QString allDark
        = "notice anim : tous ses pixels sont éteints (0) : l'image est partout plus sombre que "
          "le seuil 128 (essayez --threshold N avec N plus bas)";
    QTest::newRow("first of 3 frames")
        << threeFrames() << false << false
        << QStringList {"notice image animée : seule la première de ses 3 images "
                        "est convertie (--frames all pour toutes)",
                        "progress 1/1", "outcome 0 [] [anim.h]"};
    QTest::newRow("one dark picture") << QVector<QImage> {dark} << false << false
                                      << QStringList {"progress 1/1", allDark, "outcome 0 [] [anim.h]"};
    QTest::newRow("3 dark frames, all of them")
        << QVector<QImage>(3, dark) << true << false
        << QStringList {"progress 1/3", "progress 2/3", "progress 3/3", allDark, "outcome 0 [] [anim.h]"};
    QTest::newRow("header standing") << QVector<QImage>(3, dark) << true << true
                                     << QStringList {
                                            "outcome 1 [%1 existe déjà, image ignorée (--force pour le "
                                            "remplacer)] []"};
}

// The pipeline's call in this process: its observer told the notices, then the progress, the
// warnings of arrays all alike once the header is written, then the outcome once, the one it
// returns.
void TestFrames::observerToldInOrder()
{
    QFETCH(QVector<QImage>, frames);
    QFETCH(bool, allFrames);
    QFETCH(bool, headerStanding);
    QFETCH(QStringList, told);
    writeFile(path("anim.gif"), animatedGifFile(frames, QVector<int>(frames.size(), 5)));
    if (headerStanding)
        writeFile(path("anim.h"), "standing");
    PictureJob job;
    job.picturePath = path("anim.gif");
    job.outputFolder = path();
    job.format = findDisplayFormat("mono");
    job.encoding.header.arrayName = "anim";
    job.frames.asked = allFrames;
    QStringList calls;
    ConversionObserver observer;
    observer.notice = [&](const QString &text) { calls << "notice " + text; };
    observer.progress
        = [&](int done, int count) { calls << QStringLiteral("progress %1/%2").arg(done).arg(count); };
    observer.outcome = [&](const PictureOutcome &outcome) {
        QStringList written;
        for (const QString &file : outcome.written)
            written << QFileInfo(file).fileName();
        calls << QStringLiteral("outcome %1 [%2] [%3]")
                     .arg(outcome.status)
                     .arg(outcome.message, written.join(' '));
    };
    const PictureOutcome outcome = convertPicture(job, observer);
    QCOMPARE(calls, told.replaceInStrings("%1", path("anim.h")));
    QCOMPARE(outcome.status, headerStanding ? PictureOutcome::Skipped : PictureOutcome::Converted);
    QCOMPARE(readFile(path("anim.h")).startsWith("// Generated by Quillon"), !headerStanding);
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
