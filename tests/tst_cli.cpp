#include "output_files.h"
#include "picture_decoding.h"
#include "display_formats.h"
#include "display_preparation.h"
#include "lvgl_format.h"
#include "mainwindow.h"
#include "output_paths.h"
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
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <lz4.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <numeric>
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

// The lock file of the outputs whose header is `header`, beside them.
QString lockName(const QByteArray &header)
{
    return ".quillon-"
        + QString::fromLatin1(QCryptographicHash::hash(header, QCryptographicHash::Sha1).toHex().left(16))
        + ".lock";
}

} // namespace

Q_DECLARE_METATYPE(DisplayOptions)

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writesWhatTheWindowWrites_data();
    void writesWhatTheWindowWrites();
    void convertsSeveralPicturesAtOnce();
    void decodesPicturesLeftUnsetAlikeAmongOthers_data();
    void decodesPicturesLeftUnsetAlikeAmongOthers();
    void reportsEachFailure();
    void keepsExistingFilesWithoutForce();
    void reportsAFullDisk();
    void keepsEachPairWhole();
    void endsReadersThatMisbehave_data();
    void endsReadersThatMisbehave();
    void completesAPairAKilledRunLeft_data();
    void completesAPairAKilledRunLeft();
    void waitsBoundedlyForLocksItCannotJudge();
    void answersUsageErrors_data();
    void answersUsageErrors();
    void namesAndPlacesArrays_data();
    void namesAndPlacesArrays();
    void helpsAndTellsItsVersion();
    void convertsAtBuildTimeFromCMake();
    void preparesPicturesForTheDisplay_data();
    void preparesPicturesForTheDisplay();
    void shapesPicturesForTheScreen_data();
    void shapesPicturesForTheScreen();
    void decodesPhotosAsSmallAsTheirShapeAllows_data();
    void decodesPhotosAsSmallAsTheirShapeAllows();
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
    void encodesForEpaperPanels_data();
    void encodesForEpaperPanels();
    void dithersToThePanelsColours_data();
    void dithersToThePanelsColours();
    void takesPaletteFiles_data();
    void takesPaletteFiles();
    void drawsAsTheCommentSays_data();
    void drawsAsTheCommentSays();
    void drawsAsItsCommentSays_data();
    void drawsAsItsCommentSays();
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
    QTest::newRow("every alpha value") << "ramp.png" << alphaRampPicture() << QByteArray("PNG");
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

    const Run run = quillonConvert({"-n", "logo", "-o", path("command"), path(name)});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString base = name.section('.', 0, -2);
    for (const QString &file : {base + "16bits.BMP", base + ".h"})
        QVERIFY2(readFile(path("window/" + file)) == readFile(path("command/" + file)), qPrintable(file));
    // Both, the picture as a pixmap shows it, in 5-6-5.
    QCOMPARE(readFile(path("command/" + base + "16bits.BMP")),
             expectedBmp(QPixmap::fromImage(QImage(path(name))).toImage()));

    // Without --name, the array is named after the picture: nothing else changes.
    QCOMPARE(quillonConvert({"-f", "-o", path("command"), path(name)}).exitCode, 0);
    QCOMPARE(readFile(path("command/" + base + ".h")),
             readFile(path("window/" + base + ".h")).replace("char logo[", "char " + base.toLatin1() + '['));
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
    // No progress line when standard error is not a terminal: only the count.
    QCOMPARE(all.err, QString::fromUtf8("12 images converties, 0 ignorée, 0 en échec\n"));
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

void TestCli::decodesPicturesLeftUnsetAlikeAmongOthers_data()
{
    QTest::addColumn<QString>("environment");
    QTest::newRow("the usual fill") << QString("MALLOC_PERTURB_=0");
    QTest::newRow("the process's fill of 85") << QString("MALLOC_PERTURB_=85");
    QTest::newRow("the process's fill of 170") << QString("MALLOC_PERTURB_=170");
    QTest::newRow("no cache of small blocks") << QString("GLIBC_TUNABLES=glibc.malloc.tcache_count=0");
}

void TestCli::decodesPicturesLeftUnsetAlikeAmongOthers()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers' allocator does not take glibc's fill of fresh memory");
#endif
    QFETCH(QString, environment);
    // Pictures that a reader leaves unset (tests/plugins) between GIF files, whose reader makes
    // its own pictures too, all decoded on every core at once. That reader is not Qt's: it
    // decodes in a child process whose fresh memory has one fill, whatever the process's own
    // fill and whatever memory the others' decodings freed, so every one comes out the same.
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
    QCOMPARE(run.err, QString::fromUtf8("60 images converties, 0 ignorée, 0 en échec\n"));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(entryNames(path("command")).size(), 120);
    static QByteArray firstRun; // the unset picture's BMP file in the table's first row
    if (firstRun.isEmpty())
        firstRun = readFile(path("command/u016bits.BMP"));
    for (const QString &picture : pictures) {
        if (picture.endsWith(".unset"))
            QCOMPARE(readFile(path("command/" + QFileInfo(picture).completeBaseName() + "16bits.BMP")),
                     firstRun);
    }
}

