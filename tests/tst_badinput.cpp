#include "child_decoder.h"
#include "codecs.h"
#include "mainwindow.h"
#include "picture_format.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QBuffer>
#include <QDialog>
#include <QDir>
#include <QFontDatabase>
#include <QImageReader>
#include <QImageWriter>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

// Writes one kind of input file at the path given.
using PictureMaker = std::function<void(const QString &)>;
Q_DECLARE_METATYPE(PictureMaker)

// Every kind of file a user may hand the window: each is either refused with the error box or
// converted exactly, and nothing crashes.
class TestBadInput : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void refusesOrConvertsExactly_data();
    void refusesOrConvertsExactly();
    void followsSymbolicLinks();
    void convertsTheFirstFrameOfAnAnimation();
    void refusesHugePicturesWithoutTakingTheMemory_data();
    void refusesHugePicturesWithoutTakingTheMemory();
    void givesTheSameBytesWhateverFreshMemoryHolds_data();
    void givesTheSameBytesWhateverFreshMemoryHolds();
    void survivesReadersThatMisbehave_data();
    void survivesReadersThatMisbehave();
    void namesReadersFromTheirSignatures_data();
    void namesReadersFromTheirSignatures();
    void keepsEachFamilyInOneCodec_data();
    void keepsEachFamilyInOneCodec();
    void listsEachReaderInOneCodecAtMost();
    void looksForNoReaderInWhatIsNoFile_data();
    void looksForNoReaderInWhatIsNoFile();

private:
    enum Outcome { Refused, Converted, Incomplete };
    // Loads the file; when it loads, converts it and checks both files against the picture as
    // Qt decodes and displays it. Returns what happened.
    Outcome loadAndConvert(const QString &path, const QString &expectedBaseName);

    QScopedPointer<MainWindow> m_window;
};

void TestBadInput::init()
{
    QVERIFY(renewFolder());
    QVERIFY(QDir(path()).mkdir("out"));
    m_window.reset(new MainWindow);
    childOf<QLineEdit>(m_window.data(), "dstPath")->setText(path("out"));
}

void TestBadInput::cleanup()
{
    m_window.reset();
}

