#include "child_pool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::mutex programLock;
QString &decoderProgram()
{
    static QString program;
    return program;
}

QString programToStart()
{
    const std::lock_guard<std::mutex> lock(programLock);
    if (!decoderProgram().isEmpty())
        return decoderProgram();
    const QString running = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return running.isEmpty() && QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                             : running;
}

// Arguments and environment as exec() takes them, made before the fork.
struct ExecStrings
{
    std::vector<std::string> strings;
    std::vector<char *> pointers;

    char *const *array()
    {
        pointers.clear();
        for (std::string &string : strings)
            pointers.push_back(string.data());
        pointers.push_back(nullptr);
        return pointers.data();
    }
};

// What runs between fork() and exec() in a server started as a program.
[[noreturn]] void becomeServer(int socketFd, int nullFd, const char *program, char *const *arguments,
                               char *const *environment)
{
    detachServer(socketFd, nullFd);
    ::execve(program, arguments, environment);
    ::_exit(127);
}

// Removes a folder and what it holds, each entry relative to its folder's descriptor and never
// through a link: a link is removed itself, whatever it names.
void removeTree(int parent, const char *name, int depth = 0)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR *folder = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (fd >= 0 && !folder)
        ::close(fd);
    if (folder) {
        std::vector<std::string> names;
        while (const dirent *entry = ::readdir(folder)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        for (const std::string &entry : names) {
            struct stat status;
            if (::fstatat(fd, entry.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(status.st_mode) && depth < 64)
                removeTree(fd, entry.c_str(), depth + 1);
            else
                ::unlinkat(fd, entry.c_str(), 0);
        }
        ::closedir(folder);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// The temporary folders of the children of runs that were killed: a folder is named after the
// process that made it, and removed once that process is gone. In a temporary folder that other
// users share, only real folders of the user's own are removed: never a link, never through one.
void removeAbandonedTemporaries()
{
    const int temporary
        = ::open(QFile::encodeName(QDir::tempPath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = temporary >= 0 ? ::fdopendir(::fcntl(temporary, F_DUPFD_CLOEXEC, 0)) : nullptr;
    if (!entries) {
        if (temporary >= 0)
            ::close(temporary);
        return;
    }
    std::vector<std::string> abandoned;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith("quillon-decode-"))
            continue;
        bool isNumber = false;
        const pid_t owner = pid_t(name.split('-').value(2).toInt(&isNumber));
        struct stat status;
        if (isNumber && owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH
            && ::fstatat(temporary, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid())
            abandoned.emplace_back(entry->d_name);
    }
    ::closedir(entries);
    for (const std::string &name : abandoned)
        removeTree(temporary, name.c_str());
    ::close(temporary);
}

// The children's folder of temporary files (see childTemporaryFolder()).
class ChildTemporaries
{
public:
    ~ChildTemporaries()
    {
        if (!m_path.empty())
            removeTree(AT_FDCWD, m_path.c_str());
    }

    // Its path, or nothing when it could not be made.
    std::string path()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (m_made)
            return m_path;
        m_made = true;
        removeAbandonedTemporaries();
        std::string name = QFile::encodeName(QDir::tempPath()).toStdString() + "/quillon-decode-"
            + std::to_string(::getpid()) + "-XXXXXX";
        if (::mkdtemp(name.data()))
            m_path = name;
        return m_path;
    }

private:
    std::mutex m_lock;
    bool m_made = false;
    std::string m_path;
};

} // namespace

pid_t DecoderServer::send(const DecodeRequest &request, std::initializer_list<int> descriptors)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    const QString program = programToStart();
    if (program != m_program)
        stop();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_socket < 0 && !start(program))
            return -1;
        if (sendRequest(m_socket, request, descriptors))
            return m_server;
        stop(); // it died: started again once
    }
    return -1;
}

void DecoderServer::forkNow(const QByteArray &reader)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_socket >= 0)
        return;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t server = nullFd < 0 ? -1 : ::fork();
    if (server == 0)
        becomeForkedServer(ends[1], nullFd, reader);
    ::close(ends[1]);
    if (nullFd >= 0)
        ::close(nullFd);
    if (server < 0) {
        ::close(ends[0]);
        return;
    }
    m_socket = ends[0];
    m_server = server;
    m_program = programToStart();
}

bool DecoderServer::takeIdle(IdleChild *idle)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    while (!m_idle.empty()) {
        *idle = m_idle.back();
        m_idle.pop_back();
        if (idle->server == m_server && m_socket >= 0 && m_program == programToStart())
            return true;
        endChild(*idle);
    }
    return false;
}

void DecoderServer::giveBack(const IdleChild &idle)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (idle.server == m_server && m_socket >= 0 && m_idle.size() < maxIdleChildren)
        m_idle.push_back(idle);
    else
        endChild(idle);
}

void DecoderServer::endChild(const IdleChild &idle)
{
    ::kill(-idle.child, SIGKILL);
    ::close(idle.channel);
}

bool DecoderServer::start(const QString &program)
{
    ExecStrings arguments, environment;
    const QByteArray programName = QFile::encodeName(program);
    arguments.strings = {programName.toStdString(), serverArgument};
    for (char **variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "GLIBC_TUNABLES=", 15) != 0
            && std::strncmp(*variable, "MALLOC_PERTURB_=", 16) != 0)
            environment.strings.emplace_back(*variable);
    }
    // The children inherit these settings with the rest of the server's memory, which it
    // leaves alone between them.
    environment.strings.push_back("GLIBC_TUNABLES=" + childTunables());
    char *const *argv = arguments.array();
    char *const *envp = environment.array();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t server = nullFd < 0 ? -1 : ::fork();
    if (server == 0)
        becomeServer(ends[1], nullFd, programName.constData(), argv, envp);
    ::close(ends[1]);
    if (nullFd >= 0)
        ::close(nullFd);
    if (server < 0) {
        ::close(ends[0]);
        return false;
    }
    m_socket = ends[0];
    m_server = server;
    m_program = program;
    return true;
}

void DecoderServer::stop()
{
    for (const IdleChild &idle : m_idle)
        endChild(idle);
    m_idle.clear();
    if (m_socket < 0)
        return;
    ::close(m_socket); // the server ends when it reads the end of its socket
    m_socket = -1;
    while (::waitpid(m_server, nullptr, 0) < 0 && errno == EINTR) { }
    m_program.clear();
}

DecoderServer &decoderServer()
{
    static DecoderServer server;
    return server;
}

std::string childTemporaryFolder()
{
    static ChildTemporaries temporaries;
    return temporaries.path();
}

void setDecoderProgram(const QString &program)
{
    const std::lock_guard<std::mutex> lock(programLock);
    decoderProgram() = program;
}

void forkDecoderServer(const QByteArray &reader)
{
    decoderServer().forkNow(reader);
}
