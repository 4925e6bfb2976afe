#include "display_formats.h"
#include "lvgl_format.h"
#include "picturesupport.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <functional>

#include <lz4.h>

using namespace TestSupport;

Q_DECLARE_METATYPE(EncodingOptions)

class TestLvgl : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void encodesLvglImages_data();
    void encodesLvglImages();
    void boundsLvglRowsInTheirColourFormat_data();
    void boundsLvglRowsInTheirColourFormat();
    void compressesAsLvglDoes_data();
    void compressesAsLvglDoes();
};

void TestLvgl::init()
{
    QVERIFY(renewFolder());
    QVERIFY(QDir().mkpath(path("command")));
}

namespace {

// A picture of Format_RGB32, whose pixels setPixel() makes opaque.
constexpr int noAlphaChannel = -2;

} // namespace

void TestLvgl::encodesLvglImages_data()
{
    QTest::addColumn<EncodingOptions>("options");
    QTest::addColumn<QString>("colourFormat"); // as the descriptor names it
    // Every pixel's alpha, or -1: every level from pixel to pixel, or noAlphaChannel.
    QTest::addColumn<int>("alpha");
    QTest::addColumn<QSize>("size");

    // The colour format asked for, then what else the options set.
    const bool translucent = true, opaque = false;
    const auto row = [](const char *name, const char *asked, const char *cf, bool translucent = true,
                        const std::function<void(EncodingOptions &)> &set = {}, QSize size = QSize(13, 6)) {
        EncodingOptions options;
        options.header.arrayName = "pic";
        options.lvgl.colourFormat = lvglColourFormatOf(asked);
        if (set)
            set(options);
        QTest::newRow(name) << options << QString(cf) << (translucent ? -1 : 255) << size;
    };
    const auto aligned
        = [](int bytes) { return [bytes](EncodingOptions &o) { o.arrays.strideAlign = bytes; }; };
    const auto rle = [](EncodingOptions &o) { o.arrays.compression = ArrayLayout::Rle; };
    const auto lvgl8 = [](EncodingOptions &o) { o.lvgl.version = 8; };
    const auto none = [](EncodingOptions &) {};
    row("opaque: RGB565", "", "LV_COLOR_FORMAT_RGB565", opaque);
    row("translucent: RGB565A8", "", "LV_COLOR_FORMAT_RGB565A8", translucent);
    EncodingOptions halfAlpha;
    halfAlpha.header.arrayName = "pic";
    QTest::newRow("every pixel at alpha 128: RGB565A8")
        << halfAlpha << QString("LV_COLOR_FORMAT_RGB565A8") << 128 << QSize(13, 6);
    // Formats that keep alpha, of a picture that has none: every pixel opaque.
    EncodingOptions argb = halfAlpha;
    argb.lvgl.colourFormat = LvglColourFormat::Argb8888;
    QTest::newRow("ARGB8888, no alpha channel")
        << argb << QString("LV_COLOR_FORMAT_ARGB8888") << noAlphaChannel << QSize(13, 6);
    argb.lvgl.colourFormat = LvglColourFormat::Rgb565A8;
    argb.lvgl.version = 8;
    QTest::newRow("LVGL 8, true colour and alpha, no alpha channel")
        << argb << QString("LV_IMG_CF_TRUE_COLOR_ALPHA") << noAlphaChannel << QSize(13, 6);
    row("RGB565A8 rows of 8 bytes", "", "LV_COLOR_FORMAT_RGB565A8", true, aligned(8));
    row("swapped", "RGB565_SWAPPED", "LV_COLOR_FORMAT_RGB565_SWAPPED");
    row("RGB888", "RGB888", "LV_COLOR_FORMAT_RGB888");
    row("XRGB8888", "XRGB8888", "LV_COLOR_FORMAT_XRGB8888", true, aligned(64));
    row("ARGB8888", "ARGB8888", "LV_COLOR_FORMAT_ARGB8888");
    row("L8", "L8", "LV_COLOR_FORMAT_L8");
    row("L8 inverted", "L8", "LV_COLOR_FORMAT_L8", true, [](EncodingOptions &o) { o.pixels.invert = true; });
    row("A8", "A8", "LV_COLOR_FORMAT_A8");
    // Alpha only in a few bits, rows of 13 pixels ending within a byte; AL88, ARGB8565, ARGB1555 and
    // ARGB4444 keep each pixel's own colour.
    row("A1", "A1", "LV_COLOR_FORMAT_A1");
    row("A2 rows of 4 bytes", "A2", "LV_COLOR_FORMAT_A2", true, aligned(4));
    row("A4", "A4", "LV_COLOR_FORMAT_A4");
    row("A1, 9 x 14", "A1", "LV_COLOR_FORMAT_A1", true, none, QSize(9, 14));
    // Rows of more pixels than are packed at a time (256), and not a multiple of 8.
    row("A2, 263 x 2", "A2", "LV_COLOR_FORMAT_A2", true, none, QSize(263, 2));
    row("A4, 261 x 3", "A4", "LV_COLOR_FORMAT_A4", true, none, QSize(261, 3));
    row("A4, opaque", "A4", "LV_COLOR_FORMAT_A4", opaque);
    row("AL88", "AL88", "LV_COLOR_FORMAT_AL88");
    row("ARGB8565", "ARGB8565", "LV_COLOR_FORMAT_ARGB8565");
    row("ARGB8565 rows of 8 bytes", "ARGB8565", "LV_COLOR_FORMAT_ARGB8565", true, aligned(8));
    row("ARGB1555", "ARGB1555", "LV_COLOR_FORMAT_ARGB1555");
    row("ARGB4444", "ARGB4444", "LV_COLOR_FORMAT_ARGB4444");
    row("ARGB4444, 7 x 9", "ARGB4444", "LV_COLOR_FORMAT_ARGB4444", true, none, QSize(7, 9));
    row("I1", "I1", "LV_COLOR_FORMAT_I1");
    row("I1, threshold 90, inverted", "I1", "LV_COLOR_FORMAT_I1", true, [](EncodingOptions &o) {
        o.pixels.threshold = 90;
        o.pixels.invert = true;
    });
    // No pixel is white: all dark at 255, so all lit inverted; all light at 0.
    row("I1, threshold 255, inverted", "I1", "LV_COLOR_FORMAT_I1", true, [](EncodingOptions &o) {
        o.pixels.threshold = 255;
        o.pixels.invert = true;
    });
    row("I1, opaque, threshold 0", "I1", "LV_COLOR_FORMAT_I1", false,
        [](EncodingOptions &o) { o.pixels.threshold = 0; });
    row("I2", "I2", "LV_COLOR_FORMAT_I2", true, aligned(4));
    row("I4", "I4", "LV_COLOR_FORMAT_I4");
    row("I8", "I8", "LV_COLOR_FORMAT_I8");
    row("RLE", "", "LV_COLOR_FORMAT_RGB565A8", true, rle);
    row("RLE of RGB888", "RGB888", "LV_COLOR_FORMAT_RGB888", true, rle);
    // Rows of 40 bytes, written over the picture's own rows of 52, padding and all, then compressed.
    row("RLE of RGB888 rows of 4 bytes", "RGB888", "LV_COLOR_FORMAT_RGB888", true, [](EncodingOptions &o) {
        o.arrays.strideAlign = 4;
        o.arrays.compression = ArrayLayout::Rle;
    });
    row("RLE of I1", "I1", "LV_COLOR_FORMAT_I1", true, rle);
    row("RLE of I2", "I2", "LV_COLOR_FORMAT_I2", true, rle);
    row("RLE of I4", "I4", "LV_COLOR_FORMAT_I4", true, rle);
    row("RLE of A2", "A2", "LV_COLOR_FORMAT_A2", true, rle);
    row("RLE of ARGB8565", "ARGB8565", "LV_COLOR_FORMAT_ARGB8565", true, rle);
    row("LZ4 of AL88", "AL88", "LV_COLOR_FORMAT_AL88", true,
        [](EncodingOptions &o) { o.arrays.compression = ArrayLayout::Lz4; });
    row("LZ4", "ARGB8888", "LV_COLOR_FORMAT_ARGB8888", true,
        [](EncodingOptions &o) { o.arrays.compression = ArrayLayout::Lz4; });
    // Every other colour format compressed, read back by its descriptor as well.
    const auto lz4 = [](EncodingOptions &o) { o.arrays.compression = ArrayLayout::Lz4; };
    row("LZ4 of RGB565", "", "LV_COLOR_FORMAT_RGB565", opaque, lz4);
    row("RLE of RGB565_SWAPPED", "RGB565_SWAPPED", "LV_COLOR_FORMAT_RGB565_SWAPPED", true, rle);
    row("RLE of XRGB8888", "XRGB8888", "LV_COLOR_FORMAT_XRGB8888", true, rle);
    row("LZ4 of ARGB1555", "ARGB1555", "LV_COLOR_FORMAT_ARGB1555", true, lz4);
    row("RLE of ARGB4444", "ARGB4444", "LV_COLOR_FORMAT_ARGB4444", true, rle);
    row("LZ4 of L8", "L8", "LV_COLOR_FORMAT_L8", true, lz4);
    row("RLE of A1, 9 x 14", "A1", "LV_COLOR_FORMAT_A1", true, rle, QSize(9, 14));
    row("LZ4 of A4", "A4", "LV_COLOR_FORMAT_A4", true, lz4);
    row("RLE of A8", "A8", "LV_COLOR_FORMAT_A8", true, rle);
    row("LZ4 of I8", "I8", "LV_COLOR_FORMAT_I8", true, lz4);
    row("LVGL 8, true colour", "", "LV_IMG_CF_TRUE_COLOR", opaque, lvgl8);
    row("LVGL 8, true colour and alpha", "", "LV_IMG_CF_TRUE_COLOR_ALPHA", true, lvgl8);
    row("LVGL 8, alpha", "A8", "LV_IMG_CF_ALPHA_8BIT", true, lvgl8);
    row("LVGL 8, alpha 1 bit", "A1", "LV_IMG_CF_ALPHA_1BIT", true, lvgl8);
    row("LVGL 8, alpha 2 bits", "A2", "LV_IMG_CF_ALPHA_2BIT", true, lvgl8);
    row("LVGL 8, alpha 4 bits, 7 x 9", "A4", "LV_IMG_CF_ALPHA_4BIT", true, lvgl8, QSize(7, 9));
    row("LVGL 8, ARGB8565 as true colour and alpha", "ARGB8565", "LV_IMG_CF_TRUE_COLOR_ALPHA", true, lvgl8);
    row("LVGL 8, indexed 2 bits", "I2", "LV_IMG_CF_INDEXED_2BIT", true, lvgl8);
    row("LVGL 8, indexed 8 bits", "I8", "LV_IMG_CF_INDEXED_8BIT", true, lvgl8);
    row("LVGL 8, indexed 1 bit", "I1", "LV_IMG_CF_INDEXED_1BIT", true, lvgl8);
    row("LVGL 8, indexed 4 bits, 7 x 9", "I4", "LV_IMG_CF_INDEXED_4BIT", true, lvgl8, QSize(7, 9));
    // Pictures of several pages: the memory read for the last time goes back to the system as the
    // rows are written, but not the 5-6-5 picture shown as it is.
    const QSize pages(131, 53);
    row("RGB565, 131 x 53", "", "LV_COLOR_FORMAT_RGB565", opaque, none, pages);
    row("RGB565A8, 131 x 53", "", "LV_COLOR_FORMAT_RGB565A8", true, none, pages);
    row("ARGB8888, 131 x 53", "ARGB8888", "LV_COLOR_FORMAT_ARGB8888", true, none, pages);
    row("RGB888 rows of 1024 bytes, 131 x 53", "RGB888", "LV_COLOR_FORMAT_RGB888", true, aligned(1024),
        pages);
    row("L8 rows of 64 bytes, 131 x 53", "L8", "LV_COLOR_FORMAT_L8", true, aligned(64), pages);
    row("A8, 131 x 53", "A8", "LV_COLOR_FORMAT_A8", true, none, pages);
    row("LVGL 8, true colour and alpha, 131 x 53", "", "LV_IMG_CF_TRUE_COLOR_ALPHA", true, lvgl8, pages);
    // Shown from the compressed bytes read back: the alpha plane beyond LZ4's window of 64 KiB.
    row(
        "RGB565A8, LZ4, 211 x 107", "", "LV_COLOR_FORMAT_RGB565A8", true,
        [](EncodingOptions &o) { o.arrays.compression = ArrayLayout::Lz4; }, QSize(211, 107));
}

