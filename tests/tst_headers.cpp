#include "conversion.h"
#include "display_formats.h"
#include "picturesupport.h"
#include "qimage16.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

// The headers of every format, written in-process as quillon-convert writes them, compiled with
// warnings as errors as C and C++, alone, several in one file, in two files of one program and
// as split pairs; each program prints what it holds, against what the encoder made.
class TestHeaders : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void compileEverywhere_data();
    void compileEverywhere();
    void monoArrayReadFromAvrFlash();

private:
    // One picture's files, `name`.h (and `name`.c when split); returns what the program must print
    // of it.
    QByteArray writePicture(const QString &name, const QString &variant, QSize size, bool split);
    QString path(const QString &name) const { return m_dir->filePath(name); }

    QScopedPointer<QTemporaryDir> m_dir;
};

namespace {

// A row's format: a --format name, "bmp", or "lvgl" with a variant ("lvgl8", "lvgl 9.0"...).
struct Variant
{
    const DisplayFormat *format = nullptr;
    EncodingOptions options;
    QStringList defines; // for the compiler: the LVGL version, its byte order
    bool lvgl8 = false;
};

Variant variantOf(const QString &variant)
{
    Variant v;
    const QString format = variant.section(' ', 0, 0);
    v.format = findDisplayFormat(format == "lvgl8" ? "lvgl" : format.toLatin1());
    if (variant.contains("mask"))
        v.options.alphaMask = true;
    if (variant.contains("transparent"))
        v.options.transparent = QColor(Qt::black);
    if (format == "lvgl8") {
        v.options.lvglVersion = 8;
        v.lvgl8 = true;
    }
    if (variant.contains("rle"))
        v.options.compression = EncodingOptions::Rle;
    if (variant.contains("9.0"))
        v.defines << "-DLVGL_VERSION_MINOR=0";
    if (variant.contains("9.2"))
        v.defines << "-DLVGL_VERSION_MINOR=2";
    if (variant.contains("big-endian"))
        v.defines << "-DLV_BIG_ENDIAN_SYSTEM=1";
    return v;
}

QByteArray hexOf(const QByteArray &bytes)
{
    return bytes.toHex();
}

// The C lines that print an array's bytes as the program holds them.
QByteArray dumpLine(const QByteArray &label, const QByteArray &pointer, const QByteArray &size)
{
    return "    dump(\"" + label + "\", " + pointer + ", " + size + ");\n";
}

} // namespace

void TestHeaders::init()
{
    m_dir.reset(new QTemporaryDir);
}

QByteArray TestHeaders::writePicture(const QString &name, const QString &variant, QSize size, bool split)
{
    const Variant v = variantOf(variant);
    const bool lvgl = v.format && QByteArray(v.format->name) == "lvgl";
    // Opaque for LVGL, whose colour format then is RGB565; with transparency for the others.
    const QImage picture = patternPicture(size.width(), size.height(), !lvgl);
    EncodingOptions options = v.options;
    options.arrayName = name.toLatin1();
    OutputRequest request;
    request.header.arrayName = options.arrayName;
    request.header.split = split;
    EncodedPicture encoded;
    QImage16 image;
    if (v.format) {
        const bool keepAlpha = v.format->alpha == DisplayFormat::AlphaAlways
            || (v.format->alpha == DisplayFormat::AlphaWhenAsked
                && (options.alphaMask || options.transparent.isValid()));
        encoded = v.format->encode(preparePicture(picture, DisplayOptions(), keepAlpha), options);
        image = QImage16(encoded.shown.convertToFormat(QImage::Format_RGB16));
        request.pixels = &encoded.header;
    } else {
        image = QImage16(toRgb565(picture));
    }
    const OutputPaths paths = outputPaths(m_dir->path(), name + ".png");
    if (writeOutputFiles(image, paths, request) != WriteOutcome::Written)
        qFatal("%s not written", qPrintable(name));

    const QByteArray n = name.toLatin1();
    QByteArray expected;
    if (!v.format)
        return n + ' ' + hexOf(readFile(paths.bmp)) + '\n';
    if (lvgl) {
        expected
            += n + ' ' + QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height()) + " cf 1";
        if (!v.lvgl8)
            expected += " magic 1 stride " + QByteArray::number(2 * size.width()) + " flags "
                + (options.compression == EncodingOptions::Rle ? "8" : "0");
        return expected + '\n' + n + "_map " + hexOf(encoded.header.arrays[0].data) + '\n';
    }
    expected += n + ' ' + QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height()) + '\n';
    for (const CArray &array : encoded.header.arrays)
        expected += array.name + ' ' + hexOf(array.data) + '\n';
    return expected;
}