TestBadInput::Outcome TestBadInput::loadAndConvert(const QString &picturePath,
                                                   const QString &expectedBaseName)
{
    QString boxText;
    ModalWatcher watcher([&](QWidget *modal) {
        boxText = qobject_cast<QMessageBox *>(modal)->text();
        static_cast<QDialog *>(modal)->accept();
    });
    if (!m_window->loadImage(picturePath)) {
        const bool incomplete
            = boxText == QString::fromUtf8("Image incomplète : le fichier s'arrête avant la fin de l'image.");
        if (!incomplete && boxText != QString::fromUtf8("Ce fichier ne sempble pas être une image."))
            qFatal("a refused file without the error box: %s", qPrintable(boxText));
        if (!entryNames(path("out")).isEmpty())
            qFatal("a refused file wrote something");
        return incomplete ? Incomplete : Refused;
    }
    childOf<QPushButton>(m_window.data(), "btConvertir")->click();
    if (m_window->statusBar()->currentMessage() != QString::fromUtf8("Convertion terminée avec succès."))
        qFatal("the conversion of %s failed", qPrintable(picturePath));

    const QString bmpPath = path("out/" + expectedBaseName + "16bits.BMP");
    const QByteArray bmp = readFile(bmpPath);
    const QImage displayed = QPixmap::fromImage(QImage(picturePath)).toImage();
    if (bmp != expectedBmp(displayed))
        qFatal("the BMP file of %s is not the picture's 5-6-5 form", qPrintable(picturePath));
    if (readFile(path("out/" + expectedBaseName + ".h")) != expectedHeader(bmp))
        qFatal("the header of %s does not hold the BMP file", qPrintable(picturePath));
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

    // Files cut short: refused as incomplete, whether their readers fail or fill in what is
    // missing (libjpeg paints it grey, Qt's GIF reader leaves the screen's background). Each file
    // keeps `fraction` of its bytes, less `chopped`.
    const auto cutFile = [](const std::function<QByteArray()> &make, double fraction, int chopped = 0) {
        return Maker([=](const QString &path) {
            const QByteArray whole = make();
            if (!whole.isEmpty()) // a plugin may be missing
                writeFile(path, whole.left(int(whole.size() * fraction) - chopped));
        });
    };
    const auto saved = [](const char *format, QSize size = QSize(61, 43)) {
        return [=] {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            patternPicture(size.width(), size.height()).save(&buffer, format);
            return bytes;
        };
    };
    const auto progressive = [] {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "JPEG");
        writer.setProgressiveScanWrite(true);
        writer.write(patternPicture(101, 67));
        return jpeg;
    };
    const auto gif = [] { return gifFile(61, 43); };
    QTest::newRow("truncated PNG") << "cut.png" << truncated("PNG", 0.5) << int(Incomplete);
    QTest::newRow("PNG without its end") << "end.png" << truncated("PNG", 0.98) << int(Incomplete);
    QTest::newRow("PNG cut in its IEND chunk")
        << "iend.png" << cutFile(saved("PNG"), 1, 3) << int(Incomplete);
    QTest::newRow("PNG one byte short") << "short.png" << cutFile(saved("PNG"), 1, 1) << int(Incomplete);
    QTest::newRow("PNG, whole") << "whole.png" << cutFile(saved("PNG"), 1) << int(Converted);
    QTest::newRow("PNG cut after 60 bytes") << "head.png" << cutFile(saved("PNG"), 0, -60) << int(Incomplete);
    QTest::newRow("truncated BMP") << "cut.bmp" << truncated("BMP", 0.5) << int(Incomplete);
    QTest::newRow("BMP one byte short") << "short.bmp" << cutFile(saved("BMP"), 1, 1) << int(Incomplete);
    QTest::newRow("BMP header only") << "head.bmp" << truncated("BMP", 0.005) << int(Incomplete);
    QTest::newRow("JPEG header only") << "head.jpg" << truncated("JPEG", 0.1) << int(Incomplete);
    QTest::newRow("truncated JPEG") << "cut.jpg" << truncated("JPEG", 0.6) << int(Incomplete);
    QTest::newRow("JPEG cut after 300 bytes")
        << "cut300.jpg" << cutFile(saved("JPEG", {333, 251}), 0, -300) << int(Incomplete);
    QTest::newRow("JPEG cut at 90 %") << "cut90.jpg" << truncated("JPEG", 0.9) << int(Incomplete);
    QTest::newRow("JPEG without its end marker")
        << "eoi.jpg" << cutFile(saved("JPEG"), 1, 2) << int(Incomplete);
    QTest::newRow("JPEG one byte short") << "short.jpg" << cutFile(saved("JPEG"), 1, 1) << int(Incomplete);
    QTest::newRow("JPEG, whole") << "whole.jpg" << cutFile(saved("JPEG"), 1) << int(Converted);
    // A comment before the frame header: the markers are followed past it to the end of image.
    const auto commented = [saved] {
        const QByteArray jpeg = saved("JPEG", QSize(61, 43))();
        return jpeg.left(2) + QByteArray::fromHex("fffe0006") + "note" + jpeg.mid(2);
    };
    QTest::newRow("JPEG with a comment, one byte short")
        << "comshort.jpg" << cutFile(commented, 1, 1) << int(Incomplete);
    QTest::newRow("JPEG with a comment, whole") << "comwhole.jpg" << cutFile(commented, 1) << int(Converted);
    QTest::newRow("progressive JPEG cut in two")
        << "prog.jpg" << cutFile(progressive, 0.5) << int(Incomplete);
    QTest::newRow("progressive JPEG cut in its last scan")
        << "proglast.jpg" << cutFile(progressive, 1, 20) << int(Incomplete);
    QTest::newRow("progressive JPEG, whole") << "progwhole.jpg" << cutFile(progressive, 1) << int(Converted);
    // Restart markers in its scan, as many cameras write them.
    const auto restarts = [] { return restartJpeg(61, 43); };
    QTest::newRow("JPEG with restart markers, whole") << "rst.jpg" << cutFile(restarts, 1) << int(Converted);
    QTest::newRow("JPEG with restart markers cut in its scan")
        << "rstcut.jpg" << cutFile(restarts, 1, 3) << int(Incomplete);
    QTest::newRow("JPEG with restart markers cut after one")
        << "rstend.jpg" << Maker([](const QString &path) {
               const QByteArray whole = restartJpeg(61, 43);
               writeFile(path, whole.left(whole.indexOf("\xff\xd2") + 2));
           })
        << int(Incomplete);
    QTest::newRow("truncated GIF") << "cut.gif" << Maker([](const QString &path) {
        savePicture(QImage(), path, "GIF");
        writeFile(path, readFile(path).left(20));
    }) << int(Incomplete);
    QTest::newRow("GIF, whole") << "whole.gif" << cutFile(gif, 1) << int(Converted);
    QTest::newRow("GIF cut in its first data block")
        << "block.gif" << cutFile(gif, 0, -200) << int(Incomplete);
    QTest::newRow("GIF cut at half") << "half.gif" << cutFile(gif, 0.5) << int(Incomplete);
    QTest::newRow("GIF without its last block") << "last.gif" << cutFile(gif, 1, 3) << int(Incomplete);
    QTest::newRow("GIF without its trailer") << "trailer.gif" << cutFile(gif, 1, 1) << int(Incomplete);
    // Formats of Qt's and KDE's image plugins, when they are installed.
    for (const char *format : {"webp", "tiff", "tga", "pcx", "ico"}) {
        const QSize size = qstrcmp(format, "ico") == 0 ? QSize(32, 32) : QSize(61, 43);
        QTest::addRow("%s cut at half", format)
            << QString("cut.%1").arg(format) << cutFile(saved(format, size), 0.5) << int(Incomplete);
        QTest::addRow("%s one byte short", format)
            << QString("short.%1").arg(format) << cutFile(saved(format, size), 1, 1) << int(Incomplete);
        QTest::addRow("%s, whole", format)
            << QString("whole.%1").arg(format) << cutFile(saved(format, size), 1) << int(Converted);
    }
    // Radiance HDR, which no plugin writes: 13 x 7 flat RGBE pixels.
    const auto radiance = [] {
        if (!QImageReader::supportedImageFormats().contains("hdr"))
            return QByteArray();
        QByteArray hdr = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 7 +X 13\n";
        for (int i = 0; i < 13 * 7; ++i)
            hdr += QByteArray(1, char(20 + i % 13 * 19)) + char(20 + i / 13 * 31) + char(100) + char(128);
        return hdr;
    };
    QTest::newRow("hdr cut at half") << "cut.hdr" << cutFile(radiance, 0.5) << int(Incomplete);
    QTest::newRow("hdr one byte short") << "short.hdr" << cutFile(radiance, 1, 1) << int(Incomplete);
    QTest::newRow("hdr, whole") << "whole.hdr" << cutFile(radiance, 1) << int(Converted);
    // What follows the end, or a chunk no reader knows, is harmless.
    QTest::newRow("JPEG with bytes after its end") << "after.jpg" << Maker([](const QString &path) {
        savePicture(patternPicture(61, 43), path, "JPEG");
        writeFile(path, readFile(path) + "trailing bytes\xff\xd8\xff");
    }) << int(Converted);
    QTest::newRow("PNG with bytes after its end") << "after.png" << Maker([](const QString &path) {
        savePicture(patternPicture(61, 43), path, "PNG");
        writeFile(path, readFile(path) + "trailing bytes");
    }) << int(Converted);
    QTest::newRow("PNG with a chunk of its own") << "chunk.png" << Maker([](const QString &path) {
        savePicture(patternPicture(61, 43), path, "PNG");
        const QByteArray png = readFile(path);
        // After IHDR (8 + 25 bytes): an ancillary, private chunk ("quIl") with a wrong CRC.
        writeFile(path,
                  png.left(33) + QByteArray::fromHex("00000003") + "quIl" + "abc" + QByteArray(4, '\0')
                      + png.mid(33));
    }) << int(Converted);
    QTest::newRow("GIF with bytes after its trailer") << "after.gif" << Maker([](const QString &path) {
        writeFile(path, gifFile(13, 7) + "trailing bytes");
    }) << int(Converted);
    QTest::newRow("empty file") << "empty.png" << Maker([](const QString &path) { writeFile(path, {}); })
                                << int(Refused);
    QTest::newRow("random bytes named .png") << "noise.png" << randomBytes(1) << int(Refused);
    QTest::newRow("random bytes named .jpg") << "noise.jpg" << randomBytes(2) << int(Refused);
    QTest::newRow("random bytes named .gif") << "noise.gif" << randomBytes(3) << int(Refused);
    QTest::newRow("random bytes named .bmp") << "noise.bmp" << randomBytes(4) << int(Refused);
    QTest::newRow("a folder") << "folder.png" << Maker([](const QString &path) { QDir().mkdir(path); })
                              << int(Refused);
    // Not regular files: refused at once, never opened for reading (that would block).
    QTest::newRow("a FIFO") << "pipe.png" << Maker([](const QString &path) {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    }) << int(Refused);
    QTest::newRow("a link to a device")
        << "zero.png" << Maker([](const QString &path) { QVERIFY(QFile::link("/dev/zero", path)); })
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
    // A palette of all 256 colours, and one of 2, handed back by a reader run apart.
    for (const int colours : {256, 2}) {
        QTest::addRow("TIFF of a palette of %d colours", colours)
            << QString("palette%1.tiff").arg(colours) << Maker([colours](const QString &path) {
                   QImage indexed(17, 9, QImage::Format_Indexed8);
                   QVector<QRgb> table;
                   for (int i = 0; i < colours; ++i)
                       table << qRgb(i, 255 - i, (i * 7) & 0xff);
                   indexed.setColorTable(table);
                   for (int y = 0; y < 9; ++y)
                       for (int x = 0; x < 17; ++x)
                           indexed.setPixel(x, y, (x * 9 + y) % colours);
                   indexed.save(path, "TIFF");
               })
            << int(Converted);
    }
    // Containers whose reader takes their merged picture, the first in a ZIP archive.
    for (const auto &container :
         {std::pair {"ora", "image/openraster"}, std::pair {"kra", "application/x-krita"}}) {
        QTest::addRow("%s, a ZIP archive", container.first)
            << QString("layers.%1").arg(container.first)
            << Maker([mimeType = QByteArray(container.second)](const QString &path) {
                   QByteArray merged;
                   QBuffer buffer(&merged);
                   buffer.open(QIODevice::WriteOnly);
                   patternPicture(13, 7).save(&buffer, "PNG");
                   writeFile(path,
                             storedZip({{"mimetype", mimeType},
                                        {"stack.xml", "<?xml version=\"1.0\"?><image w=\"13\" h=\"7\"/>"},
                                        {"mergedimage.png", merged}}));
               })
            << int(Converted);
    }
    // Scans are bounded by their number, and by the blocks they go over in all: 500 scans of a
    // colour picture are let through (501 are not, below). Small, so that the window's conversion
    // stays quick under the sanitizers, whose every allocation unwinds the stack there: a picture
    // of 1701 x 1699 took five minutes of a busy machine.
    QTest::newRow("progressive JPEG of 500 scans") << "scans.jpg" << Maker([](const QString &path) {
        writeFile(path, progressiveJpeg(171, 169, 500, 3));
    }) << int(Converted);
    // An SVG of 30 x 20 at its own size, drawn over transparency: the window shows what Qt SVG's own
    // image plugin draws of it.
    QTest::newRow("SVG of 30 x 20") << "shapes.svg" << Maker([](const QString &path) {
        writeFile(path, R"(<svg xmlns="http://www.w3.org/2000/svg" width="30" height="20" viewBox="0 0 60 40">
<rect x="3" y="3" width="21" height="15" fill="#f02010"/><circle cx="40" cy="18" r="11" fill="#10c030"/>
<rect y="30" width="60" height="2" fill="#2040f0"/></svg>)");
    }) << int(Converted);
    // Text, drawn with the fonts the machine has (in the child as in this process): its red is
    // looked for within its box below.
    QTest::newRow("SVG holding text") << "text.svg" << Maker([](const QString &path) {
        writeFile(path, R"(<svg xmlns="http://www.w3.org/2000/svg" width="41" height="17">
<rect x="38" width="3" height="17" fill="#2040f0"/><text x="2" y="14" font-size="14" fill="#d02030">Hi!</text></svg>)");
    }) << int(Converted);
    // SVG Tiny's textArea is text too: drawn in a child made graphical.
    QTest::newRow("SVG holding a textArea") << "area.svg" << Maker([](const QString &path) {
        writeFile(path, R"(<svg xmlns="http://www.w3.org/2000/svg" width="41" height="17">
<textArea x="2" y="1" width="36" height="15" font-size="12" fill="#d02030">Hi!</textArea></svg>)");
    }) << int(Converted);
    // References within the picture: a part of it named after a space, an image of no reference.
    QTest::newRow("SVG referring to itself") << "self.svg" << Maker([](const QString &path) {
        writeFile(
            path,
            R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="31" height="17">
<rect id="r" width="5" height="3" fill="#2040f0"/><use x="9" xlink:href=" #r"/><image width="3" height="3" xlink:href=""/></svg>)");
    }) << int(Converted);
    QTest::newRow("SVG cut short") << "cut.svg" << Maker([](const QString &path) {
        writeFile(
            path,
            R"(<svg xmlns="http://www.w3.org/2000/svg" width="30" height="20"><rect width="5" height="5")");
    }) << int(Refused);
    // Formats of Qt's and KDE's image plugins, made by ImageMagick.
    for (const char *format : {"tga", "pcx", "sgi", "sun", "mng", "tiff", "webp", "psd", "wbmp"}) {
        QTest::addRow("%s from ImageMagick", format)
            << QString("magick.%1").arg(format) << Maker([format](const QString &path) {
                   savePicture(patternPicture(13, 7), path + ".png", "PNG");
                   QProcess::execute("convert", {path + ".png", QString("%1:%2").arg(format, path)});
               })
            << int(Converted);
    }
}

