#include "bundle_table.h"
#include "display_formats.h"
#include "output_files.h"
#include "picture_decoding.h"
#include "picturesupport.h"
#include "qimage16.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

// The headers of every format, written in-process as quillon-convert writes them, compiled with
// warnings as errors as C and C++, alone, several in one file, in two files of one program and as
// split pairs; each program prints what it holds, against what the encoder made. Arrays coded by
// run length are read back by the reader written beside them, against what the same call without
// --compress writes.
class TestHeaders : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(renewFolder()); }
    void compileEverywhere_data();
    void compileEverywhere();
    void monoArrayReadFromAvrFlash();
    void epaperPlanesFitAnUno();
    void namesItsGuardAfterItsFile_data();
    void namesItsGuardAfterItsFile();

private:
    // What a program prints of a picture, and the C lines that print it.
    struct Written
    {
        QByteArray expected;
        QByteArray printing;
        QByteArray firstArray; // the name of the header's first array
    };
    // Writes the files of the picture whose array is `name`: a row's format ("bmp", "lvgl8"...)
    // and its options ("rgb565 mask", "lvgl 9.0", "lvgl big-endian", "gray4 rle flat"...), named
    // after the array or after `file`.
    Written writePicture(const QByteArray &name, const QString &variant, QSize size, bool split,
                         const QString &file = QString(), CHeader *header = nullptr);
    // Writes the bundle "icons" of five icons of the variant, each also in a header of its own
    // (own_NAME.h): what the program prints of each icon's arrays, then of each entry of the
    // bundle's tables, which must be the icon's own pixels.
    Written writeBundle(const QString &variant, bool split);
};

namespace {

// The compiler's definitions of a row: the LVGL version, its byte order.
QStringList definesOf(const QString &variant)
{
    QStringList defines;
    if (variant.contains("9.0") || variant.contains("9.2"))
        defines << "-DLVGL_VERSION_MINOR=" + variant.right(1);
    if (variant.contains("big-endian"))
        defines << "-DLV_BIG_ENDIAN_SYSTEM=1";
    if (variant.contains("esp8266")) // through the stand-in of its core's <pgmspace.h>
        defines << "-DARDUINO_ARCH_ESP8266";
    return defines;
}

QByteArray dumpLine(const QByteArray &label, const QByteArray &pointer, const QByteArray &size)
{
    return "    dump(\"" + label + "\", " + pointer + ", " + size + ");\n";
}

} // namespace

