#include "picturesupport.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

// The C reader in examples/firmware, compiled on the host with the headers quillon-convert
// writes, must give back every pixel of the picture's 5-6-5 form.
class TestFirmwareReader : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void readsEveryPixel_data();
    void readsEveryPixel();
    void refusesDamagedArrays();
    void buildsTheExample();
    void buildsForAnEightBitBoard();
    void compilesTheRgb565HeaderOnItsOwn();
    void readsEveryPixelOnChips_data();
    void readsEveryPixelOnChips();

private:
    // Converts a picture into `name`.h in the work folder, with quillon-convert's `options`; its
    // array is logo unless they name it.
    void convert(const QImage &picture, const QString &name, const QStringList &options = {});
    // Compiles the C files with the reader under the strictest warnings; returns the program.
    QString compile(const QString &compiler, const QStringList &sources, const QStringList &extra = {});
    QByteArray runProgram(const QString &program);

    QString m_cc;
};

void TestFirmwareReader::initTestCase()
{
    m_cc = QStandardPaths::findExecutable("cc");
    if (m_cc.isEmpty())
        QSKIP("no C compiler (cc) on this machine");
}

void TestFirmwareReader::init()
{
    QVERIFY(renewFolder());
}

void TestFirmwareReader::convert(const QImage &picture, const QString &name, const QStringList &options)
{
    const QString png = path(name + ".png");
    savePicture(picture, png, "PNG");
    QProcess process;
    // The array is logo, as the window names it, unless the options name it.
    const QStringList naming = options.contains("--name") ? QStringList() : QStringList {"--name", "logo"};
    process.start(QUILLON_CONVERT, naming + options + QStringList {"--force", "-o", path(), png});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qFatal("quillon-convert failed: %s", process.readAllStandardError().constData());
}

QString TestFirmwareReader::compile(const QString &compiler, const QStringList &sources,
                                    const QStringList &extra)
{
    const QString program = path("program");
    QStringList arguments {"-std=c99", "-Wall",      "-Wextra", "-Werror", "-pedantic",
                           "-I",       FIRMWARE_DIR, "-I",      path(),    FIRMWARE_DIR "/quillon_bmp.c",
                           "-o",       program};
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(compiler, arguments + extra + sources);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(compiler), process.readAll().constData());
    return program;
}

QByteArray TestFirmwareReader::runProgram(const QString &program)
{
    QProcess process;
    process.start(program, QStringList());
    if (!process.waitForFinished(60000))
        qFatal("the program did not finish");
    return process.readAllStandardOutput() + "exit " + QByteArray::number(process.exitCode()) + "\n";
}

void TestFirmwareReader::readsEveryPixel_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1 x 1") << QSize(1, 1);
    QTest::newRow("2 x 1, no padding") << QSize(2, 1);
    QTest::newRow("odd width") << QSize(37, 23);
    QTest::newRow("even width") << QSize(64, 48);
    QTest::newRow("tall") << QSize(3, 70);
}

void TestFirmwareReader::readsEveryPixel()
{
    QFETCH(QSize, size);
    const QImage picture = patternPicture(size.width(), size.height());
    convert(picture, "picture");
    writeFile(path("main.c"),
              "#include <stdio.h>\n"
              "#include \"quillon_bmp.h\"\n"
              "#include \"picture.h\"\n"
              "int main(void)\n"
              "{\n"
              "    quillon_bmp bmp;\n"
              "    int32_t x, y;\n"
              "    if (quillon_bmp_open(&bmp, logo, sizeof logo) != QUILLON_BMP_OK)\n"
              "        return 1;\n"
              "    printf(\"%ld x %ld\\n\", (long)bmp.width, (long)bmp.height);\n"
              "    for (y = 0; y < bmp.height; ++y)\n"
              "        for (x = 0; x < bmp.width; ++x)\n"
              "            printf(\"%04x\\n\", (unsigned)quillon_bmp_pixel(&bmp, x, y));\n"
              "    return 0;\n"
              "}\n");

    // What the device must see: the picture's own 5-6-5 pixels, top-left first.
    const QImage rgb16 = picture.convertToFormat(QImage::Format_RGB16);
    QByteArray expected = QByteArray::number(size.width()) + " x " + QByteArray::number(size.height()) + "\n";
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            expected += QByteArray::number(reinterpret_cast<const quint16 *>(rgb16.constScanLine(y))[x], 16)
                            .rightJustified(4, '0')
                + "\n";
    QCOMPARE(runProgram(compile(m_cc, {path("main.c")})), expected + "exit 0\n");
}