void TestBadInput::refusesOrConvertsExactly()
{
    using Maker = PictureMaker;
    QFETCH(QString, name);
    QFETCH(Maker, make);
    QFETCH(int, outcome);

    const QString file = path(name);
    make(file);
    if (name.startsWith("magick.") && !QFileInfo::exists(file))
        QSKIP("ImageMagick (Debian package imagemagick) is not installed");
    const QByteArray suffix = QFileInfo(file).suffix().toLatin1();
    if ((suffix == "ora" || suffix == "kra") && !QImageReader::supportedImageFormats().contains(suffix))
        QSKIP("no reader of this format (Debian package kimageformat-plugins)");
    if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink())
        QSKIP("Qt cannot write this format: its image plugin (qt5-image-formats-plugins or "
              "kimageformat-plugins) is not installed");
    if (name == "text.svg" && QFontDatabase().families().isEmpty())
        QSKIP("no font at all on this machine: text draws nothing");
    QFile::remove(file + ".png");
    QCOMPARE(int(loadAndConvert(file, name.section('.', 0, -2))), outcome);
    if (name == "text.svg") {
        // The text was drawn (the window's picture is this one, compared above): some pixels of its
        // red, mostly opaque, within its box (38 x 17 from the left).
        const QImage drawn = QImage(file).convertToFormat(QImage::Format_ARGB32);
        int red = 0;
        for (int y = 0; y < 17; ++y) {
            for (int x = 0; x < 38; ++x) {
                const QRgb pixel = drawn.pixel(x, y);
                red += qAlpha(pixel) >= 128 && qAbs(qRed(pixel) - 0xd0) <= 8
                    && qAbs(qGreen(pixel) - 0x20) <= 8 && qAbs(qBlue(pixel) - 0x30) <= 8;
            }
        }
        QVERIFY2(red >= 10, qPrintable(QString("%1 pixels of the text's red").arg(red)));
    }
}

