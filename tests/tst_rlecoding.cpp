#include "picturesupport.h"
#include "rle_coding.h"
#include "testsupport.h"

#include "quillon_rle.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>
#include <vector>

using namespace TestSupport;

// The run-length coding of every display format's arrays, coded in this process as --compress rle
// codes them in the header and read back by the firmware's reader, examples/firmware/quillon_rle.h,
// compiled into this test: on the host in uneven pieces, and from flash on a simulated ATmega328P
// and ATmega2560 and an emulated STM32F405, with a header that quillon-convert wrote.
class TestRleCoding : public QObject
{
    Q_OBJECT

private slots:
    void codesTheLimits_data();
    void codesTheLimits();
    void readsEveryFormatBack_data();
    void readsEveryFormatBack();
    void readsOnChips_data();
    void readsOnChips();

private:
    QTemporaryDir m_dir;
};

namespace {

// Each display format with the bytes its arrays repeat by: a 5-6-5 value, a pixel of three bytes
// (two of rgb444's), or one byte.
const QVector<QPair<QByteArray, int>> formatUnits = {
    {"rgb565", 2}, {"mono", 1},          {"xbm", 1},      {"pages", 1},        {"gray2", 1},
    {"gray4", 1},  {"gray8", 1},         {"index4", 1},   {"index8", 1},       {"epd-bw-red", 1},
    {"epd7", 1},   {"epd-bw-yellow", 1}, {"epd-bwry", 1}, {"epd-spectra6", 1}, {"rgb332", 1},
    {"rgb444", 3}, {"rgb666", 3},        {"rgb888", 3},
};

// The first `size` bytes that the reader gives from `coded`, read `pieces` bytes at a time in turn.
// The coded bytes are held in a buffer of exactly their size, so that a read past them shows under
// AddressSanitizer.
QByteArray readBack(const QByteArray &coded, qint64 size, const QVector<int> &pieces)
{
    const std::vector<uint8_t> held(coded.begin(), coded.end());
    quillon_rle_t reader;
    quillon_rle_init(&reader, held.data());
    QByteArray read(int(size), '\0');
    for (qint64 at = 0, turn = 0; at < size; ++turn) {
        const qint64 count = qMin<qint64>(pieces[turn % pieces.size()], size - at);
        quillon_rle_read(&reader, reinterpret_cast<uint8_t *>(read.data() + at), size_t(count));
        at += count;
    }
    return read;
}

// Uneven pieces across the packets' bounds, and the array at once.
const QVector<QVector<int>> pieceSizes = {{1}, {3, 1, 128, 2, 129, 7}, {1 << 20}};

// A screen of flat colours, W != H and odd: rows that run into the next ones, and edges.
QImage flatScreen(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(qRgb(236, 239, 244));
    QPainter painter(&picture);
    painter.fillRect(0, 0, width, 9, qRgb(33, 97, 190));
    painter.fillRect(5, 14, width - 10, 11, qRgb(221, 75, 57));
    painter.fillRect(20, 30, 3, height - 31, qRgb(67, 160, 71));
    return picture;
}

// The uncompressed array's checksum as the chip program computes it.
quint32 checksum(const QByteArray &bytes)
{
    quint32 sum = 0;
    for (char byte : bytes)
        sum = sum * 31u + uchar(byte);
    return sum;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result += char(value);
    return result;
}

} // namespace

