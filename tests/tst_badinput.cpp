#include "mainwindow.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>

using namespace TestSupport;

// Writes one kind of input file at the path given.
using PictureMaker = std::function<void(const QString &)>;
Q_DECLARE_METATYPE(PictureMaker)

// Every kind of file a user may hand the window: each is either refused with the error box or
// converted exactly, and nothing crashes.
class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void refusesOrConvertsExactly_data();
    void refusesOrConvertsExactly();
    void followsSymbolicLinks();
    void convertsTheFirstFrameOfAnAnimation();
    void refusesHugePicturesWithoutTakingTheMemory();

private:
    enum Outcome { Refused, Converted };
    // Loads the file; when it loads, converts it and checks both files against the picture as
    // Qt decodes and displays it. Returns what happened.
    Outcome loadAndConvert(const QString &path, const QString &expectedBaseName);

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<MainWindow> m_window;
};

void TestBadInput::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(QDir(m_dir->path()).mkdir("out"));
    m_window.reset(new MainWindow);
    childOf<QLineEdit>(m_window.data(), "dstPath")->setText(m_dir->filePath("out"));
}

void TestBadInput::cleanup()
{
    m_window.reset();
}

TestBadInput::Outcome TestBadInput::loadAndConvert(const QString &path, const QString &expectedBaseName)
{
    QString boxText;
    ModalWatcher watcher([&](QWidget *modal) {
        boxText = qobject_cast<QMessageBox *>(modal)->text();
        static_cast<QDialog *>(modal)->accept();
    });
    if (!m_window->loadImage(path)) {
        if (boxText != QString::fromUtf8("Ce fichier ne sempble pas être une image."))
            qFatal("a refused file without the error box: %s", qPrintable(boxText));
        if (!entryNames(m_dir->filePath("out")).isEmpty())
            qFatal("a refused file wrote something");
        return Refused;
    }
    childOf<QPushButton>(m_window.data(), "btConvertir")->click();
    if (m_window->statusBar()->currentMessage() != QString::fromUtf8("Convertion terminée avec succès."))
        qFatal("the conversion of %s failed", qPrintable(path));

    const QString bmpPath = m_dir->filePath("out/" + expectedBaseName + "16bits.BMP");
    const QByteArray bmp = readFile(bmpPath);
    const QImage displayed = QPixmap::fromImage(QImage(path)).toImage();
    if (bmp != expectedBmp(displayed))
        qFatal("the BMP file of %s is not the picture's 5-6-5 form", qPrintable(path));
    if (readFile(m_dir->filePath("out/" + expectedBaseName + ".h")) != expectedHeader(bmp))
        qFatal("the header of %s does not hold the BMP file", qPrintable(path));
    return Converted;
}

void TestBadInput::refusesOrConvertsExactly_data()
{
    using Maker = PictureMaker;
    QTest::addColumn<QString>("name");
    QTest::addColumn<Maker>("make");
    QTest::addColumn<int>("outcome");

    const auto truncated = [](const char *format, double kept) {
        return Maker([=](const QString &path) {
            savePicture(patternPicture(64, 48), path, format);
            writeFile(path, readFile(path).left(int(readFile(path).size() * kept)));
        });
    };
    const auto randomBytes = [](quint32 seed) {
        return Maker([=](const QString &path) {
            QRandomGenerator random(seed);
            QByteArray bytes(4096, Qt::Uninitialized);
            for (char &byte : bytes)
                byte = char(random.bounded(256));
            writeFile(path, bytes);
        });
    };
    const auto picture = [](QImage::Format format) {
        return Maker([=](const QString &path) {
            QImage image = patternPicture(23, 17, true).convertToFormat(format);
            if (!image.save(path, "PNG"))
                qFatal("cannot write %s", qPrintable(path));
        });
    };

    QTest::newRow("truncated PNG") << "cut.png" << truncated("PNG", 0.5) << int(Refused);
    QTest::newRow("PNG without its end") << "end.png" << truncated("PNG", 0.98) << int(Refused);
    QTest::newRow("truncated BMP") << "cut.bmp" << truncated("BMP", 0.5) << int(Refused);
    QTest::newRow("BMP header only") << "head.bmp" << truncated("BMP", 0.005) << int(Refused);
    QTest::newRow("JPEG header only") << "head.jpg" << truncated("JPEG", 0.1) << int(Refused);
    // libjpeg fills what is missing of a cut JPEG with grey and says so: it still decodes.
    QTest::newRow("truncated JPEG") << "cut.jpg" << truncated("JPEG", 0.6) << int(Converted);
    QTest::newRow("truncated GIF") << "cut.gif" << Maker([](const QString &path) {
        savePicture(QImage(), path, "GIF");
        writeFile(path, readFile(path).left(20));
    }) << int(Refused);
    QTest::newRow("empty file") << "empty.png" << Maker([](const QString &path) { writeFile(path, {}); })
                                << int(Refused);
    QTest::newRow("random bytes named .png") << "noise.png" << randomBytes(1) << int(Refused);
    QTest::newRow("random bytes named .jpg") << "noise.jpg" << randomBytes(2) << int(Refused);
    QTest::newRow("random bytes named .gif") << "noise.gif" << randomBytes(3) << int(Refused);
    QTest::newRow("random bytes named .bmp") << "noise.bmp" << randomBytes(4) << int(Refused);
    QTest::newRow("a folder") << "folder.png" << Maker([](const QString &path) { QDir().mkdir(path); })
                              << int(Refused);
    QTest::newRow("1 x 1") << "dot.png" << Maker([](const QString &path) {
        savePicture(patternPicture(1, 1), path, "PNG");
    }) << int(Converted);
    QTest::newRow("paletted PNG") << "palette.png" << picture(QImage::Format_Indexed8) << int(Converted);
    QTest::newRow("grey PNG") << "grey.png" << picture(QImage::Format_Grayscale8) << int(Converted);
    QTest::newRow("16 bits a channel PNG") << "deep.png" << picture(QImage::Format_RGBA64) << int(Converted);
    QTest::newRow("PNG with half-transparent pixels") << "alpha.png" << Maker([](const QString &path) {
        QImage image = patternPicture(19, 11);
        image = image.convertToFormat(QImage::Format_ARGB32);
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, 5, qRgba(200, 100, 50, x * 13));
        image.save(path, "PNG");
    }) << int(Converted);
    QTest::newRow("a BMP written by Quillon") << "earlier16bits.BMP" << Maker([](const QString &path) {
        writeFile(path, expectedBmp(patternPicture(21, 13)));
    }) << int(Converted);
    QTest::newRow("spaces and quotes")
        << "my \"best\" 'photo'.png" << picture(QImage::Format_RGB32) << int(Converted);
    QTest::newRow("accents") << "été à Noël.png" << picture(QImage::Format_RGB32) << int(Converted);
    QTest::newRow("non-Latin letters")
        << "фото 写真 صورة.png" << picture(QImage::Format_RGB32) << int(Converted);
}

