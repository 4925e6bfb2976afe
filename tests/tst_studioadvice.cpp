#include "argument_list.h"
#include "command_text.h"
#include "flash_fit.h"
#include "header_generator.h"
#include "options.h"
#include "panel_presets.h"
#include "picture_steps.h"
#include "picturesupport.h"
#include "result_warnings.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QTranslator>

using namespace TestSupport;

// Quillon Studio's advice: presets that set what they say, boards' flash, warnings with the options
// that mend them, the command and CMake lines, the drawing lines of headers. Pictures go through the
// pipeline as the studio sends them: an argument list parsed by quillon-convert's parser, then
// decodeAndEncode.
class TestStudioAdvice : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void presetsSetWhatTheySay_data();
    void presetsSetWhatTheySay();
    void presetReplacesTheLastOne_data();
    void presetReplacesTheLastOne();
    void fitsEachBoardUpToItsLimit_data();
    void fitsEachBoardUpToItsLimit();
    void warnsWhereUsersGetHurt_data();
    void warnsWhereUsersGetHurt();
    void mendingsClearTheirWarning_data();
    void mendingsClearTheirWarning();
    void tellsWarningsInEnglish();
    void commandLineGivesTheWordsToTheShell_data();
    void commandLineGivesTheWordsToTheShell();
    void commandLineWritesTheStudiosHeader();
    void cmakeLinesTakeEachOptionWhereTheFunctionWantsIt_data();
    void cmakeLinesTakeEachOptionWhereTheFunctionWantsIt();
    void cmakeLinesBuild();
    void highlightsTheLibrarysDrawingLine_data();
    void highlightsTheLibrarysDrawingLine();
};

namespace {

// A picture converted as the studio converts it: its setting parsed by quillon-convert's parser, its
// job given what the view shows.
struct Conversion
{
    Options options;
    PictureJob job;
    EncodedPicture encoded;
    QString problem; // the parser's, or the pipeline's
};

Conversion convertedAs(const QStringList &arguments, const QString &picturePath)
{
    Conversion conversion;
    conversion.options
        = parseOptions(QStringList {"quillon-convert"} + arguments + QStringList {picturePath});
    if (conversion.options.action != Options::Convert) {
        conversion.problem = conversion.options.error;
        return conversion;
    }
    conversion.job = conversion.options.job;
    conversion.job.picturePath = picturePath;
    conversion.job.encoding.header.arrayName = conversion.options.arrayNames.value(0);
    conversion.job.encoding.shown = EncodingOptions::ShownInFullColour;
    if (const auto failed = decodeAndEncode(conversion.job, {}, &conversion.encoded))
        conversion.problem = failed->message;
    return conversion;
}

// A picture of `count` colours apart once cut to 5-6-5, red and green stepping apart, blue apart
// from both; W != H.
QImage coloursPicture(int count)
{
    QVector<QRgb> colours;
    for (int i = 0; i < count; ++i)
        colours << qRgb((i % 32) * 8, (i / 32 % 64) * 4, 40);
    return sourcesPicture(QSize(count, 3), colours);
}

QImage flatPicture(QSize size, QRgb colour)
{
    QImage picture(size, QImage::Format_ARGB32);
    picture.fill(colour);
    return picture;
}

// A black icon on transparency: a dark square in the middle, transparent around it.
QImage darkIcon()
{
    QImage icon = flatPicture(QSize(24, 16), qRgba(0, 0, 0, 0));
    for (int y = 4; y < 12; ++y)
        for (int x = 6; x < 18; ++x)
            icon.setPixel(x, y, qRgba(10, 20, 30, 255));
    return icon;
}

// Black and white halves, or black and `light`: no pixel nearer red or yellow than white.
QImage blackAndWhite(QRgb light = qRgb(255, 255, 255))
{
    QImage picture = flatPicture(QSize(20, 9), light);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            picture.setPixel(x, y, qRgba(0, 0, 0, 255));
    return picture;
}

QStringList kindsAndArguments(const QVector<ResultWarning> &warnings)
{
    QStringList described;
    for (const ResultWarning &warning : warnings)
        described << QString::number(warning.kind) + QLatin1Char(':')
                + warning.arguments.join(QLatin1Char(' '));
    return described;
}

// A POSIX shell's words of `line`, as sh itself splits them.
QStringList shellWords(const QString &line)
{
    const Run run
        = runProgram({"sh", "-c", "printf '%s\\n' " + line.mid(line.indexOf(QLatin1Char(' ')) + 1)});
    QStringList words = run.out.split(QLatin1Char('\n'));
    words.removeLast(); // after the last newline
    return words;
}

} // namespace

void TestStudioAdvice::init()
{
    QVERIFY(renewFolder());
}