TestHeaders::Written TestHeaders::writePicture(const QByteArray &name, const QString &variant, QSize size,
                                               bool split, const QString &file, CHeader *header)
{
    const QString formatName = variant.section(' ', 0, 0);
    const bool lvgl = formatName.startsWith("lvgl"), lvgl8 = formatName == "lvgl8";
    const DisplayFormat *format = findDisplayFormat(lvgl ? "lvgl" : formatName.toLatin1());
    EncodingOptions options;
    options.header.arrayName = name;
    options.pixels.alphaMask = variant.contains("mask");
    options.pixels.transparent = variant.contains("transparent") ? QColor(Qt::black) : QColor();
    options.lvgl.version = lvgl8 ? 8 : 9;
    // Opaque for LVGL, whose colour format then is RGB565; with transparency for the others. Flat:
    // runs that go on across rows.
    QImage picture = patternPicture(size.width(), size.height(), !lvgl);
    if (variant.contains("flat"))
        picture.fill(qRgba(40, 200, 90, 255));
    // What the same call writes without --compress, for the coded arrays' bytes.
    const QHash<QByteArray, QByteArray> uncoded = format && !lvgl && variant.contains("rle")
        ? arraysOf(
            format
                ->encode(preparePicture(picture, DisplayOptions(), format->alpha != DisplayFormat::NoAlpha),
                         options)
                .header)
        : QHash<QByteArray, QByteArray>();
    options.arrays.compression = variant.contains("rle") ? ArrayLayout::Rle : ArrayLayout::Uncompressed;
    OutputRequest request;
    request.header.arrayName = name;
    request.header.split = split;
    request.header.progmem = variant.contains("progmem");
    EncodedPicture encoded;
    QImage16 image(toRgb565(picture));
    if (format) {
        encoded = format->encode(
            preparePicture(picture, DisplayOptions(), format->alpha != DisplayFormat::NoAlpha), options);
        image = QImage16(encoded.shownPicture(QImage::Format_RGB16));
        request.pixels = &encoded.header;
    }
    if (header)
        *header = encoded.header;
    const OutputPaths paths = outputPaths(path(), (file.isEmpty() ? QString(name) : file) + ".png");
    if (writeOutputFiles(image, paths, request) != WriteOutcome::Written)
        qFatal("%s not written", name.constData());

    if (!format)
        return {name + ' ' + readFile(paths.bmp).toHex() + '\n', dumpLine(name, name, "sizeof " + name),
                name};
    const QByteArray sized
        = name + ' ' + QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height());
    if (lvgl) {
        // The descriptor's fields, read by their names: right only in the declaration's order.
        Written written {sized + " cf 1",
                         "    printf(\"" + name + " %ux%u cf %d\", (unsigned)" + name
                             + ".header.w, (unsigned)" + name + ".header.h, " + name + ".header.cf == "
                             + (lvgl8 ? "LV_IMG_CF_TRUE_COLOR" : "LV_COLOR_FORMAT_RGB565") + ");\n",
                         name};
        if (!lvgl8) {
            written.expected += " magic 1 stride " + QByteArray::number(2 * size.width()) + " flags "
                + (options.arrays.compression == ArrayLayout::Rle ? "8" : "0");
            written.printing += "    printf(\" magic %d stride %u flags %u\", " + name
                + ".header.magic == LV_IMAGE_HEADER_MAGIC, (unsigned)" + name + ".header.stride, (unsigned)"
                + name + ".header.flags);\n";
        }
        written.expected += '\n' + name + "_map " + encoded.header.arrays[0].data.toHex() + '\n';
        written.printing
            += "    printf(\"\\n\");\n" + dumpLine(name + "_map", name + ".data", name + ".data_size");
        return written;
    }
    Written written {sized + '\n',
                     "    printf(\"" + name + " %dx%d\\n\", " + name + "_width, " + name + "_height);\n",
                     encoded.header.arrays.first().name};
    for (const CArray &array : encoded.header.arrays) {
        if (array.uncodedBytes == 0) {
            written.expected += array.name + ' ' + array.data.toHex() + '\n';
            written.printing += dumpLine(array.name, array.name, "sizeof " + array.name);
            continue;
        }
        const QByteArray plain = array.name.chopped(4); // NAME_rle codes NAME
        written.expected += plain + ' ' + uncoded.value(plain).toHex() + '\n';
        written.printing += "    decode(\"" + plain + "\", " + array.name + ", " + plain + "_size);\n";
    }
    return written;
}

