#include "benchsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QThread>

#include <png.h>
#include <tiffio.h>

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

double peakTreeMemoryMiB(const QString &program, const QStringList &arguments)
{
    // A process's parent and peak resident set, from /proc; no parent when it is gone.
    const auto parentOf = [](const QString &pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return qint64(-1);
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
    };
    const auto peakOf = [](qint64 pid) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return qint64(0);
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong(); // kilobytes
        }
        return qint64(0);
    };
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        qFatal("%s failed to start", qPrintable(program));
    QMap<qint64, qint64> peaks; // each process of the tree: its peak as last seen
    const qint64 root = process.processId();
    while (!process.waitForFinished(10)) {
        QMap<qint64, qint64> parents;
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool number = false;
            const qint64 pid = entry.toLongLong(&number);
            if (number)
                parents[pid] = parentOf(entry);
        }
        for (auto at = parents.cbegin(); at != parents.cend(); ++at) {
            qint64 ancestor = at.key();
            for (int depth = 0; depth < 8 && ancestor > 1 && ancestor != root; ++depth)
                ancestor = parents.value(ancestor, -1);
            if (ancestor == root)
                peaks[at.key()] = qMax(peaks.value(at.key()), peakOf(at.key()));
        }
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    qint64 total = 0;
    for (qint64 peak : peaks)
        total += peak;
    return total / 1024.0;
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

// Row `y` of the photograph-like picture of the large files, 8-bit RGB; `random` carried from
// one row to the next.
void photoRow(uchar *row, int width, int height, int y, quint32 *random)
{
    for (int x = 0; x < width; ++x) {
        *random = *random * 1664525u + 1013904223u;
        const int noise = int(*random >> 28);
        row[3 * x] = uchar((x * 255 / width + noise) & 0xff);
        row[3 * x + 1] = uchar((y * 255 / height + noise) & 0xff);
        row[3 * x + 2] = uchar(((x + y) * 127 / (width + height) * 2 + noise) & 0xff);
    }
}

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
        photoRow(row, width, height, y, &random);
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

bool writeLargePhotoTiff(const QString &path, int width, int height)
{
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    std::vector<uchar> row(size_t(width) * 3);
    quint32 random = quint32(width) * 7919u + quint32(height);
    bool written = true;
    for (int y = 0; y < height && written; ++y) {
        photoRow(row.data(), width, height, y, &random);
        written = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) >= 0;
    }
    TIFFClose(tiff);
    return written;
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