// Each preset's arguments parse, give the format it says, and a picture of another shape comes out
// the panel's size; its library's line is in the header, or the preset gives its own.
void TestStudioAdvice::presetsSetWhatTheySay_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("panel");
    QTest::addColumn<QString>("library");
    QTest::addColumn<bool>("round");
    QTest::addColumn<qint64>("bytes"); // the arrays'
    QTest::addColumn<QString>("fitting"); // a letter a board, in boards()' order: y fits, n does not
    // As the README's display tables give each display: SSD1306 mono with Adafruit GFX, SH1106 xbm with
    // u8g2, TFT_eSPI's rgb565, e-paper black and white mono for GxEPD2, black and red epd-bw-red, seven
    // colours epd7, LVGL's descriptor (in an AVR's RAM). Over 32,767 bytes, an array is laid far on a Mega.
    const QVector<std::tuple<const char *, const char *, QSize, const char *, bool, qint64, const char *>>
        rows = {
            {"ssd1306-128x64", "mono", {128, 64}, "Adafruit GFX", false, 1024, "yyyyy"},
            {"ssd1306-128x32", "mono", {128, 32}, "Adafruit GFX", false, 512, "yyyyy"},
            {"sh1106-128x64", "xbm", {128, 64}, "u8g2", false, 1024, "yyyyy"},
            {"st7735-160x128", "rgb565", {160, 128}, "TFT_eSPI", false, 40960, "nyyyy"},
            {"st7789-240x240", "rgb565", {240, 240}, "TFT_eSPI", false, 115200, "nyyyn"},
            {"st7789-320x240", "rgb565", {320, 240}, "TFT_eSPI", false, 153600, "nyyyn"},
            {"ili9341-320x240", "rgb565", {320, 240}, "TFT_eSPI", false, 153600, "nyyyn"},
            {"gc9a01-240x240", "rgb565", {240, 240}, "TFT_eSPI", true, 115200, "nyyyn"},
            {"epaper-2.13-bw", "mono", {250, 122}, "GxEPD2", false, 32 * 122, "yyyyy"},
            {"epaper-2.13-bwr", "epd-bw-red", {250, 122}, "GxEPD2", false, 2 * 32 * 122, "yyyyy"},
            {"epaper-2.9-bw", "mono", {296, 128}, "GxEPD2", false, 37 * 128, "yyyyy"},
            {"epaper-2.9-bwr", "epd-bw-red", {296, 128}, "GxEPD2", false, 2 * 37 * 128, "yyyyy"},
            {"epaper-4.2-bw", "mono", {400, 300}, "GxEPD2", false, 50 * 300, "yyyyy"},
            {"epaper-4.2-bwr", "epd-bw-red", {400, 300}, "GxEPD2", false, 2 * 50 * 300, "yyyyy"},
            {"epaper-5.65-7c", "epd7", {600, 448}, "GxEPD2", false, 300 * 448, "nyyyn"},
            {"epaper-7.3-7c", "epd7", {800, 480}, "GxEPD2", false, 400 * 480, "nyyyn"},
            {"lvgl-320x240", "lvgl", {320, 240}, "LVGL", false, 153600, "nnyyn"},
        };
    QCOMPARE(panelPresets().size(), rows.size());
    for (const auto &[id, format, size, library, round, bytes, fitting] : rows)
        QTest::newRow(id) << QString(id) << QByteArray(format) << size << QString(library) << round << bytes
                          << QString(fitting);
}

void TestStudioAdvice::presetsSetWhatTheySay()
{
    QFETCH(QString, id);
    QFETCH(QByteArray, format);
    QFETCH(QSize, panel);
    QFETCH(QString, library);
    QFETCH(bool, round);
    QFETCH(qint64, bytes);
    QFETCH(QString, fitting);
    const PanelPreset *preset = findPanelPreset(id);
    QVERIFY(preset);
    QCOMPARE(preset->size, panel);
    QCOMPARE(preset->library, library);
    QCOMPARE(preset->round, round);
    QVERIFY(!preset->name.isEmpty());
    QVERIFY(preset->help.contains(QStringLiteral("%1 x %2").arg(panel.width()).arg(panel.height())));
    // A picture wider than tall, smaller than every panel, odd in both sides, of the colour the
    // panel's background is not.
    const QRgb background = preset->defaults.contains("white") ? white : black;
    savePicture(flatPicture({31, 19}, background == white ? black : white), path("pic.png"), "PNG");
    const Conversion converted = convertedAs(withPreset({"--dither"}, *preset), path("pic.png"));
    QVERIFY2(converted.problem.isEmpty(), qPrintable(converted.problem));
    QVERIFY(converted.job.format);
    QCOMPARE(QByteArray(converted.job.format->name), format);
    QCOMPARE(shownSize(converted.encoded), panel);
    QCOMPARE(converted.encoded.shown.size(), panel);
    // It fills the panel from edge to edge across one of its sides, centred, proportions kept.
    const QImage shown = converted.encoded.shown.convertToFormat(QImage::Format_RGB32);
    const int w = panel.width(), h = panel.height();
    const auto ink = [&](int x, int y) { return shown.pixel(x, y) != background; };
    QVERIFY((ink(w / 2, 0) && ink(w / 2, h - 1)) != (ink(0, h / 2) && ink(w - 1, h / 2)));
    QVERIFY(ink(w / 2, h / 2));
    QCOMPARE(flashUse(converted.encoded.header).totalBytes, bytes);
    QString fits;
    for (const FlashFit &fit : flashFits(converted.encoded.header))
        fits += fit.fits ? 'y' : 'n';
    QCOMPARE(fits, fitting);
    const QVector<QPair<int, int>> lines
        = drawingLineRanges(headerText(converted.encoded.header).toUtf8(), preset->library);
    // Where the header has no line for the library, the preset has its own.
    QCOMPARE(lines.isEmpty(), !preset->drawing.isEmpty());
    if (!preset->drawing.isEmpty())
        QVERIFY(preset->drawing.contains(QLatin1String("NAME_width")));
}

