#include "display_formats.h"
#include "picturesupport.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

class TestEpaper : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void encodesForEpaperPanels_data();
    void encodesForEpaperPanels();
    void dithersToThePanelsColours_data();
    void dithersToThePanelsColours();
    void drawsAsTheCommentSays_data();
    void drawsAsTheCommentSays();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestEpaper::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(QDir().mkpath(path("command")));
}

namespace {

// The colours of a 7-colour ACeP panel by their codes, as Pimoroni measured them on its 5.65-inch
// panel (SATURATED_PALETTE of the Inky library): black, white, green, blue, red, yellow, orange.
const QVector<QRgb> acepColours
    = {qRgb(57, 48, 57),  qRgb(255, 255, 255), qRgb(58, 91, 70),  qRgb(61, 59, 94),
       qRgb(156, 72, 75), qRgb(208, 190, 71),  qRgb(177, 106, 73)};

// An e-paper picture read back from its arrays, by name, as the panel shows it: from the two
// planes, black where the black plane holds 0, the ink where the other does, white where both
// hold 1; from the ACeP codes, the panel's colour of each. Bits and nibbles beyond the width
// must be white, and no pixel both inks.
void readPanel(const QByteArray &format, const QHash<QByteArray, QByteArray> &arrays, QSize size,
               QImage *panel)
{
    const int w = size.width(), h = size.height();
    *panel = QImage(size, QImage::Format_RGB32);
    if (format == "epd7") {
        const QByteArray codes = arrays.value("pic");
        const int rowBytes = (w + 1) / 2;
        QCOMPARE(codes.size(), rowBytes * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < rowBytes * 2; ++x) {
                const int code = quint8(codes[y * rowBytes + x / 2]) >> (x % 2 ? 0 : 4) & 0xf;
                QVERIFY2(x < w ? code < 7 : code == 1,
                         qPrintable(QString("pixel %1,%2: %3").arg(x).arg(y).arg(code)));
                if (x < w)
                    panel->setPixel(x, y, acepColours[code]);
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

EncodedPicture encodeFor(const QByteArray &format, const QImage &picture, bool dither)
{
    EncodingOptions options;
    options.arrayName = "pic";
    options.dither = dither;
    PreparedPicture prepared;
    prepared.colours = picture;
    return findDisplayFormat(format)->encode(prepared, options);
}

} // namespace

void TestEpaper::encodesForEpaperPanels_data()
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
    QTest::newRow("black, white and red, 13 x 5")
        << QByteArray("epd-bw-red") << QSize(13, 5) << forRed << onRed;
    QTest::newRow("black, white and red, 8 x 3")
        << QByteArray("epd-bw-red") << QSize(8, 3) << forRed << onRed;
    QTest::newRow("black, white and red, 16 x 7")
        << QByteArray("epd-bw-red") << QSize(16, 7) << forRed << onRed;
    QTest::newRow("black, white and red, 17 x 2")
        << QByteArray("epd-bw-red") << QSize(17, 2) << forRed << onRed;
    // A colour as near white as black goes to the first of the panel's colours, white.
    QTest::newRow("a tie between white and black")
        << QByteArray("epd-bw-red") << QSize(3, 2) << QVector<QRgb> {qRgb(9, 158, 185)}
        << QVector<QRgb> {white};
    // Green is light enough to go to yellow; red is too dark for it.
    const QVector<QRgb> forYellow
        = {white, black, yellow, qRgb(250, 220, 20), green, red, blue, qRgb(200, 200, 200)};
    const QVector<QRgb> onYellow = {white, black, yellow, yellow, yellow, black, black, white};
    QTest::newRow("black, white and yellow, 9 x 4")
        << QByteArray("epd-bw-yellow") << QSize(9, 4) << forYellow << onYellow;
    QTest::newRow("black, white and yellow, 24 x 11")
        << QByteArray("epd-bw-yellow") << QSize(24, 11) << forYellow << onYellow;
    // The panel's own colours to their codes; pure ones to the nearest the panel shows.
    QVector<QRgb> forAcep = acepColours;
    QVector<QRgb> onAcep = acepColours;
    forAcep << white << black << red << green << blue << yellow;
    onAcep << acepColours[1] << acepColours[0] << acepColours[4] << acepColours[2] << acepColours[3]
           << acepColours[5];
    QTest::newRow("seven colours, 7 x 3") << QByteArray("epd7") << QSize(7, 3) << forAcep << onAcep;
    QTest::newRow("seven colours, 8 x 5") << QByteArray("epd7") << QSize(8, 5) << forAcep << onAcep;
    QTest::newRow("seven colours, 13 x 14") << QByteArray("epd7") << QSize(13, 14) << forAcep << onAcep;
    QTest::newRow("seven colours, 1 x 2") << QByteArray("epd7") << QSize(1, 2) << forAcep << onAcep;
}

void TestEpaper::encodesForEpaperPanels()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QVector<QRgb>, sources);
    QFETCH(QVector<QRgb>, shown);
    const EncodedPicture encoded = encodeFor(format, sourcesPicture(size, sources), false);
    QImage panel;
    readPanel(format, arraysOf(encoded.header), size, &panel);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(panel, sourcesPicture(size, shown));
    QCOMPARE(encoded.shown.convertToFormat(QImage::Format_RGB32), panel); // the preview
}

