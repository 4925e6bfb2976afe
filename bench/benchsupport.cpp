#include "benchsupport.h"

#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <limits>

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