// Choosing a preset removes the options the last one set and those the new format does not read,
// and keeps the user's others; a given --background stays over e-paper's white.
void TestStudioAdvice::presetReplacesTheLastOne_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QStringList>("after");
    const QStringList oled = findPanelPreset("ssd1306-128x64")->arguments;
    const QStringList sh1106 = findPanelPreset("sh1106-128x64")->arguments;
    const QStringList ili9341 = findPanelPreset("ili9341-320x240")->arguments;
    const QStringList paper = findPanelPreset("epaper-2.9-bw")->arguments;
    QTest::newRow("mono to xbm keeps --invert and --threshold")
        << oled + QStringList {"--invert", "--threshold", "100", "-n", "logo"} << "sh1106-128x64"
        << QStringList {"--invert", "--threshold", "100", "-n", "logo"} + sh1106;
    QTest::newRow("mono to rgb565 drops --invert, keeps --dither")
        << QStringList {"--dither"} + oled + QStringList {"--invert", "--threshold=90"} << "ili9341-320x240"
        << QStringList {"--dither"} + ili9341;
    QTest::newRow("the panel's wiring and size reset")
        << QStringList {"--swap-bytes", "--color-order", "bgr",   "--fit=10x10",    "--fit-mode",
                        "cover",        "--canvas",      "12x12", "--format=rgb565"}
        << "ili9341-320x240" << ili9341;
    QTest::newRow("e-paper's white added")
        << oled << "epaper-2.9-bw" << paper + QStringList {"--background", "white"};
    QTest::newRow("the user's background kept") << QStringList {"--background", "#102030"} << "epaper-2.9-bw"
                                                << QStringList {"--background", "#102030"} + paper;
    QTest::newRow("LVGL's options dropped going to e-paper")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "I4", "--stride-align", "4"} << "epaper-4.2-bwr"
        << findPanelPreset("epaper-4.2-bwr")->arguments + QStringList {"--background", "white"};
}

void TestStudioAdvice::presetReplacesTheLastOne()
{
    QFETCH(QStringList, before);
    QFETCH(QString, preset);
    QFETCH(QStringList, after);
    const QStringList chosen = withPreset(before, *findPanelPreset(preset));
    QCOMPARE(chosen, after);
    const Options parsed = parseOptions(QStringList {"quillon-convert"} + chosen + QStringList {"pic.png"});
    QVERIFY2(parsed.action == Options::Convert, qPrintable(parsed.error));
}

// Each board at its limit and one byte over: its flash for the program, on AVR the 32,767 bytes of
// an object not laid far and the RAM that arrays outside program memory are copied into.
void TestStudioAdvice::fitsEachBoardUpToItsLimit_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("largest");
    QTest::addColumn<bool>("programMemory");
    QTest::addColumn<QString>("fitting"); // a letter a board, in boards()' order: y fits, n does not
    QTest::newRow("nothing") << qint64(0) << qint64(0) << true << "yyyyy";
    QTest::newRow("Uno's 32,256") << qint64(32256) << qint64(0) << true << "yyyyy";
    QTest::newRow("Uno's 32,256 and 1") << qint64(32257) << qint64(0) << true << "nyyyy";
    QTest::newRow("an object of 32,767") << qint64(32767) << qint64(32767) << true << "nyyyy";
    QTest::newRow("an object of 32,768") << qint64(32768) << qint64(32768) << true << "nnyyy";
    QTest::newRow("STM32F103C8's 65,536") << qint64(65536) << qint64(0) << true << "nyyyy";
    QTest::newRow("STM32F103C8's 65,536 and 1") << qint64(65537) << qint64(0) << true << "nyyyn";
    QTest::newRow("Mega's 253,952") << qint64(253952) << qint64(0) << true << "nyyyn";
    QTest::newRow("Mega's 253,952 and 1") << qint64(253953) << qint64(0) << true << "nnyyn";
    QTest::newRow("ESP32's 1,310,720") << qint64(1310720) << qint64(1310720) << true << "nnyyn";
    QTest::newRow("ESP32's 1,310,720 and 1") << qint64(1310721) << qint64(1310721) << true << "nnnyn";
    QTest::newRow("Pico's 2,097,152") << qint64(2097152) << qint64(0) << true << "nnnyn";
    QTest::newRow("Pico's 2,097,152 and 1") << qint64(2097153) << qint64(0) << true << "nnnnn";
    QTest::newRow("Uno's RAM, 2,048") << qint64(2048) << qint64(2048) << false << "yyyyy";
    QTest::newRow("Uno's RAM, 2,048 and 1") << qint64(2049) << qint64(2049) << false << "nyyyy";
    QTest::newRow("Mega's RAM, 8,192") << qint64(8192) << qint64(8192) << false << "nyyyy";
    QTest::newRow("Mega's RAM, 8,192 and 1") << qint64(8193) << qint64(8193) << false << "nnyyy";
}