void TestEpaper::dithersToThePanelsColours_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QRgb>("colour");
    // Colours between the panel's: grey between black and white, pink between red and white,
    // ochre between the ACeP panel's yellow, orange and grey.
    QTest::newRow("grey on black, white and red") << QByteArray("epd-bw-red") << qRgb(128, 128, 128);
    QTest::newRow("pink on black, white and red") << QByteArray("epd-bw-red") << qRgb(255, 128, 128);
    QTest::newRow("light yellow on black, white and yellow")
        << QByteArray("epd-bw-yellow") << qRgb(255, 255, 128);
    QTest::newRow("grey on seven colours") << QByteArray("epd7") << qRgb(150, 140, 150);
    QTest::newRow("ochre on seven colours") << QByteArray("epd7") << qRgb(190, 150, 80);
}

void TestEpaper::dithersToThePanelsColours()
{
    QFETCH(QByteArray, format);
    QFETCH(QRgb, colour);
    const QSize size(40, 30);
    QImage flat(size, QImage::Format_RGB32);
    flat.fill(colour);
    // Cut, one colour throughout; dithered, the panel's colours average to it.
    QImage panel;
    readPanel(format, arraysOf(encodeFor(format, flat, false).header), size, &panel);
    QImage uniform(size, QImage::Format_RGB32);
    uniform.fill(panel.pixel(0, 0));
    QCOMPARE(panel, uniform);
    const EncodedPicture dithered = encodeFor(format, flat, true);
    readPanel(format, arraysOf(dithered.header), size, &panel);
    double sums[3] = {0, 0, 0};
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            sums[0] += qRed(panel.pixel(x, y));
            sums[1] += qGreen(panel.pixel(x, y));
            sums[2] += qBlue(panel.pixel(x, y));
        }
    }
    const int pixels = size.width() * size.height();
    const QString measured
        = QString("%1 %2 %3").arg(sums[0] / pixels).arg(sums[1] / pixels).arg(sums[2] / pixels);
    QVERIFY2(qAbs(sums[0] / pixels - qRed(colour)) < 8 && qAbs(sums[1] / pixels - qGreen(colour)) < 8
                 && qAbs(sums[2] / pixels - qBlue(colour)) < 8,
             qPrintable(measured));
    QCOMPARE(dithered.shown.convertToFormat(QImage::Format_RGB32), panel);
}

