#include "mainwindow.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

// Every way the writing of the two files can fail: the status bar says so, the cursor comes
// back, the files that stood before are intact and no temporary file is left behind. A full
// disk and another user's rights are simulated by running the job in a process of its own.
class TestFailedWrites : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init();

    void keepsEarlierFilesWhenTheDiskFills_data();
    void keepsEarlierFilesWhenTheDiskFills();
    void failsOnUnusableDestinations_data();
    void failsOnUnusableDestinations();
    void refusedByTheFileSystem_data();
    void refusedByTheFileSystem();

private:
    void verifyEarlierFilesKept();

    QString m_source;
    QString m_out;
    QByteArray m_earlierBmp;
    QByteArray m_earlierHeader;
};

namespace {

const QByteArray failed = "loaded\nstatus: Echec de la convertion.\ncursor: arrow\n";

} // namespace

void TestFailedWrites::init()
{
    QVERIFY(renewFolder());
    m_out = path("out");
    QVERIFY(QDir().mkdir(m_out));

    // An earlier run left its two files; the picture has grown since.
    m_source = path("photo.png");
    savePicture(patternPicture(10, 10), m_source, "PNG");
    QVERIFY(runJobProbe({}, {m_source, m_out})
                .contains("status: Convertion terminée avec succès.\ncursor: arrow\n"));
    m_earlierBmp = readFile(m_out + "/photo16bits.BMP");
    m_earlierHeader = readFile(m_out + "/photo.h");
    savePicture(patternPicture(300, 200), m_source, "PNG");
}

void TestFailedWrites::verifyEarlierFilesKept()
{
    QCOMPARE(readFile(m_out + "/photo16bits.BMP"), m_earlierBmp);
    QCOMPARE(readFile(m_out + "/photo.h"), m_earlierHeader);
    QCOMPARE(entryNames(m_out), (QStringList {"photo.h", "photo16bits.BMP"}));
}

void TestFailedWrites::keepsEarlierFilesWhenTheDiskFills_data()
{
    QTest::addColumn<qint64>("room");

    const qint64 bmpSize = 54 + 600 * 200;
    QTest::newRow("during the BMP header") << qint64(20);
    QTest::newRow("during the BMP rows") << qint64(60000);
    // The BMP file is complete, but a pair is replaced whole or not at all.
    QTest::newRow("during the header file") << bmpSize + 1000;
}

void TestFailedWrites::keepsEarlierFilesWhenTheDiskFills()
{
    QFETCH(qint64, room);
    const QString prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");

    const QByteArray output
        = runJobProbe({prlimit, "--fsize=" + QString::number(room), "--"}, {m_source, m_out});
    QVERIFY2(output.contains(failed), output.constData());
    verifyEarlierFilesKept();
}

void TestFailedWrites::failsOnUnusableDestinations_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("destination is a file") << "file";
    QTest::newRow("destination removed after loading") << "removed";
    QTest::newRow("BMP path is a folder") << "bmp folder";
}

void TestFailedWrites::failsOnUnusableDestinations()
{
    QFETCH(QString, what);
    MainWindow window;
    QVERIFY(window.loadImage(m_source));
    auto *destination = childOf<QLineEdit>(&window, "dstPath");
    if (what == "file") {
        writeFile(path("plain"), "a file");
        destination->setText(path("plain"));
    } else if (what == "removed") {
        QVERIFY(QDir().mkdir(path("gone")));
        destination->setText(path("gone"));
        QVERIFY(QDir(path("gone")).removeRecursively());
    } else {
        QVERIFY(QFile::rename(m_out + "/photo16bits.BMP", path("kept.BMP")));
        QVERIFY(QDir(m_out).mkdir("photo16bits.BMP"));
        destination->setText(m_out);
    }

    childOf<QPushButton>(&window, "btConvertir")->click();
    QCOMPARE(window.statusBar()->currentMessage(), QString("Echec de la convertion."));
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(!QFileInfo::exists(path("gone")));
    if (what == "bmp folder") {
        QVERIFY(QFileInfo(m_out + "/photo16bits.BMP").isDir());
        QVERIFY(QDir(m_out).rmdir("photo16bits.BMP"));
        QVERIFY(QFile::rename(path("kept.BMP"), m_out + "/photo16bits.BMP"));
    }
    verifyEarlierFilesKept(); // no header written after a failed BMP either
}

void TestFailedWrites::refusedByTheFileSystem_data()
{
    QTest::addColumn<bool>("stickyFolder");
    // An earlier BMP file that nobody may write: QSaveFile refuses to replace it.
    QTest::newRow("read-only BMP file") << false;
    // Earlier files owned by another user in a sticky folder (as /tmp): they can be written, but
    // not replaced, so everything succeeds up to the final rename.
    QTest::newRow("another user's files in a sticky folder") << true;
}

void TestFailedWrites::refusedByTheFileSystem()
{
    QFETCH(bool, stickyFolder);
    // Permissions do not stop root: as root, the job runs without the capabilities that override
    // them. It stays root, so it can still read the checkout wherever that lies.
    QStringList launcher;
    if (geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty())
            QSKIP("setpriv (util-linux) is not installed");
        launcher = QStringList {setpriv, "--inh-caps=-all", "--bounding-set=-all", "--"};
    } else if (stickyFolder) {
        QSKIP("giving files to another user needs root");
    }
    if (stickyFolder) {
        for (const QString &file : {m_out + "/photo16bits.BMP", m_out + "/photo.h", m_out}) {
            QVERIFY(::chown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
            QVERIFY(::chmod(QFile::encodeName(file).constData(), file == m_out ? 01777 : 0666) == 0);
        }
    } else {
        QVERIFY(QFile::setPermissions(m_out + "/photo16bits.BMP", QFile::ReadOwner | QFile::ReadOther));
    }

    const QByteArray output = runJobProbe(launcher, {m_source, m_out});
    QVERIFY2(output.contains(failed), output.constData());
    verifyEarlierFilesKept();
}

QTEST_MAIN(TestFailedWrites)
#include "tst_failedwrites.moc"
