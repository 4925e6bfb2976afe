#include "mainwindow.h"
#include "output_paths.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

using namespace TestSupport;

namespace {

const QString working = QStringLiteral("Convertion en cours... Patientez...");
const QString succeeded = QStringLiteral("Convertion terminée avec succès.");
const QString failed = QStringLiteral("Echec de la convertion.");

} // namespace

class TestConversionJob : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void namesTheOutputFiles_data();
    void namesTheOutputFiles();
    void writesBothFilesExactly_data();
    void writesBothFilesExactly();
    void dropsTheAlphaChannel();
    void reportsProgressAndOutcome();
    void replacesTheFilesOfAnEarlierRun();
    void replacesTheFilesItsOutputsLinkTo();
    void convertsThePictureHeldWhenItsFileIsGone();

    void failsWithoutADestinationFolder_data();
    void failsWithoutADestinationFolder();
    void writesNeitherFileWhenTheHeaderFails();
    void failsWithNothingLoaded();

private:
    // Loads the picture, sets the destination and presses "Convertir"; returns the status
    // bar's messages in order and checks the cursor and the button after the run.
    QStringList convert(const QString &destinationPath, const QString &destination);

    QScopedPointer<MainWindow> m_window;
    QStringList m_messages;
    QList<Qt::CursorShape> m_cursorAtMessage;
};

void TestConversionJob::init()
{
    QVERIFY(renewFolder());
    QVERIFY(QDir(path()).mkdir("src"));
    QVERIFY(QDir(path()).mkdir("out"));
    m_window.reset(new MainWindow);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.data()));
    m_messages.clear();
    m_cursorAtMessage.clear();
    connect(m_window->statusBar(), &QStatusBar::messageChanged, this, [this](const QString &message) {
        m_messages << message;
        m_cursorAtMessage << m_window->cursor().shape();
    });
}

void TestConversionJob::cleanup()
{
    m_window.reset();
}

QStringList TestConversionJob::convert(const QString &destinationPath, const QString &destination)
{
    if (!destinationPath.isEmpty() && !m_window->loadImage(destinationPath))
        qFatal("cannot load %s", qPrintable(destinationPath));
    childOf<QLineEdit>(m_window.data(), "dstPath")->setText(destination);
    m_messages.clear();
    m_cursorAtMessage.clear();

    auto *button = childOf<QPushButton>(m_window.data(), "btConvertir");
    if (button->isEnabled())
        button->click();
    else
        QMetaObject::invokeMethod(m_window.data(), "on_btConvertir_clicked");

    // Every run ends with an explicit arrow cursor, the button still enabled when it was.
    if (m_window->cursor().shape() != Qt::ArrowCursor || !m_window->testAttribute(Qt::WA_SetCursor))
        qFatal("the window's cursor is not an explicit arrow after the job");
    if (!destinationPath.isEmpty() && !button->isEnabled())
        qFatal("Convertir was disabled by the job");
    return m_messages;
}

void TestConversionJob::namesTheOutputFiles_data()
{
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QString>("bmpName");
    QTest::addColumn<QString>("headerName");

    QTest::newRow("photo.png") << "photo.png"
                               << "photo16bits.BMP"
                               << "photo.h";
    QTest::newRow("my.photo.png") << "my.photo.png"
                                  << "my.photo16bits.BMP"
                                  << "my.photo.h";
    QTest::newRow("trailing dot") << "photo."
                                  << "photo16bits.BMP"
                                  << "photo.h";
    QTest::newRow("no dot at all") << "logo"
                                   << "logo16bits.BMP"
                                   << "logo.h";
    QTest::newRow("upper-case extension") << "LOGO.JPG"
                                          << "LOGO16bits.BMP"
                                          << "LOGO.h";
    QTest::newRow("spaces and accents") << "mon été.png"
                                        << "mon été16bits.BMP"
                                        << "mon été.h";
}

void TestConversionJob::namesTheOutputFiles()
{
    QFETCH(QString, sourceName);
    QFETCH(QString, bmpName);
    QFETCH(QString, headerName);

    const QString source = path("src/" + sourceName);
    savePicture(patternPicture(6, 4), source, "PNG");
    const QString out = path("out");
    QCOMPARE(convert(source, out), (QStringList {working, succeeded}));
    QStringList written = entryNames(out);
    written.sort();
    QStringList expected {bmpName, headerName};
    expected.sort();
    QCOMPARE(written, expected);

    const OutputPaths paths = outputPaths(out, sourceName);
    QCOMPARE(paths.bmp, out + "/" + bmpName);
    QCOMPARE(paths.header, out + "/" + headerName);
}

