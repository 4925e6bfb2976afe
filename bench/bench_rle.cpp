// Quillon's run-length coding (rle_coding, read by examples/firmware/quillon_rle.h) against LVGL's
// RLE and LZ4 on the same arrays: UI screens (flat colours, text, a gradient), icons and photos,
// each encoded in every display format by the engine. Then the reader's speed on a simulated
// ATmega2560 (avr-gcc and simavr), in CPU cycles a byte, reading the coded arrays from far flash
// a row at a time.
//
//     bench_rle [FOLDER] [--dump]    (--dump also writes each array to FOLDER/rle-corpus)

#include "benchsupport.h"
#include "display_formats.h"
#include "lvgl_compression.h"
#include "rle_coding.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Picture
{
    const char *name;
    const char *kind; // ui, icon or photo
    QImage image;
    bool dither = false;
};

// A phone-like settings screen: a title bar, rows of rounded buttons, optionally their labels and
// a gradient behind them.
QImage uiScreen(int width, int height, bool text, bool gradient)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (gradient) {
        QLinearGradient sky(0, 0, 0, height);
        sky.setColorAt(0, QColor(20, 40, 110));
        sky.setColorAt(1, QColor(150, 60, 140));
        painter.fillRect(image.rect(), sky);
    } else {
        image.fill(QColor(236, 239, 244));
    }
    painter.fillRect(0, 0, width, 28, QColor(33, 97, 190));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    painter.setFont(font);
    if (text) {
        painter.setPen(Qt::white);
        painter.drawText(QRect(8, 0, width - 16, 28), Qt::AlignVCenter, QStringLiteral("Settings  12:45"));
    }
    const QColor buttons[] = {QColor(255, 255, 255), QColor(221, 75, 57), QColor(67, 160, 71)};
    for (int row = 0; row * 44 + 40 + 36 <= height; ++row) {
        const QRectF button(10, 40 + row * 44, width - 20, 36);
        painter.setPen(QColor(180, 186, 196));
        painter.setBrush(buttons[row % 3]);
        painter.drawRoundedRect(button, 8, 8);
        if (text) {
            painter.setPen(row % 3 ? Qt::white : Qt::black);
            painter.drawText(button.adjusted(12, 0, 0, 0), Qt::AlignVCenter,
                             QStringLiteral("Option %1: Wi-Fi, Bluetooth").arg(row + 1));
        }
    }
    return image;
}

