// quillon-convert on a folder of 32 pictures of 1024 x 768 pixels, against ImageMagick's
// 5-6-5 BMP writer followed by `xxd -i` for the same pictures, both using every core.
//
//     bench_cli [FOLDER]      (default /dev/shm)

#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <utility>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
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
            std::printf("  4096 x 4096 PNG: plain %.1f ms, --dither %.1f ms, --fit 320x240 %.1f ms\n",
                        plain * 1e3, dithered * 1e3, fitted * 1e3);
            Bench::reportGoal("--dither time / plain job time", dithered / plain, 1.25, false);
            Bench::reportGoal("--fit 320x240 time / plain job time", fitted / plain, 1.25, false);
        }
        QFile::remove(picture);
    }
    return Bench::goalsExitCode();
}
