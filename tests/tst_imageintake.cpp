#include "mainwindow.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

using namespace TestSupport;

namespace {

// What the error box said, and that it was modal.
struct BoxSeen
{
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Records what the error box says, then closes it with its Ok button.
std::function<void(QWidget *)> recordBox(BoxSeen *seen)
{
    return [seen](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            qFatal("expected a message box, got a %s", modal->metaObject()->className());
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->buttons = box->standardButtons();
        seen->icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    };
}

QPixmap shownPixmap(QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue);
}

} // namespace

class TestImageIntake : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void acceptsDragsThatCarryUrls();
    void loadsDroppedPictures_data();
    void loadsDroppedPictures();
    void loadsTheFirstOfSeveralFiles();
    void ignoresWhatIsNoLocalFile();
    void refusesWhatDoesNotDecode_data();
    void refusesWhatDoesNotDecode();
    void refusesPicturesTooLargeToConvert();
    void opensThroughTheDialog();
    void cancellingTheDialogChangesNothing();
    void fitsPreviewsToTheLabels_data();
    void fitsPreviewsToTheLabels();
    void followsTheWindowSize();
    void keepsThePreviewWhenTheFileIsGone();
    void followsTheWindowSizeWithoutAFolderName();

private:
    void drop(const QList<QUrl> &urls);
    bool dragEnterAccepted(QMimeData *data);
    QString picture(const QString &name, const char *format, QSize size = QSize(40, 30));
    void verifyStartingState();
    void verifyLoaded(QSize pictureSize);

    QScopedPointer<MainWindow> m_window;
    QLabel *m_source = nullptr;
    QLabel *m_converted = nullptr;
    QPushButton *m_convert = nullptr;
};

void TestImageIntake::init()
{
    QVERIFY(renewFolder());
    m_window.reset(new MainWindow);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.data()));
    m_source = childOf<QLabel>(m_window.data(), "imageSrc");
    m_converted = childOf<QLabel>(m_window.data(), "imageDst");
    m_convert = childOf<QPushButton>(m_window.data(), "btConvertir");
    childOf<QLineEdit>(m_window.data(), "dstPath")->setText(path());
}

void TestImageIntake::cleanup()
{
    m_window.reset();
}

// As a drag and drop from a file manager: the drag enters over the source preview, then drops.
// Qt delivers the drop to the widget that accepted the drag.
void TestImageIntake::drop(const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QVERIFY(dragEnterAccepted(&data));
    const QPoint position = m_source->mapTo(m_window.data(), m_source->rect().center());
    QDropEvent event(position, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.data(), &event);
}