void TestRleCoding::codesTheLimits_data()
{
    QTest::addColumn<QByteArray>("array");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QByteArray>("coded");

    const QByteArray a128 = QByteArray(128, 'a');
    QByteArray distinct; // no two neighbours alike
    for (int i = 0; i < 130; ++i)
        distinct += char(i);
    QTest::newRow("empty: the marker alone") << QByteArray() << 1 << bytes({0});
    QTest::newRow("1 byte: stored") << QByteArray("z") << 1 << QByteArray("\0z", 2);
    QTest::newRow("3 bytes, one run: as short coded") << QByteArray("aaa") << 1 << bytes({1, 0x82, 'a'});
    QTest::newRow("no runs at all: stored") << distinct << 1 << QByteArray(1, '\0') + distinct;
    QTest::newRow("run of 128 bytes, the most a packet holds") << a128 << 1 << bytes({1, 0xff, 'a'});
    QTest::newRow("run of 129: a literal byte after") << a128 + 'a' << 1 << bytes({1, 0xff, 'a', 0x00, 'a'});
    QTest::newRow("run of 131: a run of 3 after") << a128 + "aaa" << 1 << bytes({1, 0xff, 'a', 0x82, 'a'});
    QTest::newRow("2 alike bytes: inside the literal")
        << "xyy" + a128 << 1 << bytes({1, 0x02, 'x', 'y', 'y', 0xff, 'a'});
    QTest::newRow("literal of 128 bytes, then a run")
        << distinct.left(128) + a128 << 1 << bytes({1, 0x7f}) + distinct.left(128) + bytes({0xff, 'a'});
    QTest::newRow("literal of 129 bytes, then a run") << distinct.left(129)
            + a128 << 1 << bytes({1, 0x7f}) + distinct.left(128) + bytes({0x00, 128, 0xff, 'a'});
    // 5-6-5 values: a run of 2 values is coded as one; a repeated byte inside a value is not.
    QTest::newRow("5-6-5: runs of 2 values and of 128")
        << bytes({0x12, 0x34, 0x12, 0x34, 0x56, 0x56}) + QByteArray(256, '\x78') << 2
        << bytes({2, 0x81, 0x12, 0x34, 0x00, 0x56, 0x56, 0xff, 0x78, 0x78});
    QTest::newRow("5-6-5: 129 values, the last alone")
        << QByteArray(258, '\x78') << 2 << bytes({2, 0xff, 0x78, 0x78, 0x00, 0x78, 0x78});
    QTest::newRow("odd size, its last unit filled with zeros")
        << QByteArray(40, 'a') + 'b' << 2 << bytes({2, 0x93, 'a', 'a', 0x00, 'b', 0});
    QTest::newRow("3-byte units: a run of 2 units") << QByteArray("abcabc") + QByteArray(30, 'd') << 3
                                                    << bytes({3, 0x81, 'a', 'b', 'c', 0x89, 'd', 'd', 'd'});
    QTest::newRow("2 bytes that would take 3: stored") << QByteArray("ab") << 2 << QByteArray("\0ab", 3);
    QTest::newRow("as long coded as stored: stored")
        << bytes({1, 2, 3, 4, 4, 4}) << 1 << bytes({0, 1, 2, 3, 4, 4, 4});
    QTest::newRow("one byte shorter coded: coded")
        << bytes({1, 2, 4, 4, 4, 4}) << 1 << bytes({1, 0x01, 1, 2, 0x83, 4});
}

void TestRleCoding::codesTheLimits()
{
    QFETCH(QByteArray, array);
    QFETCH(int, unit);
    QFETCH(QByteArray, coded);
    QCOMPARE(QuillonRle::compress(array, unit).toHex(' '), coded.toHex(' '));
    for (const QVector<int> &pieces : pieceSizes)
        QCOMPARE(readBack(coded, array.size(), pieces).toHex(' '), array.toHex(' '));
}

void TestRleCoding::readsEveryFormatBack_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("strideAlign");
    QTest::addColumn<bool>("mask"); // rgb565's, coded apart
    QTest::addColumn<bool>("bgr"); // --color-order bgr
    QTest::addColumn<bool>("shrinks"); // to a third or less

    // The formats whose rows run into one another: not those of a byte or less a row that end with
    // a filler unlike the pixels before it.
    const QByteArrayList flatShrinks
        = {"rgb565",     "pages",         "gray4",  "gray8",  "index4", "index8",
           "epd-bw-red", "epd-bw-yellow", "rgb332", "rgb444", "rgb666", "rgb888"};
    for (const auto &[format, unit] : formatUnits) {
        QTest::addRow("%s, flat screen 61 x 40", format.constData())
            << format << unit << flatScreen(61, 40) << 1 << false << false << flatShrinks.contains(format);
        QTest::addRow("%s, a colour a pixel 37 x 23", format.constData())
            << format << unit << patternPicture(37, 23) << 1 << false << false << false;
        QTest::addRow("%s, 1 x 1", format.constData())
            << format << unit << patternPicture(1, 1) << 1 << false << false << false;
    }
    // Padded rows, coded with their padding; a mask beside the 5-6-5 values, coded a byte at a time.
    QTest::newRow("rgb565, rows of 8 bytes, flat")
        << QByteArray("rgb565") << 2 << flatScreen(61, 40) << 8 << false << false << true;
    QTest::newRow("gray4, rows of 4 bytes, a colour a pixel")
        << QByteArray("gray4") << 1 << patternPicture(37, 23) << 4 << false << false << false;
    QTest::newRow("pages, rows of 2 bytes, flat")
        << QByteArray("pages") << 1 << flatScreen(61, 40) << 2 << false << false << true;
    QTest::newRow("rgb565 with a mask, a colour a pixel")
        << QByteArray("rgb565") << 2 << patternPicture(37, 23, true) << 1 << true << false << false;
    // The colour layouts blue first, and in rows of 8 bytes: 61 x 3 bytes padded to 184, units of
    // three bytes across the rows' ends.
    for (const char *format : {"rgb332", "rgb444", "rgb666", "rgb888"}) {
        const int unit = qstrcmp(format, "rgb332") == 0 ? 1 : 3;
        QTest::addRow("%s, bgr, flat", format)
            << QByteArray(format) << unit << flatScreen(61, 40) << 1 << false << true << true;
        if (qstrcmp(format, "rgb444") != 0) // whose rows run into one another, unpadded
            QTest::addRow("%s, bgr, rows of 8 bytes, a colour a pixel", format)
                << QByteArray(format) << unit << patternPicture(37, 23) << 8 << false << true << false;
    }
    QTest::newRow("rgb888, rows of 8 bytes, flat")
        << QByteArray("rgb888") << 3 << flatScreen(61, 40) << 8 << false << false << true;
}

