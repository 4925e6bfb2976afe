#include "conversion.h"
#include "display_preparation.h"
#include "lvgl_format.h"
#include "mainwindow.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QCryptographicHash>
#include <QImageReader>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtEndian>

#include <lz4.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run quillonConvert(const QStringList &arguments, const QStringList &launcher = {})
{
    QProcess process;
    const QStringList command = launcher + QStringList {QUILLON_CONVERT} + arguments;
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        qFatal("quillon-convert did not finish");
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writesWhatTheWindowWrites_data();
    void writesWhatTheWindowWrites();
    void convertsSeveralPicturesAtOnce();
    void refusesPicturesLeftUnsetAmongOthers_data();
    void refusesPicturesLeftUnsetAmongOthers();
    void reportsEachFailure();
    void keepsExistingFilesWithoutForce();
    void reportsAFullDisk();
    void keepsEachPairWhole();
    void answersUsageErrors_data();
    void answersUsageErrors();
    void helpsAndTellsItsVersion();
    void convertsAtBuildTimeFromCMake();
    void preparesPicturesForTheDisplay_data();
    void preparesPicturesForTheDisplay();
    void fitsPhotosDecodedSmaller_data();
    void fitsPhotosDecodedSmaller();
    void fitsEveryFormatToTheSameSize_data();
    void fitsEveryFormatToTheSameSize();
    void dithersWithFloydSteinbergWeights_data();
    void dithersWithFloydSteinbergWeights();
    void dithersAGreyRampFaithfully_data();
    void dithersAGreyRampFaithfully();
    void encodesForSmallDisplays_data();
    void encodesForSmallDisplays();
    void encodesLvglImages_data();
    void encodesLvglImages();
    void compressesAsLvglDoes_data();
    void compressesAsLvglDoes();
    void boundsLvglRowsInTheirColourFormat_data();
    void boundsLvglRowsInTheirColourFormat();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestCli::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(QDir().mkpath(path("window")));
    QVERIFY(QDir().mkpath(path("command")));
}

void TestCli::writesWhatTheWindowWrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QByteArray>("format");

    QImage translucent = patternPicture(31, 17).convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < 31; ++x)
        for (int y = 0; y < 17; ++y)
            translucent.setPixel(x, y, qRgba(x * 8, y * 15, 200, (x * 9 + y) % 256));
    QImage palette = patternPicture(20, 20, true).convertToFormat(QImage::Format_Indexed8);

    QTest::newRow("opaque PNG") << "photo.png" << patternPicture(33, 21) << QByteArray("PNG");
    QTest::newRow("transparent areas") << "alpha.png" << patternPicture(16, 16, true) << QByteArray("PNG");
    QTest::newRow("translucent") << "glass.png" << translucent << QByteArray("PNG");
    QTest::newRow("palette with transparency") << "palette.png" << palette << QByteArray("PNG");
    QTest::newRow("grey") << "grey.png" << patternPicture(9, 7).convertToFormat(QImage::Format_Grayscale8)
                          << QByteArray("PNG");
    QTest::newRow("16 bits a channel")
        << "deep.png" << translucent.convertToFormat(QImage::Format_RGBA64) << QByteArray("PNG");
    QTest::newRow("opaque 16 bits a channel")
        << "deepopaque.png" << patternPicture(12, 12).convertToFormat(QImage::Format_RGBX64)
        << QByteArray("PNG");
    QTest::newRow("JPEG") << "photo.jpg" << patternPicture(40, 30) << QByteArray("JPEG");
    QTest::newRow("BMP") << "photo.bmp" << patternPicture(5, 3) << QByteArray("BMP");
    QTest::newRow("GIF") << "photo.gif" << QImage() << QByteArray("GIF");
}

void TestCli::writesWhatTheWindowWrites()
{
    QFETCH(QString, name);
    QFETCH(QImage, picture);
    QFETCH(QByteArray, format);
    savePicture(picture, path(name), format.constData());

    MainWindow window;
    QVERIFY(window.loadImage(path(name)));
    childOf<QLineEdit>(&window, "dstPath")->setText(path("window"));
    childOf<QPushButton>(&window, "btConvertir")->click();
    QCOMPARE(window.statusBar()->currentMessage(), QString("Convertion terminée avec succès."));

    const Run run = quillonConvert({"-o", path("command"), path(name)});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString base = name.section('.', 0, -2);
    for (const QString &file : {base + "16bits.BMP", base + ".h"})
        QVERIFY2(readFile(path("window/" + file)) == readFile(path("command/" + file)), qPrintable(file));
}

void TestCli::convertsSeveralPicturesAtOnce()
{
    // Written beside each picture by default; the same bytes as one picture at a time.
    QStringList pictures;
    for (int i = 0; i < 12; ++i) {
        pictures << path(QString("p%1.png").arg(i));
        savePicture(patternPicture(20 + i * 7, 10 + i * 3, i % 2), pictures.last(), "PNG");
    }
    const Run all = quillonConvert(pictures);
    QCOMPARE(all.err, QString()); // no progress line when standard error is not a terminal
    QCOMPARE(all.exitCode, 0);

    // On a terminal, a progress line; escape codes only where the terminal knows them.
    const QString script = QStandardPaths::findExecutable("script");
    if (!script.isEmpty()) {
        for (const char *term : {"xterm", "dumb", ""}) {
            QProcess terminal;
            terminal.start(script,
                           {"-qec",
                            QString("TERM=%1 '%2' -f -o '%3' '%4' '%5'")
                                .arg(term, QUILLON_CONVERT, path("window"), pictures[0], pictures[1]),
                            "/dev/null"});
            QVERIFY(terminal.waitForFinished(60000));
            const QByteArray shown = terminal.readAllStandardOutput();
            QVERIFY2(shown.contains("[2/2] p"), shown.constData());
            QCOMPARE(shown.contains("\033["), QByteArray(term) == "xterm");
        }
    }
    for (int i = 0; i < pictures.size(); ++i) {
        QCOMPARE(quillonConvert({"-o", path("command"), pictures[i]}).exitCode, 0);
        for (const char *suffix : {"16bits.BMP", ".h"}) {
            const QString file = QString("p%1").arg(i) + suffix;
            QVERIFY2(readFile(path(file)) == readFile(path("command/" + file)), qPrintable(file));
        }
    }
}

void TestCli::refusesPicturesLeftUnsetAmongOthers_data()
{
    QTest::addColumn<QString>("environment");
    QTest::newRow("the usual fill") << QString("MALLOC_PERTURB_=0");
    QTest::newRow("the process's fill of 85") << QString("MALLOC_PERTURB_=85");
    QTest::newRow("the process's fill of 170") << QString("MALLOC_PERTURB_=170");
    QTest::newRow("no cache of small blocks") << QString("GLIBC_TUNABLES=glibc.malloc.tcache_count=0");
}

void TestCli::refusesPicturesLeftUnsetAmongOthers()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers' allocator does not take glibc's fill of fresh memory");
#endif
    QFETCH(QString, environment);
    // Pictures that a reader leaves unset (tests/plugins) between GIF files, whose reader makes
    // its own pictures too, all decoded on every core at once: each one refused, whatever the
    // memory the others' decodings freed held.
    QStringList pictures;
    for (int i = 0; i < 20; ++i) {
        pictures << path(QString("g%1.gif").arg(i)) << path(QString("u%1.unset").arg(i))
                 << path(QString("v%1.unset").arg(i));
        writeFile(pictures[pictures.size() - 3], gifFile(203, 151));
        writeFile(pictures[pictures.size() - 2], "UNSET");
        writeFile(pictures.last(), "UNSET");
    }
    const Run run = quillonConvert(
        QStringList {"-o", path("command")} + pictures,
        {"/usr/bin/env", QString("QT_PLUGIN_PATH=%1").arg(QUILLON_TEST_PLUGINS), environment});
    QCOMPARE(run.exitCode, 1);
    QStringList refused;
    for (const QString &picture : pictures) {
        if (picture.endsWith(".unset"))
            refused << "quillon-convert: " + picture + " : ce fichier ne semble pas être une image";
    }
    QStringList reported = run.err.split('\n', Qt::SkipEmptyParts);
    reported.sort();
    refused.sort();
    QCOMPARE(reported, refused);
    QCOMPARE(entryNames(path("command")).size(), 40); // the GIF files' BMP files and headers
}

