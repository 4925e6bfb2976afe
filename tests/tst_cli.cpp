#include "display_formats.h"
#include "display_preparation.h"
#include "header_pictures.h"
#include "mainwindow.h"
#include "output_paths.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QCryptographicHash>
#include <QDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QLineEdit>
#include <QLockFile>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSysInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// The lock file of the outputs whose header is `header`, beside them.
QString lockName(const QByteArray &header)
{
    return ".quillon-"
        + QString::fromLatin1(QCryptographicHash::hash(header, QCryptographicHash::Sha1).toHex().left(16))
        + ".lock";
}

// A temporary file of those outputs, as a run killed while it wrote them leaves it.
QString temporaryName(const QString &header)
{
    return lockName(header.toUtf8()).chopped(5) + "-Xq7Zp2";
}

} // namespace

Q_DECLARE_METATYPE(DisplayOptions)
Q_DECLARE_METATYPE(EncodingOptions)

class TestCli : public QObject, protected TestSupport::TemporaryFolder
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
    void answersEachPicture_data();
    void answersEachPicture();
    void fitsPicturesTooLargeToHoldByRows_data();
    void fitsPicturesTooLargeToHoldByRows();
    void keepsExistingFilesWithoutForce();
    void reportsAFullDisk();
    void refusesWhatMemoryCannotHold_data();
    void refusesWhatMemoryCannotHold();
    void convertsWithoutThreads_data();
    void convertsWithoutThreads();
    void keepsEachPairWhole();
    void endsReadersThatMisbehave_data();
    void endsReadersThatMisbehave();
    void completesAPairAKilledRunLeft_data();
    void completesAPairAKilledRunLeft();
    void namesItsTemporaryFilesWhereTheyAreLookedFor_data();
    void namesItsTemporaryFilesWhereTheyAreLookedFor();
    void convertsABatchAmongOtherFiles();
    void leavesEachPictureOfAKilledBatchWhole_data();
    void leavesEachPictureOfAKilledBatchWhole();
    void keepsThePicturesWhoseSyncFails_data();
    void keepsThePicturesWhoseSyncFails();
    void reapsTheChildrenOfItsReaders();
    void forksTheDecodingServerAtItsStart_data();
    void forksTheDecodingServerAtItsStart();
    void waitsBoundedlyForLocksItCannotJudge();
    void refusesLocksOfAnotherUser();
    void leavesAloneWhatOthersLeave_data();
    void leavesAloneWhatOthersLeave();
    void decodesHeadersItIsGiven();
    void answersUsageErrors_data();
    void answersUsageErrors();
    void namesAndPlacesArrays_data();
    void namesAndPlacesArrays();
    void helpsAndTellsItsVersion();
    void bundlesThePictures();
    void preparesPicturesForTheDisplay_data();
    void preparesPicturesForTheDisplay();
    void writesWhatTheEngineEncodes_data();
    void writesWhatTheEngineEncodes();
};

void TestCli::init()
{
    QVERIFY(renewFolder());
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
    QTest::newRow("EPS, drawn by ghostscript") << "drawing.eps" << QImage() << QByteArray("EPS");
}

void TestCli::writesWhatTheWindowWrites()
{
    QFETCH(QString, name);
    QFETCH(QImage, picture);
    QFETCH(QByteArray, format);
    if (format == "EPS"
        && (QStandardPaths::findExecutable("gs").isEmpty()
            || !QImageReader::supportedImageFormats().contains("eps")))
        QSKIP("no EPS reader, or no ghostscript for it (kimageformat-plugins, ghostscript)");
    savePicture(picture, path(name), format.constData());

    MainWindow window;
    {
        // A box that refuses the picture is closed, so that the test fails rather than waits.
        ModalWatcher refusal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
        QVERIFY(window.loadImage(path(name)));
        QVERIFY(!refusal.handled());
    }
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
    QTest::addColumn<int>("crashes"); // pictures whose reader crashes, among the others
    QTest::newRow("the usual fill") << QString("MALLOC_PERTURB_=0") << 0;
    QTest::newRow("the process's fill of 85") << QString("MALLOC_PERTURB_=85") << 0;
    QTest::newRow("the process's fill of 170") << QString("MALLOC_PERTURB_=170") << 0;
    QTest::newRow("no cache of small blocks") << QString("GLIBC_TUNABLES=glibc.malloc.tcache_count=0") << 0;
    // Each crash ends the child that decoded it, which had decoded others before: the pictures
    // after it go to other children, and come out the same.
    QTest::newRow("readers that crash among them") << QString("MALLOC_PERTURB_=0") << 4;
}

void TestCli::decodesPicturesLeftUnsetAlikeAmongOthers()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers' allocator does not take glibc's fill of fresh memory");
#endif
    QFETCH(QString, environment);
    QFETCH(int, crashes);
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
        if (i % 5 == 2 && i / 5 < crashes) {
            pictures << path(QString("c%1.crash").arg(i));
            writeFile(pictures.last(), "CRASH");
        }
    }
    const Run run = quillonConvert(QStringList {"-o", path("command")} + pictures,
                                   {"/usr/bin/env", testReadersVariable(), environment});
    QStringList told = run.err.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(told.takeLast(), QString::fromUtf8("60 images converties, 0 ignorée, %1 en échec").arg(crashes));
    QStringList crashed;
    for (int i = 2; i < 5 * crashes; i += 5)
        crashed << QString::fromUtf8("quillon-convert: %1 : image illisible ou trop coûteuse à décoder")
                       .arg(path(QString("c%1.crash").arg(i)));
    told.sort();
    crashed.sort();
    QCOMPARE(told, crashed);
    QCOMPARE(run.exitCode, crashes ? 1 : 0);
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

    // One picture's output is another picture of the same call, or the same file under another
    // name: nothing at all is written. Outputs beside an input of the same base name are not.
    QVERIFY(QDir().mkpath(path("inputs")));
    savePicture(patternPicture(8, 8), path("inputs/pic.png"), "PNG");
    savePicture(patternPicture(9, 9), path("inputs/pic16bits.png"), "PNG");
    savePicture(patternPicture(7, 7), path("inputs/other.png"), "PNG");
    QVERIFY(::link(QFile::encodeName(path("inputs/other.png")).constData(),
                   QFile::encodeName(path("inputs/linked.h")).constData())
            == 0);
    QVERIFY(::link(QFile::encodeName(path("inputs/other.png")).constData(),
                   QFile::encodeName(path("inputs/quillon_rle.h")).constData())
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
        // The reader that coded arrays take, written beside them, is one of the outputs.
        {{"-f", "--format", "mono", "--compress", "rle", path("inputs/pic.png"), path("inputs/other.png")},
         "quillon-convert: " + path("inputs/pic.png") + " : " + path("inputs/quillon_rle.h")
             + ", qu'elle écrirait, est l'image " + path("inputs/other.png")
             + " de la même commande ; rien n'a été écrit\n" + "quillon-convert: " + path("inputs/other.png")
             + " : " + path("inputs/quillon_rle.h") + ", qu'elle écrirait, est l'image "
             + path("inputs/other.png") + " de la même commande ; rien n'a été écrit\n"},
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

void TestCli::answersEachPicture_data()
{
    QTest::addColumn<QString>("file"); // the picture's name in the test's folder
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("environment"); // one more variable for the program; empty: none
    // After "quillon-convert: PICTURE : ", %1 standing for the bundle's header; none: converted.
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QStringList>("written"); // in the output folder
    const auto row
        = [](const char *name, const QString &file, const QByteArray &bytes, const QStringList &options,
             const QString &refusal, const QStringList &written = {}, const QString &environment = {}) {
              QTest::newRow(name) << file << bytes << options << environment << refusal << written;
          };
    const auto png = [](int width, int height) { return pngFile(patternPicture(width, height)); };
    // libpng's own English complaint about a cut PNG is not shown; the French line is.
    row("a PNG cut short", "cut.png", png(8, 8).left(60), {},
        "image incomplète : le fichier s'arrête avant la fin de l'image");
    // A small picture on a huge canvas is refused before it is shaped, naming the option.
    row("on a canvas of 65536 x 16384", "good.png", png(8, 8), {"--canvas", "65536x16384"},
        "image trop grande une fois façonnée : avec --canvas 65536x16384, elle passe par 65536 x 16384 "
        "pixels, soit 4096 Mio, plus que les 256 Mio permis");
    // avr-gcc takes no array over 32,767 bytes: 128 x 128 needs 32,822. Each array of a display
    // format is checked against the largest AVR's flash (393,216 bytes), in far pieces, --progmem
    // or not: 444 x 443 5-6-5 pixels take 393,384 bytes, 11 x 35,747 grey ones 393,217.
    row("--progmem, 128 x 128", "square.png", png(128, 128), {"--progmem"},
        "image trop grande pour --progmem : le tableau ferait 32822 octets, avr-gcc en accepte 32 767 au "
        "plus (environ 128 x 127 pixels)");
    const QString flash = "image trop grande pour --progmem : le tableau ferait %1 octets, plus que la "
                          "mémoire programme de tout AVR (393 216 octets au plus, ceux d'un ATxmega384C3 ; "
                          "262 144 sur un ATmega2560)";
    row("rgb565, 393,384 bytes", "wide.png", png(444, 443), {"--progmem", "--format", "rgb565"},
        flash.arg(393384));
    row("gray8, 393,217 bytes", "grey.png", png(11, 35747), {"--progmem", "--format", "gray8"},
        flash.arg(393217));
    // LVGL 8 holds widths of 11 bits: 2047 pixels, not 2048.
    const QStringList lvgl8 = {"--format", "lvgl", "--lvgl-version", "8"};
    row("LVGL 8, 2048 pixels wide", "banner.png", png(2048, 3), lvgl8,
        "image trop grande pour LVGL 8 : 2048 x 3 pixels, 2047 au plus de côté");
    row("LVGL 8, 2047 pixels wide", "banner.png", png(2047, 3), lvgl8, {}, {"banner.h"});
    row("--decode, a value missing", "cut.h",
        "// Quillon decoding: --format gray8\n#define pic_width 2\n#define pic_height 2\n"
        "const uint8_t pic[4] = {1, 2, 3};\n",
        {"--decode"}, "illisible : ligne 4 : pic : 3 valeurs au lieu des 4 que déclare sa taille");
    // A picture over avr-gcc's 32,767 bytes would lie in far program memory, where the bundle's
    // 16-bit pointers reach nothing: refused; one byte fewer, bundled.
    const QStringList bundle = {"--format", "gray8", "--bundle", "grey"};
    row("--bundle, 32,768 bytes", "far.png", png(256, 128), bundle,
        "--bundle : le tableau far ferait 32768 octets ; au-delà de 32 767, il irait sur AVR en mémoire "
        "programme lointaine, que les pointeurs d'un tableau ne peuvent désigner\nquillon-convert: %1 : "
        "non écrit : une image du paquet n'a pas été convertie");
    row("--bundle, 32,767 bytes", "near.png", png(151, 217), bundle, {}, {"grey.h"});
    // Text drawn on Qt's offscreen platform, whichever the environment names.
    row("SVG holding text, another platform named", "text.svg",
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="21" height="9"><text y="8">Hi</text></svg>)", {},
        {}, {"text.h", "text16bits.BMP"}, "QT_QPA_PLATFORM=minimal");
}

// One picture: refused with its reason and nothing written, or converted into its files.
void TestCli::answersEachPicture()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, options);
    QFETCH(QString, environment);
    QFETCH(QString, refusal);
    QFETCH(QStringList, written);
#if defined(__SANITIZE_ADDRESS__)
    if (file == "cut.png")
        QSKIP("the sanitizers keep the libraries' standard error");
#endif
    writeFile(path(file), bytes);
    const Run run
        = quillonConvert(options + QStringList {"-o", path("command"), path(file)},
                         environment.isEmpty() ? QStringList() : QStringList {"/usr/bin/env", environment});
    QCOMPARE(run.err,
             refusal.isEmpty() ? refusal
                               : "quillon-convert: " + path(file) + " : "
                     + refusal.replace("%1", path("command/grey.h")) + "\n");
    QCOMPARE(run.exitCode, refusal.isEmpty() ? 0 : 1);
    QCOMPARE(entryNames(path("command")), written);
}

