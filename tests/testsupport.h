#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace TestSupport {

QByteArray readFile(const QString &path);
// The file's bytes, or none when it cannot be read (or is not there yet).
QByteArray readFileIfAny(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);

// Every name in a folder, hidden files included: shows temporary files left behind.
QStringList entryNames(const QString &folder);

// Runs `job` in a forked child process whose files cannot grow beyond `maxFileSize` bytes, as
// on a full disk, and returns the job's result. SIGXFSZ is ignored in the child, so a write past
// the limit fails with EFBIG instead of killing the process.
bool runWithFileSizeLimit(qint64 maxFileSize, const std::function<bool()> &job);

// Runs the window's job in a process of its own (tests/job_probe.cpp), started through
// `launcher` (prlimit, setpriv...) with `arguments`, and returns what it printed. Fails the
// test when the process does not finish normally.
QByteArray runJobProbe(const QStringList &launcher, const QStringList &arguments);

} // namespace TestSupport