void TestCli::reportsEachFailure()
{
    savePicture(patternPicture(8, 8), path("good.png"), "PNG");
    writeFile(path("text.png"), "not a picture");
    writeFile(path("huge.png"), pngWithoutPixels(30000, 30000));
    QVERIFY(QDir().mkpath(path("sub")));
    savePicture(patternPicture(8, 8), path("sub/good.jpg"), "JPEG");

    const Run run = quillonConvert({"-o", path("command"), path("good.png"), path("text.png"),
                                    path("missing.png"), path("huge.png"), path("sub/good.jpg")});
    QCOMPARE(run.exitCode, 1);
    const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             (QStringList {
                 "quillon-convert: " + path("text.png") + " : ce fichier ne semble pas être une image",
                 "quillon-convert: " + path("missing.png") + " : fichier introuvable",
                 "quillon-convert: " + path("huge.png") + " : image trop grande pour être convertie",
                 "quillon-convert: " + path("sub/good.jpg") + " : mêmes fichiers de sortie que "
                     + path("good.png") + ", image ignorée",
             }));
    QCOMPARE(entryNames(path("command")), (QStringList {"good.h", "good16bits.BMP"}));

    // Beside each picture, with a link to a folder: the same folder, so the same files.
    QVERIFY(QFile::link(path("sub"), path("sublink")));
    savePicture(patternPicture(8, 8), path("sublink/good.png"), "PNG");
    QVERIFY(::mkfifo(QFile::encodeName(path("sub/pipe.png")).constData(), 0600) == 0);
    QVERIFY(QDir().mkpath(path("sub/folder.h")));
    savePicture(patternPicture(8, 8), path("sub/folder.png"), "PNG");
    const QString longName = QString(251, 'n');
    savePicture(patternPicture(8, 8), path("sub/" + longName + ".png"), "PNG");
    const Run beside
        = quillonConvert({"--force", path("sub/good.jpg"), path("sublink/good.png"), path("sub/pipe.png"),
                          path("sub/folder.png"), path("sub/" + longName + ".png")});
    QCOMPARE(beside.exitCode, 1);
    QCOMPARE(beside.err.split('\n', Qt::SkipEmptyParts),
             (QStringList {
                 "quillon-convert: " + path("sublink/good.png") + " : mêmes fichiers de sortie que "
                     + path("sub/good.jpg") + ", image ignorée",
                 "quillon-convert: " + path("sub/pipe.png") + " : ce fichier ne semble pas être une image",
                 "quillon-convert: " + path("sub/folder.png") + " : impossible d'écrire "
                     + path("sub/folder.h") + " : c'est un dossier",
                 "quillon-convert: " + path("sub/" + longName + ".png") + " : impossible d'écrire "
                     + path("sub/" + longName + "16bits.BMP") + " : nom de fichier trop long",
             }));
    QVERIFY(!QFileInfo::exists(path("sub/folder16bits.BMP")));

    // A name that is not UTF-8 reaches the program only as bytes.
    const QByteArray latin1Name = QFile::encodeName(path("caf")) + "\xe9.png";
    QFile latin1(QString::fromLatin1(latin1Name));
    writeFile(latin1.fileName(), readFile(path("good.png")));
    QVERIFY(::rename(QFile::encodeName(latin1.fileName()).constData(), latin1Name.constData()) == 0);
    const Run encoding
        = quillonConvert({QFile::encodeName(path("")).constData()},
                         {"/bin/sh", "-c", "exec \"$0\" -o \"$1\" \"$1/$(printf 'caf\\351.png')\""});
    QCOMPARE(encoding.exitCode, 1);
    QVERIFY2(encoding.err.endsWith(
                 " : nom de fichier illisible : il n'est pas codé en UTF-8, renommez le fichier\n"),
             qPrintable(encoding.err));
    QVERIFY(::unlink(latin1Name.constData()) == 0); // a name QTemporaryDir could not remove

    // avr-gcc takes no array over 32,767 bytes: 128 x 128 needs 32,822.
    savePicture(patternPicture(128, 128), path("square.png"), "PNG");
    const Run progmem = quillonConvert({"--progmem", "-o", path("command"), path("square.png")});
    QCOMPARE(progmem.exitCode, 1);
    QCOMPARE(progmem.err,
             "quillon-convert: " + path("square.png")
                 + " : image trop grande pour --progmem : le tableau ferait 32822 octets, avr-gcc en "
                   "accepte 32 767 au plus (environ 128 x 127 pixels)\n");

    // Each array is checked: 200 x 100 5-6-5 pixels take 40,000 bytes.
    savePicture(patternPicture(200, 100), path("wide.png"), "PNG");
    const Run wide
        = quillonConvert({"--progmem", "--format", "rgb565", "-o", path("command"), path("wide.png")});
    QCOMPARE(wide.exitCode, 1);
    QVERIFY2(wide.err.contains(" : image trop grande pour --progmem : le tableau ferait 40000 octets"),
             qPrintable(wide.err));
    QVERIFY(!QFileInfo::exists(path("command/wide.h")));

    // LVGL 8 holds widths of 11 bits: 2047 pixels, not 2048.
    savePicture(patternPicture(2048, 3), path("banner.png"), "PNG");
    const Run banner = quillonConvert(
        {"--format", "lvgl", "--lvgl-version", "8", "-o", path("command"), path("banner.png")});
    QCOMPARE(banner.err,
             "quillon-convert: " + path("banner.png")
                 + " : image trop grande pour LVGL 8 : 2048 x 3 pixels, 2047 au plus de côté\n");
    savePicture(patternPicture(2047, 3), path("banner.png"), "PNG");
    QCOMPARE(
        quillonConvert({"--format", "lvgl", "--lvgl-version", "8", "-o", path("command"), path("banner.png")})
            .exitCode,
        0);
    QVERIFY(QFile::remove(path("command/banner.h")) && QFile::remove(path("command/banner16bits.BMP")));

    // A FIFO whose writer stays silent is refused at once too.
    QVERIFY(::mkfifo(QFile::encodeName(path("silent.png")).constData(), 0600) == 0);
    const int writer = ::open(QFile::encodeName(path("silent.png")).constData(), O_RDWR);
    QVERIFY(writer >= 0);
    const Run silent = quillonConvert({"-o", path("command"), path("silent.png")});
    ::close(writer);
    QCOMPARE(silent.err,
             "quillon-convert: " + path("silent.png") + " : ce fichier ne semble pas être une image\n");

    // A folder nobody may write into (as root, without the capabilities that override that).
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (geteuid() != 0 || !setpriv.isEmpty()) {
        QVERIFY(QDir().mkpath(path("locked")));
        QVERIFY(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner));
        const QStringList launcher = geteuid() == 0
            ? QStringList {setpriv, "--inh-caps=-all", "--bounding-set=-all", "--"}
            : QStringList();
        const Run locked = quillonConvert({"-o", path("locked"), path("good.png")}, launcher);
        QCOMPARE(locked.exitCode, 1);
        QVERIFY2(locked.err.endsWith(" : accès refusé\n"), qPrintable(locked.err));
        QVERIFY(entryNames(path("locked")).isEmpty());
    }

#if !defined(__SANITIZE_ADDRESS__) // the sanitizers keep the libraries' standard error
    // libpng's own English complaint about a cut PNG is not shown; the French line is, with the
    // exit status of any picture that could not be read.
    writeFile(path("cut.png"), readFile(path("good.png")).left(60));
    const Run cut = quillonConvert({"-o", path("command"), path("cut.png")});
    QCOMPARE(cut.err,
             "quillon-convert: " + path("cut.png")
                 + " : image incomplète : le fichier s'arrête avant la fin de l'image\n");
    QCOMPARE(cut.exitCode, 1);
#endif

    const Run noFolder = quillonConvert({"-o", path("nowhere"), path("good.png")});
    QCOMPARE(noFolder.exitCode, 1);
    QCOMPARE(noFolder.err,
             "quillon-convert: " + path("good.png")
                 + " : dossier de destination introuvable : " + path("nowhere") + "\n");
    QVERIFY(!QFileInfo::exists(path("nowhere")));
}

void TestCli::keepsExistingFilesWithoutForce()
{
    savePicture(patternPicture(8, 8), path("photo.png"), "PNG");
    writeFile(path("command/photo.h"), "// mine");
    const Run kept = quillonConvert({"-o", path("command"), path("photo.png")});
    QCOMPARE(kept.exitCode, 1);
    QCOMPARE(kept.err,
             "quillon-convert: " + path("photo.png") + " : " + path("command/photo.h")
                 + " existe déjà, image ignorée (--force pour le remplacer)\n");
    QCOMPARE(readFile(path("command/photo.h")), QByteArray("// mine"));
    QCOMPARE(entryNames(path("command")), QStringList {"photo.h"});
    QVERIFY(QFile::remove(path("command/photo.h")));
    writeFile(path("command/photo16bits.png"), "my preview");
    const Run previewKept = quillonConvert({"--preview", "-o", path("command"), path("photo.png")});
    QCOMPARE(previewKept.exitCode, 1);
    QCOMPARE(previewKept.err,
             "quillon-convert: " + path("photo.png") + " : " + path("command/photo16bits.png")
                 + " existe déjà, image ignorée (--force pour le remplacer)\n");
    QCOMPARE(entryNames(path("command")), QStringList {"photo16bits.png"});
    // A preview that cannot be written: nothing of the picture is replaced.
    QVERIFY(QFile::remove(path("command/photo16bits.png")));
    QVERIFY(QDir().mkpath(path("command/photo16bits.png")));
    writeFile(path("command/photo.h"), "// mine");
    const Run previewFailed = quillonConvert({"--preview", "-f", "-o", path("command"), path("photo.png")});
    QCOMPARE(previewFailed.exitCode, 1);
    QCOMPARE(readFile(path("command/photo.h")), QByteArray("// mine"));
    QCOMPARE(entryNames(path("command")), (QStringList {"photo.h", "photo16bits.png"}));
    QVERIFY(QDir(path("command/photo16bits.png")).removeRecursively());

    for (const QStringList &force : {QStringList {"--force"}, QStringList {"-f"}}) {
        const Run replaced
            = quillonConvert(force + QStringList {"--output=" + path("command"), path("photo.png")});
        QCOMPARE(replaced.exitCode, 0);
        const QByteArray bmp = readFile(path("command/photo16bits.BMP"));
        QCOMPARE(bmp, expectedBmp(QImage(path("photo.png"))));
        QCOMPARE(readFile(path("command/photo.h")), expectedHeader(bmp));
    }
}