void TestCli::fitsPicturesTooLargeToHoldByRows_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("problem"); // empty: converted
    // 12000 x 12000 of 1 bit (549 MiB at 4 bytes a pixel, 18 MB of rows): black and white bands
    // of 1500 columns and 3000 rows, 40 and 80 pixels once fitted in 320 x 320.
    const auto png = [](int rows) {
        return pngOfSamples(
            QSize(12000, 12000), 1, 0, [](int x, int y, int) { return (x / 1500 + y / 3000) % 2; }, false, {},
            rows);
    };
    const QByteArray whole = png(-1);
    const QString incomplete
        = QString::fromUtf8("image incomplète : le fichier s'arrête avant la fin de l'image");
    QTest::newRow("fitted") << whole << QStringList {"--fit", "320x320"} << QString();
    QTest::newRow("turned, fitted") << whole << QStringList {"--rotate", "90", "--fit", "320x320"}
                                    << QString();
    QTest::newRow("cut, fitted") << whole << QStringList {"--crop", "1500,3000,6000x3000", "--fit", "320x320"}
                                 << QString();
    QTest::newRow("cut in the middle of its rows")
        << whole.left(whole.size() / 2) << QStringList {"--fit", "320x320"} << incomplete;
    QTest::newRow("cut just before its end")
        << whole.left(whole.size() - 1) << QStringList {"--fit", "320x320"} << incomplete;
    // A file whole, whose data ends after 100 of its rows: what a file of that kind is, whatever
    // its size.
    QTest::newRow("ending before its rows") << png(100) << QStringList {"--fit", "320x320"}
                                            << QString::fromUtf8("ce fichier ne semble pas être une image");
    // Fitted larger than the bound (8193 x 8193 pixels of 4 bytes), not fitted, or not a PNG:
    // refused.
    QTest::newRow("fitted too large to hold")
        << whole << QStringList {"--fit", "8193x8193"}
        << QString::fromUtf8("image trop grande une fois façonnée : avec --fit 8193x8193, elle passe par "
                             "8193 x 8193 pixels, soit 257 Mio, plus que les 256 Mio permis");
    // The tone changed once fitted, in the window's format too: a contrast of -100 leaves a grey
    // of 128, 0x8410 in 5-6-5.
    QTest::newRow("fitted, flattened")
        << whole << QStringList {"--fit", "320x320", "--contrast", "-100"} << QString();
    QTest::newRow("not fitted") << whole << QStringList()
                                << QString::fromUtf8("image trop grande pour être convertie");
    QTest::newRow("BMP") << bmpFile(12000, 12000, 1, 0, QByteArray::fromHex("00000000ffffff00"),
                                    QByteArray(64, '\0'))
                         << QStringList {"--fit", "320x320"}
                         << QString::fromUtf8("image trop grande pour être convertie");

    // SVG, drawn in its child at the size it is used: the same bands, 12000 x 12000 by its own size,
    // white rectangles on black; too large to draw whole, as a PNG of that size is to decode.
    QByteArray bands = R"(<svg xmlns="http://www.w3.org/2000/svg" width="12000" height="12000">)"
                       R"(<rect width="12000" height="12000" fill="#000"/>)";
    for (int y = 0; y < 4; ++y) {
        for (int x = 1 - y % 2; x < 8; x += 2)
            bands += QString(R"(<rect x="%1" y="%2" width="1500" height="3000" fill="#fff"/>)")
                         .arg(x * 1500)
                         .arg(y * 3000)
                         .toLatin1();
    }
    bands += "</svg>";
    QTest::newRow("SVG fitted") << bands << QStringList {"--fit", "320x320"} << QString();
    QTest::newRow("SVG turned, fitted")
        << bands << QStringList {"--rotate", "90", "--fit", "320x320"} << QString();
    QTest::newRow("SVG cut, fitted") << bands
                                     << QStringList {"--crop", "1500,3000,6000x3000", "--fit", "320x320"}
                                     << QString();
    QTest::newRow("SVG fitted too large to hold")
        << bands << QStringList {"--fit", "8193x8193"}
        << QString::fromUtf8("image trop grande une fois façonnée : avec --fit 8193x8193, elle passe par "
                             "8193 x 8193 pixels, soit 257 Mio, plus que les 256 Mio permis");
    QTest::newRow("SVG not fitted") << bands << QStringList()
                                    << QString::fromUtf8("image trop grande pour être convertie");
    QTest::newRow("SVG naming a file of the disk, fitted") << QByteArray(
        R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )"
        R"(width="90" height="70"><image width="9" height="7" xlink:href="/etc/hostname"/></svg>)")
                                                           << QStringList {"--fit", "320x320"}
                                                           << QString::fromUtf8("image illisible ou trop "
                                                                                "coûteuse à décoder");

    // TIFF, read by rows in its child process: the same bands, uncompressed in one strip (which
    // libtiff reads a few rows at a time), its directory first so that a file cut short keeps it.
    const auto bandRow = [](int parity) {
        QByteArray row(1500, '\0');
        for (int x = 0; x < 12000; ++x) {
            if ((x / 1500 + parity) % 2)
                row[x / 8] = char(row[x / 8] | 0x80 >> x % 8);
        }
        return row;
    };
    const QByteArray bandRows[2] = {bandRow(0), bandRow(1)};
    QByteArray pixels;
    pixels.reserve(1500 * 12000);
    for (int y = 0; y < 12000; ++y)
        pixels += bandRows[y / 3000 % 2];
    const QByteArray strip = tiffByHand({{256, 12000},
                                         {257, 12000},
                                         {258, 1},
                                         {259, 1},
                                         {262, 1},
                                         {273, 0},
                                         {277, 1},
                                         {278, 12000},
                                         {279, 1500 * 12000}},
                                        pixels);
    const auto tiff = [](const std::function<void(TiffLayout &)> &set, int rows = -1) {
        TiffLayout layout;
        layout.bits = 1;
        layout.samples = 1;
        layout.photometric = 1; // black first
        layout.compression = 8; // Deflate
        set(layout);
        const int white = (1 << layout.bits) - 1;
        return tiffOfSamples(
            QSize(12000, 12000), layout, [=](int x, int y, int) { return (x / 1500 + y / 3000) % 2 * white; },
            rows);
    };
    const QString tooLarge = QString::fromUtf8("image trop grande pour être convertie");
    QTest::newRow("TIFF fitted") << strip << QStringList {"--fit", "320x320"} << QString();
    QTest::newRow("TIFF in tiles, turned by its file, fitted") << tiff([](TiffLayout &l) {
        l.tile = QSize(1024, 1024);
        l.orientation = 6; // a quarter turn clockwise
    }) << QStringList {"--fit", "320x320"} << QString();
    // A rectangle that leaves the picture: told from the size the child hands back.
    // Grey of 4 bits, read through libtiff's RGBA reader a strip at a time: a band of 4000 rows of
    // 4 bytes a pixel (183 MiB) is held, scaled before the next is read.
    QTest::newRow("TIFF in strips of 4000 rows") << tiff([](TiffLayout &l) {
        l.bits = 4;
        l.rowsPerStrip = 4000;
    }) << QStringList {"--fit", "320x320"} << QString();
    QTest::newRow("TIFF cut beyond its edge")
        << strip << QStringList {"--crop", "11000,0,2000x100", "--fit", "320x320"}
        << QString("--crop 11000,0,2000x100 sort de l'image, de 12000 x 12000 pixels");
    QTest::newRow("TIFF cut in the middle of its strips")
        << strip.left(strip.size() / 2) << QStringList {"--fit", "320x320"} << incomplete;
    QTest::newRow("TIFF cut just before its end")
        << strip.left(strip.size() - 1) << QStringList {"--fit", "320x320"} << incomplete;
    QTest::newRow("TIFF ending before its rows")
        << tiff([](TiffLayout &) {}, 100) << QStringList {"--fit", "320x320"}
        << QString::fromUtf8("ce fichier ne semble pas être une image");
    // A strip or a tile that alone would take more than the bound, though not more than the
    // child's memory (through libtiff's RGBA reader, a band of 6000 rows of 4 bytes a pixel: 275
    // MiB; a tile of 65536 x 65536), or a kind left to the whole picture: refused, before any
    // pixel is read.
    const auto grey = [](int height, int bits, const QList<QPair<int, quint32>> &layout) {
        return tiffByHand(
            QList<QPair<int, quint32>> {
                {256, 12000}, {257, quint32(height)}, {258, quint32(bits)}, {259, 8}, {262, 1}, {277, 1}}
                + layout,
            QByteArray(16, '\0'));
    };
    QTest::newRow("TIFF of a strip too large to hold")
        << grey(6000, 4, {{273, 0}, {278, 6000}, {279, 16}}) << QStringList {"--fit", "320x320"} << tooLarge;
    QTest::newRow("TIFF of a tile too large to hold")
        << grey(12000, 8, {{322, 65536}, {323, 65536}, {324, 0}, {325, 16}})
        << QStringList {"--fit", "320x320"} << tooLarge;
    QTest::newRow("TIFF of 16-bit RGB in planes apart") << tiff(
        [](TiffLayout &l) {
            l.bits = 16;
            l.samples = 3;
            l.photometric = 2;
            l.planesApart = true;
        },
        1) << QStringList {"--fit", "320x320"} << tooLarge;
}

void TestCli::fitsPicturesTooLargeToHoldByRows()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, options);
    QFETCH(QString, problem);
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves terabytes of address space: an address-space limit cannot apply");
#endif
    const QString prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");
    const bool tiff = file.startsWith("II");
    if (tiff && !QImageReader::supportedImageFormats().contains("tiff"))
        QSKIP("no reader of TIFF (Debian package qt5-image-formats-plugins)");
    const QString picture = path(file.startsWith("BM")         ? "huge.bmp"
                                     : tiff                    ? "huge.tif"
                                     : file.startsWith("<svg") ? "huge.svg"
                                                               : "huge.png");
    writeFile(picture, file);
    // 512 MiB of address space: the picture decoded whole would not fit in it.
    const Run run = quillonConvert(options + QStringList {"-o", path("command"), picture},
                                   {prlimit, "--as=536870912", "--"});
    if (!problem.isEmpty()) {
        QCOMPARE(run.err, "quillon-convert: " + picture + " : " + problem + "\n");
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(entryNames(path("command")), QStringList());
        return;
    }
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    // Each pixel of the bands, black or white, as the options shape them.
    const QByteArray bmp = readFile(path("command/huge16bits.BMP"));
    const bool turned
        = options.contains("--rotate") || QByteArray(QTest::currentDataTag()).contains("turned by"),
        cut = options.contains("--crop");
    const QSize size = cut ? QSize(320, 160) : QSize(320, 320);
    QCOMPARE(bmp.size(), 54 + size.width() * size.height() * 2);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            // Where the pixel lies in the picture fitted whole in 320 x 320, whose bands are 40
            // columns and 80 rows: cut from (1500, 3000), it is at half that scale.
            QPoint fitted(x, y);
            if (turned)
                fitted = QPoint(y, 319 - x);
            else if (cut)
                fitted = QPoint(x / 2 + 40, y / 2 + 80);
            const quint16 expected = options.contains("--contrast") ? 0x8410
                : (fitted.x() / 40 + fitted.y() / 80) % 2           ? 0xffff
                                                                    : 0x0000;
            const int at = 54 + ((size.height() - 1 - y) * size.width() + x) * 2;
            if (quint16(quint8(bmp[at]) | quint8(bmp[at + 1]) << 8) != expected)
                QFAIL(qPrintable(QString("pixel (%1, %2) is not the band's colour").arg(x).arg(y)));
        }
    }
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

    // A split pair's C file counts among the outputs.
    writeFile(path("command/photo.c"), "// mine");
    const Run splitKept = quillonConvert({"--split", "-o", path("command"), path("photo.png")});
    QCOMPARE(splitKept.err,
             "quillon-convert: " + path("photo.png") + " : " + path("command/photo.c")
                 + " existe déjà, image ignorée (--force pour le remplacer)\n");
    QCOMPARE(entryNames(path("command")), QStringList {"photo.c"});
    QVERIFY(QFile::remove(path("command/photo.c")));
    // Whatever else stands there, a FIFO here, skips the picture too, and is left as it is.
    QVERIFY(::mkfifo(QFile::encodeName(path("command/photo.h")).constData(), 0600) == 0);
    const Run fifoKept = quillonConvert({"-o", path("command"), path("photo.png")});
    QCOMPARE(fifoKept.err,
             "quillon-convert: " + path("photo.png") + " : " + path("command/photo.h")
                 + " existe déjà, image ignorée (--force pour le remplacer)\n");
    QCOMPARE(entryNames(path("command")), QStringList {"photo.h"});
    QVERIFY(!QFileInfo(path("command/photo.h")).isFile());
    QVERIFY(QFile::remove(path("command/photo.h")));

    // Replaced with --force; a file whose bytes would not change is left as it is, inode and
    // time, so that a build does not compile again what includes it.
    const auto identity = [&](const QString &name) {
        struct stat status;
        if (::lstat(QFile::encodeName(path("command/" + name)).constData(), &status) != 0)
            return QString();
        return QString("%1 %2.%3").arg(status.st_ino).arg(status.st_mtim.tv_sec).arg(status.st_mtim.tv_nsec);
    };
    QString bmpIdentity, headerIdentity;
    for (const QStringList &force : {QStringList {"--force"}, QStringList {"-f"}}) {
        const Run replaced
            = quillonConvert(force + QStringList {"--output=" + path("command"), path("photo.png")});
        QCOMPARE(replaced.exitCode, 0);
        const QByteArray bmp = readFile(path("command/photo16bits.BMP"));
        QCOMPARE(bmp, expectedBmp(QImage(path("photo.png"))));
        QCOMPARE(readFile(path("command/photo.h")), expectedHeader(bmp).replace("char logo[", "char photo["));
        if (!bmpIdentity.isEmpty()) {
            QCOMPARE(identity("photo16bits.BMP"), bmpIdentity);
            QCOMPARE(identity("photo.h"), headerIdentity);
        }
        bmpIdentity = identity("photo16bits.BMP");
        headerIdentity = identity("photo.h");
    }
    // Another name changes the header alone: it alone is replaced.
    QCOMPARE(quillonConvert({"-f", "-n", "logo", "-o", path("command"), path("photo.png")}).err, QString());
    QCOMPARE(identity("photo16bits.BMP"), bmpIdentity);
    QVERIFY(identity("photo.h") != headerIdentity);
    QCOMPARE(readFile(path("command/photo.h")), expectedHeader(readFile(path("command/photo16bits.BMP"))));
    QCOMPARE(entryNames(path("command")), (QStringList {"photo.h", "photo16bits.BMP"}));
    // A file that holds the very same bytes and one more is replaced.
    const QByteArray bmp = readFile(path("command/photo16bits.BMP"));
    writeFile(path("command/photo16bits.BMP"), bmp + '\0');
    QCOMPARE(quillonConvert({"-f", "-n", "logo", "-o", path("command"), path("photo.png")}).err, QString());
    QCOMPARE(readFile(path("command/photo16bits.BMP")), bmp);
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

void TestCli::refusesWhatMemoryCannotHold_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("picture");
    // 40 x 40 on 8000 x 8000 or enlarged to it: 244 MiB, within the bound of what shaping may
    // take, beyond the 150 MiB of address space the program is given.
    const QStringList canvas {"--canvas", "8000x8000"};
    QTest::newRow("bmp on a canvas") << canvas << "pic.png";
    QTest::newRow("gray8 enlarged") << QStringList {"--format", "gray8", "--fit", "8000x8000", "--upscale"}
                                    << "pic.png";
    QTest::newRow("index8 on a canvas") << QStringList {"--format", "index8"} + canvas << "pic.png";
    QTest::newRow("LVGL and its image file on a canvas")
        << QStringList {"--format", "lvgl", "--binary"} + canvas << "pic.png";
    // Two frames of 5500 x 5500, 115 MiB each.
    QTest::newRow("frames on a canvas")
        << QStringList {"--format", "rgb565", "--frames", "all", "--canvas", "5500x5500"} << "pic.gif";
}

// A shape that the system cannot give memory for refuses the picture and writes nothing: no
// empty array, no file in part.
void TestCli::refusesWhatMemoryCannotHold()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves terabytes of address space: an address-space limit cannot apply");
#endif
    QFETCH(QStringList, options);
    QFETCH(QString, picture);
    const QString prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");
    savePicture(patternPicture(40, 40), path("pic.png"), "PNG");
    writeFile(path("pic.gif"),
              animatedGifFile({patternPicture(5, 3), patternPicture(5, 3).mirrored()}, {5, 5}));
    writeFile(path("command/pic.h"), "earlier");
    // Threads' stacks of 1 MiB, so that the frames' helpers fit however many cores there are.
    const Run run
        = quillonConvert(QStringList {"-f", "-o", path("command")} + options + QStringList {path(picture)},
                         {prlimit, "--as=157286400", "--stack=1048576", "--"});
    QCOMPARE(run.err, "quillon-convert: " + path(picture) + " : mémoire insuffisante\n");
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(entryNames(path("command")), QStringList {"pic.h"});
    QCOMPARE(readFile(path("command/pic.h")), QByteArray("earlier"));
}