void TestFirmwareReader::refusesDamagedArrays()
{
    convert(patternPicture(5, 4), "picture");
    // Each line damages a copy of the array in one way and prints what the reader says.
    writeFile(path("main.c"),
              "#include <stdio.h>\n"
              "#include <string.h>\n"
              "#include \"quillon_bmp.h\"\n"
              "#include \"picture.h\"\n"
              "static int check(size_t at, unsigned char value, size_t size)\n"
              "{\n"
              "    unsigned char copy[sizeof logo];\n"
              "    quillon_bmp bmp;\n"
              "    memcpy(copy, logo, sizeof logo);\n"
              "    if (at < sizeof logo)\n"
              "        copy[at] = value;\n"
              "    return quillon_bmp_open(&bmp, copy, size);\n"
              "}\n"
              "int main(void)\n"
              "{\n"
              "    printf(\"intact %d\\n\", check(sizeof logo, 0, sizeof logo));\n"
              "    printf(\"one byte short %d\\n\", check(sizeof logo, 0, sizeof logo - 1));\n"
              "    printf(\"header only %d\\n\", check(sizeof logo, 0, 53));\n"
              "    printf(\"signature %d\\n\", check(1, 'A', sizeof logo));\n"
              "    printf(\"24 bits %d\\n\", check(28, 24, sizeof logo));\n"
              "    printf(\"bit fields %d\\n\", check(30, 3, sizeof logo));\n"
              "    printf(\"info header %d\\n\", check(14, 108, sizeof logo));\n"
              "    printf(\"no width %d\\n\", check(18, 0, sizeof logo));\n"
              "    printf(\"taller than the rows %d\\n\", check(22, 9, sizeof logo));\n"
              "    printf(\"pixels past the end %d\\n\", check(10, 200, sizeof logo));\n"
              "    return 0;\n"
              "}\n");
    QCOMPARE(runProgram(compile(m_cc, {path("main.c")})),
             QByteArray("intact 0\n"
                        "one byte short -1\n"
                        "header only -1\n"
                        "signature -2\n"
                        "24 bits -3\n"
                        "bit fields -3\n"
                        "info header -3\n"
                        "no width -3\n"
                        "taller than the rows -1\n"
                        "pixels past the end -1\n"
                        "exit 0\n"));
}

void TestFirmwareReader::buildsTheExample()
{
    convert(patternPicture(20, 10), "logo");
    QCOMPARE(runProgram(compile(m_cc, {FIRMWARE_DIR "/example.c"})), QByteArray("exit 0\n"));
}

void TestFirmwareReader::buildsForAnEightBitBoard()
{
    const QString avrGcc = QStandardPaths::findExecutable("avr-gcc");
    if (avrGcc.isEmpty())
        QSKIP("avr-gcc (Debian package gcc-avr) is not installed");
    // The example as it stands, with its array in program memory.
    convert(patternPicture(20, 10), "logo", {"--progmem"});
    compile(avrGcc, {FIRMWARE_DIR "/example.c"}, {"-mmcu=atmega328p", "-Os", "-DQUILLON_AVR_PROGMEM"});
    QVERIFY(QFileInfo(path("program")).size() > 0);
}

void TestFirmwareReader::compilesTheRgb565HeaderOnItsOwn()
{
    // The header alone, under the strictest warnings, in C and C++; its sizes are constants. The
    // picture's name, BMP, gives it the guard QUILLON_BMP_H, which must not be the reader's.
    convert(patternPicture(13, 5), "BMP", {"--format", "rgb565", "--name", "pic"});
    writeFile(path("check.c"),
              "#include \"quillon_bmp.h\"\n"
              "#include \"BMP.h\"\n"
              "typedef char sizes_are_constants[pic_width * pic_height == 65 ? 1 : -1];\n"
              "typedef char array_holds_them[sizeof pic == 65 * 2 ? 1 : -1];\n");
    const QString cxx = QStandardPaths::findExecutable("c++");
    for (const QStringList &compiler :
         {QStringList {m_cc, "-std=c99"}, QStringList {cxx, "-x", "c++", "-std=c++11"}}) {
        if (compiler.first().isEmpty())
            continue;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(compiler.first(),
                      compiler.mid(1)
                          + QStringList {"-Wall", "-Wextra", "-pedantic", "-Werror", "-I", FIRMWARE_DIR, "-c",
                                         path("check.c"), "-o", path("check.o")});
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitCode() == 0, process.readAll().constData());
    }
}

