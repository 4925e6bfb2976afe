// quillon-convert on a folder of 32 pictures of 1024 x 768 pixels, against ImageMagick's
// 5-6-5 BMP writer followed by `xxd -i` for the same pictures, both using every core.
//
//     bench_cli [FOLDER [--batches]]      (default /dev/shm; --batches: the batches of icons alone)

#include "benchsupport.h"
#include "child_decoder.h"
#include "display_formats.h"
#include "display_preparation.h"
#include "output_files.h"
#include "picture_decoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// An animated GIF of the frames, each reduced to 3-3-2 colours (a fixed table of 256), written
// whole after a delay of 4 hundredths of a second, its codes 9 bits wide, the table cleared
// before it grows: Qt cannot write GIF files.
QByteArray animatedGif(const QVector<QImage> &frames)
{
    const auto le16 = [](int value) { return QByteArray(1, char(value & 0xff)) + char(value >> 8 & 0xff); };
    const QSize size = frames.first().size();
    QByteArray gif = "GIF89a" + le16(size.width()) + le16(size.height()) + QByteArray::fromHex("f70000");
    for (int i = 0; i < 256; ++i)
        gif += QByteArray(1, char((i >> 5) * 255 / 7)) + char((i >> 2 & 7) * 255 / 7)
            + char((i & 3) * 255 / 3);
    gif += QByteArray::fromHex("21ff0b") + "NETSCAPE2.0" + QByteArray::fromHex("0301000000");
    for (const QImage &frame : frames) {
        gif += QByteArray::fromHex("21f9040404000000") + '\x2c' + le16(0) + le16(0) + le16(size.width())
            + le16(size.height()) + '\0' + '\x08';
        QByteArray data;
        quint32 bits = 0;
        int used = 0;
        const auto put = [&](quint32 code) {
            bits |= code << used;
            for (used += 9; used >= 8; used -= 8, bits >>= 8)
                data += char(bits & 0xff);
        };
        int sinceClear = 0;
        for (int y = 0; y < size.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                if (sinceClear++ % 200 == 0)
                    put(256);
                put(quint32(qRed(line[x]) >> 5 << 5 | qGreen(line[x]) >> 5 << 2 | qBlue(line[x]) >> 6));
            }
        }
        put(257);
        if (used > 0)
            data += char(bits & 0xff);
        for (int at = 0; at < data.size(); at += 255)
            gif += char(qMin(255, data.size() - at)) + data.mid(at, 255);
        gif += '\0';
    }
    return gif + '\x3b';
}

// The least wall-clock time of `runs` runs of quillon-convert with `arguments`, each after
// `prepare`, which is not timed; and the processor time of that run, the program's and its
// children's (not the decoding server's children, which the server reaps).
struct Timing
{
    double seconds;
    double cpuSeconds;
};

double childrenCpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Timing bestRun(int runs, const std::function<void()> &prepare, const QStringList &arguments)
{
    Timing best {std::numeric_limits<double>::max(), 0};
    for (int run = 0; run < runs; ++run) {
        prepare();
        const double cpu = childrenCpuSeconds();
        QElapsedTimer timer;
        timer.start();
        Bench::runCommand(QUILLON_CONVERT, arguments);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (seconds < best.seconds)
            best = {seconds, childrenCpuSeconds() - cpu};
    }
    return best;
}

// A folder emptied, or made.
void emptyFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

// Two calls, A and B, run in turn `runs` times, so that a change in the machine's load meets both:
// the pair of runs whose ratio A / B is the median of theirs, which one lucky or unlucky run does
// not move.
std::pair<Timing, Timing> medianPair(int runs, const std::function<void()> &prepareA, const QStringList &a,
                                     const std::function<void()> &prepareB, const QStringList &b)
{
    std::vector<std::pair<Timing, Timing>> pairs;
    for (int run = 0; run < runs; ++run)
        pairs.emplace_back(bestRun(1, prepareA, a), bestRun(1, prepareB, b));
    std::sort(pairs.begin(), pairs.end(), [](const auto &one, const auto &other) {
        return one.first.seconds / one.second.seconds < other.first.seconds / other.second.seconds;
    });
    return pairs[pairs.size() / 2];
}