// A process that may start no thread (a process or user limit reached) still converts an
// animation, and a picture fitted by rows, on its own thread, into the same bytes.
void TestCli::convertsWithoutThreads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("animation") << "anim.gif"
                               << animatedGifFile({patternPicture(7, 3), patternPicture(7, 3).mirrored()},
                                                  {5, 9})
                               << QStringList {"--format", "rgb565", "--frames", "all", "--preview"};
    // 8193 x 8193 of 1 bit, 257 MiB decoded whole: black and white squares of 1024 pixels.
    const auto white = [](int x, int y) { return (x / 1024 + y / 1024) % 2; };
    QByteArray rows[2];
    for (int parity : {0, 1}) {
        rows[parity] = QByteArray(1025, '\0');
        for (int x = 0; x < 8193; ++x) {
            if (white(x, parity * 1024))
                rows[parity][x / 8] = char(rows[parity][x / 8] | 0x80 >> x % 8);
        }
    }
    QByteArray pixels;
    for (int y = 0; y < 8193; ++y)
        pixels += rows[y / 1024 % 2];
    // Fitted small: Qt converts a picture of more than 64 KiB on threads of its own, and waits for
    // them forever when none may start.
    const QStringList fit {"--fit", "96x64"};
    QTest::newRow("PNG fitted by rows")
        << "big.png" << pngOfSamples(QSize(8193, 8193), 1, 0, [&](int x, int y, int) { return white(x, y); })
        << fit;
    QTest::newRow("TIFF fitted by rows") << "big.tif"
                                         << tiffByHand({{256, 8193},
                                                        {257, 8193},
                                                        {258, 1},
                                                        {259, 1},
                                                        {262, 1},
                                                        {273, 0},
                                                        {277, 1},
                                                        {278, 8193},
                                                        {279, quint32(pixels.size())}},
                                                       pixels)
                                         << fit;
}

void TestCli::convertsWithoutThreads()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, options);
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers must be the first library loaded");
#endif
    writeFile(path(name), file);
    options << path(name);
    QCOMPARE(quillonConvert(QStringList {"-o", path("threads")} + options).exitCode, 0);
    QProcess run;
    QProcessEnvironment noThreads = QProcessEnvironment::systemEnvironment();
    noThreads.insert("LD_PRELOAD", QUILLON_NO_THREADS);
    run.setProcessEnvironment(noThreads);
    run.start(QUILLON_CONVERT, QStringList {"-o", path("alone")} + options);
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.readAllStandardError(), QByteArray());
    QCOMPARE(run.exitCode(), 0);
    const QStringList files = entryNames(path("threads"));
    QCOMPARE(entryNames(path("alone")), files);
    for (const QString &file : files)
        QCOMPARE(readFile(path("alone/" + file)), readFile(path("threads/" + file)));
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
    startWithTestReaders(run, {"-o", path("command"), path("bad.picture")});
    QVERIFY(run.waitForStarted());
    pid_t program = 0;
    if (signal) {
        QVERIFY(QTest::qWaitFor([&] { return !readFileIfAny(started).isEmpty(); }, 30000));
        program = pid_t(readFileIfAny(started).toInt());
        ::kill(pid_t(run.processId()), signal);
        // The reader's process group ends with the run, which does not wait for the reader: the
        // reader pauses for ever and its program sleeps 1000 s, so a minute tells them apart
        // however busy the machine is.
        QVERIFY(run.waitForFinished(60000));
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
        QVERIFY(QTest::qWaitFor(ended, 60000));
    }
}

void TestCli::completesAPairAKilledRunLeft_data()
{
    QTest::addColumn<QByteArray>("pauseIn"); // where the run is held until it is signalled
    QTest::addColumn<int>("pauseAt");
    QTest::addColumn<bool>("withoutTmpfile");
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<int>("failure"); // the error the held call then fails with, instead of a signal
    QTest::addColumn<QString>("between"); // what happens before the next run: "hand", "window"
    QTest::addColumn<bool>("newPair"); // the new pair once the next run is done, or the earlier

    const QList<int> killed = {SIGKILL};
    QTest::newRow("killed between the BMP file and the header")
        << QByteArray("rename") << 2 << false << killed << 0 << QString() << true;
    QTest::newRow("killed before the first rename")
        << QByteArray("rename") << 1 << false << killed << 0 << QString() << true;
    QTest::newRow("killed between them, named temporary files")
        << QByteArray("rename") << 2 << true << killed << 0 << QString() << true;
    QTest::newRow("killed while writing, named temporary files")
        << QByteArray("fdatasync") << 1 << true << killed << 0 << QString() << false;
    QTest::newRow("killed while writing")
        << QByteArray("fdatasync") << 1 << false << killed << 0 << QString() << false;
    // The files' names synced, then the journal's: only once it is named does the next run
    // complete the pair.
    QTest::newRow("killed before the journal is named")
        << QByteArray("fsync") << 1 << false << killed << 0 << QString() << false;
    QTest::newRow("killed once the journal is named")
        << QByteArray("fsync") << 2 << false << killed << 0 << QString() << true;
    QTest::newRow("two SIGINTs 50 ms apart at a rename")
        << QByteArray("rename") << 1 << false << QList<int> {SIGINT, SIGINT} << 0 << QString() << true;
    QTest::newRow("the header's rename failing")
        << QByteArray("rename") << 2 << false << QList<int>() << int(EIO) << QString() << true;
    // The header written by hand after the run was killed stays; the BMP file is completed.
    QTest::newRow("killed between them, the header then written by hand")
        << QByteArray("rename") << 2 << false << killed << 0 << QString("hand") << true;
    // The window takes the same turn: it completes the pair, then writes its own over it.
    QTest::newRow("killed before the first rename, the window then writing the files")
        << QByteArray("rename") << 1 << false << killed << 0 << QString("window") << true;
    // The next run held at its first sync of the folder: the pair completed, the journal still there.
    QTest::newRow("killed before the first rename, the next run held at its sync")
        << QByteArray("rename") << 1 << false << killed << 0 << QString("held") << true;
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
    QFETCH(int, failure);
    QFETCH(QString, between);
    QFETCH(bool, newPair);
    for (const char *folder : {"a", "b", "c"})
        QVERIFY(QDir().mkpath(path(folder)));
    savePicture(patternPicture(30, 20), path("a/photo.png"), "PNG");
    savePicture(patternPicture(20, 30, true), path("b/photo.png"), "PNG");
    savePicture(patternPicture(17, 9), path("c/photo.png"), "PNG");
    QCOMPARE(quillonConvert({"-n", "logo", "-o", path("command"), path("a/photo.png")}).exitCode, 0);
    const QByteArray earlier = readFile(path("command/photo16bits.BMP"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD",
                       withoutTmpfile ? QString(QUILLON_PAUSED_CALL ":" QUILLON_NO_TMPFILE)
                                      : QString(QUILLON_PAUSED_CALL));
    environment.insert("QUILLON_PAUSE_IN", pauseIn);
    environment.insert("QUILLON_PAUSE_AT", QString::number(pauseAt));
    environment.insert("QUILLON_PAUSE_MARK", path("paused"));
    if (failure)
        environment.insert("QUILLON_PAUSE_FAIL", QString::number(failure));
    // From another folder than the next run's, named relative to it.
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(path());
    run.start(QUILLON_CONVERT, {"-f", "-n", "logo", "-o", "command", "b/photo.png"});
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(path("paused")); }, 60000));
    // Signals of one kind pending together are delivered once: the next is sent only once the
    // process has handled the last, its handler then put back to the default (not caught).
    const auto catches = [&](int signal) {
        QFile status(QStringLiteral("/proc/%1/status").arg(run.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1) != 0;
        }
        return false;
    };
    for (int i = 0; i < sent.size(); ++i) {
        if (i > 0) {
            QVERIFY(QTest::qWaitFor([&] { return !catches(sent[i - 1]); }, 60000));
            QTest::qWait(50);
        }
        ::kill(pid_t(run.processId()), sent[i]);
    }
    if (failure)
        QVERIFY(QFile::remove(path("paused")));
    // Two SIGINTs: the second ends the run there and then, as SIGKILL would. A rename that fails
    // is reported, its journal kept.
    QVERIFY(run.waitForFinished(60000));
    if (failure) {
        QCOMPARE(run.exitCode(), 1);
        QCOMPARE(
            QString::fromUtf8(run.readAllStandardError()),
            "quillon-convert: b/photo.png : impossible d'écrire command/photo.h : erreur d'entrée-sortie\n");
    } else {
        QCOMPARE(run.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFile::remove(path("paused")));
    }

    if (between == "hand") {
        writeFile(path("command/photo.h"), "// mine");
    } else if (between == "window") {
        MainWindow window;
        QVERIFY(window.loadImage(path("c/photo.png")));
        childOf<QLineEdit>(&window, "dstPath")->setText(path("command"));
        childOf<QPushButton>(&window, "btConvertir")->click();
        QCOMPARE(window.statusBar()->currentMessage(), QString("Convertion terminée avec succès."));
    }
    // The next run for the same files sets them right before anything else, even one that then
    // leaves them as they are.
    const QStringList nextArguments = {"-n", "logo", "-o", path("command"), path("a/photo.png")};
    Run next;
    if (between == "held") {
        environment.insert("QUILLON_PAUSE_IN", "fsync");
        environment.insert("QUILLON_PAUSE_AT", "1");
        environment.insert("LD_PRELOAD", QUILLON_PAUSED_CALL);
        QProcess completing;
        completing.setProcessEnvironment(environment);
        completing.start(QUILLON_CONVERT, nextArguments);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(path("paused")); }, 60000));
        QCOMPARE(readFile(path("command/photo16bits.BMP")),
                 expectedBmp(QPixmap::fromImage(QImage(path("b/photo.png"))).toImage()));
        QCOMPARE(entryNames(path("command")).filter(".journal").size(), 1);
        QVERIFY(QFile::remove(path("paused")));
        QVERIFY(completing.waitForFinished(60000));
        next = {completing.exitCode(), QString(), QString::fromUtf8(completing.readAllStandardError())};
    } else {
        next = quillonConvert(nextArguments);
    }
    QCOMPARE(next.exitCode, 1);
    QCOMPARE(next.err,
             (between == "hand" ? "quillon-convert: " + path("a/photo.png") + " : " + path("command/photo.h")
                      + " a changé depuis la conversion interrompue qui devait le remplacer : laissé tel "
                        "quel\n"
                                : QString())
                 + "quillon-convert: " + path("a/photo.png") + " : " + path("command/photo16bits.BMP")
                 + " existe déjà, image ignorée (--force pour le remplacer)\n");
    const QByteArray bmp = readFile(path("command/photo16bits.BMP"));
    const QString shown = between == "window" ? "c/photo.png" : newPair ? "b/photo.png" : QString();
    QCOMPARE(bmp, shown.isEmpty() ? earlier : expectedBmp(QPixmap::fromImage(QImage(path(shown))).toImage()));
    QCOMPARE(readFile(path("command/photo.h")),
             between == "hand" ? QByteArray("// mine") : expectedHeader(bmp));
    QCOMPARE(entryNames(path("command")), (QStringList {"photo.h", "photo16bits.BMP"}));
}

void TestCli::namesItsTemporaryFilesWhereTheyAreLookedFor_data()
{
    QTest::addColumn<bool>("window"); // the window writes, or the command line
    QTest::addColumn<bool>("linked"); // the outputs are links to files of another folder
    QTest::addColumn<bool>("withoutTmpfile");
    QTest::addColumn<QByteArray>("pauseIn"); // the run held at the first of these calls, if it makes one
    QTest::addColumn<bool>("paused");
    // The files that stand in each folder there, but the outputs and the lock, their six random
    // letters or digits shown as XXXXXX.
    QTest::addColumn<QStringList>("inOutputs");
    QTest::addColumn<QStringList>("elsewhere");

    const QStringList none,
        named = {lockName("photo.h").chopped(5) + "-XXXXXX", lockName("photo.h").chopped(5) + "-XXXXXX",
                 lockName("photo.h").chopped(5) + "-XXXXXX"};
    const QStringList beside = {"photo.h.XXXXXX", "photo16bits.BMP.XXXXXX"};
    // A run that holds the outputs' lock names its files at once, as the next run looks for them:
    // none is unnamed, then named.
    QTest::newRow("the command line, at its first sync")
        << false << false << false << QByteArray("fdatasync") << true << named << none;
    QTest::newRow("the command line, no file named later")
        << false << false << false << QByteArray("linkat") << false << none << none;
    // The command line replaces the links themselves, with their journal, as it replaces files.
    QTest::newRow("the command line through links, no file named later")
        << false << true << false << QByteArray("linkat") << false << none << none;
    QTest::newRow("the window, at its first sync")
        << true << false << false << QByteArray("fdatasync") << true << named << none;
    // The window replaces the files the links name, each beside itself and without a journal,
    // unnamed until it is put in place (or named at once where files cannot be unnamed).
    QTest::newRow("the window through links, before a file is named")
        << true << true << false << QByteArray("linkat") << true << none << none;
    QTest::newRow("the window through links, at its first sync")
        << true << true << false << QByteArray("fdatasync") << true << none << beside;
    QTest::newRow("the window through links without unnamed files, at its first sync")
        << true << true << true << QByteArray("fdatasync") << true << none << beside;
}

// The temporary files of a run that holds the outputs' lock are named with the lock's prefix from
// the start, where the next run finds what a killed one left; others stay unnamed until staged.
void TestCli::namesItsTemporaryFilesWhereTheyAreLookedFor()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers must be the first library loaded");
#endif
    QFETCH(bool, window);
    QFETCH(bool, linked);
    QFETCH(bool, withoutTmpfile);
    QFETCH(QByteArray, pauseIn);
    QFETCH(bool, paused);
    QFETCH(QStringList, inOutputs);
    QFETCH(QStringList, elsewhere);
    QVERIFY(QDir().mkpath(path("a")) && QDir().mkpath(path("b")) && QDir().mkpath(path("elsewhere")));
    savePicture(patternPicture(30, 20), path("a/photo.png"), "PNG");
    savePicture(patternPicture(21, 30, true), path("b/photo.png"), "PNG");
    const QStringList outputs = {"photo.h", "photo16bits.BMP"};
    QCOMPARE(quillonConvert({"-n", "logo", "-o", path("elsewhere"), path("a/photo.png")}).exitCode, 0);
    QVERIFY(QDir().mkpath(path("command")));
    for (const QString &name : outputs) {
        if (linked)
            QVERIFY(QFile::link(path("elsewhere/" + name), path("command/" + name)));
        else
            QVERIFY(QFile::copy(path("elsewhere/" + name), path("command/" + name)));
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD",
                       withoutTmpfile ? QString(QUILLON_PAUSED_CALL ":" QUILLON_NO_TMPFILE)
                                      : QString(QUILLON_PAUSED_CALL));
    environment.insert("QUILLON_PAUSE_IN", pauseIn);
    environment.insert("QUILLON_PAUSE_AT", "1");
    environment.insert("QUILLON_PAUSE_MARK", path("paused"));
    QProcess run;
    run.setProcessEnvironment(environment);
    if (window)
        run.start(QUILLON_JOB_PROBE, {path("b/photo.png"), path("command")});
    else
        run.start(QUILLON_CONVERT, {"-f", "-n", "logo", "-o", path("command"), path("b/photo.png")});
    QVERIFY(QTest::qWaitFor(
        [&] { return QFileInfo::exists(path("paused")) || run.state() == QProcess::NotRunning; }, 60000));
    const auto temporaries = [&](const QString &folder) {
        QStringList names;
        for (const QString &name : entryNames(folder)) {
            if (!outputs.contains(name) && name != lockName("photo.h"))
                names << name.chopped(6) + "XXXXXX";
        }
        return names;
    };
    const QStringList heldInOutputs = temporaries(path("command")),
                      heldElsewhere = temporaries(path("elsewhere"));
    QCOMPARE(QFile::remove(path("paused")), paused);
    QVERIFY(run.state() == QProcess::NotRunning || run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    if (paused) {
        QCOMPARE(heldInOutputs, inOutputs);
        QCOMPARE(heldElsewhere, elsewhere);
    }

    // The new pair where the window wrote it, through the links, or in place of the links.
    const QByteArray bmp = expectedBmp(QPixmap::fromImage(QImage(path("b/photo.png"))).toImage());
    const QString written = window && linked ? "elsewhere/" : "command/";
    QCOMPARE(readFile(path(written + "photo16bits.BMP")), bmp);
    QCOMPARE(readFile(path(written + "photo.h")), expectedHeader(bmp));
    QCOMPARE(entryNames(path("command")), outputs);
    QCOMPARE(entryNames(path("elsewhere")), outputs);
    for (const QString &name : outputs)
        QCOMPARE(QFileInfo(path("command/" + name)).isSymLink(), linked && window);
}