void TestStudioAdvice::fitsEachBoardUpToItsLimit()
{
    QFETCH(qint64, total);
    QFETCH(qint64, largest);
    QFETCH(bool, programMemory);
    QFETCH(QString, fitting);
    QCOMPARE(boards().size(), 5);
    QCOMPARE(boards()[0].name, QString("Arduino Uno (ATmega328P)"));
    QCOMPARE(boards()[4].name, QString("STM32F103C8 (Blue Pill)"));
    QString found;
    for (const FlashFit &fit : flashFits(FlashUse {total, largest, programMemory})) {
        found += fit.fits ? 'y' : 'n';
        QCOMPARE(fit.reason.isEmpty(), fit.fits);
    }
    QCOMPARE(found, fitting);
}

// Each warning on both sides of its limit, with the options that mend it.
void TestStudioAdvice::warnsWhereUsersGetHurt_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QSize>("panel");
    QTest::addColumn<QStringList>("warnings"); // kind:mending arguments
    using W = ResultWarning;
    const auto warning = [](W::Kind kind, const QString &mending) {
        return QString::number(kind) + QLatin1Char(':') + mending;
    };
    const QImage pattern = patternPicture(13, 7);
    QTest::newRow("a pattern in mono")
        << pattern << QStringList {"--format", "mono"} << QSize() << QStringList();
    QTest::newRow("dark icon on transparency")
        << darkIcon() << QStringList {"--format", "mono"} << QSize()
        << QStringList {warning(W::UniformBits, "--background white --invert")};
    QTest::newRow("dark icon on white, inverted")
        << darkIcon() << QStringList {"--format", "xbm", "--background", "white", "--invert"} << QSize()
        << QStringList();
    QTest::newRow("all dark") << flatPicture({9, 4}, qRgb(60, 70, 80)) << QStringList {"--format", "pages"}
                              << QSize() << QStringList {warning(W::UniformBits, "--threshold 64")};
    QTest::newRow("all dark, threshold 69")
        << flatPicture({9, 4}, qRgb(60, 70, 80)) << QStringList {"--format", "mono", "--threshold", "69"}
        << QSize() << QStringList {warning(W::UniformBits, "--threshold 34")};
    QTest::newRow("just lit at threshold 68")
        << flatPicture({9, 4}, qRgb(60, 70, 80)) << QStringList {"--format", "mono", "--threshold", "68"}
        << QSize() << QStringList {warning(W::UniformBits, "--threshold 162")};
    QTest::newRow("all light") << flatPicture({9, 4}, qRgb(200, 210, 220)) << QStringList {"--format", "mono"}
                               << QSize() << QStringList {warning(W::UniformBits, "--threshold 192")};
    QTest::newRow("all white at threshold 255")
        << flatPicture({9, 4}, qRgb(255, 255, 255)) << QStringList {"--format", "mono", "--threshold", "255"}
        << QSize() << QStringList {warning(W::UniformBits, "")};
    QTest::newRow("flat tone") << pattern << QStringList {"--format", "mono", "--contrast", "-100"} << QSize()
                               << QStringList {warning(W::UniformBits, "--brightness 0 --contrast 0")};
    QTest::newRow("no red ink") << blackAndWhite() << QStringList {"--format", "epd-bw-red"} << QSize()
                                << QStringList {warning(W::NoInk, "--dither")};
    QTest::newRow("panel's size") << patternPicture(128, 64) << QStringList {"--format", "mono", "--dither"}
                                  << QSize(128, 64) << QStringList();
    QTest::newRow("one column over") << patternPicture(129, 64)
                                     << QStringList {"--format", "mono", "--dither"} << QSize(128, 64)
                                     << QStringList {warning(W::LargerThanPanel, "--fit 128x64")};
    QTest::newRow("one row over") << patternPicture(128, 65) << QStringList {"--format", "mono", "--dither"}
                                  << QSize(128, 64)
                                  << QStringList {warning(W::LargerThanPanel, "--fit 128x64")};
    QTest::newRow("a canvas over") << patternPicture(30, 20) << QStringList {"--format", "rgb565",   "--fit",
                                                                             "30x20",    "--canvas", "129x64"}
                                   << QSize(128, 64)
                                   << QStringList {
                                          warning(W::LargerThanPanel, "--fit 128x64 --canvas 128x64")};
    QTest::newRow("32,767 bytes") << patternPicture(217, 151) << QStringList {"--format", "gray8"} << QSize()
                                  << QStringList();
    QTest::newRow("32,768 bytes") << patternPicture(256, 128) << QStringList {"--format", "gray8"} << QSize()
                                  << QStringList {warning(W::OverAvrObject, "--compress rle")};
    QTest::newRow("32,768 bytes coded")
        << patternPicture(256, 128) << QStringList {"--format", "rgb332", "--compress", "rle"} << QSize()
        << QStringList {warning(W::OverAvrObject, "--fit 250x125")};
    QTest::newRow("32,768 bytes of LVGL, not on AVR")
        << patternPicture(256, 64) << QStringList {"--format", "lvgl"} << QSize() << QStringList();
    QTest::newRow("BMP file of 32,766 bytes")
        << patternPicture(16356, 1) << QStringList() << QSize() << QStringList();
    QTest::newRow("BMP file of 32,770 bytes") << patternPicture(16358, 1) << QStringList() << QSize()
                                              << QStringList {warning(W::OverAvrObject, "--fit 16030x1")};
    // An odd width: 5 rows of 2 x 3,271 bytes, each padded to 6,544, after 54 bytes.
    QTest::newRow("BMP file of 32,774 bytes, its rows padded")
        << patternPicture(3271, 5) << QStringList() << QSize()
        << QStringList {warning(W::OverAvrObject, "--fit 3205x4")};
    QTest::newRow("index4 of 16 colours")
        << coloursPicture(16) << QStringList {"--format", "index4"} << QSize() << QStringList();
    QTest::newRow("index4 of 17 colours")
        << coloursPicture(17) << QStringList {"--format", "index4"} << QSize()
        << QStringList {warning(W::ColoursLost, "--format index8")};
    QTest::newRow("index4 of 17 colours, dithered")
        << coloursPicture(17) << QStringList {"--format", "index4", "--dither"} << QSize()
        << QStringList {warning(W::ColoursLost, "--format index8")};
    QTest::newRow("index4 of 256 colours")
        << coloursPicture(256) << QStringList {"--format", "index4"} << QSize()
        << QStringList {warning(W::ColoursLost, "--format index8")};
    QTest::newRow("index4 of 257 colours") << coloursPicture(257) << QStringList {"--format", "index4"}
                                           << QSize() << QStringList {warning(W::ColoursLost, "--dither")};
    QTest::newRow("index8 of 256 colours")
        << coloursPicture(256) << QStringList {"--format", "index8"} << QSize() << QStringList();
    QTest::newRow("index8 of 257 colours") << coloursPicture(257) << QStringList {"--format", "index8"}
                                           << QSize() << QStringList {warning(W::ColoursLost, "--dither")};
    QTest::newRow("index8 of 257 colours, dithered")
        << coloursPicture(257) << QStringList {"--format", "index8", "--dither"} << QSize() << QStringList();
}