void TestBadInput::followsSymbolicLinks()
{
    const QString target = path("real.png");
    savePicture(patternPicture(12, 8), target, "PNG");
    QVERIFY(QFile::link(target, path("link.png")));
    // The output is named after the name the user chose, the link's.
    QCOMPARE(loadAndConvert(path("link.png"), "link"), Converted);

    // A link to nothing is a missing file: silently ignored, the picture held stays.
    QVERIFY(QFile::link(path("gone.png"), path("dangling.png")));
    QVERIFY(!m_window->loadImage(path("dangling.png")));
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
    const QString file = path("blink.gif");
    writeFile(file, gif);
    QVERIFY(m_window->loadImage(file));
    childOf<QPushButton>(m_window.data(), "btConvertir")->click();
    const QByteArray bmp = readFile(path("out/blink16bits.BMP"));
    QCOMPARE(bmp.size(), 58);
    QCOMPARE(bmp.mid(54), QByteArray::fromHex("FFFF0000")); // white
}

void TestBadInput::refusesHugePicturesWithoutTakingTheMemory_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("box");
    const QString tooLarge = QString::fromUtf8("Cette image est trop grande pour être convertie.");
    const auto be16 = [](int value) { return QByteArray(1, char(value >> 8)) + char(value & 0xff); };
    const auto be32 = [&](quint32 value) { return be16(int(value >> 16)) + be16(int(value & 0xffff)); };
    const auto le16 = [](int value) { return QByteArray(1, char(value & 0xff)) + char(value >> 8); };
    const QByteArray png = pngWithoutPixels(40000, 40000);
    QTest::newRow("PNG of 30000 x 30000") << pngWithoutPixels(30000, 30000) << tooLarge;
    // 8192 x 8192 at 16 bits a channel: 512 MiB decoded, though 256 MiB at 4 bytes a pixel.
    QTest::newRow("PNG of 16 bits a channel") << pngWithoutPixels(8192, 8192, 16) << tooLarge;
    // The directory says 16 x 16; the PNG inside is 40000 x 40000.
    QTest::newRow("ICO holding a huge PNG") << QByteArray::fromHex("000001000100"
                                                                   "10100000"
                                                                   "01002000")
            + le16(png.size()) + le16(0) + QByteArray::fromHex("16000000")
            + png << tooLarge;
    // A 1 x 1 frame on a logical screen of 60000 x 60000, the canvas Qt's reader paints on.
    QTest::newRow("GIF on a huge screen") << QByteArray("GIF89a") + le16(60000) + le16(60000)
            + QByteArray::fromHex("800000"
                                  "000000ffffff"
                                  "2c"
                                  "0000000001000100"
                                  "00"
                                  "02024401"
                                  "00"
                                  "3b") << tooLarge;
    QTest::newRow("top-down BMP of 9000 x 8000")
        << bmpFile(9000, -8000, 24, 0, {}, QByteArray(64, '\0')) << tooLarge;
    QTest::newRow("paletted PNG of 12000 x 12000") << pngWithoutPixels(12000, 12000, 8, 3) << tooLarge;
    QTest::newRow("grey PNG of 12000 x 12000") << pngWithoutPixels(12000, 12000, 8, 0) << tooLarge;
    const QByteArray deep = pngWithoutPixels(8192, 5000, 16);
    QTest::newRow("ICO holding a 16-bit PNG of 8192 x 5000") << QByteArray::fromHex("000001000100"
                                                                                    "00000000"
                                                                                    "01002000")
            + le16(deep.size()) + le16(0) + QByteArray::fromHex("16000000")
            + deep << tooLarge;
    // Readers that announce no size: the size is read from the file's own header.
    QTest::newRow("TGA of 65535 x 40000") << QByteArray::fromHex("000002000000000000000000") + le16(65535)
            + le16(40000) + QByteArray::fromHex("2000")
            + QByteArray(64, '\0') << tooLarge;
    QTest::newRow("PCX of 40000 x 30000") << QByteArray::fromHex("0a05010800000000") + le16(39999)
            + le16(29999) + QByteArray(52, '\0') + QByteArray::fromHex("0301") + le16(40000)
            + QByteArray(60, '\0') << tooLarge;
    // One row over the limit: 8192 x 8193 pixels of 4 bytes (its last column and row count too).
    QTest::newRow("PCX just over the limit") << QByteArray::fromHex("0a05010800000000") + le16(8191)
            + le16(8192) + QByteArray(52, '\0') + QByteArray::fromHex("0301") + le16(8192)
            + QByteArray(60, '\0') << tooLarge;
    QTest::newRow("SGI of 30000 x 20000")
        << QByteArray::fromHex("01da00010003") + be16(30000) + be16(20000) + be16(3) + QByteArray(500, '\0')
        << tooLarge;
    QTest::newRow("Sun raster of 40000 x 30000") << QByteArray::fromHex("59a66a95") + be32(40000)
            + be32(30000) + be32(24) + be32(40000u * 30000 * 3) + be32(1) + be32(0)
            + be32(0) << tooLarge;
    const auto mngChunk = [&](const QByteArray &type, const QByteArray &data) {
        return be32(quint32(data.size())) + type + data + be32(0);
    };
    const QByteArray mng = QByteArray::fromHex("8a4d4e470d0a1a0a");
    QTest::newRow("MNG of 40000 x 30000")
        << mng + mngChunk("MHDR", be32(40000) + be32(30000) + QByteArray(20, '\0')) + mngChunk("MEND", {})
        << tooLarge;
    QTest::newRow("MNG frame embedding a huge picture") << mng
            + mngChunk("MHDR", be32(16) + be32(8) + QByteArray(20, '\0'))
            + mngChunk("IHDR", be32(40000) + be32(30000) + QByteArray::fromHex("0802000000"))
            + mngChunk("MEND", {}) << tooLarge;
    QTest::newRow("Radiance HDR of 30000 x 20000")
        << QByteArray("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 20000 +X 30000\n") + QByteArray(64, '\0')
        << tooLarge;
    // Its resolution read within the first 8 KiB: after a comment of 8000 bytes.
    QTest::newRow("Radiance HDR of 30000 x 20000 after 8000 bytes of comment") << "#?RADIANCE\n#"
            + QByteArray(8000, 'x') + "\nFORMAT=32-bit_rle_rgbe\n\n-Y 20000 +X 30000\n"
            + QByteArray(64, '\0') << tooLarge;
    // What the decoders hold: a progressive CMYK JPEG keeps 2 bytes of every sample.
    QTest::newRow("progressive CMYK JPEG of 8192 x 8192")
        << QByteArray::fromHex("ffd8"
                               "ffc20014082000200004"
                               "011100021100031100041100"
                               "ffda000e04011002100310041000"
                               "0000"
                               "ffd9")
        << tooLarge;
    // A TIFF of 16 samples a pixel goes through libtiff's RGBA reader, which holds them all.
    QByteArray tiff = QByteArray::fromHex("49492a0008000000") + le16(6);
    const auto entry = [&](int tag, int type, quint32 count, quint32 value) {
        tiff += le16(tag) + le16(type) + le16(int(count & 0xffff)) + le16(int(count >> 16))
            + le16(int(value & 0xffff)) + le16(int(value >> 16));
    };
    entry(256, 4, 1, 4096);
    entry(257, 4, 1, 4096);
    entry(258, 3, 16, 8 + 2 + 6 * 12 + 4); // the bits of each sample, after the directory
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 1);
    entry(277, 3, 1, 16);
    tiff += QByteArray(4, '\0');
    for (int sample = 0; sample < 16; ++sample)
        tiff += le16(8);
    QTest::newRow("TIFF of 16 samples a pixel") << tiff << tooLarge;
    // A thousand scans: a minute of decoding for a small file.
    QByteArray scans = QByteArray::fromHex("ffd8ffc2000b080010001001011100");
    for (int scan = 0; scan < 1000; ++scan)
        scans += QByteArray::fromHex("ffda0008010100000000");
    const QString tooComplex
        = QString::fromUtf8("Cette image JPEG compte trop de passes pour être convertie.");
    QTest::newRow("JPEG of a thousand scans") << scans + QByteArray::fromHex("ffd9") << tooComplex;
    QTest::newRow("JPEG of 501 scans") << progressiveJpeg(37, 29, 501) << tooComplex;
    // Markers are counted across the blocks the file is read in.
    QTest::newRow("JPEG of 501 scans, the first one followed by 65535 bytes")
        << progressiveJpeg(37, 29, 501, 1, 65535) << tooComplex;
    QTest::newRow("JPEG of 501 scans, the first one followed by 65536 bytes")
        << progressiveJpeg(37, 29, 501, 1, 65536) << tooComplex;
    // 500 scans of a grey picture of 6000 x 5999 (216 MB decoded), each over every one of its
    // 562,500 blocks: several seconds of decoding for a file of 1 MB.
    QTest::newRow("JPEG of 500 scans over 281 million blocks")
        << progressiveJpeg(6000, 5999, 500) << tooComplex;
    // Their true costs: 8 bytes a pixel held beside the picture; 2 bytes a coefficient.
    QTest::newRow("SGI of 5000 x 5000, 4 channels of 2 bytes")
        << QByteArray::fromHex("01da01020003") + be16(5000) + be16(5000) + be16(4) + QByteArray(500, '\0')
        << tooLarge;
    QTest::newRow("progressive grey JPEG of 7000 x 7000")
        << QByteArray::fromHex("ffd8"
                               "ffc2000b081b581b580101110000"
                               "ffda0008010100003f00"
                               "0000"
                               "ffd9")
        << tooLarge;
    // The same after fill bytes, and after a Huffman table, which is no frame header.
    QTest::newRow("progressive grey JPEG of 7000 x 7000 after fill bytes")
        << QByteArray::fromHex("ffd8"
                               "ffffff"
                               "c2000b081b581b580101110000"
                               "ffda0008010100003f00"
                               "0000"
                               "ffd9")
        << tooLarge;
    QTest::newRow("progressive grey JPEG of 7000 x 7000 after a Huffman table")
        << QByteArray::fromHex("ffd8"
                               "ffc4001400"
                               "0100000000000000000000000000000000"
                               "ffc2000b081b581b580101110000"
                               "ffda0008010100003f00"
                               "0000"
                               "ffd9")
        << tooLarge;
}

