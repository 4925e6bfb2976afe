#include "header_generator.h"
#include "product.h"
#include "qimage16.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {

const QByteArray firstLine
    = QByteArray("// Fichier g\xC3\xA9n\xC3\xA9r\xC3\xA9 avec Quillon ") + Quillon::webAddress;

QByteArray headerText(int size, const QByteArray &values)
{
    return firstLine + "\n\nconst unsigned char logo[" + QByteArray::number(size) + "] = \n{" + values
        + "\n};";
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// Reads the values back out of a generated header, independently of how it was written:
// every "0x" followed by two hexadecimal digits between the braces.
QByteArray parseValues(const QByteArray &text)
{
    const int open = text.indexOf('{');
    const int close = text.lastIndexOf('}');
    QByteArray bytes;
    bytes.reserve((close - open) / 5);
    for (int at = text.indexOf("0x", open); at >= 0 && at < close; at = text.indexOf("0x", at + 4)) {
        bool ok = false;
        bytes += char(text.mid(at + 2, 2).toUInt(&ok, 16));
        if (!ok)
            return "unparsable value at " + QByteArray::number(at);
    }
    return bytes;
}

} // namespace

class TestHeaderGenerator : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void writesTheExactText_data();
    void writesTheExactText();
    void holdsEveryByteOfLargeInputs();
    void sizeMatchesTheBmpFile();
    void compilesAndGivesBackTheBmpBytes();

    void failsOnAnUnreadableInput();
    void failsWithoutCreatingAFolder();
    void replacesAnExistingHeaderWhole();
    void keepsThePreviousHeaderWhenTheDiskIsFull_data();
    void keepsThePreviousHeaderWhenTheDiskIsFull();
    void failsWhenTheInputChangesLengthWhileRead();
};

void TestHeaderGenerator::init()
{
    QVERIFY(renewFolder());
}

void TestHeaderGenerator::writesTheExactText_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("arrayName");
    QTest::addColumn<bool>("progmem");
    const auto row = [](const char *name, const QByteArray &input, const QByteArray &expected,
                        const QByteArray &arrayName = "logo", bool progmem = false) {
        QTest::newRow(name) << input << expected << arrayName << progmem;
    };

    row("empty", QByteArray(), headerText(0, ""));
    row("worked example", QByteArray::fromHex("424D0A"), headerText(3, "\n\t0x42,0x4d,0x0a"));
    row("two-digit values, lower case", QByteArray::fromHex("00090A0F10FF"),
        headerText(6, "\n\t0x00,0x09,0x0a,0x0f,0x10,0xff"));

    QByteArray sixteen;
    QByteArray line;
    for (int i = 0; i < 16; ++i) {
        sixteen += char(i * 17);
        line += (i ? "," : "") + QByteArray("0x") + QByteArray::number(i * 17, 16).rightJustified(2, '0');
    }
    row("16 bytes: one full line", sixteen, headerText(16, "\n\t" + line));
    row("17 bytes: a second line", sixteen + '\x7f', headerText(17, "\n\t" + line + ",\n\t0x7f"));
    row("32 bytes: two full lines", sixteen + sixteen, headerText(32, "\n\t" + line + ",\n\t" + line));

    // Options of quillon-convert: the array's name, and AVR program memory, only on AVR.
    const QByteArray one("\x01", 1);
    row("named array", one, headerText(1, "\n\t0x01").replace("char logo[", "char splash_2["), "splash_2");
    row("program memory", one,
        headerText(1, "\n\t0x01")
            .replace(
                "\n\nconst unsigned char logo[1]",
                "\n\n#ifndef QUILLON_PROGMEM\n#if defined(__AVR__)\n#include <avr/pgmspace.h>\n"
                "#define QUILLON_PROGMEM PROGMEM\n#elif defined(ARDUINO_ARCH_ESP8266)\n#include "
                "<pgmspace.h>\n"
                "#define QUILLON_PROGMEM PROGMEM\n#else\n#define QUILLON_PROGMEM\n#endif\n#endif\n"
                "#ifndef QUILLON_READ_BYTE\n#if defined(__AVR__) && FLASHEND > 0xFFFF\n"
                "#define QUILLON_READ_BYTE(array, i) pgm_read_byte_far(pgm_get_far_address(array) + "
                "(uint32_t)(i))\n#elif defined(__AVR__) || defined(ARDUINO_ARCH_ESP8266)\n"
                "#define QUILLON_READ_BYTE(array, i) pgm_read_byte((const uint8_t *)(array) + (i))\n#else\n"
                "#define QUILLON_READ_BYTE(array, i) (*((const uint8_t *)(array) + (i)))\n#endif\n#endif\n\n"
                "const unsigned char logo[1] QUILLON_PROGMEM"),
        "logo", true);
}