void TestHeaders::compileEverywhere_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("standard");
    QTest::addColumn<QString>("use"); // alone, together, two files, split
    QTest::addColumn<QSize>("size");

    const QStringList formats = {"bmp",   "rgb565 mask", "mono",   "xbm",  "pages", "gray8",
                                 "gray4", "index4",      "index8", "lvgl", "lvgl8"};
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

    // Two pictures of the row's format and, together, a third of another format.
    const bool split = use == "split";
    const bool together = use == "together";
    const bool lvgl = variant.startsWith("lvgl");
    QStringList names = {"first"};
    QStringList variants = {variant};
    QVector<QSize> sizes = {size};
    if (together) {
        names << "second"
              << "third";
        variants << variant << (variant.startsWith("mono") ? "rgb565" : "mono");
        sizes << QSize(9, 4) << QSize(5, 3);
    }
    QByteArray expected, includes, dumps;
    for (int i = 0; i < names.size(); ++i) {
        expected += writePicture(names[i], variants[i], sizes[i], split);
        const QByteArray n = names[i].toLatin1();
        includes += "#include \"" + n + ".h\"\n";
        const Variant v = variantOf(variants[i]);
        if (variants[i].startsWith("lvgl")) {
            dumps += "    printf(\"" + n + " %ux%u cf %d\", (unsigned)" + n + ".header.w, (unsigned)" + n
                + ".header.h, " + n
                + ".header.cf == " + (v.lvgl8 ? "LV_IMG_CF_TRUE_COLOR" : "LV_COLOR_FORMAT_RGB565") + ");\n";
            if (!v.lvgl8)
                dumps += "    printf(\" magic %d stride %u flags %u\", " + n
                    + ".header.magic == LV_IMAGE_HEADER_MAGIC, (unsigned)" + n + ".header.stride, (unsigned)"
                    + n + ".header.flags);\n";
            dumps += "    printf(\"\\n\");\n" + dumpLine(n + "_map", n + ".data", n + ".data_size");
        } else if (!v.format) {
            dumps += dumpLine(n, n, "sizeof " + n);
        } else {
            dumps += "    printf(\"" + n + " %dx%d\\n\", " + n + "_width, " + n + "_height);\n";
            const QStringList arrays = QString::fromLatin1(readFile(path(names[i] + ".h")))
                                           .split('\n')
                                           .filter(QRegularExpression("^(static |extern )?const "));
            for (const QString &line : arrays) {
                const QByteArray array = QRegularExpression(" (\\w+)\\[").match(line).captured(1).toLatin1();
                dumps += dumpLine(array, array, "sizeof " + array);
            }
        }
    }
    // The header twice, as through two other headers: its guard keeps the second out.
    if (together && variant != "bmp")
        includes += "#include \"first.h\"\n";
    const QByteArray reference = lvgl ? "(int)(first.data_size * 0)" : "(int)(first[0] * 0)";
    const bool twoFiles = use == "two files" || split;
    writeFile(path("main.c"),
              "#include <stdio.h>\n" + includes
                  + "static void dump(const char *name, const void *data, size_t size)\n"
                    "{\n"
                    "    const unsigned char *bytes = (const unsigned char *)data;\n"
                    "    size_t i;\n"
                    "    printf(\"%s \", name);\n"
                    "    for (i = 0; i < size; ++i)\n"
                    "        printf(\"%02x\", bytes[i]);\n"
                    "    printf(\"\\n\");\n"
                    "}\n"
                  + (twoFiles ? "int other(void);\n" : "") + "int main(void)\n{\n" + dumps
                  + (twoFiles ? "    return other();\n" : "    return 0;\n") + "}\n");
    QStringList sources = {path("main.c")};
    if (twoFiles) {
        writeFile(path("other.c"),
                  "#include \"first.h\"\nint other(void);\nint other(void)\n{\n    return " + reference
                      + ";\n}\n");
        sources << path("other.c");
    }
    if (split) {
        for (const QString &name : names)
            sources << path(name + ".c");
    }

    QProcess build;
    build.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = {"-std=" + standard,
                             "-Wall",
                             "-Wextra",
                             "-Werror",
                             "-DLV_LVGL_H_INCLUDE_SIMPLE",
                             "-I",
                             QUILLON_LVGL_STANDIN,
                             "-I",
                             m_dir->path(),
                             "-o",
                             path("program")};
    arguments += variantOf(variant).defines;
    if (cxx)
        arguments << "-x"
                  << "c++";
    build.start(compiler, arguments + sources);
    QVERIFY(build.waitForFinished(120000));
    QVERIFY2(build.exitCode() == 0, build.readAll().constData());
    QProcess program;
    program.start(path("program"), QStringList());
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardOutput(), expected);
}

void TestHeaders::monoArrayReadFromAvrFlash()
{
    for (const char *tool : {"avr-gcc", "simavr"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(QString(tool) + " is not installed (scripts/install-deps installs it)"));
    }
    // A default mono header, read as Adafruit GFX's drawBitmap reads it: pgm_read_byte, which
    // gives other bytes than the array's unless it is in program memory.
    const QByteArray written = writePicture("logo", "mono", QSize(37, 20), false);
    QCOMPARE(written.left(written.indexOf('\n')), QByteArray("logo 37x20"));
    const QByteArray hex = written.split('\n')[1].mid(5); // after "logo "
    QByteArray expected = "logo 37x20\n";
    for (int at = 0; at < hex.size(); at += 32)
        expected += hex.mid(at, 32) + '\n';
    QProcess build;
    build.setProcessChannelMode(QProcess::MergedChannels);
    build.start("avr-gcc",
                {"-mmcu=atmega328p", "-Os", "-std=c99", "-Wall", "-Wextra", "-Werror", "-I", m_dir->path(),
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

QTEST_GUILESS_MAIN(TestHeaders)
#include "tst_headers.moc"