void TestBadInput::refusesHugePicturesWithoutTakingTheMemory()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves terabytes of address space: an address-space limit cannot apply");
#endif
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    const QString prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");

    // The probe may use 1 GiB at most, and must refuse at once, without writing anything.
    const QString picturePath = path("huge.picture");
    writeFile(picturePath, file);
    const QByteArray output = runJobProbe({prlimit, "--as=1073741824", "--"}, {picturePath, path("out")});
    QVERIFY2(output.contains("box: " + box.toUtf8() + "\nrefused\n"), output.constData());
    QVERIFY(entryNames(path("out")).isEmpty());
}

void TestBadInput::givesTheSameBytesWhateverFreshMemoryHolds_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("outcome"); // -1: either, as long as both runs agree
    QTest::addColumn<QImage>("expected"); // the picture, when it is known

    // Palette entries (blue, green, red, 0): the first colour, white, red, green.
    const QRgb first = qRgb(0x30, 0x20, 0x10), w = qRgb(255, 255, 255), r = qRgb(255, 0, 0),
               g = qRgb(0, 255, 0);
    const QByteArray palette = QByteArray::fromHex("10203000ffffff000000ff0000ff0000");
    // A 4 x 4 picture of the first colour with the given pixels, (x, y) from the top-left.
    const auto picture = [&](const QVector<std::tuple<int, int, QRgb>> &pixels) {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(first);
        for (const auto &[x, y, colour] : pixels)
            image.setPixel(x, y, colour);
        return image;
    };
    const auto rle = [&](int compression, const char *stream) {
        return bmpFile(4, 4, compression == 1 ? 8 : 4, compression, palette, QByteArray::fromHex(stream));
    };
    // Rows are stored bottom-up: the streams start at the bottom-left pixel.
    QTest::newRow("RLE8, delta") << rle(1,
                                        "0201"
                                        "00020101"
                                        "0102"
                                        "0001")
                                 << int(Converted) << picture({{0, 3, w}, {1, 3, w}, {3, 2, r}});
    QTest::newRow("RLE4, end of line")
        << rle(2,
               "0412"
               "0000"
               "0233"
               "0000"
               "0001")
        << int(Converted) << picture({{0, 3, w}, {1, 3, r}, {2, 3, w}, {3, 3, r}, {0, 2, g}, {1, 2, g}});
    QTest::newRow("RLE8, early end of bitmap")
        << rle(1,
               "0401"
               "0001")
        << int(Converted) << picture({{0, 3, w}, {1, 3, w}, {2, 3, w}, {3, 3, w}});

    const QByteArray rows24(4 * 12, '\x5a');
    QTest::newRow("offset 0, whole") << bmpFile(4, 4, 24, 0, {}, rows24, 0) << int(Converted) << QImage();
    QTest::newRow("offset 0, cut short")
        << bmpFile(4, 4, 24, 0, {}, rows24.left(20), 0) << int(Incomplete) << QImage();
    QTest::newRow("offset too small, cut short")
        << bmpFile(4, 4, 24, 0, {}, rows24.left(20), 30) << int(Incomplete) << QImage();
    QTest::newRow("offset beyond the end")
        << bmpFile(4, 4, 24, 0, {}, rows24, 4000) << int(Incomplete) << QImage();
    QTest::newRow("header of 0x100c bytes") << bmpFile(4, 4, 24, 0, {}, rows24, -1, 0x100c) << -1 << QImage();
    QTest::newRow("header of 64 bytes, cut short")
        << bmpFile(4, 4, 24, 0, {}, rows24.left(20), -1, 64) << int(Incomplete) << QImage();
    QTest::newRow("OS/2 core header, cut short")
        << bmpFile(4, 4, 24, 0, {}, rows24.left(20), -1, 12) << int(Incomplete) << QImage();
    // 5 pixels of 24 bits: 15 bytes and 1 of padding a row, which the file must hold too.
    const QByteArray rows5 = QByteArray(16 * 4, '\x33');
    QImage grey(5, 4, QImage::Format_RGB32);
    grey.fill(qRgb(0x33, 0x33, 0x33));
    QTest::newRow("odd width, whole") << bmpFile(5, 4, 24, 0, {}, rows5) << int(Converted) << grey;
    QTest::newRow("odd width, without its last padding")
        << bmpFile(5, 4, 24, 0, {}, rows5.chopped(1)) << int(Incomplete) << QImage();
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        const int rowSize = (8 * bits + 31) / 32 * 4;
        const QByteArray colours = bits <= 8 ? palette.left(4 * qMin(4, 1 << bits)) : QByteArray();
        QTest::addRow("%d bits, cut short", bits)
            << bmpFile(8, 8, bits, 0, colours, QByteArray(rowSize * 5 + 1, '\x11')) << int(Incomplete)
            << QImage();
    }
    // Top-down BMP files, a negative height: the same picture as their bottom-up twin.
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        const int width = 5, height = 3, rowSize = (width * bits + 31) / 32 * 4;
        QByteArray rows;
        for (int i = 0; i < rowSize * height; ++i)
            rows += char(i * 37 + bits);
        QByteArray reversed;
        for (int row = height - 1; row >= 0; --row)
            reversed += rows.mid(row * rowSize, rowSize);
        const QByteArray colours = bits <= 8 ? palette.left(4 * qMin(4, 1 << bits)) : QByteArray();
        const QImage twin = QImage::fromData(bmpFile(width, height, bits, 0, colours, rows), "BMP");
        QTest::addRow("%d bits, top-down", bits)
            << bmpFile(width, -height, bits, 0, colours, reversed) << int(Converted) << twin;
    }
    // Other formats whose readers make their own picture.
    QTest::newRow("GIF frame smaller than the screen") << QByteArray::fromHex("474946383961"
                                                                              "04000400"
                                                                              "800000"
                                                                              "000000ffffff"
                                                                              "2c"
                                                                              "0100010001000100"
                                                                              "00"
                                                                              "02024401"
                                                                              "00"
                                                                              "3b")
                                                       << int(Converted) << QImage();
    // A reader that makes its own picture and writes none of it: not Qt's, so it decodes in a
    // child whose fresh memory has one fill, whatever the parent's: the same on every run.
    QTest::newRow("picture left unset by its reader") << QByteArray("UNSET") << int(Converted) << QImage();
    // Plugins' readers that allocate their own pictures, on damaged files: one bit flipped, at
    // places spread over the file (HEIF decoders leave parts of a damaged picture unset).
    QTemporaryDir scratch;
    for (const auto &[format, variants] :
         {std::pair {"heic", 8}, {"avif", 4}, {"psd", 4}, {"webp", 4}, {"tiff", 4}}) {
        const QString source = scratch.filePath("source.png"),
                      made = scratch.filePath(QString("made.") + format);
        savePicture(patternPicture(29, 23, true), source, "PNG");
        QProcess::execute("convert", {source, "-quality", "50", made});
        const QByteArray whole = readFile(made);
        for (int variant = 0; variant < variants; ++variant) {
            QByteArray damaged = whole;
            if (!damaged.isEmpty()) {
                const int at = int(qint64(damaged.size()) * (variant + 1) / (variants + 1));
                damaged[at] = char(damaged[at] ^ (1 << (variant * 3 % 8)));
            }
            QTest::addRow("damaged %s, %d", format, variant) << damaged << -1 << QImage();
        }
    }
    QByteArray icon = bmpFile(4, 8, 32, 0, {}, QByteArray(4 * 4 * 4 + 4 * 4, '\x44')).mid(14);
    icon.truncate(icon.size() - 30);
    QTest::newRow("ICO cut short") << QByteArray::fromHex("000001000100"
                                                          "04040000"
                                                          "01002000")
            + QByteArray::fromHex("70000000"
                                  "16000000")
            + icon << int(Incomplete)
                                   << QImage();
}