// Each array of a picture's pixels, as the header of --compress rle holds it: NAME_rle, coded in
// the format's units (or stored, when that is no shorter), NAME_size its bytes, which the reader
// gives back as the same call without --compress writes them; the palette as it is.
void TestRleCoding::readsEveryFormatBack()
{
    QFETCH(QByteArray, format);
    QFETCH(int, unit);
    QFETCH(QImage, picture);
    QFETCH(int, strideAlign);
    QFETCH(bool, mask);
    QFETCH(bool, bgr);
    QFETCH(bool, shrinks);

    EncodingOptions options;
    options.header.arrayName = "pic";
    options.shown = EncodingOptions::NotShown;
    options.arrays.strideAlign = strideAlign;
    options.pixels.alphaMask = mask;
    options.pixels.bgr = bgr;
    const EncodedPicture encoded = encodedFor(picture, format, options);
    options.arrays.compression = ArrayLayout::Rle;
    const CHeader header = encodedFor(picture, format, options).header;
    const QHash<QByteArray, QByteArray> arrays = arraysOf(header);
    const QString text = headerText(header);
    QCOMPARE(arrays.size(), encoded.header.arrays.size());
    // Once, however many arrays are coded (a mask, two planes).
    QCOMPARE(header.includes.count("\"quillon_rle.h\""), 1);
    for (const CArray &array : encoded.header.arrays) {
        if (array.name.endsWith("_palette")) { // stays uncompressed
            QCOMPARE(arrays.value(array.name), array.data);
            continue;
        }
        const QByteArray coded = arrays.value(array.name + "_rle");
        QVERIFY2(!coded.isEmpty(), array.name.constData());
        QVERIFY2(coded.size() <= array.data.size() + 1, array.name.constData());
        const int arrayUnit = array.name == options.header.arrayName ? unit : 1; // not the mask, nor planes
        QVERIFY2(coded[0] == char(arrayUnit) || coded == char(0) + array.data, array.name.constData());
        if (shrinks)
            QVERIFY2(coded.size() * 3 <= array.data.size(), array.name.constData());
        QVERIFY(
            header.macros.contains(qMakePair(array.name + "_size", QByteArray::number(array.data.size()))));
        // The comment weighs it against the array it codes.
        const QString weighed = QString("%1 bytes instead of %2 (%3%).")
                                    .arg(coded.size())
                                    .arg(array.data.size())
                                    .arg(qRound(100.0 * coded.size() / array.data.size()));
        QVERIFY2(
            text.contains("\n// " + array.name + "_rle: "
                          + (coded.size() > array.data.size()
                                 ? "stored as it is after a 0 byte, which coding it by runs would not make "
                                   "smaller, "
                                 : "run-length coded, ")
                          + weighed + "\n"),
            qPrintable(text));
        for (const QVector<int> &pieces : pieceSizes)
            QCOMPARE(readBack(coded, array.data.size(), pieces), array.data);
    }
}

