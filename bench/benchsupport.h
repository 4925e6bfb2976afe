#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

namespace Bench {

// The best of `runs` wall-clock timings of `job`, in seconds: the least disturbed run.
double bestSeconds(int runs, const std::function<void()> &job);

// Runs a command to completion, its standard output going to `outputFile` when one is given.
void runCommand(const QString &program, const QStringList &arguments, const QString &outputFile = QString());

// Runs a command to completion and returns the most memory it held at once (its peak resident
// set), in MiB.
double peakMemoryMiB(const QString &program, const QStringList &arguments);

// The same for the program and every process it starts, added up: the peak of each (its VmHWM),
// read every 10 ms while it runs, in MiB. What a process takes in its last 10 ms is missed.
double peakTreeMemoryMiB(const QString &program, const QStringList &arguments);

// A photograph-like picture: smooth gradients with a little noise, so that it compresses the
// way real pictures do.
QImage photoLike(int width, int height);
// The same picture written as an 8-bit RGB PNG file row by row, for pictures too large to be held
// (zlib's fastest level, libpng's adaptive filters); false when it cannot be written.
bool writeLargePhotoPng(const QString &path, int width, int height);
// The same as an 8-bit RGB TIFF file, LZW with horizontal differences, in strips of about 8 KiB
// (libtiff's default).
bool writeLargePhotoTiff(const QString &path, int width, int height);

// Prints one line of the report and remembers whether the goal was met.
void reportGoal(const QString &what, double measured, double goal, bool higherIsBetter = true);
// 0 when every goal reported was met, 1 otherwise.
int goalsExitCode();

} // namespace Bench
