#include "display_formats.h"
#include "header_pictures.h"
#include "picturesupport.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <functional>

#include <numeric>

using namespace TestSupport;

Q_DECLARE_METATYPE(EncodingOptions)

class TestDisplayFormats : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void readsArraysOfOtherTools_data();
    void readsArraysOfOtherTools();
    void refusesHeadersItCannotRead_data();
    void refusesHeadersItCannotRead();
    void encodes_data();
    void encodes();
    void drawsAsItsCommentSays_data();
    void drawsAsItsCommentSays();
    void placesArraysWhereItsLinesReadThem_data();
    void placesArraysWhereItsLinesReadThem();
    void takesPaletteFiles_data();
    void takesPaletteFiles();
    void encodesForEpaperPanels_data();
    void encodesForEpaperPanels();
    void dithersToThePanelsColours_data();
    void dithersToThePanelsColours();
    void drawsOnPanelsAsTheCommentSays_data();
    void drawsOnPanelsAsTheCommentSays();
};

void TestDisplayFormats::init()
{
    QVERIFY(renewFolder());
    QVERIFY(QDir().mkpath(path("command")));
}

namespace {

using Setting = std::function<void(EncodingOptions &)>;

// The columns of each layout family's table, and a row of them.
void encodingColumns()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<EncodingOptions>("encoding");
    QTest::addColumn<QColor>("background"); // invalid: none
}

void row(const char *name, const char *format, const QImage &picture, const Setting &set = {},
         const QColor &background = QColor())
{
    EncodingOptions encoding;
    encoding.header.arrayName = "pic";
    if (set)
        set(encoding);
    QTest::newRow(name) << QByteArray(format) << picture << encoding << background;
}

const auto threshold
    = [](int level) -> Setting { return [=](EncodingOptions &o) { o.pixels.threshold = level; }; };
const auto aligned
    = [](int bytes) -> Setting { return [=](EncodingOptions &o) { o.arrays.strideAlign = bytes; }; };
const auto key = [](const char *colour) -> Setting {
    return [=](EncodingOptions &o) { o.pixels.transparent = colour; };
};
const auto with = [](const Setting &first, const Setting &second) -> Setting {
    return [=](EncodingOptions &o) { first(o), second(o); };
};

const Setting inverted = [](EncodingOptions &o) { o.pixels.invert = true; };
const Setting masked = [](EncodingOptions &o) { o.pixels.alphaMask = true; };
const Setting swapped = [](EncodingOptions &o) { o.pixels.swapBytes = true; };
const Setting flash = [](EncodingOptions &o) { o.header.progmem = true; };
const Setting coded = [](EncodingOptions &o) { o.arrays.compression = ArrayLayout::Rle; };
const Setting bgr = [](EncodingOptions &o) { o.pixels.bgr = true; };

// A 5-6-5 value with red and blue exchanged, as a panel wired BGR takes it.
quint16 redBlueExchanged(quint16 value)
{
    return quint16((value & 0x1f) << 11 | (value & 0x7e0) | value >> 11);
}

// 13 x 6: odd width, rows that do not fill a byte or a page; red, green and blue apart.
QImage smallPicture()
{
    QImage picture(13, 6, QImage::Format_ARGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x)
            picture.setPixel(x, y, qRgba(x * 19, y * 47, (x * y * 13) % 256, x == 12 && y < 3 ? 40 : 255));
    return picture;
}

} // namespace

// Arrays of other tools, read with --format and --size: 3 x 2 pictures of distinct red, green
// and blue, the bits past the width set where the rows are packed.
void TestDisplayFormats::readsArraysOfOtherTools_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<EncodingOptions>("encoding");
    QTest::addColumn<QImage>("expected");
    const auto picture = [](const QVector<QRgb> &pixels) {
        QImage image(3, 2, QImage::Format_RGB32);
        for (int i = 0; i < 6; ++i)
            image.setPixel(i % 3, i / 3, pixels[i]);
        return image;
    };
    const QRgb w = qRgb(255, 255, 255), k = qRgb(0, 0, 0);
    const QImage bits = picture({w, k, w, k, w, k});
    const QImage colours
        = picture({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), w, k, qRgb(132, 130, 132)});
    EncodingOptions plain, swappedBytes, blueFirst;
    swappedBytes.pixels.swapBytes = true;
    blueFirst.pixels.bgr = true;
    QTest::newRow("mono, hex, PROGMEM, comments")
        << QByteArray("// made elsewhere\nconst unsigned char logo [] PROGMEM = {\n\t0xbf, // row 0\n"
                      "\t/* row 1 */ 0x5F\n};\n")
        << QByteArray("mono") << plain << bits;
    QTest::newRow("xbm, decimal, static") << QByteArray("static const uint8_t icon_bits[2] = { 253, 250 };")
                                          << QByteArray("xbm") << plain << bits;
    QTest::newRow("gray8, decimal, trailing comma")
        << QByteArray("const uint8_t g[] = {255, 0, 255,\n0, 255, 0,};") << QByteArray("gray8") << plain
        << bits;
    QTest::newRow("rgb565, uint16_t hex")
        << QByteArray("const uint16_t pic[6] = {0xF800, 0x07e0, 0x001f, 0xffff, 0x0000, 0x8410U};")
        << QByteArray("rgb565") << plain << colours;
    QTest::newRow("rgb565, bytes low first")
        << QByteArray("const unsigned char pic[] = {0x00, 0xf8, 0xe0, 0x07, 0x1f, 0x00, 0xff, 0xff, 0, 0, "
                      "0x10, 0x84};")
        << QByteArray("rgb565") << plain << colours;
    QTest::newRow("rgb565, uint16_t high byte first, --swap-bytes")
        << QByteArray("const uint16_t pic[] = {0x00f8, 0xe007, 0x1f00, 0xffff, 0x0000, 0x1084};")
        << QByteArray("rgb565") << swappedBytes << colours;
    QTest::newRow("rgb565, decimal, blue first")
        << QByteArray("const uint16_t pic[] = {31, 2016, 63488, 65535, 0, 33808};") << QByteArray("rgb565")
        << blueFirst << colours;
    QTest::newRow("rgb888, octal and decimal") << QByteArray(
        "uint8_t c[18] = {0377, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 132, 130, 132};")
                                               << QByteArray("rgb888") << plain << colours;
}

void TestDisplayFormats::readsArraysOfOtherTools()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, format);
    QFETCH(EncodingOptions, encoding);
    QFETCH(QImage, expected);
    const HeaderPictures read = decodeArrayAs(text, *findDisplayFormat(format), expected.size(), encoding);
    QCOMPARE(read.problem, QString());
    QCOMPARE(read.pictures.size(), 1);
    QCOMPARE(read.pictures[0].shown, expected);
}