void TestStudioAdvice::warnsWhereUsersGetHurt()
{
    QFETCH(QImage, picture);
    QFETCH(QStringList, arguments);
    QFETCH(QSize, panel);
    QFETCH(QStringList, warnings);
    savePicture(picture, path("pic.png"), "PNG");
    const Conversion converted = convertedAs(arguments, path("pic.png"));
    QVERIFY2(converted.problem.isEmpty(), qPrintable(converted.problem));
    // Arrays outside AVR program memory (LVGL's) are weighed against an AVR's RAM.
    if (converted.job.format)
        QCOMPARE(flashUse(converted.encoded.header).programMemory, arguments.value(1) != "lvgl");
    const QVector<ResultWarning> found = resultWarnings(arguments, converted.job, converted.encoded, panel);
    QCOMPARE(kindsAndArguments(found), warnings);
    for (const ResultWarning &warning : found) {
        QVERIFY(!warning.text.isEmpty());
        QVERIFY(!warning.mending.isEmpty());
        // The mending names the options its button applies.
        QVERIFY2(warning.mending.contains(warning.arguments.join(QLatin1Char(' '))),
                 qPrintable(warning.mending));
    }
}

// The options of a mending, applied over the setting, clear its warning (or move it on, for a
// threshold that needs another step).
void TestStudioAdvice::mendingsClearTheirWarning_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QSize>("panel");
    QTest::newRow("dark icon") << darkIcon() << QStringList {"--format", "mono", "--threshold", "100"}
                               << QSize();
    QTest::newRow("larger than the panel")
        << patternPicture(40, 9) << QStringList {"--format", "xbm"} << QSize(32, 32);
    QTest::newRow("a large array") << flatPicture({256, 130}, qRgb(90, 140, 30))
                                   << QStringList {"--format", "gray8"} << QSize();
    QTest::newRow("a large BMP file") << patternPicture(130, 128) << QStringList {"-n", "logo"} << QSize();
    QTest::newRow("17 colours") << coloursPicture(17) << QStringList {"--format", "index4"} << QSize();
    QTest::newRow("no ink") << blackAndWhite(qRgb(235, 235, 170)) << QStringList {"--format", "epd-bw-yellow"}
                            << QSize();
}

