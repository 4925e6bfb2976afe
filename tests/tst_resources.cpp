#include "testsupport.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

using namespace TestSupport;

namespace {

// The PNG colour type and bit depth from the IHDR chunk, which always comes first.
struct PngKind
{
    int bitDepth;
    int colourType; // 2: truecolour, 3: palette, 6: truecolour with alpha
    bool hasTransparency; // a tRNS chunk
};

PngKind pngKind(const QByteArray &png)
{
    return {int(uchar(png[24])), int(uchar(png[25])), png.contains("tRNS")};
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void embedsThePictures_data();
    void embedsThePictures();
    void shipsTheWindowsIcon();
};

void TestResources::embedsThePictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colourType");
    QTest::addColumn<bool>("transparent");

    QTest::newRow("logo") << ":/logo.png" << QSize(100, 100) << 2 << false;
    QTest::newRow("folder") << ":/folder-open.png" << QSize(128, 128) << 3 << true;
    QTest::newRow("information") << ":/information.png" << QSize(126, 128) << 3 << true;
}

void TestResources::embedsThePictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, colourType);
    QFETCH(bool, transparent);

    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QCOMPARE(image.hasAlphaChannel(), transparent);
    if (transparent) {
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // the corners are background
        QCOMPARE(qAlpha(image.pixel(size.width() / 2, size.height() / 2)), 255);
    }

    const PngKind kind = pngKind(readFile(path));
    QCOMPARE(kind.bitDepth, 8);
    QCOMPARE(kind.colourType, colourType);
    QCOMPARE(kind.hasTransparency, transparent);
}

void TestResources::shipsTheWindowsIcon()
{
    const QString icotool = QStandardPaths::findExecutable("icotool");
    if (icotool.isEmpty())
        QSKIP("icotool (Debian package icoutils) is not installed");
    QProcess process;
    process.start(icotool, {"-l", QUILLON_ICON});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput().trimmed(),
             QByteArray("--icon --index=1 --width=100 --height=100 --bit-depth=8 --palette-size=256"));

    // One 100 x 100 image whose mask leaves every pixel opaque.
    const QByteArray ico = readFile(QUILLON_ICON);
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 4), quint16(1));
    const int maskSize = 16 * 100;
    QCOMPARE(ico.right(maskSize), QByteArray(maskSize, '\0'));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
