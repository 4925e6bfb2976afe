#include "child_decoder.h"
#include "mainwindow.h"
#include "picture_decoding.h"
#include "picture_format.h"
#include "picturesupport.h"
#include "testsupport.h"
#include "windowtestsupport.h"

#include <QDialog>
#include <QDir>
#include <QImageReader>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <thread>

#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

using namespace TestSupport;

// Makes a file's bytes, given a scratch folder; none when the machine cannot make it.
using FileMaker = std::function<QByteArray(const QString &)>;
Q_DECLARE_METATYPE(FileMaker)

namespace {

// The test's misbehaving readers, for this process and the decoding server it starts.
const bool testReaders = [] {
    qputenv("QT_PLUGIN_PATH", QUILLON_TEST_PLUGINS);
    return true;
}();

// Whether this process is refused the reading of another one's memory, as some systems refuse
// it: a child's picture then comes through a memory file.
bool processMemoryRefused = false;

const char hostileMessage[] = "Cette image est illisible ou trop coûteuse à décoder.";

const auto be32 = bigEndian32, le32 = littleEndian32;

// A Radiance HDR file whose old-style run lengths add up, 8 bits more at each run, to far more
// than its row: the third run repeats a pixel 255 << 16 times in a row of 32768.
QByteArray damagedRadiance()
{
    return QByteArray("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 32768\n")
        + QByteArray::fromHex("0a141e80 01010101 01010101 010101ff") + QByteArray(64, '\x33');
}

// An animated cursor whose header, and its one frame's directory, announce 16 x 16, and whose
// frame is the PNG given.
QByteArray animatedCursor(const QByteArray &png)
{
    const QByteArray cursor
        = QByteArray::fromHex("000002000100 10100000 00000000") + le32(quint32(png.size())) + le32(22) + png;
    QByteArray header;
    for (quint32 value : {36, 1, 1, 16, 16, 32, 1, 10, 1}) // its size, frames, steps, 16 x 16...
        header += le32(value);
    const QByteArray frames = "fram" + QByteArray("icon") + le32(quint32(cursor.size())) + cursor;
    const QByteArray body
        = "ACON" + QByteArray("anih") + le32(36) + header + "LIST" + le32(quint32(frames.size())) + frames;
    return "RIFF" + le32(quint32(body.size())) + body;
}

QByteArray greyPng(int width, int height)
{
    QImage grey(width, height, QImage::Format_Grayscale8);
    grey.fill(0x40);
    return pngFile(grey);
}

// A GIMP picture of 16 x 16 with one RGB layer of the size given, whose pixels are left
// transparent (a level without tiles).
QByteArray gimpPicture(quint32 layerWidth, quint32 layerHeight)
{
    QByteArray xcf = QByteArray("gimp xcf file", 14) + be32(16) + be32(16) + be32(0) // RGB
        + be32(0) + be32(0) // no property
        + be32(42) + be32(0); // one layer, at 42
    xcf += be32(layerWidth) + be32(layerHeight) + be32(0) + be32(0) // RGB, no name
        + be32(0) + be32(0) // no property: visible
        + be32(74) + be32(0); // its hierarchy at 74, no mask
    xcf += be32(layerWidth) + be32(layerHeight) + be32(3) + be32(94) + be32(0); // one level, at 94
    return xcf + be32(layerWidth) + be32(layerHeight) + be32(0); // no tile
}

} // namespace

// The engine linked into this test calls this one, which is the C library's unless refused.
extern "C" ssize_t process_vm_readv(pid_t pid, const iovec *local, unsigned long localCount,
                                    const iovec *remote, unsigned long remoteCount,
                                    unsigned long flags) noexcept
{
    if (processMemoryRefused) {
        errno = EPERM;
        return -1;
    }
    return syscall(SYS_process_vm_readv, pid, local, localCount, remote, remoteCount, flags);
}

// Files that make other packages' readers crash, or take far more than they announce: the
// reader runs in a child process, which alone pays for it.
class TestHostileFiles : public QObject, protected TestSupport::TemporaryFolder
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(renewFolder());
        QVERIFY(QDir(path()).mkdir("out"));
    }
    void cleanup() { processMemoryRefused = false; }
    void handsPicturesBackWhole_data();
    void handsPicturesBackWhole();
    void refusesWhatHurtsItsReader_data();
    void refusesWhatHurtsItsReader();
    void windowStaysUpAfterADamagedFile();
    void endsTheReaderWithItsParent_data();
    void endsTheReaderWithItsParent();
    void keepsThePictureItsReaderShrinks();
    void signalsOnlyItsOwnReaders();
    void decodesPicturesInTurn_data();
    void decodesPicturesInTurn();
    void keepsNoMoreChildrenWaitingThanItDecodesAtOnce();
};