// A round, anti-aliased icon with a check mark, on a transparent background (laid onto black).
QImage icon(int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    QPainterPath check;
    check.moveTo(size * 0.28, size * 0.52);
    check.lineTo(size * 0.44, size * 0.68);
    check.lineTo(size * 0.74, size * 0.34);
    painter.setPen(QPen(Qt::white, size / 10.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(check);
    return image;
}

QVector<Picture> corpus()
{
    return {
        {"screen, flat colours 240x240", "ui", uiScreen(240, 240, false, false)},
        {"screen, text 240x240", "ui", uiScreen(240, 240, true, false)},
        {"screen, gradient and text 320x240", "ui", uiScreen(320, 240, true, true)},
        {"screen, text 128x64", "ui", uiScreen(128, 64, true, false)},
        {"icon 48x48", "icon", icon(48, QColor(67, 160, 71))},
        {"icon 32x32", "icon", icon(32, QColor(221, 75, 57))},
        {"photo 240x135", "photo", Bench::photoLike(240, 135)},
        {"photo 240x135, dithered", "photo", Bench::photoLike(240, 135), true},
    };
}

// The formats measured, each with its unit: the bytes its arrays repeat by.
struct Format
{
    const char *name;
    int unit;
};
const Format formats[]
    = {{"rgb565", 2}, {"mono", 1},   {"xbm", 1},    {"pages", 1},      {"gray2", 1}, {"gray4", 1},
       {"gray8", 1},  {"index4", 1}, {"index8", 1}, {"epd-bw-red", 1}, {"epd7", 1}};

// The arrays of pixels of a picture in a format: every array of its header but the palette.
QVector<QByteArray> pixelArrays(const Picture &picture, const char *format)
{
    const DisplayFormat *displayFormat = findDisplayFormat(format);
    EncodingOptions options;
    options.header.arrayName = "pic";
    options.display.dither = picture.dither ? Dithering::FloydSteinberg : Dithering::None;
    options.shown = EncodingOptions::NotShown;
    DisplayOptions display;
    display.dither = options.display.dither;
    const EncodedPicture encoded = displayFormat->encode(preparePicture(picture.image, display), options);
    QVector<QByteArray> arrays;
    for (const CArray &array : encoded.header.arrays) {
        if (!array.name.endsWith("_palette"))
            arrays << QByteArray(array.data.constData(), array.data.size()); // a copy of its own
    }
    return arrays;
}

struct Sizes
{
    qint64 raw = 0, quillon = 0, lvglRle = 0, lz4 = 0;
    void add(const Sizes &other)
    {
        raw += other.raw;
        quillon += other.quillon;
        lvglRle += other.lvglRle;
        lz4 += other.lz4;
    }
};

Sizes measure(const QByteArray &array, int unit)
{
    Sizes sizes;
    sizes.raw = array.size();
    sizes.quillon = QuillonRle::compress(array, unit).size();
    QByteArray copy = array;
    sizes.lvglRle = lvglRleCompress(copy.data(), copy.size(), unit).size();
    copy = array;
    sizes.lz4 = lz4Compress(copy.data(), copy.size()).size();
    return sizes;
}

QString percent(qint64 part, qint64 whole)
{
    return QString::number(100.0 * double(part) / double(qMax<qint64>(whole, 1)), 'f', 1) + '%';
}

void printSizes(const QString &what, const Sizes &sizes)
{
    std::printf("  %-46s %8lld  %7s  %7s  %7s\n", qPrintable(what), sizes.raw,
                qPrintable(percent(sizes.quillon, sizes.raw)), qPrintable(percent(sizes.lvglRle, sizes.raw)),
                qPrintable(percent(sizes.lz4, sizes.raw)));
}

// A C array of the bytes, in AVR program memory.
QByteArray cArray(const QByteArray &name, const QByteArray &bytes)
{
    QByteArray text = "static const uint8_t " + name + "[] PROGMEM = {";
    for (int i = 0; i < bytes.size(); ++i)
        text += (i % 24 ? "" : "\n") + QByteArray::number(uchar(bytes[i])) + ',';
    return text + "\n};\n";
}

// Reads coded arrays on a simulated ATmega2560 and reports the cycles a byte; false when the tools
// are missing.
struct OnChip
{
    QByteArray name, bytes;
    int unit, rowBytes;
};
bool measureOnAtmega2560(const QString &folder, const QVector<OnChip> &arrays)
{
    for (const char *tool : {"avr-gcc", "simavr"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            std::printf("  %s is not installed (scripts/install-deps installs it): not measured\n", tool);
            return false;
        }
    }
    // The arrays, each with its size and the row it is read by, past the first 64 KB of flash.
    QByteArray data = "#include <avr/pgmspace.h>\n#include <stdint.h>\n"
                      "#define FILLER(name) __attribute__((used)) const uint8_t name[32000] PROGMEM = {1};\n"
                      "FILLER(filler1)\nFILLER(filler2)\nFILLER(filler3)\n"
                      "#define ARRAYS";
    QByteArray arraysText;
    for (int i = 0; i < arrays.size(); ++i) {
        const QByteArray name = "coded" + QByteArray::number(i);
        const QByteArray coded = QuillonRle::compress(arrays[i].bytes, arrays[i].unit);
        if (coded.size() > 32767) // avr-gcc's largest array
            continue;
        arraysText += cArray(name, coded);
        data += " \\\n    X(" + name + ", " + QByteArray::number(arrays[i].bytes.size()) + ", "
            + QByteArray::number(arrays[i].rowBytes) + ", \"" + arrays[i].name + "\")";
    }
    QFile file(folder + "/rle_arrays.h");
    if (!file.open(QIODevice::WriteOnly) || file.write(data + "\n" + arraysText) < 0)
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.close();
    const QString elf = folder + "/rle_speed.elf";
    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start("avr-gcc",
                   {"-std=c99", "-Os", "-mmcu=atmega2560", "-Wall", "-Wextra", "-Werror", "-I",
                    QUILLON_FIRMWARE_DIR, "-I", folder, QUILLON_FIRMWARE_TEST_DIR "/rle_main.c",
                    QUILLON_FIRMWARE_TEST_DIR "/avr_board.c", "-o", elf});
    if (!compiler.waitForFinished(300000) || compiler.exitCode() != 0)
        qFatal("avr-gcc failed: %s", compiler.readAll().constData());
    QProcess chip;
    chip.setProcessChannelMode(QProcess::MergedChannels);
    chip.start("simavr", {"-m", "atmega2560", "-f", "16000000", elf});
    if (!chip.waitForFinished(600000))
        qFatal("simavr did not finish");
    const QString output = QString::fromUtf8(chip.readAll()).remove(QRegularExpression("\\x1b\\[[0-9;]*m"));
    // Each line: "NAME: bytes B checksum C ticks T", Timer1 counting cycles / 256.
    QRegularExpressionMatchIterator lines
        = QRegularExpression("(\\S[^:\\n]*): bytes (\\d+) checksum \\w+ ticks (\\d+)").globalMatch(output);
    double screenCycles = 0, screenBytes = 0, allCycles = 0, allBytes = 0;
    while (lines.hasNext()) {
        const QRegularExpressionMatch line = lines.next();
        const double cycles = line.captured(3).toDouble() * 256, bytes = line.captured(2).toDouble();
        std::printf("  %-46s %8.0f bytes  %6.1f cycles a byte\n", qPrintable(line.captured(1)), bytes,
                    cycles / bytes);
        if (line.captured(1).endsWith("rgb565")) {
            screenCycles += cycles;
            screenBytes += bytes;
        }
        allCycles += cycles;
        allBytes += bytes;
    }
    if (allBytes == 0)
        qFatal("the simulated chip printed no timing: %s", qPrintable(output));
    // A byte every 16 cycles is what an SPI bus at half the CPU's clock takes: the reader then keeps
    // up with the display.
    Bench::reportGoal("cycles a byte, rgb565 screens (ATmega2560)", screenCycles / screenBytes, 16, false);
    Bench::reportGoal("cycles a byte, every array (ATmega2560)", allCycles / allBytes, 20, false);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv); // text is drawn with the system's fonts
    const QString base = app.arguments().value(1, QStringLiteral("/dev/shm"));
    QTemporaryDir dir(base + QStringLiteral("/quillon-bench-XXXXXX"));
    if (!dir.isValid())
        qFatal("cannot create a folder in %s", qPrintable(base));
    const bool dump = app.arguments().contains(QStringLiteral("--dump"));
    const QString dumpFolder = base + QStringLiteral("/rle-corpus");
    if (dump)
        QDir().mkpath(dumpFolder);

    std::printf(
        "Run-length coding: each array's coded size, in %% of its own (LVGL's RLE in the same units)\n");
    std::printf("  %-46s %8s  %7s  %7s  %7s\n", "", "bytes", "Quillon", "LVGL RLE", "LZ4");
    const QVector<Picture> pictures = corpus();
    QHash<QByteArray, Sizes> byKind, byFormat;
    Sizes all;
    QVector<OnChip> onChip; // what the ATmega2560 reads
    double worstUiRgb565 = 0;
    for (const Picture &picture : pictures) {
        Sizes ofPicture;
        for (const Format &format : formats) {
            int index = 0;
            Sizes ofFormat;
            for (const QByteArray &array : pixelArrays(picture, format.name)) {
                ofFormat.add(measure(array, format.unit));
                if (dump) {
                    QFile file(QStringLiteral("%1/%2.%3.%4.u%5")
                                   .arg(dumpFolder, QString::fromLatin1(picture.name).replace(' ', '_'),
                                        QString::fromLatin1(format.name))
                                   .arg(index++)
                                   .arg(format.unit));
                    if (!file.open(QIODevice::WriteOnly) || file.write(array) != array.size())
                        qFatal("cannot write %s", qPrintable(file.fileName()));
                }
                const QByteArray format565 = format.name;
                if ((format565 == "rgb565" && picture.image.width() >= 240) || format565 == "pages"
                    || format565 == "gray4")
                    onChip << OnChip {QByteArray(picture.name).left(24) + ' ' + format.name, array,
                                      format.unit,
                                      // a row, or a page of 8 rows
                                      format565 == "pages" ? picture.image.width()
                                                           : int(array.size() / picture.image.height())};
            }
            printSizes(QStringLiteral("%1, %2").arg(picture.name, format.name), ofFormat);
            if (QByteArray(picture.kind) == "ui" && QByteArray(format.name) == "rgb565")
                worstUiRgb565 = qMax(worstUiRgb565, double(ofFormat.quillon) / double(ofFormat.raw));
            ofPicture.add(ofFormat);
            byFormat[format.name].add(ofFormat);
        }
        byKind[picture.kind].add(ofPicture);
        all.add(ofPicture);
    }
    std::printf("\n");
    for (const Format &format : formats)
        printSizes(QStringLiteral("all pictures, %1").arg(format.name), byFormat[format.name]);
    for (const char *kind : {"ui", "icon", "photo"})
        printSizes(QStringLiteral("every format, %1").arg(kind), byKind[kind]);
    printSizes(QStringLiteral("everything"), all);
    std::printf("\n");
    Bench::reportGoal("rgb565 screens: the largest coded size (% of the array)", 100 * worstUiRgb565,
                      100.0 / 3, false);
    Bench::reportGoal("everything: coded size against LVGL's RLE (%)", 100.0 * all.quillon / all.lvglRle, 100,
                      false);
    std::printf(
        "\nThe reader on a simulated ATmega2560 at 16 MHz, the arrays past the first 64 KB of flash\n");
    measureOnAtmega2560(dir.path(), onChip);
    return Bench::goalsExitCode();
}