bool TestImageIntake::dragEnterAccepted(QMimeData *data)
{
    const QPoint position = m_source->mapTo(m_window.data(), m_source->rect().center());
    QDragEnterEvent event(position, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    event.ignore();
    QApplication::sendEvent(m_window.data(), &event);
    return event.isAccepted() && event.dropAction() == Qt::CopyAction;
}

QString TestImageIntake::picture(const QString &name, const char *format, QSize size)
{
    const QString file = path(name);
    savePicture(patternPicture(size.width(), size.height()), file, format);
    return file;
}

void TestImageIntake::verifyStartingState()
{
    QCOMPARE(m_source->text(), QString("Image source<br/>Faire glisser une image ou cliquer sur \"Ouvrir\""));
    QCOMPARE(m_converted->text(), QString("Image convertie en 16 bits"));
    QVERIFY(shownPixmap(m_source).isNull());
    QVERIFY(shownPixmap(m_converted).isNull());
    QVERIFY(!m_convert->isEnabled());
}

void TestImageIntake::verifyLoaded(QSize pictureSize)
{
    const QPixmap preview = shownPixmap(m_source);
    QVERIFY(!preview.isNull());
    QCOMPARE(preview.size(), pictureSize.scaled(m_source->size(), Qt::KeepAspectRatio));
    QVERIFY(shownPixmap(m_converted).isNull());
    QCOMPARE(m_converted->text(), QString());
    QVERIFY(m_convert->isEnabled());
}

void TestImageIntake::acceptsDragsThatCarryUrls()
{
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/any/where.png"), QUrl("https://example.org/x.png")});
    QVERIFY(dragEnterAccepted(&files));
    QMimeData web;
    web.setUrls({QUrl("https://example.org/x.png")});
    QVERIFY(dragEnterAccepted(&web)); // the drop itself sorts out what it cannot use

    QMimeData text;
    text.setText("/any/where.png");
    QVERIFY(!dragEnterAccepted(&text));
    QMimeData image;
    image.setImageData(patternPicture(4, 4));
    QVERIFY(!dragEnterAccepted(&image));
}

void TestImageIntake::loadsDroppedPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");

    QTest::newRow("PNG") << "photo.png" << QByteArray("PNG") << QSize(40, 30);
    QTest::newRow("PNG named .jpg") << "x.jpg" << QByteArray("PNG") << QSize(40, 30);
    QTest::newRow("JPEG named .jpeg") << "x.jpeg" << QByteArray("JPEG") << QSize(40, 30);
    QTest::newRow("BMP") << "x.bmp" << QByteArray("BMP") << QSize(33, 21);
    QTest::newRow("GIF") << "x.gif" << QByteArray("GIF") << QSize(1, 1);
    QTest::newRow("PPM, a format outside the dialog's filter") << "x.ppm" << QByteArray("PPM") << QSize(9, 9);
    QTest::newRow("no extension") << "picture" << QByteArray("PNG") << QSize(20, 50);
    QTest::newRow("spaces, accents and quotes")
        << "é \"photo\" d'été.png" << QByteArray("PNG") << QSize(8, 8);
}

void TestImageIntake::loadsDroppedPictures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    drop({QUrl::fromLocalFile(picture(name, format.constData(), size))});
    verifyLoaded(size);
}