void TestHostileFiles::handsPicturesBackWhole_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("memoryRefused");
    for (const bool refused : {false, true}) {
        const char *way = refused ? "through a memory file" : "from the child's memory";
        QTest::addRow("TIFF of 61 x 43, %s", way) << QByteArray("tiff") << QSize(61, 43) << refused;
        // More than a page of 2 MiB, and an odd width.
        QTest::addRow("WebP of 1031 x 517, %s", way) << QByteArray("webp") << QSize(1031, 517) << refused;
        QTest::addRow("TGA of 1 x 1, %s", way) << QByteArray("tga") << QSize(1, 1) << refused;
    }
}

void TestHostileFiles::handsPicturesBackWhole()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(bool, memoryRefused);
    if (!QImageReader::supportedImageFormats().contains(format))
        QSKIP("no reader of this format (qt5-image-formats-plugins, kimageformat-plugins)");
    const QString picture = path("picture." + format);
    savePicture(patternPicture(size.width(), size.height(), true), picture, format.constData());
    QVERIFY(!isQtOwnFormat(format));

    processMemoryRefused = memoryRefused;
    const DecodedPicture decoded = decodePicture(picture);
    QCOMPARE(int(decoded.status), int(DecodedPicture::Decoded));
    QCOMPARE(decoded.fullSize, size);
    // The same picture as the reader gives here, and twice in a row: the child, forked anew for
    // each, starts from the same memory.
    const QImage here = QImageReader(picture, format).read();
    QCOMPARE(decoded.image.format(), here.format());
    QCOMPARE(decoded.image, here);
    QCOMPARE(decodePicture(picture).image, here);
}

void TestHostileFiles::refusesWhatHurtsItsReader_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<FileMaker>("make");
    QTest::addColumn<QStringList>("boxes"); // those that may tell the refusal; none: converted
    QTest::addColumn<QString>("told"); // what quillon-convert tells of it, when checked

    const QString hostile = QString::fromUtf8(hostileMessage);
    const QString tooLarge = QString::fromUtf8("Cette image est trop grande pour être convertie.");
    const QString notAPicture = QString::fromUtf8("Ce fichier ne sempble pas être une image.");
    const auto bytes
        = [](const QByteArray &file) { return FileMaker([file](const QString &) { return file; }); };

    // Its reader writes far beyond its row: the reader's process dies of it.
    QTest::newRow("damaged Radiance HDR")
        << "damaged.hdr" << bytes(damagedRadiance()) << QStringList {hostile} << QString();
    // Size announced 16 x 16: the picture held is one row over the limit, or as announced.
    QTest::newRow("ANI of 16 x 16 holding a PNG of 8192 x 8193")
        << "large.ani" << bytes(animatedCursor(greyPng(8192, 8193))) << QStringList {tooLarge} << QString();
    QTest::newRow("ANI of 16 x 16 holding a PNG of 16 x 16")
        << "small.ani" << bytes(animatedCursor(greyPng(16, 16))) << QStringList() << QString();
    // A layer of 30000 x 29999 on a canvas of 16 x 16: 3.5 GB of tiles, refused by the kernel's
    // limit on the child, which quillon-convert tells; one of 13 x 11 fits.
    QTest::newRow("XCF of a layer larger than its canvas")
        << "layer.xcf" << bytes(gimpPicture(30000, 29999)) << QStringList {notAPicture, hostile}
        << QString::fromUtf8(
               "le lecteur de ce format a manqué de mémoire : il a atteint la limite de 768 Mio "
               "de son processus, image refusée");
    QTest::newRow("XCF of a layer within its canvas")
        << "fits.xcf" << bytes(gimpPicture(13, 11)) << QStringList() << QString();
    // A few kilobytes of flat 16-bit JPEG XL: gigabytes once decoded, whatever the reader does.
    QTest::newRow("16-bit JPEG XL of 8192 x 8192") << "deep.jxl" << FileMaker([](const QString &scratch) {
        const QString encoder = QStandardPaths::findExecutable("cjxl");
        if (encoder.isEmpty())
            return QByteArray();
        QImage deep(8192, 8192, QImage::Format_RGBA64);
        deep.fill(QColor(20, 200, 90));
        const QString source = scratch + "/deep.png", made = scratch + "/deep.jxl";
        savePicture(deep, source, "PNG");
        QProcess::execute(encoder, {source, made, "-e", "1", "-d", "0"});
        return readFileIfAny(made);
    }) << QStringList {hostile, tooLarge, notAPicture}
                                                   << QString();
}