void TestConversionJob::writesBothFilesExactly_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("odd width, PNG") << patternPicture(37, 23) << QByteArray("PNG");
    QTest::newRow("even width, BMP") << patternPicture(64, 48) << QByteArray("BMP");
    QTest::newRow("one pixel") << patternPicture(1, 1) << QByteArray("PNG");
    QTest::newRow("JPEG") << patternPicture(50, 30) << QByteArray("JPEG");
    QTest::newRow("every alpha value, PNG") << alphaRampPicture() << QByteArray("PNG");
}

void TestConversionJob::writesBothFilesExactly()
{
    QFETCH(QImage, picture);
    QFETCH(QByteArray, format);

    const QString source = path("src/picture.img");
    savePicture(picture, source, format.constData());
    QCOMPARE(convert(source, path("out")), (QStringList {working, succeeded}));

    // The BMP holds the 5-6-5 form of the decoded picture as a pixmap shows it; the header holds
    // the BMP's bytes.
    const QByteArray bmp = readFile(path("out/picture16bits.BMP"));
    QCOMPARE(bmp, expectedBmp(QPixmap::fromImage(QImage(source)).toImage()));
    QCOMPARE(readFile(path("out/picture.h")), expectedHeader(bmp));

    auto *converted = childOf<QLabel>(m_window.data(), "imageDst");
    QCOMPARE(converted->pixmap(Qt::ReturnByValue).size(),
             picture.size().scaled(converted->size(), Qt::KeepAspectRatio));
}

void TestConversionJob::dropsTheAlphaChannel()
{
    // The left half is fully transparent: it comes out black, the right half keeps its colours.
    const QString source = path("src/alpha.png");
    const QImage picture = patternPicture(8, 4, true);
    savePicture(picture, source, "PNG");
    QCOMPARE(convert(source, path("out")), (QStringList {working, succeeded}));

    const QByteArray bmp = readFile(path("out/alpha16bits.BMP"));
    const QImage expected = picture.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < 4; ++row) {
        const QByteArray line = bmp.mid(54 + row * 16, 16);
        QCOMPARE(line.left(8), QByteArray(8, '\0'));
        const QImage visible = expected.copy(4, 3 - row, 4, 1).convertToFormat(QImage::Format_RGB16);
        QCOMPARE(line.mid(8), QByteArray(reinterpret_cast<const char *>(visible.constBits()), 8));
    }
}

void TestConversionJob::reportsProgressAndOutcome()
{
    const QString source = path("src/photo.png");
    savePicture(patternPicture(10, 10), source, "PNG");
    QCOMPARE(convert(source, path("out")), (QStringList {working, succeeded}));
    // The outcome is shown while the wait cursor is still up; the arrow comes last.
    QCOMPARE(m_cursorAtMessage.last(), Qt::WaitCursor);
    QCOMPARE(m_window->statusBar()->currentMessage(), succeeded);
    QVERIFY(childOf<QPushButton>(m_window.data(), "btConvertir")->isEnabled());
}

void TestConversionJob::replacesTheFilesOfAnEarlierRun()
{
    const QString source = path("src/photo.png");
    const QString out = path("out");
    savePicture(patternPicture(40, 40), source, "PNG");
    writeFile(out + "/photo.h", QByteArray(500000, '#'));
    QCOMPARE(convert(source, out), (QStringList {working, succeeded}));
    const QByteArray first = readFile(out + "/photo16bits.BMP");
    QCOMPARE(convert(QString(), out), (QStringList {working, succeeded}));
    QCOMPARE(readFile(out + "/photo16bits.BMP"), first);

    // Another picture of the same name replaces both files whole.
    savePicture(patternPicture(3, 2), source, "PNG");
    QCOMPARE(convert(source, out), (QStringList {working, succeeded}));
    const QByteArray bmp = readFile(out + "/photo16bits.BMP");
    QCOMPARE(bmp.size(), 70);
    QCOMPARE(readFile(out + "/photo.h"), expectedHeader(bmp));
    QCOMPARE(entryNames(out), (QStringList {"photo.h", "photo16bits.BMP"}));
}