void TestLvgl::encodesLvglImages()
{
    QFETCH(EncodingOptions, options);
    QFETCH(QString, colourFormat);
    QFETCH(int, alpha);
    QFETCH(QSize, size);
    const int width = size.width(), height = size.height();
    // Rows of an odd number of pixels; red, green and blue apart; alpha at every level.
    QImage picture(size, alpha == noAlphaChannel ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             qRgba(x * 19, y * 47, (x * y * 13) % 256, alpha < 0 ? (x * 21 + y * 3) : alpha));
    const EncodedPicture encoded = encodedFor(picture, "lvgl", options);
    const QString text = headerText(encoded.header);
    writeFile(path("command/pic.h"), text.toUtf8());

    // A field of the descriptor, by the names its comments give: the header's bit fields, on the
    // little-endian line, then each field on its own line.
    const auto field = [&](const QString &name) {
        const QRegularExpressionMatch header
            = QRegularExpression("#else\n  \\{([^}]*)\\}, /\\* ([^*]*) \\*/\n").match(text);
        if (name.startsWith("header."))
            return header.captured(1).split(", ").value(header.captured(2).split(", ").indexOf(name.mid(7)));
        return QRegularExpression("\n  ([^\n]+), /\\* " + name + " \\*/\n").match(text).captured(1);
    };
    const bool lvgl8 = colourFormat.startsWith("LV_IMG_CF");
    QCOMPARE(field("header.cf"), colourFormat);
    QCOMPARE(field("header.w"), QString::number(width));
    QCOMPARE(field("header.h"), QString::number(height));
    QCOMPARE(field("data_size"), QString("sizeof(pic_map)"));
    QCOMPARE(field("data"), QString("pic_map"));
    QVERIFY(text.contains(lvgl8 ? "const lv_img_dsc_t pic = {" : "const lv_image_dsc_t pic = {"));

    // The map, its compression undone; LVGL 8's 16-bit colours in both orders.
    const QString body = text.section("pic_map[", 1).section('{', 1).section("};", 0, 0);
    QByteArray data = bytesOf(body.contains("#else") ? body.section("#else", 1) : body);
    const QByteArray map = data;
    const QByteArray swapped = body.contains("#else") ? bytesOf(body.section("#else", 0, 0)) : QByteArray();
    QCOMPARE(text.section("pic_map[", 1).section(']', 0, 0).toInt(),
             bytesOf(body.section("#else", 0, 0)).size());
    const QString compress = options.arrays.compression == ArrayLayout::Rle ? "rle"
        : options.arrays.compression == ArrayLayout::Lz4                    ? "lz4"
                                                                            : "";
    const int bits
        = QMap<QString, int> {{"RGB565", 16},      {"RGB565A8", 16},    {"RGB565_SWAPPED", 16},
                              {"RGB888", 24},      {"XRGB8888", 32},    {"ARGB8888", 32},
                              {"L8", 8},           {"A8", 8},           {"ARGB8565", 24},
                              {"ARGB1555", 16},    {"ARGB4444", 16},    {"AL88", 16},
                              {"A1", 1},           {"A2", 2},           {"A4", 4},
                              {"ALPHA_1BIT", 1},   {"ALPHA_2BIT", 2},   {"ALPHA_4BIT", 4},
                              {"I1", 1},           {"I2", 2},           {"I4", 4},
                              {"I8", 8},           {"TRUE_COLOR", 16},  {"TRUE_COLOR_ALPHA", 24},
                              {"ALPHA_8BIT", 8},   {"INDEXED_2BIT", 2}, {"INDEXED_8BIT", 8},
                              {"INDEXED_1BIT", 1}, {"INDEXED_4BIT", 4}}
              .value(colourFormat.section("LV_COLOR_FORMAT_", 1) + colourFormat.section("LV_IMG_CF_", 1));
    QCOMPARE(field("header.flags"),
             lvgl8                    ? QString()
                 : compress.isEmpty() ? "0"
                                      : "0 | LV_IMAGE_FLAGS_COMPRESSED");
    if (!compress.isEmpty()) {
        const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(data.constData() + at); };
        QCOMPARE(u32(0), compress == "rle" ? 1u : 2u);
        QCOMPARE(int(u32(4)), data.size() - 12);
        QByteArray raw(int(u32(8)), '\0');
        if (compress == "rle")
            raw = lvglRleDecoded(data.mid(12), (bits + 7) / 8).left(raw.size());
        else
            QCOMPARE(LZ4_decompress_safe(data.constData() + 12, raw.data(), data.size() - 12, raw.size()),
                     raw.size());
        QVERIFY2(text.contains(QString("bytes instead of %1").arg(raw.size())), qPrintable(text));
        data = raw;
    }

    // Each pixel, read back as LVGL reads it, against the picture.
    const QString cf
        = colourFormat.section('_', -1) == "SWAPPED" ? "RGB565_SWAPPED" : colourFormat.section("FORMAT_", 1);
    // Formats that keep the alpha keep each pixel's own colour; the others show it laid onto
    // black, as the window does.
    const bool keepsAlpha = cf == "RGB565A8" || cf == "ARGB8888" || cf == "ARGB8565" || cf == "ARGB1555"
        || cf == "ARGB4444" || cf == "AL88" || colourFormat.endsWith("TRUE_COLOR_ALPHA");
    const auto colourAt = [&](int x, int y) {
        const QRgb own = picture.pixel(x, y);
        return keepsAlpha ? own | 0xff000000 : qUnpremultiply(qPremultiply(own)) | 0xff000000;
    };
    const int align = options.arrays.strideAlign;
    const int tight = (width * (lvgl8 && bits == 24 ? 24 : bits) + 7) / 8;
    const int stride = lvgl8 ? tight : (tight + align - 1) / align * align;
    if (!lvgl8)
        QCOMPARE(field("header.stride").toInt(), stride);
    const int paletteSize = colourFormat.contains("I1") || colourFormat.contains("INDEXED_1") ? 2
        : colourFormat.contains("I2") || colourFormat.contains("INDEXED_2")                   ? 4
        : colourFormat.contains("I4") || colourFormat.contains("INDEXED_4")                   ? 16
        : colourFormat.contains("I8") || colourFormat.contains("INDEXED_8")                   ? 256
                                                                                              : 0;
    const int rows = paletteSize * 4;
    int expectedSize = rows + stride * height;
    if (cf == "RGB565A8")
        expectedSize += stride / 2 * height;
    QCOMPARE(data.size(), expectedSize);
    const auto byteAt = [&](int at) { return int(quint8(data[at])); };
    // What the panel shows, translucent pixels laid onto black.
    QImage panel(size, QImage::Format_RGB32);
    const auto overBlack = [](QRgb colour, int alpha) {
        return qRgb(qRed(colour) * alpha / 255, qGreen(colour) * alpha / 255, qBlue(colour) * alpha / 255);
    };
    int lightPixels = 0; // I1's
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb colour = colourAt(x, y);
            const int alpha = qAlpha(picture.pixel(x, y));
            const quint16 value = rgb565(colour);
            const int at = rows + y * stride + x * bits / 8;
            panel.setPixel(x, y, shown(value));
            if (colourFormat.endsWith("RGB565") || colourFormat.endsWith("TRUE_COLOR")) {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                if (lvgl8)
                    QCOMPARE(int(quint8(swapped[at])) << 8 | int(quint8(swapped[at + 1])), int(value));
            } else if (cf == "RGB565_SWAPPED") {
                QCOMPARE(byteAt(at) << 8 | byteAt(at + 1), int(value));
            } else if (cf == "RGB565A8") {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                QCOMPARE(byteAt(stride * height + y * stride / 2 + x), alpha);
                panel.setPixel(x, y, overBlack(shown(value), alpha));
            } else if (colourFormat.endsWith("TRUE_COLOR_ALPHA") || cf == "ARGB8565") {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                QCOMPARE(byteAt(at + 2), alpha);
                panel.setPixel(x, y, overBlack(shown(value), alpha));
                if (lvgl8)
                    QCOMPARE(int(quint8(swapped[at])) << 8 | int(quint8(swapped[at + 1])), int(value));
            } else if (cf == "ARGB1555" || cf == "ARGB4444") {
                // 16 bits, low byte first: the alpha's top bits at the top, then red, green, blue.
                const int word = byteAt(at) | byteAt(at + 1) << 8;
                const int channel = cf == "ARGB1555" ? 5 : 4, alphaBits = 16 - 3 * channel;
                const auto widen = [channel](int v) { return channel == 5 ? v << 3 | v >> 2 : v * 17; };
                QCOMPARE(word >> 3 * channel, alpha >> (8 - alphaBits));
                const int r = word >> 2 * channel & ((1 << channel) - 1),
                          g = word >> channel & ((1 << channel) - 1), b = word & ((1 << channel) - 1);
                QCOMPARE(qRgb(r, g, b),
                         qRgb(qRed(colour) >> (8 - channel), qGreen(colour) >> (8 - channel),
                              qBlue(colour) >> (8 - channel)));
                panel.setPixel(x, y,
                               overBlack(qRgb(widen(r), widen(g), widen(b)),
                                         (word >> 3 * channel) * 255 / ((1 << alphaBits) - 1)));
            } else if (cf == "AL88") { // the luminance, then the alpha
                QCOMPARE(byteAt(at), luma(colour));
                QCOMPARE(byteAt(at + 1), alpha);
                panel.setPixel(x, y, overBlack(qRgb(byteAt(at), byteAt(at), byteAt(at)), alpha));
            } else if (cf == "A1" || cf == "A2" || cf == "A4"
                       || (colourFormat.contains("ALPHA_") && bits < 8)) {
                // The alpha's top bits, the leftmost pixel in a byte's highest; drawn in white.
                const int perByte = 8 / bits, top = (1 << bits) - 1;
                const int stored = byteAt(y * stride + x / perByte) >> (8 - bits * (x % perByte + 1)) & top;
                QCOMPARE(stored, alpha >> (8 - bits));
                panel.setPixel(x, y, qRgb(stored * 255 / top, stored * 255 / top, stored * 255 / top));
            } else if (bits >= 24) {
                QCOMPARE(qRgb(byteAt(at + 2), byteAt(at + 1), byteAt(at)), colour);
                panel.setPixel(x, y, cf == "ARGB8888" ? overBlack(colour, alpha) : colour);
                if (bits == 32)
                    QCOMPARE(byteAt(at + 3), cf == "ARGB8888" ? alpha : 255);
            } else if (cf == "L8") {
                const int level = luma(colour);
                QCOMPARE(byteAt(at), options.pixels.invert ? 255 - level : level);
                panel.setPixel(x, y, qRgb(byteAt(at), byteAt(at), byteAt(at)));
            } else if (cf == "A8" || colourFormat.endsWith("ALPHA_8BIT")) {
                QCOMPARE(byteAt(at), alpha);
                panel.setPixel(x, y, qRgb(alpha, alpha, alpha));
            } else { // indexed: the nearest palette entry (blue, green, red, alpha), all opaque
                const int perByte = 8 / bits;
                const int index = byteAt(rows + y * stride + x / perByte) >> (8 - bits * (x % perByte + 1))
                    & ((1 << bits) - 1);
                const auto entry
                    = [&](int i) { return qRgb(byteAt(i * 4 + 2), byteAt(i * 4 + 1), byteAt(i * 4)); };
                const auto distance = [&](QRgb a, QRgb b) {
                    return (qRed(a) - qRed(b)) * (qRed(a) - qRed(b))
                        + (qGreen(a) - qGreen(b)) * (qGreen(a) - qGreen(b))
                        + (qBlue(a) - qBlue(b)) * (qBlue(a) - qBlue(b));
                };
                const QRgb wanted = shown(value);
                panel.setPixel(x, y, entry(index));
                if (paletteSize == 2) { // LVGL's monochrome: black, then white where lit
                    QCOMPARE(entry(0), qRgb(0, 0, 0));
                    QCOMPARE(entry(1), qRgb(255, 255, 255));
                    QCOMPARE(index, int((luma(colour) >= options.pixels.threshold) != options.pixels.invert));
                    lightPixels += luma(colour) >= options.pixels.threshold ? 1 : 0;
                    continue;
                }
                for (int i = 0; i < paletteSize; ++i) {
                    QCOMPARE(byteAt(i * 4 + 3), 255);
                    QVERIFY(distance(entry(index), wanted) <= distance(entry(i), wanted));
                }
                if (paletteSize == 256) // few enough colours: kept exactly
                    QCOMPARE(entry(index), wanted);
            }
        }
    }

    // Zeros pad the rows, in the colours and in the alpha plane.
    for (int y = 0; y < height; ++y) {
        for (int i = tight; i < stride; ++i)
            QCOMPARE(byteAt(rows + y * stride + i), 0);
        if (width * bits % 8) // and the last byte's bits past the row
            QCOMPARE(byteAt(rows + y * stride + tight - 1) & ((1 << (8 - width * bits % 8)) - 1), 0);
        for (int i = width; cf == "RGB565A8" && i < stride / 2; ++i)
            QCOMPARE(byteAt(stride * height + y * stride / 2 + i), 0);
    }
    QCOMPARE(encoded.shownPicture(), panel);
    // Read back from the header by its descriptor, as --decode reads it: what the panel shows.
    checkReadBack(encoded, "lvgl", options);
    // I1 all lit or all unlit is told, as for the other 1-bit formats.
    const bool uniform = paletteSize == 2 && (lightPixels == 0 || lightPixels == width * height);
    const int cause = lightPixels ? UniformArray::AllLight
        : alpha != 255            ? UniformArray::DarkOnTransparency
                                  : UniformArray::AllDark;
    QCOMPARE(encoded.uniform.size(), uniform ? 1 : 0);
    for (const UniformArray &array : encoded.uniform)
        QVERIFY(array.name == "pic" && int(array.cause) == cause
                && array.lit == ((lightPixels > 0) != options.pixels.invert));

    // The header compiles against LVGL's types, warnings as errors, and holds the map read above;
    // LVGL 8's swapped colours where LV_COLOR_16_SWAP is set.
    const QString cc = QStandardPaths::findExecutable("cc");
    if (cc.isEmpty())
        QSKIP("no C compiler");
    // The map is printed as the image that the comment's line shows reaches LVGL.
    const QString line = QRegularExpression("^// LVGL \\d: (.*)$", QRegularExpression::MultilineOption)
                             .match(text)
                             .captured(1);
    const QByteArray descriptor = lvgl8 ? "lv_img_dsc_t" : "lv_image_dsc_t";
    writeFile(path("command/main.c"),
              "#include <stdio.h>\n#include \"pic.h\"\nstatic const void *shown;\n"
              "lv_obj_t *lv_screen_active(void) { return NULL; }\n"
              "lv_obj_t *lv_image_create(lv_obj_t *parent) { return parent; }\n"
              "void lv_image_set_src(lv_obj_t *obj, const void *src) { (void)obj; shown = src; }\n"
              "lv_obj_t *lv_scr_act(void) { return NULL; }\n"
              "lv_obj_t *lv_img_create(lv_obj_t *parent) { return parent; }\n"
              "void lv_img_set_src(lv_obj_t *obj, const void *src) { (void)obj; shown = src; }\n"
              "int main(void)\n{\n    "
                  + line.toUtf8() + "\n    const " + descriptor + " *image = shown;\n"
                  + "    for (size_t i = 0; shown && i < image->data_size; ++i)\n"
                    "        putchar(image->data[i]);\n    return 0;\n}\n");
    for (const QByteArray &swap : {QByteArray("0"), QByteArray("1")}) {
        if (swap == "1" && swapped.isEmpty())
            continue;
        QProcess compiler;
        compiler.setProcessChannelMode(QProcess::MergedChannels);
        compiler.start(cc,
                       {"-std=c99", "-Wall", "-Wextra", "-Werror", "-DLV_LVGL_H_INCLUDE_SIMPLE",
                        "-DLV_COLOR_16_SWAP=" + swap, "-I", QUILLON_LVGL_STANDIN, "-I", path("command"), "-o",
                        path("command/main"), path("command/main.c")});
        QVERIFY(compiler.waitForFinished(60000));
        QVERIFY2(compiler.exitCode() == 0, compiler.readAll().constData());
        QProcess program;
        program.start(path("command/main"), QStringList());
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.readAllStandardOutput(), swap == "1" ? swapped : map);
    }
}