void TestHostileFiles::refusesWhatHurtsItsReader()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves terabytes of address space: an address-space limit cannot apply");
#endif
    QFETCH(QString, name);
    QFETCH(FileMaker, make);
    QFETCH(QStringList, boxes);
    QFETCH(QString, told);
    const QString prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");
    const QByteArray file = make(path());
    if (file.isEmpty())
        QSKIP("no program to make this file (cjxl, Debian package libjxl-tools)");
    const QByteArray format = pictureFormatOf(file, name);
    if (!QImageReader::supportedImageFormats().contains(format))
        QSKIP("no reader of this format (Debian package kimageformat-plugins)");
    writeFile(path(name), file);

    // The window's job, held to 1 GiB, which the file's reader alone would go past.
    const QByteArray printed = runJobProbe({prlimit, "--as=1073741824", "--"}, {path(name), path("out")});
    if (boxes.isEmpty()) {
        QVERIFY2(printed.contains("status: Convertion terminée avec succès.\n"), printed.constData());
        const QByteArray bmp = readFile(path("out/" + name.section('.', 0, 0) + "16bits.BMP"));
        QCOMPARE(bmp, expectedBmp(QPixmap::fromImage(QImage(path(name))).toImage()));
        return;
    }
    bool shown = false;
    for (const QString &box : boxes)
        shown = shown || printed.contains("box: " + box.toUtf8() + "\nrefused\n");
    QVERIFY2(shown, printed.constData());
    QCOMPARE(entryNames(path("out")), QStringList());
    if (!told.isEmpty()) {
        const Run run = quillonConvert({"-o", path("out"), path(name)});
        QCOMPARE(run.err, "quillon-convert: " + path(name) + " : " + told + "\n");
        QCOMPARE(run.exitCode, 1);
    }
}

void TestHostileFiles::windowStaysUpAfterADamagedFile()
{
    if (!QImageReader::supportedImageFormats().contains("hdr"))
        QSKIP("no reader of Radiance HDR (Debian package kimageformat-plugins)");
    writeFile(path("damaged.hdr"), damagedRadiance());
    savePicture(patternPicture(23, 17), path("after.png"), "PNG");
    MainWindow window;
    window.show();
    childOf<QLineEdit>(&window, "dstPath")->setText(path("out"));
    QString boxText;
    {
        ModalWatcher watcher([&](QWidget *modal) {
            boxText = qobject_cast<QMessageBox *>(modal)->text();
            static_cast<QDialog *>(modal)->accept();
        });
        QVERIFY(!window.loadImage(path("damaged.hdr")));
    }
    QCOMPARE(boxText, QString::fromUtf8(hostileMessage));
    QCOMPARE(entryNames(path("out")), QStringList());

    // Still up, and converting.
    QVERIFY(window.isVisible());
    QVERIFY(window.loadImage(path("after.png")));
    childOf<QPushButton>(&window, "btConvertir")->click();
    QCOMPARE(window.statusBar()->currentMessage(), QString::fromUtf8("Convertion terminée avec succès."));
    QCOMPARE(readFile(path("out/after16bits.BMP")), expectedBmp(patternPicture(23, 17)));
}

void TestHostileFiles::endsTheReaderWithItsParent_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM, which quillon-convert handles") << int(SIGTERM);
    QTest::newRow("SIGKILL, which it cannot") << int(SIGKILL);
}