TestHeaders::Written TestHeaders::writeBundle(const QString &variant, bool split)
{
    const QVector<QPair<QByteArray, QSize>> icons
        = {{"wifi", {7, 5}}, {"battery", {16, 9}}, {"bell", {9, 16}}, {"arrow", {13, 13}}, {"bar", {31, 2}}};
    const bool coded = variant.contains("rle");
    QVector<CHeader> headers(icons.size());
    Written written;
    QByteArray entries, entriesPrinting;
    for (int i = 0; i < icons.size(); ++i) {
        const QByteArray &name = icons[i].first;
        const QSize size = icons[i].second;
        const Written own = writePicture(name, variant, size, false, "own_" + name, &headers[i]);
        written.expected += own.expected;
        written.printing += own.printing;
        // The entry points at the array named after the icon (or its first); its bytes are those
        // that the icon's own program prints of it.
        const QByteArray array = bundledPixels(headers[i])->name;
        const QByteArray plain = coded ? array.chopped(4) : array;
        QByteArray bytes;
        for (const QByteArray &line : own.expected.split('\n')) {
            if (line.startsWith(plain + ' '))
                bytes = line.mid(plain.size() + 1);
        }
        entries += "entry" + QByteArray::number(i) + ' ' + QByteArray::number(size.width()) + 'x'
            + QByteArray::number(size.height()) + "\nentry " + bytes + '\n';
        const QByteArray index = "icons_" + name;
        entriesPrinting += "    printf(\"entry%d %ux%u\\n\", (int)" + index + ", (unsigned)icons_widths["
            + index + "], (unsigned)icons_heights[" + index + "]);\n"
            + (coded ? "    decode(\"entry\", icons_images[" + index + "], " + plain + "_size);\n"
                     : dumpLine("entry", "icons_images[" + index + "]", "sizeof " + array));
    }
    written.expected += entries + "count " + QByteArray::number(icons.size()) + '\n';
    written.printing += entriesPrinting + "    printf(\"count %d\\n\", icons_count);\n";
    written.firstArray = headers.first().arrays.first().name;
    const CHeader bundle = bundleHeader("icons", headers);
    OutputRequest request;
    request.bmp = false;
    request.header.arrayName = "icons";
    request.header.split = split;
    request.pixels = &bundle;
    if (writeOutputFiles(QImage16(), outputPaths(path(), "icons"), request) != WriteOutcome::Written)
        qFatal("icons not written");
    return written;
}

void TestHeaders::compileEverywhere_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("standard");
    QTest::addColumn<QString>("use"); // alone, together, two files, split
    QTest::addColumn<QSize>("size");

    // The window's format and every display format, LVGL in both versions.
    QStringList formats = {"bmp"};
    for (const DisplayFormat &format : displayFormats()) {
        const QString name = QString::fromLatin1(format.name);
        formats << (name == "rgb565"     ? QStringList {"rgb565 mask"}
                        : name == "lvgl" ? QStringList {"lvgl", "lvgl8"}
                                         : QStringList {name});
    }
    const auto row
        = [](const QString &variant, const QString &standard, const QString &use, QSize size = QSize(13, 6)) {
              QTest::newRow(qPrintable(variant + ", " + standard + ", " + use))
                  << variant << standard << use << size;
          };
    for (const QString &format : formats) {
        for (const char *standard : {"c99", "c++17", "c++20"}) {
            for (const char *use : {"alone", "together", "two files", "split"}) {
                // The BMP file's header keeps the window's bytes: one file of a program only.
                if (format != "bmp" || QByteArray(use) != "two files")
                    row(format, standard, use);
            }
        }
        for (const char *standard : {"c11", "c++11"})
            row(format, standard, "together");
    }
    for (const char *standard : {"c99", "c++20"}) {
        row("bmp progmem", standard, "alone");
        row("bmp progmem", standard, "together");
        row("bmp progmem", standard, "split");
        row("rgb565 transparent", standard, "alone");
        row("lvgl 9.0", standard, "split");
        row("lvgl 9.2", standard, "two files");
        row("lvgl big-endian", standard, "alone");
        row("lvgl rle", standard, "together");
        row("lvgl8 big-endian", standard, "alone");
    }
    // More lines than the header writer formats at once (4,096).
    row("gray8", "c99", "alone", QSize(256, 257));
    row("gray8", "c++17", "split", QSize(256, 257));
    // Coded by run length, each display format but LVGL's: no runs at all, and a flat picture whose
    // runs go on across rows; W != H, odd widths.
    for (const DisplayFormat &format : displayFormats()) {
        const QString name = QString::fromLatin1(format.name);
        if (name == "lvgl")
            continue;
        row(name + " rle", "c99", "alone", QSize(13, 6));
        row(name + " rle flat", "c++17", "split", QSize(29, 11));
    }
    row("rgb565 mask rle", "c99", "together");
    row("rgb565 mask rle flat", "c++17", "two files", QSize(61, 40));
    row("rgb565 transparent rle", "c++20", "alone");
    // ESP8266: in flash, through its core's PROGMEM.
    row("rgb565 esp8266", "c99", "alone");
    row("mono esp8266", "c++17", "alone");
    // Five icons in one header, each table entry the icon's own pixels.
    for (const char *standard : {"c99", "c++17"}) {
        for (const char *use : {"bundle", "bundle split", "bundle two files"})
            row("rgb565", standard, use);
        row("mono rle", standard, "bundle");
        row("index4 rle flat", standard, "bundle split");
        row("epd-bw-red", standard, "bundle");
    }
}