void TestStudioAdvice::mendingsClearTheirWarning()
{
    QFETCH(QImage, picture);
    QFETCH(QStringList, arguments);
    QFETCH(QSize, panel);
    savePicture(picture, path("pic.png"), "PNG");
    const Conversion before = convertedAs(arguments, path("pic.png"));
    QVERIFY2(before.problem.isEmpty(), qPrintable(before.problem));
    const QVector<ResultWarning> warned = resultWarnings(arguments, before.job, before.encoded, panel);
    QCOMPARE(warned.size(), 1);
    const QStringList mended = withOptions(arguments, warned.first().arguments);
    const Conversion after = convertedAs(mended, path("pic.png"));
    QVERIFY2(after.problem.isEmpty(), qPrintable(after.problem));
    QCOMPARE(kindsAndArguments(resultWarnings(mended, after.job, after.encoded, panel)), QStringList());
}

// The texts in English through advice_en.ts, compiled.
void TestStudioAdvice::tellsWarningsInEnglish()
{
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(QUILLON_ADVICE_TRANSLATION)));
    QCoreApplication::installTranslator(&english);
    savePicture(darkIcon(), path("icon.png"), "PNG");
    const QStringList arguments {"--format", "mono"};
    const Conversion converted = convertedAs(arguments, path("icon.png"));
    const QVector<ResultWarning> warnings
        = resultWarnings(arguments, converted.job, converted.encoded, QSize());
    const FlashUse tooMuch {40000, 0, true};
    const QString uno = flashFits(tooMuch).first().reason;
    QCoreApplication::removeTranslator(&english);
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(warnings.first().text,
             QString("icon: all its pixels are unlit: a dark icon on transparency, laid onto "
                     "black, is everywhere darker than the threshold 128."));
    QCOMPARE(warnings.first().mending, QString("Lay it onto white and invert: --background white --invert."));
    QCOMPARE(uno, QString("40000 bytes, more than the 32256 the board leaves for the program"));
}

// The command line, run by sh, gives quillon-convert the very words of the setting.
void TestStudioAdvice::commandLineGivesTheWordsToTheShell_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("a space and a quote")
        << QStringList {"--background", "#ffffff"} << QStringList {"/tmp/my pics/it's.png"} << "/tmp/my out"
        << "quillon-convert -o '/tmp/my out' --background '#ffffff' "
           "'/tmp/my pics/it'\\''s.png'"
        << QStringList {"-o", "/tmp/my out", "--background", "#ffffff", "/tmp/my pics/it's.png"};
    QTest::newRow("what a shell expands")
        << QStringList {"-n", "a$HOME`b`*"} << QStringList {"\"x\";y.png"} << ""
        << "quillon-convert -n 'a$HOME`b`*' '\"x\";y.png'" << QStringList {"-n", "a$HOME`b`*", "\"x\";y.png"};
    QTest::newRow("a picture that begins with a dash, -o of the setting replaced")
        << QStringList {"-o", "elsewhere", "--invert", "--format", "xbm"} << QStringList {"-icon.png"}
        << "out"
        << "quillon-convert -o out --invert --format xbm -- -icon.png"
        << QStringList {"-o", "out", "--invert", "--format", "xbm", "--", "-icon.png"};
}

void TestStudioAdvice::commandLineGivesTheWordsToTheShell()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, pictures);
    QFETCH(QString, folder);
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    const QString command = convertCommand(arguments, pictures, folder);
    QCOMPARE(command, line);
    QCOMPARE(shellWords(command), words);
}