void TestHostileFiles::endsTheReaderWithItsParent()
{
    QFETCH(int, signal);
    // A reader that starts a program of its own, as ghostscript's does, then waits for ever.
    const QString started = path("started.pid");
    writeFile(path("bad.picture"), "SPAWN " + started.toLocal8Bit());
    QProcess run;
    startWithTestReaders(run, {"-o", path("out"), path("bad.picture")});
    QVERIFY(run.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return !readFileIfAny(started).isEmpty(); }, 30000));
    const QByteArray program = readFileIfAny(started);
    const auto statusOf = [](const QByteArray &pid) {
        const QByteArray stat = readFileIfAny("/proc/" + pid + "/stat");
        return stat.mid(stat.lastIndexOf(')') + 2).split(' '); // its state, then its parent
    };
    const QByteArray reader = statusOf(program).value(1); // the reader's process
    QVERIFY(!reader.isEmpty() && reader != "1");
    const auto ended = [&](const QByteArray &pid) {
        const QList<QByteArray> status = statusOf(pid);
        return status.isEmpty() || status.first().isEmpty() || status.first() == "Z";
    };
    QVERIFY(!ended(reader));

    ::kill(pid_t(run.processId()), signal);
    // The reader's process and the program it started end within a second, whatever the
    // reader was doing.
    QVERIFY(QTest::qWaitFor([&] { return ended(reader) && ended(program); }, 1000));
    QVERIFY(run.state() == QProcess::NotRunning || run.waitForFinished(10000));
    // Nothing written; a run killed outright leaves its lock file, which the next one takes over.
    if (signal == SIGTERM) {
        QCOMPARE(run.exitCode(), 128 + SIGTERM);
        QCOMPARE(entryNames(path("out")), QStringList());
    } else {
        QCOMPARE(QDir(path("out")).entryList(QDir::Files), QStringList());
    }
}

void TestHostileFiles::keepsThePictureItsReaderShrinks()
{
    // A reader whose program, out of its process group, shrinks the memory file the picture came
    // through once this process has mapped it: sealed before, the file keeps its size and bytes,
    // and the picture reads whole.
    processMemoryRefused = true;
    const QString mark = path("shrunk");
    writeFile(path("bad.picture"), "SHRINK " + mark.toLocal8Bit());
    const DecodedPicture decoded = decodePicture(path("bad.picture"));
    QCOMPARE(int(decoded.status), int(DecodedPicture::Decoded));
    QVERIFY(QTest::qWaitFor([&] { return !readFileIfAny(mark).isEmpty(); }, 60000));
    QCOMPARE(readFileIfAny(mark), QByteArray("refused"));
    QImage expected(7, 5, QImage::Format_RGB32);
    expected.fill(qRgb(10, 200, 30));
    QCOMPARE(decoded.image, expected);
}

void TestHostileFiles::signalsOnlyItsOwnReaders()
{
    // A child that answers another process's number as its own, here one that leads a process
    // group of its own: that group is never signalled, and the picture is refused.
    if (!QImageReader::supportedImageFormats().contains("tiff"))
        QSKIP("no reader of TIFF (Debian package qt5-image-formats-plugins)");
    if (QStandardPaths::findExecutable("setsid").isEmpty())
        QSKIP("setsid (util-linux) is not installed");
    savePicture(patternPicture(5, 3), path("picture.tiff"), "tiff");
    QProcess other;
    other.start("setsid", {"sleep", "60"});
    QVERIFY(other.waitForStarted());
    const pid_t pid = pid_t(other.processId());
    QVERIFY(QTest::qWaitFor([&] { return ::getpgid(pid) == pid; }, 10000));
    qputenv("QUILLON_FAKE_CHILD", QByteArray::number(pid));
    setDecoderProgram(QUILLON_FAKE_DECODER_SERVER);
    const DecodedPicture decoded = decodePicture(path("picture.tiff"));
    setDecoderProgram(QUILLON_JOB_PROBE);
    qunsetenv("QUILLON_FAKE_CHILD");
    QCOMPARE(int(decoded.status), int(DecodedPicture::Hostile));
    QVERIFY(!other.waitForFinished(1000));
    other.kill();
    QVERIFY(other.waitForFinished());
}