// Headers that are not Quillon's, damaged or cut short: refused with what is wrong, never a
// picture.
void TestDisplayFormats::refusesHeadersItCannotRead_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("format"); // empty: a header of Quillon's
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("message");
    const QByteArray gray8
        = "// Quillon decoding: --format gray8\n#define pic_width 2\n#define pic_height 2\n";
    const QByteArray coded = gray8 + "#define pic_size 4\n";
    const auto quillon = [](const char *name, const QByteArray &text, const char *message) {
        QTest::newRow(name) << text << QByteArray() << QSize() << QString::fromUtf8(message);
    };
    quillon("no array", "const int x = 3;",
            "pas un en-tête de Quillon : ni la ligne « Quillon decoding: » ni tableau BMP ; pour un autre "
            "tableau, donnez --format et --size");
    quillon("unknown format", "// Quillon decoding: --format rgb999\n",
            "format inconnu dans « Quillon decoding: --format rgb999 »");
    quillon("no size", "// Quillon decoding: --format gray8\nconst uint8_t pic[1] = {1};",
            "ni NOM_width ni NOM_height");
    quillon("one value short", gray8 + "const uint8_t pic[4] = {1, 2, 3};",
            "ligne 4 : pic : 3 valeurs au lieu des 4 que déclare sa taille");
    quillon("one value more", gray8 + "const uint8_t pic[4] = {1, 2, 3, 4, 5};",
            "ligne 4 : pic : 5 valeurs au lieu des 4 que déclare sa taille");
    quillon("fewer values than the size", gray8 + "const uint8_t pic[] = {1, 2, 3};",
            "pic : 3 octets au lieu des 4 d'une image de cette taille");
    quillon("a byte over 255", gray8 + "const uint8_t pic[] = {1, 2,\n 0x100, 4};",
            "ligne 5 : pic : la valeur 256 dépasse 255, le plus grand uint8_t");
    quillon("cut in the middle", gray8 + "const uint8_t pic[] = {1, 2,",
            "ligne 4 : pic : le fichier s'arrête au milieu du tableau, après 2 valeurs");
    quillon("comment never closed", gray8 + "/* pic", "ligne 4 : commentaire /* jamais fermé");
    quillon("a word among the values", gray8 + "const uint8_t pic[] = {1, two, 3, 4};",
            "ligne 4 : pic : « two » au lieu d'un nombre");
    quillon("a comma missing", gray8 + "const uint8_t pic[] = {1, 2 3, 4};",
            "ligne 4 : pic : virgule manquante");
    quillon("#if within #if in an array",
            gray8 + "const uint8_t pic[] = {\n#if A\n#if B\n#endif\n#endif\n1};",
            "ligne 6 : pic : #if imbriqués dans le tableau");
    quillon("an array defined twice",
            gray8 + "const uint8_t pic[] = {1, 2, 3, 4};\nconst uint8_t pic[] = {1, 2, 3, 4};",
            "ligne 5 : pic : tableau défini deux fois");
    quillon("a table of pointers never closed", gray8 + "const uint8_t *const t[] = {pic, 2,",
            "ligne 4 : accolade jamais fermée");
    quillon("a number beyond 32 bits", gray8 + "const uint8_t pic[] = {0x100000000};",
            "ligne 4 : nombre illisible « 0x100000000 »");
    quillon("a number beyond 64 bits", gray8 + "const uint8_t pic[] = {0x10000000000000001};",
            "ligne 4 : nombre illisible « 0x10000000000000001 »");
    quillon("0x without its digits", gray8 + "const uint8_t pic[] = {0x, 2, 3, 4};",
            "ligne 4 : nombre illisible « 0x »");
    quillon("coded stream ending early", coded + "const uint8_t pic_rle[] = {1, 0x81, 7};",
            "pic_rle : le flux codé s'arrête après 2 octets des 4 du tableau");
    quillon("coded run overrunning", coded + "const uint8_t pic_rle[] = {1, 0x84, 7};",
            "pic_rle : le flux codé déborde des 4 octets du tableau");
    quillon("coded literal cut", coded + "const uint8_t pic_rle[] = {1, 0x03, 7, 8};",
            "pic_rle : le flux codé s'arrête au milieu d'un paquet");
    quillon("bytes after the coded stream", coded + "const uint8_t pic_rle[] = {1, 0x83, 7, 0, 1};",
            "pic_rle : 2 octets après la fin du flux codé");
    quillon("a coding unit of 4 bytes", coded + "const uint8_t pic_rle[] = {4, 0x80, 7, 7, 7, 7};",
            "pic_rle : unité de codage 4 inconnue");
    quillon("rows shorter than their pixels",
            gray8 + "#define pic_stride 1\nconst uint8_t pic[] = {1, 2, 3};",
            "pic : 3 octets au lieu des 4 d'une image de cette taille");
    quillon("frames fewer than their count",
            gray8
                + "#define pic_frame_count 3\nconst uint8_t pic_frame0[] = {1, 2, 3, 4};\n"
                  "const uint8_t pic_frame1[] = {1, 2, 3, 4};",
            "pic : tableau introuvable");
    // Two pictures, neither with its array: the first by name is told.
    quillon("two pictures, neither found",
            "// Quillon decoding: --format gray8\n#define b_width 2\n#define b_height 2\n#define a_width 2\n"
            "#define a_height 2\n",
            "a : tableau introuvable");
    // A few coded bytes claiming a picture larger than pictures read back may be: refused before
    // they are read; one pixel fewer a side, they are read.
    const QByteArray large = "// Quillon decoding: --format gray8\n#define pic_size 67125249\n";
    quillon(
        "coded, 8193 x 8193",
        large + "#define pic_width 8193\n#define pic_height 8193\nconst uint8_t pic_rle[] = {1, 0x81, 7};",
        "pic : 8193 x 8193 pixels en 1 image(s), plus que les 256 Mio que peuvent occuper les images relues");
    quillon("coded, 8192 x 8192",
            large
                + "#define pic_width 8192\n#define pic_height 8192\nconst uint8_t pic_rle[] = {1, 0x81, 7};",
            "pic_rle : pic_size vaut 67125249 au lieu de 67108864");
    // Two frames of half as many rows: the limit holds for all the frames together.
    const QByteArray frames
        = "// Quillon decoding: --format gray8\n#define pic_size 67125249\n#define pic_width 8192\n"
          "const uint8_t pic_frame0_rle[] = {1, 0x81, 7};\n"
          "const uint8_t pic_frame1_rle[] = {1, 0x81, 7};\n";
    quillon("2 coded frames, 8192 x 4097", frames + "#define pic_height 4097\n",
            "pic : 8192 x 4097 pixels en 2 image(s), plus que les 256 Mio que peuvent occuper les images "
            "relues");
    quillon("2 coded frames, 8192 x 4096", frames + "#define pic_height 4096\n",
            "pic_frame0_rle : pic_size vaut 67125249 au lieu de 33554432");
    quillon("coded without its size", gray8 + "const uint8_t pic_rle[] = {1, 0x83, 7};",
            "pic_rle : pic_size manque");
    quillon("an ink code the panel has not",
            "// Quillon decoding: --format epd7\n#define pic_width 1\n#define pic_height 1\nconst uint8_t "
            "pic[1] = {0x71};",
            "pic : code de couleur 7 inconnu de epd7 (pixel 0, 0)");
    // LVGL 9 images of 2 x 2 greys (L8), by their descriptor: its fields, then the map's values.
    const auto lvgl = [](const char *cf, const char *flags, const char *stride, const char *map) {
        return QByteArray("// Quillon decoding: --format lvgl\nconst uint8_t pic_map[] = {") + map
            + "};\nconst lv_image_dsc_t pic = {\n#if LV_BIG_ENDIAN_SYSTEM\n  {0, " + stride + ", 2, 2, "
            + flags + ", " + cf + ", LV_IMAGE_HEADER_MAGIC},\n#else\n  {LV_IMAGE_HEADER_MAGIC, " + cf + ", "
            + flags + ", 2, 2, " + stride + ", 0},\n#endif\n  sizeof(pic_map),\n  pic_map,\n};\n";
    };
    const char *l8 = "LV_COLOR_FORMAT_L8", *compressed = "0 | LV_IMAGE_FLAGS_COMPRESSED";
    // The 12 bytes of LVGL's compression header: the method, the compressed size, the size.
    const auto lvglCoded = [](int method, int size, const char *stream) {
        return QByteArray::number(method) + ",0,0,0," + QByteArray::number(size) + ",0,0,0,4,0,0,0," + stream;
    };
    quillon("LVGL, a map one byte short", lvgl(l8, "0", "2", "1, 2, 3"),
            "pic_map : 3 octets au lieu des 4 d'une image de cette taille");
    quillon("LVGL, a map one byte more", lvgl(l8, "0", "2", "1, 2, 3, 4, 5"),
            "pic_map : 5 octets au lieu des 4 d'une image de cette taille");
    quillon("LVGL, rows shorter than their pixels", lvgl(l8, "0", "1", "1, 2"),
            "pic : lignes de 1 octets, moins que leurs pixels");
    quillon("LVGL, a colour format it has not", lvgl("LV_COLOR_FORMAT_RGB999", "0", "2", "1, 2, 3, 4"),
            "pic : format de couleur LV_COLOR_FORMAT_RGB999 inconnu de LVGL 9");
    quillon("LVGL, no descriptor", "// Quillon decoding: --format lvgl\nconst uint8_t pic_map[] = {1};",
            "aucun descripteur d'image LVGL");
    quillon("LVGL, a descriptor without its magic",
            lvgl(l8, "0", "2", "1, 2, 3, 4").replace("{LV_IMAGE_HEADER_MAGIC,", "{0,"),
            "pic : descripteur LVGL illisible");
    quillon(
        "LVGL, its map missing",
        lvgl(l8, "0", "2", "1, 2, 3, 4").replace("sizeof(pic_map),\n  pic_map", "sizeof(other),\n  other"),
        "other : tableau introuvable");
    quillon("LVGL, RLE ending early", lvgl(l8, compressed, "2", lvglCoded(1, 2, "0x02, 7")),
            "pic_map : le flux compressé s'arrête avant les 4 octets de l'image, ou il est abîmé");
    quillon("LVGL, RLE overrunning by a byte", lvgl(l8, compressed, "2", lvglCoded(1, 2, "0x05, 7")),
            "pic_map : le flux compressé déborde des 4 octets de l'image");
    quillon("LVGL, a compressed size not the stream's", lvgl(l8, compressed, "2", lvglCoded(1, 2, "0x84")),
            "pic_map : 2 octets compressés annoncés au lieu des 1 qui suivent");
    quillon("LVGL, LZ4 literals cut", lvgl(l8, compressed, "2", lvglCoded(2, 3, "0x40, 1, 2")),
            "pic_map : le flux compressé s'arrête avant les 4 octets de l'image, ou il est abîmé");
    quillon("LVGL, LZ4 with a byte after", lvgl(l8, compressed, "2", lvglCoded(2, 6, "0x40, 1, 2, 3, 4, 0")),
            "pic_map : le flux compressé déborde des 4 octets de l'image");
    quillon("LVGL, a method it has not", lvgl(l8, compressed, "2", lvglCoded(3, 2, "0x04, 7")),
            "pic_map : méthode de compression 3 inconnue");
    quillon("LVGL, a size not the picture's",
            lvgl(l8, compressed, "2", lvglCoded(1, 2, "0x05, 7").replace(",4,0,0,0,", ",5,0,0,0,")),
            "pic_map : 5 octets décompressés annoncés au lieu des 4 d'une image de cette taille");
    quillon("LVGL, compression header cut", lvgl(l8, compressed, "2", "1, 0, 0, 0, 2"),
            "pic_map : 5 octets, moins que l'en-tête de compression de LVGL");
    quillon("LVGL, a descriptor never closed", lvgl(l8, "0", "2", "1, 2, 3, 4").chopped(3),
            "ligne 3 : accolade jamais fermée");
    // The #else of a condition within the branch passed over does not end it.
    quillon("LVGL, a nested #else passed over",
            lvgl(l8, "0", "2", "1, 2, 3")
                .replace("#if LV_BIG_ENDIAN_SYSTEM\n",
                         "#if LV_BIG_ENDIAN_SYSTEM\n#if A\n#else\n  {9, 9},\n#endif\n"),
            "pic_map : 3 octets au lieu des 4 d'une image de cette taille");
    quillon("LVGL, flags it has not", lvgl(l8, "0 | LV_IMAGE_FLAGS_PREMULTIPLIED", "2", "1, 2, 3, 4"),
            "pic : drapeaux « 0 | LV_IMAGE_FLAGS_PREMULTIPLIED » inconnus");
    QTest::newRow("another tool's array, too short")
        << QByteArray("const uint16_t pic[] = {1, 2, 3};") << QByteArray("rgb565") << QSize(2, 2)
        << "pic : 6 octets au lieu des 8 d'une image de cette taille";
    QTest::newRow("another tool's file, no array")
        << QByteArray("int main(void) { return 0; }") << QByteArray("mono") << QSize(2, 2)
        << "aucun tableau de nombres";
    QTest::newRow("another tool's array of 32-bit values")
        << QByteArray("const uint32_t pic[] = {1, 2, 3, 4};") << QByteArray("gray8") << QSize(2, 2)
        << "pic : des valeurs de 4 octets au lieu de 1";
    QTest::newRow("another tool's indices, without their palette")
        << QByteArray("const uint8_t pic[] = {1, 2};") << QByteArray("index4") << QSize(2, 2)
        << "le format index4 ne se relit pas d'un tableau seul";
}

void TestDisplayFormats::refusesHeadersItCannotRead()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QString, message);
    const HeaderPictures read = format.isEmpty()
        ? decodeHeader(text)
        : decodeArrayAs(text, *findDisplayFormat(format), size, EncodingOptions());
    QCOMPARE(read.problem, message);
    QVERIFY(read.pictures.isEmpty());
}