void TestCli::reportsEachFailure()
{
    savePicture(patternPicture(8, 8), path("good.png"), "PNG");
    writeFile(path("text.png"), "not a picture");
    writeFile(path("huge.png"), pngWithoutPixels(30000, 30000));
    QVERIFY(QDir().mkpath(path("sub")));
    savePicture(patternPicture(8, 8), path("sub/good.jpg"), "JPEG");

    const Run run = quillonConvert(
        {"-o", path("command"), path("good.png"), path("text.png"), path("missing.png"), path("huge.png")});
    QCOMPARE(run.exitCode, 1);
    const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             (QStringList {
                 "quillon-convert: " + path("text.png") + " : ce fichier ne semble pas être une image",
                 "quillon-convert: " + path("missing.png") + " : fichier introuvable",
                 "quillon-convert: " + path("huge.png") + " : image trop grande pour être convertie",
                 "1 image convertie, 0 ignorée, 3 en échec",
             }));
    QCOMPARE(entryNames(path("command")), (QStringList {"good.h", "good16bits.BMP"}));

    // Beside each picture.
    QVERIFY(::mkfifo(QFile::encodeName(path("sub/pipe.png")).constData(), 0600) == 0);
    QVERIFY(QDir().mkpath(path("sub/folder.h")));
    savePicture(patternPicture(8, 8), path("sub/folder.png"), "PNG");
    const QString longName = QString(251, 'n');
    savePicture(patternPicture(8, 8), path("sub/" + longName + ".png"), "PNG");
    const Run beside = quillonConvert({"--force", path("sub/good.jpg"), path("sub/pipe.png"),
                                       path("sub/folder.png"), path("sub/" + longName + ".png")});
    QCOMPARE(beside.exitCode, 1);
    QCOMPARE(beside.err.split('\n', Qt::SkipEmptyParts),
             (QStringList {
                 "quillon-convert: " + path("sub/pipe.png") + " : ce fichier ne semble pas être une image",
                 "quillon-convert: " + path("sub/folder.png") + " : impossible d'écrire "
                     + path("sub/folder.h") + " : c'est un dossier",
                 "quillon-convert: " + path("sub/" + longName + ".png") + " : impossible d'écrire "
                     + path("sub/" + longName + "16bits.BMP") + " : nom de fichier trop long",
                 "1 image convertie, 0 ignorée, 3 en échec",
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
    QVERIFY(QFile::remove(path("command/banner.h")) && !QFileInfo::exists(path("command/banner16bits.BMP")));

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
        writeFile(path("locked/good.h"), "// mine");
        QVERIFY(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner));
        const QStringList launcher = geteuid() == 0
            ? QStringList {setpriv, "--inh-caps=-all", "--bounding-set=-all", "--"}
            : QStringList();
        const Run locked = quillonConvert({"-f", "-o", path("locked"), path("good.png")}, launcher);
        QCOMPARE(locked.exitCode, 1);
        QVERIFY2(locked.err.endsWith(" : accès refusé\n"), qPrintable(locked.err));
        // Without --force, the file there is the reason, as anywhere else.
        const Run kept = quillonConvert({"-o", path("locked"), path("good.png")}, launcher);
        QVERIFY2(kept.err.endsWith(" existe déjà, image ignorée (--force pour le remplacer)\n"),
                 qPrintable(kept.err));
        QCOMPARE(entryNames(path("locked")), QStringList {"good.h"});
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

    // One picture's output is another picture of the same call, or the same file under another
    // name: nothing at all is written. Outputs beside an input of the same base name are not.
    QVERIFY(QDir().mkpath(path("inputs")));
    savePicture(patternPicture(8, 8), path("inputs/pic.png"), "PNG");
    savePicture(patternPicture(9, 9), path("inputs/pic16bits.png"), "PNG");
    savePicture(patternPicture(7, 7), path("inputs/other.png"), "PNG");
    QVERIFY(::link(QFile::encodeName(path("inputs/other.png")).constData(),
                   QFile::encodeName(path("inputs/linked.h")).constData())
            == 0);
    const QByteArray secondInput = readFile(path("inputs/pic16bits.png"));
    const struct
    {
        QStringList arguments;
        QString refusal; // empty: converted
    } inputs[] = {
        {{"-f", "--preview", path("inputs/pic.png"), path("inputs/pic16bits.png")},
         "quillon-convert: " + path("inputs/pic.png") + " : " + path("inputs/pic16bits.png")
             + ", qu'elle écrirait, est l'image " + path("inputs/pic16bits.png")
             + " de la même commande ; rien n'a été écrit\n"},
        {{"-f", "--preview", path("inputs/pic16bits.png"), path("sublink/../inputs/pic.png")},
         "quillon-convert: " + path("sublink/../inputs/pic.png") + " : " + path("sublink/../inputs")
             + "/pic16bits.png, qu'elle écrirait, est l'image " + path("inputs/pic16bits.png")
             + " de la même commande ; rien n'a été écrit\n"},
        {{"-f", path("inputs/other.png"), path("inputs/linked.png")},
         "quillon-convert: " + path("inputs/linked.png") + " : " + path("inputs/linked.h")
             + ", qu'elle écrirait, est l'image " + path("inputs/other.png")
             + " de la même commande ; rien n'a été écrit\n"},
        {{"-f", path("inputs/pic.png"), path("inputs/pic16bits.png")}, QString()},
    };
    savePicture(patternPicture(7, 7), path("inputs/linked.png"), "PNG");
    for (const auto &row : inputs) {
        const Run run = quillonConvert(row.arguments);
        QCOMPARE(run.err,
                 row.refusal.isEmpty() ? QString::fromUtf8("2 images converties, 0 ignorée, 0 en échec\n")
                                       : row.refusal);
        QCOMPARE(run.exitCode, row.refusal.isEmpty() ? 0 : 1);
        QCOMPARE(readFile(path("inputs/pic16bits.png")), secondInput);
        QCOMPARE(QFileInfo::exists(path("inputs/pic.h")), row.refusal.isEmpty());
    }

    // A missing output folder is made.
    const Run noFolder = quillonConvert({"-o", path("nowhere"), path("good.png")});
    QCOMPARE(noFolder.exitCode, 0);
    QCOMPARE(noFolder.err, QString());
    QVERIFY(QFileInfo::exists(path("nowhere/good.h")));
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

    // Outputs that are links: refused without --force, dangling or not; replaced themselves with
    // it, the files they name left as they are.
    QVERIFY(QDir().mkpath(path("outside")));
    writeFile(path("outside/photo16bits.BMP"), "not mine to replace");
    QVERIFY(QFile::remove(path("command/photo.h")));
    const struct
    {
        bool force;
        bool bmpLinked; // the header's link is always there, and dangling
        QString refused;
    } links[] = {
        {false, false, path("command/photo.h")},
        {false, true, path("command/photo16bits.BMP")},
        {true, true, QString()},
    };
    for (const auto &row : links) {
        QVERIFY(QFile::link(path("outside/photo.h"), path("command/photo.h")));
        if (row.bmpLinked)
            QVERIFY(QFile::link(path("outside/photo16bits.BMP"), path("command/photo16bits.BMP")));
        const Run linked = quillonConvert(QStringList {"-o", path("command"), path("photo.png")}
                                          + (row.force ? QStringList {"-f"} : QStringList()));
        QCOMPARE(linked.err,
                 row.force ? QString()
                           : "quillon-convert: " + path("photo.png") + " : " + row.refused
                         + " est un lien symbolique, image ignorée (--force pour remplacer le lien "
                           "lui-même)\n");
        QCOMPARE(entryNames(path("outside")), QStringList {"photo16bits.BMP"});
        QCOMPARE(readFile(path("outside/photo16bits.BMP")), QByteArray("not mine to replace"));
        QCOMPARE(QFileInfo(path("command/photo.h")).isSymLink(), !row.force);
        QCOMPARE(entryNames(path("command")),
                 row.bmpLinked ? (QStringList {"photo.h", "photo16bits.BMP"}) : QStringList {"photo.h"});
        QCOMPARE(QFileInfo(path("command/photo16bits.BMP")).isSymLink(), row.bmpLinked && !row.force);
        for (const QString &name : entryNames(path("command")))
            QVERIFY(QFile::remove(path("command/" + name)));
    }

    for (const QStringList &force : {QStringList {"--force"}, QStringList {"-f"}}) {
        const Run replaced
            = quillonConvert(force + QStringList {"--output=" + path("command"), path("photo.png")});
        QCOMPARE(replaced.exitCode, 0);
        const QByteArray bmp = readFile(path("command/photo16bits.BMP"));
        QCOMPARE(bmp, expectedBmp(QImage(path("photo.png"))));
        QCOMPARE(readFile(path("command/photo.h")), expectedHeader(bmp).replace("char logo[", "char photo["));
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
    for (const QStringList &format : {QStringList(), QStringList {"--format", "rgb565", "--bmp"}}) {
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
    // A split pair's C file, over three times as large as the BMP file's 1854 bytes, fails; nothing is
    // replaced.
    savePicture(patternPicture(30, 30), path("small.png"), "PNG");
    for (const QStringList &format : {QStringList(), QStringList {"--format", "rgb565"}}) {
        const Run run = quillonConvert(
            format + QStringList {"--split", "--force", "-o", path("command"), path("small.png")},
            {prlimit, "--fsize=5000", "--"});
        QCOMPARE(run.err,
                 "quillon-convert: " + path("small.png") + " : impossible d'écrire " + path("command/small.c")
                     + " : disque plein\n");
        QCOMPARE(entryNames(path("command")), QStringList {"photo16bits.BMP"});
    }
    // Not a byte may be written, so the lock file's own lines are refused already; and a disk
    // that reports an error when asked to keep the files on it.
    QProcessEnvironment failingFsync = QProcessEnvironment::systemEnvironment();
    failingFsync.insert("LD_PRELOAD", QUILLON_FAILING_FSYNC);
    const struct
    {
        QStringList launcher;
        bool failingFsync;
        QString cause;
    } limits[]
        = { {{prlimit, "--fsize=0", "--"}, false, "disque plein"},
#if !defined(__SANITIZE_ADDRESS__) // the sanitizers must be the first library loaded
            {{}, true, "erreur d'entrée-sortie"},
#endif
          };
    for (const auto &limit : limits) {
        QProcess run;
        if (limit.failingFsync)
            run.setProcessEnvironment(failingFsync);
        const QStringList command
            = limit.launcher + QStringList {QUILLON_CONVERT, "-f", "-o", path("command"), path("photo.png")};
        run.start(command.first(), command.mid(1));
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(run.readAllStandardError()),
                 "quillon-convert: " + path("photo.png") + " : impossible d'écrire "
                     + path("command/photo16bits.BMP") + " : " + limit.cause + "\n");
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
        QVERIFY2(readFile(path("command/photo.h"))
                     == expectedHeader(bmp).replace("char logo[", "char photo["),
                 "a BMP file with another's header");
        QCOMPARE(entryNames(path("command")), (QStringList {"photo.h", "photo16bits.BMP"}));
    }

    // A run waits for its turn as long as another holds the lock, however long that is.
    QLockFile held(path("command/" + lockName("photo.h")));
    QVERIFY(held.tryLock());
    QProcess waiting;
    waiting.start(QUILLON_CONVERT, {"-f", "-o", path("command"), path("a/photo.png")});
    QVERIFY(!waiting.waitForFinished(1500));
    held.unlock();
    QVERIFY(waiting.waitForFinished(60000));
    QCOMPARE(waiting.exitCode(), 0);
    QCOMPARE(waiting.readAllStandardError(), QByteArray()); // a lock it knows is held: no word
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
            run.start(QUILLON_CONVERT,
                      {"-f", "--format", "rgb565", "--bmp", "-o", path("command"), path("big.png")});
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

void TestCli::endsReadersThatMisbehave_data()
{
    QTest::addColumn<QByteArray>("file"); // read by one of the test's misbehaving readers
    QTest::addColumn<int>("signal"); // sent once the reader has started a program; 0: none

    QTest::newRow("crash") << QByteArray("CRASH") << 0;
    QTest::newRow("2 GiB of memory") << QByteArray("HOG") << 0;
    QTest::newRow("endless work") << QByteArray("SPIN") << 0;
    QTest::newRow("a program of its own, SIGTERM") << QByteArray("SPAWN") << int(SIGTERM);
    QTest::newRow("a program of its own, SIGINT") << QByteArray("SPAWN") << int(SIGINT);
}

void TestCli::endsReadersThatMisbehave()
{
    QFETCH(QByteArray, file);
    QFETCH(int, signal);
#if defined(__SANITIZE_ADDRESS__)
    if (file == "HOG")
        QSKIP("AddressSanitizer reserves terabytes of address space: an address-space limit cannot apply");
#endif
    const QString started = path("started.pid"); // the program the reader started
    writeFile(path("bad.picture"), file + ' ' + started.toLocal8Bit());
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_PLUGIN_PATH", QUILLON_TEST_PLUGINS);
    run.setProcessEnvironment(environment);
    run.start(QUILLON_CONVERT, {"-o", path("command"), path("bad.picture")});
    QVERIFY(run.waitForStarted());
    pid_t program = 0;
    if (signal) {
        QVERIFY(QTest::qWaitFor([&] { return !readFileIfAny(started).isEmpty(); }, 30000));
        program = pid_t(readFileIfAny(started).toInt());
        ::kill(pid_t(run.processId()), signal);
        // The reader's process group ends at once: the run does not wait for the reader.
        QVERIFY(run.waitForFinished(3000));
        QCOMPARE(run.exitCode(), 128 + signal);
        QCOMPARE(run.readAllStandardError(), QByteArray("quillon-convert: interrompu\n"));
    } else {
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(run.readAllStandardError()),
                 "quillon-convert: " + path("bad.picture")
                     + " : image illisible ou trop coûteuse à décoder\n");
    }
    // Nothing written, the lock released, and nothing the reader started left running.
    QCOMPARE(entryNames(path("command")), QStringList());
    if (program > 0) {
        const auto ended = [&] {
            const QByteArray stat = readFileIfAny(QString("/proc/%1/stat").arg(program));
            return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 1).trimmed().startsWith('Z');
        };
        QVERIFY(QTest::qWaitFor(ended, 3000));
    }
}

void TestCli::completesAPairAKilledRunLeft_data()
{
    QTest::addColumn<QByteArray>("pauseIn"); // where the run is held until it is signalled
    QTest::addColumn<int>("pauseAt");
    QTest::addColumn<bool>("withoutTmpfile");
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<bool>("newPair"); // the new pair once the next run is done, or the earlier

    const QList<int> killed = {SIGKILL};
    QTest::newRow("killed between the BMP file and the header")
        << QByteArray("rename") << 2 << false << killed << true;
    QTest::newRow("killed before the first rename") << QByteArray("rename") << 1 << false << killed << true;
    QTest::newRow("killed between them, named temporary files")
        << QByteArray("rename") << 2 << true << killed << true;
    QTest::newRow("killed while writing, named temporary files")
        << QByteArray("fsync") << 1 << true << killed << false;
    QTest::newRow("killed while writing") << QByteArray("fsync") << 1 << false << killed << false;
    QTest::newRow("two SIGINTs 50 ms apart at a rename")
        << QByteArray("rename") << 1 << false << QList<int> {SIGINT, SIGINT} << true;
}

void TestCli::completesAPairAKilledRunLeft()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers must be the first library loaded");
#endif
    QFETCH(QByteArray, pauseIn);
    QFETCH(int, pauseAt);
    QFETCH(bool, withoutTmpfile);
    QFETCH(QList<int>, sent);
    QFETCH(bool, newPair);
    QVERIFY(QDir().mkpath(path("a")));
    QVERIFY(QDir().mkpath(path("b")));
    savePicture(patternPicture(30, 20), path("a/photo.png"), "PNG");
    savePicture(patternPicture(20, 30, true), path("b/photo.png"), "PNG");
    QCOMPARE(quillonConvert({"-n", "logo", "-o", path("command"), path("a/photo.png")}).exitCode, 0);
    const QByteArray earlier = readFile(path("command/photo16bits.BMP"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD",
                       withoutTmpfile ? QString(QUILLON_PAUSED_CALL ":" QUILLON_NO_TMPFILE)
                                      : QString(QUILLON_PAUSED_CALL));
    environment.insert("QUILLON_PAUSE_IN", pauseIn);
    environment.insert("QUILLON_PAUSE_AT", QString::number(pauseAt));
    environment.insert("QUILLON_PAUSE_MARK", path("paused"));
    // From another folder than the next run's, named relative to it.
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(m_dir->path());
    run.start(QUILLON_CONVERT, {"-f", "-n", "logo", "-o", "command", "b/photo.png"});
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(path("paused")); }, 60000));
    for (int i = 0; i < sent.size(); ++i) {
        if (i > 0)
            QTest::qWait(50);
        ::kill(pid_t(run.processId()), sent[i]);
    }
    // Two SIGINTs: the second ends the run there and then, as SIGKILL would.
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFile::remove(path("paused")));

    // The next run for the same files sets them right before anything else, even one that then
    // leaves them as they are.
    const Run next = quillonConvert({"-n", "logo", "-o", path("command"), path("a/photo.png")});
    QCOMPARE(next.exitCode, 1);
    QVERIFY2(next.err.endsWith(" existe déjà, image ignorée (--force pour le remplacer)\n"),
             qPrintable(next.err));
    const QByteArray bmp = readFile(path("command/photo16bits.BMP"));
    QCOMPARE(bmp, newPair ? expectedBmp(QPixmap::fromImage(QImage(path("b/photo.png"))).toImage()) : earlier);
    QCOMPARE(readFile(path("command/photo.h")), expectedHeader(bmp));
    QCOMPARE(entryNames(path("command")), (QStringList {"photo.h", "photo16bits.BMP"}));
}

