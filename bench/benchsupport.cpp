#include "benchsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <png.h>

#include <cstdio>
#include <limits>
#include <vector>

extern char **environ;

namespace Bench {

namespace {
bool allGoalsMet = true;
}

double bestSeconds(int runs, const std::function<void()> &job)
{
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        job();
        best = qMin(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

void runCommand(const QString &program, const QStringList &arguments, const QString &outputFile)
{
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
}

double peakMemoryMiB(const QString &program, const QStringList &arguments)
{
    // A process started from this one would count this one's memory as its own: Linux carries the
    // peak of the memory a process had before exec() into what wait4() reports. GNU time, small,
    // starts the program instead, and reports the peak of that one child.
    QTemporaryFile report;
    if (!report.open())
        qFatal("cannot create a temporary file");
    QProcess time;
    time.start(QStringLiteral("/usr/bin/time"),
               QStringList {QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("-o"),
                            report.fileName(), program}
                   + arguments);
    if (!time.waitForFinished(-1) || time.exitStatus() != QProcess::NormalExit || time.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
    return report.readAll().trimmed().toDouble() / 1024.0; // kilobytes
}

QImage photoLike(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QRandomGenerator random(width * 7919 + height);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(16));
            line[x] = qRgb((x * 255 / width + noise) & 0xff, (y * 255 / height + noise) & 0xff,
                           ((x + y) * 127 / (width + height) * 2 + noise) & 0xff);
        }
    }
    return picture;
}

namespace {

// No C++ object lives here but in the caller's frame, since libpng reports its errors with
// longjmp.
bool writePngRows(png_structp png, png_infop info, FILE *file, int width, int height, uchar *row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    quint32 random = quint32(width) * 7919u + quint32(height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            random = random * 1664525u + 1013904223u;
            const int noise = int(random >> 28);
            row[3 * x] = uchar((x * 255 / width + noise) & 0xff);
            row[3 * x + 1] = uchar((y * 255 / height + noise) & 0xff);
            row[3 * x + 2] = uchar(((x + y) * 127 / (width + height) * 2 + noise) & 0xff);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

} // namespace

bool writeLargePhotoPng(const QString &path, int width, int height)
{
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uchar> row(size_t(width) * 3);
    const bool written = info && writePngRows(png, info, file, width, height, row.data());
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && written;
}

void reportGoal(const QString &what, double measured, double goal, bool higherIsBetter)
{
    const bool met = higherIsBetter ? measured >= goal : measured <= goal;
    allGoalsMet = allGoalsMet && met;
    std::printf("  %-58s %8.2f  (goal %s %.2f)  %s\n", qPrintable(what), measured,
                higherIsBetter ? ">=" : "<=", goal, met ? "met" : "MISSED");
    std::fflush(stdout);
}

int goalsExitCode()
{
    return allGoalsMet ? 0 : 1;
}

} // namespace Bench