void TestDisplayFormats::encodes_data()
{
    encodingColumns();
    const QImage picture = smallPicture();
    // 1-bit rows, high bit left (mono) or low bit left (xbm), on each side of the threshold.
    row("mono", "mono", picture);
    row("mono, threshold 90", "mono", picture, threshold(90));
    row("mono, inverted", "mono", picture, inverted);
    row("mono, threshold 255", "mono", picture, threshold(255));
    row("mono, 16 pixels", "mono", picture.scaled(16, 2));
    row("mono, 16 pixels, rows of 2 bytes, no padding", "mono", picture.scaled(16, 6), aligned(2));
    row("mono, 17 pixels, rows of 4 bytes", "mono", picture.scaled(17, 6), aligned(2));
    row("mono, aligned to 1024, the most", "mono", picture.copy(0, 0, 13, 2), aligned(1024));
    // All unlit or all lit, on each side of the lightest and the darkest pixel of the opaque rows.
    const QImage opaque = picture.copy(0, 3, 13, 3);
    QVector<int> levels;
    for (int i = 0; i < 13 * 3; ++i)
        levels << luma(opaque.pixel(i % 13, i / 13));
    const int lightest = *std::max_element(levels.begin(), levels.end()),
              darkest = *std::min_element(levels.begin(), levels.end());
    row("mono, opaque, threshold at the lightest pixel", "mono", opaque, threshold(lightest));
    row("mono, opaque, threshold above the lightest pixel", "mono", opaque, threshold(lightest + 1));
    row("xbm, opaque, threshold above the lightest pixel, inverted", "xbm", opaque,
        with(threshold(lightest + 1), inverted));
    row("pages, opaque, threshold at the darkest pixel", "pages", opaque, threshold(darkest));
    row("pages, opaque, threshold above the darkest pixel", "pages", opaque, threshold(darkest + 1));
    // One pixel apart, the last of a row: the array is not all alike.
    QImage lastLit(13, 3, QImage::Format_RGB32);
    lastLit.fill(Qt::black);
    lastLit.setPixel(12, 1, qRgb(255, 255, 255));
    row("mono, one pixel lit, the last of its row", "mono", lastLit);
    row("xbm", "xbm", picture, threshold(200));
    row("xbm, threshold 0, aligned to 4", "xbm", picture, with(threshold(0), aligned(4)));
    row("xbm, aligned to 3", "xbm", picture, aligned(3));
    row("xbm, 16 pixels", "xbm", picture.scaled(16, 2));
    // Pages of 8 rows, a byte a column, low bit on top.
    row("pages", "pages", picture);
    row("pages of 9 rows", "pages", picture.copy(0, 0, 5, 9));
    row("pages, aligned to 4", "pages", picture, aligned(4));
    // Grey levels: 256, 16 and 4, two and four pixels a byte, high bits left.
    row("gray8", "gray8", picture);
    row("gray8, inverted", "gray8", picture, inverted);
    row("gray8, aligned to 16", "gray8", picture, aligned(16));
    row("gray4", "gray4", picture, {}, Qt::white);
    row("gray4, inverted", "gray4", picture, inverted);
    // Rows padded to a multiple of the alignment: on each side of a multiple of 8 pixels.
    row("gray4, 13 pixels, rows of 8 bytes", "gray4", picture, aligned(8));
    row("gray4, 14 pixels, rows of 4 bytes", "gray4", picture.scaled(14, 6), aligned(4));
    // Four greys: rows of 13, 12, 14 and 16 pixels, on each side of multiples of 2, 4 and 8.
    row("gray2", "gray2", picture);
    row("gray2, inverted", "gray2", picture, inverted);
    row("gray2, 12 pixels", "gray2", picture.scaled(12, 5), {}, Qt::white);
    row("gray2, 14 pixels, rows of 4 bytes", "gray2", picture.scaled(14, 6), aligned(4));
    row("gray2, 16 pixels, inverted", "gray2", picture.scaled(16, 3), inverted);
    // Palettes of 16 and 256 5-6-5 entries.
    row("index4, aligned to 4", "index4", picture, aligned(4));
    row("index8, aligned to 2", "index8", picture, aligned(2));
    row("index4, few colours", "index4", picture.copy(0, 0, 3, 4));
    row("index4, many colours", "index4", picture);
    row("index4, 16 colours, as many as it holds", "index4", picture.copy(0, 0, 4, 4));
    row("index8, swapped", "index8", picture, swapped);
    // 17 colours in 16 entries: pure blue stays pure, rounded, not cut, in its box.
    QImage seventeen(17, 1, QImage::Format_RGB32);
    for (int x = 0; x < 16; ++x)
        seventeen.setPixel(x, 0, qRgb(x * 16, 255 - x * 16, x % 2 ? 255 : 0));
    seventeen.setPixel(16, 0, qRgb(0, 0, 255));
    row("index4, 17 colours", "index4", seventeen);
    // 16-bit values, with a mask or a key colour; 16-bit rows to a multiple of 2 bytes as well.
    row("rgb565 with a mask", "rgb565", picture, masked);
    row("rgb565 with a mask, aligned to 3", "rgb565", picture, with(masked, aligned(3)));
    // Red on each side of the mask's limit, 16 pixels: rows of exactly 2 bytes.
    QImage halfway(16, 2, QImage::Format_ARGB32);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 2; ++y)
            halfway.setPixel(x, y, qRgba(255, 0, 0, QVector<int> {127, 128, 129, 255}[(x + y) % 4]));
    row("rgb565 with a mask, alpha 127 to 129, 16 pixels", "rgb565", halfway, masked);
    // Pure green as the key: an opaque pure green goes one step of green down, not into red.
    QImage green = patternPicture(5, 3, true);
    green.setPixel(4, 0, qRgb(0, 255, 0));
    // Half green (0x1f of 0x3f) as the key: an opaque pixel of it goes one step up.
    QImage halfGreen = patternPicture(5, 3, true);
    halfGreen.setPixel(4, 0, qRgb(0, 0x7c, 0));
    row("rgb565 with half green as the key, the picture has it", "rgb565", halfGreen, key("#007c00"));
    row("rgb565 with pure green as the key, the picture has it", "rgb565", green, key("#00ff00"));
    row("rgb565 with a key colour", "rgb565", picture, key("#00f800"));
    // Black is also the colour of an opaque pixel: that one moves a step of green away.
    row("rgb565 with a key colour the picture has", "rgb565", picture, key("black"));
    // Red and blue exchanged for a panel wired BGR: in the values, the key and the palettes.
    row("rgb565 with a key colour, bgr, swapped", "rgb565", picture,
        with(key("#f81040"), with(bgr, swapped)));
    row("index8, bgr, swapped", "index8", picture, with(bgr, swapped));
    // 8, 12, 18 and 24 bits a pixel, red or blue first, cut to each channel's high bits; rows padded
    // as long as the picture's own (13 x 4 bytes), where the bytes are written over it, and a byte
    // longer; 12 bits a pixel in a stream, of an even (13 x 6) and an odd number of pixels.
    for (const char *format : {"rgb332", "rgb444", "rgb666", "rgb888"}) {
        row(format, format, picture);
        row(qPrintable(QString("%1, bgr").arg(format)), format, picture, bgr);
    }
    row("rgb332, rows of 52 bytes", "rgb332", picture, aligned(52));
    row("rgb332, rows of 53 bytes", "rgb332", picture, aligned(53));
    row("rgb444, 1 x 1", "rgb444", picture.copy(5, 4, 1, 1));
    row("rgb444, 13 x 5, an odd number of pixels, bgr", "rgb444", picture.copy(0, 0, 13, 5), bgr);
}

