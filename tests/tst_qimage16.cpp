#include "picturesupport.h"
#include "qimage16.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <cstring>

using namespace TestSupport;

namespace {

// A 5-6-5 image whose scan lines, padding included, are first filled with garbage: the padding
// that Qt leaves uninitialised must never reach the file.
QImage rgb16Image(int width, int height, const std::function<quint16(int, int)> &pixel)
{
    QImage image(width, height, QImage::Format_RGB16);
    std::memset(image.bits(), 0xA5, size_t(image.sizeInBytes()));
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<quint16 *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = pixel(x, y);
    }
    return image;
}

QImage randomImage(int width, int height)
{
    auto *random = QRandomGenerator::global();
    return rgb16Image(width, height, [random](int, int) { return quint16(random->bounded(0x10000)); });
}

quint32 field32(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 field16(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

} // namespace

class TestQImage16 : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void holdsTheImageGiven();
    void writesTheWorkedExampleByteForByte();
    void writesHeaderAndRowsForEverySize_data();
    void writesHeaderAndRowsForEverySize();
    void putsTheTopLeftPixelInTheLastRow();
    void ignoresTheSourceResolution();
    void convertsOtherFormatsTo565();
    void writesTheSameBytesOnEveryRun();

    void refusesANullImage();
    void failsWithoutCreatingAFolder();
    void replacesAnExistingFileWhole();
    void keepsThePreviousFileWhenTheDiskIsFull_data();
    void keepsThePreviousFileWhenTheDiskIsFull();
    void failsOnAnUnwritableTarget();
};

void TestQImage16::init()
{
    QVERIFY(renewFolder());
}

void TestQImage16::holdsTheImageGiven()
{
    QImage16 image;
    QVERIFY(image.isNull());

    const QImage first = randomImage(5, 3);
    image.setImage(first);
    QVERIFY(!image.isNull());
    QCOMPARE(image.format(), QImage::Format_RGB16);
    QCOMPARE(image.size(), QSize(5, 3));
    QCOMPARE(image.constBits(), first.constBits()); // shared, not copied

    const QImage second = randomImage(2, 2);
    image.setImage(second);
    QCOMPARE(image.size(), QSize(2, 2));
    QCOMPARE(QImage(image), second);

    const QImage16 constructed(second);
    QCOMPARE(constructed.constBits(), second.constBits());
}

void TestQImage16::writesTheWorkedExampleByteForByte()
{
    // A 3 x 2 picture: top row red, green, blue; bottom row white, black, grey.
    const quint16 pixels[2][3] = {{0xF800, 0x07E0, 0x001F}, {0xFFFF, 0x0000, 0x8410}};
    const QImage16 image(rgb16Image(3, 2, [&](int x, int y) { return pixels[y][x]; }));
    QVERIFY(image.saveBmp16(path("example16bits.BMP")));

    const QByteArray expected = QByteArray::fromHex("424D46000000000000003600000028000000"
                                                    "030000000200000001001000000000001000"
                                                    "0000120B0000120B00000000000000000000"
                                                    // bottom row, then 2 alignment bytes
                                                    "FFFF000010840000"
                                                    // top row
                                                    "00F8E0071F000000");
    QCOMPARE(readFile(path("example16bits.BMP")).toHex(' '), expected.toHex(' '));
}

void TestQImage16::writesHeaderAndRowsForEverySize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("rowSize");

    QTest::newRow("1 x 1: one pixel and 2 alignment bytes") << QSize(1, 1) << 4;
    QTest::newRow("2 x 1: no alignment bytes") << QSize(2, 1) << 4;
    QTest::newRow("odd width") << QSize(7, 5) << 16;
    QTest::newRow("even width") << QSize(8, 5) << 16;
    QTest::newRow("one column") << QSize(1, 9) << 4;
    QTest::newRow("wide, odd") << QSize(1001, 3) << 2004;
    QTest::newRow("rows spanning several write blocks") << QSize(1023, 1100) << 2048;
    for (int i = 0; i < 4; ++i) {
        const int width = QRandomGenerator::global()->bounded(1, 600);
        const int height = QRandomGenerator::global()->bounded(1, 400);
        QTest::addRow("random %d x %d", width, height) << QSize(width, height) << (width * 2 + 3) / 4 * 4;
    }
}

void TestQImage16::writesHeaderAndRowsForEverySize()
{
    QFETCH(QSize, size);
    QFETCH(int, rowSize);

    const QImage16 image(randomImage(size.width(), size.height()));
    QVERIFY(image.saveBmp16(path("picture16bits.BMP")));
    const QByteArray bytes = readFile(path("picture16bits.BMP"));

    const quint32 imageSize = quint32(rowSize * size.height());
    QCOMPARE(bytes.size(), int(imageSize) + 54);
    QCOMPARE(bytes.left(2), QByteArray("BM"));
    QCOMPARE(field32(bytes, 2), imageSize + 54);
    QCOMPARE(field32(bytes, 6), 0u);
    QCOMPARE(field32(bytes, 10), 54u);
    QCOMPARE(field32(bytes, 14), 40u);
    QCOMPARE(qint32(field32(bytes, 18)), size.width());
    QCOMPARE(qint32(field32(bytes, 22)), size.height());
    QCOMPARE(field16(bytes, 26), quint16(1));
    QCOMPARE(field16(bytes, 28), quint16(16));
    QCOMPARE(field32(bytes, 30), 0u);
    QCOMPARE(field32(bytes, 34), imageSize);
    QCOMPARE(field32(bytes, 38), 2834u);
    QCOMPARE(field32(bytes, 42), 2834u);
    QCOMPARE(field32(bytes, 46), 0u);
    QCOMPARE(field32(bytes, 50), 0u);
    QVERIFY(bytes.mid(54) == expectedBmp(image).mid(54));
}