void TestCli::reportsAFullDisk()
{
    const QString prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");
    savePicture(patternPicture(100, 100), path("photo.png"), "PNG");
    writeFile(path("command/photo16bits.BMP"), "earlier");

    // Files may not grow beyond 5000 bytes: the BMP file needs 20054, whatever the header holds.
    for (const QStringList &format : {QStringList(), QStringList {"--format", "rgb565"}}) {
        const Run run
            = quillonConvert(format + QStringList {"--force", "-o", path("command"), path("photo.png")},
                             {prlimit, "--fsize=5000", "--"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err,
                 "quillon-convert: " + path("photo.png") + " : impossible d'écrire "
                     + path("command/photo16bits.BMP") + " : disque plein\n");
        QCOMPARE(readFile(path("command/photo16bits.BMP")), QByteArray("earlier"));
        QCOMPARE(entryNames(path("command")), QStringList {"photo16bits.BMP"});
    }
}

void TestCli::keepsEachPairWhole()
{
    // Two runs writing the same files from two different pictures take turns.
    QVERIFY(QDir().mkpath(path("a")));
    QVERIFY(QDir().mkpath(path("b")));
    savePicture(patternPicture(300, 200), path("a/photo.png"), "PNG");
    savePicture(patternPicture(200, 300, true), path("b/photo.png"), "PNG");
    const QByteArray bmps[2] = {expectedBmp(QPixmap::fromImage(QImage(path("a/photo.png"))).toImage()),
                                expectedBmp(QPixmap::fromImage(QImage(path("b/photo.png"))).toImage())};
    for (int round = 0; round < 8; ++round) {
        QProcess runs[2];
        for (int i = 0; i < 2; ++i)
            runs[i].start(QUILLON_CONVERT,
                          {"-f", "-o", path("command"), path(i ? "b/photo.png" : "a/photo.png")});
        for (QProcess &run : runs) {
            QVERIFY(run.waitForFinished(60000));
            QCOMPARE(run.exitCode(), 0);
        }
        const QByteArray bmp = readFile(path("command/photo16bits.BMP"));
        QVERIFY(bmp == bmps[0] || bmp == bmps[1]);
        QVERIFY2(readFile(path("command/photo.h")) == expectedHeader(bmp),
                 "a BMP file with another's header");
        QCOMPARE(entryNames(path("command")), (QStringList {"photo.h", "photo16bits.BMP"}));
    }

    // A run waits for its turn as long as another holds the lock, however long that is.
    const QByteArray digest = QCryptographicHash::hash("photo.h", QCryptographicHash::Sha1).toHex().left(16);
    QLockFile held(path("command/.quillon-" + QString::fromLatin1(digest) + ".lock"));
    QVERIFY(held.tryLock());
    QProcess waiting;
    waiting.start(QUILLON_CONVERT, {"-f", "-o", path("command"), path("a/photo.png")});
    QVERIFY(!waiting.waitForFinished(1500));
    held.unlock();
    QVERIFY(waiting.waitForFinished(60000));
    QCOMPARE(waiting.exitCode(), 0);
    QCOMPARE(readFile(path("command/photo16bits.BMP")), bmps[0]);

    // Interrupted at any moment: the earlier pair or the new one, no temporary file, and the
    // signal told by the exit code. SIGINT on a file system without unnamed temporary files,
    // whose named ones must be removed (not under the sanitizers, which must come first).
    QProcessEnvironment withoutTmpfile = QProcessEnvironment::systemEnvironment();
#if !defined(__SANITIZE_ADDRESS__)
    withoutTmpfile.insert("LD_PRELOAD", QUILLON_NO_TMPFILE);
#endif
    savePicture(patternPicture(2048, 1536), path("big.png"), "PNG");
    const QByteArray bigBmp = expectedBmp(QImage(path("big.png")));
    int interrupted = 0;
    for (int delay = 0; delay <= 560; delay += 80) {
        for (const int signal : {SIGINT, SIGTERM}) {
            QProcess run;
            if (signal == SIGINT)
                run.setProcessEnvironment(withoutTmpfile);
            run.start(QUILLON_CONVERT, {"-f", "--format", "rgb565", "-o", path("command"), path("big.png")});
            QVERIFY(run.waitForStarted());
            const pid_t pid = pid_t(run.processId());
            QVERIFY(pid > 0);
            // From the moment it takes its turn: its lock file is there.
            QVERIFY(QTest::qWaitFor([&] {
                return run.state() == QProcess::NotRunning
                    || !QDir(path("command")).entryList({".quillon-*"}, QDir::Hidden | QDir::Files).isEmpty();
            }));
            QTest::qWait(delay);
            if (run.state() == QProcess::Running)
                ::kill(pid, signal);
            QVERIFY(run.state() == QProcess::NotRunning || run.waitForFinished(60000));
            QCOMPARE(run.exitStatus(), QProcess::NormalExit);
            const QStringList names = entryNames(path("command"));
            if (run.exitCode() == 128 + signal) {
                ++interrupted;
                QCOMPARE(run.readAllStandardError(), QByteArray("quillon-convert: interrompu\n"));
            } else {
                QCOMPARE(run.exitCode(), 0);
            }
            if (names.contains("big.h")) {
                QCOMPARE(readFile(path("command/big16bits.BMP")), bigBmp);
                QCOMPARE(names, (QStringList {"big.h", "big16bits.BMP", "photo.h", "photo16bits.BMP"}));
            } else {
                QCOMPARE(names, (QStringList {"photo.h", "photo16bits.BMP"}));
            }
        }
    }
    QVERIFY(interrupted > 0);
}

void TestCli::answersUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("no picture") << QStringList() << "aucune image indiquée";
    QTest::newRow("unknown option") << QStringList {"--colour", "a.png"} << "option inconnue « --colour »";
    QTest::newRow("folder missing") << QStringList {"a.png", "-o"} << "l'option « -o » attend un dossier";
    QTest::newRow("empty folder") << QStringList {"--output=", "a.png"}
                                  << "le dossier de destination est vide";
    QTest::newRow("name missing") << QStringList {"a.png", "--name"} << "l'option « --name » attend un nom";
    QTest::newRow("empty name") << QStringList {"-n", "", "a.png"} << "--name : le nom du tableau est vide";
    QTest::newRow("C++ keyword") << QStringList {"-nclass", "a.png"}
                                 << "--name : le nom « class » est un mot réservé du C ou du C++";
    QTest::newRow("leading digit") << QStringList {"-n", "2logo", "a.png"}
                                   << "--name : le nom « 2logo » commence par un chiffre";
    QTest::newRow("not ASCII")
        << QStringList {"-n", "été", "a.png"}
        << "--name : le nom « été » n'est pas un identifiant C (lettres ASCII, chiffres et _ "
           "seulement)";
    QTest::newRow("fit of no size") << QStringList {
        "--fit", "0x10",
        "a.png"} << "--fit : « 0x10 » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)";
    QTest::newRow("fit of no number")
        << QStringList {"--fit=abc", "a.png"}
        << "--fit : « abc » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)";
    QTest::newRow("unknown colour") << QStringList {
        "--background", "notacolour",
        "a.png"} << "--background : couleur inconnue « notacolour » (#rrvvbb ou un nom de couleur)";
    QTest::newRow("swapped BMP bytes")
        << QStringList {"--swap-bytes", "a.png"}
        << "--swap-bytes ne s'emploie qu'avec --format rgb565, index4, index8 ou lvgl";
    QTest::newRow("unknown format") << QStringList {"--format", "rgb555", "a.png"}
                                    << "--format : format inconnu « rgb555 » (bmp, rgb565, mono, xbm, pages, "
                                       "gray8, gray4, index4, index8 ou lvgl)";
    const QString stdintName
        = "--name : le nom « %1 » est de ceux que définit <stdint.h>, que l'en-tête inclut";
    QTest::newRow("a type of stdint.h")
        << QStringList {"-n", "uint16_t", "--format", "rgb565", "a.png"} << stdintName.arg("uint16_t");
    QTest::newRow("a limit of stdint.h")
        << QStringList {"-n", "INT8_MAX", "a.png"} << stdintName.arg("INT8_MAX");
    QTest::newRow("a constant macro of stdint.h")
        << QStringList {"-n", "UINT64_C", "a.png"} << stdintName.arg("UINT64_C");
    QTest::newRow("PROGMEM itself")
        << QStringList {"--progmem", "-n", "PROGMEM", "a.png"}
        << "--name : le nom « PROGMEM » est de ceux que définit <avr/pgmspace.h>, que l'en-tête inclut";
    QTest::newRow("a function of pgmspace.h")
        << QStringList {"--progmem", "-n", "strlen_P", "a.png"}
        << "--name : le nom « strlen_P » est de ceux que définit <avr/pgmspace.h>, que l'en-tête inclut";
    QTest::newRow("a register of avr/io.h")
        << QStringList {"--progmem", "-n", "PORTB", "a.png"}
        << "--name : le nom « PORTB » est de ceux que définit <avr/io.h>, que l'en-tête inclut";
    QTest::newRow("main") << QStringList {"-n", "main", "a.png"}
                          << "--name : le nom « main » est celui de la fonction principale du programme";
    QTest::newRow("reserved")
        << QStringList {"-n", "_Logo", "a.png"}
        << "--name : le nom « _Logo » est réservé au compilateur (il commence par __ ou "
           "par _ et une majuscule)";
    QTest::newRow("char16_t") << QStringList {"-n", "char16_t", "a.png"}
                              << "--name : le nom « char16_t » est un mot réservé du C ou du C++";
    QTest::newRow("char8_t") << QStringList {"-n", "char8_t", "a.png"}
                             << "--name : le nom « char8_t » est un mot réservé du C ou du C++";
    QTest::newRow("one name, two pictures")
        << QStringList {"-n", "splash", "a.png", "b.png"}
        << "--name ne nomme qu'une image : les tableaux de 2 images porteraient le même nom";
    QTest::newRow("a value to a flag")
        << QStringList {"--force=yes", "a.png"} << "l'option « --force » n'attend pas de valeur";
    QTest::newRow("a value to --dither")
        << QStringList {"--dither=no", "a.png"} << "l'option « --dither » n'attend pas de valeur";
    QTest::newRow("transparent background") << QStringList {"--background", "transparent", "a.png"}
                                            << "--background : la couleur « transparent » doit être opaque";
    QTest::newRow("translucent background") << QStringList {"--background", "#80ff0000", "a.png"}
                                            << "--background : la couleur « #80ff0000 » doit être opaque";
    QTest::newRow("threshold without mono")
        << QStringList {"--threshold", "100", "a.png"}
        << "--threshold ne s'emploie qu'avec --format mono, xbm, pages ou lvgl";
    QTest::newRow("threshold above 255") << QStringList {"--format", "mono", "--threshold", "256", "a.png"}
                                         << "--threshold : « 256 » n'est pas un seuil de 0 à 255";
    QTest::newRow("threshold below 0") << QStringList {"--format", "xbm", "--threshold=-1", "a.png"}
                                       << "--threshold : « -1 » n'est pas un seuil de 0 à 255";
    QTest::newRow("invert in colour")
        << QStringList {"--format", "rgb565", "--invert", "a.png"}
        << "--invert ne s'emploie qu'avec --format mono, xbm, pages, gray8, gray4 ou lvgl";
    QTest::newRow("mask without 5-6-5") << QStringList {"--format", "index8", "--alpha", "mask", "a.png"}
                                        << "--alpha ne s'emploie qu'avec --format rgb565";
    QTest::newRow("unknown alpha") << QStringList {"--format", "rgb565", "--alpha", "keep", "a.png"}
                                   << "--alpha : « keep » inconnu (mask seulement)";
    QTest::newRow("transparent in grey") << QStringList {"--format", "gray4", "--transparent", "red", "a.png"}
                                         << "--transparent ne s'emploie qu'avec --format rgb565";
    QTest::newRow("LVGL colour format unknown")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "RGB555", "a.png"}
        << "--lvgl-cf : « RGB555 » inconnu pour LVGL 9 (RGB565, RGB565A8, RGB565_SWAPPED, RGB888, XRGB8888, "
           "ARGB8888, L8, A8, I1, I2, I4, I8)";
    QTest::newRow("LVGL 8 colour format unknown")
        << QStringList {"--format", "lvgl", "--lvgl-version", "8", "--lvgl-cf", "RGB888", "a.png"}
        << "--lvgl-cf : « RGB888 » inconnu pour LVGL 8 (RGB565, RGB565A8, A8, I1, I2, I4, I8)";
    QTest::newRow("LVGL version unknown") << QStringList {"--format", "lvgl", "--lvgl-version", "7", "a.png"}
                                          << "--lvgl-version : « 7 » inconnue (8 ou 9)";
    QTest::newRow("LVGL 8 compressed")
        << QStringList {"--format", "lvgl", "--lvgl-version=8", "--compress", "rle", "a.png"}
        << "--compress ne s'emploie pas avec LVGL 8, qui ne lit pas d'image compressée";
    QTest::newRow("unknown compression") << QStringList {"--format", "lvgl", "--compress", "zip", "a.png"}
                                         << "--compress : « zip » inconnu (rle ou lz4)";
    QTest::newRow("stride of no bytes")
        << QStringList {"--format", "lvgl", "--stride-align", "0", "a.png"}
        << "--stride-align : « 0 » n'est pas un alignement de 1 à 1024 octets";
    QTest::newRow("stride in LVGL 8")
        << QStringList {"--format", "lvgl", "--lvgl-version", "8", "--stride-align", "4", "a.png"}
        << "--stride-align ne s'emploie pas avec LVGL 8";
    QTest::newRow("swapped grey") << QStringList {"--format", "lvgl",         "--lvgl-cf",
                                                  "L8",       "--swap-bytes", "a.png"}
                                  << "--swap-bytes ne s'emploie avec LVGL qu'en RGB565";
    QTest::newRow("swapped in LVGL 8")
        << QStringList {"--format", "lvgl", "--lvgl-version", "8", "--swap-bytes", "a.png"}
        << "--swap-bytes ne s'emploie pas avec LVGL 8 : ses tableaux ont les deux ordres, que choisit "
           "LV_COLOR_16_SWAP";
    QTest::newRow("LVGL in program memory") << QStringList {"--format", "lvgl", "--progmem", "a.png"}
                                            << "--progmem ne s'emploie pas avec --format lvgl : LVGL lit ses "
                                               "images en mémoire ordinaire";
    QTest::newRow("LVGL's own name") << QStringList {"--format", "lvgl", "-n", "lv_logo", "a.png"}
                                     << "--name : le nom « lv_logo » est de ceux que définit lvgl.h, que "
                                        "l'en-tête inclut";
    QTest::newRow("compression without LVGL")
        << QStringList {"--compress", "lz4", "a.png"} << "--compress ne s'emploie qu'avec --format lvgl";
    QTest::newRow("translucent key colour")
        << QStringList {"--format", "rgb565", "--transparent", "transparent", "a.png"}
        << "--transparent : la couleur « transparent » doit être opaque";
}