namespace {

// Stand-ins of the calls that the e-paper headers' comments give, their declarations copied
// from GxEPD2 (GxEPD2_3C.h, GxEPD2_7C.h) and from Waveshare's e-Paper library, each drawing
// on a screen of SCREEN_W x SCREEN_H letters what the panel shows: W white, K black, C the
// colour plane's ink; the ACeP codes and the grey levels as digits. In each plane a bit 0 puts
// that ink (GxEPD2's drivers with invert false; Waveshare's, whose set-up reads the red memory
// inverted); Waveshare's four greys are 3 white, 2 and 1 the light and dark greys, 0 black.
const char epaperStandIn[] = R"(#include <stdint.h>
#include <stdio.h>
typedef uint8_t UBYTE;
typedef uint16_t UWORD;
static char screen[SCREEN_H][SCREEN_W];
static int pgmUsed = -1;
static void put(int x, int y, char c)
{
    if (x >= 0 && y >= 0 && x < SCREEN_W && y < SCREEN_H)
        screen[y][x] = c;
}
struct GxEPD2_StandIn
{
    void drawImage(const uint8_t *black, const uint8_t *color, int16_t x, int16_t y, int16_t w, int16_t h,
                   bool invert, bool mirror_y, bool pgm)
    {
        const int wb = (w + 7) / 8;
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j) {
                const int at = (mirror_y ? h - 1 - i : i) * wb + j / 8, mask = 0x80 >> (j % 8);
                const int b = (invert ? ~black[at] : black[at]) & mask, c = (invert ? ~color[at] : color[at]) & mask;
                put(x + j, y + i, !b ? 'K' : !c ? 'C' : 'W');
            }
        pgmUsed = pgm;
    }
    void drawNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                    bool invert, bool mirror_y, bool pgm)
    {
        (void)data2;
        const int wb = (w + 1) / 2;
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j) {
                const uint8_t d = data1[(mirror_y ? h - 1 - i : i) * wb + j / 2] ^ (invert ? 0xff : 0);
                put(x + j, y + i, char('0' + (j % 2 ? d & 0xf : d >> 4)));
            }
        pgmUsed = pgm;
    }
};
GxEPD2_StandIn display;
void EPD_2IN13B_V4_Display(const UBYTE *blackImage, const UBYTE *redImage)
{
    const int wb = (SCREEN_W + 7) / 8;
    for (int i = 0; i < SCREEN_H; ++i)
        for (int j = 0; j < SCREEN_W; ++j) {
            const int mask = 0x80 >> (j % 8);
            put(j, i, !(blackImage[i * wb + j / 8] & mask) ? 'K' : !(redImage[i * wb + j / 8] & mask) ? 'C' : 'W');
        }
}
void EPD_2IN13BC_Display(const UBYTE *blackimage, const UBYTE *ryimage)
{
    EPD_2IN13B_V4_Display(blackimage, ryimage);
}
void EPD_4IN2_4GrayDisplay(const UBYTE *Image)
{
    for (int i = 0; i < SCREEN_H; ++i)
        for (int j = 0; j < SCREEN_W; ++j)
            put(j, i, char('0' + (Image[i * (SCREEN_W / 4) + j / 4] >> (6 - 2 * (j % 4)) & 3)));
}
void EPD_5IN65F_Display_part(const UBYTE *image, UWORD xstart, UWORD ystart, UWORD image_width, UWORD image_heigh)
{
    for (int i = ystart; i < ystart + image_heigh; ++i)
        for (int j = xstart / 2; j < (image_width + xstart) / 2; ++j) {
            const UBYTE d = image[(j - xstart / 2) + (image_width / 2 * (i - ystart))];
            put(2 * j, i, char('0' + (d >> 4)));
            put(2 * j + 1, i, char('0' + (d & 0xf)));
        }
}
void EPD_7IN3F_Display(UBYTE *Image)
{
    EPD_5IN65F_Display_part(Image, 0, 0, SCREEN_W, SCREEN_H);
}
)";

} // namespace

void TestEpaper::drawsAsTheCommentSays_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("library"); // how the comment line begins
    QTest::newRow("GxEPD2, black, white and red")
        << QStringList {"--format", "epd-bw-red"} << QSize(13, 5) << "GxEPD2";
    QTest::newRow("GxEPD2, black, white and yellow, in program memory")
        << QStringList {"--format", "epd-bw-yellow", "--progmem"} << QSize(16, 3) << "GxEPD2";
    QTest::newRow("Waveshare, black, white and red")
        << QStringList {"--format", "epd-bw-red"} << QSize(17, 4) << "Waveshare";
    QTest::newRow("Waveshare, black, white and yellow")
        << QStringList {"--format", "epd-bw-yellow"} << QSize(8, 2) << "Waveshare";
    QTest::newRow("GxEPD2, seven colours") << QStringList {"--format", "epd7"} << QSize(9, 4) << "GxEPD2";
    QTest::newRow("Waveshare 5.65 inches, seven colours")
        << QStringList {"--format", "epd7"} << QSize(10, 3) << "Waveshare 5,65";
    QTest::newRow("Waveshare 7.3 inches, seven colours")
        << QStringList {"--format", "epd7"} << QSize(8, 6) << "Waveshare 7,3";
    QTest::newRow("Waveshare, four greys")
        << QStringList {"--format", "gray2"} << QSize(12, 5) << "Waveshare";
}

