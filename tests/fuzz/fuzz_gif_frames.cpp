// Fuzz target: any bytes through a GIF's decoding (giflib's reading, the frames composed here)
// must give at most the frames counted, each of the canvas's size, opaque where the frames are
// said to be, and the same frames again from a second decoding of the same bytes.

#include "gif_frames.h"

#include <QBuffer>

#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    qCritical("GIF frames: %s", what);
    std::abort();
}

// The bytes, as GifFrames reads a file: through a device that stays open.
class Source
{
public:
    explicit Source(const QByteArray &bytes)
        : m_bytes(bytes)
        , m_buffer(&m_bytes)
    {
        m_buffer.open(QIODevice::ReadOnly);
    }
    QIODevice *device() { return &m_buffer; }

private:
    QByteArray m_bytes;
    QBuffer m_buffer;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    Source source(bytes), again(bytes);
    GifFrames gif(source.device()), second(again.device());
    if (gif.state() != second.state() || gif.frameCount() != second.frameCount()
        || gif.canvasSize() != second.canvasSize())
        fail("two readings of the blocks differ");
    // The caller bounds the canvas at 256 MiB; a small one keeps each run short.
    const QSize canvas = gif.canvasSize();
    if (gif.state() != GifFrames::Whole || qint64(canvas.width()) * canvas.height() > 1 << 16)
        return 0;
    QImage frame, other;
    int delayMs = 0, otherDelayMs = 0, read = 0;
    while (gif.readNext(&frame, &delayMs)) {
        if (++read > std::min(gif.frameCount(), int(GifFrames::maxKeptFrames)))
            fail("more frames than counted");
        if (frame.size() != canvas)
            fail("a frame is not the canvas's size");
        if (delayMs != 100 && delayMs < 20)
            fail("a delay under 20 ms");
        if (frame.format() == QImage::Format_RGB32) {
            for (int y = 0; y < frame.height(); ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
                for (int x = 0; x < frame.width(); ++x)
                    if (qAlpha(line[x]) != 255)
                        fail("a pixel of an opaque frame is not opaque");
            }
        }
        if (!second.readNext(&other, &otherDelayMs) || other != frame || otherDelayMs != delayMs)
            fail("a second decoding gives another frame");
    }
    if (second.readNext(&other, &otherDelayMs))
        fail("a second decoding gives more frames");
    return 0;
}