void TestLvgl::boundsLvglRowsInTheirColourFormat_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("translucent");
    QTest::addColumn<QByteArray>("colourFormat"); // empty: the one chosen for the picture
    QTest::addColumn<int>("strideAlign");
    QTest::addColumn<bool>("refused");
    // LVGL 9 holds a row's stride in 16 bits: 65,535 bytes at most, in the format written.
    QTest::newRow("opaque, 20000 wide, RGB565 by default") << 20000 << false << QByteArray() << 1 << false;
    QTest::newRow("opaque, 32767 wide, RGB565 by default") << 32767 << false << QByteArray() << 1 << false;
    QTest::newRow("opaque, 32768 wide, RGB565 by default") << 32768 << false << QByteArray() << 1 << true;
    QTest::newRow("translucent, 32767 wide, RGB565A8 by default")
        << 32767 << true << QByteArray() << 1 << false;
    QTest::newRow("translucent, 32768 wide, RGB565A8 by default")
        << 32768 << true << QByteArray() << 1 << true;
    QTest::newRow("RGB565 padded to 4 bytes") << 32767 << false << QByteArray() << 4 << true;
    QTest::newRow("ARGB8888, 16383 wide") << 16383 << true << QByteArray("ARGB8888") << 1 << false;
    QTest::newRow("ARGB8888, 16384 wide") << 16384 << true << QByteArray("ARGB8888") << 1 << true;
    QTest::newRow("ARGB8888, opaque, 20000 wide") << 20000 << false << QByteArray("ARGB8888") << 1 << true;
    QTest::newRow("RGB888, 21845 wide") << 21845 << false << QByteArray("RGB888") << 1 << false;
    QTest::newRow("RGB888, 21846 wide") << 21846 << false << QByteArray("RGB888") << 1 << true;
    QTest::newRow("I1, 65535 wide") << 65535 << false << QByteArray("I1") << 1 << false;
    QTest::newRow("I1, 65536 wide") << 65536 << false << QByteArray("I1") << 1 << true;
}