void TestCli::answersUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const Run run = quillonConvert(arguments);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err,
             "quillon-convert: " + error
                 + "\nEssayez « quillon-convert --help » pour plus d'informations.\n");
    QCOMPARE(run.out, QString());
}

void TestCli::helpsAndTellsItsVersion()
{
    for (const char *option : {"--help", "-h"}) {
        const Run help = quillonConvert({option, "ignored.png"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Utilisation : quillon-convert [OPTION]... IMAGE...\n"));
        // Every option is told, and the exit codes close the text.
        for (const char *described :
             {"-o, --output=DOSSIER", "-f, --force", "-n, --name=NOM", "--progmem", "--format=FORMAT",
              "--swap-bytes", "--fit=LxH", "--dither", "--background=COULEUR", "--preview", "--threshold=N",
              "--invert", "--alpha=mask", "--transparent=COULEUR", "-h, --help", "-V, --version"})
            QVERIFY2(help.out.contains(QString::fromUtf8(described)), described);
        QVERIFY(help.out.endsWith(
            "2 si la ligne de commande est incorrecte, 130 ou 143 si elle a\nété interrompue.\n"));
        QVERIFY(!QFileInfo::exists("ignored16bits.BMP"));
    }
    for (const char *option : {"--version", "-V"})
        QCOMPARE(quillonConvert({option}).out, QString("quillon-convert (Quillon) 1.0\n"));

    // "--" ends the options: a picture may begin with a dash; "-" alone is a picture too.
    savePicture(patternPicture(4, 4), path("-dash.png"), "PNG");
    QCOMPARE(quillonConvert({"-o", path("command"), "--", path("-dash.png")}).exitCode, 0);
    QVERIFY(QFileInfo::exists(path("command/-dash16bits.BMP")));
    savePicture(patternPicture(4, 4), path("-"), "PNG");
    QCOMPARE(quillonConvert({"-o", path("command"), "-"},
                            {"/bin/sh", "-c", "cd \"$(dirname \"$2\")\" && exec \"$0\" \"$@\""})
                 .exitCode,
             0);
    QCOMPARE(readFile(path("command/-16bits.BMP")), expectedBmp(QImage(path("-"), "PNG")));
}

void TestCli::convertsAtBuildTimeFromCMake()
{
    const QString cmake = QStandardPaths::findExecutable("cmake");
    const QString cc = QStandardPaths::findExecutable("cc");
    if (cmake.isEmpty() || cc.isEmpty())
        QSKIP("cmake and a C compiler are needed");
    const auto run = [&](const QStringList &arguments, QString *output = nullptr) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(arguments.first(), arguments.mid(1));
        const bool ok = process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
        const QString text = QString::fromUtf8(process.readAll());
        if (output)
            *output = text;
        if (!ok)
            qWarning("%s", qPrintable(text));
        return ok;
    };
    // Quillon as a user installs it; projects find it with find_package() alone.
    const QString prefix = path("prefix");
    QVERIFY(run({cmake, "--install", QUILLON_BUILD_DIR, "--prefix", prefix}));

    QVERIFY(QDir().mkpath(path("pictures")));
    savePicture(patternPicture(13, 7), path("pictures/my.logo.png"), "PNG");
    savePicture(patternPicture(6, 6), path("pictures/splash-screen.bmp"), "BMP");
    const QString build = path("build");
    QVERIFY(run({cmake, "-S", QUILLON_TEST_PROJECT, "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix,
                 "-DPICTURE_FOLDER=" + path("pictures")}));
    const auto dump = [&] {
        QProcess process;
        process.start(build + "/dump", QStringList());
        process.waitForFinished();
        return process.readAllStandardOutput();
    };
    const auto expected = [&] {
        return expectedBmp(QImage(path("pictures/my.logo.png")))
            + expectedBmp(QImage(path("pictures/splash-screen.bmp")));
    };

    QString output;
    QVERIFY(run({cmake, "--build", build}, &output));
    QVERIFY(output.contains("Converting my.logo.png to my.logo.h (array my_logo)"));
    QVERIFY(output.contains("Converting splash-screen.bmp to splash-screen.h (array splash_screen)"));
    QCOMPARE(dump(), expected());

    // Nothing changed: nothing converted.
    QVERIFY(run({cmake, "--build", build}, &output));
    QVERIFY2(!output.contains("Converting"), qPrintable(output));

    // A changed picture is converted again, and only that one.
    savePicture(patternPicture(9, 3), path("pictures/splash-screen.bmp"), "BMP");
    QFile splash(path("pictures/splash-screen.bmp"));
    QVERIFY(splash.open(QIODevice::ReadWrite));
    QVERIFY(splash.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    splash.close();
    QVERIFY(run({cmake, "--build", build}, &output));
    QVERIFY(output.contains("Converting splash-screen.bmp"));
    QVERIFY(!output.contains("Converting my.logo.png"));
    QCOMPARE(dump(), expected());

    // The README's firmware, as it stands, for an Arduino Uno. That it links shows both arrays in
    // flash: their 16 KB would overflow its 2 KB of RAM.
    if (QStandardPaths::findExecutable("avr-gcc").isEmpty())
        QSKIP("avr-gcc (Debian package gcc-avr) is not installed");
    const QString firmware = path("firmware");
    QVERIFY(QDir().mkpath(firmware + "/images"));
    for (const char *file : {"CMakeLists.txt", "main.c", "avr-atmega328p.cmake"})
        QVERIFY(QFile::copy(QUILLON_FIRMWARE_PROJECT "/" + QString(file), firmware + "/" + file));
    savePicture(patternPicture(64, 32), firmware + "/images/logo.png", "PNG");
    savePicture(patternPicture(96, 64), firmware + "/images/splash-screen.jpg", "JPEG");
    QVERIFY(run({cmake, "-S", firmware, "-B", firmware + "/build", "-DCMAKE_PREFIX_PATH=" + prefix,
                 "-DCMAKE_TOOLCHAIN_FILE=" + firmware + "/avr-atmega328p.cmake"}));
    QVERIFY(run({cmake, "--build", firmware + "/build"}, &output));
    QVERIFY(output.contains("(array splash_screen)"));
    QVERIFY(QFileInfo::exists(firmware + "/build/firmware"));

    // The SSD1306 example: a 200 x 90 logo fitted to 128 x 57, in eight pages of 128 columns.
    const QString oled = path("ssd1306");
    QVERIFY(QDir().mkpath(oled + "/images"));
    for (const char *file : {"CMakeLists.txt", "main.c"})
        QVERIFY(QFile::copy(QUILLON_FIRMWARE_PROJECT "/../ssd1306/" + QString(file), oled + "/" + file));
    savePicture(patternPicture(200, 90), oled + "/images/logo.png", "PNG");
    QVERIFY(run({cmake, "-S", oled, "-B", oled + "/build", "-DCMAKE_PREFIX_PATH=" + prefix,
                 "-DCMAKE_TOOLCHAIN_FILE=" + firmware + "/avr-atmega328p.cmake"}));
    QVERIFY(run({cmake, "--build", oled + "/build"}, &output));
    QVERIFY(QFileInfo::exists(oled + "/build/ssd1306_logo"));
    const QByteArray header = readFile(oled + "/build/pictures/logo.h");
    QVERIFY2(header.contains("#define logo_width 128\n#define logo_height 57\n"), header.constData());
    QVERIFY(header.contains("const uint8_t logo[1024] PROGMEM = "));
}

namespace {

// The 5-6-5 value of an opaque 8-bit colour: each channel cut to its high bits.
quint16 rgb565(QRgb colour)
{
    return quint16((qRed(colour) >> 3) << 11 | (qGreen(colour) >> 2) << 5 | qBlue(colour) >> 3);
}

// The 8-bit colour a display shows for a 5-6-5 value: each channel's bits repeated.
QRgb shown(quint16 value)
{
    const int r = value >> 11, g = value >> 5 & 0x3f, b = value & 0x1f;
    return qRgb(r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2);
}

// Every array of a header, by name: its declared type, size and values.
struct HeaderArray
{
    QString type;
    int size = 0;
    QVector<quint32> values;
};

QHash<QString, HeaderArray> parseArrays(const QString &text)
{
    QHash<QString, HeaderArray> arrays;
    QRegularExpressionMatchIterator declarations
        = QRegularExpression("const (\\w+) (\\w+)\\[(\\d+)\\][^{]*\\{([^}]*)\\}").globalMatch(text);
    while (declarations.hasNext()) {
        const QRegularExpressionMatch declaration = declarations.next();
        HeaderArray &array = arrays[declaration.captured(2)];
        array.type = declaration.captured(1);
        array.size = declaration.captured(3).toInt();
        QRegularExpressionMatchIterator values
            = QRegularExpression("0x([0-9a-f]+)").globalMatch(declaration.captured(4));
        while (values.hasNext())
            array.values << values.next().captured(1).toUInt(nullptr, 16);
    }
    return arrays;
}

// The picture's size as the header's NAME_width and NAME_height macros give it.
QSize sizeMacros(const QString &text, const QString &name)
{
    const auto number = [&](const QString &macro) {
        return QRegularExpression("#define " + macro + " (\\d+)\n").match(text).captured(1).toInt();
    };
    return QSize(number(name + "_width"), number(name + "_height"));
}

} // namespace

void TestCli::preparesPicturesForTheDisplay_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QImage>("shownBeforeTheCut"); // the 8-bit picture the 5-6-5 values are cut from
    QTest::addColumn<bool>("swapped");

    const QImage pattern = patternPicture(7, 5);
    QTest::newRow("pixels, top row first") << QStringList() << pattern << pattern << false;
    QTest::newRow("bytes swapped") << QStringList {"--swap-bytes"} << pattern << pattern << true;
    const QImage wide = patternPicture(70, 40);
    QTest::newRow("70 x 40 fitted in 32 x 32")
        << QStringList {"--fit", "32x32"} << wide
        << wide.scaled(32, 18, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) << false;
    QTest::newRow("never enlarged") << QStringList {"--fit=100x100"} << pattern << pattern << false;
    QTest::newRow("70 x 40 fitted in 64 x 32")
        << QStringList {"--fit", "64x32"} << wide
        << wide.scaled(56, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) << false;
    const QImage flat = patternPicture(70, 20);
    QTest::newRow("70 x 20 fitted in 32 x 32")
        << QStringList {"--fit", "32x32"} << flat
        << flat.scaled(32, 9, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) << false;
    const QImage line = patternPicture(100, 2);
    QTest::newRow("never 0 rows") << QStringList {"--fit", "10x10"} << line
                                  << line.scaled(10, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  << false;
    QTest::newRow("in program memory") << QStringList {"--progmem"} << pattern << pattern << false;

    // Colours a display shows exactly leave nothing to diffuse: red stays red, blue blue.
    QImage exact(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            exact.setPixel(x, y, shown(quint16((x * 7 + 3) << 11 | (y * 25 + 2) << 5 | (x * 2 + y * 10))));
    QTest::newRow("dithered colours") << QStringList {"--dither"} << exact << exact << false;
    // Levels are rounded, not cut: (5, 5, 5) is nearer to 1 than to 0 on every channel.
    const auto filled = [](QRgb colour, int width = 1, int height = 1) {
        QImage image(width, height, QImage::Format_ARGB32);
        image.fill(colour);
        return image;
    };
    QTest::newRow("dithered level rounded")
        << QStringList {"--dither"} << filled(qRgb(5, 5, 5)) << filled(qRgb(8, 4, 8)) << false;
    // Translucent pixels: at their own colour by default, blended onto any background given,
    // black included.
    const QImage halfRed = filled(qRgba(255, 0, 0, 128), 3, 2);
    QTest::newRow("translucent, no background")
        << QStringList() << halfRed << filled(qRgb(255, 0, 0), 3, 2) << false;
    QTest::newRow("translucent on black")
        << QStringList {"--background", "black"} << halfRed << filled(qRgb(128, 0, 0), 3, 2) << false;
    QTest::newRow("translucent on nearly black")
        << QStringList {"--background", "#000001"} << halfRed << filled(qRgb(128, 0, 0), 3, 2) << false;
    QTest::newRow("translucent black on grey")
        << QStringList {"--background", "#808080"} << filled(qRgba(0, 0, 0, 128)) << filled(qRgb(64, 64, 64))
        << false;

    // Transparent pixels take the background; opaque ones keep their colour.
    const QImage holes = patternPicture(8, 6, true); // its left half transparent
    const auto onBackground = [&](QRgb colour) {
        QImage image = holes.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width() / 2; ++x)
                image.setPixel(x, y, colour);
        return image;
    };
    QTest::newRow("background") << QStringList {"--background", "#204080"} << holes
                                << onBackground(qRgb(0x20, 0x40, 0x80)) << false;
    QTest::newRow("background by name")
        << QStringList {"--background", "white"} << holes << onBackground(qRgb(255, 255, 255)) << false;
    QTest::newRow("black by default") << QStringList() << holes << onBackground(qRgb(0, 0, 0)) << false;
}

void TestCli::preparesPicturesForTheDisplay()
{
    QFETCH(QStringList, options);
    QFETCH(QImage, picture);
    QFETCH(QImage, shownBeforeTheCut);
    QFETCH(bool, swapped);
    savePicture(picture, path("picture.png"), "PNG");

    const Run run
        = quillonConvert(QStringList {"--format", "rgb565", "-n", "_pic", "--preview", "-o", path("command")}
                         + options + QStringList {path("picture.png")});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(readFile(path("command/picture.h")));
    const QVector<quint32> values = parseArrays(text).value("_pic").values;
    const int count = shownBeforeTheCut.width() * shownBeforeTheCut.height();
    const bool progmem = options.contains("--progmem");
    QCOMPARE(text.contains("#include <avr/pgmspace.h>\n"), progmem);
    QVERIFY2(text.contains(
                 QString("const uint16_t _pic[%1]%2 = \n{\n\t").arg(count).arg(progmem ? " PROGMEM" : "")),
             qPrintable(text));
    // 16 values a line, whatever the rows' width.
    const QStringList lines = text.section('{', 1).section('}', 0, 0).split('\n', Qt::SkipEmptyParts);
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i].count("0x"), i + 1 < lines.size() ? 16 : (count - 1) % 16 + 1);
    QCOMPARE(sizeMacros(text, "_pic"), shownBeforeTheCut.size());
    QVector<quint32> expected;
    QImage preview(shownBeforeTheCut.size(), QImage::Format_RGB32);
    for (int y = 0; y < shownBeforeTheCut.height(); ++y) {
        for (int x = 0; x < shownBeforeTheCut.width(); ++x) {
            const quint16 value = rgb565(shownBeforeTheCut.pixel(x, y));
            expected << (swapped ? quint16(value << 8 | value >> 8) : value);
            preview.setPixel(x, y, shown(value));
        }
    }
    QCOMPARE(values, expected);
    // The BMP file as without the options; the preview, what the display shows.
    QCOMPARE(readFile(path("command/picture16bits.BMP")), expectedBmp(shownBeforeTheCut));
    QCOMPARE(QImage(path("command/picture16bits.png")).convertToFormat(QImage::Format_RGB32), preview);
}