void TestBadInput::givesTheSameBytesWhateverFreshMemoryHolds()
{
    // Under AddressSanitizer, fresh memory is filled with the given byte: what a reader leaves
    // unset then differs between the runs. Without it, the runs still must agree.
    QFETCH(QByteArray, file);
    QFETCH(int, outcome);
    QFETCH(QImage, expected);
#if defined(__SANITIZE_ADDRESS__)
    // Under AddressSanitizer, glibc's fill of fresh memory, which shows these readers' damage,
    // is not there.
    if (QByteArray(QTest::currentDataTag()).startsWith("damaged") || file.startsWith("UNSET"))
        QSKIP("the sanitizers' allocator does not take glibc's fill of fresh memory");
#endif
    const QString picturePath = path("variant.bmp");
    writeFile(picturePath, file);

    QByteArray outputs[2];
    Outcome outcomes[2] = {Converted, Converted};
    const int fills[2] = {17, 238};
    for (int run = 0; run < 2; ++run) {
        const QString out = path(QString("fill%1").arg(fills[run]));
        QVERIFY(QDir().mkdir(out));
        const QString options = qEnvironmentVariable("ASAN_OPTIONS")
            + QString(":malloc_fill_byte=%1:max_malloc_fill_size=1000000000").arg(fills[run]);
        // Without the sanitizers, glibc fills fresh memory when its per-thread cache is off.
        const QByteArray printed = runJobProbe(
            {"/usr/bin/env", "ASAN_OPTIONS=" + options, testReadersVariable(),
             QString("MALLOC_PERTURB_=%1").arg(fills[run]), "GLIBC_TUNABLES=glibc.malloc.tcache_count=0"},
            {picturePath, out});
        if (printed.contains("refused")) {
            outcomes[run]
                = printed.contains("box: Image incomplète : le fichier s'arrête avant la fin de l'image.")
                ? Incomplete
                : Refused;
            QVERIFY2(outcomes[run] == Incomplete
                         || printed.contains("box: Ce fichier ne sempble pas être une image."),
                     printed.constData());
            QVERIFY(entryNames(out).isEmpty());
        } else {
            QVERIFY2(printed.contains("status: Convertion terminée avec succès.\ncursor: arrow\n"),
                     printed.constData());
            outputs[run] = readFile(out + "/variant16bits.BMP");
            QCOMPARE(readFile(out + "/variant.h"), expectedHeader(outputs[run]));
        }
    }
    QVERIFY(outputs[0] == outputs[1]);
    QCOMPARE(outcomes[0], outcomes[1]);
    if (outcome != -1)
        QCOMPARE(int(outcomes[0]), outcome);
    if (!expected.isNull())
        QCOMPARE(outputs[0], expectedBmp(expected));
}