void TestRleCoding::readsOnChips_data()
{
    QTest::addColumn<QStringList>("build"); // the compiler, its language and chip's options, the board
    QTest::addColumn<QStringList>("run"); // the simulator, before the program; nothing on the host

    const QString firmware = FIRMWARE_TEST_DIR;
    const QStringList c99 = {"-std=c99", "-pedantic"}, cxx17 = {"-x", "c++", "-std=c++17", "-pedantic"};
    QTest::newRow("host, C99") << QStringList {"cc"} + c99 + QStringList {firmware + "/host_board.c"}
                               << QStringList();
    QTest::newRow("host, C++17") << QStringList {"c++"} + cxx17 + QStringList {firmware + "/host_board.c"}
                                 << QStringList();
    const QStringList avr = {"-Os", firmware + "/avr_board.c"};
    const QStringList mega2560 = {"simavr", "-m", "atmega2560", "-f", "16000000"};
    // The arrays in the first 64 KB of flash, read with pgm_read_byte and memcpy_P.
    QTest::newRow("ATmega328P") << QStringList {"avr-gcc", "-mmcu=atmega328p"} + c99 + avr
                                << QStringList {"simavr", "-m", "atmega328p", "-f", "16000000"};
    // Past the first 64 KB, read from their 32-bit address.
    QTest::newRow("ATmega2560, past 64 KB")
        << QStringList {"avr-gcc", "-mmcu=atmega2560", "-DPAST_64K"} + c99 + avr << mega2560;
    QTest::newRow("ATmega2560, past 64 KB, C++17")
        << QStringList {"avr-g++", "-mmcu=atmega2560", "-DPAST_64K"} + cxx17 + avr << mega2560;
    // The words of a command line, none of them holding a space (the paths are added apart).
    const auto words = [](const QString &line) { return line.split(' '); };
    QTest::newRow("STM32F405")
        << words("arm-none-eabi-gcc -std=c99 -Os -mcpu=cortex-m4 -mthumb -nostdlib -T")
            + QStringList {firmware + "/stm32f405.ld", firmware + "/arm_board.c", "-lc", "-lgcc"}
        << words("qemu-system-arm -M netduinoplus2 -nographic -monitor none -serial none "
                 "-semihosting-config enable=on,target=native -kernel");
}