void TestCli::convertsABatchAmongOtherFiles()
{
    // Pictures in two folders, written beside them, among files of others and what killed runs
    // left there: the locks and temporary files of some of the batch's outputs, which go, and a
    // temporary file of outputs of no picture of the batch, which stays.
    QProcess ended;
    ended.start("/bin/sh", {"-c", "exit 0"});
    QVERIFY(ended.waitForStarted());
    const QByteArray deadLock = QByteArray::number(ended.processId()) + "\nquillon-convert\n"
        + QSysInfo::machineHostName().toUtf8() + "\n";
    QVERIFY(ended.waitForFinished());
    QStringList pictures, expected[2];
    for (int f = 0; f < 2; ++f) {
        const QString folder = path(f ? "b" : "a");
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < 30; ++i) {
            writeFile(folder + QString("/other%1.txt").arg(i), "other");
            expected[f] << QString("other%1.txt").arg(i);
        }
        for (int i = 0; i < 4; ++i) {
            const QString name = QString("p%1%2").arg(f).arg(i);
            pictures << folder + "/" + name + ".png";
            savePicture(patternPicture(7 + 4 * i, 5 + f + i, i % 2), pictures.last(), "PNG");
            expected[f] << name + ".png" << name + ".h" << name + "16bits.BMP";
            if (i % 2) {
                writeFile(folder + "/" + lockName((name + ".h").toUtf8()), deadLock);
                writeFile(folder + "/" + temporaryName(name + ".h"), "left");
                const QString link = lockName((name + ".h").toUtf8()).chopped(5) + "-Link00";
                QVERIFY(QFile::link("other0.txt", folder + "/" + link));
                expected[f] << link;
            }
        }
        writeFile(folder + "/" + temporaryName("q.h"), "left");
        expected[f] << temporaryName("q.h");
        std::sort(expected[f].begin(), expected[f].end());
    }
    const Run run = quillonConvert(QStringList {"-v"} + pictures);
    QCOMPARE(run.exitCode, 0);
    // Each picture converted once: its files written, once each, picture after picture.
    QString written;
    for (const QString &picture : pictures) {
        const QString stem = picture.chopped(4);
        written
            += "quillon-convert: " + stem + "16bits.BMP : écrit\nquillon-convert: " + stem + ".h : écrit\n";
    }
    QCOMPARE(run.err, written + "8 images converties, 0 ignorée, 0 en échec\n");
    for (const QString &picture : pictures) {
        const QString stem = picture.chopped(4);
        const QByteArray bmp = readFile(stem + "16bits.BMP");
        QCOMPARE(bmp, expectedBmp(QPixmap::fromImage(QImage(picture)).toImage()));
        QCOMPARE(
            readFile(stem + ".h"),
            expectedHeader(bmp).replace("char logo[", "char " + QFileInfo(stem).fileName().toLatin1() + "["));
    }
    QCOMPARE(entryNames(path("a")), expected[0]);
    QCOMPARE(entryNames(path("b")), expected[1]);
}

void TestCli::leavesEachPictureOfAKilledBatchWhole_data()
{
    QTest::addColumn<QStringList>("options"); // what each picture writes: its pair by default
    QTest::addColumn<QByteArray>("pauseIn"); // where the batch's commit is held, then killed
    QTest::addColumn<int>("pauseAt");
    QTest::addColumn<bool>("journals"); // journals stand where it is held
    QTest::addColumn<bool>("someNew"); // some pictures have their new files once the next run is done

    const QStringList pair, single = {"--format", "rgb565"};
    QTest::newRow("while the batch's files are synced")
        << pair << QByteArray("fdatasync") << 1 << false << false;
    QTest::newRow("once the staged files' names are synced")
        << pair << QByteArray("fsync") << 1 << false << false;
    QTest::newRow("once the journals are named") << pair << QByteArray("fsync") << 2 << true << true;
    QTest::newRow("at the batch's first rename") << pair << QByteArray("rename") << 1 << true << true;
    // The folder synced a third time once the files have their names, before the journals go.
    QTest::newRow("once the renames are synced") << pair << QByteArray("fsync") << 3 << true << true;
    QTest::newRow("at the batch's fifth rename") << pair << QByteArray("rename") << 5 << true << true;
    // A single file each: one rename, which leaves it old or new, and no journal.
    QTest::newRow("a file each, at the batch's third rename")
        << single << QByteArray("rename") << 3 << false << true;
}

void TestCli::leavesEachPictureOfAKilledBatchWhole()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers must be the first library loaded");
#endif
    QFETCH(QStringList, options);
    QFETCH(QByteArray, pauseIn);
    QFETCH(int, pauseAt);
    QFETCH(bool, journals);
    QFETCH(bool, someNew);
    // Six pictures converted from a/, then from b/ (other pictures, of the same names) by a run
    // killed while it commits its batch; the files of each, as runs that end write them.
    QStringList earlier, later;
    QVERIFY(QDir().mkpath(path("a")) && QDir().mkpath(path("b")));
    for (int i = 0; i < 6; ++i) {
        const QString name = QString("p%1.png").arg(i);
        earlier << path("a/" + name);
        later << path("b/" + name);
        savePicture(patternPicture(9 + 2 * i, 7), earlier.last(), "PNG");
        savePicture(patternPicture(7, 9 + 2 * i, true), later.last(), "PNG");
    }
    QCOMPARE(quillonConvert(QStringList {"-o", path("earlier")} + options + earlier).exitCode, 0);
    QCOMPARE(quillonConvert(QStringList {"-o", path("later")} + options + later).exitCode, 0);
    const QStringList names = entryNames(path("earlier"));
    QCOMPARE(names.size(), options.isEmpty() ? 12 : 6);
    QCOMPARE(entryNames(path("later")), names);
    QCOMPARE(quillonConvert(QStringList {"-o", path("command")} + options + earlier).exitCode, 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", QUILLON_PAUSED_CALL);
    environment.insert("QUILLON_PAUSE_IN", pauseIn);
    environment.insert("QUILLON_PAUSE_AT", QString::number(pauseAt));
    environment.insert("QUILLON_PAUSE_MARK", path("paused"));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(QUILLON_CONVERT, QStringList {"-f", "-o", path("command")} + options + later);
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(path("paused")); }, 60000));
    const QStringList held = entryNames(path("command"));
    ::kill(pid_t(run.processId()), SIGKILL);
    QVERIFY(run.waitForFinished(60000));
    QVERIFY(QFile::remove(path("paused")));
    QCOMPARE(!held.filter(".journal").isEmpty(), journals);

    // Each picture's files whole, all of them its earlier ones or all its new ones: the number of
    // pictures with new files, or -1.
    const auto newPictures = [&] {
        QMap<QString, int> sides; // of each picture: 0 earlier, 1 new
        for (const QString &name : names) {
            const QByteArray bytes = readFile(path("command/" + name));
            const int side = bytes == readFile(path("earlier/" + name)) ? 0
                : bytes == readFile(path("later/" + name))              ? 1
                                                                        : -1;
            const QString picture = name.left(2);
            if (side < 0 || sides.value(picture, side) != side)
                return -1;
            sides.insert(picture, side);
        }
        return int(std::count(sides.begin(), sides.end(), 1));
    };
    QVERIFY(newPictures() >= 0);
    // The next run for the same files, without --force: it completes what the journals list, then
    // leaves the files as they stand. Nothing else is left.
    const Run next = quillonConvert(QStringList {"-o", path("command")} + options + earlier);
    QCOMPARE(next.exitCode, 1);
    QVERIFY(next.err.endsWith("0 image convertie, 6 ignorées, 0 en échec\n"));
    const int fresh = newPictures();
    QVERIFY(fresh >= 0);
    QCOMPARE(fresh > 0, someNew);
    QCOMPARE(entryNames(path("command")), names);
}

void TestCli::keepsThePicturesWhoseSyncFails_data()
{
    QTest::addColumn<QByteArray>("failing"); // the call of the batch's commit that fails
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("failed"); // pictures that keep their earlier files

    QTest::newRow("a file's bytes not on the disk") << QByteArray("fdatasync") << 3 << 1;
    // Six pairs and their journals: 18 files, each synced once before its name is given.
    QTest::newRow("the last journal's bytes not on the disk") << QByteArray("fdatasync") << 18 << 1;
    QTest::newRow("the folder's names not on the disk") << QByteArray("fsync") << 1 << 6;
}

void TestCli::keepsThePicturesWhoseSyncFails()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers must be the first library loaded");
#endif
    QFETCH(QByteArray, failing);
    QFETCH(int, at);
    QFETCH(int, failed);
    // Six pictures converted from a/, then from b/ by a batch whose commit meets a disk error: the
    // pictures it touches are refused and keep their earlier files, the others have their new ones.
    QStringList earlier, later;
    QVERIFY(QDir().mkpath(path("a")) && QDir().mkpath(path("b")));
    for (int i = 0; i < 6; ++i) {
        earlier << path(QString("a/p%1.png").arg(i));
        later << path(QString("b/p%1.png").arg(i));
        savePicture(patternPicture(9 + 2 * i, 7), earlier.last(), "PNG");
        savePicture(patternPicture(7, 9 + 2 * i, true), later.last(), "PNG");
    }
    QCOMPARE(quillonConvert(QStringList {"-o", path("earlier")} + earlier).exitCode, 0);
    QCOMPARE(quillonConvert(QStringList {"-o", path("later")} + later).exitCode, 0);
    QCOMPARE(quillonConvert(QStringList {"-o", path("command")} + earlier).exitCode, 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", QUILLON_PAUSED_CALL);
    environment.insert("QUILLON_PAUSE_IN", failing);
    environment.insert("QUILLON_PAUSE_AT", QString::number(at));
    environment.insert("QUILLON_PAUSE_MARK", path("paused"));
    environment.insert("QUILLON_PAUSE_FAIL", QString::number(EIO));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(QUILLON_CONVERT, QStringList {"-f", "-o", path("command")} + later);
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(path("paused")); }, 60000));
    QVERIFY(QFile::remove(path("paused")));
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 1);
    QStringList lines = QString::fromUtf8(run.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.takeLast(),
             failed == 6 ? QString("0 image convertie, 0 ignorée, 6 en échec")
                         : QString("5 images converties, 0 ignorée, 1 en échec"));
    QCOMPARE(lines.size(), failed);
    const QRegularExpression refusal("^quillon-convert: (.*) : impossible d'écrire " + path("command/")
                                     + "\\S+ : erreur d'entrée-sortie$");
    QStringList refused;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = refusal.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        refused << match.captured(1);
    }
    for (int i = 0; i < 6; ++i) {
        const QString side = refused.contains(later[i]) ? "earlier/" : "later/";
        for (const QString &name : {QString("p%1.h").arg(i), QString("p%1").arg(i) + "16bits.BMP"})
            QCOMPARE(readFile(path("command/" + name)), readFile(path(side + name)));
    }
    QCOMPARE(entryNames(path("command")), entryNames(path("earlier")));
}

void TestCli::reapsTheChildrenOfItsReaders()
{
    // Pictures that a reader of another package decodes, each in a child of the decoding server;
    // the last one's reader waits, telling the server's number: the children that ended before it
    // were reaped as they ended, not kept until the server ends.
    QStringList pictures;
    for (int i = 0; i < 12; ++i) {
        pictures << path(QString("u%1.unset").arg(i));
        writeFile(pictures.last(), "UNSET");
    }
    pictures << path("last.wait");
    writeFile(pictures.last(), "WAIT " + path("waiting").toLocal8Bit());
    QProcess run;
    startWithTestReaders(run, QStringList {"-o", path("command")} + pictures);
    QVERIFY(QTest::qWaitFor([&] { return !readFileIfAny(path("waiting")).isEmpty(); }, 60000));
    const QByteArray server = readFile(path("waiting"));
    int children = 0, unreaped = 0;
    for (const QString &process : QDir("/proc").entryList(QDir::Dirs)) {
        const QByteArray stat = readFileIfAny("/proc/" + process + "/stat");
        // pid (name) state ppid ...
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == server) {
            ++children;
            unreaped += fields[0] == "Z" ? 1 : 0;
        }
    }
    QVERIFY(QFile::remove(path("waiting")));
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(children >= 1); // the waiting reader's, at least
    QVERIFY2(unreaped <= 2, qPrintable(QString("%1 children ended and not reaped").arg(unreaped)));
}

void TestCli::forksTheDecodingServerAtItsStart_data()
{
    // After "-o out" and `pngs` PNGs, in a folder that holds a.png, p.gpl (a palette) and u.unset
    // and -u.unset (pictures of no signature, which the readers of other packages are asked for).
    QTest::addColumn<int>("pngs");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("atStart"); // the decoding server forked before any picture's turn

    QTest::newRow("a PNG") << 0 << QStringList {"a.png"} << false;
    QTest::newRow("a palette, then a PNG")
        << 0 << QStringList {"--format", "index4", "--palette", "p.gpl", "a.png"} << false;
    QTest::newRow("a picture of no signature") << 0 << QStringList {"u.unset"} << true;
    QTest::newRow("after --, a picture named as an option") << 0 << QStringList {"--", "-u.unset"} << true;
    // The first 64 arguments that are no option are looked at, the output folder the first of
    // them; a later picture starts the server as a program.
    QTest::newRow("the 64th looked at") << 62 << QStringList {"u.unset"} << true;
    QTest::newRow("the 65th") << 63 << QStringList {"u.unset"} << false;
}

