#include "benchsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>

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