void TestBadInput::survivesReadersThatMisbehave_data()
{
    QTest::addColumn<QByteArray>("file"); // read by one of the test's misbehaving readers
    QTest::newRow("crash") << QByteArray("CRASH");
#if !defined(__SANITIZE_ADDRESS__) // whose shadow memory no address-space limit leaves room for
    QTest::newRow("2 GiB of memory") << QByteArray("HOG");
#endif
}

void TestBadInput::survivesReadersThatMisbehave()
{
    QFETCH(QByteArray, file);
    const QString picturePath = path("bad.picture");
    writeFile(picturePath, file);
    const QByteArray printed
        = runJobProbe({"/usr/bin/env", testReadersVariable()}, {picturePath, path("out")});
    QVERIFY2(printed.contains("box: Cette image est illisible ou trop coûteuse à décoder.\nrefused\n"),
             printed.constData());
    QVERIFY(entryNames(path("out")).isEmpty());
}

void TestBadInput::namesReadersFromTheirSignatures_data()
{
    QTest::addColumn<QByteArray>("head"); // a file's first bytes
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format"); // empty: every reader is asked
    // The reader of another package that a file of these bytes needs, which quillon-convert's
    // decoding server loads at its start: empty for Quillon's own, "?" when every reader is asked.
    QTest::addColumn<QByteArray>("apart");
    const auto hex = [](const char *digits) { return QByteArray::fromHex(digits); };
    const auto row = [](const char *tag, const QByteArray &head, const char *format, const char *apart,
                        const QString &name = "f") {
        QTest::newRow(tag) << head << name << QByteArray(format) << QByteArray(apart);
    };
    row("PNG", hex("89504e470d0a1a0a0000"), "png", "");
    row("PNG, one byte wrong", hex("89504e470d0a1a0b0000"), "", "?");
    row("GIF", "GIF89a\x07\0\x05\0", "gif", "");
    row("ICO of one picture", hex("000001000100"), "ico", "");
    row("CUR of two pictures", hex("000002000200"), "cur", "");
    row("icon directory of no picture: not an icon", hex("000001000000"), "", "?");
    // Bytes two probes would take: the one tried first tells.
    row("icon whose bytes hold an ISO media box", hex("00000100") + "ftypheic", "ico", "");
    row("anymap whose bytes hold an ISO media box", "P6\n ftypavif", "avif", "avif");
    row("BMP with WebP's signature further in", "BMxxxxxxWEBP", "bmp", "");
    row("SGI's signature with ANI's further in", hex("01da") + "xxxxxxACON", "ani", "ani");
    row("Sun raster's signature with JPEG XL's further in", hex("59a66a954a584c200d0a870a"), "jxl", "jxl");
    row("SGI's signature with JPEG 2000's further in", hex("01da78786a5020200d0a870a"), "rgb", "rgb");
    // An uncompressed true-colour TGA starts as a cursor of no picture would.
    row("TGA, by its suffix", hex("000002000000000000000000"), "tga", "tga", "picture.tga");
    row("TGA, by its suffix in capitals", hex("000002000000000000000000"), "tga", "tga", "PICTURE.TGA");
    row("TGA without its suffix", hex("000002000000000000000000"), "", "?", "picture.img");
    row("WBMP, by its suffix", hex("00000a0a"), "wbmp", "wbmp", "p.wbmp");
    row("PBM", "P1\n", "pbm", "");
    row("PPM, binary", "P6\n", "ppm", "");
    row("P7 is no anymap of Qt's", "P7\n", "", "?");
    row("P6 then a digit", "P66", "", "?");
    row("TIFF, little-endian", hex("49492a00"), "tiff", "tiff");
    row("WebP", QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16), "webp", "webp");
    row("animated cursor", QByteArray("RIFF\x10\0\0\0ACONanih", 16), "ani", "ani");
    row("RIFF of sound", QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16), "", "?");
    row("OpenRaster", "PK\3\4" + QByteArray(26, '\0') + "mimetypeimage/openraster", "ora", "ora");
    row("ZIP of something else", "PK\3\4" + QByteArray(26, '\0') + "mimetypetext/plain", "", "?");
    row("HEIC", hex("00000018") + "ftypheic", "heif", "heif");
    row("AVIF", hex("0000001c") + "ftypavif", "avif", "avif");
    row("AVIF sequence", hex("0000001c") + "ftypavis", "avif", "avif");
    row("MP4 video", hex("00000018") + "ftypisom", "", "?");
    for (int version : {0, 2, 3, 4, 5})
        row(qPrintable(QString("PCX version %1").arg(version)), hex("0a") + char(version) + hex("0108"),
            "pcx",
            "pcx"); // its manufacturer, its version, run-length encoding, 8 bits
    row("PCX of a version that never was", hex("0a010108"), "", "?");
    row("PCX of 3 bits", hex("0a050103"), "", "?");
    row("too short for any", "B", "", "?");
    // SVG, drawn by Qt SVG in the decoding child.
    row("SVG", "<svg xmlns=\"http://www.w3.org/2000/svg\"", "svg", "svg");
    row("SVG after a byte-order mark and spaces", "\xef\xbb\xbf \n<svg ", "svg", "svg");
    row("SVG after an XML declaration", "<?xml version=\"1.0\"?>\n<svg ", "svg", "svg");
    row("SVG by its suffix alone", "<?xml version=\"1.0\"?><!-- a long comment", "svg", "svg", "logo.SVG");
    row("SVGZ by its suffix alone", hex("1f8b0800"), "svg", "svg", "logo.svgz");
    row("SVG after its document type",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\"", "svg", "svg");
    row("XML of something else", "<?xml version=\"1.0\"?>\n<html>", "", "?");
}

