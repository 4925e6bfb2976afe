// Image readers that misbehave as damaged files make other packages' decoders misbehave. Each
// reads the files that start with its magic word:
// - UNSET makes its own picture and writes none of its pixels: what it hands over is whatever
//   fresh memory held;
// - CRASH writes where it must not and dies of it;
// - HOG takes 2 GiB of memory;
// - SPIN never returns, working all the while;
// - SPAWN starts a program of its own that outlives it (as ghostscript does), writes that
//   program's process number to the file named after the word, then waits for ever;
// - SHRINK hands over a 7 x 5 picture, and starts a program of its own, out of its process
//   group, that waits until the process that asked for the picture has mapped the memory file
//   it comes through, then shrinks that file to nothing, and writes "shrunk" to the file named
//   after the word ("refused" when it could not);
// - WAIT writes the number of the process that started its own (the decoding server) to the file
//   named after the word, waits until that file is removed (a minute at most), then hands over a
//   7 x 5 picture.
// Six more hand over a 7 x 5 picture, to show what a process that decodes pictures in turn keeps
// of one for the next:
// - LIMITS writes its process number, its limits of processor time and address space, and the
//   time left on the process's first timer of processor time, in milliseconds, and the number of
//   descriptors it holds open, to the file named after the word ("PID SOFT HARD ADDRESS-SPACE LEFT
//   DESCRIPTORS"), then leaves 64 KiB of its stack written;
// - BUSY works for 600 ms of processor time, then writes its process number to the file named
//   after the word;
// - STACK hands over 140 bytes of its stack that it never wrote, as its pixels;
// - PEAK takes the MiB of address space it is given ("PEAK 240 file"), gives them back, then
//   writes its process number to the file named after the number;
// - KEEP does the same, but keeps them;
// - START starts a program that waits for ever, then writes its process number to the file named
//   after the word.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QImageIOPlugin>

#include <csignal>
#include <cstring>

#include <ctime>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QByteArrayList magicWords = {"UNSET",  "CRASH", "HOG",   "SPIN", "SPAWN", "SHRINK", "WAIT",
                                   "LIMITS", "BUSY",  "STACK", "PEAK", "KEEP",  "START"};

QByteArray magicOf(QIODevice *device)
{
    if (!device || !device->isReadable())
        return QByteArray();
    const QByteArray head = device->peek(6);
    for (const QByteArray &word : magicWords) {
        if (head.startsWith(word))
            return word;
    }
    return QByteArray();
}