void TestHeaderGenerator::writesTheExactText()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, arrayName);
    QFETCH(bool, progmem);

    // The bytes handed over as they come.
    HeaderOptions options;
    options.arrayName = arrayName;
    options.progmem = progmem;
    HeaderFileWriter writer(path("input.h"), input.size(), options);
    QVERIFY(writer.open() && writer.append(input.constData(), input.size()) && writer.commit());
    QCOMPARE(readFile(path("input.h")), expected);

    // From a file, the window's header.
    if (arrayName == "logo" && !progmem) {
        writeFile(path("input.bin"), input);
        QVERIFY(generateHeaderFile(path("input.bin"), path("input.h")));
        QCOMPARE(readFile(path("input.h")), expected);
    }
}

void TestHeaderGenerator::holdsEveryByteOfLargeInputs()
{
    // Sizes around the generator's 1 MiB read blocks and the 16 values of a line.
    for (int size : {1 << 20, (1 << 20) + 1, (3 << 20) + 15}) {
        const QByteArray input = randomBytes(size);
        writeFile(path("large.bin"), input);
        QVERIFY(generateHeaderFile(path("large.bin"), path("large.h")));
        const QByteArray text = readFile(path("large.h"));

        QVERIFY(text.startsWith(firstLine + "\n\nconst unsigned char logo[" + QByteArray::number(size)
                                + "] = \n{\n\t"));
        QVERIFY(text.endsWith("\n};"));
        QCOMPARE(text.count('\n'), 4 + (size + 15) / 16);
        QVERIFY(parseValues(text) == input);
    }
}

void TestHeaderGenerator::sizeMatchesTheBmpFile()
{
    QImage image(7, 5, QImage::Format_RGB16);
    image.fill(Qt::red);
    QVERIFY(QImage16(image).saveBmp16(path("red16bits.BMP")));
    QVERIFY(generateHeaderFile(path("red16bits.BMP"), path("red.h")));

    const QByteArray text = readFile(path("red.h"));
    QVERIFY(text.contains("logo[" + QByteArray::number(16 * 5 + 54) + "]"));
    QCOMPARE(parseValues(text), readFile(path("red16bits.BMP")));
}

void TestHeaderGenerator::compilesAndGivesBackTheBmpBytes()
{
    const QString compiler = QStandardPaths::findExecutable("cc");
    if (compiler.isEmpty())
        QSKIP("no C compiler (cc) on this machine: the compile round trip cannot run");

    QImage image(13, 9, QImage::Format_RGB16);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 19, y * 28, (x + y) * 11));
    QVERIFY(QImage16(image).saveBmp16(path("photo16bits.BMP")));
    QVERIFY(generateHeaderFile(path("photo16bits.BMP"), path("photo.h")));

    writeFile(path("dump.c"),
              "#include <stdio.h>\n"
              "#include \"photo.h\"\n"
              "int main(void)\n"
              "{\n"
              "    return fwrite(logo, 1, sizeof logo, stdout) == sizeof logo ? 0 : 1;\n"
              "}\n");
    QProcess cc;
    cc.setWorkingDirectory(path());
    cc.start(compiler, {"-std=c99", "-Wall", "-Wextra", "-Werror", "-pedantic", "dump.c", "-o", "dump"});
    QVERIFY(cc.waitForFinished(60000));
    QVERIFY2(cc.exitCode() == 0, cc.readAllStandardError().constData());

    QProcess dump;
    dump.start(path("dump"), QStringList());
    QVERIFY(dump.waitForFinished(10000));
    QCOMPARE(dump.exitCode(), 0);
    QCOMPARE(dump.readAllStandardOutput(), readFile(path("photo16bits.BMP")));
}