void TestBadInput::namesReadersFromTheirSignatures()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, apart);
    QCOMPARE(pictureFormatOf(head, name), format);
    writeFile(path(name), head);
    QCOMPARE(readerApartOf(QFile::encodeName(path(name))), apart);
}

void TestBadInput::keepsEachFamilyInOneCodec_data()
{
    QTest::addColumn<QByteArray>("head"); // the first bytes of a file of the family
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("family"); // the codec's
    QTest::addColumn<bool>("inProcess"); // read by one of Qt's own readers
    const auto hex = [](const char *digits) { return QByteArray::fromHex(digits); };
    const auto row = [](const QByteArray &head, const char *format, const char *family, bool inProcess,
                        const QString &name = "f") {
        QTest::newRow(family) << head << name << QByteArray(format) << QByteArray(family) << inProcess;
    };
    row(hex("89504e470d0a1a0a0000000d49484452"), "png", "png", true);
    row(hex("ffd8ffe000104a464946"), "jpeg", "jpeg", true);
    row("GIF87a\x05\0\x03\0", "gif", "gif", true);
    row("BM\x46\0\0\0", "bmp", "bmp", true);
    row(hex("000002000100"), "cur", "ico", true);
    row(hex("0000001c") + "ftypavis", "avif", "heif", false);
    row("/* XPM */\nstatic", "xpm", "anymap", true);
    row(hex("0a050108"), "pcx", "pcx", false);
    row("<svg width=\"3\"", "svg", "svg", false);
    row(hex("4d4d002b0008"), "tiff", "tiff", false);
    row(QByteArray("RIFF\x20\0\0\0WEBPVP8X", 16), "webp", "webp", false);
    row(hex("00000a000000000000000000"), "tga", "tga", false, "logo.vst");
    row(hex("01da0101"), "rgb", "sgi", false);
    row(hex("59a66a9500000005"), "ras", "ras", false);
    row("#?RGBE\n", "hdr", "hdr", false);
    row(hex("8a4d4e470d0a1a0a0000001c"), "mng", "mng", false);
    row(QByteArray("RIFF\x20\0\0\0ACONanih", 16), "ani", "ani", false);
    row("8BPS\0\x01", "psd", "psd", false);
    row(hex("0000000c4a584c200d0a870a"), "jxl", "jxl", false);
    row("qoif\0\0\0\x05", "qoi", "other", false);
}

// The codec a file's first bytes name reads every format of its family and keeps every
// signature of its own: no earlier row of the table takes them.
void TestBadInput::keepsEachFamilyInOneCodec()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, family);
    QFETCH(bool, inProcess);
    QCOMPARE(pictureFormatOf(head, name), format);
    const Codec &codec = codecOf(format);
    QCOMPARE(QByteArray(codec.family), family);
    QCOMPARE(codec.reading == Reading::InProcess, inProcess);
    QCOMPARE(isQtOwnFormat(format), inProcess);
    for (const QByteArray &read : codec.formats)
        QCOMPARE(&codecOf(read), &codec);
    for (const Signature &signature : codec.signatures) {
        const QByteArray bytes = QByteArray(signature.offset, '\x7f') + signature.bytes;
        QCOMPARE(pictureFormatOf(bytes, "f"), QByteArray(signature.format));
        QCOMPARE(&codecOf(signature.format), &codec);
    }
}

// Each reader Qt has here is listed by one codec at most; the others fall to the last row.
void TestBadInput::listsEachReaderInOneCodecAtMost()
{
    QList<QByteArray> formats = QImageReader::supportedImageFormats();
    formats += QList<QByteArray> {"svg", "svgz", "tga", "heif", "avif"};
    for (const QByteArray &format : formats) {
        int listed = 0;
        for (const Codec *codec : codecTable())
            listed += int(std::count(codec->formats.begin(), codec->formats.end(), format));
        QVERIFY2(listed <= 1, format.constData());
        QVERIFY2(listed == 1 || &codecOf(format) == codecTable().back(), format.constData());
    }
}

void TestBadInput::looksForNoReaderInWhatIsNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a FIFO without a writer, which a read would wait on for ever") << "fifo";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a device") << "device";
    QTest::newRow("nothing") << "missing";
    QTest::newRow("a file that may not be read") << "unreadable";
}

void TestBadInput::looksForNoReaderInWhatIsNoFile()
{
    // quillon-convert looks at its first pictures before it reads its options: anything named
    // there is looked at without waiting, and asks for no reader.
    QFETCH(QString, kind);
    QString picturePath = path("picture.tiff");
    if (kind == "fifo") {
        QVERIFY(::mkfifo(QFile::encodeName(picturePath).constData(), 0600) == 0);
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(picturePath));
    } else if (kind == "device") {
        picturePath = "/dev/zero";
    } else if (kind == "unreadable") {
        if (::geteuid() == 0)
            QSKIP("root reads any file");
        writeFile(picturePath, QByteArray::fromHex("49492a00"));
        QVERIFY(QFile::setPermissions(picturePath, QFileDevice::WriteOwner));
    }
    QCOMPARE(readerApartOf(QFile::encodeName(picturePath)), QByteArray());
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
