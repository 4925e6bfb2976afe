// An image reader that makes its own picture and writes none of its pixels, as a damaged file
// makes some decoders do: what it hands over is whatever fresh memory held. Files that start
// with "UNSET" are read by it.

#include <QImage>
#include <QImageIOHandler>
#include <QImageIOPlugin>

namespace {

const QByteArray magic = "UNSET";

bool startsWithMagic(QIODevice *device)
{
    return device && device->isReadable() && device->peek(magic.size()) == magic;
}

class UnsetHandler : public QImageIOHandler
{
public:
    bool canRead() const override
    {
        if (!startsWithMagic(device()))
            return false;
        setFormat("unset");
        return true;
    }

    bool read(QImage *image) override
    {
        device()->readAll();
        *image = QImage(7, 5, QImage::Format_RGB32); // its pixels left as they are, on purpose
        return true;
    }
};

} // namespace

class UnsetImagePlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "unset_image_plugin.json")

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override
    {
        if (format == "unset" || (format.isEmpty() && startsWithMagic(device)))
            return CanRead;
        return {};
    }

    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        auto *handler = new UnsetHandler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }
};

#include "unset_image_plugin.moc"