void TestCli::waitsBoundedlyForLocksItCannotJudge()
{
    // Lock files that name no live owner holding them: each waited for a stated time at most,
    // then replaced, never followed nor opened so that it could block. Those of a dead process
    // of this host are taken at once. All the runs at once, so that their waits overlap.
    savePicture(patternPicture(8, 8), path("photo.png"), "PNG");
    writeFile(path("victim"), "not a lock");
    QProcess ended;
    ended.start("/bin/sh", {"-c", "exit 0"});
    QVERIFY(ended.waitForStarted());
    const QByteArray deadPid = QByteArray::number(ended.processId());
    QVERIFY(ended.waitForFinished());
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const struct
    {
        const char *name;
        std::function<bool(const QString &)> make;
        bool waited;
    } locks[] = {
        {"empty", [](const QString &lock) { return QFile(lock).open(QIODevice::WriteOnly); }, true},
        {"damaged",
         [](const QString &lock) {
             writeFile(lock, "\x01\x02 quillon");
             return true;
         },
         true},
        {"another host's, a number dead here",
         [&](const QString &lock) {
             writeFile(lock, deadPid + "\nquillon-convert\nelsewhere.invalid\n");
             return true;
         },
         true},
        {"a live process's, not held",
         [&](const QString &lock) {
             writeFile(lock, QByteArray::number(::getpid()) + "\ntst_cli\n" + host + "\n");
             return true;
         },
         true},
        {"a link", [&](const QString &lock) { return QFile::link(path("victim"), lock); }, true},
        {"a dangling link", [&](const QString &lock) { return QFile::link(path("nowhere"), lock); }, true},
        {"a FIFO",
         [](const QString &lock) { return ::mkfifo(QFile::encodeName(lock).constData(), 0600) == 0; }, true},
        {"a dead process's",
         [&](const QString &lock) {
             writeFile(lock, deadPid + "\nquillon-convert\n" + host + "\n");
             return true;
         },
         false},
    };
    const int count = int(sizeof locks / sizeof *locks);
    QProcess runs[count];
    for (int i = 0; i < count; ++i) {
        const QString folder = path(QString("lock%1").arg(i));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY2(locks[i].make(folder + "/" + lockName("photo.h")), locks[i].name);
        runs[i].start(QUILLON_CONVERT, {"-o", folder, path("photo.png")});
    }
    // The stated time is waited, not less: those runs are still waiting after half of it.
    QTest::qWait(5000);
    for (int i = 0; i < count; ++i)
        QVERIFY2(runs[i].state() == (locks[i].waited ? QProcess::Running : QProcess::NotRunning),
                 locks[i].name);
    for (int i = 0; i < count; ++i) {
        const QString folder = path(QString("lock%1").arg(i));
        QVERIFY2(runs[i].state() == QProcess::NotRunning || runs[i].waitForFinished(60000), locks[i].name);
        QCOMPARE(runs[i].exitCode(), 0);
        QCOMPARE(QString::fromUtf8(runs[i].readAllStandardError()),
                 locks[i].waited ? "quillon-convert: " + path("photo.png") + " : le verrou " + folder + "/"
                         + lockName("photo.h")
                         + " ne dit pas quel processus le tient (vide, illisible, d'une autre machine ou "
                           "pas un fichier ordinaire) : attente de 10 s au plus avant de le remplacer\n"
                                 : QString());
        QCOMPARE(entryNames(folder), (QStringList {"photo.h", "photo16bits.BMP"}));
    }
    QCOMPARE(readFile(path("victim")), QByteArray("not a lock"));

    // A folder in its place is no lock at all: refused at once.
    QVERIFY(QDir().mkpath(path("command/" + lockName("photo.h"))));
    const Run folder = quillonConvert({"-o", path("command"), path("photo.png")});
    QCOMPARE(folder.exitCode, 1);
    QCOMPARE(folder.err,
             "quillon-convert: " + path("photo.png") + " : impossible d'écrire "
                 + path("command/" + lockName("photo.h")) + " : c'est un dossier\n");

    // Waiting on a FIFO, the run still stops when interrupted.
    QVERIFY(::mkfifo(QFile::encodeName(path("window/" + lockName("photo.h"))).constData(), 0600) == 0);
    QProcess interrupted;
    interrupted.start(QUILLON_CONVERT, {"-o", path("window"), path("photo.png")});
    QVERIFY(
        QTest::qWaitFor([&] { return interrupted.readAllStandardError().contains("ne dit pas"); }, 60000));
    ::kill(pid_t(interrupted.processId()), SIGINT);
    QVERIFY(interrupted.waitForFinished(60000));
    QCOMPARE(interrupted.exitCode(), 130);
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
    QTest::newRow("unknown format")
        << QStringList {"--format", "rgb555", "a.png"}
        << "--format : format inconnu « rgb555 » (bmp, rgb565, mono, xbm, pages, "
           "gray8, gray4, index4, index8, lvgl, gray2, epd-bw-red, epd-bw-yellow ou "
           "epd7)";
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
    QTest::newRow("fit of six digits")
        << QStringList {"--fit", "128x640000", "a.png"}
        << "--fit : « 128x640000 » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)";
    QTest::newRow("fit in pixels") << QStringList {
        "--fit", "64x32px",
        "a.png"} << "--fit : « 64x32px » n'est pas une taille LARGEURxHAUTEUR (par exemple 128x64)";
    QTest::newRow("stride of the window's BMP")
        << QStringList {"--stride-align", "4", "a.png"}
        << "--stride-align ne s'emploie qu'avec --format rgb565, mono, "
           "xbm, pages, gray8, gray4, gray2, index4, index8 ou lvgl";
    // Zeros would be ink on e-paper panels.
    QTest::newRow("stride of the ACeP panels")
        << QStringList {"--format", "epd7", "--stride-align", "4", "a.png"}
        << "--stride-align ne s'emploie qu'avec --format rgb565, mono, "
           "xbm, pages, gray8, gray4, gray2, index4, index8 ou lvgl";
    QTest::newRow("stride above 1024")
        << QStringList {"--format", "mono", "--stride-align", "1025", "a.png"}
        << "--stride-align : « 1025 » n'est pas un alignement de 1 à 1024 octets";
    QTest::newRow("threshold with LVGL in colour")
        << QStringList {"--format", "lvgl", "--threshold", "100", "a.png"}
        << "--threshold ne s'emploie avec LVGL qu'avec --lvgl-cf I1";
    QTest::newRow("threshold with LVGL in grey")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "L8", "--threshold", "100", "a.png"}
        << "--threshold ne s'emploie avec LVGL qu'avec --lvgl-cf I1";
    QTest::newRow("invert with LVGL in colour")
        << QStringList {"--format", "lvgl", "--invert", "a.png"}
        << "--invert ne s'emploie avec LVGL qu'avec --lvgl-cf I1 ou L8";
    QTest::newRow("invert with LVGL's palettes")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "I4", "--invert", "a.png"}
        << "--invert ne s'emploie avec LVGL qu'avec --lvgl-cf I1 ou L8";
    QTest::newRow("cut of no size") << QStringList {"--crop", "1,2,0x5", "a.png"}
                                    << "--crop : « 1,2,0x5 » n'est pas un rectangle X,Y,LARGEURxHAUTEUR (par "
                                       "exemple 10,20,128x64)";
    QTest::newRow("cut of a negative corner")
        << QStringList {"--crop=-1,2,3x5", "a.png"}
        << "--crop : « -1,2,3x5 » n'est pas un rectangle X,Y,LARGEURxHAUTEUR (par exemple 10,20,128x64)";
    QTest::newRow("turned by 45 degrees") << QStringList {"--rotate", "45", "a.png"}
                                          << "--rotate : « 45 » n'est pas un quart de tour (90, 180 ou 270)";
    QTest::newRow("mirrored across") << QStringList {"--flip", "x", "a.png"}
                                     << "--flip : « x » inconnu (h ou v)";
    QTest::newRow("fit mode without a fit")
        << QStringList {"--fit-mode", "cover", "a.png"} << "--fit-mode ne s'emploie qu'avec --fit";
    QTest::newRow("enlarged without a fit")
        << QStringList {"--upscale", "a.png"} << "--upscale ne s'emploie qu'avec --fit";
    QTest::newRow("unknown fit mode") << QStringList {"--fit", "9x9", "--fit-mode", "fill", "a.png"}
                                      << "--fit-mode : « fill » inconnu (contain, cover ou stretch)";
    QTest::newRow("gravity to nothing") << QStringList {"--fit", "9x9", "--gravity", "north", "a.png"}
                                        << "--gravity ne s'emploie qu'avec --fit-mode cover ou --canvas";
    QTest::newRow("unknown gravity") << QStringList {"--canvas", "9x9", "--gravity", "up", "a.png"}
                                     << "--gravity : « up » inconnue (center, north, south, east, west, "
                                        "north-east, north-west, south-east "
                                        "ou south-west)";
    QTest::newRow("canvas of no size")
        << QStringList {"--canvas", "9x0", "a.png"}
        << "--canvas : « 9x0 » n'est pas une taille LARGEURxHAUTEUR (par exemple 320x240)";
    QTest::newRow("threshold below 0") << QStringList {"--format", "xbm", "--threshold=-1", "a.png"}
                                       << "--threshold : « -1 » n'est pas un seuil de 0 à 255";
    QTest::newRow("invert in colour")
        << QStringList {"--format", "rgb565", "--invert", "a.png"}
        << "--invert ne s'emploie qu'avec --format mono, xbm, pages, gray8, gray4, gray2 ou lvgl";
    QTest::newRow("invert on a black, white and red panel")
        << QStringList {"--format", "epd-bw-red", "--invert", "a.png"}
        << "--invert ne s'emploie qu'avec --format mono, xbm, pages, gray8, gray4, gray2 ou lvgl";
    QTest::newRow("threshold with four greys")
        << QStringList {"--format", "gray2", "--threshold", "100", "a.png"}
        << "--threshold ne s'emploie qu'avec --format mono, xbm, pages ou lvgl";
    QTest::newRow("palette of a grey format")
        << QStringList {"--format", "gray4", "--palette", "p.gpl", "a.png"}
        << "--palette ne s'emploie qu'avec --format index4 ou index8";
    QTest::newRow("palette of the ACeP panels")
        << QStringList {"--format", "epd7", "--palette", "p.gpl", "a.png"}
        << "--palette ne s'emploie qu'avec --format index4 ou index8";
    QTest::newRow("palette missing") << QStringList {"--format", "index4", "--palette", "/nonexistent/p.gpl",
                                                     "a.png"}
                                     << "--palette : /nonexistent/p.gpl : fichier introuvable";
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
    // Two pictures' headers may not define one name, derived names included.
    const QString clash
        = "les en-têtes de %1 et de %2 définiraient tous deux « %3 » : renommez l'un des fichiers";
    QTest::newRow("one name from two files")
        << QStringList {"a.png", "sub/a.jpg"} << clash.arg("a.png", "sub/a.jpg", "a");
    QTest::newRow("one name from two spellings") << QStringList {"my icon.png", "b.png", "my_icon.png"}
                                                 << clash.arg("my icon.png", "my_icon.png", "my_icon");
    QTest::newRow("a size macro") << QStringList {"logo.png", "logo_width.png"}
                                  << clash.arg("logo.png", "logo_width.png", "logo_width");
    for (const char *suffix : {"_palette", "_mask", "_map", "_transparent"})
        QTest::newRow(suffix) << QStringList {"pic" + QString(suffix) + ".png", "pic.png"}
                              << clash.arg("pic" + QString(suffix) + ".png", "pic.png",
                                           "pic" + QString(suffix));
    QTest::newRow("a name after a keyword")
        << QStringList {"int.png"}
        << "int.png : le nom « int » est un mot réservé du C ou du C++ ; renommez le fichier ou nommez son "
           "tableau avec --name";
    const QString builtIn
        = "le nom « %1 » est celui d'une fonction de la bibliothèque C que le compilateur connaît";
    for (const char *function :
         {"memcpy", "abs", "malloc", "exit", "sin", "sqrtf", "index", "rindex", "bzero", "isascii", "toascii",
          "gettext", "strdup", "ffs", "alloca", "cabsf"})
        QTest::newRow(function) << QStringList {"-n", function, "a.png"}
                                << "--name : " + builtIn.arg(function);
    QTest::newRow("a name after a built-in") << QStringList {"printf.png"}
                                             << "printf.png : " + builtIn.arg("printf")
            + " ; renommez le fichier ou nommez son tableau avec --name";
    QTest::newRow("the headers' own macros")
        << QStringList {"-n", "QUILLON_PROGMEM", "a.png"}
        << "--name : le nom « QUILLON_PROGMEM » commence par QUILLON_, comme les macros des en-têtes";
    const QString lvglName = "--name : le nom « %1 » est de ceux que définit lvgl.h, que l'en-tête inclut";
    for (const char *name : {"NULL", "LVGL_H", "LVGL_VERSION_MAJOR"})
        QTest::newRow(name) << QStringList {"--format", "lvgl", "-n", name, "a.png"} << lvglName.arg(name);
    const QString avrName
        = "--name : le nom « OCR1A » est de ceux que définit <avr/io.h>, que l'en-tête inclut";
    QTest::newRow("a register with digits") << QStringList {"--progmem", "-n", "OCR1A", "a.png"} << avrName;
    QTest::newRow("a register, mono in flash")
        << QStringList {"--format", "mono", "-n", "OCR1A", "a.png"} << avrName;
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

void TestCli::namesAndPlacesArrays_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("declared"); // in the header; empty: refused as too large for --progmem
    const auto row
        = [](const char *name, const QStringList &options, const QString &file, const QString &declared,
             QSize size = QSize(5, 3)) { QTest::newRow(name) << options << file << size << declared; };
    // After the picture's file, by the CMake function's rule.
    row("plain", {}, "photo.png", "const unsigned char photo[");
    row("a space", {}, "my icon.png", "const unsigned char my_icon[");
    row("a dash, a JPEG", {}, "splash-screen.jpg", "const unsigned char splash_screen[");
    row("two dots", {}, "my.logo.png", "const unsigned char my_logo[");
    row("a leading digit", {}, "8x8.png", "const unsigned char _8x8[");
    row("a leading 0", {}, "0start.png", "const unsigned char _0start[");
    row("a leading 9", {}, "9lives.png", "const unsigned char _9lives[");
    row("no extension", {}, "logo", "const unsigned char logo[");
    row("not ASCII: a _ a byte", {}, "café.png", "const unsigned char caf__[");
    row("--name", {"-n", "splash"}, "my icon.png", "const unsigned char splash[");
    // Names of <avr/io.h> and lvgl.h where these are not included.
    row("a register's name, pages", {"--format", "pages", "-n", "OCR1A"}, "a.png", "const uint8_t OCR1A[");
    row("LVGL_H without LVGL", {"--format", "gray4", "-n", "LVGL_H"}, "a.png", "const uint8_t LVGL_H[");
    // avr-gcc takes arrays of 32,767 bytes at most: 151 x 217 grey bytes, not 256 x 128. In
    // flash on AVR by default, but checked only when asked: other chips take larger arrays.
    const QStringList grey = {"--progmem", "--format", "gray8"};
    row("gray8, 32,767 bytes", grey, "grey.png",
        "static const uint8_t grey[32767] QUILLON_PROGMEM = ", QSize(151, 217));
    row("gray8, 32,768 bytes", grey, "grey.png", "", QSize(256, 128));
    row("split, 32,768 bytes", grey + QStringList {"--split"}, "grey.png", "", QSize(256, 128));
    row("gray8 without --progmem, 32,768 bytes", {"--format", "gray8"}, "grey.png",
        "static const uint8_t grey[32768] QUILLON_PROGMEM = ", QSize(256, 128));
}

void TestCli::namesAndPlacesArrays()
{
    QFETCH(QStringList, options);
    QFETCH(QString, file);
    QFETCH(QSize, size);
    QFETCH(QString, declared);
    savePicture(patternPicture(size.width(), size.height()), path(file),
                file.endsWith(".jpg") ? "JPEG" : "PNG");
    const Run run = quillonConvert(options + QStringList {"-o", path("command"), path(file)});
    if (declared.isEmpty()) {
        QCOMPARE(run.err,
                 "quillon-convert: " + path(file)
                     + " : image trop grande pour --progmem : le tableau ferait 32768 octets, avr-gcc en "
                       "accepte 32 767 au plus (environ 128 x 127 pixels)\n");
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(entryNames(path("command")), QStringList());
        return;
    }
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QByteArray header = readFile(path("command/" + outputBaseName(file) + ".h"));
    // One array, whatever brackets the drawing lines of the comment hold.
    const QString code = QString::fromUtf8(header).remove(
        QRegularExpression("^//[^\n]*\n", QRegularExpression::MultilineOption));
    QVERIFY2(header.contains(declared.toUtf8()) && code.count('[') == 1, header.constData());
}