void TestFirmwareReader::readsEveryPixelOnChips_data()
{
    QTest::addColumn<QStringList>("build"); // the compiler and its chip's options
    QTest::addColumn<QStringList>("run"); // the simulator, before the program
    QTest::addColumn<QSize>("firstSize");
    QTest::addColumn<bool>("aboveFirst64K");

    const QString firmware = FIRMWARE_TEST_DIR;
    const QStringList avr = {"avr-gcc", "-Os", "-DQUILLON_AVR_PROGMEM", firmware + "/avr_board.c"};
    // An Arduino Uno's chip: 32 KB of flash, so pictures that leave room for the program.
    QTest::newRow("ATmega328P") << avr + QStringList {"-mmcu=atmega328p"}
                                << QStringList {"simavr", "-m", "atmega328p", "-f", "16000000"}
                                << QSize(96, 72) << false;
    // 256 KB of flash; the pictures lie above the first 64 KB, the first near avr-gcc's limit of
    // 32,767 bytes for one array.
    QTest::newRow("ATmega2560, far reads")
        << avr + QStringList {"-mmcu=atmega2560", "-DPAST_64K"}
        << QStringList {"simavr", "-m", "atmega2560", "-f", "16000000"} << QSize(128, 127) << true;
    // A Cortex-M4: const arrays stay in flash without any attribute.
    QTest::newRow("STM32F405") << QStringList {"arm-none-eabi-gcc",
                                               "-Os",
                                               "-mcpu=cortex-m4",
                                               "-mthumb",
                                               "-nostdlib",
                                               "-T",
                                               firmware + "/stm32f405.ld",
                                               firmware + "/arm_board.c",
                                               "-lc",
                                               "-lgcc"}
                               << QStringList {"qemu-system-arm",
                                               "-M",
                                               "netduinoplus2",
                                               "-nographic",
                                               "-monitor",
                                               "none",
                                               "-serial",
                                               "none",
                                               "-semihosting-config",
                                               "enable=on,target=native",
                                               "-kernel"}
                               << QSize(128, 127) << false;
}

void TestFirmwareReader::readsEveryPixelOnChips()
{
    QFETCH(QStringList, build);
    QFETCH(QStringList, run);
    QFETCH(QSize, firstSize);
    QFETCH(bool, aboveFirst64K);
    for (const QString &tool : {build.first(), run.first()}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + " is not installed (scripts/install-deps installs it)"));
    }

    // Each picture under its own name, in AVR program memory where there is one.
    const bool avr = build.first() == "avr-gcc";
    const QStringList progmem = avr ? QStringList {"--progmem"} : QStringList();
    const QImage first = patternPicture(firstSize.width(), firstSize.height());
    const QImage second = patternPicture(64, 32, true);
    convert(first, "first", progmem + QStringList {"--name", "first"});
    convert(second, "second", progmem + QStringList {"--name", "second"});

    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(build.first(),
                   build.mid(1)
                       + QStringList {"-std=c99", "-Wall", "-Wextra", "-Werror", "-I", FIRMWARE_DIR, "-I",
                                      path(), FIRMWARE_TEST_DIR "/chip_main.c", FIRMWARE_DIR "/quillon_bmp.c",
                                      "-o", path("chip.elf")});
    QVERIFY(compiler.waitForFinished(120000));
    QVERIFY2(compiler.exitCode() == 0, compiler.readAll().constData());

    QProcess chip;
    chip.setProcessChannelMode(QProcess::MergedChannels);
    chip.start(run.first(), run.mid(1) + QStringList {path("chip.elf")});
    QVERIFY(chip.waitForFinished(120000));
    QCOMPARE(chip.exitCode(), 0);
    // simavr colours each line of the serial output and ends it with a dot.
    QString output = QString::fromUtf8(chip.readAll()).remove(QRegularExpression("\\x1b\\[[0-9;]*m"));
    output.remove(QRegularExpression("\\.$", QRegularExpression::MultilineOption));

    const auto expected = [&](const char *name, const QImage &picture) {
        // Blended onto black, then each channel cut to its 5, 6 or 5 high bits.
        quint32 checksum = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb pixel = qPremultiply(picture.pixel(x, y));
                checksum = checksum * 31u
                    + quint16((qRed(pixel) >> 3) << 11 | (qGreen(pixel) >> 2) << 5 | qBlue(pixel) >> 3);
            }
        }
        return QString("%1 %2x%3 %4%5\n")
            .arg(name)
            .arg(picture.width())
            .arg(picture.height())
            .arg(checksum, 0, 16)
            .arg(aboveFirst64K ? " above 64 KB" : "");
    };
    QVERIFY2(output.contains(expected("first", first) + expected("second", second)), qPrintable(output));
    QVERIFY2(output.contains("end\n"), qPrintable(output));

    // What reading a pixel costs at 16 MHz, for the record: Timer1 counts cycles / 256.
    const QRegularExpressionMatch timing = QRegularExpression("ticks (\\d+) pixels (\\d+)").match(output);
    if (timing.hasMatch()) {
        const double cycles = timing.captured(1).toDouble() * 256 / timing.captured(2).toDouble();
        qInfo("%.0f cycles a pixel, %.1f us at 16 MHz", cycles, cycles / 16);
    }
}

QTEST_GUILESS_MAIN(TestFirmwareReader)
#include "tst_firmwarereader.moc"