// The bytes of a family's formats read back to pixels by the decoder of its layout, against the
// picture as the options make it; and the preview is what those bytes show.
void TestDisplayFormats::encodes()
{
    QFETCH(QByteArray, format);
    QFETCH(QImage, picture);
    QFETCH(EncodingOptions, encoding);
    QFETCH(QColor, background);
    DisplayOptions shaping;
    shaping.background = background;
    const EncodedPicture encoded = encodedFor(picture, format, encoding, shaping);
    checkReadBack(encoded, format, encoding);
    if (QTest::currentTestFailed())
        return;
    const QString text = headerText(encoded.header);
    const QHash<QString, HeaderArray> arrays = parseArrays(text);
    const int w = picture.width(), h = picture.height();
    QCOMPARE(sizeMacros(text, "pic"), picture.size());
    QVERIFY(text.contains("#include <stdint.h>\n"));
    for (const HeaderArray &array : arrays)
        QCOMPARE(array.values.size(), array.size);

    // The pixels as the options make them: transparent ones onto the background, in colour.
    // A 5-6-5 picture with a mask or a key colour keeps each pixel's own colour.
    const bool keepsAlpha = encoding.pixels.transparent.isValid() || encoding.pixels.alphaMask;
    const auto colourAt = [&](int x, int y) {
        const QRgb p = picture.pixel(x, y);
        if (!background.isValid()) // each pixel's own colour, or as the window shows it
            return (keepsAlpha ? p : qUnpremultiply(qPremultiply(p))) | 0xff000000;
        const QRgb pm = qPremultiply(p);
        const int through = 255 - qAlpha(p);
        const auto mix = [&](int own, int back) { return own + (back * through + 127) / 255; };
        return qRgb(mix(qRed(pm), background.red()), mix(qGreen(pm), background.green()),
                    mix(qBlue(pm), background.blue()));
    };
    const bool invert = encoding.pixels.invert;
    // Rows padded with zeros to a multiple of the alignment (and of 2 for 16-bit values).
    const int align = encoding.arrays.strideAlign;
    const auto strideOf = [&](int rowBytes, int unit = 1) {
        const int multiple = std::lcm(align, unit);
        return (rowBytes + multiple - 1) / multiple * multiple;
    };
    const auto checkPadding = [&](const QString &name, int rowBytes, int rows, int unit = 1) {
        const QVector<quint32> &values = arrays.value(name).values;
        const int stride = strideOf(rowBytes, unit) / unit;
        QCOMPARE(values.size(), stride * rows);
        for (int y = 0; y < rows; ++y)
            for (int x = rowBytes / unit; x < stride; ++x)
                QCOMPARE(values[y * stride + x], 0u);
        if (align > 1)
            QVERIFY2(text.contains(QString("#define %1_stride %2\n").arg(name).arg(stride * unit)),
                     qPrintable(text));
        else
            QVERIFY(!text.contains("_stride"));
    };
    const int threshold = encoding.pixels.threshold;
    int bitsLit = 0, bitsUnlit = 0, lightPixels = 0;
    QImage display(w, h, QImage::Format_RGB32);
    const HeaderArray &pixels = arrays.value("pic");
    int exactEntries = 0; // palette pictures: pixels whose entry is their own colour
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb colour = colourAt(x, y);
            const int level = luma(colour);
            bool lit = level >= threshold;
            int stored = 0;
            if (format == "mono" || format == "xbm" || format == "pages") {
                const int bit = format == "mono"
                    ? int(pixels.values[y * strideOf((w + 7) / 8) + x / 8] >> (7 - x % 8) & 1)
                    : format == "xbm" ? int(pixels.values[y * strideOf((w + 7) / 8) + x / 8] >> (x % 8) & 1)
                                      : int(pixels.values[(y / 8) * strideOf(w) + x] >> (y % 8) & 1);
                QCOMPARE(bit, int(lit != invert));
                (bit ? bitsLit : bitsUnlit) += 1;
                lightPixels += lit ? 1 : 0;
                display.setPixel(x, y, bit ? qRgb(255, 255, 255) : qRgb(0, 0, 0)); // 1: lit, white
            } else if (format.startsWith("gray")) { // 8, 4 or 2 bits a pixel, high bits left
                const int bits = format.mid(4).toInt(), top = (1 << bits) - 1, perByte = 8 / bits;
                const int rowStart = y * strideOf((w + perByte - 1) / perByte);
                stored = int(pixels.values[rowStart + x / perByte] >> (8 - bits * (x % perByte + 1)) & top);
                QCOMPARE(stored, invert ? top - (level * top + 127) / 255 : (level * top + 127) / 255);
                display.setPixel(x, y, qRgb(stored * 255 / top, stored * 255 / top, stored * 255 / top));
                if (bits == 2 && x == w - 1) // the rest of the last byte is 0
                    QCOMPARE(pixels.values[rowStart + x / 4] & (0xffu >> (2 + 2 * (x % 4))), 0u);
            } else if (format.startsWith("index")) {
                const int index = format == "index8"
                    ? int(pixels.values[y * strideOf(w) + x])
                    : int(pixels.values[y * strideOf((w + 1) / 2) + x / 2] >> (x % 2 ? 0 : 4) & 0xf);
                quint16 entry = quint16(arrays.value("pic_palette").values[index]);
                if (encoding.pixels.swapBytes)
                    entry = quint16(entry << 8 | entry >> 8);
                if (encoding.pixels.bgr)
                    entry = redBlueExchanged(entry);
                // Few colours are kept exactly; many, within a palette's reach.
                const quint16 exact = rgb565(colour);
                if (w * h <= 16)
                    QCOMPARE(entry, exact);
                exactEntries += entry == exact ? 1 : 0;
                const QRgb got = shown(entry), want = shown(exact);
                QVERIFY2(qAbs(qRed(got) - qRed(want)) + qAbs(qGreen(got) - qGreen(want))
                                 + qAbs(qBlue(got) - qBlue(want))
                             < (format == "index8" ? 40 : 200),
                         qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
                display.setPixel(x, y, got);
            } else if (format != "rgb565") { // each channel's high bits, red first or blue first
                const int bits[3] = {format == "rgb332" ? 3 : format[3] - '0', format[4] - '0',
                                     format == "rgb332" ? 2 : format[5] - '0'};
                const int wanted[3] = {encoding.pixels.bgr ? qBlue(colour) : qRed(colour), qGreen(colour),
                                       encoding.pixels.bgr ? qRed(colour) : qBlue(colour)};
                const QVector<quint32> &bytes = pixels.values;
                const int i = y * w + x, at = format == "rgb444" ? i / 2 * 3 : y * strideOf(3 * w) + 3 * x;
                const int byte = format == "rgb332" ? int(bytes[y * strideOf(w) + x]) : 0;
                int sent[3];
                for (int c = 0; c < 3; ++c) {
                    const int nibble = 3 * (i % 2) + c; // rgb444: R0G0 B0R1 G1B1
                    sent[c] = format == "rgb332" ? byte >> (c == 2 ? 0 : 5 - 3 * c) & (c < 2 ? 7 : 3)
                        : format == "rgb444"     ? int(bytes[at + nibble / 2] >> (nibble % 2 ? 0 : 4) & 15)
                                                 : int(bytes[at + c]); // a byte a channel
                    if (bits[c] == 6) // its level in the high bits, the low two 0
                        QCOMPARE(sent[c] & 3, 0);
                    sent[c] >>= format.startsWith("rgb6") ? 2 : 0;
                    QCOMPARE(sent[c], wanted[c] >> (8 - bits[c]));
                    int shown = 0, filled = 0; // what the display shows: the level's bits repeated
                    for (; filled < 8; filled += bits[c])
                        shown = shown << bits[c] | sent[c];
                    sent[c] = shown >> (filled - 8);
                }
                display.setPixel(x, y,
                                 encoding.pixels.bgr ? qRgb(sent[2], sent[1], sent[0])
                                                     : qRgb(sent[0], sent[1], sent[2]));
            } else { // rgb565
                const bool opaque = qAlpha(picture.pixel(x, y)) >= 128;
                quint16 value = quint16(pixels.values[y * strideOf(2 * w, 2) / 2 + x]);
                value = encoding.pixels.swapBytes ? quint16(value << 8 | value >> 8) : value;
                value = encoding.pixels.bgr ? redBlueExchanged(value) : value;
                if (encoding.pixels.transparent.isValid()) {
                    const quint16 key = rgb565(encoding.pixels.transparent.rgb());
                    const quint16 own = rgb565(colour);
                    const quint16 stepped = quint16((key >> 5 & 0x3f) == 0x3f ? key - 0x20 : key + 0x20);
                    QCOMPARE(value, !opaque ? key : own == key ? stepped : own);
                } else {
                    QCOMPARE(value, rgb565(colour));
                    const quint32 maskByte
                        = arrays.value("pic_mask").values[y * strideOf((w + 7) / 8) + x / 8];
                    QCOMPARE(int(maskByte >> (7 - x % 8) & 1), int(opaque));
                }
                display.setPixel(x, y, shown(value));
            }
        }
    }
    // Bytes a row: 1, 8, 4, 2, 16 and 24 bits a pixel; pages of 8 rows, a byte a column; rgb444's
    // pixels in one stream, an odd number of them ending with a zero nibble.
    if (format == "rgb444" && w * h % 2)
        QCOMPARE(pixels.values.last() & 15, 0u);
    const int colourBytes = format == "rgb332" ? w : format == "rgb444" ? (w * h * 3 + 1) / 2 : 3 * w;
    const int rowBytes = format == "rgb565"         ? 2 * w
        : format.startsWith("rgb")                  ? colourBytes
        : format == "pages" || format.endsWith('8') ? w
        : format.endsWith('4')                      ? (w + 1) / 2
        : format == "gray2"                         ? (w + 3) / 4
                                                    : (w + 7) / 8;
    const int rows = format == "pages" ? (h + 7) / 8 : format == "rgb444" ? 1 : h;
    checkPadding("pic", rowBytes, rows, format == "rgb565" ? 2 : 1);
    if (encoding.pixels.alphaMask)
        checkPadding("pic_mask", (w + 7) / 8, h);

    // One colour more than the palette holds: all but the two that share an entry kept exactly.
    if (format == "index4" && w * h == 17)
        QVERIFY2(exactEntries >= 15, qPrintable(QString::number(exactEntries)));
    // A picture of no more colours than its palette holds: each of them, in increasing order.
    if (format.startsWith("index") && w * h <= 16) {
        const QVector<quint32> &palette = arrays.value("pic_palette").values;
        for (int i = 1; i < w * h; ++i)
            QVERIFY(palette[i - 1] < palette[i]);
    }
    const quint16 keyValue = rgb565(encoding.pixels.transparent.rgb());
    if (format == "rgb565" && encoding.pixels.transparent.isValid())
        QVERIFY(text.contains(
            QString("#define pic_transparent 0x%1\n")
                .arg(encoding.pixels.bgr ? redBlueExchanged(keyValue) : keyValue, 4, 16, QChar('0'))));
    // A 1-bit array all lit or all unlit is told, with the likeliest cause: every pixel dark or
    // light at the threshold, transparent ones laid onto black among the dark.
    const bool oneBit = format == "mono" || format == "xbm" || format == "pages";
    bool transparent = false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            transparent = transparent || qAlpha(picture.pixel(x, y)) < 255;
    const int cause = lightPixels              ? UniformArray::AllLight
        : transparent && !background.isValid() ? UniformArray::DarkOnTransparency
                                               : UniformArray::AllDark;
    QCOMPARE(encoded.uniform.size(), oneBit && (bitsLit == 0 || bitsUnlit == 0) ? 1 : 0);
    for (const UniformArray &array : encoded.uniform)
        QVERIFY(array.name == "pic" && array.lit == (bitsLit > 0) && int(array.cause) == cause);
    // The preview shows what the display will show.
    QCOMPARE(encoded.shownPicture(), display);
}

void TestDisplayFormats::drawsAsItsCommentSays_data()
{
    encodingColumns();
    // 37 x 13, one page row and a part; its top right corner transparent.
    QImage picture(37, 13, QImage::Format_ARGB32);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 37; ++x)
            picture.setPixel(x, y, qRgba(x * 7, y * 19, (x * y * 5) % 256, x > 30 && y < 4 ? 0 : 255));
    for (const char *format : {"mono", "xbm", "pages", "gray8", "gray4", "rgb565"})
        row(format, format, picture);
    for (const char *format : {"index4", "index8", "rgb565"}) {
        if (qstrcmp(format, "rgb565") != 0)
            row(format, format, picture);
        row(qPrintable(QString("%1, swapped").arg(format)), format, picture, swapped);
    }
    row("rgb565, key colour", "rgb565", picture, key("#102030"));
    row("rgb565, key colour, swapped", "rgb565", picture, with(key("#102030"), swapped));
    row("rgb565, mask", "rgb565", picture, masked);
    row("rgb565, mask, swapped", "rgb565", picture, with(masked, swapped));
    // Rows padded to 8 bytes: drawn one at a time.
    for (const char *format : {"mono", "xbm", "pages", "gray8", "gray4", "index4", "index8", "rgb565"})
        row(qPrintable(QString("%1, rows of 8 bytes").arg(format)), format, picture, aligned(8));
    row("pages, rows of 2 bytes", "pages", picture, aligned(2));
    row("rgb565, key colour, rows of 8 bytes", "rgb565", picture, with(key("#102030"), aligned(8)));
    row("rgb565, mask, rows of 8 bytes", "rgb565", picture, with(masked, aligned(8)));
    // Coded by run length: decoded a row, a page or a band at a time into memory, whose overloads
    // of the libraries' calls then draw it.
    for (const char *format : {"mono", "xbm", "pages", "gray8", "gray4", "index4", "index8", "rgb565"})
        row(qPrintable(QString("%1, coded").arg(format)), format, picture, coded);
    row("rgb565, key colour, swapped, coded", "rgb565", picture, with(with(key("#102030"), swapped), coded));
    row("rgb565, mask, coded", "rgb565", picture, with(masked, coded));
    for (const char *format : {"mono", "xbm", "pages", "gray4", "index4", "index8", "rgb565"})
        row(qPrintable(QString("%1, rows of 8 bytes, coded").arg(format)), format, picture,
            with(aligned(8), coded));
    row("rgb565, mask, rows of 8 bytes, coded", "rgb565", picture, with(with(masked, aligned(8)), coded));
    // Red and blue exchanged for a panel wired BGR; 8 bits through TFT_eSPI's 5-6-5; 12 and 18 bits
    // sent as they are; 24 to a panel in 18-bit colour, which keeps the 6 high bits of each byte.
    row("rgb565, mask, bgr, swapped", "rgb565", picture, with(masked, with(bgr, swapped)));
    for (const char *format : {"rgb332", "rgb444", "rgb666", "rgb888"}) {
        row(format, format, picture);
        row(qPrintable(QString("%1, bgr").arg(format)), format, picture, bgr);
    }
    row("rgb332, rows of 8 bytes", "rgb332", picture, aligned(8));
    row("rgb666, bgr, rows of 8 bytes", "rgb666", picture, with(bgr, aligned(8)));
    // Coded: a row, or a piece of rgb444's stream, decoded at a time and sent as it is.
    row("rgb332, coded", "rgb332", picture, coded);
    row("rgb444, coded", "rgb444", picture, coded);
    row("rgb666, bgr, coded", "rgb666", picture, with(bgr, coded));
    row("rgb888, coded", "rgb888", picture, coded);
    row("rgb332, rows of 8 bytes, coded", "rgb332", picture, with(aligned(8), coded));
    row("rgb888, rows of 8 bytes, coded", "rgb888", picture, with(aligned(8), coded));
}