void TestCli::helpsAndTellsItsVersion()
{
    for (const char *option : {"--help", "-h"}) {
        const Run help = quillonConvert({option, "ignored.png"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith("Utilisation : quillon-convert [OPTION]... IMAGE...\n"));
        // Every option is told, and the exit codes close the text.
        for (const char *described : {"-o, --output=DOSSIER", "-f, --force", "-n, --name=NOM", "--progmem",
                                      "--split", "--format=FORMAT", "--swap-bytes", "--fit=LxH", "--dither",
                                      "--background=COULEUR", "--preview", "--threshold=N", "--invert",
                                      "--alpha=mask", "--transparent=COULEUR", "-h, --help", "-V, --version"})
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

    // SPLIT: each array defined once, in its own C file, and declared in two files of the program.
    const QString splitBuild = path("split");
    QVERIFY(run({cmake, "-S", QUILLON_TEST_PROJECT, "-B", splitBuild, "-DCMAKE_PREFIX_PATH=" + prefix,
                 "-DPICTURE_FOLDER=" + path("pictures"), "-DSPLIT_PICTURES=ON"}));
    QVERIFY(run({cmake, "--build", splitBuild}, &output));
    QVERIFY(QFileInfo::exists(splitBuild + "/generated/my.logo.c"));
    QProcess splitDump;
    splitDump.start(splitBuild + "/dump", QStringList());
    QVERIFY(splitDump.waitForFinished());
    QCOMPARE(splitDump.exitCode(), 0);
    QCOMPARE(splitDump.readAllStandardOutput(), expected());

    // The firmware examples as a fresh clone holds them, each built with its README's commands.
    // That the Uno's links shows both arrays in flash: their 16 KB would overflow its 2 KB of RAM.
    if (QStandardPaths::findExecutable("avr-gcc").isEmpty())
        QSKIP("avr-gcc (Debian package gcc-avr) is not installed");
    const QString examples = QUILLON_FIRMWARE_PROJECT "/..";
    QProcess git;
    git.start("git", {"-C", examples, "ls-files", "-z", "project", "ssd1306"});
    git.waitForFinished();
    const QList<QByteArray> files = git.readAllStandardOutput().split('\0');
    if (git.exitCode() != 0 || files.size() < 2)
        QSKIP("the examples are not in a git work tree");
    for (const QByteArray &file : files) {
        const QString name = QString::fromUtf8(file);
        QVERIFY(name.isEmpty() || QDir().mkpath(QFileInfo(path("examples/" + name)).path()));
        QVERIFY(name.isEmpty() || QFile::copy(examples + "/" + name, path("examples/" + name)));
    }
    const auto readme = [&](const QString &example, const QString &toolchain) {
        const QString commands = "cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=" + toolchain
            + " -DCMAKE_PREFIX_PATH=\"$0\" && cmake --build build";
        return run({"/bin/sh", "-c", "cd '" + path("examples/" + example) + "' && " + commands, prefix},
                   &output);
    };
    QVERIFY(readme("project", "avr-atmega328p.cmake"));
    QVERIFY(output.contains("(array splash_screen)"));
    QVERIFY(QFileInfo::exists(path("examples/project/build/firmware")));

    // The SSD1306 example: a 200 x 90 logo fitted to 128 x 57, in eight pages of 128 columns.
    QVERIFY(readme("ssd1306", "../project/avr-atmega328p.cmake"));
    const QString oled = path("examples/ssd1306");
    QVERIFY(QFileInfo::exists(oled + "/build/ssd1306_logo"));
    const QByteArray header = readFile(oled + "/build/pictures/logo.h");
    QVERIFY2(header.contains("#define logo_width 128\n#define logo_height 57\n"), header.constData());
    QVERIFY(header.contains("static const uint8_t logo[1024] QUILLON_PROGMEM = "));
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
    // With the alpha kept apart, each pixel keeps its own colour, scaled or not.
    QTest::newRow("nearly transparent, mask kept")
        << QStringList {"--alpha", "mask"} << filled(qRgba(200, 100, 40, 1), 3, 2)
        << filled(qRgb(200, 100, 40), 3, 2) << false;
    QTest::newRow("nearly transparent, mask kept, fitted")
        << QStringList {"--alpha", "mask", "--fit", "3x2"} << filled(qRgba(200, 100, 40, 3), 6, 4)
        << filled(qRgb(200, 100, 40), 3, 2) << false;
    QTest::newRow("translucent, mask kept, on blue")
        << QStringList {"--alpha", "mask", "--background", "#0000ff"} << filled(qRgba(255, 0, 0, 200), 3, 2)
        << filled(qRgb(200, 0, 55), 3, 2) << false;
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

namespace {

// The pixel of `picture` that lands at (x, y) once turned `quarterTurns` times clockwise.
QRgb turnedPixel(const QImage &picture, int quarterTurns, int x, int y)
{
    const int w = picture.width(), h = picture.height();
    switch (quarterTurns % 4) {
    case 1:
        return picture.pixel(y, h - 1 - x);
    case 2:
        return picture.pixel(w - 1 - x, h - 1 - y);
    case 3:
        return picture.pixel(w - 1 - y, x);
    default:
        return picture.pixel(x, y);
    }
}

QImage turned(const QImage &picture, int quarterTurns)
{
    const QSize size = quarterTurns % 2 ? picture.size().transposed() : picture.size();
    QImage result(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            result.setPixel(x, y, turnedPixel(picture, quarterTurns, x, y));
    return result;
}

QImage mirroredBy(const QImage &picture, bool horizontally, bool vertically)
{
    QImage result(picture.size(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            result.setPixel(x, y,
                            picture.pixel(horizontally ? picture.width() - 1 - x : x,
                                          vertically ? picture.height() - 1 - y : y));
    return result;
}

// `picture` on a black picture of `size`, its top left corner at `at`.
QImage onBlack(const QImage &picture, QSize size, QPoint at)
{
    QImage result(size, QImage::Format_RGB32);
    result.fill(qRgb(0, 0, 0));
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (picture.rect().contains(x - at.x(), y - at.y()))
                result.setPixel(x, y, picture.pixel(x - at.x(), y - at.y()));
    return result;
}

QImage smooth(const QImage &picture, QSize size)
{
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

void TestCli::shapesPicturesForTheScreen_data()
{
    QTest::addColumn<QImage>("source");
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<QImage>("expected");
    // 7 x 5 and 40 x 20, every pixel of its own colour: a pixel out of place shows.
    const QImage small = patternPicture(7, 5).convertToFormat(QImage::Format_RGB32);
    const QImage wide = patternPicture(40, 20).convertToFormat(QImage::Format_RGB32);
    const auto with = [](const std::function<void(DisplayOptions &)> &set) {
        DisplayOptions options;
        set(options);
        return options;
    };
    QTest::newRow("cut") << small << with([](DisplayOptions &o) { o.crop = QRect(2, 1, 3, 4); })
                         << small.copy(2, 1, 3, 4);
    QTest::newRow("cut one pixel too wide")
        << small << with([](DisplayOptions &o) { o.crop = QRect(1, 0, 7, 5); }) << QImage();
    QTest::newRow("cut one pixel too low")
        << small << with([](DisplayOptions &o) { o.crop = QRect(0, 1, 7, 5); }) << QImage();
    QTest::newRow("cut at the corner, whole width")
        << small << with([](DisplayOptions &o) { o.crop = QRect(0, 4, 7, 1); }) << small.copy(0, 4, 7, 1);
    for (int turns = 1; turns < 4; ++turns)
        QTest::addRow("turned %d degrees", turns * 90)
            << small << with([turns](DisplayOptions &o) { o.rotation = turns * 90; }) << turned(small, turns);
    QTest::newRow("mirrored left to right")
        << small << with([](DisplayOptions &o) { o.flipHorizontal = true; })
        << mirroredBy(small, true, false);
    QTest::newRow("mirrored top to bottom")
        << small << with([](DisplayOptions &o) { o.flipVertical = true; }) << mirroredBy(small, false, true);
    QTest::newRow("cut, then turned, then mirrored") << small << with([](DisplayOptions &o) {
        o.crop = QRect(1, 0, 5, 4);
        o.rotation = 90;
        o.flipVertical = true;
    }) << mirroredBy(turned(small.copy(1, 0, 5, 4), 1), false, true);
    QTest::newRow("stretched") << wide << with([](DisplayOptions &o) {
        o.fit = QSize(10, 10);
        o.fitMode = FitMode::Stretch;
    }) << smooth(wide, QSize(10, 10));
    QTest::newRow("covering, the middle kept") << wide << with([](DisplayOptions &o) {
        o.fit = QSize(10, 10);
        o.fitMode = FitMode::Cover;
    }) << smooth(wide, QSize(20, 10)).copy(5, 0, 10, 10);
    QTest::newRow("covering, the east kept") << wide << with([](DisplayOptions &o) {
        o.fit = QSize(10, 10);
        o.fitMode = FitMode::Cover;
        o.gravity = Qt::AlignRight | Qt::AlignVCenter;
    }) << smooth(wide, QSize(20, 10)).copy(10, 0, 10, 10);
    QTest::newRow("covering a taller box, the north-west kept") << wide << with([](DisplayOptions &o) {
        o.fit = QSize(9, 16);
        o.fitMode = FitMode::Cover;
        o.gravity = Qt::AlignLeft | Qt::AlignTop;
    }) << smooth(wide, QSize(32, 16)).copy(0, 0, 9, 16);
    QTest::newRow("covering, never enlarged: only cut") << small << with([](DisplayOptions &o) {
        o.fit = QSize(5, 9);
        o.fitMode = FitMode::Cover;
    }) << small.copy(1, 0, 5, 5);
    // 7 x 5 covering 14 x 14: 19.6 x 14, its width cut to 19 as fitting within cuts it.
    QTest::newRow("covering, enlarged") << small << with([](DisplayOptions &o) {
        o.fit = QSize(14, 14);
        o.fitMode = FitMode::Cover;
        o.upscale = true;
    }) << smooth(small, QSize(19, 14)).copy(2, 0, 14, 14);
    QTest::newRow("contained, never enlarged")
        << small << with([](DisplayOptions &o) { o.fit = QSize(70, 70); }) << small;
    QTest::newRow("contained, enlarged") << small << with([](DisplayOptions &o) {
        o.fit = QSize(70, 70);
        o.upscale = true;
    }) << smooth(small, QSize(70, 50));
    QTest::newRow("on a canvas, centred") << small << with([](DisplayOptions &o) { o.canvas = QSize(12, 8); })
                                          << onBlack(small, QSize(12, 8), QPoint(2, 1));
    QTest::newRow("on a canvas, south-east") << small << with([](DisplayOptions &o) {
        o.canvas = QSize(12, 8);
        o.gravity = Qt::AlignRight | Qt::AlignBottom;
    }) << onBlack(small, QSize(12, 8), QPoint(5, 3));
    QTest::newRow("on a smaller canvas, cut around the middle")
        << small << with([](DisplayOptions &o) { o.canvas = QSize(4, 3); }) << small.copy(1, 1, 4, 3);
    QTest::newRow("turned, fitted, then on a canvas") << wide << with([](DisplayOptions &o) {
        o.rotation = 270;
        o.fit = QSize(10, 10);
        o.canvas = QSize(16, 12);
    }) << onBlack(smooth(turned(wide, 3), QSize(5, 10)), QSize(16, 12), QPoint(5, 1));
}

void TestCli::shapesPicturesForTheScreen()
{
    QFETCH(QImage, source);
    QFETCH(DisplayOptions, options);
    QFETCH(QImage, expected);
    if (expected.isNull()) { // a rectangle that leaves the picture
        QVERIFY(geometryProblem(source.size(), options).contains("sort de l'image"));
        return;
    }
    QCOMPARE(geometryProblem(source.size(), options), QString());
    const QImage shaped = preparePicture(source, options).colours.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shaped.size(), expected.size());
    QCOMPARE(shaped, expected);
}

void TestCli::decodesPhotosAsSmallAsTheirShapeAllows_data()
{
    QTest::addColumn<DisplayOptions>("options");
    QTest::addColumn<QSize>("decoded"); // of a 1600 x 800 JPEG
    const auto with = [](const std::function<void(DisplayOptions &)> &set) {
        DisplayOptions options;
        set(options);
        return options;
    };
    // Covering 100 x 100 takes 200 x 100: 1/4 is the smallest scale at least twice as large.
    QTest::newRow("covering") << with([](DisplayOptions &o) {
        o.fit = QSize(100, 100);
        o.fitMode = FitMode::Cover;
    }) << QSize(400, 200);
    QTest::newRow("stretched") << with([](DisplayOptions &o) {
        o.fit = QSize(100, 40);
        o.fitMode = FitMode::Stretch;
    }) << QSize(200, 100);
    // Turned, 50 x 100 takes 100 x 50 of the picture as it is stored: 1/8.
    QTest::newRow("turned") << with([](DisplayOptions &o) {
        o.rotation = 90;
        o.fit = QSize(50, 100);
    }) << QSize(200, 100);
    QTest::newRow("cut: decoded whole") << with([](DisplayOptions &o) {
        o.crop = QRect(0, 0, 800, 800);
        o.fit = QSize(50, 50);
    }) << QSize(1600, 800);
    QTest::newRow("enlarged: decoded whole") << with([](DisplayOptions &o) {
        o.fit = QSize(3200, 3200);
        o.upscale = true;
    }) << QSize(1600, 800);
}

void TestCli::decodesPhotosAsSmallAsTheirShapeAllows()
{
    QFETCH(DisplayOptions, options);
    QFETCH(QSize, decoded);
    savePicture(patternPicture(1600, 800), path("photo.jpg"), "JPEG");
    const DecodedPicture picture = decodePicture(path("photo.jpg"), options);
    QCOMPARE(picture.status, DecodedPicture::Decoded);
    QCOMPARE(picture.image.size(), decoded);
    QCOMPARE(picture.fullSize, QSize(1600, 800));
}

void TestCli::preparesPicturesForTheDisplay()
{
    QFETCH(QStringList, options);
    QFETCH(QImage, picture);
    QFETCH(QImage, shownBeforeTheCut);
    QFETCH(bool, swapped);
    savePicture(picture, path("picture.png"), "PNG");

    const Run run = quillonConvert(
        QStringList {"--format", "rgb565", "-n", "_pic", "--preview", "--bmp", "-o", path("command")}
        + options + QStringList {path("picture.png")});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(readFile(path("command/picture.h")));
    const QVector<quint32> values = parseArrays(text).value("_pic").values;
    const int count = shownBeforeTheCut.width() * shownBeforeTheCut.height();
    // In AVR program memory with or without --progmem, through a guard that other chips skip.
    QCOMPARE(text.count("#include <avr/pgmspace.h>\n"), 1);
    QVERIFY(text.contains("#if defined(__AVR__)\n#include <avr/pgmspace.h>\n#define QUILLON_PROGMEM PROGMEM\n"
                          "#else\n#define QUILLON_PROGMEM\n#endif\n"));
    QVERIFY2(text.contains(QString("static const uint16_t _pic[%1] QUILLON_PROGMEM = \n{\n\t").arg(count)),
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
    QTest::newRow("4 greys") << QStringList {"--format", "gray2"} << 64 << 3.0 << 15.0;
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
    QTest::newRow("mono, threshold 255, spaces around")
        << QStringList {"--format", " mono", "--threshold", " 255 "} << picture;
    QTest::newRow("xbm, threshold 0, aligned with spaces around")
        << QStringList {"--format", "xbm", "--threshold=0", "--stride-align", "4 "} << picture;
    QTest::newRow("xbm") << QStringList {"--format", "xbm", "--threshold=200"} << picture;
    QTest::newRow("pages") << QStringList {"--format", "pages"} << picture;
    QTest::newRow("pages of 9 rows") << QStringList {"--format", "pages"} << picture.copy(0, 0, 5, 9);
    QTest::newRow("gray8") << QStringList {"--format", "gray8"} << picture;
    QTest::newRow("gray8, inverted") << QStringList {"--format", "gray8", "--invert"} << picture;
    QTest::newRow("gray4") << QStringList {"--format", "gray4", "--background", "white"} << picture;
    QTest::newRow("gray4, inverted") << QStringList {"--format", "gray4", "--invert"} << picture;
    // Four greys: rows of 13, 12, 14 and 16 pixels, on each side of multiples of 2, 4 and 8.
    QTest::newRow("gray2") << QStringList {"--format", "gray2"} << picture;
    QTest::newRow("gray2, inverted") << QStringList {"--format", "gray2", "--invert"} << picture;
    QTest::newRow("gray2, 12 pixels")
        << QStringList {"--format", "gray2", "--background", "white"} << picture.scaled(12, 5);
    QTest::newRow("gray2, 14 pixels, rows of 4 bytes")
        << QStringList {"--format", "gray2", "--stride-align", "4"} << picture.scaled(14, 6);
    QTest::newRow("gray2, 16 pixels, inverted")
        << QStringList {"--format", "gray2", "--invert"} << picture.scaled(16, 3);
    // Rows padded to a multiple of the alignment: on each side of a multiple of 8 pixels, and
    // 16-bit rows to a multiple of 2 bytes as well.
    QTest::newRow("gray4, 13 pixels, rows of 8 bytes")
        << QStringList {"--format", "gray4", "--stride-align", "8"} << picture;
    QTest::newRow("gray4, 14 pixels, rows of 4 bytes")
        << QStringList {"--format", "gray4", "--stride-align", "4"} << picture.scaled(14, 6);
    QTest::newRow("mono, 16 pixels, rows of 2 bytes, no padding")
        << QStringList {"--format", "mono", "--stride-align", "2"} << picture.scaled(16, 6);
    QTest::newRow("mono, 17 pixels, rows of 4 bytes")
        << QStringList {"--format", "mono", "--stride-align", "2"} << picture.scaled(17, 6);
    QTest::newRow("mono, aligned to 1024, the most")
        << QStringList {"--format", "mono", "--stride-align", "1024"} << picture.copy(0, 0, 13, 2);
    QTest::newRow("xbm, aligned to 3") << QStringList {"--format", "xbm", "--stride-align", "3"} << picture;
    QTest::newRow("pages, aligned to 4")
        << QStringList {"--format", "pages", "--stride-align", "4"} << picture;
    QTest::newRow("gray8, aligned to 16")
        << QStringList {"--format", "gray8", "--stride-align", "16"} << picture;
    QTest::newRow("index4, aligned to 4")
        << QStringList {"--format", "index4", "--stride-align", "4"} << picture;
    QTest::newRow("index8, aligned to 2")
        << QStringList {"--format", "index8", "--stride-align", "2"} << picture;
    QTest::newRow("rgb565 with a mask, aligned to 3")
        << QStringList {"--format", "rgb565", "--alpha", "mask", "--stride-align", "3"} << picture;
    QTest::newRow("index4, few colours") << QStringList {"--format", "index4"} << picture.copy(0, 0, 3, 4);
    QTest::newRow("index4, many colours") << QStringList {"--format", "index4"} << picture;
    QTest::newRow("index4, 16 colours, as many as it holds")
        << QStringList {"--format", "index4"} << picture.copy(0, 0, 4, 4);
    QTest::newRow("index8, swapped") << QStringList {"--format", "index8", "--swap-bytes"} << picture;
    // Red on each side of the mask's limit, 16 pixels: rows of exactly 2 bytes.
    QImage halfway(16, 2, QImage::Format_ARGB32);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 2; ++y)
            halfway.setPixel(x, y, qRgba(255, 0, 0, QVector<int> {127, 128, 129, 255}[(x + y) % 4]));
    QTest::newRow("rgb565 with a mask, alpha 127 to 129, 16 pixels")
        << QStringList {"--format", "rgb565", "--alpha", "mask"} << halfway;
    QTest::newRow("mono, 16 pixels") << QStringList {"--format", "mono"} << picture.scaled(16, 2);
    QTest::newRow("xbm, 16 pixels") << QStringList {"--format", "xbm"} << picture.scaled(16, 2);
    // Pure green as the key: an opaque pure green goes one step of green down, not into red.
    QImage green = patternPicture(5, 3, true);
    green.setPixel(4, 0, qRgb(0, 255, 0));
    // Half green (0x1f of 0x3f) as the key: an opaque pixel of it goes one step up.
    QImage halfGreen = patternPicture(5, 3, true);
    halfGreen.setPixel(4, 0, qRgb(0, 0x7c, 0));
    QTest::newRow("rgb565 with half green as the key, the picture has it")
        << QStringList {"--format", "rgb565", "--transparent", "#007c00"} << halfGreen;
    QTest::newRow("rgb565 with pure green as the key, the picture has it")
        << QStringList {"--format", "rgb565", "--transparent", "#00ff00"} << green;
    // 17 colours in 16 entries: pure blue stays pure, rounded, not cut, in its box.
    QImage seventeen(17, 1, QImage::Format_RGB32);
    for (int x = 0; x < 16; ++x)
        seventeen.setPixel(x, 0, qRgb(x * 16, 255 - x * 16, x % 2 ? 255 : 0));
    seventeen.setPixel(16, 0, qRgb(0, 0, 255));
    QTest::newRow("index4, 17 colours") << QStringList {"--format", "index4"} << seventeen;
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
    const Run run = quillonConvert(QStringList {"-n", "pic", "--preview", "--bmp", "-o", path("command")}
                                   + options + QStringList {path("pic.png")});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(readFile(path("command/pic.h")));
    const QHash<QString, HeaderArray> arrays = parseArrays(text);
    const QString format = options[options.indexOf("--format") + 1].trimmed();
    const int w = picture.width(), h = picture.height();
    QCOMPARE(sizeMacros(text, "pic"), picture.size());
    QVERIFY(text.contains("#include <stdint.h>\n"));
    for (const HeaderArray &array : arrays)
        QCOMPARE(array.values.size(), array.size);

    // The pixels as the options make them: transparent ones onto the background, in colour.
    const QColor background(options.contains("--background") ? options[options.indexOf("--background") + 1]
                                                             : "");
    // A 5-6-5 picture with a mask or a key colour keeps each pixel's own colour.
    const bool keepsAlpha = options.contains("--transparent") || options.contains("mask");
    const auto colourAt = [&](int x, int y) {
        const QRgb p = picture.pixel(x, y);
        if (!background.isValid()) // each pixel's own colour, or as the window shows it
            return (keepsAlpha ? p : qUnpremultiply(qPremultiply(p))) | 0xff000000;
        const QRgb pm = qPremultiply(p);
        const int through = 255 - qAlpha(p);
        const auto mix = [&](int own, int back) { return own + (back * through + 127) / 255; };
        return qRgb(mix(qRed(pm), background.red()), mix(qGreen(pm), background.green()),
                    mix(qBlue(pm), background.blue()));
    };
    const bool invert = options.contains("--invert");
    // Rows padded with zeros to a multiple of --stride-align bytes (and of 2 for 16-bit values).
    const int align
        = options.contains("--stride-align") ? options[options.indexOf("--stride-align") + 1].toInt() : 1;
    const auto strideOf = [&](int rowBytes, int unit = 1) {
        const int multiple = std::lcm(align, unit);
        return (rowBytes + multiple - 1) / multiple * multiple;
    };
    const auto checkPadding = [&](const QString &name, int rowBytes, int rows, int unit = 1) {
        const QVector<quint32> &values = arrays.value(name).values;
        const int stride = strideOf(rowBytes, unit) / unit;
        QCOMPARE(values.size(), stride * rows);
        for (int y = 0; y < rows; ++y)
            for (int x = rowBytes / unit; x < stride; ++x)
                QCOMPARE(values[y * stride + x], 0u);
        if (align > 1)
            QVERIFY2(text.contains(QString("#define %1_stride %2\n").arg(name).arg(stride * unit)),
                     qPrintable(text));
        else
            QVERIFY(!text.contains("_stride"));
    };
    // --threshold N or --threshold=N
    const QString thresholdOption = options.filter("--threshold").value(0);
    const int threshold = thresholdOption.isEmpty() ? 128
        : thresholdOption.contains('=')             ? thresholdOption.section('=', 1).toInt()
                                                    : options[options.indexOf(thresholdOption) + 1].toInt();
    QImage display(w, h, QImage::Format_RGB32);
    const HeaderArray &pixels = arrays.value("pic");
    int exactEntries = 0; // palette pictures: pixels whose entry is their own colour
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb colour = colourAt(x, y);
            const int level = luma(colour);
            bool lit = level >= threshold;
            int stored = 0;
            if (format == "mono" || format == "xbm" || format == "pages") {
                const int bit = format == "mono"
                    ? int(pixels.values[y * strideOf((w + 7) / 8) + x / 8] >> (7 - x % 8) & 1)
                    : format == "xbm" ? int(pixels.values[y * strideOf((w + 7) / 8) + x / 8] >> (x % 8) & 1)
                                      : int(pixels.values[(y / 8) * strideOf(w) + x] >> (y % 8) & 1);
                QCOMPARE(bit, int(lit != invert));
                display.setPixel(x, y, bit ? qRgb(255, 255, 255) : qRgb(0, 0, 0)); // 1: lit, white
            } else if (format == "gray8") {
                stored = int(pixels.values[y * strideOf(w) + x]);
                QCOMPARE(stored, invert ? 255 - level : level);
                display.setPixel(x, y, qRgb(stored, stored, stored));
            } else if (format == "gray4") {
                stored = int(pixels.values[y * strideOf((w + 1) / 2) + x / 2] >> (x % 2 ? 0 : 4) & 0xf);
                QCOMPARE(stored, invert ? 15 - (level * 15 + 127) / 255 : (level * 15 + 127) / 255);
                display.setPixel(x, y, qRgb(stored * 17, stored * 17, stored * 17));
            } else if (format == "gray2") {
                const int rowStart = y * strideOf((w + 3) / 4);
                stored = int(pixels.values[rowStart + x / 4] >> (6 - 2 * (x % 4)) & 3);
                QCOMPARE(stored, invert ? 3 - (level * 3 + 127) / 255 : (level * 3 + 127) / 255);
                display.setPixel(x, y, qRgb(stored * 85, stored * 85, stored * 85));
                if (x == w - 1) // the rest of the last byte is 0
                    QCOMPARE(pixels.values[rowStart + x / 4] & (0xffu >> (2 + 2 * (x % 4))), 0u);
            } else if (format.startsWith("index")) {
                const int index = format == "index8"
                    ? int(pixels.values[y * strideOf(w) + x])
                    : int(pixels.values[y * strideOf((w + 1) / 2) + x / 2] >> (x % 2 ? 0 : 4) & 0xf);
                quint16 entry = quint16(arrays.value("pic_palette").values[index]);
                if (options.contains("--swap-bytes"))
                    entry = quint16(entry << 8 | entry >> 8);
                // Few colours are kept exactly; many, within a palette's reach.
                const quint16 exact = rgb565(colour);
                if (w * h <= 16)
                    QCOMPARE(entry, exact);
                exactEntries += entry == exact ? 1 : 0;
                const QRgb got = shown(entry), want = shown(exact);
                QVERIFY2(qAbs(qRed(got) - qRed(want)) + qAbs(qGreen(got) - qGreen(want))
                                 + qAbs(qBlue(got) - qBlue(want))
                             < (format == "index8" ? 40 : 200),
                         qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
                display.setPixel(x, y, got);
            } else { // rgb565
                const bool opaque = qAlpha(picture.pixel(x, y)) >= 128;
                const quint16 value = quint16(pixels.values[y * strideOf(2 * w, 2) / 2 + x]);
                if (options.contains("--transparent")) {
                    const quint16 key = rgb565(QColor(options.last()).rgb());
                    const quint16 own = rgb565(colour);
                    const quint16 stepped = quint16((key >> 5 & 0x3f) == 0x3f ? key - 0x20 : key + 0x20);
                    QCOMPARE(value, !opaque ? key : own == key ? stepped : own);
                } else {
                    QCOMPARE(value, rgb565(colour));
                    const quint32 maskByte
                        = arrays.value("pic_mask").values[y * strideOf((w + 7) / 8) + x / 8];
                    QCOMPARE(int(maskByte >> (7 - x % 8) & 1), int(opaque));
                }
                display.setPixel(x, y, shown(value));
            }
        }
    }
    if (format == "mono" || format == "xbm")
        checkPadding("pic", (w + 7) / 8, h);
    else if (format == "pages")
        checkPadding("pic", w, (h + 7) / 8);
    else if (format == "gray8" || format == "index8")
        checkPadding("pic", w, h);
    else if (format == "gray4" || format == "index4")
        checkPadding("pic", (w + 1) / 2, h);
    else if (format == "gray2")
        checkPadding("pic", (w + 3) / 4, h);
    else if (format == "rgb565")
        checkPadding("pic", 2 * w, h, 2);
    if (options.contains("mask"))
        checkPadding("pic_mask", (w + 7) / 8, h);

    // One colour more than the palette holds: all but the two that share an entry kept exactly.
    if (format == "index4" && w * h == 17)
        QVERIFY2(exactEntries >= 15, qPrintable(QString::number(exactEntries)));
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
        || format == "xbm" || format == "gray4" || format == "gray8" || format == "gray2") {
        QCOMPARE(QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32), display);
        QCOMPARE(readFile(path("command/pic16bits.BMP")), expectedBmp(display));
    }
}

void TestCli::drawsAsItsCommentSays_data()
{
    QTest::addColumn<QStringList>("options");
    const auto row = [](const char *name, const QStringList &options) { QTest::newRow(name) << options; };
    row("mono", {"--format", "mono"});
    row("mono in flash", {"--format", "mono", "--progmem"});
    row("xbm", {"--format", "xbm"});
    row("xbm in flash", {"--format", "xbm", "--progmem"});
    row("pages, narrower than the display", {"--format", "pages"});
    row("pages in flash", {"--format", "pages", "--progmem"});
    row("gray8", {"--format", "gray8"});
    row("gray8 in flash", {"--format", "gray8", "--progmem"});
    row("gray4", {"--format", "gray4"});
    row("gray4 in flash", {"--format", "gray4", "--progmem"});
    row("index4", {"--format", "index4"});
    row("index4, swapped", {"--format", "index4", "--swap-bytes"});
    row("index8", {"--format", "index8"});
    row("index8, swapped", {"--format", "index8", "--swap-bytes"});
    row("rgb565", {"--format", "rgb565"});
    row("rgb565 in flash", {"--format", "rgb565", "--progmem"});
    row("rgb565, swapped", {"--format", "rgb565", "--swap-bytes"});
    row("rgb565, key colour", {"--format", "rgb565", "--transparent", "#102030"});
    row("rgb565, key colour, swapped", {"--format", "rgb565", "--transparent", "#102030", "--swap-bytes"});
    row("rgb565, mask", {"--format", "rgb565", "--alpha", "mask"});
    row("rgb565, mask, swapped", {"--format", "rgb565", "--alpha", "mask", "--swap-bytes"});
    // Rows padded to 8 bytes: drawn one at a time.
    for (const char *format : {"mono", "xbm", "pages", "gray8", "gray4", "index4", "index8", "rgb565"})
        QTest::newRow(qPrintable(QString("%1, rows of 8 bytes").arg(format)))
            << QStringList {"--format", format, "--stride-align", "8"};
    row("pages in flash, rows of 8 bytes", {"--format", "pages", "--progmem", "--stride-align", "8"});
    row("pages, rows of 2 bytes", {"--format", "pages", "--stride-align", "2"});
    row("rgb565, key colour, rows of 8 bytes",
        {"--format", "rgb565", "--transparent", "#102030", "--stride-align", "8"});
    row("rgb565, mask, rows of 8 bytes", {"--format", "rgb565", "--alpha", "mask", "--stride-align", "8"});
}

// Each line a header's comment gives, compiled as it stands against a stand-in of its library,
// warnings as errors, and run: the picture lands on a 128 x 64 screen at (6, 8) as the preview
// shows it, and nothing else is drawn. The lines of AVR boards' libraries also run on a simulated
// ATmega2560, on a 48 x 24 screen, where the header places its arrays in flash, and for pages and
// gray4, whose arrays otherwise stay in RAM.
void TestCli::drawsAsItsCommentSays()
{
    QFETCH(QStringList, options);
    const QString cc = QStandardPaths::findExecutable("cc"), cxx = QStandardPaths::findExecutable("c++");
    if (cc.isEmpty() || cxx.isEmpty())
        QSKIP("no C or C++ compiler");
    const bool avr = !QStandardPaths::findExecutable("avr-g++").isEmpty()
        && !QStandardPaths::findExecutable("simavr").isEmpty();
    // 37 x 13, one page row and a part; its top right corner transparent.
    QImage picture(37, 13, QImage::Format_ARGB32);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 37; ++x)
            picture.setPixel(x, y, qRgba(x * 7, y * 19, (x * y * 5) % 256, x > 30 && y < 4 ? 0 : 255));
    savePicture(picture, path("pic.png"), "PNG");
    const Run run = quillonConvert(QStringList {"-n", "pic", "--preview", "-o", path("command")} + options
                                   + QStringList {path("pic.png")});
    QCOMPARE(run.exitCode, 0);
    const QString format = options[options.indexOf("--format") + 1];
    const QImage shown(path("command/pic16bits.png"));
    const bool colour = format == "rgb565" || format.startsWith("index");
    const bool keyed = options.contains("--transparent") || options.contains("--alpha");
    const auto expected = [&](int width, int height) {
        QVector<quint32> screen(width * height, 0);
        for (int y = 0; y < 13; ++y) {
            for (int x = 0; x < 37; ++x) {
                const QRgb pixel = shown.pixel(x, y);
                screen[(y + 8) * width + x + 6] = colour
                    ? (keyed && qAlpha(picture.pixel(x, y)) < 128) ? 0 : 0x10000 | rgb565(pixel)
                    : format == "gray8" ? qRed(pixel)
                    : format == "gray4" ? qRed(pixel) / 17
                                        : qRed(pixel) == 255;
            }
        }
        return screen;
    };

    const QString text = QString::fromUtf8(readFile(path("command/pic.h")));
    QRegularExpressionMatchIterator lines
        = QRegularExpression(
              "^// (Adafruit GFX|Adafruit_SSD1306|Adafruit_SSD1327|TFT_eSPI|u8g2|U8g2lib) : (.*)$",
              QRegularExpression::MultilineOption)
              .globalMatch(text);
    QVERIFY2(lines.hasNext(), qPrintable(text));
    while (lines.hasNext()) {
        const QRegularExpressionMatch line = lines.next();
        const QString library = line.captured(1), code = line.captured(2);
        const bool c = library == "u8g2", arduinoU8g2 = library == "U8g2lib";
        const QString size = "(STANDIN_WIDTH, STANDIN_HEIGHT)";
        const QString object = library == "Adafruit GFX"
            ? "Adafruit_GFX tft" + size + ", display" + size + ", canvas" + size + ";"
            : library == "TFT_eSPI" ? "TFT_eSPI tft;"
            : arduinoU8g2           ? "U8G2 u8g2;"
            : c                     ? ""
                                    : library + " display" + size + ";";
        const QString source = path(c ? "command/main.c" : "command/main.cpp");
        QString main = c
            ? "#include <u8g2.h>\n#include \"pic.h\"\nint main(void)\n{\n    u8g2_t u8g2;\n"
              "    standin_setup(&u8g2);\n    u8g2_uint_t x = 6, y = 8;\n"
            : QString("#include <%1>\n#include \"pic.h\"\n%2\nint main(void)\n{\n    int16_t x = 6, y = 8;\n")
                  .arg(arduinoU8g2 ? "U8g2lib.h" : "displays.h", object);
        main += "    (void)x, (void)y;\n    " + code + "\n    "
            + (c                 ? "standin_dump(&u8g2);"
                   : arduinoU8g2 ? "standin_dump(u8g2.getU8g2());"
                                 : "standin::dump();")
            + "\n    return 0;\n}\n";
        writeFile(source, main.toUtf8());
        const QStringList flags = {c ? "-std=c99" : "-std=c++11", "-Wall", "-Wextra",      "-Werror", "-I",
                                   QUILLON_DISPLAY_STANDINS,      "-I",    path("command")};
        const auto drawn = [&](const QStringList &build, const QStringList &start, int width, int height) {
            QProcess compiler;
            compiler.setProcessChannelMode(QProcess::MergedChannels);
            compiler.start(build.first(), build.mid(1));
            if (!compiler.waitForFinished(60000) || compiler.exitCode() != 0)
                return code + "\n" + compiler.readAll();
            QProcess program;
            program.setProcessChannelMode(QProcess::MergedChannels);
            program.start(start.first(), start.mid(1));
            program.waitForFinished(60000);
            // simavr colours each line of the serial output and ends it with a dot.
            QStringList values;
            for (QString row : QString::fromLatin1(program.readAll()).split('\n')) {
                row.remove(QRegularExpression("\\x1b\\[[0-9;]*m")).remove(QRegularExpression("\\.$"));
                const QStringList pixels = row.split(' ', Qt::SkipEmptyParts);
                if (pixels.size() == width)
                    values += pixels;
            }
            const QVector<quint32> wanted = expected(width, height);
            if (values.size() != wanted.size())
                return QString("%1\n%2 pixels instead of %3").arg(code).arg(values.size()).arg(wanted.size());
            for (int i = 0; i < wanted.size(); ++i) {
                const quint32 got = values[i].toUInt(nullptr, 16);
                if ((colour ? got : got & 0xffff) != wanted[i])
                    return QString("%1\npixel %2,%3 of %4 x %5: %6 instead of %7")
                        .arg(code)
                        .arg(i % width)
                        .arg(i / width)
                        .arg(width)
                        .arg(height)
                        .arg(got, 0, 16)
                        .arg(wanted[i], 0, 16);
            }
            return QString();
        };
        QString problem
            = drawn(QStringList {c ? cc : cxx} + flags + QStringList {"-o", path("command/main"), source},
                    {path("command/main")}, 128, 64);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        if (!avr || library == "TFT_eSPI"
            || !(text.contains("PROGMEM") || format == "pages" || format == "gray4"))
            continue;
        const QStringList chip = {"-mmcu=atmega2560", "-Os", "-DSTANDIN_WIDTH=48", "-DSTANDIN_HEIGHT=24"};
        QProcess board;
        board.start(
            "avr-gcc",
            chip + QStringList {"-c", FIRMWARE_TEST_DIR "/avr_board.c", "-o", path("command/board.o")});
        QVERIFY(board.waitForFinished(60000) && board.exitCode() == 0);
        problem = drawn(QStringList {c ? "avr-gcc" : "avr-g++"} + chip + flags
                            + QStringList {"-o", path("command/main.elf"), source, path("command/board.o")},
                        {"simavr", "-m", "atmega2560", "-f", "16000000", path("command/main.elf")}, 48, 24);
        QVERIFY2(problem.isEmpty(), qPrintable("ATmega2560: " + problem));
    }
}

namespace {

const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0), red = qRgb(255, 0, 0), green = qRgb(0, 255, 0),
           blue = qRgb(0, 0, 255), yellow = qRgb(255, 255, 0);

// The colours of a 7-colour ACeP panel by their codes, as Pimoroni measured them on its 5.65-inch
// panel (SATURATED_PALETTE of the Inky library): black, white, green, blue, red, yellow, orange.
const QVector<QRgb> acepColours
    = {qRgb(57, 48, 57),  qRgb(255, 255, 255), qRgb(58, 91, 70),  qRgb(61, 59, 94),
       qRgb(156, 72, 75), qRgb(208, 190, 71),  qRgb(177, 106, 73)};

// An e-paper picture read back from its arrays, by name, as the panel shows it: from the two
// planes, black where the black plane holds 0, the ink where the other does, white where both
// hold 1; from the ACeP codes, the panel's colour of each. Bits and nibbles beyond the width
// must be white, and no pixel both inks.
void readPanel(const QByteArray &format, const QHash<QByteArray, QByteArray> &arrays, QSize size,
               QImage *panel)
{
    const int w = size.width(), h = size.height();
    *panel = QImage(size, QImage::Format_RGB32);
    if (format == "epd7") {
        const QByteArray codes = arrays.value("pic");
        const int rowBytes = (w + 1) / 2;
        QCOMPARE(codes.size(), rowBytes * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < rowBytes * 2; ++x) {
                const int code = quint8(codes[y * rowBytes + x / 2]) >> (x % 2 ? 0 : 4) & 0xf;
                QVERIFY2(x < w ? code < 7 : code == 1,
                         qPrintable(QString("pixel %1,%2: %3").arg(x).arg(y).arg(code)));
                if (x < w)
                    panel->setPixel(x, y, acepColours[code]);
            }
        }
        return;
    }
    const QByteArray inkName = format.mid(7); // epd-bw-red, epd-bw-yellow
    const QByteArray blackPlane = arrays.value("pic_black"), inkPlane = arrays.value("pic_" + inkName);
    const int rowBytes = (w + 7) / 8;
    QCOMPARE(blackPlane.size(), rowBytes * h);
    QCOMPARE(inkPlane.size(), rowBytes * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < rowBytes * 8; ++x) {
            const int noBlack = quint8(blackPlane[y * rowBytes + x / 8]) >> (7 - x % 8) & 1;
            const int noInk = quint8(inkPlane[y * rowBytes + x / 8]) >> (7 - x % 8) & 1;
            QVERIFY2(noBlack || noInk, qPrintable(QString("pixel %1,%2 in both inks").arg(x).arg(y)));
            if (x >= w) {
                QVERIFY2(noBlack && noInk, qPrintable(QString("padding %1,%2 not white").arg(x).arg(y)));
                continue;
            }
            panel->setPixel(x, y, !noBlack ? black : !noInk ? (inkName == "red" ? red : yellow) : white);
        }
    }
}

// A picture of `sources`, one a pixel, in an order that changes along rows and columns.
QImage sourcesPicture(QSize size, const QVector<QRgb> &sources)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, sources[(x + 3 * y) % sources.size()]);
    return picture;
}