void TestQImage16::putsTheTopLeftPixelInTheLastRow()
{
    const QImage16 image(rgb16Image(4, 3, [](int x, int y) { return x == 0 && y == 0 ? 0xF800 : 0; }));
    QVERIFY(image.saveBmp16(path("red16bits.BMP")));
    const QByteArray bytes = readFile(path("red16bits.BMP"));

    const int lastRow = 54 + 2 * 8;
    QCOMPARE(bytes.mid(lastRow, 2), QByteArray::fromHex("00F8"));
    QCOMPARE(bytes.mid(54, lastRow - 54), QByteArray(lastRow - 54, '\0'));
    QCOMPARE(bytes.mid(lastRow + 2), QByteArray(6, '\0'));
}

void TestQImage16::ignoresTheSourceResolution()
{
    QImage source = randomImage(3, 3);
    source.setDotsPerMeterX(11811);
    source.setDotsPerMeterY(5000);
    QVERIFY(QImage16(source).saveBmp16(path("dpi16bits.BMP")));
    const QByteArray bytes = readFile(path("dpi16bits.BMP"));
    QCOMPARE(field32(bytes, 38), 2834u);
    QCOMPARE(field32(bytes, 42), 2834u);
}

void TestQImage16::convertsOtherFormatsTo565()
{
    QImage source(5, 4, QImage::Format_ARGB32);
    auto *random = QRandomGenerator::global();
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, random->generate());

    QVERIFY(QImage16(source).saveBmp16(path("argb16bits.BMP")));
    QVERIFY(QImage16(source.convertToFormat(QImage::Format_RGB16)).saveBmp16(path("rgb16bits.BMP")));
    const QByteArray converted = readFile(path("argb16bits.BMP"));
    QCOMPARE(converted.size(), 54 + 4 * 12);
    QCOMPARE(converted, readFile(path("rgb16bits.BMP")));
}

void TestQImage16::writesTheSameBytesOnEveryRun()
{
    const QImage source = randomImage(33, 17);
    // A copy with other garbage in its padding must give the very same file.
    QImage copy = rgb16Image(33, 17, [](int, int) { return quint16(0); });
    std::memset(copy.bits(), 0x5A, size_t(copy.sizeInBytes()));
    for (int y = 0; y < 17; ++y)
        std::memcpy(copy.scanLine(y), source.constScanLine(y), 66);

    QVERIFY(QImage16(source).saveBmp16(path("a16bits.BMP")));
    QVERIFY(QImage16(copy).saveBmp16(path("b16bits.BMP")));
    QCOMPARE(readFile(path("a16bits.BMP")), readFile(path("b16bits.BMP")));
}

void TestQImage16::refusesANullImage()
{
    QVERIFY(!QImage16().saveBmp16(path("null16bits.BMP")));
    QVERIFY(!QImage16(QImage()).saveBmp16(path("null16bits.BMP")));
    QCOMPARE(entryNames(path()), QStringList());
}

void TestQImage16::failsWithoutCreatingAFolder()
{
    QVERIFY(!QImage16(randomImage(3, 2)).saveBmp16(path("missing/picture16bits.BMP")));
    QCOMPARE(entryNames(path()), QStringList());
}

void TestQImage16::replacesAnExistingFileWhole()
{
    writeFile(path("picture16bits.BMP"), QByteArray(5000, 'x'));
    const QImage16 image(randomImage(3, 2));
    QVERIFY(image.saveBmp16(path("picture16bits.BMP")));
    QVERIFY(image.saveBmp16(path("picture16bits.BMP")));
    const QByteArray bytes = readFile(path("picture16bits.BMP"));
    QCOMPARE(bytes.size(), 70);
    QVERIFY(bytes.mid(54) == expectedBmp(image).mid(54));
    QCOMPARE(entryNames(path()), QStringList {"picture16bits.BMP"});
}

void TestQImage16::keepsThePreviousFileWhenTheDiskIsFull_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qint64>("room");

    QTest::newRow("small write, room for part of the header") << QSize(3, 2) << qint64(30);
    QTest::newRow("small write, room for the header only") << QSize(3, 2) << qint64(60);
    QTest::newRow("large write cut short") << QSize(2000, 1500) << qint64(3 << 20);
}

void TestQImage16::keepsThePreviousFileWhenTheDiskIsFull()
{
    QFETCH(QSize, size);
    QFETCH(qint64, room);

    const QByteArray previous("the previous file, which must survive");
    const QString target = path("full16bits.BMP");
    writeFile(target, previous);

    const QImage16 image(randomImage(size.width(), size.height()));
    const bool written = runWithFileSizeLimit(room, [&] { return image.saveBmp16(target); });

    QVERIFY(!written);
    QCOMPARE(readFile(target), previous);
    QCOMPARE(entryNames(path()), QStringList {"full16bits.BMP"});

    // The same write succeeds when there is room, so the failure above came from the limit.
    QVERIFY(runWithFileSizeLimit(qint64(size.width() + 2) * 2 * size.height() + 54,
                                 [&] { return image.saveBmp16(target); }));
}

void TestQImage16::failsOnAnUnwritableTarget()
{
    QVERIFY(QDir(path()).mkdir("folder16bits.BMP"));
    QVERIFY(!QImage16(randomImage(3, 2)).saveBmp16(path("folder16bits.BMP")));
    QVERIFY(QFileInfo(path("folder16bits.BMP")).isDir());
    QCOMPARE(entryNames(path()), QStringList {"folder16bits.BMP"});
}

QTEST_GUILESS_MAIN(TestQImage16)
#include "tst_qimage16.moc"