// Each line a header's comment gives, compiled as it stands against a stand-in of its library,
// warnings as errors, and run: the picture lands on a 128 x 64 screen at (6, 8) as the preview
// shows it, and nothing else is drawn. The lines of AVR boards' libraries also run on a simulated
// ATmega2560, on a 48 x 24 screen, where the header places its arrays in flash.
void TestDisplayFormats::drawsAsItsCommentSays()
{
    QFETCH(QByteArray, format);
    QFETCH(QImage, picture);
    QFETCH(EncodingOptions, encoding);
    const EncodedPicture encoded = encodedFor(picture, format, encoding);
    checkReadBack(encoded, format, encoding); // coded or not, rows padded or not
    if (QTest::currentTestFailed())
        return;
    const QString cc = QStandardPaths::findExecutable("cc"), cxx = QStandardPaths::findExecutable("c++");
    if (cc.isEmpty() || cxx.isEmpty())
        QSKIP("no C or C++ compiler");
    const bool avr = !QStandardPaths::findExecutable("avr-g++").isEmpty()
        && !QStandardPaths::findExecutable("simavr").isEmpty();
    const QImage shown = encoded.shownPicture();
    const bool colour = format.startsWith("rgb") || format.startsWith("index");
    const bool keyed = encoding.pixels.transparent.isValid() || encoding.pixels.alphaMask;
    // What a colour format's line sends for a pixel the preview shows, red or blue first: 5-6-5
    // (TFT_eSPI's from 3-3-2 widens level 1 of 2 bits to 11), or 12 or 18 bits to a panel.
    const auto sent = [&](QRgb pixel) -> quint32 {
        const QRgb o
            = encoding.pixels.bgr ? qRgb(qBlue(pixel), qGreen(pixel), qRed(pixel)) : pixel; // as sent
        const int bits = format == "rgb444" ? 4 : 6, cut = 8 - bits;
        if (format == "rgb444" || format == "rgb666" || format == "rgb888")
            return 0x40000u
                | quint32(qRed(o) >> cut << 2 * bits | qGreen(o) >> cut << bits | qBlue(o) >> cut);
        const quint16 value = rgb565(o);
        return 0x10000u | (format == "rgb332" && (value & 0x1f) == 10 ? value + 1 : value);
    };
    const auto expected = [&](int width, int height) {
        QVector<quint32> screen(width * height, 0);
        for (int y = 0; y < 13; ++y) {
            for (int x = 0; x < 37; ++x) {
                const QRgb pixel = shown.pixel(x, y);
                screen[(y + 8) * width + x + 6] = colour
                    ? (keyed && qAlpha(picture.pixel(x, y)) < 128) ? 0 : sent(pixel)
                    : format == "gray8" ? qRed(pixel)
                    : format == "gray4" ? qRed(pixel) / 17
                                        : qRed(pixel) == 255;
            }
        }
        return screen;
    };

    const QString text = headerText(encoded.header);
    // Coded, the array is written as NAME_rle alone, which the lines read.
    if (encoding.arrays.compression == ArrayLayout::Rle)
        QVERIFY2(text.contains(" pic_rle[") && !text.contains(" pic["), qPrintable(text));
    writeFile(path("command/pic.h"), text.toUtf8());
    // A line may name the setup of its library that it needs: TFT_eSPI (ILI9488_DRIVER).
    QRegularExpressionMatchIterator lines
        = QRegularExpression(
              "^// (Adafruit GFX|Adafruit_SSD1306|Adafruit_SSD1327|Adafruit_SPITFT|Adafruit_ST77xx|"
              "TFT_eSPI|u8g2|U8g2lib)(?: \\((\\w+)\\))?: (.*)$",
              QRegularExpression::MultilineOption)
              .globalMatch(text);
    QVERIFY2(lines.hasNext(), qPrintable(text));
    while (lines.hasNext()) {
        const QRegularExpressionMatch line = lines.next();
        const QString library = line.captured(1), setup = line.captured(2), code = line.captured(3);
        const bool c = library == "u8g2", arduinoU8g2 = library == "U8g2lib";
        const bool spi = library == "Adafruit_SPITFT" || library == "Adafruit_ST77xx";
        const QString size = "(STANDIN_WIDTH, STANDIN_HEIGHT)";
        const QString object = library == "Adafruit GFX"
            ? "Adafruit_GFX tft" + size + ", display" + size + ", canvas" + size + ";"
            : library == "TFT_eSPI" ? "TFT_eSPI tft;"
            : spi                   ? library + " tft" + size + ";"
            : arduinoU8g2           ? "U8G2 u8g2;"
            : c                     ? ""
                                    : library + " display" + size + ";";
        const QString source = path(c ? "command/main.c" : "command/main.cpp");
        QString main = c
            ? "#include <u8g2.h>\n#include \"pic.h\"\nint main(void)\n{\n    u8g2_t u8g2;\n"
              "    standin_setup(&u8g2);\n    u8g2_uint_t x = 6, y = 8;\n"
            : QString("#include <%1>\n#include \"pic.h\"\n%2\nint main(void)\n{\n    int16_t x = 6, y = 8;\n")
                  .arg(arduinoU8g2 ? "U8g2lib.h" : "displays.h", object);
        main += "    (void)x, (void)y;\n    " + code + "\n    "
            + (c                 ? "standin_dump(&u8g2);"
                   : arduinoU8g2 ? "standin_dump(u8g2.getU8g2());"
                                 : "standin::dump();")
            + "\n    return 0;\n}\n";
        writeFile(source, main.toUtf8());
        const QStringList flags
            = {c ? "-std=c99" : "-std=c++11", "-Wall", "-Wextra",       "-Werror", "-I",
               QUILLON_DISPLAY_STANDINS,      "-I",    path("command"), "-I",      FIRMWARE_DIR};
        const QStringList defined = setup.isEmpty() ? QStringList() : QStringList {"-D" + setup};
        const auto drawn = [&](const QStringList &build, const QStringList &start, int width, int height) {
            const Run built = runProgram(build);
            if (built.exitCode != 0)
                return code + "\n" + built.out + built.err;
            QProcess program;
            program.setProcessChannelMode(QProcess::MergedChannels);
            program.start(start.first(), start.mid(1));
            program.waitForFinished(60000);
            // simavr colours each line of the serial output and ends it with a dot.
            QStringList values;
            for (QString row : QString::fromLatin1(program.readAll()).split('\n')) {
                row.remove(QRegularExpression("\\x1b\\[[0-9;]*m")).remove(QRegularExpression("\\.$"));
                const QStringList pixels = row.split(' ', Qt::SkipEmptyParts);
                if (pixels.size() == width)
                    values += pixels;
            }
            const QVector<quint32> wanted = expected(width, height);
            if (values.size() != wanted.size())
                return QString("%1\n%2 pixels instead of %3").arg(code).arg(values.size()).arg(wanted.size());
            for (int i = 0; i < wanted.size(); ++i) {
                const quint32 got = values[i].toUInt(nullptr, 16);
                if ((colour ? got : got & 0xffff) != wanted[i])
                    return code
                        + QString::asprintf("\npixel %d,%d of %d x %d: %x instead of %x", i % width,
                                            i / width, width, height, got, wanted[i]);
            }
            return QString();
        };
        QString problem = drawn(QStringList {c ? cc : cxx} + flags + defined
                                    + QStringList {"-o", path("command/main"), source},
                                {path("command/main")}, 128, 64);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        if (!avr || library == "TFT_eSPI")
            continue;
        const QStringList chip = {"-mmcu=atmega2560", "-Os", "-DSTANDIN_WIDTH=48", "-DSTANDIN_HEIGHT=24"};
        QCOMPARE(
            runProgram(QStringList {"avr-gcc"} + chip
                       + QStringList {"-c", FIRMWARE_TEST_DIR "/avr_board.c", "-o", path("command/board.o")})
                .exitCode,
            0);
        problem = drawn(QStringList {c ? "avr-gcc" : "avr-g++"} + chip + flags
                            + QStringList {"-o", path("command/main.elf"), source, path("command/board.o")},
                        {"simavr", "-m", "atmega2560", "-f", "16000000", path("command/main.elf")}, 48, 24);
        QVERIFY2(problem.isEmpty(), qPrintable("ATmega2560: " + problem));
    }
}

void TestDisplayFormats::placesArraysWhereItsLinesReadThem_data()
{
    QTest::addColumn<QByteArray>("format");
    for (const DisplayFormat &format : displayFormats())
        QTest::newRow(format.name) << QByteArray(format.name);
}

// Every format's arrays but LVGL's go to an AVR's program memory, as its row says, where the lines
// of its comment read them: --progmem changes nothing in them.
void TestDisplayFormats::placesArraysWhereItsLinesReadThem()
{
    QFETCH(QByteArray, format);
    EncodingOptions options;
    options.header.arrayName = "pic";
    const EncodedPicture plain = encodedFor(smallPicture(), format, options);
    QCOMPARE(plain.header.progmem, findDisplayFormat(format)->flashOnAvr);
    QCOMPARE(plain.header.progmem, format != "lvgl");
    if (format == "lvgl") // which refuses --progmem
        return;
    flash(options);
    QCOMPARE(headerText(encodedFor(smallPicture(), format, options).header), headerText(plain.header));
}