void TestImageIntake::loadsTheFirstOfSeveralFiles()
{
    const QString first = picture("first.png", "PNG", QSize(60, 20));
    const QString second = picture("second.png", "PNG", QSize(20, 60));
    drop({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    verifyLoaded(QSize(60, 20));
}

void TestImageIntake::ignoresWhatIsNoLocalFile()
{
    BoxSeen box;
    ModalWatcher watcher(recordBox(&box));
    drop({QUrl("https://example.org/photo.png")});
    drop({QUrl::fromLocalFile(path("missing.png"))});
    drop({});
    QTest::qWait(50);
    QVERIFY(!box.shown);
    verifyStartingState();

    // Nor do they disturb a picture already loaded.
    drop({QUrl::fromLocalFile(picture("photo.png", "PNG"))});
    drop({QUrl::fromLocalFile(path("missing.png"))});
    verifyLoaded(QSize(40, 30));
    QTest::qWait(50);
    QVERIFY(!box.shown);
}

void TestImageIntake::refusesWhatDoesNotDecode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    const QString notAPicture = QString::fromUtf8("Ce fichier ne sempble pas être une image.");
    const QString incomplete
        = QString::fromUtf8("Image incomplète : le fichier s'arrête avant la fin de l'image.");
    QTest::newRow("text named .png") << "x.png" << QByteArray("this is not a picture\n") << notAPicture;
    QTest::newRow("empty file") << "empty.jpg" << QByteArray() << notAPicture;
    QTest::newRow("folder") << "folder.png" << QByteArray() << notAPicture;
    QTest::newRow("truncated PNG") << "cut.png" << QByteArray() << incomplete;
    // SVG: Qt SVG, another parser of untrusted input, runs in the decoding child.
    const QString unreadable = QString::fromUtf8("Cette image est illisible ou trop coûteuse à décoder.");
    const QString tooLarge = QString::fromUtf8("Cette image est trop grande pour être convertie.");
    const QByteArray svg
        = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
    QTest::newRow("SVG of 8193 x 8192")
        << "huge.svg" << svg + " width=\"8193\" height=\"8192\"><rect width=\"10\" height=\"10\"/></svg>"
        << tooLarge;
    QTest::newRow("SVG of 9 x 0") << "flat.svg" << svg + " width=\"9\" height=\"0\"/>" << notAPicture;
    const QByteArray small = svg + " width=\"9\" height=\"7\"/>";
    QTest::newRow("SVG of 32 MiB and a byte")
        << "large.svg" << small + QByteArray((32 << 20) + 1 - small.size(), ' ') << tooLarge;
    QTest::newRow("SVG of 100000 x 100000")
        << "huger.svg" << svg + " width=\"100000\" height=\"100000\"/>" << tooLarge;
    QTest::newRow("SVG naming a picture of the disk") << "file.svg"
                                                      << svg
            + " width=\"9\" height=\"7\"><image width=\"9\" height=\"7\" xlink:href=\"earlier.png\"/></svg>"
                                                      << unreadable;
    QTest::newRow("SVG naming an address") << "url.svg"
                                           << svg
            + " width=\"9\" height=\"7\"><image width=\"9\" height=\"7\" href=\" "
              "http://127.0.0.1/p.png\"/></svg>"
                                           << unreadable;
    // Qt SVG takes an image's reference as inline data only when it starts with "data" in small
    // letters: any other, "#" first included, names a file.
    QTest::newRow("SVG naming a picture of the disk, in capitals after data:") << "capitals.svg"
                                                                               << svg
            + " width=\"9\" height=\"7\"><image width=\"9\" height=\"7\" "
              "xlink:href=\"DATA:earlier.png\"/></svg>" << unreadable;
    QTest::newRow("SVG naming a picture of the disk after #") << "hash.svg"
                                                              << svg
            + " width=\"9\" height=\"7\"><image width=\"9\" height=\"7\" xlink:href=\"#earlier.png\"/></svg>"
                                                              << unreadable;
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY l0 \"ha\">\n";
    for (int level = 1; level <= 9; ++level)
        laughs += QString("<!ENTITY l%1 \"%2\">\n")
                      .arg(level)
                      .arg(QString("&l%1;").arg(level - 1).repeated(10))
                      .toLatin1();
    laughs += "]>\n" + svg + " width=\"9\" height=\"7\"><desc>&l9;</desc></svg>";
    QTest::newRow("SVG of a billion laughs") << "laughs.svg" << laughs << notAPicture;
    // Gzip-compressed (.svgz), inflated in the child to 32 MiB at most: one byte more, a gzip
    // bomb's case, is too large.
    const QByteArray shapes
        = svg + " width=\"9\" height=\"7\"><rect width=\"4\" height=\"3\" fill=\"#f02010\"/></svg>";
    QTest::newRow("SVGZ of 32 MiB and a byte once inflated")
        << "bomb.svgz" << gzipFile(shapes + QByteArray((32 << 20) + 1 - shapes.size(), ' ')) << tooLarge;
    QTest::newRow("SVGZ cut short") << "cut.svgz" << gzipFile(shapes).chopped(5) << incomplete;
    QByteArray damaged = gzipFile(shapes);
    damaged[10] = char(0x07); // its first block of a type deflate has not (3)
    QTest::newRow("SVGZ of a damaged block") << "damaged.svgz" << damaged << notAPicture;
    // Named by Qt's own readers from its gzip header alone: drawn as any SVG, never by Qt SVG's
    // plugin, which would read the file it names.
    QTest::newRow("SVGZ named .bin, naming a picture of the disk")
        << "logo.bin"
        << gzipFile(svg
                    + " width=\"9\" height=\"7\"><image width=\"9\" height=\"7\" "
                      "xlink:href=\"earlier.png\"/></svg>")
        << unreadable;
    QTest::newRow("SVG not well-formed")
        << "bad.svg" << svg + " width=\"9\" height=\"7\"><rect></svg>" << notAPicture;
}

void TestImageIntake::refusesWhatDoesNotDecode()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    // A picture is loaded first: a refused file must not leave it half in place.
    drop({QUrl::fromLocalFile(picture("earlier.png", "PNG"))});
    QVERIFY(m_convert->isEnabled());

    const QString picturePath = path(name);
    if (name == "folder.png") {
        QVERIFY(QDir(path()).mkdir(name));
    } else if (name == "cut.png") {
        savePicture(patternPicture(50, 50), picturePath, "PNG");
        writeFile(picturePath, readFile(picturePath).left(60));
    } else {
        writeFile(picturePath, content);
    }

    BoxSeen box;
    ModalWatcher watcher(recordBox(&box));
    drop({QUrl::fromLocalFile(picturePath)});
    QVERIFY(box.shown);
    QCOMPARE(box.title, QString("Erreur"));
    QCOMPARE(box.text, message);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.icon, QMessageBox::Critical);
    verifyStartingState();

    // A resize redraws nothing now that nothing is loaded.
    m_window->resize(m_window->width() + 50, m_window->height() + 50);
    QTRY_VERIFY(m_source->width() > 320);
    verifyStartingState();
}

