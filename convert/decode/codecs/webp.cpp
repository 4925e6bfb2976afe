#include "codecs.h"
#include "header_reading.h"

#include <QIODevice>
#include <QtEndian>

#include <webp/decode.h>

// WebP, read by Qt's plugin in the child; an animated one's frames composed there by libwebp's
// own animation decoder, since Qt's reader leaves a frame that disposes to the background where it
// was. Its RIFF chunk, as long as it says, tells a whole file.

namespace {

bool reachesItsEnd(QIODevice *device)
{
    const QByteArray riff = readAt(device, 0, 8);
    return !riff.isEmpty() && 8 + qint64(qFromLittleEndian<quint32>(riff.constData() + 4)) <= device->size();
}

// Whether the file is an animation, as libwebp reads its first bytes (the device is left after
// them).
bool animates(QIODevice *device)
{
    device->seek(0);
    const QByteArray head = device->read(64);
    WebPBitstreamFeatures features;
    return WebPGetFeatures(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size()),
                           &features)
        == VP8_STATUS_OK
        && features.has_animation;
}

} // namespace

const Codec &webpCodec()
{
    static const Codec codec = [] {
        Codec webp;
        webp.family = "webp";
        webp.formats = {"webp"};
        webp.signatures = {{8, QByteArrayLiteral("WEBP"), "webp"}};
        webp.reachesItsEnd = reachesItsEnd;
        webp.frames = Frames::ComposedByLibwebp;
        webp.animates = animates;
        return webp;
    }();
    return codec;
}