void TestDisplayFormats::takesPaletteFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QVector<QRgb>>("colours"); // the file's, in order
    QTest::addColumn<QString>("error"); // FILE: the file's path; empty: none

    const QVector<QRgb> six = {black, white, red, green, blue, qRgb(18, 52, 86)};
    QTest::newRow("GIMP palette")
        << "index4"
        << QByteArray("GIMP Palette\nName: Six\nColumns: 3\n# black first\n  0   0   0\tBlack\n"
                      "255 255 255 White\n255   0   0\n  0 255   0 Green\n0 0 255 Blue\n"
                      "\n18 52 86 Slate\n")
        << six << QString();
    QTest::newRow("GIMP palette, byte order mark and Windows line ends")
        << "index8" << QByteArray("\xef\xbb\xbfGIMP Palette\r\nName: Two\r\n#\r\n255 0 0\tRed\r\n0 0 255\r\n")
        << QVector<QRgb> {red, blue} << QString();
    QTest::newRow("plain list")
        << "index4" << QByteArray("# mine\n\n#FF0000\n  #00ff00  \n## red, green\n#\n#0000ff\n\t#123456\n")
        << QVector<QRgb> {red, green, blue, qRgb(0x12, 0x34, 0x56)} << QString();
    QTest::newRow("plain list, a colour twice") << "index4" << QByteArray("#ff0000\n#ff0000\n#0000ff\n")
                                                << QVector<QRgb> {red, red, blue} << QString();
    // As many colours as the format holds, and one more.
    QVector<QRgb> many;
    QByteArray list;
    for (int i = 0; i < 257; ++i) {
        many << qRgb((i & 7) << 5, (i >> 3 & 7) << 5, (i >> 6) << 6);
        list += QColor(many.last()).name().toLatin1() + '\n';
    }
    const QByteArray sixteen = list.left(16 * 8), seventeen = list.left(17 * 8);
    QTest::newRow("16 colours, index4") << "index4" << sixteen << many.mid(0, 16) << QString();
    QTest::newRow("17 colours, index4")
        << "index4" << seventeen << QVector<QRgb>()
        << "--palette : FILE a 17 couleurs, plus que les 16 que tient --format index4";
    QTest::newRow("256 colours, index8") << "index8" << list.left(256 * 8) << many.mid(0, 256) << QString();
    QTest::newRow("257 colours, index8")
        << "index8" << list << QVector<QRgb>()
        << "--palette : FILE a 257 couleurs, plus que les 256 que tient --format index8";
    // Lines that are neither a colour nor a comment.
    const QString neither = "n'est ni une couleur #rrvvbb ni un commentaire (# suivi d'une espace)";
    QTest::newRow("five digits") << "index4" << QByteArray("#ff0000\n#ff00f\n") << QVector<QRgb>()
                                 << "--palette : FILE, ligne 2 : « #ff00f » " + neither;
    QTest::newRow("without #") << "index4" << QByteArray("ff0000\n") << QVector<QRgb>()
                               << "--palette : FILE, ligne 1 : « ff0000 » " + neither;
    QTest::newRow("with a name") << "index8" << QByteArray("# red\n#ff0000 rouge\n") << QVector<QRgb>()
                                 << "--palette : FILE, ligne 2 : « #ff0000 rouge » " + neither;
    QTest::newRow("GIMP component above 255")
        << "index4" << QByteArray("GIMP Palette\n0 0 0\n256 0 0 Too red\n") << QVector<QRgb>()
        << "--palette : FILE, ligne 3 : « 256 0 0 Too red » a une composante au-delà de 255";
    QTest::newRow("GIMP blue above 255")
        << "index4" << QByteArray("GIMP Palette\n0 0 256 Too blue\n") << QVector<QRgb>()
        << "--palette : FILE, ligne 2 : « 0 0 256 Too blue » a une composante au-delà de 255";
    // A palette file of 1 MiB at most: exactly that is read, a byte more refused.
    const QByteArray padding = "#ff0000\n";
    QByteArray mebibyte = padding + QByteArray((1 << 20) - padding.size() - 1, '#') + '\n';
    QTest::newRow("1 MiB of comments") << "index4" << mebibyte << QVector<QRgb> {red} << QString();
    QTest::newRow("1 MiB and a byte")
        << "index4" << mebibyte + '\n'
        << QVector<QRgb>() << "--palette : FILE : fichier trop grand pour une palette";
    QTest::newRow("GIMP, two numbers")
        << "index4" << QByteArray("GIMP Palette\n12 34\n") << QVector<QRgb>()
        << "--palette : FILE, ligne 2 : « 12 34 » n'est pas une couleur R V B (trois nombres de 0 à 255)";
    QTest::newRow("comments only") << "index4" << QByteArray("# none\n\n#\n") << QVector<QRgb>()
                                   << "--palette : FILE, aucune couleur";
}

void TestDisplayFormats::takesPaletteFiles()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, file);
    QFETCH(QVector<QRgb>, colours);
    QFETCH(QString, error);
    writeFile(path("colours.pal"), file);
    // Each of the palette's colours and, for a colour given twice, its first entry.
    const QSize size(7, 5);
    savePicture(sourcesPicture(size, colours.isEmpty() ? QVector<QRgb> {red} : colours), path("pic.png"),
                "PNG");
    const Run run = quillonConvert({"-n", "pic", "--preview", "-o", path("command"), "--format", format,
                                    "--palette", path("colours.pal"), path("pic.png")});
    if (!error.isEmpty()) {
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err.section('\n', 0, 0),
                 "quillon-convert: " + error.replace("FILE", path("colours.pal")));
        return;
    }
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QHash<QString, HeaderArray> arrays
        = parseArrays(QString::fromUtf8(readFile(path("command/pic.h"))));
    const int entries = format == "index4" ? 16 : 256;
    const QVector<quint32> &palette = arrays.value("pic_palette").values;
    QCOMPARE(palette.size(), entries);
    for (int i = 0; i < entries; ++i) // the file's colours, then 0x0000
        QCOMPARE(palette[i], i < colours.size() ? quint32(rgb565(colours[i])) : 0u);
    const QVector<quint32> &indices = arrays.value("pic").values;
    const QImage preview = QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int index = format == "index8"
                ? int(indices[y * size.width() + x])
                : int(indices[y * ((size.width() + 1) / 2) + x / 2] >> (x % 2 ? 0 : 4) & 0xf);
            const QRgb colour = colours[(x + 3 * y) % colours.size()];
            QCOMPARE(index, colours.indexOf(colour));
            QCOMPARE(preview.pixel(x, y), shown(rgb565(colour)));
        }
    }
}

namespace {

// The colours of a 7-colour ACeP panel by their codes, as Pimoroni measured them on its 5.65-inch
// panel (SATURATED_PALETTE of the Inky library): black, white, green, blue, red, yellow, orange.
const QVector<QRgb> acepColours
    = {qRgb(57, 48, 57),  qRgb(255, 255, 255), qRgb(58, 91, 70),  qRgb(61, 59, 94),
       qRgb(156, 72, 75), qRgb(208, 190, 71),  qRgb(177, 106, 73)};

// An e-paper picture read back from its arrays, by name, as the panel shows it: from the two
// planes, black where the black plane holds 0, the ink where the other does, white where both
// hold 1; from the codes of the ACeP (4 bits), four-ink (2 bits) and Spectra 6 panels (4 bits, no
// code 4), the panel's colour of each, the leftmost pixel in the highest bits of its byte, each
// row on whole bytes. Bits and codes beyond the width must be white, and no pixel both inks.
void readPanel(const QByteArray &format, const QHash<QByteArray, QByteArray> &arrays, QSize size,
               QImage *panel)
{
    const int w = size.width(), h = size.height();
    *panel = QImage(size, QImage::Format_RGB32);
    if (format == "epd7" || format == "epd-bwry" || format == "epd-spectra6") {
        const int bits = format == "epd-bwry" ? 2 : 4, perByte = 8 / bits;
        const QVector<QRgb> &colours = format == "epd7" ? acepColours
            : format == "epd-bwry"                      ? bwryColours
                                                        : spectra6Colours;
        const QByteArray codes = arrays.value("pic");
        const int rowBytes = (w + perByte - 1) / perByte;
        QCOMPARE(codes.size(), rowBytes * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < rowBytes * perByte; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                const int code = quint8(codes[y * rowBytes + x / perByte]) >> shift & ((1 << bits) - 1);
                const bool known = code < colours.size() && !(format == "epd-spectra6" && code == 4);
                QVERIFY2(x < w ? known : code == 1,
                         qPrintable(QString("pixel %1,%2: %3").arg(x).arg(y).arg(code)));
                if (x < w)
                    panel->setPixel(x, y, colours[code]);
            }
        }
        return;
    }
    const QByteArray inkName = format.mid(7); // epd-bw-red, epd-bw-yellow
    const QByteArray blackPlane = arrays.value("pic_black"), inkPlane = arrays.value("pic_" + inkName);
    const int rowBytes = (w + 7) / 8;
    QCOMPARE(blackPlane.size(), rowBytes * h);
    QCOMPARE(inkPlane.size(), rowBytes * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < rowBytes * 8; ++x) {
            const int noBlack = quint8(blackPlane[y * rowBytes + x / 8]) >> (7 - x % 8) & 1;
            const int noInk = quint8(inkPlane[y * rowBytes + x / 8]) >> (7 - x % 8) & 1;
            QVERIFY2(noBlack || noInk, qPrintable(QString("pixel %1,%2 in both inks").arg(x).arg(y)));
            if (x >= w) {
                QVERIFY2(noBlack && noInk, qPrintable(QString("padding %1,%2 not white").arg(x).arg(y)));
                continue;
            }
            panel->setPixel(x, y, !noBlack ? black : !noInk ? (inkName == "red" ? red : yellow) : white);
        }
    }
}

EncodedPicture encodeFor(const QByteArray &format, const QImage &picture, Dithering dither)
{
    EncodingOptions options;
    options.header.arrayName = "pic";
    options.display.dither = dither;
    return encodedFor(picture, format, options);
}

} // namespace

