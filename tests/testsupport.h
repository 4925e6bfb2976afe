#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcess>
#include <QScopedPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>

struct CHeader;

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

// The launcher that runs a program as another user of the machine (nobody), as root does through
// setpriv: empty when this test cannot (not root, or no setpriv), and should then skip.
QStringList anotherUser();

// A fresh folder under /tmp that every user may write into, sticky as /tmp is (mode 1777): where
// other users leave files. Removed with the object.
class SharedFolder
{
public:
    SharedFolder();
    bool isValid() const;
    QString path(const QString &name = QString()) const;

private:
    QTemporaryDir m_dir;
};

// A fresh empty folder for each test function, for a suite to derive from: renewFolder(), from
// init(), removes the last one and makes another. path(name) names a file in it, path() the folder.
class TemporaryFolder
{
protected:
    bool renewFolder();
    QString path(const QString &name = QString()) const;

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

// What a program exited with and printed.
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs `command` (the program, then its arguments) to its end; fails the test run when it does
// not finish normally within two minutes.
Run runProgram(const QStringList &command);

#ifdef QUILLON_TEST_PLUGINS
// The variable that has a program read pictures through the test's misbehaving reader plugins
// (tests/plugins), as /usr/bin/env takes it.
inline QString testReadersVariable()
{
    return QStringLiteral("QT_PLUGIN_PATH=" QUILLON_TEST_PLUGINS);
}
#endif

#ifdef QUILLON_CONVERT
// Runs quillon-convert, through `launcher` when given (prlimit, setpriv...).
inline Run quillonConvert(const QStringList &arguments, const QStringList &launcher = {})
{
    return runProgram(launcher + QStringList {QStringLiteral(QUILLON_CONVERT)} + arguments);
}
#ifdef QUILLON_TEST_PLUGINS
// Starts quillon-convert with `arguments`, reading pictures through the test's misbehaving reader
// plugins (tests/plugins), in the environment `run` was given (this process's when none).
inline void startWithTestReaders(QProcess &run, const QStringList &arguments)
{
    QProcessEnvironment environment = run.processEnvironment();
    if (environment.isEmpty())
        environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(QUILLON_TEST_PLUGINS));
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral(QUILLON_CONVERT), arguments);
}
#endif
#endif

// Every array of a header's text, by name: its declared type, size and values.
struct HeaderArray
{
    QString type;
    int size = 0;
    QVector<quint32> values;
};
QHash<QString, HeaderArray> parseArrays(const QString &text);

// The picture's size as the header's NAME_width and NAME_height macros give it.
QSize sizeMacros(const QString &text, const QString &name);

// The bytes of the 0x.. values of a text, in order: a C array read back from between its braces.
QByteArray bytesOf(const QString &text);

// The arrays an encoder made, by name: their bytes, little-endian, copied (they outlive the header).
QHash<QByteArray, QByteArray> arraysOf(const CHeader &header);

} // namespace TestSupport
