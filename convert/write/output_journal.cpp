#include "output_journal.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray journalStart = "quillon-journal 2\n";
// An earlier version's journal, which records no target's state: its renames are completed.
const QByteArray earlierJournalStart = "quillon-journal 1\n";
const QByteArray journalEnd = "fin\n";
constexpr int maxJournalBytes = 1 << 20;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// What a target is: "-" when there is none, else its inode, size, and times of change of its
// bytes and of its entry, which writing it by hand or replacing it changes.
QByteArray stateOf(int result, const struct stat &status)
{
    if (result != 0)
        return QByteArrayLiteral("-");
    QByteArray state;
    for (const qint64 value :
         {qint64(status.st_ino), qint64(status.st_size), qint64(status.st_mtim.tv_sec),
          qint64(status.st_mtim.tv_nsec), qint64(status.st_ctim.tv_sec), qint64(status.st_ctim.tv_nsec)})
        state += (state.isEmpty() ? "" : ",") + QByteArray::number(value);
    return state;
}

QByteArray stateAt(int folder, const QByteArray &name)
{
    struct stat status;
    return stateOf(::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW), status);
}

bool writeAll(int fd, const QByteArray &text, int *systemError)
{
    for (qint64 done = 0; done < text.size();) {
        const ssize_t count = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            *systemError = count < 0 ? errno : ENOSPC;
            return false;
        }
        done += count;
    }
    return true;
}

// An open folder, closed when it goes.
struct Folder
{
    explicit Folder(const QString &path)
        : fd(::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    { }
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    const int fd;
};

// The names a journal of these outputs may give, as the folder holds them.
class OwnNames
{
public:
    OwnNames(const OutputPlaces &places, const OutputPaths &paths)
        : m_temporary(encoded(QFileInfo(places.temporaryPrefix + QLatin1Char('X')).fileName()).chopped(1))
    {
        for (const QString &path : {paths.bmp, paths.header, paths.preview, paths.source})
            m_outputs << encoded(QFileInfo(path).fileName());
        const QFileInfo header(paths.header);
        m_rawStem = encoded(header.completeBaseName());
    }

    QByteArray temporaryPrefix() const { return m_temporary; }

    // PREFIX and six letters or digits, as the temporary files are named.
    bool isTemporary(const QByteArray &name) const
    {
        if (name.size() != m_temporary.size() + 6 || !name.startsWith(m_temporary))
            return false;
        for (const char c : name.mid(m_temporary.size())) {
            if (!std::isalnum(static_cast<unsigned char>(c)))
                return false;
        }
        return true;
    }

    // The BMP file, the header, the preview, the C file, or a raw file of an array (photo.bin,
    // photo_mask.bin...).
    bool isOutput(const QByteArray &name) const
    {
        if (m_outputs.contains(name))
            return true;
        if (!name.startsWith(m_rawStem) || !name.endsWith(".bin"))
            return false;
        for (const char c : name.mid(m_rawStem.size(), name.size() - m_rawStem.size() - 4)) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
                return false;
        }
        return true;
    }

private:
    QByteArray m_temporary;
    QByteArrayList m_outputs;
    QByteArray m_rawStem;
};

enum class Journal { None, Own, Foreign };

// Whether a journal stands there, and whose; the user's own is read into `text` when it is a
// regular file (anything else in its place is no journal, and only removed).
Journal readJournal(int folder, const QByteArray &name, QByteArray *text, uid_t *owner)
{
    struct stat seen;
    if (::fstatat(folder, name.constData(), &seen, AT_SYMLINK_NOFOLLOW) != 0)
        return Journal::None;
    *owner = seen.st_uid;
    if (seen.st_uid != ::geteuid())
        return Journal::Foreign;
    const int fd = S_ISREG(seen.st_mode)
        ? ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
        : -1;
    struct stat opened;
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_ino == seen.st_ino
        && opened.st_dev == seen.st_dev) {
        char block[4096];
        for (ssize_t count;
             (count = ::read(fd, block, sizeof block)) != 0 && text->size() < maxJournalBytes;) {
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                break;
            text->append(block, int(count));
        }
    }
    if (fd >= 0)
        ::close(fd);
    return Journal::Own;
}

// Removes the temporary files of these outputs that stand in the folder and are the user's own:
// among `candidates` when given, else among every name the folder holds.
void removeLeftTemporaries(int folder, const OwnNames &names, const QByteArrayList *candidates)
{
    const auto removeIfLeft = [&](const char *entry) {
        struct stat status;
        if (names.isTemporary(entry) && ::fstatat(folder, entry, &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(status.st_mode) && status.st_uid == ::geteuid())
            ::unlinkat(folder, entry, 0);
    };
    if (candidates) {
        for (const QByteArray &name : *candidates)
            removeIfLeft(name.constData());
        return;
    }
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!entries) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent *entry = ::readdir(entries))
        removeIfLeft(entry->d_name);
    ::closedir(entries);
}

// The names of temporary files, journals and locks begin so, then come the 16 digits of their
// outputs' name and a "-" (a temporary file) or a "." (a lock or a journal).
const char ownNamesStart[] = ".quillon-";
constexpr int ownStemSize = int(sizeof ownNamesStart) - 1 + 16 + 1;

// `prefix` and six random letters or digits.
QByteArray randomName(const QByteArray &prefix)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = prefix;
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return name;
}

} // namespace

struct TemporaryFileNames::Listing
{
    std::mutex mutex;
    // For each folder, its names that begin so, by their first ownStemSize bytes.
    QHash<QString, QHash<QByteArray, QByteArrayList>> folders;
};

TemporaryFileNames::TemporaryFileNames()
    : m_listing(new Listing)
{ }