void TestDisplayFormats::encodesForEpaperPanels_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QVector<QRgb>>("sources");
    QTest::addColumn<QVector<QRgb>>("shown"); // the panel's colour for each source

    // White, black, red, near each of them, and what the panel has no ink for: dark blue and
    // green to black, yellow to white.
    const QVector<QRgb> forRed
        = {white, black, red, qRgb(240, 240, 235), qRgb(30, 20, 40), qRgb(200, 30, 30), blue, green, yellow};
    const QVector<QRgb> onRed = {white, black, red, white, black, red, black, black, white};
    // Rows of 13, 8, 16 and 17 pixels: on each side of whole bytes.
    for (const QSize size : {QSize(13, 5), QSize(8, 3), QSize(16, 7), QSize(17, 2)})
        QTest::addRow("black, white and red, %d x %d", size.width(), size.height())
            << QByteArray("epd-bw-red") << size << forRed << onRed;
    // A colour as near white as black goes to the first of the panel's colours, white.
    QTest::newRow("a tie between white and black")
        << QByteArray("epd-bw-red") << QSize(3, 2) << QVector<QRgb> {qRgb(9, 158, 185)}
        << QVector<QRgb> {white};
    // A plane without ink is told when the picture is not all white.
    QTest::newRow("all white") << QByteArray("epd-bw-red") << QSize(3, 2) << QVector<QRgb> {white}
                               << QVector<QRgb> {white};
    QTest::newRow("nearly white, no ink")
        << QByteArray("epd-bw-red") << QSize(3, 2) << QVector<QRgb> {white, qRgb(254, 255, 255)}
        << QVector<QRgb> {white, white};
    QTest::newRow("black and white, no red") << QByteArray("epd-bw-red") << QSize(5, 3)
                                             << QVector<QRgb> {white, black} << QVector<QRgb> {white, black};
    QTest::newRow("black, no yellow")
        << QByteArray("epd-bw-yellow") << QSize(2, 2) << QVector<QRgb> {black} << QVector<QRgb> {black};
    // Green is light enough to go to yellow; red is too dark for it.
    const QVector<QRgb> forYellow
        = {white, black, yellow, qRgb(250, 220, 20), green, red, blue, qRgb(200, 200, 200)};
    const QVector<QRgb> onYellow = {white, black, yellow, yellow, yellow, black, black, white};
    for (const QSize size : {QSize(9, 4), QSize(24, 11)})
        QTest::addRow("black, white and yellow, %d x %d", size.width(), size.height())
            << QByteArray("epd-bw-yellow") << size << forYellow << onYellow;
    // The panel's own colours to their codes; pure ones to the nearest the panel shows.
    QVector<QRgb> forAcep = acepColours;
    QVector<QRgb> onAcep = acepColours;
    forAcep << white << black << red << green << blue << yellow;
    onAcep << acepColours[1] << acepColours[0] << acepColours[4] << acepColours[2] << acepColours[3]
           << acepColours[5];
    for (const QSize size : {QSize(7, 3), QSize(8, 5), QSize(13, 14), QSize(1, 2)})
        QTest::addRow("seven colours, %d x %d", size.width(), size.height())
            << QByteArray("epd7") << size << forAcep << onAcep;

    // Four inks: the panel's own to their codes, pure ones to the nearest it shows (green is
    // light enough for yellow, blue dark enough for black); rows of 5 to 8 pixels, one pixel, and
    // 13: on each side of whole bytes.
    QVector<QRgb> forBwry = bwryColours, onBwry = bwryColours;
    forBwry << white << black << yellow << red << green << blue << qRgb(200, 120, 60);
    onBwry << bwryColours[1] << bwryColours[0] << bwryColours[2] << bwryColours[3] << bwryColours[2]
           << bwryColours[0] << bwryColours[3];
    for (const QSize size : {QSize(5, 3), QSize(6, 4), QSize(7, 2), QSize(8, 3), QSize(1, 4), QSize(13, 5)})
        QTest::addRow("four inks, %d x %d", size.width(), size.height())
            << QByteArray("epd-bwry") << size << forBwry << onBwry;
    // Six inks, codes 0 to 3, 5 and 6: the panel's own, then pure ones.
    QVector<QRgb> forSpectra6, onSpectra6;
    for (const int code : {0, 1, 2, 3, 5, 6})
        forSpectra6 << spectra6Colours[code], onSpectra6 << spectra6Colours[code];
    forSpectra6 << white << black << yellow << red << blue << green << qRgb(255, 128, 0);
    onSpectra6 << spectra6Colours[1] << spectra6Colours[0] << spectra6Colours[2] << spectra6Colours[3]
               << spectra6Colours[5] << spectra6Colours[6] << spectra6Colours[2];
    for (const QSize size : {QSize(7, 3), QSize(8, 5), QSize(1, 2), QSize(14, 3)})
        QTest::addRow("six inks, %d x %d", size.width(), size.height())
            << QByteArray("epd-spectra6") << size << forSpectra6 << onSpectra6;

    // A colour on each side of where the nearest ink changes, by the eye-weighted distance to the
    // colours the panel shows: along the greys, reds, light yellows and oranges, and for six inks
    // the blues and greens.
    const auto grey = [](int v) { return qRgb(v, v, v); };
    const QVector<QRgb> &k = bwryColours;
    QTest::newRow("four inks, boundaries")
        << QByteArray("epd-bwry") << QSize(14, 1)
        << QVector<QRgb> {grey(105),           grey(106),           grey(153),       grey(154),
                          grey(165),           grey(166),           qRgb(94, 0, 0),  qRgb(95, 0, 0),
                          qRgb(255, 255, 140), qRgb(255, 255, 141), qRgb(0, 244, 0), qRgb(0, 245, 0),
                          qRgb(255, 113, 0),   qRgb(255, 114, 0)}
        << QVector<QRgb> {k[0], k[3], k[3], k[2], k[2], k[1], k[0], k[3], k[2], k[1], k[0], k[2], k[3], k[2]};
    const QVector<QRgb> &s = spectra6Colours;
    QTest::newRow("six inks, boundaries")
        << QByteArray("epd-spectra6") << QSize(16, 1) << QVector<QRgb> {grey(65),
                                                                        grey(66),
                                                                        grey(103),
                                                                        grey(104),
                                                                        grey(153),
                                                                        grey(154),
                                                                        qRgb(98, 0, 0),
                                                                        qRgb(99, 0, 0),
                                                                        qRgb(255, 255, 148),
                                                                        qRgb(255, 255, 149),
                                                                        qRgb(0, 0, 140),
                                                                        qRgb(0, 0, 141),
                                                                        qRgb(0, 60, 0),
                                                                        qRgb(0, 61, 0),
                                                                        qRgb(255, 115, 0),
                                                                        qRgb(255, 116, 0)}
        << QVector<QRgb> {s[0], s[6], s[6], s[5], s[5], s[1], s[0], s[3],
                          s[2], s[1], s[0], s[5], s[0], s[6], s[3], s[2]};
}

void TestDisplayFormats::encodesForEpaperPanels()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QVector<QRgb>, sources);
    QFETCH(QVector<QRgb>, shown);
    const EncodedPicture encoded = encodeFor(format, sourcesPicture(size, sources), Dithering::None);
    QImage panel;
    readPanel(format, arraysOf(encoded.header), size, &panel);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(panel, sourcesPicture(size, shown));
    QCOMPARE(encoded.shownPicture(), panel); // the preview
    EncodingOptions encoding;
    encoding.header.arrayName = "pic";
    checkReadBack(encoded, format, encoding);
    // Each plane that no pixel inks, in a picture not all white.
    const QRgb ink = format == "epd-bw-red" ? red : yellow;
    QByteArrayList told, expected;
    for (const UniformArray &array : encoded.uniform)
        told << array.name + (array.cause == UniformArray::NoInk && array.lit ? "" : " wrongly");
    if (format.startsWith("epd-bw-")
        && std::any_of(sources.begin(), sources.end(), [](QRgb c) { return c != white; })) {
        for (const QRgb plane : {black, ink})
            if (!shown.contains(plane))
                expected << (plane == black ? "pic_black" : ink == red ? "pic_red" : "pic_yellow");
    }
    QCOMPARE(told, expected);
}

void TestDisplayFormats::dithersToThePanelsColours_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QRgb>("colour");
    // Colours between the panel's: grey between black and white, pink between red and white,
    // ochre between the ACeP panel's yellow, orange and grey, teal between blue and green.
    QTest::newRow("grey on black, white and red") << QByteArray("epd-bw-red") << qRgb(128, 128, 128);
    QTest::newRow("pink on black, white and red") << QByteArray("epd-bw-red") << qRgb(255, 128, 128);
    QTest::newRow("light yellow on black, white and yellow")
        << QByteArray("epd-bw-yellow") << qRgb(255, 255, 128);
    QTest::newRow("grey on seven colours") << QByteArray("epd7") << qRgb(150, 140, 150);
    QTest::newRow("ochre on seven colours") << QByteArray("epd7") << qRgb(190, 150, 80);
    QTest::newRow("grey on four inks") << QByteArray("epd-bwry") << qRgb(150, 150, 150);
    // Within the inks' reach: two fifths each of blue and green, one of white.
    QTest::newRow("teal on six inks") << QByteArray("epd-spectra6") << qRgb(67, 119, 134);
}

void TestDisplayFormats::dithersToThePanelsColours()
{
    QFETCH(QByteArray, format);
    QFETCH(QRgb, colour);
    const QSize size(40, 30);
    QImage flat(size, QImage::Format_RGB32);
    flat.fill(colour);
    // Cut, one colour throughout; dithered, the panel's colours average to it.
    QImage panel;
    readPanel(format, arraysOf(encodeFor(format, flat, Dithering::None).header), size, &panel);
    QImage uniform(size, QImage::Format_RGB32);
    uniform.fill(panel.pixel(0, 0));
    QCOMPARE(panel, uniform);
    const EncodedPicture dithered = encodeFor(format, flat, Dithering::FloydSteinberg);
    readPanel(format, arraysOf(dithered.header), size, &panel);
    double sums[3] = {0, 0, 0};
    for (int i = 0; i < size.width() * size.height(); ++i)
        for (int c = 0; c < 3; ++c)
            sums[c] += panel.pixel(i % size.width(), i / size.width()) >> (16 - 8 * c) & 0xff;
    const int pixels = size.width() * size.height();
    const QString measured
        = QString("%1 %2 %3").arg(sums[0] / pixels).arg(sums[1] / pixels).arg(sums[2] / pixels);
    QVERIFY2(qAbs(sums[0] / pixels - qRed(colour)) < 8 && qAbs(sums[1] / pixels - qGreen(colour)) < 8
                 && qAbs(sums[2] / pixels - qBlue(colour)) < 8,
             qPrintable(measured));
    QCOMPARE(dithered.shownPicture(), panel);
}