void TestEpaper::drawsAsTheCommentSays()
{
    QFETCH(QStringList, options);
    QFETCH(QSize, size);
    QFETCH(QString, library);
    const QString cxx = QStandardPaths::findExecutable("c++");
    if (cxx.isEmpty())
        QSKIP("no C++ compiler");
    const QVector<QRgb> sources
        = {white, black, red, green, blue, yellow, qRgb(100, 100, 100), qRgb(200, 120, 60)};
    savePicture(sourcesPicture(size, sources), path("pic.png"), "PNG");
    const Run run = quillonConvert(QStringList {"-n", "pic", "--preview", "-o", path("command")} + options
                                   + QStringList {path("pic.png")});
    QCOMPARE(run.exitCode, 0);
    // The comment's line, pasted as it stands, x and y at 0.
    const QString text = QString::fromUtf8(readFile(path("command/pic.h")));
    const QString line
        = QRegularExpression("\n// " + QRegularExpression::escape(library) + "[^:\n]*: ([^;\n]*;)")
              .match(text)
              .captured(1);
    QVERIFY2(!line.isEmpty(), qPrintable(text));
    // Waveshare's C library reads its images from ordinary memory only.
    QCOMPARE(text.contains("EPD_"), !options.contains("--progmem"));
    writeFile(path("command/standin.h"), epaperStandIn);
    QVERIFY(QDir().mkpath(path("command/avr")));
    writeFile(path("command/avr/pgmspace.h"), "#define PROGMEM\n");
    writeFile(
        path("command/main.cpp"),
        "#include \"standin.h\"\n#include \"pic.h\"\nint main()\n{\n    const int16_t x = 0, y = 0;\n"
        "    (void)x;\n    (void)y;\n    "
            + line.toUtf8()
            + "\n    for (int i = 0; i < SCREEN_H; ++i)\n        printf(\"%.*s\\n\", SCREEN_W, screen[i]);\n"
              "    printf(\"pgm %d\\n\", pgmUsed);\n    return 0;\n}\n");
    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(cxx,
                   {"-std=c++11", "-Wall", "-Wextra", "-Werror",
                    "-DSCREEN_W=" + QString::number(size.width()),
                    "-DSCREEN_H=" + QString::number(size.height()), "-I", path("command"), "-o",
                    path("command/main"), path("command/main.cpp")});
    QVERIFY(compiler.waitForFinished(60000));
    QVERIFY2(compiler.exitCode() == 0, compiler.readAll().constData());
    QProcess program;
    program.start(path("command/main"), QStringList());
    QVERIFY(program.waitForFinished(60000));

    // What the preview shows, in the stand-in's letters: only the panel's colours.
    const QImage preview = QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(readFile(path("command/pic16bits.BMP")), expectedBmp(preview));
    const QRgb ink = options[1] == "epd-bw-red" ? red : yellow;
    QByteArray expected;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb colour = preview.pixel(x, y);
            if (options[1] == "epd7")
                expected += acepColours.contains(colour) ? char('0' + acepColours.indexOf(colour)) : '?';
            else if (options[1] == "gray2")
                expected += qGray(colour) % 85 || colour != qRgb(qRed(colour), qRed(colour), qRed(colour))
                    ? '?'
                    : char('0' + qRed(colour) / 85);
            else
                expected += colour == white ? 'W' : colour == black ? 'K' : colour == ink ? 'C' : '?';
        }
        expected += '\n';
    }
    const bool gxepd2 = library == "GxEPD2";
    expected += QByteArray("pgm ") + (!gxepd2 ? "-1" : options.contains("--progmem") ? "1" : "0") + "\n";
    QCOMPARE(program.readAllStandardOutput(), expected);
}

QTEST_GUILESS_MAIN(TestEpaper)
#include "tst_epaper.moc"