void TestCli::fitsPhotosDecodedSmaller_data()
{
    QTest::addColumn<QSize>("fit");
    QTest::addColumn<QSize>("decoded"); // invalid: decoded whole
    // A 1600 x 800 JPEG is decoded at the smallest of 1/8, 1/4 and 1/2 that stays at least twice
    // the fitted size, then scaled smoothly.
    QTest::newRow("1/8") << QSize(100, 50) << QSize(200, 100);
    QTest::newRow("1/2, since 1/4 is less than twice") << QSize(250, 125) << QSize(800, 400);
    QTest::newRow("whole") << QSize(500, 300) << QSize();
}

void TestCli::fitsPhotosDecodedSmaller()
{
    QFETCH(QSize, fit);
    QFETCH(QSize, decoded);
    savePicture(patternPicture(1600, 800), path("photo.jpg"), "JPEG");
    const QString bounds = QString("%1x%2").arg(fit.width()).arg(fit.height());
    QCOMPARE(quillonConvert({"-f", "--fit", bounds, "--preview", "-o", path("command"), path("photo.jpg")})
                 .exitCode,
             0);
    // The same steps through Qt's own reader.
    QImageReader reader(path("photo.jpg"));
    if (decoded.isValid())
        reader.setScaledSize(decoded);
    const QImage expected = reader.read()
                                .scaled(QSize(1600, 800).scaled(fit, Qt::KeepAspectRatio),
                                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                .convertToFormat(QImage::Format_RGB16)
                                .convertToFormat(QImage::Format_RGB32);
    QCOMPARE(QImage(path("command/photo16bits.png")).convertToFormat(QImage::Format_RGB32), expected);
}

void TestCli::fitsEveryFormatToTheSameSize_data()
{
    QTest::addColumn<QSize>("photo");
    QTest::addColumn<QSize>("fit");
    QTest::addColumn<QSize>("fitted");
    // Common photo and display sizes, and sizes that no scale of libjpeg's divides: the JPEG,
    // decoded smaller, is fitted to the size its own size gives, the PNG's.
    const auto row = [](QSize photo, QSize fit, QSize fitted) {
        QTest::addRow("%dx%d in %dx%d", photo.width(), photo.height(), fit.width(), fit.height())
            << photo << fit << fitted;
    };
    row({1080, 1350}, {128, 64}, {51, 64});
    row({1599, 1066}, {320, 240}, {320, 213});
    row({2000, 1333}, {320, 240}, {320, 213});
    row({1333, 1000}, {240, 240}, {240, 180});
    row({800, 533}, {128, 64}, {96, 64});
    row({1366, 768}, {128, 64}, {113, 64});
    row({1599, 1066}, {250, 125}, {187, 125}); // 187.5 wide: cut, as for every format
    row({1366, 769}, {128, 64}, {113, 64});
    row({1023, 767}, {320, 240}, {320, 240});
    row({1921, 1081}, {240, 135}, {239, 135});
    row({1281, 721}, {160, 128}, {160, 90});
    row({1279, 853}, {128, 160}, {128, 85});
    row({853, 1279}, {240, 320}, {213, 320});
    row({2047, 1537}, {250, 122}, {162, 122});
    row({1001, 1001}, {127, 63}, {63, 63});
    row({3001, 2001}, {320, 170}, {254, 170});
    row({641, 481}, {96, 64}, {85, 64});
    row({1919, 1079}, {130, 130}, {130, 73});
    row({719, 1283}, {200, 200}, {112, 200});
    row({2593, 1945}, {480, 320}, {426, 320});
    row({1705, 957}, {84, 48}, {84, 47});
    row({1003, 1499}, {135, 240}, {135, 201});
    row({333, 251}, {500, 300}, {333, 251}); // never enlarged
}

void TestCli::fitsEveryFormatToTheSameSize()
{
    QFETCH(QSize, photo);
    QFETCH(QSize, fit);
    QFETCH(QSize, fitted);
    const QImage picture = patternPicture(photo.width(), photo.height());
    for (const char *format : {"JPEG", "PNG"}) {
        const QString file = path(QString("photo.%1").arg(QString(format).toLower()));
        savePicture(picture, file, format);
        DecodedPicture decoded = decodePicture(file, fit);
        QCOMPARE(int(decoded.status), int(DecodedPicture::Decoded));
        QCOMPARE(decoded.fullSize, photo);
        // Decoded smaller where half its size is still twice the fitted one.
        if (qstrcmp(format, "JPEG") == 0 && photo.width() >= 4 * fitted.width()
            && photo.height() >= 4 * fitted.height())
            QVERIFY(decoded.image.width() < photo.width());
        DisplayOptions options;
        options.fit = fit;
        const QSize size = decoded.fullSize;
        QCOMPARE(preparePicture(std::move(decoded.image), options, false, size).colours.size(), fitted);
    }
}

void TestCli::dithersAGreyRampFaithfully_data()
{
    QTest::addColumn<QStringList>("format");
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("mostDithered"); // the mean error at most, in levels
    QTest::addColumn<double>("leastCut"); // and at least without dithering
    // Cut to 5 bits, red and blue fall into bands of 8 levels.
    QTest::newRow("5-6-5") << QStringList() << 32 << 1.0 << 2.0;
    // In black and white a column of 0 and 1 can only average in steps of a row's share: a tall
    // ramp, within 2 % of the scale, where a threshold leaves a quarter of it.
    QTest::newRow("black and white") << QStringList {"--format", "mono"} << 256 << 0.02 * 255 << 0.2 * 255;
    QTest::newRow("16 greys") << QStringList {"--format", "gray4"} << 64 << 1.5 << 3.0;
}

void TestCli::dithersAGreyRampFaithfully()
{
    QFETCH(QStringList, format);
    QFETCH(int, rows);
    QFETCH(double, mostDithered);
    QFETCH(double, leastCut);
    // A grey ramp, one level a column.
    QImage ramp(256, rows, QImage::Format_RGB32);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < ramp.width(); ++x)
            ramp.setPixel(x, y, qRgb(x, x, x));
    savePicture(ramp, path("ramp.png"), "PNG");

    // How far each column's average, as the display shows it, lies from the source's level.
    const auto columnError = [&](const QStringList &options) {
        if (quillonConvert(QStringList {"-f", "--preview", "-o", path("command"), path("ramp.png")} + format
                           + options)
                .exitCode)
            qFatal("quillon-convert failed on the ramp");
        const QImage shown(path("command/ramp16bits.png"));
        double error = 0;
        for (int x = 0; x < 256; ++x) {
            for (int shift : {16, 8, 0}) { // red, green, blue
                double sum = 0;
                for (int y = 0; y < rows; ++y)
                    sum += shown.pixel(x, y) >> shift & 0xff;
                error += qAbs(sum / rows - x);
            }
        }
        return error / (256 * 3);
    };
    const double cut = columnError({});
    const double dithered = columnError({"--dither"});
    const QByteArray header = readFile(path("command/ramp.h"));
    const QString measured = QString("%1 levels cut, %2 dithered").arg(cut).arg(dithered);
    QVERIFY2(dithered <= mostDithered && cut >= leastCut, qPrintable(measured));
    columnError({"--dither"});
    QCOMPARE(readFile(path("command/ramp.h")), header); // the same on every run
}