void TestHostileFiles::decodesPicturesInTurn_data()
{
    // Pictures decoded one after another, as a worker of quillon-convert decodes them. Their readers
    // (tests/plugins) tell which process they ran in, and LIMITS its limits.
    QTest::addColumn<QByteArrayList>("words"); // each picture's magic word
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<QList<int>>("children"); // the child of each, numbered as they come; -1: untold

    const int decoded = DecodedPicture::Decoded, hostile = DecodedPicture::Hostile;
    QTest::newRow("three pictures, one child")
        << QByteArrayList {"LIMITS", "LIMITS", "LIMITS"} << QList<int> {decoded, decoded, decoded}
        << QList<int> {0, 0, 0};
    // 600 ms of processor time taken by the first: the second has its 10 s whole.
    QTest::newRow("a child's second picture has 10 s of its own")
        << QByteArrayList {"BUSY", "LIMITS"} << QList<int> {decoded, decoded} << QList<int> {0, 0};
    QTest::newRow("a crash between two pictures")
        << QByteArrayList {"LIMITS", "CRASH", "LIMITS"} << QList<int> {decoded, hostile, decoded}
        << QList<int> {0, -1, 1};
    QTest::newRow("2 GiB asked by a child's second picture")
        << QByteArrayList {"LIMITS", "HOG", "LIMITS"} << QList<int> {decoded, hostile, decoded}
        << QList<int> {0, -1, 1};
    // 600 ms of processor time a BUSY: the child that used 2 s in all ends, whichever child the
    // fourth BUSY took.
    QTest::newRow("a child that used 2 s of processor time")
        << QByteArrayList {"BUSY", "BUSY", "BUSY", "BUSY", "LIMITS"}
        << QList<int> {decoded, decoded, decoded, decoded, decoded} << QList<int> {0, 0, 0, -1, 1};
    // Address space taken, then given back: a child whose peak grew by 256 MiB ends.
    QTest::newRow("240 MiB at the peak") << QByteArrayList {"LIMITS", "PEAK 240", "LIMITS"}
                                         << QList<int> {decoded, decoded, decoded} << QList<int> {0, 0, 0};
    QTest::newRow("280 MiB at the peak") << QByteArrayList {"LIMITS", "PEAK 280", "LIMITS"}
                                         << QList<int> {decoded, decoded, decoded} << QList<int> {0, 0, 1};
    // Address space kept: a child that holds 16 MiB more than before its first picture ends.
    QTest::newRow("12 MiB kept") << QByteArrayList {"LIMITS", "KEEP 12", "LIMITS"}
                                 << QList<int> {decoded, decoded, decoded} << QList<int> {0, 0, 0};
    QTest::newRow("24 MiB kept") << QByteArrayList {"LIMITS", "KEEP 24", "LIMITS"}
                                 << QList<int> {decoded, decoded, decoded} << QList<int> {0, 0, 1};
    QTest::newRow("12 MiB kept twice")
        << QByteArrayList {"LIMITS", "KEEP 12", "KEEP 12", "LIMITS"}
        << QList<int> {decoded, decoded, decoded, decoded} << QList<int> {0, 0, 0, 1};
    QTest::newRow("a program still running")
        << QByteArrayList {"LIMITS", "START", "LIMITS"} << QList<int> {decoded, decoded, decoded}
        << QList<int> {0, 0, 1};
    // The crash makes the first STACK a new child's first picture; LIMITS then writes its stack.
    QTest::newRow("a stack that another picture wrote")
        << QByteArrayList {"CRASH", "STACK", "LIMITS", "STACK"}
        << QList<int> {hostile, decoded, decoded, decoded} << QList<int> {-1, -1, 0, -1};
    // An SVG (a word that opens "<svg") is drawn in the child it is sent to; one holding text makes
    // that child graphical, and it takes no other picture.
    const QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="9" height="7">)";
    QTest::newRow("an SVG between two pictures")
        << QByteArrayList {"LIMITS", svg + R"(<rect width="5" height="3" fill="#2040f0"/></svg>)", "LIMITS"}
        << QList<int> {decoded, decoded, decoded} << QList<int> {0, -1, 0};
    QTest::newRow("an SVG holding text between two pictures")
        << QByteArrayList {"LIMITS", svg + R"(<text y="6" font-size="6">Hi</text></svg>)", "LIMITS"}
        << QList<int> {decoded, decoded, decoded} << QList<int> {0, -1, 1};
}