// Syncs the file system that holds `folder`, so that what the run before left to write (the files
// that emptying the folder removed) is not billed to the next one.
void settle(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

// The time the cheapest loop takes to write `files` (name and bytes) into `folder` as
// quillon-convert promises to write them: each file's lock made, its bytes written under a
// temporary name, all of them put on the disk by one sync of the whole file system (syncfs(), the
// least a program can ask, though it writes what other programs left too), each file renamed into
// its place, the folder synced, the locks removed. What the disk itself costs such files, apart
// from Quillon; run after the folder is emptied and settled.
double syncedLoopSeconds(const QString &folder, const std::vector<std::pair<QByteArray, QByteArray>> &files)
{
    const QByteArray where = QFile::encodeName(folder) + '/';
    const auto syncFolder = [&] {
        const int fd = ::open(where.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0)
            qFatal("cannot sync %s", qPrintable(folder));
        ::close(fd);
    };
    QElapsedTimer timer;
    timer.start();
    std::vector<int> staged;
    for (const auto &[name, bytes] : files) {
        const int lock = ::open(where + '.' + name + ".lock", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const int output = ::open(where + '.' + name + ".tmp", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (lock < 0 || output < 0 || ::write(lock, "1\n", 2) != 2
            || ::write(output, bytes.constData(), size_t(bytes.size())) != bytes.size())
            qFatal("cannot write in %s", qPrintable(folder));
        ::close(lock);
        staged.push_back(output);
    }
    if (::syncfs(staged.front()) != 0)
        qFatal("cannot sync %s", qPrintable(folder));
    for (int output : staged)
        ::close(output);
    for (const auto &file : files) {
        if (::rename(where + '.' + file.first + ".tmp", where + file.first) != 0)
            qFatal("cannot rename in %s", qPrintable(folder));
    }
    syncFolder();
    for (const auto &file : files) {
        if (::unlink(where + '.' + file.first + ".lock") != 0)
            qFatal("cannot remove in %s", qPrintable(folder));
    }
    return timer.nsecsElapsed() / 1e9;
}

// The files of `folder`, names and bytes.
std::vector<std::pair<QByteArray, QByteArray>> filesOf(const QString &folder)
{
    std::vector<std::pair<QByteArray, QByteArray>> files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(info.filePath()));
        files.emplace_back(QFile::encodeName(info.fileName()), file.readAll());
    }
    return files;
}

// The median of `values`.
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// `count` copies of the file `picture`, named NAME0000.SUFFIX... in `folder`.
QStringList copies(const QString &picture, const QString &folder, int count)
{
    QStringList made;
    QDir().mkpath(folder);
    const QFileInfo info(picture);
    for (int i = 0; i < count; ++i) {
        made << QStringLiteral("%1/%2%3.%4")
                    .arg(folder, info.baseName())
                    .arg(i, 4, 10, QLatin1Char('0'))
                    .arg(info.suffix());
        if (!QFile::exists(made.last()) && !QFile::copy(picture, made.last()))
            qFatal("cannot write %s", qPrintable(made.last()));
    }
    return made;
}

// Whether `folder` is in memory (tmpfs) rather than on a disk.
bool inMemory(const QString &folder)
{
    struct statfs status;
    return ::statfs(QFile::encodeName(folder).constData(), &status) == 0 && status.f_type == TMPFS_MAGIC;
}

// Many small pictures: a picture's cost whatever the folder and the batch, a disk's cost against
// memory's, and other packages' readers against Qt's own.
void batches(const QTemporaryDir &dir, const QString &base)
{
    const QString icon = dir.filePath(QStringLiteral("batch.png"));
    if (!Bench::photoLike(32, 32).save(icon, "PNG"))
        qFatal("cannot write %s", qPrintable(icon));
    const QStringList icons = copies(icon, dir.filePath(QStringLiteral("icons")), 1000);

    // 100 icons into a folder that holds 20,000 files, against the same into an empty folder,
    // every file written anew each run.
    const QString crowded = dir.filePath(QStringLiteral("crowded")),
                  empty = dir.filePath(QStringLiteral("empty"));
    emptyFolder(empty);
    emptyFolder(crowded);
    for (int i = 0; i < 20000; ++i) {
        QFile other(QStringLiteral("%1/other%2.txt").arg(crowded).arg(i));
        if (!other.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(other.fileName()));
    }
    const auto removeOutputs = [&](const QString &folder) {
        return [&, folder] {
            for (int i = 0; i < 100; ++i) {
                const QString stem = QStringLiteral("%1/batch%2").arg(folder).arg(i, 4, 10, QLatin1Char('0'));
                QFile::remove(stem + QStringLiteral(".h"));
                QFile::remove(stem + QStringLiteral("16bits.BMP"));
            }
        };
    };
    const QStringList hundred = icons.mid(0, 100);
    const auto [intoCrowded, intoEmpty]
        = medianPair(7, removeOutputs(crowded), QStringList {"-o", crowded} + hundred, removeOutputs(empty),
                     QStringList {"-o", empty} + hundred);
    std::printf("  100 icons of 32 x 32 into a folder of 20,000 files %.1f ms, into an empty one %.1f ms\n",
                intoCrowded.seconds * 1e3, intoEmpty.seconds * 1e3);
    Bench::reportGoal("100 icons: into 20,000 files / into an empty folder",
                      intoCrowded.seconds / intoEmpty.seconds, 1.3, false);

    // The processor time a picture takes in a batch of 1,000 against one of 100, a run's fixed
    // part (that of a batch of one) taken away, into a new folder each run.
    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    const auto perPicture = [&](int count) {
        const Timing one = bestRun(5, [&] { emptyFolder(fresh); }, {"-o", fresh, icons.first()});
        const Timing many = bestRun(
            3, [&] { emptyFolder(fresh); }, QStringList {"-o", fresh} + icons.mid(0, count));
        return (many.cpuSeconds - one.cpuSeconds) / (count - 1);
    };
    const double inHundred = perPicture(100), inThousand = perPicture(1000);
    std::printf("  processor time a picture: %.3f ms in a batch of 100, %.3f ms in a batch of 1,000\n",
                inHundred * 1e3, inThousand * 1e3);
    Bench::reportGoal("processor time a picture: batch of 1,000 / batch of 100", inThousand / inHundred, 1.3,
                      false);
    QDir(crowded).removeRecursively();

    // 200 icons in rgb565 on a disk, each file then synced, against the same into memory; and the
    // cheapest loop that writes their files as quillon-convert promises to, on both. The four are
    // run in turn, each into a folder emptied and settled, and the medians of their ratios kept.
    QTemporaryDir disk(QCoreApplication::applicationDirPath() + QStringLiteral("/quillon-bench-XXXXXX"));
    const QStringList twoHundred = icons.mid(0, 200);
    if (!disk.isValid() || inMemory(disk.path()) || !inMemory(base)) {
        std::printf("  no disk and memory apart here (%s, %s): the disk's cost is not measured\n",
                    qPrintable(disk.path()), qPrintable(base));
    } else {
        const QString onDisk = disk.filePath(QStringLiteral("out")),
                      inMemory = dir.filePath(QStringLiteral("out"));
        const QStringList options = {"--format", "rgb565", "-o"};
        const auto emptied = [](const QString &folder) {
            emptyFolder(folder);
            settle(folder);
        };
        emptied(inMemory);
        Bench::runCommand(QUILLON_CONVERT, options + QStringList {inMemory} + twoHundred);
        const auto files = filesOf(inMemory);
        std::vector<double> disked, memoried, loopDisked, loopMemoried, ratios, loopRatios, shares;
        for (int run = 0; run < 9; ++run) {
            disked.push_back(bestRun(
                                 1, [&] { emptied(onDisk); }, options + QStringList {onDisk} + twoHundred)
                                 .seconds);
            memoried.push_back(
                bestRun(
                    1, [&] { emptied(inMemory); }, options + QStringList {inMemory} + twoHundred)
                    .seconds);
            emptied(onDisk);
            loopDisked.push_back(syncedLoopSeconds(onDisk, files));
            emptied(inMemory);
            loopMemoried.push_back(syncedLoopSeconds(inMemory, files));
            ratios.push_back(disked.back() / memoried.back());
            loopRatios.push_back(loopDisked.back() / loopMemoried.back());
            // Quillon on the disk against Quillon in memory with what the disk adds to the loop.
            shares.push_back(disked.back() / (memoried.back() + loopDisked.back() - loopMemoried.back()));
        }
        std::printf("  200 icons in rgb565 on the disk of %s %.1f ms, in memory %.1f ms\n",
                    qPrintable(disk.path()), median(disked) * 1e3, median(memoried) * 1e3);
        Bench::reportGoal("200 icons: on a disk / in memory", median(ratios), 1.5, false);
        std::printf(
            "  the cheapest loop that writes and syncs their %zu files as promised: on the disk %.1f ms, "
            "in memory %.1f ms (%.2f x)\n",
            files.size(), median(loopDisked) * 1e3, median(loopMemoried) * 1e3, median(loopRatios));
        Bench::reportGoal("200 icons on a disk / (in memory + what the disk adds to the cheapest loop)",
                          median(shares), 1.5, false);
    }

    // TIFF, read by another package's reader in a child process of the decoding server, against PNG,
    // read by Qt's own in the process: one icon, then 200.
    const QString tiff = dir.filePath(QStringLiteral("batch.tiff"));
    if (!Bench::photoLike(32, 32).save(tiff, "TIFF")) {
        std::printf(
            "  no TIFF writer (qt5-image-formats-plugins): other packages' readers are not measured\n");
        return;
    }
    const QStringList tiffs = copies(tiff, dir.filePath(QStringLiteral("tiffs")), 200);
    const QString out = dir.filePath(QStringLiteral("quillon"));
    const auto [oneTiff, onePng] = medianPair(
        21, [] {}, {"--force", "-o", out, tiff}, [] {}, {"--force", "-o", out, icon});
    std::printf("  a 32 x 32 TIFF %.1f ms, a 32 x 32 PNG %.1f ms\n", oneTiff.seconds * 1e3,
                onePng.seconds * 1e3);
    Bench::reportGoal("a 32 x 32 TIFF / a 32 x 32 PNG", oneTiff.seconds / onePng.seconds, 1.5, false);
    const auto [manyTiffs, manyPngs] = medianPair(
        7, [] {}, QStringList {"--force", "-o", out} + tiffs, [] {},
        QStringList {"--force", "-o", out} + twoHundred);
    std::printf("  200 TIFF icons %.1f ms, 200 PNG icons %.1f ms\n", manyTiffs.seconds * 1e3,
                manyPngs.seconds * 1e3);
    Bench::reportGoal("200 TIFF icons / 200 PNG icons", manyTiffs.seconds / manyPngs.seconds, 1.5, false);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    setDecoderProgram(QStringLiteral(QUILLON_CONVERT)); // which decodes other readers' pictures
    const QString base = app.arguments().value(1, QStringLiteral("/dev/shm"));
    QTemporaryDir dir(base + QStringLiteral("/quillon-bench-XXXXXX"));
    if (!dir.isValid() || !QDir(dir.path()).mkdir("quillon") || !QDir(dir.path()).mkdir("magick"))
        qFatal("cannot create folders in %s", qPrintable(base));
    // The batches of icons alone, for their goals.
    if (app.arguments().value(2) == QLatin1String("--batches")) {
        std::printf("batches of icons in %s\n", qPrintable(base));
        batches(dir, base);
        return Bench::goalsExitCode();
    }

    constexpr int count = 32;
    QStringList pictures;
    for (int i = 0; i < count; ++i) {
        pictures << dir.filePath(QStringLiteral("picture%1.png").arg(i, 2, 10, QLatin1Char('0')));
        if (!Bench::photoLike(1024 + i, 768).save(pictures.last(), "PNG"))
            qFatal("cannot write the pictures");
    }

    const double quillonSeconds = Bench::bestSeconds(3, [&] {
        Bench::runCommand(QUILLON_CONVERT, QStringList {"--force", "-o", dir.filePath("quillon")} + pictures);
    });
    const QString cores = QString::number(QThread::idealThreadCount());
    const QString pipeline = QStringLiteral("cd '%1' && ls *.png | xargs -P %2 -I{} sh -c "
                                            "'convert {} -define bmp:subtype=RGB565 magick/{}.bmp "
                                            "&& xxd -i magick/{}.bmp > magick/{}.h'")
                                 .arg(dir.path(), cores);
    const double magickSeconds = Bench::bestSeconds(2, [&] { Bench::runCommand("sh", {"-c", pipeline}); });

    std::printf("%d pictures of 1024 x 768 in %s, on %s cores\n", count, qPrintable(base), qPrintable(cores));
    std::printf("  quillon-convert                         %8.1f ms\n", quillonSeconds * 1e3);
    std::printf("  ImageMagick RGB565 BMP, then xxd -i     %8.1f ms\n", magickSeconds * 1e3);
    Bench::reportGoal("quillon-convert speed / ImageMagick and xxd speed", magickSeconds / quillonSeconds, 5);

    // Start-up: a small picture's job beside the program's least work. The reader is named from
    // the file's signature, so that no other plugin loads.
    const QString icon = dir.filePath(QStringLiteral("icon.png"));
    if (!Bench::photoLike(32, 32).save(icon, "PNG"))
        qFatal("cannot write %s", qPrintable(icon));
    const double helpSeconds
        = Bench::bestSeconds(20, [&] { Bench::runCommand(QUILLON_CONVERT, {"--help"}, "/dev/null"); });
    const double iconSeconds = Bench::bestSeconds(20, [&] {
        Bench::runCommand(QUILLON_CONVERT, {"--force", "-o", dir.filePath("quillon"), icon});
    });
    std::printf("  --help %.1f ms, a 32 x 32 PNG %.1f ms\n", helpSeconds * 1e3, iconSeconds * 1e3);
    Bench::reportGoal("32 x 32 PNG job time above --help, ms", (iconSeconds - helpSeconds) * 1e3, 12, false);

    batches(dir, base);

    // A reader that is not Qt's runs in a child process, forked by a decoding server that the
    // first such picture starts: the child's start and the picture's transfer against decoding
    // the picture here.
    const QString webp = dir.filePath(QStringLiteral("photo.webp"));
    if (Bench::photoLike(2048, 2048).save(webp, "WEBP")) {
        QElapsedTimer first;
        first.start();
        decodePicture(webp);
        const double firstSeconds = first.nsecsElapsed() / 1e9;
        const double here = Bench::bestSeconds(
            9, [&] { decodeInProcess(webp, "webp", DisplayOptions(), FreshMemoryCheck::None); });
        const double inChild = Bench::bestSeconds(9, [&] { decodePicture(webp); });
        std::printf(
            "  2048 x 2048 WebP decoded here %.1f ms, in a child process %.1f ms (the first one, which "
            "starts the decoding server, %.1f ms)\n",
            here * 1e3, inChild * 1e3, firstSeconds * 1e3);
        Bench::reportGoal("WebP decoded in a child / decoded here", inChild / here, 1.2, false);
    } else {
        std::printf("  no WebP reader: the child process is not measured\n");
    }

    // The peak memory of one large picture: the 32-bit picture is reduced to 5-6-5 in place, so
    // about 4 bytes a pixel and Qt's fixed cost.
    for (const auto &[side, goal] : {std::pair {4096, 90.0}, std::pair {8192, 290.0}}) {
        const QString picture = dir.filePath(QStringLiteral("large%1.png").arg(side));
        if (!Bench::photoLike(side, side).save(picture, "PNG"))
            qFatal("cannot write %s", qPrintable(picture));
        const double peak
            = Bench::peakMemoryMiB(QUILLON_CONVERT, {"--force", "-o", dir.filePath("quillon"), picture});
        std::printf("  quillon-convert on one %d x %d PNG:   %8.1f MiB at most\n", side, side, peak);
        Bench::reportGoal(QStringLiteral("peak memory for %1 x %1, MiB").arg(side), peak, goal, false);
        if (side == 4096) {
            // Preparing the picture for a display costs little beside the job itself.
            const auto job = [&](const QStringList &options) {
                return Bench::bestSeconds(5, [&] {
                    Bench::runCommand(QUILLON_CONVERT,
                                      options
                                          + QStringList {"--force", "-o", dir.filePath("quillon"), picture});
                });
            };
            const double plain = job({});
            const double dithered = job({"--dither"});
            const double fitted = job({"--fit", "320x240"});
            const double previewed = job({"--preview"});
            Bench::reportGoal("--preview time / plain job time", previewed / plain, 1.3, false);
            std::printf("  4096 x 4096 PNG: plain %.1f ms, --dither %.1f ms, --fit 320x240 %.1f ms\n",
                        plain * 1e3, dithered * 1e3, fitted * 1e3);
            Bench::reportGoal("--dither time / plain job time", dithered / plain, 1.25, false);
            Bench::reportGoal("--fit 320x240 time / plain job time", fitted / plain, 1.25, false);

            // Every display format against 5-6-5 pixels; a header larger than theirs (rgb666's and
            // rgb888's, of 3 bytes a pixel) is given the time of its further bytes.
            const auto headerBytes
                = [&] { return double(QFile(dir.filePath("quillon/large4096.h")).size()); };
            const double rgb565 = job({"--format", "rgb565"}), rgb565Bytes = headerBytes();
            std::printf("  4096 x 4096 PNG, --format rgb565: %.1f ms\n", rgb565 * 1e3);
            for (const DisplayFormat &format : displayFormats()) {
                if (QByteArray(format.name) == "rgb565")
                    continue;
                const double seconds = job({"--format", QString::fromLatin1(format.name)});
                Bench::reportGoal(QStringLiteral("--format %1 time / --format rgb565 time").arg(format.name),
                                  seconds / rgb565, 1.10 * qMax(1.0, headerBytes() / rgb565Bytes), false);
            }
        }
        QFile::remove(picture);
    }

    // The peak memory of every format and of the options that cost the most, in bytes a pixel above
    // the fixed part: the growth of the peak from a 2048 x 2048 picture to a 4096 x 4096 one, which
    // leaves out what any job costs whatever its picture. Half-transparent pictures for the
    // options that keep transparency.
    {
        QImage translucent = Bench::photoLike(4096, 4096).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < translucent.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(translucent.scanLine(y));
            for (int x = 0; x < translucent.width(); ++x)
                line[x] = (line[x] & 0xffffff) | uint((x + y) * 255 / 8190) << 24;
        }
        const QStringList sizes = {QStringLiteral("2048"), QStringLiteral("4096")};
        for (const QString &side : sizes) {
            const int length = side.toInt();
            if (!Bench::photoLike(length, length).save(dir.filePath("opaque" + side + ".png"), "PNG")
                || !translucent.scaled(length, length)
                        .save(dir.filePath("translucent" + side + ".png"), "PNG"))
                qFatal("cannot write the pictures of %s pixels a side", qPrintable(side));
        }
        QList<QPair<QString, QStringList>> jobs = {
            {"opaque", {}},
            {"opaque", {"--preview"}},
            {"opaque", {"--dither"}},
            {"translucent", {"--format", "rgb565", "--alpha=mask"}},
            {"translucent", {"--format", "rgb565", "--transparent=#ff00ff"}},
            {"translucent", {"--format", "lvgl"}},
            {"translucent", {"--format", "lvgl", "--preview"}},
            {"translucent", {"--format", "lvgl", "--lvgl-cf=ARGB8888"}},
            {"opaque", {"--format", "lvgl", "--lvgl-cf=RGB888"}},
            {"opaque", {"--format", "lvgl", "--lvgl-cf=I8"}},
            {"opaque", {"--format", "lvgl", "--lvgl-cf=ARGB8888", "--compress=rle"}},
            {"opaque", {"--format", "lvgl", "--lvgl-cf=ARGB8888", "--compress=lz4"}},
            {"opaque", {"--format", "lvgl", "--lvgl-cf=ARGB8888", "--preview"}},
            {"opaque", {"--format", "epd7", "--dither"}},
        };
        int at = 3; // every format after the default job's rows
        for (const DisplayFormat &format : displayFormats())
            jobs.insert(at++, {"opaque", {"--format", QString::fromLatin1(format.name)}});
        for (const auto &[picture, options] : jobs) {
            double peaks[2];
            for (int i = 0; i < 2; ++i)
                peaks[i]
                    = Bench::peakMemoryMiB(QUILLON_CONVERT,
                                           options
                                               + QStringList {"--force", "-o", dir.filePath("quillon"),
                                                              dir.filePath(picture + sizes[i] + ".png")});
            const double bytesPerPixel
                = (peaks[1] - peaks[0]) * 1024 * 1024 / (4096.0 * 4096 - 2048.0 * 2048);
            const QString name = options.isEmpty() ? QStringLiteral("--format bmp") : options.join(' ');
            Bench::reportGoal(QStringLiteral("%1, bytes a pixel").arg(name), bytesPerPixel, 6, false);
        }
        for (const QString &side : sizes) {
            QFile::remove(dir.filePath("opaque" + side + ".png"));
            QFile::remove(dir.filePath("translucent" + side + ".png"));
        }
    }

    // A camera photo fitted to a small display: the JPEG decoded scaled down, against decoding it
    // whole, as before, and then fitting it the same way.
    const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
    if (!Bench::photoLike(6000, 4000).save(photo, "JPEG", 90))
        qFatal("cannot write %s", qPrintable(photo));
    DisplayOptions fit;
    fit.fit = QSize(320, 240);
    QImage scaledDecoding, wholeDecoding;
    const double scaledSeconds = Bench::bestSeconds(
        3, [&] { scaledDecoding = prepareForDisplay(decodePicture(photo, fit.fit).image, fit); });
    const double wholeSeconds
        = Bench::bestSeconds(3, [&] { wholeDecoding = prepareForDisplay(decodePicture(photo).image, fit); });
    double difference = 0;
    const QImage a = scaledDecoding.convertToFormat(QImage::Format_RGB32),
                 b = wholeDecoding.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            difference += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    difference /= 3.0 * a.width() * a.height();
    const double photoPeak = Bench::peakMemoryMiB(
        QUILLON_CONVERT, {"--force", "--fit", "320x240", "-o", dir.filePath("quillon"), photo});
    std::printf("  6000 x 4000 JPEG fitted in 320 x 240: %.1f ms decoded scaled, %.1f ms whole; %.2f levels "
                "apart on average; quillon-convert %.1f MiB at most\n",
                scaledSeconds * 1e3, wholeSeconds * 1e3, difference, photoPeak);
    Bench::reportGoal("JPEG --fit: whole decoding time / scaled decoding time", wholeSeconds / scaledSeconds,
                      3);
    Bench::reportGoal("JPEG --fit: levels apart from the whole decoding", difference, 2, false);
    Bench::reportGoal("JPEG --fit: peak memory, MiB", photoPeak, 40, false);
    // Filling the screen cuts what overflows from a picture decoded at the scale that contains it:
    // cover costs what contain costs (5 % for the measurement's own noise).
    const auto fitted = [&](const QStringList &mode) {
        return Bench::bestSeconds(3, [&] {
            Bench::runCommand(QUILLON_CONVERT,
                              QStringList {"--force", "--fit", "320x240"} + mode
                                  + QStringList {"-o", dir.filePath("quillon"), photo});
        });
    };
    const double containSeconds = fitted({});
    const double coverSeconds = fitted({"--fit-mode", "cover"});
    std::printf("  6000 x 4000 JPEG: --fit 320x240 %.1f ms, with --fit-mode cover %.1f ms\n",
                containSeconds * 1e3, coverSeconds * 1e3);
    Bench::reportGoal("JPEG --fit-mode cover time / contain time", coverSeconds / containSeconds, 1.05,
                      false);

    // A PNG too large to be decoded whole (16000 x 12000: 732 MiB at 4 bytes a pixel), fitted in
    // 320 x 240 as its rows are decoded, against libvips's thumbnailer, which also reads a PNG
    // row after row (Debian's libvips-tools; its column is left out when it is not installed).
    {
        const QString big = dir.filePath(QStringLiteral("big.png"));
        if (!Bench::writeLargePhotoPng(big, 16000, 12000))
            qFatal("cannot write %s", qPrintable(big));
        const QStringList fit = {"--force", "--fit", "320x240", "-o", dir.filePath("quillon"), big};
        const double rowsSeconds = Bench::bestSeconds(3, [&] { Bench::runCommand(QUILLON_CONVERT, fit); });
        const double rowsPeakMB = Bench::peakMemoryMiB(QUILLON_CONVERT, fit) * 1.048576;
        std::printf("  16000 x 12000 PNG fitted in 320 x 240 by rows: %.0f ms, %.1f MB at most\n",
                    rowsSeconds * 1e3, rowsPeakMB);
        Bench::reportGoal("PNG of 16000 x 12000 --fit 320x240: peak memory, MB", rowsPeakMB, 160, false);
        const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
        if (!vips.isEmpty()) {
            const QStringList thumbnail = {big, "--size", "320x240", "-o", dir.filePath("vips.png")};
            const double vipsSeconds = Bench::bestSeconds(3, [&] { Bench::runCommand(vips, thumbnail); });
            const double vipsPeakMB = Bench::peakMemoryMiB(vips, thumbnail) * 1.048576;
            std::printf("  the same with vipsthumbnail: %.0f ms, %.1f MB at most\n", vipsSeconds * 1e3,
                        vipsPeakMB);
            Bench::reportGoal("PNG of 16000 x 12000 --fit 320x240: time / vipsthumbnail's",
                              rowsSeconds / vipsSeconds, 1.0, false);
        } else {
            std::printf("  vipsthumbnail (Debian package libvips-tools) is not installed: not compared\n");
        }
        QFile::remove(big);
    }

    // A TIFF too large to be decoded whole (16000 x 12000, LZW, in strips of a row), fitted in
    // 320 x 240 as its strips are decoded, in the decoding server's child, against vipsthumbnail,
    // which also reads a TIFF strip after strip. The memory is that of every process of the run:
    // quillon-convert, its decoding server and the child, whose peaks GNU time does not see.
    {
        const QString big = dir.filePath(QStringLiteral("big.tif"));
        if (!Bench::writeLargePhotoTiff(big, 16000, 12000))
            qFatal("cannot write %s", qPrintable(big));
        const QStringList fit = {"--force", "--fit", "320x240", "-o", dir.filePath("quillon"), big};
        const double rowsSeconds = Bench::bestSeconds(3, [&] { Bench::runCommand(QUILLON_CONVERT, fit); });
        const double rowsPeakMB = Bench::peakTreeMemoryMiB(QUILLON_CONVERT, fit) * 1.048576;
        std::printf("  16000 x 12000 TIFF fitted in 320 x 240 by rows: %.0f ms, %.1f MB at most (its "
                    "processes together)\n",
                    rowsSeconds * 1e3, rowsPeakMB);
        Bench::reportGoal("TIFF of 16000 x 12000 --fit 320x240: peak memory, MB", rowsPeakMB, 160, false);
        const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
        if (!vips.isEmpty()) {
            const QStringList thumbnail = {big, "--size", "320x240", "-o", dir.filePath("vips.png")};
            const double vipsSeconds = Bench::bestSeconds(3, [&] { Bench::runCommand(vips, thumbnail); });
            const double vipsPeakMB = Bench::peakMemoryMiB(vips, thumbnail) * 1.048576;
            std::printf("  the same with vipsthumbnail: %.0f ms, %.1f MB at most\n", vipsSeconds * 1e3,
                        vipsPeakMB);
            Bench::reportGoal("TIFF of 16000 x 12000 --fit 320x240: time / vipsthumbnail's",
                              rowsSeconds / vipsSeconds, 1.0, false);
        } else {
            std::printf("  vipsthumbnail (Debian package libvips-tools) is not installed: not compared\n");
        }
        QFile::remove(big);
    }

    // Every frame of a 100-frame animation of 320 x 240 against decoding its frames with Qt.
    const QString animation = dir.filePath(QStringLiteral("animation.gif"));
    {
        QVector<QImage> frames;
        const QImage photo = Bench::photoLike(480, 240).convertToFormat(QImage::Format_RGB32);
        for (int i = 0; i < 100; ++i)
            frames << photo.copy(i, 0, 320, 240);
        QFile file(animation);
        if (!file.open(QIODevice::WriteOnly) || file.write(animatedGif(frames)) <= 0)
            qFatal("cannot write %s", qPrintable(animation));
    }
    int framesRead = 0;
    const double qtSeconds = Bench::bestSeconds(3, [&] {
        QImageReader reader(animation, "gif");
        QImage frame;
        for (framesRead = 0; reader.read(&frame); ++framesRead) { }
    });
    std::printf("  100 frames of 320 x 240 in a GIF: decoded with Qt in %.1f ms (%d frames)\n",
                qtSeconds * 1e3, framesRead);
    for (const char *format : {"mono", "rgb565", "index8", "lvgl"}) {
        const double seconds = Bench::bestSeconds(3, [&] {
            Bench::runCommand(
                QUILLON_CONVERT,
                {"--force", "--format", format, "--frames", "all", "-o", dir.filePath("quillon"), animation});
        });
        std::printf("    --frames all --format %s: %.1f ms\n", format, seconds * 1e3);
        if (QByteArray(format) == "mono")
            Bench::reportGoal("--frames all --format mono time / Qt's decoding of the frames",
                              seconds / qtSeconds, 1.3, false);
    }
    return Bench::goalsExitCode();
}