QHash<QByteArray, QByteArray> arraysOf(const CHeader &header)
{
    QHash<QByteArray, QByteArray> arrays;
    for (const CArray &array : header.arrays)
        arrays.insert(array.name, array.data);
    return arrays;
}

EncodedPicture encodeFor(const QByteArray &format, const QImage &picture, bool dither)
{
    EncodingOptions options;
    options.arrayName = "pic";
    options.dither = dither;
    PreparedPicture prepared;
    prepared.colours = picture;
    return findDisplayFormat(format)->encode(prepared, options);
}

} // namespace

void TestCli::encodesForEpaperPanels_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QVector<QRgb>>("sources");
    QTest::addColumn<QVector<QRgb>>("shown"); // the panel's colour for each source

    // White, black, red, near each of them, and what the panel has no ink for: dark blue and
    // green to black, yellow to white.
    const QVector<QRgb> forRed
        = {white, black, red, qRgb(240, 240, 235), qRgb(30, 20, 40), qRgb(200, 30, 30), blue, green, yellow};
    const QVector<QRgb> onRed = {white, black, red, white, black, red, black, black, white};
    // Rows of 13, 8, 16 and 17 pixels: on each side of whole bytes.
    QTest::newRow("black, white and red, 13 x 5")
        << QByteArray("epd-bw-red") << QSize(13, 5) << forRed << onRed;
    QTest::newRow("black, white and red, 8 x 3")
        << QByteArray("epd-bw-red") << QSize(8, 3) << forRed << onRed;
    QTest::newRow("black, white and red, 16 x 7")
        << QByteArray("epd-bw-red") << QSize(16, 7) << forRed << onRed;
    QTest::newRow("black, white and red, 17 x 2")
        << QByteArray("epd-bw-red") << QSize(17, 2) << forRed << onRed;
    // A colour as near white as black goes to the first of the panel's colours, white.
    QTest::newRow("a tie between white and black")
        << QByteArray("epd-bw-red") << QSize(3, 2) << QVector<QRgb> {qRgb(9, 158, 185)}
        << QVector<QRgb> {white};
    // Green is light enough to go to yellow; red is too dark for it.
    const QVector<QRgb> forYellow
        = {white, black, yellow, qRgb(250, 220, 20), green, red, blue, qRgb(200, 200, 200)};
    const QVector<QRgb> onYellow = {white, black, yellow, yellow, yellow, black, black, white};
    QTest::newRow("black, white and yellow, 9 x 4")
        << QByteArray("epd-bw-yellow") << QSize(9, 4) << forYellow << onYellow;
    QTest::newRow("black, white and yellow, 24 x 11")
        << QByteArray("epd-bw-yellow") << QSize(24, 11) << forYellow << onYellow;
    // The panel's own colours to their codes; pure ones to the nearest the panel shows.
    QVector<QRgb> forAcep = acepColours;
    QVector<QRgb> onAcep = acepColours;
    forAcep << white << black << red << green << blue << yellow;
    onAcep << acepColours[1] << acepColours[0] << acepColours[4] << acepColours[2] << acepColours[3]
           << acepColours[5];
    QTest::newRow("seven colours, 7 x 3") << QByteArray("epd7") << QSize(7, 3) << forAcep << onAcep;
    QTest::newRow("seven colours, 8 x 5") << QByteArray("epd7") << QSize(8, 5) << forAcep << onAcep;
    QTest::newRow("seven colours, 13 x 14") << QByteArray("epd7") << QSize(13, 14) << forAcep << onAcep;
    QTest::newRow("seven colours, 1 x 2") << QByteArray("epd7") << QSize(1, 2) << forAcep << onAcep;
}