void TestHostileFiles::decodesPicturesInTurn()
{
    QFETCH(QByteArrayList, words);
    QFETCH(QList<int>, statuses);
    QFETCH(QList<int>, children);
#if defined(__SANITIZE_ADDRESS__)
    const auto asksAddressSpace = [](const QByteArray &word) {
        return word == "HOG" || word.startsWith("PEAK") || word.startsWith("KEEP");
    };
    if (std::any_of(words.cbegin(), words.cend(), asksAddressSpace))
        QSKIP("AddressSanitizer reserves terabytes of address space: an address-space limit cannot apply");
    if (std::any_of(words.cbegin(), words.cend(),
                    [](const QByteArray &word) { return word.startsWith("<svg"); }))
        QSKIP("under AddressSanitizer, a child that drew an SVG leaves the margins of reuse");
#endif
    QList<QByteArray> seen; // the children's process numbers, as they come
    QHash<QByteArray, int> descriptors; // the descriptors each child held open at its first LIMITS
    QImage stack; // the first STACK picture
    for (int i = 0; i < words.size(); ++i) {
        const bool svg = words[i].startsWith("<svg");
        const QString mark = path(QString("told%1").arg(i)),
                      picture = path(QString(svg ? "p%1.svg" : "p%1.picture").arg(i));
        writeFile(picture, svg ? words[i] : words[i] + ' ' + mark.toLocal8Bit());
        const DecodedPicture decoded = decodePicture(picture);
        QCOMPARE(int(decoded.status), statuses[i]);
        const QList<QByteArray> told = readFileIfAny(mark).split(' ');
        if (children[i] >= 0) {
            if (!seen.contains(told.first()))
                seen << told.first();
            QCOMPARE(seen.indexOf(told.first()), children[i]);
        }
        if (words[i] == "LIMITS") {
            QCOMPARE(told.size(), 6);
            // No descriptor of an earlier picture left open.
            QCOMPARE(told[5].toInt(), descriptors.value(told.first(), told[5].toInt()));
            descriptors.insert(told.first(), told[5].toInt());
#if !defined(__SANITIZE_ADDRESS__)
            QCOMPARE(told[3].toLongLong(), 768LL << 20);
#endif
            // The timer started for this picture: 10 s less what the reader took to start.
            const int left = told[4].toInt();
            QVERIFY2(left > 9500 && left <= 10000, told[4].constData());
            // The kernel's limit on the child's whole time: 10 s and 2 s of serving, then 1 s.
            QCOMPARE(told[1].toInt(), 12);
            QCOMPARE(told[2].toInt(), 13);
        }
        if (words[i] == "STACK") {
            // The stack filled with the same byte as fresh memory, 0xa5, before each picture
            // (AddressSanitizer may give the reader's locals a stack of its own).
            if (stack.isNull()) {
                stack = decoded.image;
#if !defined(__SANITIZE_ADDRESS__)
                for (int y = 0; y < stack.height(); ++y) {
                    for (int x = 0; x < stack.width(); ++x)
                        QCOMPARE(stack.pixel(x, y), qRgb(0xa5, 0xa5, 0xa5));
                }
#endif
            }
            QCOMPARE(decoded.image, stack);
        }
    }
}

// Seventeen pictures decoded at once, each by a child of its own: sixteen wait for the next
// pictures, and the seventeenth ends.
void TestHostileFiles::keepsNoMoreChildrenWaitingThanItDecodesAtOnce()
{
    constexpr int atOnce = 17;
    std::vector<std::thread> decoding;
    QList<int> statuses;
    std::mutex statusLock;
    for (int i = 0; i < atOnce; ++i) {
        const QString mark = path(QString("waiting%1").arg(i)), picture = path(QString("p%1.picture").arg(i));
        writeFile(picture, "WAIT " + mark.toLocal8Bit());
        decoding.emplace_back([&, picture] {
            const int status = decodePicture(picture).status;
            const std::lock_guard<std::mutex> lock(statusLock);
            statuses << status;
        });
    }
    const auto marks = [&] {
        QStringList names = entryNames(path()).filter("waiting");
        // Each mark written whole, with the server's number.
        for (const QString &name : names) {
            if (readFileIfAny(path(name)).isEmpty())
                names.removeOne(name);
        }
        return names;
    };
    QVERIFY(QTest::qWaitFor([&] { return marks().size() == atOnce; }, 60000));
    const pid_t server = pid_t(readFileIfAny(path("waiting0")).toInt());
    for (const QString &name : marks())
        QVERIFY(QFile::remove(path(name)));
    for (std::thread &thread : decoding)
        thread.join();
    QCOMPARE(statuses.count(int(DecodedPicture::Decoded)), atOnce);
    // The server's living children (those killed are reaped by the server).
    const auto waiting = [server] {
        int children = 0;
        for (const QString &process : QDir("/proc").entryList(QDir::Dirs)) {
            const QByteArray stat = readFileIfAny("/proc/" + process + "/stat");
            const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[0] != "Z" && fields[1].toInt() == server)
                ++children;
        }
        return children;
    };
    QVERIFY(QTest::qWaitFor([&] { return waiting() == atOnce - 1; }, 30000));
}

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