void TestHeaders::compileEverywhere()
{
    QFETCH(QString, variant);
    QFETCH(QString, standard);
    QFETCH(QString, use);
    QFETCH(QSize, size);
    const bool cxx = standard.startsWith("c++");
    const QString compiler = QStandardPaths::findExecutable(cxx ? "g++" : "gcc");
    if (compiler.isEmpty())
        QSKIP("gcc and g++ are needed");

    // Together: a second picture of the row's format and a third of another, and the first
    // header twice, as through two other headers (its guard keeps the second out).
    const bool bundle = use.startsWith("bundle");
    const bool split = use.endsWith("split"), together = use == "together",
               twoFiles = use.endsWith("two files") || split;
    const bool lvgl = variant.startsWith("lvgl");
    const QByteArray first = bundle ? "icons" : "first";
    QVector<Written> written
        = {bundle ? writeBundle(variant, split) : writePicture("first", variant, size, split)};
    QByteArray includes = "#include \"" + first + ".h\"\n";
    if (together) {
        written << writePicture("second", variant, QSize(9, 4), false)
                << writePicture("third", variant.startsWith("mono") ? "rgb565" : "mono", QSize(5, 3), false);
        includes += "#include \"second.h\"\n#include \"third.h\"\n";
        if (!variant.startsWith("bmp")) // the window's header has no guard
            includes += "#include \"first.h\"\n";
    }
    QByteArray expected, printing;
    for (const Written &picture : written) {
        expected += picture.expected;
        printing += picture.printing;
    }
    // On ESP8266, in its flash, read there with pgm_read_byte.
    if (variant.contains("esp8266")) {
        expected += "esp8266 flash 1 byte 1 reads 1\n";
        printing += "    {\n        uint8_t byte = QUILLON_READ_BYTE(first, 1);\n"
                    "        printf(\"esp8266 flash %d byte %d reads %u\\n\", IN_ESP8266_FLASH(first), "
                    "byte == ((const uint8_t *)first)[1], pgm_reads);\n    }\n";
    }
    // Coded arrays read back a byte at a time, across the packets' bounds.
    const QByteArray decode = !variant.contains("rle") || lvgl
        ? QByteArray()
        : "static void decode(const char *name, const uint8_t *coded, size_t size)\n"
          "{\n"
          "    quillon_rle_t reader;\n"
          "    uint8_t byte;\n"
          "    size_t i;\n"
          "    quillon_rle_init"
            + QByteArray(bundle ? "_near" : "") // from a pointer, which the bundle's table holds
            + "(&reader, coded);\n"
              "    printf(\"%s \", name);\n"
              "    for (i = 0; i < size; ++i) {\n"
              "        quillon_rle_read(&reader, &byte, 1);\n"
              "        printf(\"%02x\", byte);\n"
              "    }\n"
              "    printf(\"\\n\");\n"
              "}\n";
    writeFile(path("main.c"),
              "#include <stdio.h>\n" + includes + decode
                  + "static void dump(const char *name, const void *data, size_t size)\n"
                    "{\n"
                    "    const unsigned char *bytes = (const unsigned char *)data;\n"
                    "    size_t i;\n"
                    "    printf(\"%s \", name);\n"
                    "    for (i = 0; i < size; ++i)\n"
                    "        printf(\"%02x\", bytes[i]);\n"
                    "    printf(\"\\n\");\n"
                    "}\n"
                    "int other(void);\n"
                    "int main(void)\n{\n"
                  + (decode.isEmpty() ? "" : "    (void)dump;\n") + printing
                  + (twoFiles ? "    return other();\n" : "    return 0;\n") + "}\n");
    // A second file of the program reads the first array too; a split LVGL descriptor is
    // declared there as LVGL's own macro declares it.
    // The pixels behind a split descriptor stay in its C file: a name of the program's own may be
    // the same.
    const QByteArray declaration = !(split && lvgl) ? "#include \"" + first + ".h\"\n"
        : variant.startsWith("lvgl8")
        ? QByteArray("#include \"lvgl.h\"\nLV_IMG_DECLARE(first);\nint first_map = 1;\n")
        : QByteArray("#include \"lvgl.h\"\nLV_IMAGE_DECLARE(first);\nint first_map = 1;\n");
    writeFile(path("other.c"),
              declaration + "int other(void);\nint other(void)\n{\n    return "
                  + (lvgl ? QByteArray("(int)(first.data_size * 0)")
                          : "(int)(" + written[0].firstArray + "[0] * 0)")
                  + ";\n}\n");
    QStringList sources = {path("main.c")};
    if (twoFiles)
        sources << path("other.c");
    if (split)
        sources << path(first + ".c");

    QProcess build;
    build.setProcessChannelMode(QProcess::MergedChannels);
    build.start(compiler,
                QStringList {"-std=" + standard, "-Wall", "-Wextra", "-Werror", "-DLV_LVGL_H_INCLUDE_SIMPLE",
                             "-I", QUILLON_LVGL_STANDIN, "-I", path(), "-o", path("program")}
                    + definesOf(variant) + (cxx ? QStringList {"-x", "c++"} : QStringList()) + sources);
    QVERIFY(build.waitForFinished(120000));
    QVERIFY2(build.exitCode() == 0, build.readAll().constData());
    QProcess program;
    program.start(path("program"), QStringList());
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardOutput(), expected);

    // A bundle also compiles for an ATmega2560, its tables in program memory with the icons.
    if (!bundle)
        return;
    const QString avr = QStandardPaths::findExecutable(cxx ? "avr-g++" : "avr-gcc");
    if (avr.isEmpty())
        QSKIP("avr-gcc is not installed (scripts/install-deps installs it): not compiled for AVR");
    const Run chip = runProgram(QStringList {avr, "-mmcu=atmega2560", "-Os", "-std=" + standard, "-Wall",
                                             "-Wextra", "-Werror", "-I", path(), "-o", path("chip.elf")}
                                + (cxx ? QStringList {"-x", "c++"} : QStringList()) + sources);
    QVERIFY2(chip.exitCode == 0, qPrintable(chip.out + chip.err));
}

