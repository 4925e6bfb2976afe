#include "mainwindow.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

using namespace TestSupport;

namespace {

// Receives the URLs that the window asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl &url) { urls.append(url); }
};

// Points HOME at a fresh folder for the life of the object.
class TemporaryHome
{
public:
    TemporaryHome()
        : m_previous(qgetenv("HOME"))
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
    }
    ~TemporaryHome() { qputenv("HOME", m_previous); }
    QString path() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    QByteArray m_previous;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startsWithNothingLoaded();
    void defaultsToTheDocumentsFolder();
    void declaresItsSlotsInOrder();
    void choosesTheDestinationFolder();
    void keepsTheDestinationWhenBrowsingIsCancelled_data();
    void keepsTheDestinationWhenBrowsingIsCancelled();
    void opensTheDestinationInTheFileManager();
    void quits();
};

void TestMainWindow::startsWithNothingLoaded()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QString("Quillon 1.0"));
    QCOMPARE(window.windowIcon().pixmap(100, 100).toImage().convertToFormat(QImage::Format_RGB32),
             QImage(":/logo.png").convertToFormat(QImage::Format_RGB32));
    QVERIFY(window.acceptDrops());
    QCOMPARE(childOf<QLabel>(&window, "imageSrc")->text(),
             QString("Image source<br/>Faire glisser une image ou cliquer sur \"Ouvrir\""));
    QCOMPARE(childOf<QLabel>(&window, "imageSrc")->text().size(), 64);
    QCOMPARE(childOf<QLabel>(&window, "imageDst")->text(), QString("Image convertie en 16 bits"));
    QVERIFY(childOf<QLabel>(&window, "imageSrc")->pixmap(Qt::ReturnByValue).isNull());

    QVERIFY(!childOf<QPushButton>(&window, "btConvertir")->isEnabled());
    for (QWidget *widget : window.findChildren<QWidget *>())
        if (widget->objectName() != "btConvertir")
            QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
}

void TestMainWindow::defaultsToTheDocumentsFolder()
{
    {
        TemporaryHome home;
        MainWindow window;
        QCOMPARE(childOf<QLineEdit>(&window, "dstPath")->text(), QString());
        QVERIFY(!childOf<QPushButton>(&window, "btConvertir")->isEnabled());
    }
    {
        TemporaryHome home;
        QVERIFY(QDir(home.path()).mkdir("Documents"));
        MainWindow window;
        QCOMPARE(childOf<QLineEdit>(&window, "dstPath")->text(), home.path() + "/Documents");
    }
    {
        // A file named Documents is not a folder to write into.
        TemporaryHome home;
        writeFile(home.path() + "/Documents", "not a folder");
        MainWindow window;
        QCOMPARE(childOf<QLineEdit>(&window, "dstPath")->text(), QString());
    }
}

void TestMainWindow::declaresItsSlotsInOrder()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "MainWindow");
    QStringList slotNames;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        QCOMPARE(meta.method(i).methodType(), QMetaMethod::Slot);
        QCOMPARE(meta.method(i).access(), QMetaMethod::Private);
        QCOMPARE(meta.method(i).parameterCount(), 0);
        slotNames << QString(meta.method(i).name());
    }
    QCOMPARE(slotNames,
             (QStringList {"on_btConvertir_clicked", "on_btParcourir_clicked", "on_actionOuvrir_triggered",
                           "on_actionQuitter_triggered", "on_actionA_propos_triggered",
                           "on_btOpenDestFolder_clicked"}));
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
}

void TestMainWindow::choosesTheDestinationFolder()
{
    QTemporaryDir start;
    QTemporaryDir chosen;
    MainWindow window;
    auto *destination = childOf<QLineEdit>(&window, "dstPath");
    destination->setText(start.path());

    QString startFolder;
    QString caption;
    QFileDialog::Options options;
    ModalWatcher watcher([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        startFolder = dialog->directory().absolutePath();
        caption = dialog->windowTitle();
        options = dialog->options();
        acceptFileDialog(dialog, chosen.path());
    });
    childOf<QPushButton>(&window, "btParcourir")->click();

    QCOMPARE(startFolder, start.path());
    QCOMPARE(caption, QString("Sélectionner le dossier de destination"));
    QVERIFY(options.testFlag(QFileDialog::ShowDirsOnly));
    QVERIFY(options.testFlag(QFileDialog::DontResolveSymlinks));
    QCOMPARE(destination->text(), chosen.path());
}

void TestMainWindow::keepsTheDestinationWhenBrowsingIsCancelled_data()
{
    QTest::addColumn<bool>("empty");
    QTest::newRow("a folder") << false;
    QTest::newRow("empty") << true;
}

void TestMainWindow::keepsTheDestinationWhenBrowsingIsCancelled()
{
    QFETCH(bool, empty);
    QTemporaryDir start;
    MainWindow window;
    auto *destination = childOf<QLineEdit>(&window, "dstPath");
    destination->setText(empty ? QString() : start.path());

    ModalWatcher watcher([](QWidget *dialog) { qobject_cast<QDialog *>(dialog)->reject(); });
    childOf<QPushButton>(&window, "btParcourir")->click();
    QVERIFY(watcher.handled());
    QCOMPARE(destination->text(), empty ? QString() : start.path());
}

void TestMainWindow::opensTheDestinationInTheFileManager()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "openUrl");
    MainWindow window;
    auto *destination = childOf<QLineEdit>(&window, "dstPath");
    auto *button = childOf<QPushButton>(&window, "btOpenDestFolder");

    destination->setText("/tmp/some folder");
    button->click();
    QCOMPARE(catcher.urls, QList<QUrl> {QUrl::fromLocalFile("/tmp/some folder")});

    // With no destination nothing is opened, and nothing fails.
    catcher.urls.clear();
    destination->clear();
    button->click();
    QCOMPARE(catcher.urls, QList<QUrl>());
    QDesktopServices::unsetUrlHandler("file");
}

void TestMainWindow::quits()
{
    // "Quitter" closes the only window, which ends the event loop as it ends the program.
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, childOf<QAction>(&window, "actionQuitter"), &QAction::trigger);
    QTimer guard; // ends the loop with another code should the window not close
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