void TestLvgl::boundsLvglRowsInTheirColourFormat()
{
    QFETCH(int, width);
    QFETCH(bool, translucent);
    QFETCH(QByteArray, colourFormat);
    QFETCH(int, strideAlign);
    QFETCH(bool, refused);
    PreparedPicture picture;
    picture.colours = QImage(width, 3, QImage::Format_RGB32);
    picture.colours.fill(Qt::gray);
    picture.alpha = QImage(width, 3, QImage::Format_Alpha8);
    picture.alpha.fill(255);
    if (translucent)
        picture.alpha.setPixel(width - 1, 2, 128);
    EncodingOptions options;
    options.lvgl.colourFormat = lvglColourFormatOf(colourFormat);
    options.arrays.strideAlign = strideAlign;
    const QString problem = lvglSizeProblem(picture, options);
    QCOMPARE(!problem.isEmpty(), refused);
    if (refused)
        QCOMPARE(problem,
                 QString::fromUtf8("image trop grande pour LVGL 9 : %1 x 3 pixels, 65535 au plus de côté "
                                   "et 65 535 octets par ligne")
                     .arg(width));
}

void TestLvgl::compressesAsLvglDoes_data()
{
    // One row of greys (L8, a byte a pixel): repeats of fewer than 16 pixels are copied with
    // what follows them, longer ones counted; a control byte before each run, its top bit set
    // before copies.
    QTest::addColumn<QByteArray>("greys");
    QTest::addColumn<QByteArray>("compressed");
    const QByteArray three = QByteArray::fromHex("143c50");
    QTest::newRow("10 repeats, then 3 others")
        << QByteArray(10, '\x64') + three << QByteArray::fromHex("8d") + QByteArray(10, '\x64') + three;
    QTest::newRow("16 repeats, the shortest run counted, then 3 others")
        << QByteArray(16, '\x64') + three << QByteArray::fromHex("106483") + three;
    QTest::newRow("15 repeats, copied, then 3 others")
        << QByteArray(15, '\x64') + three << QByteArray::fromHex("92") + QByteArray(15, '\x64') + three;
    QTest::newRow("20 repeats, then 3 others")
        << QByteArray(20, '\x64') + three << QByteArray::fromHex("146483") + three;
    // After other pixels, a repeat is counted only from 18 pixels on, as LVGL's script counts it:
    // more than 16 repeats of the first.
    const QByteArray seventeen(17, '\x64');
    QTest::newRow("3 others, 17 repeats copied with them, then 3 others")
        << three + seventeen + three << QByteArray::fromHex("97") + three + seventeen + three;
    QTest::newRow("3 others, 18 repeats, then 3 others")
        << three + seventeen + '\x64' + three << QByteArray::fromHex("84143c5064116483143c50");
    QTest::newRow("130 repeats") << QByteArray(130, '\x64')
                                 << QByteArray::fromHex("7f648364") + QByteArray(2, '\x64');
}

void TestLvgl::compressesAsLvglDoes()
{
    QFETCH(QByteArray, greys);
    QFETCH(QByteArray, compressed);
    QImage row(greys.size(), 1, QImage::Format_RGB32);
    for (int x = 0; x < greys.size(); ++x)
        row.setPixel(x, 0, qRgb(quint8(greys[x]), quint8(greys[x]), quint8(greys[x])));
    EncodingOptions options;
    options.lvgl.colourFormat = LvglColourFormat::L8;
    options.arrays.compression = ArrayLayout::Rle;
    QByteArray expected(12, '\0');
    qToLittleEndian<quint32>(1, expected.data());
    qToLittleEndian<quint32>(quint32(compressed.size()), expected.data() + 4);
    qToLittleEndian<quint32>(quint32(greys.size()), expected.data() + 8);
    QCOMPARE(arraysOf(encodedFor(row, "lvgl", options).header).value("logo_map"), expected + compressed);
}

QTEST_GUILESS_MAIN(TestLvgl)
#include "tst_lvgl.moc"