namespace {

int luma(QRgb c)
{
    return (299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c) + 500) / 1000;
}

} // namespace

void TestCli::encodesForSmallDisplays_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QImage>("picture");

    // 13 x 6: odd width, rows that do not fill a byte or a page; red, green and blue apart.
    QImage picture(13, 6, QImage::Format_ARGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x)
            picture.setPixel(x, y, qRgba(x * 19, y * 47, (x * y * 13) % 256, x == 12 && y < 3 ? 40 : 255));
    QTest::newRow("mono") << QStringList {"--format", "mono"} << picture;
    QTest::newRow("mono, threshold 90") << QStringList {"--format", "mono", "--threshold", "90"} << picture;
    QTest::newRow("mono, inverted") << QStringList {"--format", "mono", "--invert"} << picture;
    QTest::newRow("xbm") << QStringList {"--format", "xbm", "--threshold=200"} << picture;
    QTest::newRow("pages") << QStringList {"--format", "pages"} << picture;
    QTest::newRow("pages of 9 rows") << QStringList {"--format", "pages"} << picture.copy(0, 0, 5, 9);
    QTest::newRow("gray8") << QStringList {"--format", "gray8"} << picture;
    QTest::newRow("gray8, inverted") << QStringList {"--format", "gray8", "--invert"} << picture;
    QTest::newRow("gray4") << QStringList {"--format", "gray4", "--background", "white"} << picture;
    QTest::newRow("index4, few colours") << QStringList {"--format", "index4"} << picture.copy(0, 0, 3, 4);
    QTest::newRow("index4, many colours") << QStringList {"--format", "index4"} << picture;
    QTest::newRow("index4, 16 colours, as many as it holds")
        << QStringList {"--format", "index4"} << picture.copy(0, 0, 4, 4);
    QTest::newRow("index8, swapped") << QStringList {"--format", "index8", "--swap-bytes"} << picture;
    QTest::newRow("rgb565 with a mask") << QStringList {"--format", "rgb565", "--alpha", "mask"} << picture;
    QTest::newRow("rgb565 with a key colour")
        << QStringList {"--format", "rgb565", "--transparent", "#00f800"} << picture;
    // Black is also the colour of an opaque pixel: that one moves a step of green away.
    QTest::newRow("rgb565 with a key colour the picture has")
        << QStringList {"--format", "rgb565", "--transparent", "black"} << picture;
}

void TestCli::encodesForSmallDisplays()
{
    QFETCH(QStringList, options);
    QFETCH(QImage, picture);
    savePicture(picture, path("pic.png"), "PNG");
    const Run run = quillonConvert(QStringList {"-n", "pic", "--preview", "-o", path("command")} + options
                                   + QStringList {path("pic.png")});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(readFile(path("command/pic.h")));
    const QHash<QString, HeaderArray> arrays = parseArrays(text);
    const QString format = options[options.indexOf("--format") + 1];
    const int w = picture.width(), h = picture.height();
    QCOMPARE(sizeMacros(text, "pic"), picture.size());
    QVERIFY(text.contains("#include <stdint.h>\n"));
    for (const HeaderArray &array : arrays)
        QCOMPARE(array.values.size(), array.size);

    // The pixels as the options make them: transparent ones onto the background, in colour.
    const QColor background(options.contains("--background") ? options[options.indexOf("--background") + 1]
                                                             : "");
    const QImage premultiplied
        = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied).convertToFormat(QImage::Format_RGB32);
    const auto colourAt = [&](int x, int y) {
        const QRgb p = picture.pixel(x, y);
        if (!background.isValid()) // as a display shows a premultiplied picture
            return premultiplied.pixel(x, y);
        const QRgb pm = qPremultiply(p);
        const int through = 255 - qAlpha(p);
        const auto mix = [&](int own, int back) { return own + (back * through + 127) / 255; };
        return qRgb(mix(qRed(pm), background.red()), mix(qGreen(pm), background.green()),
                    mix(qBlue(pm), background.blue()));
    };
    const bool invert = options.contains("--invert");
    // --threshold N or --threshold=N
    const QString thresholdOption = options.filter("--threshold").value(0);
    const int threshold = thresholdOption.isEmpty() ? 128
        : thresholdOption.contains('=')             ? thresholdOption.section('=', 1).toInt()
                                                    : options[options.indexOf(thresholdOption) + 1].toInt();
    QImage display(w, h, QImage::Format_RGB32);
    const HeaderArray &pixels = arrays.value("pic");
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb colour = colourAt(x, y);
            const int level = luma(colour);
            bool lit = level >= threshold;
            int stored = 0;
            if (format == "mono" || format == "xbm" || format == "pages") {
                const int bit = format == "mono"
                    ? int(pixels.values[y * ((w + 7) / 8) + x / 8] >> (7 - x % 8) & 1)
                    : format == "xbm" ? int(pixels.values[y * ((w + 7) / 8) + x / 8] >> (x % 8) & 1)
                                      : int(pixels.values[(y / 8) * w + x] >> (y % 8) & 1);
                QCOMPARE(bit, int(lit != invert));
                display.setPixel(x, y, lit ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
            } else if (format == "gray8") {
                stored = int(pixels.values[y * w + x]);
                QCOMPARE(stored, invert ? 255 - level : level);
                display.setPixel(x, y, qRgb(level, level, level));
            } else if (format == "gray4") {
                stored = int(pixels.values[y * ((w + 1) / 2) + x / 2] >> (x % 2 ? 0 : 4) & 0xf);
                QCOMPARE(stored, (level * 15 + 127) / 255);
                display.setPixel(x, y, qRgb(stored * 17, stored * 17, stored * 17));
            } else if (format.startsWith("index")) {
                const int index = format == "index8"
                    ? int(pixels.values[y * w + x])
                    : int(pixels.values[y * ((w + 1) / 2) + x / 2] >> (x % 2 ? 0 : 4) & 0xf);
                quint16 entry = quint16(arrays.value("pic_palette").values[index]);
                if (options.contains("--swap-bytes"))
                    entry = quint16(entry << 8 | entry >> 8);
                // Few colours are kept exactly; many, within a palette's reach.
                const quint16 exact = rgb565(colour);
                if (w * h <= 16)
                    QCOMPARE(entry, exact);
                const QRgb got = shown(entry), want = shown(exact);
                QVERIFY2(qAbs(qRed(got) - qRed(want)) + qAbs(qGreen(got) - qGreen(want))
                                 + qAbs(qBlue(got) - qBlue(want))
                             < (format == "index8" ? 40 : 200),
                         qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
                display.setPixel(x, y, got);
            } else { // rgb565
                const bool opaque = qAlpha(picture.pixel(x, y)) >= 128;
                const quint16 value = quint16(pixels.values[y * w + x]);
                if (options.contains("--transparent")) {
                    const quint16 key = rgb565(QColor(options.last()).rgb());
                    const quint16 own = rgb565(colour);
                    QCOMPARE(value, !opaque ? key : own == key ? quint16(key + 0x20) : own);
                } else {
                    QCOMPARE(value, rgb565(colour));
                    const quint32 maskByte = arrays.value("pic_mask").values[y * ((w + 7) / 8) + x / 8];
                    QCOMPARE(int(maskByte >> (7 - x % 8) & 1), int(opaque));
                }
                display.setPixel(x, y, shown(value));
            }
        }
    }
    // A picture of no more colours than its palette holds: each of them, in increasing order.
    if (format.startsWith("index") && w * h <= 16) {
        const QVector<quint32> &palette = arrays.value("pic_palette").values;
        for (int i = 1; i < w * h; ++i)
            QVERIFY(palette[i - 1] < palette[i]);
    }
    if (format == "rgb565" && options.contains("--transparent"))
        QVERIFY(text.contains(QString("#define pic_transparent 0x%1\n")
                                  .arg(rgb565(QColor(options.last()).rgb()), 4, 16, QChar('0'))));
    // The preview and the BMP file show what the display will show.
    if (format.startsWith("index") || format == "rgb565" || format == "mono" || format == "pages"
        || format == "xbm" || format == "gray4") {
        if (!invert)
            QCOMPARE(QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32), display);
        QCOMPARE(readFile(path("command/pic16bits.BMP")), expectedBmp(display));
    }
}