TemporaryFileNames::~TemporaryFileNames() = default;

QByteArrayList TemporaryFileNames::startingWith(int folder, const QString &folderPath,
                                                const QByteArray &prefix)
{
    const std::lock_guard<std::mutex> lock(m_listing->mutex);
    auto listed = m_listing->folders.find(folderPath);
    if (listed == m_listing->folders.end()) {
        listed = m_listing->folders.insert(folderPath, {});
        const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *entries = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (fd >= 0 && !entries)
            ::close(fd);
        while (const dirent *entry = entries ? ::readdir(entries) : nullptr) {
            if (std::strncmp(entry->d_name, ownNamesStart, sizeof ownNamesStart - 1) == 0) {
                const QByteArray name(entry->d_name);
                (*listed)[name.left(ownStemSize)] << name;
            }
        }
        if (entries)
            ::closedir(entries);
    }
    QByteArrayList names;
    for (const QByteArray &name : listed->value(prefix.left(ownStemSize))) {
        if (name.startsWith(prefix))
            names << name;
    }
    return names;
}

bool stageJournal(const QString &path, const QString &temporaryPrefix, const QVector<JournalEntry> &entries,
                  StagedFile *stagedJournal, int *systemError)
{
    const QFileInfo journal(path);
    const QString folderPath = journal.absolutePath();
    QByteArray text = journalStart;
    for (const JournalEntry &entry : entries) {
        const QFileInfo staged(entry.staged), target(entry.target);
        if (staged.absolutePath() != folderPath || target.absolutePath() != folderPath
            || QFileInfo(temporaryPrefix + QLatin1Char('X')).absolutePath() != folderPath) {
            *systemError = EXDEV;
            return false;
        }
        struct stat status;
        const int found = ::lstat(encoded(entry.target).constData(), &status);
        text += encoded(staged.fileName()).toPercentEncoding() + ' '
            + encoded(target.fileName()).toPercentEncoding() + ' ' + stateOf(found, status) + '\n';
    }
    text += journalEnd;
    QByteArray name;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        name = randomName(encoded(temporaryPrefix));
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                    0644);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *systemError = errno;
        return false;
    }
    if (!writeAll(fd, text, systemError)) {
        ::close(fd);
        ::unlink(name.constData());
        return false;
    }
#ifdef Q_OS_LINUX
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    ::close(fd);
    *stagedJournal = {QFile::decodeName(name), path};
    *systemError = 0;
    return true;
}

bool placeJournal(const StagedFile &stagedJournal, const QString &path, int *systemError)
{
    const QByteArray from = encoded(stagedJournal.temporaryPath), to = encoded(path);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system that cannot rename so: the place checked first, under the outputs' lock.
    struct stat status;
    if ((errno == EINVAL || errno == ENOSYS) && ::lstat(to.constData(), &status) != 0 && errno == ENOENT
        && ::renameat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData()) == 0)
        return true;
    *systemError = errno;
    return false;
}

PendingReplacements finishPendingReplacements(const OutputPlaces &places, const OutputPaths &paths,
                                              TemporaryFileNames *listed, bool lockStood)
{
    PendingReplacements outcome;
    const Folder folder(QFileInfo(places.journal).path());
    if (folder.fd < 0) {
        outcome.status = PendingReplacements::Failed;
        outcome.systemError = errno;
        return outcome;
    }
    const OwnNames names(places, paths);
    const std::unique_ptr<QByteArrayList> candidates(
        !lockStood   ? new QByteArrayList()
            : listed ? new QByteArrayList(
                  listed->startingWith(folder.fd, QFileInfo(places.journal).path(), names.temporaryPrefix()))
                     : nullptr);
    const QByteArray journalName = encoded(QFileInfo(places.journal).fileName());
    QByteArray text;
    uid_t owner = 0;
    switch (readJournal(folder.fd, journalName, &text, &owner)) {
    case Journal::Foreign:
        outcome.status = PendingReplacements::Foreign;
        outcome.owner = owner;
        return outcome;
    case Journal::None:
        removeLeftTemporaries(folder.fd, names, candidates.get());
        return outcome;
    case Journal::Own:
        break;
    }
    const bool earlier = text.startsWith(earlierJournalStart);
    if ((earlier || text.startsWith(journalStart)) && text.endsWith(journalEnd)) {
        const QList<QByteArray> lines
            = text.mid(journalStart.size(), text.size() - journalStart.size() - journalEnd.size())
                  .split('\n');
        bool renamed = false;
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() != (earlier ? 2 : 3))
                continue;
            const QByteArray staged = QByteArray::fromPercentEncoding(fields[0]);
            const QByteArray target = QByteArray::fromPercentEncoding(fields[1]);
            struct stat status;
            // A file no longer under its temporary name has already taken its place.
            if (!names.isTemporary(staged) || !names.isOutput(target)
                || ::fstatat(folder.fd, staged.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0
                || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid())
                continue;
            if (!earlier && stateAt(folder.fd, target) != fields[2]) {
                ::unlinkat(folder.fd, staged.constData(), 0);
                outcome.keptTargets << QFileInfo(paths.header).path() + QLatin1Char('/')
                        + QFile::decodeName(target);
                continue;
            }
            if (::renameat(folder.fd, staged.constData(), folder.fd, target.constData()) != 0) {
                outcome.status = PendingReplacements::Failed;
                outcome.systemError = errno;
                return outcome;
            }
            renamed = true;
        }
        // The renames on the disk before the journal goes.
        if (renamed)
            ::fsync(folder.fd);
    }
    ::unlinkat(folder.fd, journalName.constData(), 0);
    removeLeftTemporaries(folder.fd, names, candidates.get());
    return outcome;
}