void TestDisplayFormats::drawsOnPanelsAsTheCommentSays_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("library"); // how the comment line begins
    QTest::addColumn<bool>("coded"); // --compress rle
    const auto row
        = [](const char *name, const char *format, QSize size, const char *library, bool coded = false) {
              QTest::newRow(name) << QByteArray(format) << size << QString(library) << coded;
          };
    row("GxEPD2, black, white and red", "epd-bw-red", QSize(13, 5), "GxEPD2");
    row("GxEPD2, black, white and yellow", "epd-bw-yellow", QSize(16, 3), "GxEPD2");
    row("Waveshare's C library, black, white and red", "epd-bw-red", QSize(17, 4), "Waveshare C library");
    row("Waveshare's C library, black, white and yellow", "epd-bw-yellow", QSize(8, 2),
        "Waveshare C library");
    row("Waveshare's Arduino class, black, white and red", "epd-bw-red", QSize(11, 3), "Waveshare Arduino");
    row("Waveshare's Arduino class, black, white and yellow", "epd-bw-yellow", QSize(9, 2),
        "Waveshare Arduino");
    row("GxEPD2, seven colours", "epd7", QSize(9, 4), "GxEPD2");
    row("Waveshare's C library, 5.65 inches, seven colours", "epd7", QSize(10, 3),
        "Waveshare C library 5.65");
    row("Waveshare's C library, 7.3 inches, seven colours", "epd7", QSize(8, 6), "Waveshare C library 7.3");
    row("Waveshare's Arduino class, 5.65 inches, seven colours", "epd7", QSize(6, 3),
        "Waveshare Arduino 5.65");
    row("Waveshare's Arduino class, 7.3 inches, seven colours", "epd7", QSize(12, 2),
        "Waveshare Arduino 7.3");
    row("GxEPD2, four inks", "epd-bwry", QSize(9, 4), "GxEPD2");
    row("Waveshare's C library, 7.3 inches, four inks", "epd-bwry", QSize(7, 3),
        "Waveshare C library 7.3 inches (");
    row("Waveshare's C library, part of 7.3 inches, four inks", "epd-bwry", QSize(12, 3),
        "Waveshare C library 7.3 inches, STM32");
    row("Waveshare's Arduino class, four inks", "epd-bwry", QSize(8, 5), "Waveshare Arduino 7.3");
    row("GxEPD2, six inks", "epd-spectra6", QSize(9, 4), "GxEPD2");
    row("Waveshare's C library, 7.3 inches, six inks", "epd-spectra6", QSize(7, 3),
        "Waveshare C library 7.3 inches (");
    row("Waveshare's C library, part of 7.3 inches, six inks", "epd-spectra6", QSize(10, 3),
        "Waveshare C library 7.3 inches, STM32");
    row("Waveshare's C library, four greys", "gray2", QSize(12, 5), "Waveshare C library, 4 greys");
    row("Waveshare's Arduino class, four greys", "gray2", QSize(16, 3), "Waveshare Arduino 4.2");
    // Coded by run length: GxEPD2 given bands of rows (more than one band, the last one short),
    // then told to refresh; Waveshare's libraries given the whole picture decoded.
    row("GxEPD2, black, white and red, coded", "epd-bw-red", QSize(13, 19), "GxEPD2", true);
    row("GxEPD2, seven colours, coded", "epd7", QSize(9, 8), "GxEPD2", true);
    row("Waveshare's C library, black, white and yellow, coded", "epd-bw-yellow", QSize(17, 4),
        "Waveshare C library", true);
    row("Waveshare's C library, 5.65 inches, coded", "epd7", QSize(10, 3), "Waveshare C library 5.65", true);
    row("Waveshare's C library, 7.3 inches, coded", "epd7", QSize(8, 6), "Waveshare C library 7.3", true);
    row("Waveshare's C library, four greys, coded", "gray2", QSize(12, 5), "Waveshare C library, 4 greys",
        true);
    row("GxEPD2, four inks, coded", "epd-bwry", QSize(11, 9), "GxEPD2", true);
    row("Waveshare's C library, 7.3 inches, four inks, coded", "epd-bwry", QSize(7, 3),
        "Waveshare C library 7.3 inches (", true);
    row("Waveshare's C library, part of 7.3 inches, four inks, coded", "epd-bwry", QSize(12, 3),
        "Waveshare C library 7.3 inches, STM32", true);
    row("GxEPD2, six inks, coded", "epd-spectra6", QSize(9, 10), "GxEPD2", true);
    row("GxEPD2, four inks, coded, a last band of 7 rows", "epd-bwry", QSize(5, 15), "GxEPD2", true);
    row("Waveshare's C library, 7.3 inches, six inks, coded", "epd-spectra6", QSize(7, 3),
        "Waveshare C library 7.3 inches (", true);
    row("Waveshare's C library, part of 7.3 inches, six inks, coded", "epd-spectra6", QSize(10, 3),
        "Waveshare C library 7.3 inches, STM32", true);
}

// Each e-paper line of a header's comment, pasted as it stands at x = y = 0, compiled against
// the stand-ins of its library (tests/displays/epaper.h), warnings as errors, and run on a screen
// of the picture's size: what it draws is what the preview shows. The arrays are in an AVR's
// program memory: GxEPD2's lines and those of Waveshare's Arduino classes also run on a
// simulated ATmega2560, where only what reads program memory draws right.
void TestDisplayFormats::drawsOnPanelsAsTheCommentSays()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QString, library);
    QFETCH(bool, coded);
    const QString cxx = QStandardPaths::findExecutable("c++");
    if (cxx.isEmpty())
        QSKIP("no C++ compiler");
    const QVector<QRgb> sources
        = {white, black, red, green, blue, yellow, qRgb(100, 100, 100), qRgb(200, 120, 60)};
    EncodingOptions options;
    options.header.arrayName = "pic";
    options.arrays.compression = coded ? ArrayLayout::Rle : ArrayLayout::Uncompressed;
    const EncodedPicture encoded = encodedFor(sourcesPicture(size, sources), format, options);
    const QString text = headerText(encoded.header);
    writeFile(path("command/pic.h"), text.toUtf8());
    // A call, or a block of statements that decodes the arrays.
    const QString line = QRegularExpression("\n// " + QRegularExpression::escape(library)
                                            + "[^:\n]*: (\\{[^\n]*\\}|[^;\n]*;)")
                             .match(text)
                             .captured(1);
    QVERIFY2(!line.isEmpty(), qPrintable(text));
    // Waveshare's Arduino classes read whole pictures from program memory only: no line for them.
    if (coded)
        QVERIFY2(!text.contains("\n// Waveshare Arduino"), qPrintable(text));
    writeFile(path("command/main.cpp"),
              "#include <epaper.h>\n#include \"pic.h\"\n"
                  + QByteArray(format == "epd-bwry"           ? "GxEPD2_4C_StandIn"
                                   : format == "epd-spectra6" ? "GxEPD2_Spectra6_StandIn"
                                                              : "GxEPD2_StandIn")
                  + " display;\nEpd epd;\nint main()\n{\n"
                    "    const int16_t x = 0, y = 0;\n    (void)x, (void)y;\n    "
                  + line.toUtf8() + "\n    epaper_dump();\n    return 0;\n}\n");

    // What the preview shows, in the stand-in's letters: only the panel's colours.
    const QImage preview = encoded.shownPicture();
    const QRgb ink = format == "epd-bw-red" ? red : yellow;
    QString expected;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb colour = preview.pixel(x, y);
            if (format == "epd7")
                expected += acepColours.contains(colour) ? QChar('0' + acepColours.indexOf(colour)) : '?';
            else if (format == "epd-bwry")
                expected += bwryColours.contains(colour) ? QChar('0' + bwryColours.indexOf(colour)) : '?';
            else if (format == "epd-spectra6")
                expected
                    += spectra6Colours.contains(colour) ? QChar('0' + spectra6Colours.indexOf(colour)) : '?';
            else if (format == "gray2")
                expected += qGray(colour) % 85 || colour != qRgb(qRed(colour), qRed(colour), qRed(colour))
                    ? QChar('?')
                    : QChar('0' + qRed(colour) / 85);
            else
                expected += colour == white ? 'W' : colour == black ? 'K' : colour == ink ? 'C' : '?';
        }
        expected += '\n';
    }
    // GxEPD2 draws where it is told only: on a screen a band of 8 rows taller, those stay blank.
    const int blankRows = library == "GxEPD2" ? 8 : 0;
    for (int y = 0; y < blankRows; ++y)
        expected += QString(size.width(), '.') + '\n';
    expected += library != "GxEPD2" ? "pgm -1\n" : coded ? "pgm 0\n" : "pgm 1\n";

    const QStringList flags = {"-std=c++11",
                               "-Wall",
                               "-Wextra",
                               "-Werror",
                               "-DSTANDIN_WIDTH=" + QString::number(size.width()),
                               "-DSTANDIN_HEIGHT=" + QString::number(size.height() + blankRows),
                               "-I",
                               QUILLON_DISPLAY_STANDINS,
                               "-I",
                               path("command"),
                               "-I",
                               FIRMWARE_DIR};
    const Run built = runProgram(QStringList {cxx} + flags
                                 + QStringList {"-o", path("command/main"), path("command/main.cpp")});
    QVERIFY2(built.exitCode == 0, qPrintable(line + "\n" + built.out + built.err));
    QCOMPARE(runProgram({path("command/main")}).out, expected);

    const bool readsFlash = library == "GxEPD2" || library.startsWith("Waveshare Arduino");
    if (!readsFlash || QStandardPaths::findExecutable("avr-g++").isEmpty()
        || QStandardPaths::findExecutable("simavr").isEmpty())
        return;
    const QStringList chip = {"-mmcu=atmega2560", "-Os"};
    QCOMPARE(runProgram(QStringList {"avr-gcc"} + chip
                        + QStringList {"-c", FIRMWARE_TEST_DIR "/avr_board.c", "-o", path("command/board.o")})
                 .exitCode,
             0);
    const Run avrBuilt = runProgram(
        QStringList {"avr-g++"} + chip + flags
        + QStringList {"-o", path("command/main.elf"), path("command/main.cpp"), path("command/board.o")});
    QVERIFY2(avrBuilt.exitCode == 0, qPrintable(line + "\n" + avrBuilt.out + avrBuilt.err));
    // simavr colours each line of the serial output and ends it with a dot.
    QProcess chip2560;
    chip2560.setProcessChannelMode(QProcess::MergedChannels);
    chip2560.start("simavr", {"-m", "atmega2560", "-f", "16000000", path("command/main.elf")});
    QVERIFY(chip2560.waitForFinished(60000));
    QString drawn = QString::fromLatin1(chip2560.readAll()).remove(QRegularExpression("\\x1b\\[[0-9;]*m"));
    drawn.remove(QRegularExpression("\\.$", QRegularExpression::MultilineOption));
    QVERIFY2(drawn.contains(expected), qPrintable("ATmega2560: " + line + "\n" + drawn));
}

QTEST_GUILESS_MAIN(TestDisplayFormats)
#include "tst_displayformats.moc"