void TestCli::encodesForEpaperPanels()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QVector<QRgb>, sources);
    QFETCH(QVector<QRgb>, shown);
    const EncodedPicture encoded = encodeFor(format, sourcesPicture(size, sources), false);
    QImage panel;
    readPanel(format, arraysOf(encoded.header), size, &panel);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(panel, sourcesPicture(size, shown));
    QCOMPARE(encoded.shown.convertToFormat(QImage::Format_RGB32), panel); // the preview
}

void TestCli::dithersToThePanelsColours_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QRgb>("colour");
    // Colours between the panel's: grey between black and white, pink between red and white,
    // ochre between the ACeP panel's yellow, orange and grey.
    QTest::newRow("grey on black, white and red") << QByteArray("epd-bw-red") << qRgb(128, 128, 128);
    QTest::newRow("pink on black, white and red") << QByteArray("epd-bw-red") << qRgb(255, 128, 128);
    QTest::newRow("light yellow on black, white and yellow")
        << QByteArray("epd-bw-yellow") << qRgb(255, 255, 128);
    QTest::newRow("grey on seven colours") << QByteArray("epd7") << qRgb(150, 140, 150);
    QTest::newRow("ochre on seven colours") << QByteArray("epd7") << qRgb(190, 150, 80);
}

void TestCli::dithersToThePanelsColours()
{
    QFETCH(QByteArray, format);
    QFETCH(QRgb, colour);
    const QSize size(40, 30);
    QImage flat(size, QImage::Format_RGB32);
    flat.fill(colour);
    // Cut, one colour throughout; dithered, the panel's colours average to it.
    QImage panel;
    readPanel(format, arraysOf(encodeFor(format, flat, false).header), size, &panel);
    QImage uniform(size, QImage::Format_RGB32);
    uniform.fill(panel.pixel(0, 0));
    QCOMPARE(panel, uniform);
    const EncodedPicture dithered = encodeFor(format, flat, true);
    readPanel(format, arraysOf(dithered.header), size, &panel);
    double sums[3] = {0, 0, 0};
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            sums[0] += qRed(panel.pixel(x, y));
            sums[1] += qGreen(panel.pixel(x, y));
            sums[2] += qBlue(panel.pixel(x, y));
        }
    }
    const int pixels = size.width() * size.height();
    const QString measured
        = QString("%1 %2 %3").arg(sums[0] / pixels).arg(sums[1] / pixels).arg(sums[2] / pixels);
    QVERIFY2(qAbs(sums[0] / pixels - qRed(colour)) < 8 && qAbs(sums[1] / pixels - qGreen(colour)) < 8
                 && qAbs(sums[2] / pixels - qBlue(colour)) < 8,
             qPrintable(measured));
    QCOMPARE(dithered.shown.convertToFormat(QImage::Format_RGB32), panel);
}