void TestHeaderGenerator::failsOnAnUnreadableInput()
{
    QVERIFY(!generateHeaderFile(path("missing.bin"), path("missing.h")));
    QCOMPARE(entryNames(path()), QStringList());

    // An existing header is not emptied when the input turns out to be unreadable.
    writeFile(path("kept.h"), "earlier header");
    QVERIFY(!generateHeaderFile(path("missing.bin"), path("kept.h")));
    QVERIFY(QDir(path()).mkdir("folder.bin"));
    QVERIFY(!generateHeaderFile(path("folder.bin"), path("kept.h")));
    QCOMPARE(readFile(path("kept.h")), QByteArray("earlier header"));
    QCOMPARE(entryNames(path()), (QStringList {"folder.bin", "kept.h"}));
}

void TestHeaderGenerator::failsWithoutCreatingAFolder()
{
    writeFile(path("input.bin"), "abc");
    QVERIFY(!generateHeaderFile(path("input.bin"), path("missing/input.h")));
    QCOMPARE(entryNames(path()), QStringList {"input.bin"});
}

void TestHeaderGenerator::replacesAnExistingHeaderWhole()
{
    writeFile(path("input.bin"), "BM");
    writeFile(path("input.h"), QByteArray(10000, '#'));
    QVERIFY(generateHeaderFile(path("input.bin"), path("input.h")));
    QVERIFY(generateHeaderFile(path("input.bin"), path("input.h")));
    QCOMPARE(readFile(path("input.h")), headerText(2, "\n\t0x42,0x4d"));
    QCOMPARE(entryNames(path()), (QStringList {"input.bin", "input.h"}));
}

void TestHeaderGenerator::keepsThePreviousHeaderWhenTheDiskIsFull_data()
{
    QTest::addColumn<int>("inputSize");
    QTest::addColumn<qint64>("room");

    QTest::newRow("small write, room for part of the first line") << 40 << qint64(20);
    QTest::newRow("small write, room for all but the closing brace") << 40 << qint64(285);
    QTest::newRow("large write cut short") << (2 << 20) << qint64(4 << 20);
}

void TestHeaderGenerator::keepsThePreviousHeaderWhenTheDiskIsFull()
{
    QFETCH(int, inputSize);
    QFETCH(qint64, room);

    writeFile(path("input.bin"), randomBytes(inputSize));
    const QByteArray previous("// the previous header, which must survive");
    writeFile(path("input.h"), previous);

    QVERIFY(
        !runWithFileSizeLimit(room, [&] { return generateHeaderFile(path("input.bin"), path("input.h")); }));
    QCOMPARE(readFile(path("input.h")), previous);
    QCOMPARE(entryNames(path()), (QStringList {"input.bin", "input.h"}));

    // With room for the whole text the same call succeeds.
    QVERIFY(runWithFileSizeLimit(qint64(inputSize) * 6 + 200,
                                 [&] { return generateHeaderFile(path("input.bin"), path("input.h")); }));
}

void TestHeaderGenerator::failsWhenTheInputChangesLengthWhileRead()
{
    // Files under /proc report a size of 0 but have content: the array size written first
    // would not match the values.
    const QString growing = "/proc/self/status";
    if (!QFileInfo::exists(growing))
        QSKIP("no /proc on this system");

    writeFile(path("status.h"), "earlier header");
    QVERIFY(!generateHeaderFile(growing, path("status.h")));
    QCOMPARE(readFile(path("status.h")), QByteArray("earlier header"));
    QCOMPARE(entryNames(path()), QStringList {"status.h"});
}

QTEST_GUILESS_MAIN(TestHeaderGenerator)
#include "tst_headergenerator.moc"