// Run by sh, the line writes the header the studio shows.
void TestStudioAdvice::commandLineWritesTheStudiosHeader()
{
    QVERIFY(QDir().mkpath(path("my pics")));
    const QString picture = path("my pics/it's.png");
    savePicture(patternPicture(21, 10), picture, "PNG");
    const QStringList arguments {"--format", "rgb565", "--swap-bytes", "--fit", "15x15"};
    const Conversion studio = convertedAs(arguments, picture);
    QVERIFY2(studio.problem.isEmpty(), qPrintable(studio.problem));
    const QString line = convertCommand(arguments, {picture}, path("out put"));
    const Run run = runProgram(
        {"sh", "-c",
         QStringLiteral("PATH=%1:$PATH; %2").arg(shellWord(QFileInfo(QUILLON_CONVERT).path()), line)});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    // The same arrays, with the same drawing line.
    const QString written = QString::fromUtf8(readFile(path("out put/it's.h")));
    const QString shown = headerText(studio.encoded.header);
    const QHash<QString, HeaderArray> arrays = parseArrays(written), expected = parseArrays(shown);
    QCOMPARE(arrays.keys(), expected.keys());
    for (const QString &name : expected.keys()) {
        QCOMPARE(arrays[name].type, expected[name].type);
        QCOMPARE(arrays[name].values, expected[name].values);
    }
    const auto lines = drawingLineRanges(written.toUtf8(), "TFT_eSPI");
    QCOMPARE(lines.size(), 1);
    QVERIFY(shown.contains(written.mid(lines.first().first, lines.first().second)));
}

void TestStudioAdvice::cmakeLinesTakeEachOptionWhereTheFunctionWantsIt_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QString>("lines");
    QTest::newRow("options") << QStringList {"--format", "mono", "--fit=128x64", "--invert"}
                             << QStringList {"images/logo.png"}
                             << "find_package(Quillon REQUIRED)\n"
                                "quillon_convert_pictures(pictures\n"
                                "    OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures\n"
                                "    PICTURES images/logo.png\n"
                                "    OPTIONS --format mono --fit=128x64 --invert\n"
                                "    HEADERS_VARIABLE pictures_headers)\n";
    QTest::newRow("progmem, split, name; -o and --force left out")
        << QStringList {"-fo", "out", "--progmem", "--split", "-nsplash", "--dither"}
        << QStringList {"/home/me/my pics/\"a\" $b.png"}
        << "find_package(Quillon REQUIRED)\n"
           "quillon_convert_pictures(pictures\n"
           "    OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures\n"
           "    PICTURES \"/home/me/my pics/\\\"a\\\" \\$b.png\"\n"
           "    NAMES splash\n"
           "    PROGMEM\n"
           "    SPLIT\n"
           "    OPTIONS --dither\n"
           "    HEADERS_VARIABLE pictures_headers)\n";
    QTest::newRow("split alone, the last name")
        << QStringList {"--split", "-n", "first", "--name=splash"} << QStringList {"a.png"}
        << "find_package(Quillon REQUIRED)\n"
           "quillon_convert_pictures(pictures\n"
           "    OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures\n"
           "    PICTURES a.png\n"
           "    NAMES splash\n"
           "    SPLIT\n"
           "    HEADERS_VARIABLE pictures_headers)\n";
    QTest::newRow("nothing but pictures") << QStringList() << QStringList {"a.png", "b c.png"}
                                          << "find_package(Quillon REQUIRED)\n"
                                             "quillon_convert_pictures(pictures\n"
                                             "    OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/pictures\n"
                                             "    PICTURES a.png \"b c.png\"\n"
                                             "    HEADERS_VARIABLE pictures_headers)\n";
}

void TestStudioAdvice::cmakeLinesTakeEachOptionWhereTheFunctionWantsIt()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, pictures);
    QFETCH(QString, lines);
    QCOMPARE(cmakeLines(arguments, pictures, "pictures"), lines);
}

// The lines, in a project that finds a stand-in of the installed package, build the header the
// studio shows, named as --name says.
void TestStudioAdvice::cmakeLinesBuild()
{
    const QString cmake = QStandardPaths::findExecutable("cmake");
    if (cmake.isEmpty())
        QSKIP("cmake is needed");
    const QString picture = path("my pics/it's \"a\" $x.png");
    QVERIFY(QDir().mkpath(path("my pics")));
    savePicture(patternPicture(9, 6), picture, "PNG");
    const QStringList arguments {"--format", "xbm", "--invert", "-n", "splash", "--split"};
    QVERIFY(QDir().mkpath(path("package")));
    writeFile(path("package/QuillonConfig.cmake"),
              "set(QUILLON_CONVERT_EXECUTABLE \"" QUILLON_CONVERT "\")\ninclude(\"" QUILLON_CMAKE_FUNCTION
              "\")\n");
    QVERIFY(QDir().mkpath(path("project")));
    writeFile(path("project/CMakeLists.txt"),
              "cmake_minimum_required(VERSION 3.16)\nproject(pictures NONE)\n"
                  + cmakeLines(arguments, {picture}, "icons").toUtf8()
                  + "add_custom_target(everything ALL DEPENDS ${icons_headers})\n");
    const auto run = [&](const QStringList &words) {
        const Run ran = runProgram(QStringList {cmake} + words);
        QVERIFY2(ran.exitCode == 0, qPrintable(ran.out + ran.err));
    };
    run({"-S", path("project"), "-B", path("build"), "-DQuillon_DIR=" + path("package")});
    run({"--build", path("build")});
    const Conversion studio = convertedAs(arguments, picture);
    QVERIFY2(studio.problem.isEmpty(), qPrintable(studio.problem));
    const QByteArray header = readFile(path("build/pictures/it's \"a\" $x.h"));
    QVERIFY(header.contains("extern const uint8_t splash["));
    QCOMPARE(bytesOf(QString::fromUtf8(readFile(path("build/pictures/it's \"a\" $x.c")))),
             arraysOf(studio.encoded.header).value("splash"));
}