void TestHeaders::monoArrayReadFromAvrFlash()
{
    for (const char *tool : {"avr-gcc", "simavr"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(QString(tool) + " is not installed (scripts/install-deps installs it)"));
    }
    // A default mono header, read as Adafruit GFX's drawBitmap reads it: pgm_read_byte, which
    // gives other bytes than the array's unless it is in program memory.
    const QByteArray hex = writePicture("logo", "mono", QSize(37, 20), false).expected.split('\n')[1].mid(5);
    QByteArray expected = "logo 37x20\n";
    for (int at = 0; at < hex.size(); at += 32)
        expected += hex.mid(at, 32) + '\n';
    QProcess build;
    build.setProcessChannelMode(QProcess::MergedChannels);
    build.start("avr-gcc",
                {"-mmcu=atmega328p", "-Os", "-std=c99", "-Wall", "-Wextra", "-Werror", "-I", path(),
                 FIRMWARE_TEST_DIR "/avr_board.c", FIRMWARE_TEST_DIR "/mono_main.c", "-o", path("mono.elf")});
    QVERIFY(build.waitForFinished(120000));
    QVERIFY2(build.exitCode() == 0, build.readAll().constData());
    QProcess chip;
    chip.setProcessChannelMode(QProcess::MergedChannels);
    chip.start("simavr", {"-m", "atmega328p", "-f", "16000000", path("mono.elf")});
    QVERIFY(chip.waitForFinished(120000));
    // simavr colours each line of the serial output and ends it with a dot.
    QString output = QString::fromUtf8(chip.readAll()).remove(QRegularExpression("\\x1b\\[[0-9;]*m"));
    output.remove(QRegularExpression("\\.$", QRegularExpression::MultilineOption));
    QVERIFY2(output.contains(QString::fromLatin1(expected) + "end\n"), qPrintable(output));
}