// Outputs that are links to files of another folder: those files are replaced, beside themselves
// (a journal lists the files of its own folder only), and the links stay.
void TestConversionJob::replacesTheFilesItsOutputsLinkTo()
{
    const QString source = path("src/photo.png");
    const QString out = path("out"), elsewhere = path("elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    savePicture(patternPicture(5, 3), source, "PNG");
    for (const QString name : {"photo.h", "photo16bits.BMP"}) {
        writeFile(elsewhere + "/" + name, "earlier");
        QVERIFY(QFile::link(elsewhere + "/" + name, out + "/" + name));
    }
    QCOMPARE(convert(source, out), (QStringList {working, succeeded}));
    const QByteArray bmp = readFile(elsewhere + "/photo16bits.BMP");
    QCOMPARE(bmp, expectedBmp(QPixmap::fromImage(QImage(source)).toImage()));
    QCOMPARE(readFile(elsewhere + "/photo.h"), expectedHeader(bmp));
    QVERIFY(QFileInfo(out + "/photo.h").isSymLink() && QFileInfo(out + "/photo16bits.BMP").isSymLink());
    QCOMPARE(entryNames(out), (QStringList {"photo.h", "photo16bits.BMP"}));
    QCOMPARE(entryNames(elsewhere), (QStringList {"photo.h", "photo16bits.BMP"}));
}

void TestConversionJob::convertsThePictureHeldWhenItsFileIsGone()
{
    const QString source = path("src/photo.png");
    savePicture(patternPicture(12, 7), source, "PNG");
    const QByteArray expected = expectedBmp(QImage(source));
    QVERIFY(m_window->loadImage(source));
    writeFile(source, "now something else entirely");
    QCOMPARE(convert(QString(), path("out")), (QStringList {working, succeeded}));
    QCOMPARE(readFile(path("out/photo16bits.BMP")), expected);
    QVERIFY(QFile::remove(source));
    QCOMPARE(convert(QString(), path("out")), (QStringList {working, succeeded}));
    QCOMPARE(readFile(path("out/photo16bits.BMP")), expected);
}

void TestConversionJob::failsWithoutADestinationFolder_data()
{
    QTest::addColumn<QString>("destination");
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("a file, not a folder") << "file";
    QTest::newRow("empty") << "";
}

void TestConversionJob::failsWithoutADestinationFolder()
{
    QFETCH(QString, destination);
    const QString source = path("src/photo.png");
    savePicture(patternPicture(20, 10), source, "PNG");
    if (destination == "file")
        writeFile(path("file"), "a plain file");
    const QString destinationPath = destination.isEmpty() ? QString() : path(destination);

    QCOMPARE(convert(source, destinationPath), (QStringList {working, failed}));
    QCOMPARE(entryNames(path()),
             destination == "file" ? (QStringList {"file", "out", "src"}) : (QStringList {"out", "src"}));
    if (destination.isEmpty())
        QVERIFY(!QFile::exists("/photo16bits.BMP")); // nothing written into the root folder
    // The converted picture is shown all the same.
    auto *converted = childOf<QLabel>(m_window.data(), "imageDst");
    QCOMPARE(converted->pixmap(Qt::ReturnByValue).size(),
             QSize(20, 10).scaled(converted->size(), Qt::KeepAspectRatio));
}

void TestConversionJob::writesNeitherFileWhenTheHeaderFails()
{
    const QString source = path("src/photo.png");
    const QString out = path("out");
    savePicture(patternPicture(9, 9), source, "PNG");
    QVERIFY(QDir(out).mkdir("photo.h")); // the header's path is taken by a folder

    // The two files are one pair: without its header, the BMP file is not committed either.
    QCOMPARE(convert(source, out), (QStringList {working, failed}));
    QVERIFY(QFileInfo(out + "/photo.h").isDir());
    QCOMPARE(entryNames(out), QStringList {"photo.h"});
}

void TestConversionJob::failsWithNothingLoaded()
{
    // Nothing loaded, or a load that was refused after an earlier one: nothing to convert.
    QCOMPARE(convert(QString(), path("out")), (QStringList {working, failed}));
    QCOMPARE(entryNames(path("out")), QStringList());

    const QString source = path("src/photo.png");
    savePicture(patternPicture(5, 5), source, "PNG");
    QVERIFY(m_window->loadImage(source));
    writeFile(path("src/broken.png"), "not a picture");
    ModalWatcher watcher([](QWidget *box) { static_cast<QDialog *>(box)->accept(); });
    QVERIFY(!m_window->loadImage(path("src/broken.png")));
    QVERIFY(watcher.handled());
    QVERIFY(!childOf<QPushButton>(m_window.data(), "btConvertir")->isEnabled());
    QCOMPARE(convert(QString(), path("out")), (QStringList {working, failed}));
    QCOMPARE(entryNames(path("out")), QStringList());
}

QTEST_MAIN(TestConversionJob)
#include "tst_conversionjob.moc"