// The parent of a process, as /proc tells it.
pid_t parentOf(pid_t process)
{
    QFile status(QStringLiteral("/proc/%1/stat").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = status.readAll();
    return pid_t(line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toInt());
}

void writeMark(const QByteArray &file, int skipped, const QByteArray &text)
{
    QFile mark(QString::fromLocal8Bit(file.mid(skipped).trimmed()));
    if (mark.open(QIODevice::WriteOnly))
        mark.write(text);
}

// LIMITS's report: see above. The first timer a process makes has the number 0.
[[gnu::noinline]] QByteArray limitsReport()
{
    rlimit processor {}, addressSpace {};
    getrlimit(RLIMIT_CPU, &processor);
    getrlimit(RLIMIT_AS, &addressSpace);
    itimerspec left {};
    const long timer = syscall(SYS_timer_gettime, 0, &left) == 0
        ? long(left.it_value.tv_sec * 1000 + left.it_value.tv_nsec / 1000000)
        : -1;
    QByteArray report
        = QByteArray::number(getpid()) + ' ' + QByteArray::number(qulonglong(processor.rlim_cur)) + ' '
        + QByteArray::number(qulonglong(processor.rlim_max)) + ' '
        + QByteArray::number(qulonglong(addressSpace.rlim_cur)) + ' ' + QByteArray::number(qlonglong(timer))
        + ' '
        + QByteArray::number(
              QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
    volatile char written[64 * 1024];
    for (size_t i = 0; i < sizeof written; ++i)
        written[i] = char(0x5a);
    return report;
}

// STACK's pixels: bytes of the stack that nothing wrote here.
[[gnu::noinline]] void unwrittenStack(uchar *pixels, size_t size)
{
    char area[4096];
    asm volatile("" : : "r"(area) : "memory");
    std::memcpy(pixels, area, size);
}

// SHRINK's program: `asking` maps the picture's memory file, descriptor 3 here.
[[noreturn]] void shrinkOnceMapped(pid_t asking, const QString &mark)
{
    bool mapped = false;
    for (int wait = 0; wait < 6000 && !mapped; ++wait) {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(asking));
        mapped = maps.open(QIODevice::ReadOnly) && maps.readAll().contains("quillon-picture");
        if (!mapped)
            usleep(10000);
    }
    const bool shrunk = mapped && ftruncate(3, 0) == 0;
    QFile told(mark);
    if (told.open(QIODevice::WriteOnly))
        told.write(shrunk ? "shrunk" : "refused");
    told.close();
    _exit(0);
}

class MisbehavingHandler : public QImageIOHandler
{
public:
    bool canRead() const override
    {
        const QByteArray magic = magicOf(device());
        if (magic.isEmpty())
            return false;
        setFormat(magic.toLower());
        return true;
    }

    bool read(QImage *image) override
    {
        const QByteArray file = device()->readAll();
        if (file.startsWith("CRASH")) {
            std::raise(SIGSEGV);
        } else if (file.startsWith("HOG")) {
            const size_t size = size_t(2) << 30;
            char *memory = new char[size];
            std::memset(memory, 1, size);
            *image = QImage(7, 5, QImage::Format_RGB32);
            image->fill(memory[size - 1]);
            delete[] memory;
            return true;
        } else if (file.startsWith("SPIN")) {
            for (volatile unsigned long turn = 0;; turn = turn + 1) { }
        } else if (file.startsWith("SPAWN")) {
            const pid_t program = fork();
            if (program == 0) {
                execlp("sleep", "sleep", "1000", static_cast<char *>(nullptr));
                _exit(127);
            }
            QFile pidFile(QString::fromLocal8Bit(file.mid(6).trimmed()));
            if (pidFile.open(QIODevice::WriteOnly))
                pidFile.write(QByteArray::number(program));
            pidFile.close();
            for (;;)
                pause();
        } else if (file.startsWith("SHRINK")) {
            // Out of the group, so that the end of the reader's group does not end it; the
            // picture handed over only once it is.
            int started[2];
            if (pipe(started) != 0)
                return false;
            if (fork() == 0) {
                setsid();
                // This reader's process was forked by the decoding server, itself the child of
                // the process that asked for the picture.
                const pid_t asking = parentOf(parentOf(getppid()));
                const char ready = 1;
                if (::write(started[1], &ready, 1) == 1)
                    shrinkOnceMapped(asking, QString::fromLocal8Bit(file.mid(7).trimmed()));
                _exit(1);
            }
            char ready = 0;
            if (::read(started[0], &ready, 1) != 1)
                return false;
            *image = QImage(7, 5, QImage::Format_RGB32);
            image->fill(qRgb(10, 200, 30));
            return true;
        }
        if (file.startsWith("LIMITS")) {
            writeMark(file, 7, limitsReport());
            *image = QImage(7, 5, QImage::Format_RGB32);
            image->fill(qRgb(30, 10, 200));
            return true;
        }
        if (file.startsWith("BUSY")) {
            const auto used = [] {
                timespec now {};
                clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
                return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
            };
            const qint64 start = used();
            while (used() < start + 600) { }
            writeMark(file, 5, QByteArray::number(getpid()));
            *image = QImage(7, 5, QImage::Format_RGB32);
            image->fill(qRgb(10, 30, 200));
            return true;
        }
        if (file.startsWith("PEAK") || file.startsWith("KEEP")) {
            const QList<QByteArray> words = file.split(' ');
            const size_t size = size_t(words.value(1).toInt()) << 20;
            void *taken = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (taken == MAP_FAILED)
                return false;
            if (file.startsWith("PEAK"))
                munmap(taken, size);
            writeMark(file, 6 + words.value(1).size(), QByteArray::number(getpid()));
            *image = QImage(7, 5, QImage::Format_RGB32);
            image->fill(qRgb(200, 10, 30));
            return true;
        }
        if (file.startsWith("START")) {
            if (fork() == 0) {
                execlp("sleep", "sleep", "1000", static_cast<char *>(nullptr));
                _exit(127);
            }
            writeMark(file, 6, QByteArray::number(getpid()));
            *image = QImage(7, 5, QImage::Format_RGB32);
            image->fill(qRgb(30, 200, 10));
            return true;
        }
        if (file.startsWith("STACK")) {
            *image = QImage(7, 5, QImage::Format_RGB32);
            unwrittenStack(image->bits(), size_t(image->sizeInBytes()));
            return true;
        }
        if (file.startsWith("WAIT")) {
            const QString mark = QString::fromLocal8Bit(file.mid(5).trimmed());
            QFile told(mark);
            if (told.open(QIODevice::WriteOnly))
                told.write(QByteArray::number(getppid()));
            told.close();
            for (int wait = 0; wait < 6000 && QFile::exists(mark); ++wait)
                usleep(10000);
            *image = QImage(7, 5, QImage::Format_RGB32);
            image->fill(qRgb(200, 30, 10));
            return true;
        }
        *image = QImage(7, 5, QImage::Format_RGB32); // its pixels left as they are, on purpose
        return true;
    }
};

} // namespace

class MisbehavingReadersPlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "misbehaving_readers_plugin.json")

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override
    {
        if (magicWords.contains(format.toUpper()) || (format.isEmpty() && !magicOf(device).isEmpty()))
            return CanRead;
        return {};
    }

    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        auto *handler = new MisbehavingHandler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }
};

#include "misbehaving_readers_plugin.moc"