void TestRleCoding::readsOnChips()
{
    QFETCH(QStringList, build);
    QFETCH(QStringList, run);
    for (const QString &tool : {build.first(), run.value(0, build.first())}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + " is not installed (scripts/install-deps installs it)"));
    }
    const bool mega2560 = build.contains("-mmcu=atmega2560");

    // Every format's arrays of a flat screen and of a colour a pixel, coded, in flash; on the
    // ATmega2560 also a 200 x 200 rgb565 screen, 80,000 bytes once read.
    // A header that quillon-convert wrote, as the firmware includes it, beside its reader.
    const QImage screen = flatScreen(61, 40);
    savePicture(screen, m_dir.filePath("written.png"), "PNG");
    const Run written = runProgram({QUILLON_CONVERT, "-f", "--format", "rgb565", "--compress", "rle", "-o",
                                    m_dir.path(), m_dir.filePath("written.png")});
    QVERIFY2(written.exitCode == 0, qPrintable(written.err));
    EncodingOptions uncoded;
    uncoded.header.arrayName = "written";
    uncoded.shown = EncodingOptions::NotShown;
    const QByteArray writtenArray = arraysOf(encodedFor(screen, "rgb565", uncoded).header).value("written");
    QByteArray arrays = "#include \"written.h\"\n";
    QByteArray list = " \\\n    X(written_rle, written_size, 0, \"quillon-convert rgb565 written\")";
    QByteArray expected = "quillon-convert rgb565 written: bytes " + QByteArray::number(writtenArray.size())
        + " checksum " + QByteArray::number(checksum(writtenArray), 16)
        + (mega2560 ? " above 64 KB\n" : "\n");
    int count = 0;
    QVector<std::tuple<QImage, QByteArray, int>> pictures;
    for (const auto &[format, unit] : formatUnits)
        pictures << std::make_tuple(flatScreen(61, 40), format, unit)
                 << std::make_tuple(patternPicture(37, 23), format, unit);
    if (mega2560)
        pictures << std::make_tuple(flatScreen(200, 200), QByteArray("rgb565"), 2);
    for (const auto &[picture, format, unit] : pictures) {
        EncodingOptions options;
        options.header.arrayName = "pic";
        options.shown = EncodingOptions::NotShown;
        for (const CArray &array : encodedFor(picture, format, options).header.arrays) {
            if (array.name.endsWith("_palette"))
                continue;
            const QByteArray name = "coded" + QByteArray::number(count++);
            const QByteArray label = format + ' ' + array.name + ' ' + QByteArray::number(picture.width());
            arrays += "static const uint8_t " + name + "[] QUILLON_PROGMEM = {"
                + QuillonRle::compress(array.data, array.name == "pic" ? unit : 1)
                      .toHex(',')
                      .replace(",", ",0x")
                      .prepend("0x")
                + "};\n";
            list += " \\\n    X(" + name + ", " + QByteArray::number(array.data.size()) + "u, 0, \"" + label
                + "\")";
            expected += label + ": bytes " + QByteArray::number(array.data.size()) + " checksum "
                + QByteArray::number(checksum(array.data), 16) + (mega2560 ? " above 64 KB\n" : "\n");
        }
    }
    // On the ATmega2560, arrays over avr-gcc's 32,767 bytes in far program memory, in pieces: an
    // rgb565 picture of 80,000 bytes read through QUILLON_READ_BYTE, against the 5-6-5 values
    // of its pixels, low byte first; one of 40,000 bytes that does not shrink, coded, through the
    // reader.
    QByteArray byteList;
    if (mega2560) {
        const QImage big = patternPicture(250, 160), coded = patternPicture(200, 100);
        savePicture(big, m_dir.filePath("big.png"), "PNG");
        savePicture(coded, m_dir.filePath("bigcoded.png"), "PNG");
        for (const QStringList &call :
             {QStringList {"big.png"}, QStringList {"--compress", "rle", "bigcoded.png"}}) {
            const Run far
                = runProgram(QStringList {QUILLON_CONVERT, "-f", "--format", "rgb565", "-o", m_dir.path()}
                             + call.mid(0, call.size() - 1) + QStringList {m_dir.filePath(call.last())});
            QVERIFY2(far.exitCode == 0, qPrintable(far.err));
        }
        QVERIFY(readFile(m_dir.filePath("big.h"))
                    .contains("big[QUILLON_FAR_SIZE(40000, 16383)] QUILLON_FAR(big)"));
        QVERIFY(readFile(m_dir.filePath("bigcoded.h")).contains("QUILLON_FAR(bigcoded_rle)"));
        const auto bytes565 = [](const QImage &picture) {
            QByteArray bytes;
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < picture.width(); ++x) {
                    const QRgb pixel = picture.pixel(x, y);
                    const int value
                        = (qRed(pixel) >> 3) << 11 | (qGreen(pixel) >> 2) << 5 | qBlue(pixel) >> 3;
                    bytes += char(value & 0xff);
                    bytes += char(value >> 8);
                }
            }
            return bytes;
        };
        arrays += "#include \"big.h\"\n#include \"bigcoded.h\"\n";
        list += " \\\n    X(bigcoded_rle, bigcoded_size, 0, \"far coded\")";
        expected += "far coded: bytes 40000 checksum " + QByteArray::number(checksum(bytes565(coded)), 16)
            + " above 64 KB\n";
        byteList = "#define BYTE_ARRAYS Y(big, 80000u, \"far\")\n";
        expected += "far: bytes 80000 checksum " + QByteArray::number(checksum(bytes565(big)), 16)
            + " above 64 KB\n";
    }
    // Flash filled ahead of the arrays on the ATmega2560 (avr-gcc places the later definitions
    // first), so that they lie above the first 64 KB.
    writeFile(m_dir.filePath("rle_arrays.h"),
              "#include <stdint.h>\n"
              "#ifdef __AVR__\n#include <avr/pgmspace.h>\n#define QUILLON_PROGMEM PROGMEM\n"
              "#else\n#define QUILLON_PROGMEM\n#endif\n"
                  + arrays
                  + "#ifdef PAST_64K\n"
                    "#define FILLER(name) __attribute__((used)) const uint8_t name[32000] PROGMEM = {1};\n"
                    "FILLER(filler1)\nFILLER(filler2)\nFILLER(filler3)\n"
                    "#endif\n"
                  + byteList + "#define ARRAYS" + list + '\n');

    const Run compiler
        = runProgram(build
                     + QStringList {"-Wall", "-Wextra", "-Werror", "-I", FIRMWARE_DIR, "-I", m_dir.path(),
                                    FIRMWARE_TEST_DIR "/rle_main.c", "-o", m_dir.filePath("chip.elf")});
    QVERIFY2(compiler.exitCode == 0, qPrintable(compiler.out + compiler.err));
    const Run chip = runProgram(run + QStringList {m_dir.filePath("chip.elf")});
    QCOMPARE(chip.exitCode, 0);
    // simavr colours each line of the serial output and ends it with a dot.
    QString output = chip.out + chip.err;
    output.remove(QRegularExpression("\\x1b\\[[0-9;]*m"));
    output.remove(QRegularExpression("\\.$", QRegularExpression::MultilineOption));
    output.remove(QRegularExpression(" ticks \\d+"));
    QCOMPARE(output.mid(output.indexOf("in RAM: ")), "in RAM: aaabc\n" + expected + "end\n");
}

QTEST_GUILESS_MAIN(TestRleCoding)
#include "tst_rlecoding.moc"