namespace {

// LVGL's run-length coding undone, as lv_rle.c reads it.
QByteArray rleDecoded(const QByteArray &in, int block)
{
    QByteArray out;
    for (int at = 0; at < in.size();) {
        const int control = quint8(in[at++]);
        if (control & 0x80) {
            out += in.mid(at, (control & 0x7f) * block);
            at += (control & 0x7f) * block;
        } else {
            for (int i = 0; i < control; ++i)
                out += in.mid(at, block);
            at += block;
        }
    }
    return out;
}

// A C array's bytes, read back from the text between its braces.
QByteArray bytesOf(const QString &text)
{
    QByteArray bytes;
    QRegularExpressionMatchIterator values = QRegularExpression("0x([0-9a-f]{2})\\b").globalMatch(text);
    while (values.hasNext())
        bytes += char(values.next().captured(1).toUInt(nullptr, 16));
    return bytes;
}

// A stand-in of the LVGL types the descriptors use, to compile the headers against.
const char lvglStandIn[] = R"(#include <stddef.h>
#include <stdint.h>
#define LV_IMAGE_HEADER_MAGIC 0x19
#define LV_ATTRIBUTE_LARGE_CONST
#define LV_COLOR_DEPTH 16
#ifndef LV_COLOR_16_SWAP
#define LV_COLOR_16_SWAP 0
#endif
enum { LV_IMAGE_FLAGS_COMPRESSED = 0x0008 };
typedef enum {
    LV_COLOR_FORMAT_L8 = 0x06, LV_COLOR_FORMAT_I1 = 0x07, LV_COLOR_FORMAT_I2 = 0x08, LV_COLOR_FORMAT_I4 = 0x09,
    LV_COLOR_FORMAT_I8 = 0x0A, LV_COLOR_FORMAT_A8 = 0x0E, LV_COLOR_FORMAT_RGB888 = 0x0F,
    LV_COLOR_FORMAT_ARGB8888 = 0x10, LV_COLOR_FORMAT_XRGB8888 = 0x11, LV_COLOR_FORMAT_RGB565 = 0x12,
    LV_COLOR_FORMAT_RGB565A8 = 0x14, LV_COLOR_FORMAT_RGB565_SWAPPED = 0x1B
} lv_color_format_t;
typedef struct {
    uint32_t magic : 8; uint32_t cf : 8; uint32_t flags : 16;
    uint32_t w : 16; uint32_t h : 16; uint32_t stride : 16; uint32_t reserved_2 : 16;
} lv_image_header_t;
typedef struct { lv_image_header_t header; uint32_t data_size; const uint8_t *data; const void *reserved; } lv_image_dsc_t;
typedef enum {
    LV_IMG_CF_TRUE_COLOR = 4, LV_IMG_CF_TRUE_COLOR_ALPHA = 5, LV_IMG_CF_INDEXED_1BIT = 7, LV_IMG_CF_INDEXED_2BIT = 8,
    LV_IMG_CF_INDEXED_4BIT = 9, LV_IMG_CF_INDEXED_8BIT = 10, LV_IMG_CF_ALPHA_8BIT = 14
} lv_img_cf_t;
typedef struct { uint32_t cf : 5; uint32_t always_zero : 3; uint32_t reserved : 2; uint32_t w : 11; uint32_t h : 11; } lv_img_header_t;
typedef struct { lv_img_header_t header; uint32_t data_size; const uint8_t *data; } lv_img_dsc_t;
)";

} // namespace

void TestCli::encodesLvglImages_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("colourFormat"); // as the descriptor names it
    QTest::addColumn<bool>("translucent");

    const auto row
        = [](const char *name, const QStringList &options, const char *cf, bool translucent = true) {
              QTest::newRow(name) << options << QString(cf) << translucent;
          };
    row("opaque: RGB565", {}, "LV_COLOR_FORMAT_RGB565", false);
    row("translucent: RGB565A8", {}, "LV_COLOR_FORMAT_RGB565A8");
    row("RGB565A8 rows of 8 bytes", {"--stride-align", "8"}, "LV_COLOR_FORMAT_RGB565A8");
    row("swapped", {"--swap-bytes"}, "LV_COLOR_FORMAT_RGB565_SWAPPED");
    row("RGB888", {"--lvgl-cf", "RGB888"}, "LV_COLOR_FORMAT_RGB888");
    row("XRGB8888", {"--lvgl-cf=XRGB8888", "--stride-align=64"}, "LV_COLOR_FORMAT_XRGB8888");
    row("ARGB8888", {"--lvgl-cf", "ARGB8888"}, "LV_COLOR_FORMAT_ARGB8888");
    row("L8", {"--lvgl-cf", "L8"}, "LV_COLOR_FORMAT_L8");
    row("L8 inverted", {"--lvgl-cf", "L8", "--invert"}, "LV_COLOR_FORMAT_L8");
    row("A8", {"--lvgl-cf", "A8"}, "LV_COLOR_FORMAT_A8");
    row("I1", {"--lvgl-cf", "I1"}, "LV_COLOR_FORMAT_I1");
    row("I1, threshold 90, inverted", {"--lvgl-cf", "I1", "--threshold", "90", "--invert"},
        "LV_COLOR_FORMAT_I1");
    row("I2", {"--lvgl-cf", "I2", "--stride-align", "4"}, "LV_COLOR_FORMAT_I2");
    row("I4", {"--lvgl-cf", "I4"}, "LV_COLOR_FORMAT_I4");
    row("I8", {"--lvgl-cf", "I8"}, "LV_COLOR_FORMAT_I8");
    row("RLE", {"--compress", "rle"}, "LV_COLOR_FORMAT_RGB565A8");
    row("RLE of RGB888", {"--compress", "rle", "--lvgl-cf", "RGB888"}, "LV_COLOR_FORMAT_RGB888");
    row("LZ4", {"--compress", "lz4", "--lvgl-cf", "ARGB8888"}, "LV_COLOR_FORMAT_ARGB8888");
    row("LVGL 8, true colour", {"--lvgl-version", "8"}, "LV_IMG_CF_TRUE_COLOR", false);
    row("LVGL 8, true colour and alpha", {"--lvgl-version", "8"}, "LV_IMG_CF_TRUE_COLOR_ALPHA");
    row("LVGL 8, alpha", {"--lvgl-version", "8", "--lvgl-cf", "A8"}, "LV_IMG_CF_ALPHA_8BIT");
    row("LVGL 8, indexed 2 bits", {"--lvgl-version", "8", "--lvgl-cf", "I2"}, "LV_IMG_CF_INDEXED_2BIT");
    row("LVGL 8, indexed 8 bits", {"--lvgl-version", "8", "--lvgl-cf", "I8"}, "LV_IMG_CF_INDEXED_8BIT");
}

void TestCli::encodesLvglImages()
{
    QFETCH(QStringList, options);
    QFETCH(QString, colourFormat);
    QFETCH(bool, translucent);
    // 13 x 6: rows of an odd number of pixels; red, green and blue apart; alpha at every level.
    QImage picture(13, 6, QImage::Format_ARGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x)
            picture.setPixel(x, y,
                             qRgba(x * 19, y * 47, (x * y * 13) % 256, translucent ? (x * 21 + y * 3) : 255));
    savePicture(picture, path("pic.png"), "PNG");
    const Run run = quillonConvert(QStringList {"--format", "lvgl", "-n", "pic", "-o", path("command")}
                                   + options + QStringList {path("pic.png")});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(readFile(path("command/pic.h")));
    const auto field = [&](const QString &name) {
        return QRegularExpression("\\." + QRegularExpression::escape(name) + " = ([^,\\n]+),")
            .match(text)
            .captured(1);
    };
    const bool lvgl8 = colourFormat.startsWith("LV_IMG_CF");
    QCOMPARE(field("header.cf"), colourFormat);
    QCOMPARE(field("header.w"), QString("13"));
    QCOMPARE(field("header.h"), QString("6"));
    QCOMPARE(field("data_size"), QString("sizeof(pic_map)"));
    QCOMPARE(field("data"), QString("pic_map"));
    QVERIFY(text.contains(lvgl8 ? "const lv_img_dsc_t pic = {" : "const lv_image_dsc_t pic = {"));

    // The map, its compression undone; LVGL 8's 16-bit colours in both orders.
    const QString body = text.section("pic_map[", 1).section('{', 1).section("};", 0, 0);
    QByteArray data = bytesOf(body.contains("#else") ? body.section("#else", 1) : body);
    const QByteArray map = data;
    const QByteArray swapped = body.contains("#else") ? bytesOf(body.section("#else", 0, 0)) : QByteArray();
    QCOMPARE(text.section("pic_map[", 1).section(']', 0, 0).toInt(),
             bytesOf(body.section("#else", 0, 0)).size());
    const QString compress = options.contains("--compress") ? options[options.indexOf("--compress") + 1] : "";
    const int bits = QMap<QString, int> {
        {"RGB565", 16},
        {"RGB565A8", 16},
        {"RGB565_SWAPPED", 16},
        {"RGB888", 24},
        {"XRGB8888", 32},
        {"ARGB8888", 32},
        {"L8", 8},
        {"A8", 8},
        {"I1", 1},
        {"I2", 2},
        {"I4", 4},
        {"I8", 8},
        {"TRUE_COLOR", 16},
        {"TRUE_COLOR_ALPHA", 24},
        {"ALPHA_8BIT", 8},
        {"INDEXED_2BIT", 2},
        {"INDEXED_8BIT",
         8}}.value(colourFormat.section("LV_COLOR_FORMAT_", 1) + colourFormat.section("LV_IMG_CF_", 1));
    QCOMPARE(field("header.flags"),
             lvgl8                    ? QString()
                 : compress.isEmpty() ? "0"
                                      : "0 | LV_IMAGE_FLAGS_COMPRESSED");
    if (!compress.isEmpty()) {
        const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(data.constData() + at); };
        QCOMPARE(u32(0), compress == "rle" ? 1u : 2u);
        QCOMPARE(int(u32(4)), data.size() - 12);
        QByteArray raw(int(u32(8)), '\0');
        if (compress == "rle")
            raw = rleDecoded(data.mid(12), (bits + 7) / 8).left(raw.size());
        else
            QCOMPARE(LZ4_decompress_safe(data.constData() + 12, raw.data(), data.size() - 12, raw.size()),
                     raw.size());
        QVERIFY2(text.contains(QString("octets au lieu de %1").arg(raw.size())), qPrintable(text));
        data = raw;
    }

    // Each pixel, read back as LVGL reads it, against the picture.
    const QImage colours
        = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied).convertToFormat(QImage::Format_RGB32);
    const QString cf
        = colourFormat.section('_', -1) == "SWAPPED" ? "RGB565_SWAPPED" : colourFormat.section("FORMAT_", 1);
    const int align = options.filter("--stride-align").isEmpty() ? 1
        : options.contains("--stride-align")
        ? options[options.indexOf("--stride-align") + 1].toInt()
        : options.filter("--stride-align").first().section('=', 1).toInt();
    const int tight = (13 * (lvgl8 && bits == 24 ? 24 : bits) + 7) / 8;
    const int stride = lvgl8 ? tight : (tight + align - 1) / align * align;
    if (!lvgl8)
        QCOMPARE(field("header.stride").toInt(), stride);
    const int paletteSize = colourFormat.contains("I1")                     ? 2
        : colourFormat.contains("I2") || colourFormat.contains("INDEXED_2") ? 4
        : colourFormat.contains("I4")                                       ? 16
        : colourFormat.contains("I8") || colourFormat.contains("INDEXED_8") ? 256
                                                                            : 0;
    const int rows = paletteSize * 4;
    int expectedSize = rows + stride * 6;
    if (cf == "RGB565A8")
        expectedSize += stride / 2 * 6;
    QCOMPARE(data.size(), expectedSize);
    const auto byteAt = [&](int at) { return int(quint8(data[at])); };
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 13; ++x) {
            const QRgb colour = colours.pixel(x, y);
            const int alpha = qAlpha(picture.pixel(x, y));
            const quint16 value = rgb565(colour);
            const int at = rows + y * stride + x * bits / 8;
            if (colourFormat.endsWith("RGB565") || colourFormat.endsWith("TRUE_COLOR")) {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                if (lvgl8)
                    QCOMPARE(int(quint8(swapped[at])) << 8 | int(quint8(swapped[at + 1])), int(value));
            } else if (cf == "RGB565_SWAPPED") {
                QCOMPARE(byteAt(at) << 8 | byteAt(at + 1), int(value));
            } else if (cf == "RGB565A8") {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                QCOMPARE(byteAt(stride * 6 + y * stride / 2 + x), alpha);
            } else if (colourFormat.endsWith("TRUE_COLOR_ALPHA")) {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                QCOMPARE(byteAt(at + 2), alpha);
                QCOMPARE(int(quint8(swapped[at])) << 8 | int(quint8(swapped[at + 1])), int(value));
            } else if (bits >= 24) {
                QCOMPARE(qRgb(byteAt(at + 2), byteAt(at + 1), byteAt(at)), colour);
                if (bits == 32)
                    QCOMPARE(byteAt(at + 3), cf == "ARGB8888" ? alpha : 255);
            } else if (cf == "L8") {
                const int level = luma(colour);
                QCOMPARE(byteAt(at), options.contains("--invert") ? 255 - level : level);
            } else if (cf == "A8" || colourFormat.endsWith("ALPHA_8BIT")) {
                QCOMPARE(byteAt(at), alpha);
            } else { // indexed: the nearest palette entry (blue, green, red, alpha), all opaque
                const int perByte = 8 / bits;
                const int index = byteAt(rows + y * stride + x / perByte) >> (8 - bits * (x % perByte + 1))
                    & ((1 << bits) - 1);
                const auto entry
                    = [&](int i) { return qRgb(byteAt(i * 4 + 2), byteAt(i * 4 + 1), byteAt(i * 4)); };
                const auto distance = [&](QRgb a, QRgb b) {
                    return (qRed(a) - qRed(b)) * (qRed(a) - qRed(b))
                        + (qGreen(a) - qGreen(b)) * (qGreen(a) - qGreen(b))
                        + (qBlue(a) - qBlue(b)) * (qBlue(a) - qBlue(b));
                };
                const QRgb wanted = shown(value);
                if (paletteSize == 2) { // LVGL's monochrome: black, then white where lit
                    QCOMPARE(entry(0), qRgb(0, 0, 0));
                    QCOMPARE(entry(1), qRgb(255, 255, 255));
                    const int threshold = options.contains("--threshold") ? 90 : 128;
                    QCOMPARE(index, int((luma(colour) >= threshold) != options.contains("--invert")));
                    continue;
                }
                for (int i = 0; i < paletteSize; ++i) {
                    QCOMPARE(byteAt(i * 4 + 3), 255);
                    QVERIFY(distance(entry(index), wanted) <= distance(entry(i), wanted));
                }
                if (paletteSize == 256) // few enough colours: kept exactly
                    QCOMPARE(entry(index), wanted);
            }
        }
    }

    // The header compiles against LVGL's types, warnings as errors, and holds the map read above;
    // LVGL 8's swapped colours where LV_COLOR_16_SWAP is set.
    const QString cc = QStandardPaths::findExecutable("cc");
    if (cc.isEmpty())
        QSKIP("no C compiler");
    writeFile(path("command/lvgl.h"), lvglStandIn);
    writeFile(path("command/main.c"),
              "#include <stdio.h>\n#include \"pic.h\"\nint main(void)\n{\n"
              "    for (size_t i = 0; i < pic.data_size; ++i)\n"
              "        putchar(pic.data[i]);\n    return 0;\n}\n");
    for (const QByteArray &swap : {QByteArray("0"), QByteArray("1")}) {
        if (swap == "1" && swapped.isEmpty())
            continue;
        QProcess compiler;
        compiler.setProcessChannelMode(QProcess::MergedChannels);
        compiler.start(cc,
                       {"-std=c99", "-Wall", "-Wextra", "-Werror", "-DLV_LVGL_H_INCLUDE_SIMPLE",
                        "-DLV_COLOR_16_SWAP=" + swap, "-I", path("command"), "-o", path("command/main"),
                        path("command/main.c")});
        QVERIFY(compiler.waitForFinished(60000));
        QVERIFY2(compiler.exitCode() == 0, compiler.readAll().constData());
        QProcess program;
        program.start(path("command/main"), QStringList());
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.readAllStandardOutput(), swap == "1" ? swapped : map);
    }
}