void TestCli::takesPaletteFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QVector<QRgb>>("colours"); // the file's, in order
    QTest::addColumn<QString>("error"); // FILE: the file's path; empty: none

    const QVector<QRgb> six = {black, white, red, green, blue, qRgb(18, 52, 86)};
    QTest::newRow("GIMP palette")
        << "index4"
        << QByteArray("GIMP Palette\nName: Six\nColumns: 3\n# black first\n  0   0   0\tBlack\n"
                      "255 255 255 White\n255   0   0\n  0 255   0 Green\n0 0 255 Blue\n"
                      "\n18 52 86 Slate\n")
        << six << QString();
    QTest::newRow("GIMP palette, byte order mark and Windows line ends")
        << "index8" << QByteArray("\xef\xbb\xbfGIMP Palette\r\nName: Two\r\n#\r\n255 0 0\tRed\r\n0 0 255\r\n")
        << QVector<QRgb> {red, blue} << QString();
    QTest::newRow("plain list")
        << "index4" << QByteArray("# mine\n\n#FF0000\n  #00ff00  \n## red, green\n#\n#0000ff\n\t#123456\n")
        << QVector<QRgb> {red, green, blue, qRgb(0x12, 0x34, 0x56)} << QString();
    QTest::newRow("plain list, a colour twice") << "index4" << QByteArray("#ff0000\n#ff0000\n#0000ff\n")
                                                << QVector<QRgb> {red, red, blue} << QString();
    // As many colours as the format holds, and one more.
    QVector<QRgb> many;
    QByteArray list;
    for (int i = 0; i < 257; ++i) {
        many << qRgb((i & 7) << 5, (i >> 3 & 7) << 5, (i >> 6) << 6);
        list += QColor(many.last()).name().toLatin1() + '\n';
    }
    const QByteArray sixteen = list.left(16 * 8), seventeen = list.left(17 * 8);
    QTest::newRow("16 colours, index4") << "index4" << sixteen << many.mid(0, 16) << QString();
    QTest::newRow("17 colours, index4")
        << "index4" << seventeen << QVector<QRgb>()
        << "--palette : FILE a 17 couleurs, plus que les 16 que tient --format index4";
    QTest::newRow("256 colours, index8") << "index8" << list.left(256 * 8) << many.mid(0, 256) << QString();
    QTest::newRow("257 colours, index8")
        << "index8" << list << QVector<QRgb>()
        << "--palette : FILE a 257 couleurs, plus que les 256 que tient --format index8";
    // Lines that are neither a colour nor a comment.
    const QString neither = "n'est ni une couleur #rrvvbb ni un commentaire (# suivi d'une espace)";
    QTest::newRow("five digits") << "index4" << QByteArray("#ff0000\n#ff00f\n") << QVector<QRgb>()
                                 << "--palette : FILE, ligne 2 : « #ff00f » " + neither;
    QTest::newRow("without #") << "index4" << QByteArray("ff0000\n") << QVector<QRgb>()
                               << "--palette : FILE, ligne 1 : « ff0000 » " + neither;
    QTest::newRow("with a name") << "index8" << QByteArray("# red\n#ff0000 rouge\n") << QVector<QRgb>()
                                 << "--palette : FILE, ligne 2 : « #ff0000 rouge » " + neither;
    QTest::newRow("GIMP component above 255")
        << "index4" << QByteArray("GIMP Palette\n0 0 0\n256 0 0 Too red\n") << QVector<QRgb>()
        << "--palette : FILE, ligne 3 : « 256 0 0 Too red » a une composante au-delà de 255";
    QTest::newRow("GIMP blue above 255")
        << "index4" << QByteArray("GIMP Palette\n0 0 256 Too blue\n") << QVector<QRgb>()
        << "--palette : FILE, ligne 2 : « 0 0 256 Too blue » a une composante au-delà de 255";
    // A palette file of 1 MiB at most: exactly that is read, a byte more refused.
    const QByteArray padding = "#ff0000\n";
    QByteArray mebibyte = padding + QByteArray((1 << 20) - padding.size() - 1, '#') + '\n';
    QTest::newRow("1 MiB of comments") << "index4" << mebibyte << QVector<QRgb> {red} << QString();
    QTest::newRow("1 MiB and a byte")
        << "index4" << mebibyte + '\n'
        << QVector<QRgb>() << "--palette : FILE : fichier trop grand pour une palette";
    QTest::newRow("GIMP, two numbers")
        << "index4" << QByteArray("GIMP Palette\n12 34\n") << QVector<QRgb>()
        << "--palette : FILE, ligne 2 : « 12 34 » n'est pas une couleur R V B (trois nombres de 0 à 255)";
    QTest::newRow("comments only") << "index4" << QByteArray("# none\n\n#\n") << QVector<QRgb>()
                                   << "--palette : FILE, aucune couleur";
}

void TestCli::takesPaletteFiles()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, file);
    QFETCH(QVector<QRgb>, colours);
    QFETCH(QString, error);
    writeFile(path("colours.pal"), file);
    // Each of the palette's colours and, for a colour given twice, its first entry.
    const QSize size(7, 5);
    savePicture(sourcesPicture(size, colours.isEmpty() ? QVector<QRgb> {red} : colours), path("pic.png"),
                "PNG");
    const Run run = quillonConvert({"-n", "pic", "--preview", "-o", path("command"), "--format", format,
                                    "--palette", path("colours.pal"), path("pic.png")});
    if (!error.isEmpty()) {
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err.section('\n', 0, 0),
                 "quillon-convert: " + error.replace("FILE", path("colours.pal")));
        return;
    }
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QHash<QString, HeaderArray> arrays
        = parseArrays(QString::fromUtf8(readFile(path("command/pic.h"))));
    const int entries = format == "index4" ? 16 : 256;
    const QVector<quint32> &palette = arrays.value("pic_palette").values;
    QCOMPARE(palette.size(), entries);
    for (int i = 0; i < entries; ++i) // the file's colours, then 0x0000
        QCOMPARE(palette[i], i < colours.size() ? quint32(rgb565(colours[i])) : 0u);
    const QVector<quint32> &indices = arrays.value("pic").values;
    const QImage preview = QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int index = format == "index8"
                ? int(indices[y * size.width() + x])
                : int(indices[y * ((size.width() + 1) / 2) + x / 2] >> (x % 2 ? 0 : 4) & 0xf);
            const QRgb colour = colours[(x + 3 * y) % colours.size()];
            QCOMPARE(index, colours.indexOf(colour));
            QCOMPARE(preview.pixel(x, y), shown(rgb565(colour)));
        }
    }
}

namespace {

// Stand-ins of the calls that the e-paper headers' comments give, their declarations copied
// from GxEPD2 (GxEPD2_3C.h, GxEPD2_7C.h) and from Waveshare's e-Paper library, each drawing
// on a screen of SCREEN_W x SCREEN_H letters what the panel shows: W white, K black, C the
// colour plane's ink; the ACeP codes and the grey levels as digits. In each plane a bit 0 puts
// that ink (GxEPD2's drivers with invert false; Waveshare's, whose set-up reads the red memory
// inverted); Waveshare's four greys are 3 white, 2 and 1 the light and dark greys, 0 black.
const char epaperStandIn[] = R"(#include <stdint.h>
#include <stdio.h>
typedef uint8_t UBYTE;
typedef uint16_t UWORD;
static char screen[SCREEN_H][SCREEN_W];
static int pgmUsed = -1;
static void put(int x, int y, char c)
{
    if (x >= 0 && y >= 0 && x < SCREEN_W && y < SCREEN_H)
        screen[y][x] = c;
}
struct GxEPD2_StandIn
{
    void drawImage(const uint8_t *black, const uint8_t *color, int16_t x, int16_t y, int16_t w, int16_t h,
                   bool invert, bool mirror_y, bool pgm)
    {
        const int wb = (w + 7) / 8;
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j) {
                const int at = (mirror_y ? h - 1 - i : i) * wb + j / 8, mask = 0x80 >> (j % 8);
                const int b = (invert ? ~black[at] : black[at]) & mask, c = (invert ? ~color[at] : color[at]) & mask;
                put(x + j, y + i, !b ? 'K' : !c ? 'C' : 'W');
            }
        pgmUsed = pgm;
    }
    void drawNative(const uint8_t *data1, const uint8_t *data2, int16_t x, int16_t y, int16_t w, int16_t h,
                    bool invert, bool mirror_y, bool pgm)
    {
        (void)data2;
        const int wb = (w + 1) / 2;
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j) {
                const uint8_t d = data1[(mirror_y ? h - 1 - i : i) * wb + j / 2] ^ (invert ? 0xff : 0);
                put(x + j, y + i, char('0' + (j % 2 ? d & 0xf : d >> 4)));
            }
        pgmUsed = pgm;
    }
};
GxEPD2_StandIn display;
void EPD_2IN13B_V4_Display(const UBYTE *blackImage, const UBYTE *redImage)
{
    const int wb = (SCREEN_W + 7) / 8;
    for (int i = 0; i < SCREEN_H; ++i)
        for (int j = 0; j < SCREEN_W; ++j) {
            const int mask = 0x80 >> (j % 8);
            put(j, i, !(blackImage[i * wb + j / 8] & mask) ? 'K' : !(redImage[i * wb + j / 8] & mask) ? 'C' : 'W');
        }
}
void EPD_2IN13BC_Display(const UBYTE *blackimage, const UBYTE *ryimage)
{
    EPD_2IN13B_V4_Display(blackimage, ryimage);
}
void EPD_4IN2_4GrayDisplay(const UBYTE *Image)
{
    for (int i = 0; i < SCREEN_H; ++i)
        for (int j = 0; j < SCREEN_W; ++j)
            put(j, i, char('0' + (Image[i * (SCREEN_W / 4) + j / 4] >> (6 - 2 * (j % 4)) & 3)));
}
void EPD_5IN65F_Display_part(const UBYTE *image, UWORD xstart, UWORD ystart, UWORD image_width, UWORD image_heigh)
{
    for (int i = ystart; i < ystart + image_heigh; ++i)
        for (int j = xstart / 2; j < (image_width + xstart) / 2; ++j) {
            const UBYTE d = image[(j - xstart / 2) + (image_width / 2 * (i - ystart))];
            put(2 * j, i, char('0' + (d >> 4)));
            put(2 * j + 1, i, char('0' + (d & 0xf)));
        }
}
void EPD_7IN3F_Display(UBYTE *Image)
{
    EPD_5IN65F_Display_part(Image, 0, 0, SCREEN_W, SCREEN_H);
}
)";

} // namespace