void TestCli::forksTheDecodingServerAtItsStart()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizers must be the first library loaded");
#endif
    QFETCH(int, pngs);
    QFETCH(QStringList, arguments);
    QFETCH(bool, atStart);
    QVERIFY(QDir().mkpath(path("out")));
    savePicture(patternPicture(7, 5), path("a.png"), "PNG");
    writeFile(path("p.gpl"), "GIMP Palette\n0 0 0\n255 255 255\n");
    writeFile(path("u.unset"), "UNSET");
    writeFile(path("-u.unset"), "UNSET");
    QStringList pictures;
    for (int i = 0; i < pngs; ++i) {
        pictures << QString("i%1.png").arg(i);
        QVERIFY(QFile::copy(path("a.png"), path(pictures.last())));
    }
    // Held at its first fork(): the server's, forked at the start or started as a program once a
    // picture that needs it holds its lock.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", QUILLON_PAUSED_CALL);
    environment.insert("QUILLON_PAUSE_IN", "fork");
    environment.insert("QUILLON_PAUSE_AT", "1");
    environment.insert("QUILLON_PAUSE_MARK", path("paused"));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(path());
    startWithTestReaders(run, QStringList {"-o", "out"} + pictures + arguments);
    // A server started as a program is held at its own first fork(), let go too.
    bool forked = false, locked = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (QFileInfo::exists(path("paused"))) {
                locked = locked || (!forked && !entryNames(path("out")).filter(".lock").isEmpty());
                forked = true;
                QFile::remove(path("paused"));
            }
            return run.state() == QProcess::NotRunning;
        },
        60000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(forked && !locked, atStart);
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
    // The window takes the same lock, but waits no longer for a live run that holds it: it then
    // fails, as for any write.
    QLockFile held(path("window/" + lockName("photo.h")));
    QVERIFY(held.tryLock());
    MainWindow window;
    QVERIFY(window.loadImage(path("photo.png")));
    childOf<QLineEdit>(&window, "dstPath")->setText(path("window"));
    childOf<QPushButton>(&window, "btConvertir")->click();
    QCOMPARE(window.statusBar()->currentMessage(), QString("Echec de la convertion."));
    QCOMPARE(entryNames(path("window")), QStringList {lockName("photo.h")});
    held.unlock();
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

void TestCli::refusesLocksOfAnotherUser()
{
    // Locks that another user left in a shared folder, which only that user may remove, whatever
    // they say: each waited for the stated time, never longer, then the picture is refused,
    // naming the lock and its owner. All the runs at once, so that their waits overlap.
    const QStringList nobody = anotherUser();
    if (nobody.isEmpty())
        QSKIP("only root can leave files as another user (setpriv)");
    savePicture(patternPicture(8, 8), path("photo.png"), "PNG");
    QProcess ended;
    ended.start("/bin/sh", {"-c", "exit 0"});
    QVERIFY(ended.waitForStarted());
    const QString dead = QString::number(ended.processId()), host = QSysInfo::machineHostName();
    QVERIFY(ended.waitForFinished());
    const SharedFolder shared;
    QVERIFY(shared.isValid());
    const struct
    {
        const char *name;
        QString script; // run as the other user, with the lock's path in $1
    } locks[] = {
        {"damaged", "printf '\\001\\002 quillon' > \"$1\""},
        {"process 1's", "printf '1\\nquillon-convert\\n%s\\n' " + host + " > \"$1\""},
        {"another host's", "printf '%s\\nquillon-convert\\nelsewhere.invalid\\n' " + dead + " > \"$1\""},
        {"a dead process's", "printf '%s\\nquillon-convert\\n%s\\n' " + dead + " " + host + " > \"$1\""},
        {"held by a live process", "exec flock \"$1\" sleep 60"},
    };
    const int count = int(sizeof locks / sizeof *locks);
    QProcess holders[count], runs[count];
    for (int i = 0; i < count; ++i) {
        const QString folder = shared.path(QString::number(i)), lock = folder + "/" + lockName("photo.h");
        QVERIFY(QDir().mkpath(folder) && ::chmod(QFile::encodeName(folder).constData(), 01777) == 0);
        const QStringList command = nobody + QStringList {"/bin/sh", "-c", locks[i].script, "sh", lock};
        holders[i].start(command.first(), command.mid(1));
        QVERIFY2(QTest::qWaitFor([&] { return QFileInfo::exists(lock); }, 30000), locks[i].name);
        runs[i].start(QUILLON_CONVERT, {"-o", folder, path("photo.png")});
    }
    QTest::qWait(5000);
    for (int i = 0; i < count; ++i)
        QVERIFY2(runs[i].state() == QProcess::Running, locks[i].name);
    for (int i = 0; i < count; ++i) {
        const QString folder = shared.path(QString::number(i)), lock = folder + "/" + lockName("photo.h");
        QVERIFY2(runs[i].waitForFinished(60000), locks[i].name);
        QCOMPARE(runs[i].exitCode(), 1);
        const QString run = "quillon-convert: " + path("photo.png") + " : ";
        QCOMPARE(QString::fromUtf8(runs[i].readAllStandardError()),
                 run + "le verrou " + lock
                     + " appartient à l'utilisateur nobody : attente de 10 s au plus qu'il soit retiré\n"
                     + run + "le verrou " + lock
                     + ", de l'utilisateur nobody, est resté en place 10 s : seul son propriétaire peut le "
                       "retirer, "
                       "rien n'a été écrit\n");
        QCOMPARE(entryNames(folder), QStringList {lockName("photo.h")});
        holders[i].kill();
        holders[i].waitForFinished();
    }
}

void TestCli::leavesAloneWhatOthersLeave_data()
{
    QTest::addColumn<bool>("byAnother"); // left by another user, or by the user running
    // A script run where the files are left, in $SHARED, with $VICTIM the user's folder of
    // a.txt, b.txt and sub/c.txt, $JOURNAL the journal of photo.h in $OUTPUT and $DEAD the number
    // of a process that ended; as root when it gives a file to another user (chown).
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("sharedOutput"); // the output folder is $SHARED, else one of the user's
    QTest::addColumn<bool>("sharedTemporaries"); // TMPDIR is $SHARED
    QTest::addColumn<QString>("kept"); // left in $SHARED as it was ($STAGED: a temporary file's name)
    QTest::addColumn<bool>("refused"); // the journal refused, nothing written
    QTest::addColumn<QStringList>("options"); // of the call: --bundle photo writes photo.h too

    // As a journal of an earlier version, whose lines a run followed wherever they led.
    const QString journal = "printf 'quillon-journal 1\\n%s %s\\n%s %s\\n%s %s\\nfin\\n' \"$VICTIM/a.txt\" "
                            "\"$VICTIM/b.txt\" \"$SHARED/planted\" \"$VICTIM/planted\" ../victim/b.txt "
                            "../victim/sub/c.txt > \"$JOURNAL\" && echo planted > \"$SHARED/planted\"";
    QTest::newRow("another user's journal")
        << true << journal << true << false << "planted" << true << QStringList();
    QTest::newRow("another user's journal, of a bundle's header")
        << true << journal << true << false << "planted" << true
        << QStringList {"--format", "mono", "--bundle", "photo"};
    QTest::newRow("one's own journal naming files elsewhere")
        << false << journal << false << false << "planted" << false << QStringList();
    // One's own journal whose lines name a file elsewhere for an output, and one of this run's
    // temporary names for a file elsewhere: neither is followed.
    const QString staged = "STAGED=\"${JOURNAL%.journal}-abcdef\" && ";
    const QString elsewhere = staged
        + "echo staged > \"$STAGED\" && printf 'quillon-journal 1\\n%s %s\\n%s %s\\nfin\\n' "
          "\"$VICTIM/a.txt\" photo.h \"$(basename \"$STAGED\")\" \"$VICTIM/b.txt\" > \"$JOURNAL\" "
          "&& echo planted > \"$SHARED/planted\"";
    QTest::newRow("one's own journal naming files elsewhere as an output's and a temporary one's")
        << false << elsewhere << false << false << "planted" << false << QStringList();
    // One's own journal naming, as a temporary file, a file of that name another user left.
    QTest::newRow("one's own journal naming another user's file as a temporary one")
        << false
        << staged
            + "echo theirs > \"$STAGED\" && chown nobody:nogroup \"$STAGED\" && printf "
              "'quillon-journal 1\\n%s photo.h\\nfin\\n' \"$(basename \"$STAGED\")\" > \"$JOURNAL\""
        << true << false << "$STAGED" << false << QStringList();
    // The temporary folder of a run that ended, as a killed run leaves it.
    const QString link = "ln -s \"$VICTIM\" \"$SHARED/quillon-decode-$DEAD-abcdef\"";
    QTest::newRow("another user's link among the temporary folders")
        << true << link << false << true << "quillon-decode-$DEAD-abcdef" << false << QStringList();
    QTest::newRow("one's own link among the temporary folders")
        << false << link << false << true << "quillon-decode-$DEAD-abcdef" << false << QStringList();
    QTest::newRow("another user's folder among the temporary folders")
        << true
        << "mkdir \"$SHARED/quillon-decode-$DEAD-abcdef\" && echo kept > "
           "\"$SHARED/quillon-decode-$DEAD-abcdef/file\""
        << false << true << "quillon-decode-$DEAD-abcdef/file" << false << QStringList();
}

void TestCli::leavesAloneWhatOthersLeave()
{
    QFETCH(bool, byAnother);
    QFETCH(QString, script);
    QFETCH(bool, sharedOutput);
    QFETCH(bool, sharedTemporaries);
    QFETCH(QString, kept);
    QFETCH(bool, refused);
    QFETCH(QStringList, options);
    const QStringList nobody = anotherUser();
    if ((byAnother || script.contains("chown")) && nobody.isEmpty())
        QSKIP("only root can leave files as another user (setpriv, chown)");
    // Read by a reader in a child process, whose temporary folder goes to TMPDIR.
    const QByteArray format = sharedTemporaries ? "tga" : "png";
    if (!QImageWriter::supportedImageFormats().contains(format))
        QSKIP("no TGA reader and writer (kimageformat-plugins)");
    const QString picture = path("photo." + format);
    savePicture(patternPicture(9, 7), picture, format.constData());
    QVERIFY(QDir().mkpath(path("victim/sub")));
    writeFile(path("victim/a.txt"), "A");
    writeFile(path("victim/b.txt"), "B");
    writeFile(path("victim/sub/c.txt"), "C");
    QProcess ended;
    ended.start("/bin/sh", {"-c", "exit 0"});
    QVERIFY(ended.waitForStarted());
    const QString dead = QString::number(ended.processId());
    QVERIFY(ended.waitForFinished());
    const SharedFolder shared;
    QVERIFY(shared.isValid());
    const QString output = sharedOutput ? shared.path() : path("command");
    const QString journal = output + "/" + lockName("photo.h").replace(".lock", ".journal");
    const QStringList environment = {"/usr/bin/env",
                                     "SHARED=" + shared.path(),
                                     "VICTIM=" + path("victim"),
                                     "JOURNAL=" + journal,
                                     "DEAD=" + dead,
                                     "/bin/sh",
                                     "-c",
                                     script};
    const Run left = runProgram((byAnother ? nobody : QStringList()) + environment);
    QVERIFY2(left.exitCode == 0, qPrintable(left.err));

    const Run run = quillonConvert(options + QStringList {"-o", output, picture},
                                   sharedTemporaries ? QStringList {"/usr/bin/env", "TMPDIR=" + shared.path()}
                                                     : QStringList());
    QCOMPARE(run.err,
             refused ? "quillon-convert: " + (options.isEmpty() ? picture : output + "/photo.h")
                     + " : le journal " + journal
                     + " appartient à l'utilisateur nobody : il n'est pas suivi, et rien n'a été écrit\n"
                     : QString());
    QCOMPARE(run.exitCode, refused ? 1 : 0);
    QCOMPARE(QFileInfo::exists(output + "/photo.h"), !refused);
    QCOMPARE(entryNames(path("victim")), (QStringList {"a.txt", "b.txt", "sub"}));
    QCOMPARE(readFile(path("victim/a.txt")), QByteArray("A"));
    QCOMPARE(readFile(path("victim/b.txt")), QByteArray("B"));
    QCOMPARE(readFile(path("victim/sub/c.txt")), QByteArray("C"));
    const QString keptPath
        = shared.path(QString(kept)
                          .replace("$DEAD", dead)
                          .replace("$STAGED", QFileInfo(journal).completeBaseName() + "-abcdef"));
    QVERIFY(QFileInfo(keptPath).isSymLink() || QFileInfo::exists(keptPath));
}

