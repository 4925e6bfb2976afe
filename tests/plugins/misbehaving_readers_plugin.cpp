// Image readers that misbehave as damaged files make other packages' decoders misbehave. Each
// reads the files that start with its magic word:
// - UNSET makes its own picture and writes none of its pixels: what it hands over is whatever
//   fresh memory held;
// - CRASH writes where it must not and dies of it;
// - HOG takes 2 GiB of memory;
// - SPIN never returns, working all the while;
// - SPAWN starts a program of its own that outlives it (as ghostscript does), writes that
//   program's process number to the file named after the word, then waits for ever.

#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QImageIOPlugin>

#include <csignal>
#include <cstring>

#include <unistd.h>

namespace {

const QByteArrayList magicWords = {"UNSET", "CRASH", "HOG", "SPIN", "SPAWN"};

QByteArray magicOf(QIODevice *device)
{
    if (!device || !device->isReadable())
        return QByteArray();
    const QByteArray head = device->peek(5);
    for (const QByteArray &word : magicWords) {
        if (head.startsWith(word))
            return word;
    }
    return QByteArray();
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