void TestImageIntake::refusesPicturesTooLargeToConvert()
{
    // 8193 x 8192 pixels would take just over 256 MiB once decoded; 8192 x 8192 is let through
    // to the decoder, which fails on the missing pixel data.
    const QString tooLarge = path("huge.png");
    writeFile(tooLarge, pngWithoutPixels(8193, 8192));
    BoxSeen box;
    ModalWatcher watcher(recordBox(&box));
    QVERIFY(!m_window->loadImage(tooLarge));
    QVERIFY(box.shown);
    QCOMPARE(box.title, QString("Erreur"));
    QCOMPARE(box.text, QString("Cette image est trop grande pour être convertie."));
    verifyStartingState();

    const QString largest = path("largest.png");
    writeFile(largest, pngWithoutPixels(8192, 8192));
    BoxSeen second;
    ModalWatcher secondWatcher(recordBox(&second));
    QVERIFY(!m_window->loadImage(largest));
    QCOMPARE(second.text, QString("Ce fichier ne sempble pas être une image."));
}

void TestImageIntake::opensThroughTheDialog()
{
    const QString file = picture("photo.bmp", "BMP", QSize(30, 40));
    QString caption;
    QString startFolder;
    QStringList filters;
    ModalWatcher watcher([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        caption = dialog->windowTitle();
        startFolder = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        acceptFileDialog(dialog, file);
    });
    childOf<QAction>(m_window.data(), "actionOuvrir")->trigger();

    QCOMPARE(caption, QString("Ouvrir une image"));
    QCOMPARE(startFolder, path());
    QCOMPARE(filters, QStringList {"Images (*.png *.bmp *.gif *.jpg)"});
    verifyLoaded(QSize(30, 40));
}

void TestImageIntake::cancellingTheDialogChangesNothing()
{
    const auto cancel = [](QWidget *dialog) { qobject_cast<QDialog *>(dialog)->reject(); };
    ModalWatcher watcher(cancel);
    childOf<QAction>(m_window.data(), "actionOuvrir")->trigger();
    QVERIFY(watcher.handled());
    verifyStartingState();

    drop({QUrl::fromLocalFile(picture("photo.png", "PNG"))});
    ModalWatcher secondWatcher(cancel);
    childOf<QAction>(m_window.data(), "actionOuvrir")->trigger();
    verifyLoaded(QSize(40, 30));
}

void TestImageIntake::fitsPreviewsToTheLabels_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("small square, enlarged") << QSize(16, 16);
    QTest::newRow("wide") << QSize(400, 50);
    QTest::newRow("tall") << QSize(50, 400);
}