void TestBadInput::refusesOrConvertsExactly()
{
    using Maker = PictureMaker;
    QFETCH(QString, name);
    QFETCH(Maker, make);
    QFETCH(int, outcome);

    const QString path = m_dir->filePath(name);
    make(path);
    QCOMPARE(int(loadAndConvert(path, name.section('.', 0, -2))), outcome);
}

void TestBadInput::followsSymbolicLinks()
{
    const QString target = m_dir->filePath("real.png");
    savePicture(patternPicture(12, 8), target, "PNG");
    QVERIFY(QFile::link(target, m_dir->filePath("link.png")));
    // The output is named after the name the user chose, the link's.
    QCOMPARE(loadAndConvert(m_dir->filePath("link.png"), "link"), Converted);

    // A link to nothing is a missing file: silently ignored, the picture held stays.
    QVERIFY(QFile::link(m_dir->filePath("gone.png"), m_dir->filePath("dangling.png")));
    QVERIFY(!m_window->loadImage(m_dir->filePath("dangling.png")));
    QVERIFY(childOf<QPushButton>(m_window.data(), "btConvertir")->isEnabled());
}

void TestBadInput::convertsTheFirstFrameOfAnAnimation()
{
    // GIF89a, 1 x 1, colours black and white, looping; frame 1 white, frame 2 black.
    const QByteArray gif = QByteArray::fromHex("474946383961010001008000000000"
                                               "00FFFFFF"
                                               "21FF0B4E45545343415045322E300301000000"
                                               "21F9040000000000"
                                               "2C000000000100010000"
                                               "02024C01"
                                               "00"
                                               "21F9040000000000"
                                               "2C000000000100010000"
                                               "02024401"
                                               "00"
                                               "3B");
    const QString path = m_dir->filePath("blink.gif");
    writeFile(path, gif);
    QVERIFY(m_window->loadImage(path));
    childOf<QPushButton>(m_window.data(), "btConvertir")->click();
    const QByteArray bmp = readFile(m_dir->filePath("out/blink16bits.BMP"));
    QCOMPARE(bmp.size(), 58);
    QCOMPARE(bmp.mid(54), QByteArray::fromHex("FFFF0000")); // white
}

void TestBadInput::refusesHugePicturesWithoutTakingTheMemory()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves terabytes of address space: an address-space limit cannot apply");
#endif
    const QString prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");

    // 30000 x 30000 would take 3.4 GiB decoded; the probe may use 1 GiB at most.
    const QString path = m_dir->filePath("huge.png");
    writeFile(path, pngWithoutPixels(30000, 30000));
    const QByteArray output = runJobProbe({prlimit, "--as=1073741824", "--"}, {path});
    QVERIFY2(output.contains("box: Cette image est trop grande pour être convertie."), output.constData());
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