void TestCli::boundsLvglRowsInTheirColourFormat_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("translucent");
    QTest::addColumn<QByteArray>("colourFormat"); // empty: the one chosen for the picture
    QTest::addColumn<int>("strideAlign");
    QTest::addColumn<bool>("refused");
    // LVGL 9 holds a row's stride in 16 bits: 65,535 bytes at most, in the format written.
    QTest::newRow("opaque, 20000 wide, RGB565 by default") << 20000 << false << QByteArray() << 1 << false;
    QTest::newRow("opaque, 32767 wide, RGB565 by default") << 32767 << false << QByteArray() << 1 << false;
    QTest::newRow("opaque, 32768 wide, RGB565 by default") << 32768 << false << QByteArray() << 1 << true;
    QTest::newRow("translucent, 32767 wide, RGB565A8 by default")
        << 32767 << true << QByteArray() << 1 << false;
    QTest::newRow("translucent, 32768 wide, RGB565A8 by default")
        << 32768 << true << QByteArray() << 1 << true;
    QTest::newRow("RGB565 padded to 4 bytes") << 32767 << false << QByteArray() << 4 << true;
    QTest::newRow("ARGB8888, 16383 wide") << 16383 << true << QByteArray("ARGB8888") << 1 << false;
    QTest::newRow("ARGB8888, 16384 wide") << 16384 << true << QByteArray("ARGB8888") << 1 << true;
    QTest::newRow("ARGB8888, opaque, 20000 wide") << 20000 << false << QByteArray("ARGB8888") << 1 << true;
    QTest::newRow("RGB888, 21845 wide") << 21845 << false << QByteArray("RGB888") << 1 << false;
    QTest::newRow("RGB888, 21846 wide") << 21846 << false << QByteArray("RGB888") << 1 << true;
    QTest::newRow("I1, 65535 wide") << 65535 << false << QByteArray("I1") << 1 << false;
    QTest::newRow("I1, 65536 wide") << 65536 << false << QByteArray("I1") << 1 << true;
}

void TestCli::boundsLvglRowsInTheirColourFormat()
{
    QFETCH(int, width);
    QFETCH(bool, translucent);
    QFETCH(QByteArray, colourFormat);
    QFETCH(int, strideAlign);
    QFETCH(bool, refused);
    PreparedPicture picture;
    picture.colours = QImage(width, 3, QImage::Format_RGB32);
    picture.colours.fill(Qt::gray);
    picture.alpha = QImage(width, 3, QImage::Format_Alpha8);
    picture.alpha.fill(255);
    if (translucent)
        picture.alpha.setPixel(width - 1, 2, 128);
    EncodingOptions options;
    options.lvglColourFormat = colourFormat;
    options.strideAlign = strideAlign;
    const QString problem = lvglSizeProblem(picture, options);
    QCOMPARE(!problem.isEmpty(), refused);
    if (refused)
        QCOMPARE(problem,
                 QString::fromUtf8("image trop grande pour LVGL 9 : %1 x 3 pixels, 65535 au plus de côté "
                                   "et 65 535 octets par ligne")
                     .arg(width));
}

void TestCli::compressesAsLvglDoes_data()
{
    // One row of greys (L8, a byte a pixel): repeats of fewer than 16 pixels are copied with
    // what follows them, longer ones counted; a control byte before each run, its top bit set
    // before copies.
    QTest::addColumn<QByteArray>("greys");
    QTest::addColumn<QByteArray>("compressed");
    const QByteArray three = QByteArray::fromHex("143c50");
    QTest::newRow("10 repeats, then 3 others")
        << QByteArray(10, '\x64') + three << QByteArray::fromHex("8d") + QByteArray(10, '\x64') + three;
    QTest::newRow("20 repeats, then 3 others")
        << QByteArray(20, '\x64') + three << QByteArray::fromHex("146483") + three;
    QTest::newRow("130 repeats") << QByteArray(130, '\x64')
                                 << QByteArray::fromHex("7f648364") + QByteArray(2, '\x64');
}

void TestCli::compressesAsLvglDoes()
{
    QFETCH(QByteArray, greys);
    QFETCH(QByteArray, compressed);
    QImage row(greys.size(), 1, QImage::Format_RGB32);
    for (int x = 0; x < greys.size(); ++x)
        row.setPixel(x, 0, qRgb(quint8(greys[x]), quint8(greys[x]), quint8(greys[x])));
    savePicture(row, path("row.png"), "PNG");
    QCOMPARE(quillonConvert({"--format", "lvgl", "--lvgl-cf", "L8", "--compress", "rle", "-n", "row", "-o",
                             path("command"), path("row.png")})
                 .exitCode,
             0);
    const QString text = QString::fromUtf8(readFile(path("command/row.h")));
    QByteArray expected(12, '\0');
    qToLittleEndian<quint32>(1, expected.data());
    qToLittleEndian<quint32>(quint32(compressed.size()), expected.data() + 4);
    qToLittleEndian<quint32>(quint32(greys.size()), expected.data() + 8);
    QCOMPARE(bytesOf(text.section("row_map[", 1).section('{', 1).section("};", 0, 0)), expected + compressed);
}

void TestCli::dithersWithFloydSteinbergWeights_data()
{
    // 7 x 4 greys, (37 x + 61 y + 20) mod 256. Worked out with Floyd and Steinberg's weights (7/16
    // ahead, 3/16 behind below, 5/16 below, 1/16 ahead below), rows in turn left to right and
    // right to left, each pixel taking what it is owed rounded to the nearest level.
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("array");
    QTest::newRow("black and white") << "mono" << QByteArray::fromHex("1e68b2ca");
    QTest::newRow("16 greys") << "gray4" << QByteArray::fromHex("1368ace0579bd1308bdf2460ce1358a0");
}

void TestCli::dithersWithFloydSteinbergWeights()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, array);
    QImage greys(7, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x)
            greys.setPixel(x, y,
                           qRgb((x * 37 + y * 61 + 20) % 256, (x * 37 + y * 61 + 20) % 256,
                                (x * 37 + y * 61 + 20) % 256));
    savePicture(greys, path("greys.png"), "PNG");
    QCOMPARE(
        quillonConvert({"--dither", "--format", format, "-n", "g", "-o", path("command"), path("greys.png")})
            .exitCode,
        0);
    QCOMPARE(bytesOf(QString::fromUtf8(readFile(path("command/greys.h"))).section('{', 1)), array);
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