void TestImageIntake::fitsPreviewsToTheLabels()
{
    QFETCH(QSize, size);
    drop({QUrl::fromLocalFile(picture("photo.png", "PNG", size))});
    const QSize preview = shownPixmap(m_source).size();
    const QSize label = m_source->size();
    QVERIFY(preview.width() == label.width() || preview.height() == label.height());
    QVERIFY(preview.width() <= label.width() && preview.height() <= label.height());
    if (size.width() > size.height())
        QCOMPARE(preview.width(), label.width());
    if (size.height() > size.width())
        QCOMPARE(preview.height(), label.height());

    // Scaled without smoothing, every pixel of it: enlarged, each pixel of the picture becomes
    // a block of one colour; reduced, each shown pixel is one of the picture's.
    const QImage shown = shownPixmap(m_source).toImage();
    const QImage expected = QImage(path("photo.png"))
                                .scaled(label, Qt::KeepAspectRatio, Qt::FastTransformation)
                                .convertToFormat(shown.format());
    QCOMPARE(shown, expected);
}

void TestImageIntake::followsTheWindowSize()
{
    const QSize before = m_source->size();
    m_window->resize(m_window->width() + 300, m_window->height() + 200);
    QTRY_VERIFY(m_source->size() != before);
    verifyStartingState(); // nothing loaded, nothing redrawn

    drop({QUrl::fromLocalFile(picture("photo.png", "PNG", QSize(64, 48)))});
    childOf<QPushButton>(m_window.data(), "btConvertir")->click();
    for (const QSize &windowSize : {QSize(700, 420), QSize(1200, 900), QSize(800, 800)}) {
        m_window->resize(windowSize);
        QTRY_COMPARE(shownPixmap(m_source).size(),
                     QSize(64, 48).scaled(m_source->size(), Qt::KeepAspectRatio));
        QCOMPARE(shownPixmap(m_converted).size(),
                 QSize(64, 48).scaled(m_converted->size(), Qt::KeepAspectRatio));
    }

    // A new load forgets the earlier conversion, also at the next resize.
    drop({QUrl::fromLocalFile(picture("other.png", "PNG", QSize(30, 30)))});
    m_window->resize(900, 600);
    QTRY_COMPARE(shownPixmap(m_source).size(), QSize(30, 30).scaled(m_source->size(), Qt::KeepAspectRatio));
    QVERIFY(shownPixmap(m_converted).isNull());
}

void TestImageIntake::keepsThePreviewWhenTheFileIsGone()
{
    const QString path = picture("photo.png", "PNG", QSize(80, 40));
    drop({QUrl::fromLocalFile(path)});
    const QImage shown = shownPixmap(m_source).toImage();
    QVERIFY(QFile::remove(path));

    m_window->resize(m_window->width() + 200, m_window->height() + 100);
    QTRY_COMPARE(shownPixmap(m_source).size(), QSize(80, 40).scaled(m_source->size(), Qt::KeepAspectRatio));
    QVERIFY(shownPixmap(m_source).size() != shown.size());
    // Still the same picture, now larger.
    QCOMPARE(shownPixmap(m_source).toImage().scaled(shown.size()).pixel(0, 0), shown.pixel(0, 0));
}

void TestImageIntake::followsTheWindowSizeWithoutAFolderName()
{
    // A path without any "/" before the name, as for a picture at the root of the file system.
    picture("photo.png", "PNG", QSize(80, 40));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(path()));
    const bool loaded = m_window->loadImage("photo.png");
    QDir::setCurrent(previous);
    QVERIFY(loaded);

    m_window->resize(m_window->width() + 250, m_window->height() + 150);
    QTRY_COMPARE(shownPixmap(m_source).size(), QSize(80, 40).scaled(m_source->size(), Qt::KeepAspectRatio));
}

QTEST_MAIN(TestImageIntake)
#include "tst_imageintake.moc"