// The two planes of a 2.13-inch panel of 104 x 212 pixels, 2,756 bytes each, as a default header
// holds them, link for an Arduino Uno: in its 2 KB of RAM they would not.
void TestHeaders::epaperPlanesFitAnUno()
{
    if (QStandardPaths::findExecutable("avr-gcc").isEmpty())
        QSKIP("avr-gcc is not installed (scripts/install-deps installs it)");
    writePicture("panel", "epd-bw-red", QSize(104, 212), false);
    writeFile(path("uno.c"),
              "#include <avr/pgmspace.h>\n#include \"panel.h\"\nvolatile uint8_t sink;\nint main(void)\n{\n"
              "    unsigned i;\n    for (i = 0; i < sizeof panel_black; ++i)\n"
              "        sink ^= pgm_read_byte(&panel_black[i]) ^ pgm_read_byte(&panel_red[i]);\n"
              "    return 0;\n}\n");
    const Run built = runProgram({"avr-gcc", "-mmcu=atmega328p", "-Os", "-std=c99", "-Wall", "-Wextra",
                                  "-Werror", "-I", path(), "-o", path("uno.elf"), path("uno.c")});
    QVERIFY2(built.exitCode == 0, qPrintable(built.out + built.err));
}

void TestHeaders::namesItsGuardAfterItsFile_data()
{
    QTest::addColumn<QString>("file"); // the picture's, without its suffix
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QByteArray>("guard");
    QTest::newRow("a name") << "logo"
                            << "mono" << QByteArray("QUILLON_logo_H");
    // a-b.h and a_b.h, from separate calls, each guarded apart.
    QTest::newRow("a dash") << "a-b"
                            << "mono" << QByteArray("QUILLON_a_b_H_2D");
    QTest::newRow("an underscore") << "a_b"
                                   << "rgb565 mask" << QByteArray("QUILLON_a_b_H");
    QTest::newRow("an underscore, then a dash, split") << "a_b-c"
                                                       << "gray4 split" << QByteArray("QUILLON_a_b_c_H_5F2D");
    QTest::newRow("a space and a letter of two bytes")
        << QString::fromUtf8("mon ic\xC3\xB4ne") << "lvgl" << QByteArray("QUILLON_mon_ic__ne_H_20C3B4");
    // Letters and digits kept up to the last of each range; the bytes just beyond them replaced.
    QTest::newRow("the first and last letters and digits") << "AZaz09"
                                                           << "mono" << QByteArray("QUILLON_AZaz09_H");
    QTest::newRow("the bytes beside the letters and digits")
        << "a:b@c[d`e{f"
        << "xbm" << QByteArray("QUILLON_a_b_c_d_e_f_H_3A405B607B");
    QTest::newRow("the BMP file's bytes, split") << "a-b"
                                                 << "bmp split" << QByteArray("QUILLON_a_b_H_2D");
}

// The include guard is named after the header's file, so that two headers of one folder never
// share one, whatever their arrays are named (here always "pic").
void TestHeaders::namesItsGuardAfterItsFile()
{
    QFETCH(QString, file);
    QFETCH(QString, variant);
    QFETCH(QByteArray, guard);
    writePicture("pic", variant, QSize(5, 3), variant.contains("split"), file);
    const QByteArray text = readFile(path(file + ".h"));
    QVERIFY2(text.contains("\n#ifndef " + guard + "\n#define " + guard + "\n"), text.constData());
    QVERIFY2(text.endsWith("\n#endif /* " + guard + " */\n"), text.constData());
}

QTEST_GUILESS_MAIN(TestHeaders)
#include "tst_headers.moc"
