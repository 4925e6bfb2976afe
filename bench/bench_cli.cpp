// quillon-convert on a folder of 32 pictures of 1024 x 768 pixels, against ImageMagick's
// 5-6-5 BMP writer followed by `xxd -i` for the same pictures, both using every core.
//
//     bench_cli [FOLDER]      (default /dev/shm)

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

#include <cstdio>
#include <utility>

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    setDecoderProgram(QStringLiteral(QUILLON_CONVERT)); // which decodes other readers' pictures
    const QString base = app.arguments().value(1, QStringLiteral("/dev/shm"));
    QTemporaryDir dir(base + QStringLiteral("/quillon-bench-XXXXXX"));
    if (!dir.isValid() || !QDir(dir.path()).mkdir("quillon") || !QDir(dir.path()).mkdir("magick"))
        qFatal("cannot create folders in %s", qPrintable(base));

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
