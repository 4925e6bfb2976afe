#include "testsupport.h"

#include "child_decoder.h"
#include "display_header.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// quillon-convert speaks the language of LC_ALL, else LC_MESSAGES, else LANG: the programs the
// tests start speak French, as the tests expect them to, and keep the C library's UTF-8 for the
// rest. A test of another language gives it in the child's environment.
const bool frenchMessages = [] {
    qunsetenv("LC_ALL");
    if (qEnvironmentVariableIsEmpty("LANG"))
        qputenv("LANG", "C.UTF-8");
    qputenv("LC_MESSAGES", "fr_FR.UTF-8");
    return true;
}();

// A test runner does not decode as a child: the probe program, which does, is started instead.
const bool decoderProgramSet = [] {
    setDecoderProgram(QStringLiteral(QUILLON_JOB_PROBE));
    return true;
}();

} // namespace

namespace TestSupport {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

QByteArray readFileIfAny(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QStringList entryNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

bool runWithFileSizeLimit(qint64 maxFileSize, const std::function<bool()> &job)
{
    const pid_t child = fork();
    if (child < 0)
        qFatal("fork failed");
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit {rlim_t(maxFileSize), rlim_t(maxFileSize)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(3);
        _exit(job() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        qFatal("the child process did not finish its job (status %d)", status);
    return WEXITSTATUS(status) == 0;
}

QByteArray runJobProbe(const QStringList &launcher, const QStringList &arguments)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList command = launcher + QStringList {QStringLiteral(QUILLON_JOB_PROBE)} + arguments;
    probe.start(command.first(), command.mid(1));
    if (!probe.waitForFinished(120000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        qFatal("the job probe failed: %s", probe.readAll().constData());
    return probe.readAll();
}

QStringList anotherUser()
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        return {};
    return {setpriv, QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
            QStringLiteral("--clear-groups"), QStringLiteral("--")};
}

SharedFolder::SharedFolder()
    : m_dir(QStringLiteral("/tmp/quillon-shared-XXXXXX"))
{
    if (m_dir.isValid())
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 01777);
}

bool SharedFolder::isValid() const
{
    return m_dir.isValid();
}

QString SharedFolder::path(const QString &name) const
{
    return name.isEmpty() ? m_dir.path() : m_dir.filePath(name);
}

bool TemporaryFolder::renewFolder()
{
    m_dir.reset(new QTemporaryDir);
    return m_dir->isValid();
}

QString TemporaryFolder::path(const QString &name) const
{
    return name.isEmpty() ? m_dir->path() : m_dir->filePath(name);
}

Run runProgram(const QStringList &command)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        qFatal("%s did not finish", qPrintable(command.first()));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QHash<QString, HeaderArray> parseArrays(const QString &text)
{
    QHash<QString, HeaderArray> arrays;
    QRegularExpressionMatchIterator declarations
        = QRegularExpression("const (\\w+) (\\w+)\\[(\\d+)\\][^{]*\\{([^}]*)\\}").globalMatch(text);
    while (declarations.hasNext()) {
        const QRegularExpressionMatch declaration = declarations.next();
        HeaderArray &array = arrays[declaration.captured(2)];
        array.type = declaration.captured(1);
        array.size = declaration.captured(3).toInt();
        QRegularExpressionMatchIterator values
            = QRegularExpression("0x([0-9a-f]+)").globalMatch(declaration.captured(4));
        while (values.hasNext())
            array.values << values.next().captured(1).toUInt(nullptr, 16);
    }
    return arrays;
}

QSize sizeMacros(const QString &text, const QString &name)
{
    const auto number = [&](const QString &macro) {
        return QRegularExpression("#define " + macro + " (\\d+)\n").match(text).captured(1).toInt();
    };
    return QSize(number(name + "_width"), number(name + "_height"));
}

QByteArray bytesOf(const QString &text)
{
    QByteArray bytes;
    QRegularExpressionMatchIterator values = QRegularExpression("0x([0-9a-f]{2})\\b").globalMatch(text);
    while (values.hasNext())
        bytes += char(values.next().captured(1).toUInt(nullptr, 16));
    return bytes;
}

QHash<QByteArray, QByteArray> arraysOf(const CHeader &header)
{
    QHash<QByteArray, QByteArray> arrays;
    for (const CArray &array : header.arrays)
        // Copied: the bytes of an array encoded in place are its picture's, gone with the header.
        arrays.insert(array.name, QByteArray(array.data.constData(), array.data.size()));
    return arrays;
}

} // namespace TestSupport