// --decode: a split pair read from either file, a damaged header refused with the exit status 1
// and no picture, and a link another user left where a picture goes left alone.
void TestCli::decodesHeadersItIsGiven()
{
    savePicture(patternPicture(7, 4, true), path("pic.png"), "PNG");
    // LVGL's pair: the descriptor in the C file, declared in the header.
    for (const QStringList &format : {QStringList {"gray4"}, QStringList {"lvgl", "--compress", "lz4"}}) {
        const Run split = quillonConvert(
            QStringList {"--format"} + format
            + QStringList {"--split", "--preview", "-f", "-o", path("pair"), path("pic.png")});
        QCOMPARE(split.exitCode, 0);
        const QImage preview = QImage(path("pair/pic16bits.png")).convertToFormat(QImage::Format_RGB32);
        for (const char *file : {"pair/pic.h", "pair/pic.c"}) {
            const Run run = quillonConvert({"--decode", "-f", "-o", path("out"), path(file)});
            QCOMPARE(run.err, QString());
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(QImage(path("out/pic16bits.png")).convertToFormat(QImage::Format_RGB32), preview);
        }
    }

    // The window's header, a BMP file as its array, rows of 7 pixels padded from 14 bytes to 16:
    // the 5-6-5 pixels of the rgb565 preview.
    QCOMPARE(quillonConvert({"-o", path("window"), path("pic.png")}).exitCode, 0);
    QCOMPARE(quillonConvert({"--decode", "-o", path("window"), path("window/pic.h")}).exitCode, 0);
    QCOMPARE(
        quillonConvert({"--format", "rgb565", "--preview", "-o", path("shown"), path("pic.png")}).exitCode,
        0);
    QCOMPARE(QImage(path("window/pic16bits.png")).convertToFormat(QImage::Format_RGB32),
             QImage(path("shown/pic16bits.png")).convertToFormat(QImage::Format_RGB32));
    // An animation's frames, named as --preview names them.
    writeFile(path("anim.h"),
              "// Quillon decoding: --format gray8\n#define anim_width 3\n#define anim_height 1\n"
              "const uint8_t anim_frame0[] = {0, 255, 0};\nconst uint8_t anim_frame1[] = {255, 0, 255};\n");
    QCOMPARE(quillonConvert({"--decode", "-o", path("anim"), path("anim.h")}).err, QString());
    QCOMPARE(entryNames(path("anim")), (QStringList {"anim16bits_frame0.png", "anim16bits_frame1.png"}));
    QCOMPARE(QImage(path("anim/anim16bits_frame1.png")).pixel(2, 0), qRgb(255, 255, 255));

    const QStringList nobody = anotherUser();
    if (nobody.isEmpty())
        QSKIP("only root can leave files as another user (setpriv)");
    const SharedFolder shared;
    QVERIFY(shared.isValid());
    writeFile(path("victim.png"), "V");
    const Run left = runProgram(
        nobody + QStringList {"/bin/ln", "-s", path("victim.png"), shared.path() + "/pic16bits.png"});
    QVERIFY2(left.exitCode == 0, qPrintable(left.err));
    const Run run = quillonConvert({"--decode", "-o", shared.path(), path("pair/pic.h")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err,
             "quillon-convert: " + path("pair/pic.h") + " : " + shared.path()
                 + "/pic16bits.png existe déjà (--force pour le remplacer)\n");
    QCOMPARE(readFile(path("victim.png")), QByteArray("V"));
    QVERIFY(QFileInfo(shared.path() + "/pic16bits.png").isSymLink());
}

void TestCli::answersUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("no picture") << QStringList() << "aucune image indiquée";
    // One header of display arrays for the call's pictures, and nothing else.
    QTest::newRow("--bundle of bmp") << QStringList {"--bundle", "icons", "a.png"}
                                     << "--bundle ne s'emploie pas avec --format bmp : choisissez un format "
                                        "d'écran hors lvgl (rgb565, mono...)";
    QTest::newRow("--bundle of lvgl")
        << QStringList {"--format", "lvgl", "--bundle", "icons", "a.png"}
        << "--bundle ne s'emploie pas avec --format lvgl : choisissez un format "
           "d'écran hors lvgl (rgb565, mono...)";
    QTest::newRow("--bundle with --frames")
        << QStringList {"--format", "mono", "--frames", "all", "--bundle", "icons", "a.gif"}
        << "--bundle ne s'emploie pas avec --frames : le paquet n'écrit que son en-tête";
    QTest::newRow("--bundle with --preview")
        << QStringList {"--format", "mono", "--preview", "--bundle", "icons", "a.png"}
        << "--bundle ne s'emploie pas avec --preview : le paquet n'écrit que son en-tête";
    QTest::newRow("--bundle of a leading digit")
        << QStringList {"--format", "mono", "--bundle", "3icons", "a.png"}
        << "--bundle : le nom « 3icons » commence par un chiffre";
    QTest::newRow("--bundle named as the reader")
        << QStringList {"--format", "mono", "--compress", "rle", "--bundle", "quillon_rle", "a.png"}
        << "--bundle : l'en-tête serait quillon_rle.h, le nom du lecteur des tableaux codés que --compress "
           "rle "
           "écrit à côté des en-têtes";
    QTest::newRow("--bundle named as the reader, in capitals")
        << QStringList {"--format", "mono", "--compress", "rle", "--bundle", "Quillon_rle", "a.png"}
        << "--bundle : l'en-tête serait Quillon_rle.h, le nom du lecteur des tableaux codés que --compress "
           "rle écrit à côté des en-têtes";
    QTest::newRow("--bundle with --binary")
        << QStringList {"--format", "mono", "--binary", "--bundle", "icons", "a.png"}
        << "--bundle ne s'emploie pas avec --binary : le paquet n'écrit que son en-tête";
    QTest::newRow("--bundle defining a picture's name")
        << QStringList {"--format", "mono", "--bundle", "a", "b.png", "a_count.png"}
        << "--bundle : l'en-tête du paquet a et celui de a_count.png définiraient tous deux « a_count » : "
           "nommez le paquet autrement";
    QTest::newRow("--bundle defining one name twice")
        << QStringList {"--format", "mono", "--bundle", "a", "b.png", "images.png"}
        << "--bundle : le paquet a définirait deux fois « a_images » : renommez l'image";
    QTest::newRow("--size without --decode")
        << QStringList {"--size", "3x2", "a.h"} << "--size ne s'emploie qu'avec --decode";
    QTest::newRow("--decode with an option of conversions")
        << QStringList {"--decode", "--dither", "a.h"} << "--dither ne s'emploie pas avec --decode";
    QTest::newRow("--decode, --format without --size")
        << QStringList {"--decode", "--format", "mono", "a.h"}
        << "--decode lit le format dans l'en-tête de Quillon ; le tableau d'un autre outil se relit avec "
           "--format et --size ensemble";
    QTest::newRow("--decode, --size of no width")
        << QStringList {"--decode", "--format", "mono", "--size", "0x2", "a.h"}
        << "--size : « 0x2 » n'est pas une taille LxH de 1 à 32768";
    QTest::newRow("--decode, --size of 32768 x 32769")
        << QStringList {"--decode", "--format", "mono", "--size", "32768x32769", "a.h"}
        << "--size : « 32768x32769 » n'est pas une taille LxH de 1 à 32768";
    QTest::newRow("--decode, --size of 32769 x 32768")
        << QStringList {"--decode", "--format", "mono", "--size", "32769x32768", "a.h"}
        << "--size : « 32769x32768 » n'est pas une taille LxH de 1 à 32768";
    QTest::newRow("unknown option") << QStringList {"--colour", "a.png"} << "option inconnue « --colour »";
    // A slip of the fingers: the option nearest to it, or the one it begins with or alone begins.
    const QString meant = "option inconnue « %1 » ; vouliez-vous dire « %2 » ?";
    QTest::newRow("two letters swapped")
        << QStringList {"--fromat", "mono", "a.png"} << meant.arg("--fromat", "--format");
    QTest::newRow("a letter missing, with its value")
        << QStringList {"--outpt=out", "a.png"} << meant.arg("--outpt", "--output");
    QTest::newRow("two slips") << QStringList {"--bakcgrond", "white", "a.png"}
                               << meant.arg("--bakcgrond", "--background");
    QTest::newRow("an option and more")
        << QStringList {"--dithering", "a.png"} << meant.arg("--dithering", "--dither");
    QTest::newRow("the beginning of one option")
        << QStringList {"--prog", "a.png"} << meant.arg("--prog", "--progmem");
    // One slip at most in a name of 4 letters or fewer, two in a longer one.
    QTest::newRow("a slip in 4 letters") << QStringList {"--nmae", "a.png"} << meant.arg("--nmae", "--name");
    QTest::newRow("two slips in 4 letters")
        << QStringList {"--xrox", "a.png"} << "option inconnue « --xrox »";
    QTest::newRow("two slips in 5 letters")
        << QStringList {"--cnavs", "9x9", "a.png"} << meant.arg("--cnavs", "--canvas");
    // The beginning of an option counts from 3 letters on.
    QTest::newRow("the first 2 letters of one option")
        << QStringList {"--sp", "a.png"} << "option inconnue « --sp »";
    QTest::newRow("the first 3 letters of one option")
        << QStringList {"--spl", "a.png"} << meant.arg("--spl", "--split");
    const QString twoDashes = "« %1 » : une option longue prend deux tirets ; vouliez-vous dire « --%2 » ?";
    QTest::newRow("a long option with one dash")
        << QStringList {"-format", "mono", "a.png"} << twoDashes.arg("-format", "format");
    QTest::newRow("a long option with one dash and its value")
        << QStringList {"a.png", "-output=out"} << twoDashes.arg("-output=out", "output");
    QTest::newRow("bundled short options that spell no option")
        << QStringList {"-fo", "", "a.png"} << "le dossier de destination est vide";
    QTest::newRow("the beginning of several")
        << QStringList {"--for", "a.png"} << "option inconnue « --for »";
    QTest::newRow("a short option") << QStringList {"-x", "a.png"} << "option inconnue « -x »";
    QTest::newRow("folder missing") << QStringList {"a.png", "-o"} << "l'option « -o » attend un dossier";
    QTest::newRow("empty folder") << QStringList {"--output=", "a.png"}
                                  << "le dossier de destination est vide";
    // An option given twice: the last value counts.
    QTest::newRow("empty folder given last")
        << QStringList {"-o", "out", "--output=", "a.png"} << "le dossier de destination est vide";
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
        << "--format : format inconnu « rgb555 » (bmp, rgb565, rgb332, rgb444, rgb666, rgb888, mono, xbm, "
           "pages, gray8, gray4, index4, index8, lvgl, gray2, epd-bw-red, epd-bw-yellow, epd7, epd-bwry ou "
           "epd-spectra6)";
    const QString stdintName
        = "--name : le nom « %1 » est de ceux que définit <stdint.h>, que l'en-tête inclut";
    QTest::newRow("a type of stdint.h")
        << QStringList {"-n", "uint16_t", "--format", "rgb565", "a.png"} << stdintName.arg("uint16_t");
    QTest::newRow("a limit of stdint.h")
        << QStringList {"-n", "INT8_MAX", "a.png"} << stdintName.arg("INT8_MAX");
    QTest::newRow("a constant macro of stdint.h")
        << QStringList {"-n", "UINT64_C", "a.png"} << stdintName.arg("UINT64_C");
    QTest::newRow("a least type of stdint.h")
        << QStringList {"-n", "int_least8_t", "--format", "mono", "a.png"} << stdintName.arg("int_least8_t");
    // Any other name ending in _t: POSIX reserves them, the system's headers may define one.
    QTest::newRow("a name ending in _t")
        << QStringList {"-n", "sprite_t", "--format", "mono", "a.png"}
        << "--name : le nom « sprite_t » finit par _t, que POSIX réserve aux noms de types";
    QTest::newRow("a file's name ending in _t")
        << QStringList {"--format", "xbm", "icon_t.png"}
        << "icon_t.png : le nom « icon_t » finit par _t, que POSIX réserve aux noms de types ; renommez le "
           "fichier ou nommez son tableau avec --name";
    QTest::newRow("PROGMEM itself")
        << QStringList {"--progmem", "-n", "PROGMEM", "a.png"}
        << "--name : le nom « PROGMEM » est de ceux que définit <avr/pgmspace.h>, que l'en-tête inclut";
    QTest::newRow("a function of pgmspace.h")
        << QStringList {"--progmem", "-n", "strlen_P", "a.png"}
        << "--name : le nom « strlen_P » est de ceux que définit <avr/pgmspace.h>, que l'en-tête inclut";
    QTest::newRow("a register of avr/io.h")
        << QStringList {"--progmem", "-n", "PORTB", "a.png"}
        << "--name : le nom « PORTB » est de ceux que définit <avr/io.h>, que l'en-tête inclut";
    // Every display format's arrays but LVGL's are in program memory on AVR, after <avr/io.h>.
    QTest::newRow("a register of avr/io.h, pages")
        << QStringList {"--format", "pages", "-n", "OCR1A", "a.png"}
        << "--name : le nom « OCR1A » est de ceux que définit <avr/io.h>, que l'en-tête inclut";
    QTest::newRow("a register of avr/io.h, e-paper")
        << QStringList {"--format", "epd-bw-red", "-n", "SREG", "a.png"}
        << "--name : le nom « SREG » est de ceux que définit <avr/io.h>, que l'en-tête inclut";
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
        << "--stride-align ne s'emploie qu'avec --format rgb565, rgb332, rgb666, rgb888, mono, "
           "xbm, pages, gray8, gray4, gray2, index4, index8 ou lvgl";
    // Zeros would be ink on e-paper panels.
    QTest::newRow("stride of the ACeP panels")
        << QStringList {"--format", "epd7", "--stride-align", "4", "a.png"}
        << "--stride-align ne s'emploie qu'avec --format rgb565, rgb332, rgb666, rgb888, mono, "
           "xbm, pages, gray8, gray4, gray2, index4, index8 ou lvgl";
    QTest::newRow("stride of the four-ink panels")
        << QStringList {"--format", "epd-bwry", "--stride-align", "2", "a.png"}
        << "--stride-align ne s'emploie qu'avec --format rgb565, rgb332, rgb666, rgb888, mono, "
           "xbm, pages, gray8, gray4, gray2, index4, index8 ou lvgl";
    // Red and blue exchanged where pixels or palettes hold them, red first or blue first only; rgb888
    // keeps every colour. (The lists above tell who takes --stride-align and --swap-bytes.)
    QTest::newRow("colour order of a grey format")
        << QStringList {"--format", "gray8", "--color-order", "bgr", "a.png"}
        << "--color-order ne s'emploie qu'avec --format rgb565, rgb332, rgb444, rgb666, rgb888, index4 ou "
           "index8";
    QTest::newRow("colour order of LVGL, whose display driver orders them")
        << QStringList {"--format", "lvgl", "--color-order", "rgb", "a.png"}
        << "--color-order ne s'emploie qu'avec --format rgb565, rgb332, rgb444, rgb666, rgb888, index4 ou "
           "index8";
    QTest::newRow("stride of the 12-bit stream")
        << QStringList {"--format", "rgb444", "--stride-align", "2", "a.png"}
        << "--stride-align ne s'emploie qu'avec --format rgb565, rgb332, rgb666, rgb888, mono, "
           "xbm, pages, gray8, gray4, gray2, index4, index8 ou lvgl";
    QTest::newRow("empty colour order") << QStringList {"--format", "rgb332", "--color-order=", "a.png"}
                                        << "--color-order : «  » inconnu (rgb ou bgr)";
    QTest::newRow("unknown colour order")
        << QStringList {"--format", "rgb565", "--color-order", "BGR", "a.png"}
        << "--color-order : « BGR » inconnu (rgb ou bgr)";
    QTest::newRow("24 bits dithered") << QStringList {"--format", "rgb888", "--dither", "a.png"}
                                      << "--dither ne s'emploie pas avec --format rgb888, qui garde chaque "
                                         "couleur telle quelle";
    QTest::newRow("24 bits dithered by Bayer's matrix")
        << QStringList {"--format", "rgb888", "--dither-method", "bayer", "a.png"}
        << "--dither-method ne s'emploie pas avec --format rgb888, qui garde chaque couleur telle quelle";
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
    QTest::newRow("invert on a Spectra 6 panel")
        << QStringList {"--format", "epd-spectra6", "--invert", "a.png"}
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
    QTest::newRow("palette a FIFO, which would wait for a writer for ever")
        << QStringList {"--format", "index4", "--palette", "fifo.gpl", "a.png"}
        << "--palette : fifo.gpl : pas un fichier ordinaire";
    QTest::newRow("palette a device") << QStringList {"--format", "index8", "--palette", "/dev/zero", "a.png"}
                                      << "--palette : /dev/zero : pas un fichier ordinaire";
    QTest::newRow("mask without 5-6-5") << QStringList {"--format", "index8", "--alpha", "mask", "a.png"}
                                        << "--alpha ne s'emploie qu'avec --format rgb565";
    QTest::newRow("unknown alpha") << QStringList {"--format", "rgb565", "--alpha", "keep", "a.png"}
                                   << "--alpha : « keep » inconnu (mask seulement)";
    QTest::newRow("transparent in grey") << QStringList {"--format", "gray4", "--transparent", "red", "a.png"}
                                         << "--transparent ne s'emploie qu'avec --format rgb565";
    QTest::newRow("LVGL colour format unknown")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "RGB555", "a.png"}
        << "--lvgl-cf : « RGB555 » inconnu pour LVGL 9 (RGB565, RGB565A8, RGB565_SWAPPED, RGB888, XRGB8888, "
           "ARGB8888, ARGB8565, ARGB1555, ARGB4444, L8, AL88, A1, A2, A4, A8, I1, I2, I4, I8)";
    QTest::newRow("LVGL 8 colour format unknown")
        << QStringList {"--format", "lvgl", "--lvgl-version", "8", "--lvgl-cf", "RGB888", "a.png"}
        << "--lvgl-cf : « RGB888 » inconnu pour LVGL 8 (RGB565, RGB565A8, ARGB8565, A1, A2, A4, A8, I1, I2, "
           "I4, I8)";
    QTest::newRow("LVGL colour format empty")
        << QStringList {"--format", "lvgl", "--lvgl-cf=", "--lvgl-version", "8", "a.png"}
        << "--lvgl-cf : «  » inconnu pour LVGL 8 (RGB565, RGB565A8, ARGB8565, A1, A2, A4, A8, I1, I2, I4, "
           "I8)";
    // Refused as it is read, before the options read after it.
    QTest::newRow("LVGL colour format unknown, and a crop")
        << QStringList {"--format", "lvgl", "--crop", "1,2", "--lvgl-cf", "rgb565", "a.png"}
        << "--lvgl-cf : « rgb565 » inconnu pour LVGL 9 (RGB565, RGB565A8, RGB565_SWAPPED, RGB888, XRGB8888, "
           "ARGB8888, ARGB8565, ARGB1555, ARGB4444, L8, AL88, A1, A2, A4, A8, I1, I2, I4, I8)";
    for (const char *lvgl9Only : {"ARGB1555", "ARGB4444", "AL88"})
        QTest::newRow(qPrintable(QString("LVGL 8 has no %1").arg(lvgl9Only)))
            << QStringList {"--format", "lvgl", "--lvgl-cf", lvgl9Only, "--lvgl-version", "8", "a.png"}
            << QString("--lvgl-cf : « %1 » inconnu pour LVGL 8 (RGB565, RGB565A8, ARGB8565, A1, A2, A4, A8, "
                       "I1, I2, I4, I8)")
                   .arg(lvgl9Only);
    QTest::newRow("ARGB1555 dithered")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "ARGB1555", "--dither", "a.png"}
        << "--dither ne s'emploie pas avec --lvgl-cf ARGB1555, dont les couleurs sont coupées à leurs bits "
           "de "
           "poids fort";
    QTest::newRow("ARGB4444 dithered")
        << QStringList {"--format", "lvgl", "--dither", "--lvgl-cf=ARGB4444", "a.png"}
        << "--dither ne s'emploie pas avec --lvgl-cf ARGB4444, dont les couleurs sont coupées à leurs bits "
           "de "
           "poids fort";
    QTest::newRow("ARGB1555 dithered by Bayer")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "ARGB1555", "--dither-method", "bayer", "a.png"}
        << "--dither-method ne s'emploie pas avec --lvgl-cf ARGB1555, dont les couleurs sont coupées à leurs "
           "bits de poids fort";
    QTest::newRow("threshold with alpha only")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "A1", "--threshold", "100", "a.png"}
        << "--threshold ne s'emploie avec LVGL qu'avec --lvgl-cf I1";
    QTest::newRow("invert with grey and alpha")
        << QStringList {"--format", "lvgl", "--lvgl-cf", "AL88", "--invert", "a.png"}
        << "--invert ne s'emploie avec LVGL qu'avec --lvgl-cf I1 ou L8";
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
    for (const char *suffix : {"_palette", "_mask", "_map", "_transparent", "_red", "_mask_stride"})
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
    // --compress rle codes every display format's arrays but LVGL's, which LVGL compresses itself.
    QTest::newRow("LZ4 without LVGL") << QStringList {"--format", "mono", "--compress", "lz4", "a.png"}
                                      << "--compress lz4 ne s'emploie qu'avec --format lvgl ; rle code les "
                                         "tableaux des autres formats";
    QTest::newRow("compression of the BMP file's bytes")
        << QStringList {"--compress", "rle", "a.png"}
        << "--compress ne s'emploie pas avec --format bmp, dont l'en-tête tient les octets du fichier BMP ; "
           "choisissez un format d'écran (rgb565, mono...)";
    QTest::newRow("unknown coding") << QStringList {"--format", "gray4", "--compress", "zip", "a.png"}
                                    << "--compress : « zip » inconnu (rle)";
    // The reader goes beside the headers, under its own name; a header's names beside its arrays'.
    const QString reader = "%1 : son en-tête serait %2, le nom du lecteur des tableaux codés que --compress "
                           "rle écrit à côté des en-têtes ; renommez le fichier";
    QTest::newRow("a picture named as the reader")
        << QStringList {"--format", "mono", "--compress", "rle", "b.png", "quillon_rle.png"}
        << reader.arg("quillon_rle.png", "quillon_rle.h");
    QTest::newRow("a picture named as the reader, in other letters")
        << QStringList {"--format", "epd7", "--compress", "rle", "sub/Quillon_RLE.jpg"}
        << reader.arg("sub/Quillon_RLE.jpg", "Quillon_RLE.h");
    QTest::newRow("a coded array's size")
        << QStringList {"--format", "rgb565", "--compress", "rle", "pic.png", "pic_size.png"}
        << clash.arg("pic.png", "pic_size.png", "pic_size");
    QTest::newRow("a coded mask") << QStringList {"--format", "rgb565",           "--compress",
                                                  "rle",      "pic_mask_rle.png", "pic.png"}
                                  << clash.arg("pic_mask_rle.png", "pic.png", "pic_mask_rle");
    QTest::newRow("a frame's coded array")
        << QStringList {"--format", "mono", "--compress", "rle",
                        "--frames", "all",  "a.gif",      "a_frame2_rle.gif"}
        << clash.arg("a.gif", "a_frame2_rle.gif", "a_frame2_rle");
    QTest::newRow("--binary with --format bmp named")
        << QStringList {"--format", "bmp", "--binary", "a.png"}
        << "--binary ne s'emploie pas avec --format bmp : NOM16bits.BMP est déjà le fichier des octets de "
           "son "
           "tableau";
    QTest::newRow("translucent key colour")
        << QStringList {"--format", "rgb565", "--transparent", "transparent", "a.png"}
        << "--transparent : la couleur « transparent » doit être opaque";
    QTest::newRow("an unknown dither method")
        << QStringList {"--dither-method", "floyd", "a.png"}
        << "--dither-method : « floyd » inconnue (fs, atkinson ou bayer)";
    // The tone's limits, each refused one step beyond.
    const QString brightness = "--brightness : « %1 » n'est pas une luminosité de -100 à 100",
                  contrast = "--contrast : « %1 » n'est pas un contraste de -100 à 100",
                  gamma = "--gamma : « %1 » n'est pas un gamma de 0.1 à 10";
    QTest::newRow("brightness below -100")
        << QStringList {"--brightness", "-101", "a.png"} << brightness.arg("-101");
    QTest::newRow("brightness above 100")
        << QStringList {"--brightness=101", "a.png"} << brightness.arg("101");
    QTest::newRow("contrast below -100") << QStringList {"--contrast=-101", "a.png"} << contrast.arg("-101");
    QTest::newRow("contrast above 100") << QStringList {"--contrast", "101", "a.png"} << contrast.arg("101");
    QTest::newRow("gamma below 0.1") << QStringList {"--gamma", "0.09", "a.png"} << gamma.arg("0.09");
    QTest::newRow("gamma above 10") << QStringList {"--gamma=10.1", "a.png"} << gamma.arg("10.1");
    QTest::newRow("gamma with an exponent") << QStringList {"--gamma=1e1", "a.png"} << gamma.arg("1e1");
}