// The highlighted text is the code of the line the README's tables give for the library.
void TestStudioAdvice::highlightsTheLibrarysDrawingLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("library");
    QTest::addColumn<QStringList>("lines");
    const QStringList mono {"--format", "mono"};
    QTest::newRow("mono, Adafruit GFX")
        << mono << "Adafruit GFX"
        << QStringList {
               "display.drawBitmap(x, y, splash_screen, splash_screen_width, splash_screen_height, 1);"};
    QTest::newRow("mono, u8g2: none") << mono << "u8g2" << QStringList();
    QTest::newRow("xbm, u8g2 and U8g2lib")
        << QStringList {"--format", "xbm"} << "u8g2"
        << QStringList {
               "u8g2_DrawXBMP(&u8g2, x, y, splash_screen_width, splash_screen_height, splash_screen);",
               "u8g2.drawXBMP(x, y, splash_screen_width, splash_screen_height, splash_screen);"};
    QTest::newRow("xbm, Adafruit GFX")
        << QStringList {"--format", "xbm"} << "Adafruit GFX"
        << QStringList {
               "display.drawXBitmap(x, y, splash_screen, splash_screen_width, splash_screen_height, 1);"};
    QTest::newRow("rgb565, TFT_eSPI")
        << QStringList {"--format", "rgb565"} << "TFT_eSPI"
        << QStringList {"tft.setSwapBytes(true); tft.pushImage(x, y, splash_screen_width, "
                        "splash_screen_height, splash_screen);"};
    QTest::newRow("rgb565 swapped, TFT_eSPI")
        << QStringList {"--format", "rgb565", "--swap-bytes"} << "TFT_eSPI"
        << QStringList {"tft.setSwapBytes(false); tft.pushImage(x, y, splash_screen_width, "
                        "splash_screen_height, splash_screen);"};
    QTest::newRow("epd-bw-red, GxEPD2")
        << QStringList {"--format", "epd-bw-red"} << "GxEPD2"
        << QStringList {
               "display.drawImage(splash_screen_black, splash_screen_red, x, y, splash_screen_width, "
               "splash_screen_height, false, false, true);"};
    QTest::newRow("epd-bw-red, Waveshare")
        << QStringList {"--format", "epd-bw-red"} << "Waveshare"
        << QStringList {
               "EPD_2IN13B_V4_Display(splash_screen_black, splash_screen_red); or the screen's own Display "
               "function.",
               "epd.DisplayFrame(splash_screen_black, splash_screen_red);"};
    QTest::newRow("lvgl, LVGL")
        << QStringList {"--format", "lvgl"} << "LVGL"
        << QStringList {"lv_image_set_src(lv_image_create(lv_screen_active()), &splash_screen);"};
    QTest::newRow("lvgl 8, LVGL") << QStringList {"--format", "lvgl", "--lvgl-version", "8"} << "LVGL"
                                  << QStringList {
                                         "lv_img_set_src(lv_img_create(lv_scr_act()), &splash_screen);"};
    QTest::newRow("bmp: none") << QStringList() << "Adafruit GFX" << QStringList();
}

void TestStudioAdvice::highlightsTheLibrarysDrawingLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, library);
    QFETCH(QStringList, lines);
    savePicture(patternPicture(11, 6), path("splash-screen.png"), "PNG");
    const Conversion converted = convertedAs(arguments, path("splash-screen.png"));
    QVERIFY2(converted.problem.isEmpty(), qPrintable(converted.problem));
    // The window's header of a BMP file's bytes, as it is written.
    const QByteArray header = converted.job.format
        ? headerText(converted.encoded.header).toUtf8()
        : headerFirstLines() + "const unsigned char splash_screen[70] = \n{\n\t0x42,0x4d\n};";
    QStringList found;
    for (const QPair<int, int> &range : drawingLineRanges(header, library)) {
        found << QString::fromUtf8(header).mid(range.first, range.second);
        // The code runs to the end of its line.
        QCOMPARE(QString::fromUtf8(header).mid(range.first + range.second, 1), QString("\n"));
    }
    QCOMPARE(found, lines);
}

QTEST_GUILESS_MAIN(TestStudioAdvice)
#include "tst_studioadvice.moc"
