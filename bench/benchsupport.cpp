#include "benchsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>
#include <limits>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

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
    // wait4() gives the resource use of that one child, which QProcess does not.
    std::vector<QByteArray> words {QFile::encodeName(program)};
    for (const QString &argument : arguments)
        words.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        qFatal("cannot start %s", qPrintable(program));
    int status = 0;
    rusage usage {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s failed", qPrintable(program));
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
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