void TestCli::answersUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    // Run in a folder of its own, which holds a FIFO.
    QVERIFY(::mkfifo(QFile::encodeName(path("fifo.gpl")).constData(), 0600) == 0);
    const Run run = quillonConvert(arguments, {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", path("")});
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
    QTest::addColumn<QString>("declared"); // in the header
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
    // Names of <avr/io.h> and lvgl.h where these are not included: the window's header, in RAM.
    row("a register's name, bmp", {"-n", "OCR1A"}, "a.png", "const unsigned char OCR1A[");
    row("LVGL_H without LVGL", {"--format", "bmp", "-n", "LVGL_H"}, "a.png", "const unsigned char LVGL_H[");
    // The reader's own name, a header's where nothing is coded; beside it, a name that is not it.
    row("the reader's name, nothing coded", {"--format", "mono"}, "quillon_rle.png",
        "static const uint8_t quillon_rle[");
    row("a name that is not the reader's, coded", {"--format", "mono", "--compress", "rle"},
        "quillon_rle_.png", "static const uint8_t quillon_rle__rle[");
    // avr-gcc takes objects of 32,767 bytes at most: 151 x 217 grey bytes are one array, 256 x 128
    // go to far program memory in pieces; the largest AVR's flash takes 393,216 bytes (768 x 512),
    // not 11 x 35,747 (answersEachPicture). In flash on AVR by default, but checked only when asked:
    // other chips take larger arrays.
    const QStringList grey = {"--progmem", "--format", "gray8"};
    row("gray8, 32,767 bytes", grey, "grey.png",
        "static const uint8_t grey[32767] QUILLON_PROGMEM = ", QSize(151, 217));
    row("gray8, 32,768 bytes", grey, "grey.png",
        "static const uint8_t grey[QUILLON_FAR_SIZE(32768, 32766)] QUILLON_FAR(grey) = ", QSize(256, 128));
    row("split, 32,768 bytes", grey + QStringList {"--split"}, "grey.png",
        "extern const uint8_t grey[QUILLON_FAR_SIZE(32768, 32766)] QUILLON_FAR_DECLARED(grey);",
        QSize(256, 128));
    row("gray8, 393,216 bytes", grey, "grey.png",
        "static const uint8_t grey[QUILLON_FAR_SIZE(393216, 32766)] QUILLON_FAR(grey) = ", QSize(768, 512));
    row("gray8 without --progmem, 393,217 bytes", {"--format", "gray8"}, "grey.png",
        "static const uint8_t grey[QUILLON_FAR_SIZE(393217, 32766)] QUILLON_FAR(grey) = ", QSize(11, 35747));
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
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QByteArray header = readFile(path("command/" + outputBaseName(file) + ".h"));
    // One array, whatever brackets the drawing lines of the comment and the macros hold.
    const QString code = QString::fromUtf8(header).remove(
        QRegularExpression("^(//|#)[^\n]*\n", QRegularExpression::MultilineOption));
    QVERIFY2(header.contains(declared.toUtf8()) && code.count('[') == 1, header.constData());
}

// --bundle writes one header of the call's pictures and no file of theirs, or nothing when one of
// them fails; an existing bundle is kept without --force, as any output.
void TestCli::bundlesThePictures()
{
    const QStringList sizes = {"7x5", "16x9", "9x16", "13x13", "31x2"};
    QStringList pictures;
    for (const QString &size : sizes) {
        pictures << path("i" + size + ".png");
        savePicture(patternPicture(size.section('x', 0, 0).toInt(), size.section('x', 1).toInt()),
                    pictures.last(), "PNG");
    }
    const QStringList call
        = {"-v", "--format", "rgb565", "--split", "--progmem", "--bundle", "icons", "-o", path("out")};
    const Run run = quillonConvert(call + pictures);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err,
             "quillon-convert: " + path("out/icons.h") + " : écrit\nquillon-convert: " + path("out/icons.c")
                 + " : écrit\n5 images converties, 0 ignorée, 0 en échec\n");
    QCOMPARE(entryNames(path("out")), (QStringList {"icons.c", "icons.h"}));
    const QByteArray header = readFile(path("out/icons.h"));
    QVERIFY2(header.contains("#define icons_count 5\n")
                 && header.contains("extern const uint16_t *const "
                                    "icons_images[5] QUILLON_PROGMEM;\n"),
             header.constData());
    QVERIFY(readFile(path("out/icons.c"))
                .contains("const uint16_t icons_widths[5] QUILLON_PROGMEM = \n{\n"
                          "\t0x0007,0x0010,0x0009,0x000d,0x001f\n};"));
    QVERIFY(readFile(path("out/icons.c"))
                .contains("const uint16_t *const icons_images[5] QUILLON_PROGMEM = \n{\n"
                          "\ti7x5, i16x9, i9x16, i13x13,\n\ti31x2\n};"));
    QVERIFY2(header.contains("// On AVR, the tables are in program memory: (const uint16_t "
                             "*)pgm_read_ptr(&icons_images[i]), pgm_read_word(&icons_widths[i]).\n"),
             header.constData());
    // Read back by --decode, each picture as its own preview shows it.
    QCOMPARE(quillonConvert({"--decode", "-o", path("decoded"), path("out/icons.h")}).exitCode, 0);
    QCOMPARE(
        quillonConvert(QStringList {"--format", "rgb565", "--preview", "-o", path("previews")} + pictures)
            .exitCode,
        0);
    for (const QString &size : sizes) {
        const QString preview = "i" + size + "16bits.png";
        QCOMPARE(QImage(path("decoded/" + preview)), QImage(path("previews/" + preview)));
    }
    QCOMPARE(entryNames(path("decoded")).size(), sizes.size());

    const Run again = quillonConvert(call + pictures);
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.endsWith("quillon-convert: " + path("out/icons.h") + " : " + path("out/icons.h")
                                + " existe déjà, image ignorée (--force pour le remplacer)\n"),
             qPrintable(again.err));

    const Run missing
        = quillonConvert(QStringList {"--format", "rgb565", "--bundle", "icons", "-o", path("none")}
                         + pictures + QStringList {path("missing.png")});
    QCOMPARE(missing.exitCode, 1);
    QCOMPARE(missing.err,
             "quillon-convert: " + path("missing.png") + " : fichier introuvable\n"
                 + "5 images converties, 0 ignorée, 1 en échec\nquillon-convert: " + path("none/icons.h")
                 + " : non écrit : une image du paquet n'a pas été convertie\n");
    QCOMPARE(entryNames(path("none")), QStringList());
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
    // Each gravity by its name: 7 x 5 on 12 x 8, the larger half of the margins left and at the top.
    const QVector<QPair<const char *, QPoint>> gravities
        = {{"north-west", {0, 0}}, {"north", {3, 0}},  {"north-east", {5, 0}},
           {"west", {0, 2}},       {"center", {3, 2}}, {"east", {5, 2}},
           {"south-west", {0, 3}}, {"south", {3, 3}},  {"south-east", {5, 3}}};
    for (const auto &[gravity, at] : gravities)
        QTest::addRow("on a canvas, %s", gravity) << QStringList {"--canvas", "12x8", "--gravity", gravity}
                                                  << pattern << onBlack(pattern, QSize(12, 8), at) << false;

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
    QVERIFY(
        text.contains("#if defined(__AVR__)\n#include <avr/pgmspace.h>\n#define QUILLON_PROGMEM PROGMEM\n"
                      "#elif defined(ARDUINO_ARCH_ESP8266)\n#include <pgmspace.h>\n#define QUILLON_PROGMEM "
                      "PROGMEM\n#else\n#define QUILLON_PROGMEM\n#endif\n"));
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