void TestCli::drawsAsTheCommentSays_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("library"); // how the comment line begins
    QTest::newRow("GxEPD2, black, white and red")
        << QStringList {"--format", "epd-bw-red"} << QSize(13, 5) << "GxEPD2";
    QTest::newRow("GxEPD2, black, white and yellow, in program memory")
        << QStringList {"--format", "epd-bw-yellow", "--progmem"} << QSize(16, 3) << "GxEPD2";
    QTest::newRow("Waveshare, black, white and red")
        << QStringList {"--format", "epd-bw-red"} << QSize(17, 4) << "Waveshare";
    QTest::newRow("Waveshare, black, white and yellow")
        << QStringList {"--format", "epd-bw-yellow"} << QSize(8, 2) << "Waveshare";
    QTest::newRow("GxEPD2, seven colours") << QStringList {"--format", "epd7"} << QSize(9, 4) << "GxEPD2";
    QTest::newRow("Waveshare 5.65 inches, seven colours")
        << QStringList {"--format", "epd7"} << QSize(10, 3) << "Waveshare 5,65";
    QTest::newRow("Waveshare 7.3 inches, seven colours")
        << QStringList {"--format", "epd7"} << QSize(8, 6) << "Waveshare 7,3";
    QTest::newRow("Waveshare, four greys")
        << QStringList {"--format", "gray2"} << QSize(12, 5) << "Waveshare";
}

void TestCli::drawsAsTheCommentSays()
{
    QFETCH(QStringList, options);
    QFETCH(QSize, size);
    QFETCH(QString, library);
    const QString cxx = QStandardPaths::findExecutable("c++");
    if (cxx.isEmpty())
        QSKIP("no C++ compiler");
    const QVector<QRgb> sources
        = {white, black, red, green, blue, yellow, qRgb(100, 100, 100), qRgb(200, 120, 60)};
    savePicture(sourcesPicture(size, sources), path("pic.png"), "PNG");
    const Run run = quillonConvert(QStringList {"-n", "pic", "--preview", "--bmp", "-o", path("command")}
                                   + options + QStringList {path("pic.png")});
    QCOMPARE(run.exitCode, 0);
    // The comment's line, pasted as it stands, x and y at 0.
    const QString text = QString::fromUtf8(readFile(path("command/pic.h")));
    const QString line
        = QRegularExpression("\n// " + QRegularExpression::escape(library) + "[^:\n]*: ([^;\n]*;)")
              .match(text)
              .captured(1);
    QVERIFY2(!line.isEmpty(), qPrintable(text));
    // Waveshare's C library reads its images from ordinary memory only.
    QCOMPARE(text.contains("EPD_"), !options.contains("--progmem"));
    writeFile(path("command/standin.h"), epaperStandIn);
    QVERIFY(QDir().mkpath(path("command/avr")));
    writeFile(path("command/avr/pgmspace.h"), "#define PROGMEM\n");
    writeFile(
        path("command/main.cpp"),
        "#include \"standin.h\"\n#include \"pic.h\"\nint main()\n{\n    const int16_t x = 0, y = 0;\n"
        "    (void)x;\n    (void)y;\n    "
            + line.toUtf8()
            + "\n    for (int i = 0; i < SCREEN_H; ++i)\n        printf(\"%.*s\\n\", SCREEN_W, screen[i]);\n"
              "    printf(\"pgm %d\\n\", pgmUsed);\n    return 0;\n}\n");
    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(cxx,
                   {"-std=c++11", "-Wall", "-Wextra", "-Werror",
                    "-DSCREEN_W=" + QString::number(size.width()),
                    "-DSCREEN_H=" + QString::number(size.height()), "-I", path("command"), "-o",
                    path("command/main"), path("command/main.cpp")});
    QVERIFY(compiler.waitForFinished(60000));
    QVERIFY2(compiler.exitCode() == 0, compiler.readAll().constData());
    QProcess program;
    program.start(path("command/main"), QStringList());
    QVERIFY(program.waitForFinished(60000));

    // What the preview shows, in the stand-in's letters: only the panel's colours.
    const QImage preview = QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(readFile(path("command/pic16bits.BMP")), expectedBmp(preview));
    const QRgb ink = options[1] == "epd-bw-red" ? red : yellow;
    QByteArray expected;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb colour = preview.pixel(x, y);
            if (options[1] == "epd7")
                expected += acepColours.contains(colour) ? char('0' + acepColours.indexOf(colour)) : '?';
            else if (options[1] == "gray2")
                expected += qGray(colour) % 85 || colour != qRgb(qRed(colour), qRed(colour), qRed(colour))
                    ? '?'
                    : char('0' + qRed(colour) / 85);
            else
                expected += colour == white ? 'W' : colour == black ? 'K' : colour == ink ? 'C' : '?';
        }
        expected += '\n';
    }
    const bool gxepd2 = library == "GxEPD2";
    expected += QByteArray("pgm ") + (!gxepd2 ? "-1" : options.contains("--progmem") ? "1" : "0") + "\n";
    QCOMPARE(program.readAllStandardOutput(), expected);
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
    row("RLE of I1", {"--compress", "rle", "--lvgl-cf", "I1"}, "LV_COLOR_FORMAT_I1");
    row("RLE of I2", {"--compress", "rle", "--lvgl-cf", "I2"}, "LV_COLOR_FORMAT_I2");
    row("RLE of I4", {"--compress", "rle", "--lvgl-cf", "I4"}, "LV_COLOR_FORMAT_I4");
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
    const Run run
        = quillonConvert(QStringList {"--format", "lvgl", "-n", "pic", "--preview", "-o", path("command")}
                         + options + QStringList {path("pic.png")});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(readFile(path("command/pic.h")));
    // A field of the descriptor, by the names its comments give: the header's bit fields, on the
    // little-endian line, then each field on its own line.
    const auto field = [&](const QString &name) {
        const QRegularExpressionMatch header
            = QRegularExpression("#else\n  \\{([^}]*)\\}, /\\* ([^*]*) \\*/\n").match(text);
        if (name.startsWith("header."))
            return header.captured(1).split(", ").value(header.captured(2).split(", ").indexOf(name.mid(7)));
        return QRegularExpression("\n  ([^\n]+), /\\* " + name + " \\*/\n").match(text).captured(1);
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
    const QString cf
        = colourFormat.section('_', -1) == "SWAPPED" ? "RGB565_SWAPPED" : colourFormat.section("FORMAT_", 1);
    // Formats that keep the alpha keep each pixel's own colour; the others show it laid onto
    // black, as the window does.
    const bool keepsAlpha = cf == "RGB565A8" || cf == "ARGB8888" || colourFormat.endsWith("TRUE_COLOR_ALPHA");
    const auto colourAt = [&](int x, int y) {
        const QRgb own = picture.pixel(x, y);
        return keepsAlpha ? own | 0xff000000 : qUnpremultiply(qPremultiply(own)) | 0xff000000;
    };
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
    // What the panel shows, translucent pixels laid onto black.
    QImage panel(13, 6, QImage::Format_RGB32);
    const auto overBlack = [](QRgb colour, int alpha) {
        return qRgb(qRed(colour) * alpha / 255, qGreen(colour) * alpha / 255, qBlue(colour) * alpha / 255);
    };
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 13; ++x) {
            const QRgb colour = colourAt(x, y);
            const int alpha = qAlpha(picture.pixel(x, y));
            const quint16 value = rgb565(colour);
            const int at = rows + y * stride + x * bits / 8;
            panel.setPixel(x, y, shown(value));
            if (colourFormat.endsWith("RGB565") || colourFormat.endsWith("TRUE_COLOR")) {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                if (lvgl8)
                    QCOMPARE(int(quint8(swapped[at])) << 8 | int(quint8(swapped[at + 1])), int(value));
            } else if (cf == "RGB565_SWAPPED") {
                QCOMPARE(byteAt(at) << 8 | byteAt(at + 1), int(value));
            } else if (cf == "RGB565A8") {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                QCOMPARE(byteAt(stride * 6 + y * stride / 2 + x), alpha);
                panel.setPixel(x, y, overBlack(shown(value), alpha));
            } else if (colourFormat.endsWith("TRUE_COLOR_ALPHA")) {
                QCOMPARE(byteAt(at) | byteAt(at + 1) << 8, int(value));
                QCOMPARE(byteAt(at + 2), alpha);
                panel.setPixel(x, y, overBlack(shown(value), alpha));
                QCOMPARE(int(quint8(swapped[at])) << 8 | int(quint8(swapped[at + 1])), int(value));
            } else if (bits >= 24) {
                QCOMPARE(qRgb(byteAt(at + 2), byteAt(at + 1), byteAt(at)), colour);
                panel.setPixel(x, y, cf == "ARGB8888" ? overBlack(colour, alpha) : colour);
                if (bits == 32)
                    QCOMPARE(byteAt(at + 3), cf == "ARGB8888" ? alpha : 255);
            } else if (cf == "L8") {
                const int level = luma(colour);
                QCOMPARE(byteAt(at), options.contains("--invert") ? 255 - level : level);
                panel.setPixel(x, y, qRgb(byteAt(at), byteAt(at), byteAt(at)));
            } else if (cf == "A8" || colourFormat.endsWith("ALPHA_8BIT")) {
                QCOMPARE(byteAt(at), alpha);
                panel.setPixel(x, y, qRgb(alpha, alpha, alpha));
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
                panel.setPixel(x, y, entry(index));
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

    QCOMPARE(QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32), panel);

    // The header compiles against LVGL's types, warnings as errors, and holds the map read above;
    // LVGL 8's swapped colours where LV_COLOR_16_SWAP is set.
    const QString cc = QStandardPaths::findExecutable("cc");
    if (cc.isEmpty())
        QSKIP("no C compiler");
    // The map is printed as the image that the comment's line shows reaches LVGL.
    const QString line = QRegularExpression("^// LVGL \\d : (.*)$", QRegularExpression::MultilineOption)
                             .match(text)
                             .captured(1);
    const QByteArray descriptor = lvgl8 ? "lv_img_dsc_t" : "lv_image_dsc_t";
    writeFile(path("command/main.c"),
              "#include <stdio.h>\n#include \"pic.h\"\nstatic const void *shown;\n"
              "lv_obj_t *lv_screen_active(void) { return NULL; }\n"
              "lv_obj_t *lv_image_create(lv_obj_t *parent) { return parent; }\n"
              "void lv_image_set_src(lv_obj_t *obj, const void *src) { (void)obj; shown = src; }\n"
              "lv_obj_t *lv_scr_act(void) { return NULL; }\n"
              "lv_obj_t *lv_img_create(lv_obj_t *parent) { return parent; }\n"
              "void lv_img_set_src(lv_obj_t *obj, const void *src) { (void)obj; shown = src; }\n"
              "int main(void)\n{\n    "
                  + line.toUtf8() + "\n    const " + descriptor + " *image = shown;\n"
                  + "    for (size_t i = 0; shown && i < image->data_size; ++i)\n"
                    "        putchar(image->data[i]);\n    return 0;\n}\n");
    for (const QByteArray &swap : {QByteArray("0"), QByteArray("1")}) {
        if (swap == "1" && swapped.isEmpty())
            continue;
        QProcess compiler;
        compiler.setProcessChannelMode(QProcess::MergedChannels);
        compiler.start(cc,
                       {"-std=c99", "-Wall", "-Wextra", "-Werror", "-DLV_LVGL_H_INCLUDE_SIMPLE",
                        "-DLV_COLOR_16_SWAP=" + swap, "-I", QUILLON_LVGL_STANDIN, "-I", path("command"), "-o",
                        path("command/main"), path("command/main.c")});
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
    QTest::newRow("16 repeats, the shortest run counted, then 3 others")
        << QByteArray(16, '\x64') + three << QByteArray::fromHex("106483") + three;
    QTest::newRow("15 repeats, copied, then 3 others")
        << QByteArray(15, '\x64') + three << QByteArray::fromHex("92") + QByteArray(15, '\x64') + three;
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
    QTest::newRow("4 greys") << "gray2" << QByteArray::fromHex("16ac5ac4ab14b168");
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