void TestCli::writesWhatTheEngineEncodes_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<EncodingOptions>("encoding");
    QTest::addColumn<DisplayOptions>("display");
    QTest::addColumn<bool>("bmp");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<QString>("warning"); // on standard error, after the picture's name
    QString warning;
    const auto row = [&warning](const char *name, const QStringList &options, const char *format,
                                const std::function<void(EncodingOptions &, DisplayOptions &)> &set,
                                bool bmp = true, bool preview = true) {
        EncodingOptions encoding;
        encoding.header.arrayName = "pic";
        DisplayOptions display;
        set(encoding, display);
        QTest::newRow(name) << options << QByteArray(format) << encoding << display << bmp << preview
                            << warning;
        warning.clear();
    };
    // Values read alike whatever spaces surround them. A 1-bit array all unlit or all lit is
    // written and told, with what likely made it so: here, the threshold.
    warning
        = QString::fromUtf8("pic : tous ses pixels sont éteints (0) : l'image est partout plus sombre que le "
                            "seuil 255, ses pixels transparents posés sur du noir (une icône sombre sur "
                            "fond transparent ? essayez --background white --invert, sinon --threshold N "
                            "avec N plus bas)");
    row("mono, threshold 255, spaces around", {"--format", " mono", "--threshold", " 255 "}, "mono",
        [](EncodingOptions &e, DisplayOptions &) { e.pixels.threshold = 255; });
    warning = QString::fromUtf8("pic : tous ses pixels sont allumés (1) : l'image est partout au moins aussi "
                                "claire que le seuil 0 (essayez --threshold N avec N plus haut)");
    row("xbm, threshold 0, aligned with spaces around",
        {"--format", "xbm", "--threshold=0", "--stride-align", "4 "}, "xbm",
        [](EncodingOptions &e, DisplayOptions &) {
            e.pixels.threshold = 0;
            e.arrays.strideAlign = 4;
        });
    // The alpha handed to the encoder only when a mask or a key colour asks for it.
    row("rgb565 with a mask, swapped", {"--format", "rgb565", "--alpha", "mask", "--swap-bytes"}, "rgb565",
        [](EncodingOptions &e, DisplayOptions &) {
            e.pixels.alphaMask = true;
            e.pixels.swapBytes = true;
        });
    row("rgb565 with a key colour", {"--format", "rgb565", "--transparent", "#102030"}, "rgb565",
        [](EncodingOptions &e, DisplayOptions &) { e.pixels.transparent = QColor("#102030"); });
    // One --dither for the preparation and the encoder; the picture shaped first.
    row("gray4 on white, dithered, inverted",
        {"--format", "gray4", "--background", "white", "--dither", "--invert"}, "gray4",
        [](EncodingOptions &e, DisplayOptions &d) {
            d.background = Qt::white;
            e.display.dither = d.dither = Dithering::FloydSteinberg;
            e.pixels.invert = true;
        });
    row("index8 turned and fitted", {"--format", "index8", "--rotate", "90", "--fit", "5x9"}, "index8",
        [](EncodingOptions &, DisplayOptions &d) {
            d.rotation = 90;
            d.fit = QSize(5, 9);
        });
    // LVGL's options, --swap-bytes as its swapped colour format.
    row("lvgl, swapped, rows of 8 bytes", {"--format", "lvgl", "--swap-bytes", "--stride-align", "8"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) {
            e.lvgl.colourFormat = LvglColourFormat::Rgb565Swapped;
            e.arrays.strideAlign = 8;
        });
    row("lvgl, I1 at 90, inverted", {"--format", "lvgl", "--lvgl-cf", "I1", "--threshold", "90", "--invert"},
        "lvgl", [](EncodingOptions &e, DisplayOptions &) {
            e.lvgl.colourFormat = LvglColourFormat::I1;
            e.pixels.threshold = 90;
            e.pixels.invert = true;
        });
    row("lvgl, L8 inverted", {"--format", "lvgl", "--lvgl-cf", "L8", "--invert"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) {
            e.lvgl.colourFormat = LvglColourFormat::L8;
            e.pixels.invert = true;
        });
    row("lvgl, LZ4", {"--format", "lvgl", "--lvgl-cf=ARGB8888", "--compress", "lz4"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) {
            e.lvgl.colourFormat = LvglColourFormat::Argb8888;
            e.arrays.compression = ArrayLayout::Lz4;
        });
    // The preview drawn from the pixels kept for the header, with no second picture: its own, the
    // BMP file's then drawn from it, or the array's rows, padded.
    row(
        "lvgl, ARGB8888, no BMP file", {"--format", "lvgl", "--lvgl-cf", "ARGB8888"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) { e.lvgl.colourFormat = LvglColourFormat::Argb8888; },
        false);
    row("lvgl, RGB888", {"--format", "lvgl", "--lvgl-cf", "RGB888"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) { e.lvgl.colourFormat = LvglColourFormat::Rgb888; });
    row(
        "lvgl, RGB565A8 in rows of 4 bytes, no BMP file", {"--format", "lvgl", "--stride-align", "4"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) { e.arrays.strideAlign = 4; }, false);
    row(
        "lvgl, RGB888, BMP file and no preview", {"--format", "lvgl", "--lvgl-cf", "RGB888"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) { e.lvgl.colourFormat = LvglColourFormat::Rgb888; }, true,
        false);
    row(
        "gray4, no BMP file", {"--format", "gray4"}, "gray4", [](EncodingOptions &, DisplayOptions &) {},
        false);
    row("lvgl 8, I2", {"--format", "lvgl", "--lvgl-version", "8", "--lvgl-cf", "I2"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) {
            e.lvgl.version = 8;
            e.lvgl.colourFormat = LvglColourFormat::I2;
        });
    // Red and blue exchanged or not; the colours dithered to the layout's bits, the BMP file's 5-6-5
    // pixels drawn from the array's bytes.
    row("index8, rgb order", {"--format", "index8", "--color-order", " rgb "}, "index8",
        [](EncodingOptions &, DisplayOptions &) {});
    row(
        "rgb332, bgr, dithered, no preview", {"--format", "rgb332", "--color-order=bgr", "--dither"},
        "rgb332",
        [](EncodingOptions &e, DisplayOptions &d) {
            e.pixels.bgr = true;
            e.display.dither = d.dither = Dithering::FloydSteinberg;
        },
        true, false);
    row("rgb444, Atkinson", {"--format", "rgb444", "--dither-method", "atkinson"}, "rgb444",
        [](EncodingOptions &e, DisplayOptions &) { e.display.dither = Dithering::Atkinson; });
    row("rgb666, bgr, Bayer", {"--format", "rgb666", "--color-order", "bgr", "--dither-method", "bayer"},
        "rgb666", [](EncodingOptions &e, DisplayOptions &) {
            e.pixels.bgr = true;
            e.display.dither = Dithering::Bayer;
        });
    row("e-paper in program memory", {"--format", "epd-bw-red", "--progmem"}, "epd-bw-red",
        [](EncodingOptions &e, DisplayOptions &) { e.header.progmem = true; });
    // Each way of dithering, which --dither-method implies; fs is --dither's.
    row("rgb565, fs", {"--format", "rgb565", "--dither-method", "fs"}, "rgb565",
        [](EncodingOptions &e, DisplayOptions &) { e.display.dither = Dithering::FloydSteinberg; });
    row("mono, Atkinson", {"--format", "mono", "--dither-method=atkinson"}, "mono",
        [](EncodingOptions &e, DisplayOptions &) { e.display.dither = Dithering::Atkinson; });
    row("epd7, Bayer, --dither given too", {"--format", "epd7", "--dither", "--dither-method", " bayer"},
        "epd7", [](EncodingOptions &e, DisplayOptions &) { e.display.dither = Dithering::Bayer; });
    // The tone at each of its limits.
    row("rgb565, brightness -100", {"--format", "rgb565", "--brightness", "-100"}, "rgb565",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.brightness = -100; });
    row("gray4, brightness 100", {"--format", "gray4", "--brightness=+100"}, "gray4",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.brightness = 100; });
    row("index4, contrast -100", {"--format", "index4", "--contrast", "-100"}, "index4",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.contrast = -100; });
    row("gray8, contrast 100", {"--format", "gray8", "--contrast", " 100 "}, "gray8",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.contrast = 100; });
    row("lvgl, gamma 0.1", {"--format", "lvgl", "--gamma", "0.1"}, "lvgl",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.gamma = 0.1; });
    row("rgb565, gamma 10", {"--format", "rgb565", "--gamma=10"}, "rgb565",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.gamma = 10; });
    // A tone that gives every pixel one level: told so, no threshold would mend it.
    warning = QString::fromUtf8("pic : tous ses pixels sont éteints (0) : --brightness -100 et --contrast 0 "
                                "donnent le même niveau, 0, à chaque pixel de toute image, quel que soit le "
                                "seuil (rapprochez-les de 0)");
    row("mono, brightness -100", {"--format", "mono", "--brightness", "-100"}, "mono",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.brightness = -100; });
    warning
        = QString::fromUtf8("pic : tous ses pixels sont allumés (1) : --brightness 40 et --contrast -100 "
                            "donnent le même niveau, 179, à chaque pixel de toute image, quel que soit le "
                            "seuil (rapprochez-les de 0)");
    row("pages, contrast -100, lighter", {"--format", "pages", "--contrast", "-100", "--brightness", "40"},
        "pages", [](EncodingOptions &e, DisplayOptions &) {
            e.display.tone.contrast = -100;
            e.display.tone.brightness = 40;
        });
    // One step short of flat, its lightest levels stay apart: a lower threshold mends it.
    warning
        = QString::fromUtf8("pic : tous ses pixels sont éteints (0) : l'image est partout plus sombre que le "
                            "seuil 128, ses pixels transparents posés sur du noir (une icône sombre sur "
                            "fond transparent ? essayez --background white --invert, sinon --threshold N "
                            "avec N plus bas)");
    row("mono, brightness -99", {"--format", "mono", "--brightness", "-99"}, "mono",
        [](EncodingOptions &e, DisplayOptions &) { e.display.tone.brightness = -99; });
    row("four inks, dithered", {"--format", "epd-bwry", "--dither"}, "epd-bwry",
        [](EncodingOptions &e, DisplayOptions &) { e.display.dither = Dithering::FloydSteinberg; });
    row("six inks, fitted", {"--format", "epd-spectra6", "--fit", "7x5"}, "epd-spectra6",
        [](EncodingOptions &, DisplayOptions &d) { d.fit = QSize(7, 5); });
    // Coded by run length, beside the reader.
    row("rgb565 with a mask, coded", {"--format", "rgb565", "--alpha", "mask", "--compress", " rle "},
        "rgb565", [](EncodingOptions &e, DisplayOptions &) {
            e.pixels.alphaMask = true;
            e.arrays.compression = ArrayLayout::Rle;
        });
    row("rgb666, coded", {"--format", "rgb666", "--compress", "rle"}, "rgb666",
        [](EncodingOptions &e, DisplayOptions &) { e.arrays.compression = ArrayLayout::Rle; });
    row(
        "index8 in rows of 4 bytes, coded", {"--format", "index8", "--stride-align", "4", "--compress=rle"},
        "index8",
        [](EncodingOptions &e, DisplayOptions &) {
            e.arrays.strideAlign = 4;
            e.arrays.compression = ArrayLayout::Rle;
        },
        false, false);
    // Its two left columns, blue and green, have no red; what has no ink is told plane by plane.
    warning
        = QString::fromUtf8("pic_red : plan tout blanc, aucun pixel n'étant plus près de son encre que du "
                            "blanc ou de l'autre encre (--dither répartit l'encre des teintes "
                            "intermédiaires)");
    row("e-paper, no red", {"--format", "epd-bw-red", "--crop", "0,0,2x6"}, "epd-bw-red",
        [](EncodingOptions &, DisplayOptions &d) { d.crop = QRect(0, 0, 2, 6); });
}

// The command line reads its options into the engine's and writes the engine's header, the BMP
// file and the preview of what it shows.
void TestCli::writesWhatTheEngineEncodes()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, format);
    QFETCH(EncodingOptions, encoding);
    QFETCH(DisplayOptions, display);
    QFETCH(bool, bmp);
    QFETCH(bool, preview);
    QFETCH(QString, warning);
    // 13 x 6, translucent at its top right.
    QImage picture(13, 6, QImage::Format_ARGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x)
            picture.setPixel(x, y, qRgba(x * 19, y * 47, (x * y * 13) % 256, x == 12 && y < 3 ? 40 : 255));
    savePicture(picture, path("pic.png"), "PNG");
    const Run run = quillonConvert(QStringList {"-n", "pic", "-o", path("command")}
                                   + (preview ? QStringList {"--preview"} : QStringList())
                                   + (bmp ? QStringList {"--bmp"} : QStringList()) + options
                                   + QStringList {path("pic.png")});
    QCOMPARE(run.err,
             warning.isEmpty() ? warning : "quillon-convert: " + path("pic.png") + " : " + warning + "\n");
    QCOMPARE(run.exitCode, 0);
    EncodedPicture encoded = encodedFor(picture, format, encoding, display);
    const DisplayFormat *displayFormat = findDisplayFormat(format);
    if (displayFormat)
        encoded.header.commentLines << decodingLine(*displayFormat, encoding);
    QCOMPARE(QString::fromUtf8(readFile(path("command/pic.h"))), headerText(encoded.header));
    // The reader of coded arrays beside the header that includes it, and only there.
    if (encoding.arrays.compression == ArrayLayout::Rle && format != "lvgl")
        QCOMPARE(readFile(path("command/quillon_rle.h")), readFile(FIRMWARE_DIR "/quillon_rle.h"));
    else
        QVERIFY(!QFileInfo::exists(path("command/quillon_rle.h")));
    const QImage shown = encoded.shownPicture();
    if (preview)
        QCOMPARE(QImage(path("command/pic16bits.png")).convertToFormat(QImage::Format_RGB32), shown);
    else
        QVERIFY(!QFileInfo::exists(path("command/pic16bits.png")));
    if (bmp)
        QCOMPARE(readFile(path("command/pic16bits.BMP")), expectedBmp(shown));
    else
        QVERIFY(!QFileInfo::exists(path("command/pic16bits.BMP")));
    // Read back by --decode into another folder: what the preview shows.
    const Run decoded = quillonConvert({"--decode", path("command/pic.h"), "-o", path("decoded")});
    QCOMPARE(decoded.err, QString());
    QCOMPARE(decoded.exitCode, 0);
    QCOMPARE(QImage(path("decoded/pic16bits.png")).convertToFormat(QImage::Format_RGB32), shown);
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
