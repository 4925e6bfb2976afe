#include "gif_frames.h"

#include <QIODevice>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

// The bytes of the file as giflib asks for them, through a window of 64 KiB: blocks come a few
// bytes at a time.
class GifFrames::Bytes
{
public:
    explicit Bytes(QIODevice *device)
        : m_device(device)
    { }

    qint64 position() const { return m_position; }
    void seek(qint64 position) { m_position = position; }
    // Whether giflib asked for bytes beyond the end of the file: a file cut short.
    bool ranOut() const { return m_ranOut; }

    // giflib's input function: up to `count` bytes, fewer at the end of the file.
    static int read(GifFileType *gif, GifByteType *to, int count)
    {
        return static_cast<Bytes *>(gif->UserData)->take(to, count);
    }

private:
    int take(uchar *to, int count)
    {
        if (m_position < m_start || m_position + count > m_start + m_window.size()) {
            if (m_position < 0 || !m_device->seek(m_position)) {
                m_ranOut = true;
                return 0;
            }
            m_window = m_device->read(std::max(count, 1 << 16));
            m_start = m_position;
        }
        const int got = int(std::min<qint64>(count, m_start + m_window.size() - m_position));
        std::memcpy(to, m_window.constData() + (m_position - m_start), size_t(got));
        m_position += got;
        m_ranOut = m_ranOut || got < count;
        return got;
    }

    QIODevice *m_device;
    QByteArray m_window;
    qint64 m_start = 0;
    qint64 m_position = 0;
    bool m_ranOut = false;
};

void GifFrames::Closer::operator()(GifFileType *gif) const
{
    DGifCloseFile(gif, nullptr);
}

namespace {

// The canvas is the logical screen, enlarged to hold the first frame, as browsers take it.
int canvasSide(int screen, int offset, int frame)
{
    return std::max(screen, offset + frame);
}

// The sub-blocks after `block` (none when it is null), up to the empty one, passed over with
// `next`; false when the file ends first.
bool passSubBlocks(GifFileType *gif, GifByteType *block, int (*next)(GifFileType *, GifByteType **))
{
    while (block) {
        if (next(gif, &block) == GIF_ERROR)
            return false;
    }
    return true;
}

// The rows of a frame in the order its data gives them: interlaced, every eighth row from the
// first, every eighth from the fifth, every fourth from the third, then every second from the
// second.
QVector<int> rowOrder(int height, bool interlaced)
{
    QVector<int> rows;
    rows.reserve(height);
    if (!interlaced) {
        for (int row = 0; row < height; ++row)
            rows << row;
        return rows;
    }
    for (const auto &pass :
         {std::make_pair(0, 8), std::make_pair(4, 8), std::make_pair(2, 4), std::make_pair(1, 2)})
        for (int row = pass.first; row < height; row += pass.second)
            rows << row;
    return rows;
}

} // namespace

GifFrames::GifFrames(QIODevice *device)
    : m_bytes(new Bytes(device))
{
    m_gif.reset(DGifOpen(m_bytes.get(), Bytes::read, nullptr));
    if (!m_gif) { // no header, or a file that ends within it
        m_state = m_bytes->ranOut() ? Truncated : NotAGif;
        return;
    }
    GifFileType *const gif = m_gif.get();
    Frame control; // what the last graphic control block says of the frame after it
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    while (DGifGetRecordType(gif, &record) == GIF_OK && record != TERMINATE_RECORD_TYPE) {
        GifByteType *block = nullptr;
        if (record == EXTENSION_RECORD_TYPE) { // its label, then its sub-blocks
            int label = 0;
            if (DGifGetExtension(gif, &label, &block) == GIF_ERROR)
                break;
            if (label == GRAPHICS_EXT_FUNC_CODE && block) {
                const int size = block[0];
                control.disposal = block[1] >> 2 & 7;
                control.delayCs = size >= 3 ? block[2] | block[3] << 8 : 0;
                control.transparent = size >= 4 && block[1] & 1 ? block[4] : -1;
            }
            if (!passSubBlocks(gif, block, DGifGetExtensionNext))
                break;
            continue;
        }
        // A picture: its descriptor, colour table and code size, then its data, passed over
        // (DGifGetImageDesc would keep a copy of every frame's descriptor). A code size that
        // giflib refuses is damage, met when the frame is decoded.
        Frame frame = control;
        control = Frame();
        frame.descriptor = m_bytes->position();
        if ((DGifGetImageHeader(gif) == GIF_ERROR && m_bytes->ranOut())
            || DGifGetCodeNext(gif, &block) == GIF_ERROR || !passSubBlocks(gif, block, DGifGetCodeNext))
            break;
        frame.end = m_bytes->position();
        frame.place = QRect(gif->Image.Left, gif->Image.Top, gif->Image.Width, gif->Image.Height);
        frame.interlaced = gif->Image.Interlace;
        if (m_frameCount == 0)
            m_canvasSize = QSize(canvasSide(gif->SWidth, frame.place.x(), frame.place.width()),
                                 canvasSide(gif->SHeight, frame.place.y(), frame.place.height()));
        if (m_frameCount < maxKeptFrames)
            m_frames << frame;
        ++m_frameCount;
    }
    // The trailer, or bytes that are no block: damage, where reading stops, as Qt's reader stops.
    // The end of the file is a file cut short.
    m_state = m_bytes->ranOut() ? Truncated : m_frameCount > 0 ? Whole : NotAGif;
    if (m_frames.isEmpty())
        return;
    const QRect canvas(QPoint(0, 0), m_canvasSize);
    m_opaque = m_frames.first().place.contains(canvas) && m_frames.first().disposal != 3
        && m_frames.first().disposal != 4;
    for (const Frame &frame : qAsConst(m_frames))
        m_opaque = m_opaque && frame.transparent < 0 && frame.disposal != 2;
}

GifFrames::~GifFrames() = default;

bool GifFrames::readNext(QImage *frame, int *delayMs)
{
    if (m_next >= m_frames.size())
        return false;
    if (m_canvas.isNull()) {
        m_canvas = QImage(m_canvasSize, m_opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
        if (m_canvas.isNull())
            return false;
        m_canvas.fill(m_opaque ? 0xff000000 : 0);
    }
    // What the frame before asks to be done with its place.
    if (m_next > 0) {
        const Frame &before = m_frames[m_next - 1];
        const QRect place = before.place & m_canvas.rect();
        if (before.disposal == 2 && !place.isEmpty()) {
            for (int y = place.top(); y <= place.bottom(); ++y)
                std::fill_n(reinterpret_cast<QRgb *>(m_canvas.scanLine(y)) + place.left(), place.width(), 0);
        } else if ((before.disposal == 3 || before.disposal == 4) && !place.isEmpty()) {
            for (int y = place.top(); y <= place.bottom(); ++y)
                std::copy_n(m_restored.constScanLine(y - place.top()), m_restored.bytesPerLine(),
                            m_canvas.scanLine(y) + place.left() * 4);
        }
    }
    const Frame &current = m_frames[m_next++];
    const QRect place = current.place & m_canvas.rect();
    if ((current.disposal == 3 || current.disposal == 4) && !place.isEmpty())
        m_restored = m_canvas.copy(place);
    if (!draw(current))
        return false;
    *frame = m_canvas;
    *delayMs = current.delayCs < 2 ? 100 : current.delayCs * 10;
    return true;
}

bool GifFrames::draw(const Frame &frame)
{
    GifFileType *const gif = m_gif.get();
    m_bytes->seek(frame.descriptor);
    if (DGifGetImageHeader(gif) == GIF_ERROR)
        return false;
    // Each index's colour, 0 (transparent) for those that leave the canvas as it is.
    std::array<QRgb, 256> colours {};
    if (const ColorMapObject *table = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap) {
        for (int i = 0; i < table->ColorCount; ++i) {
            const GifColorType &colour = table->Colors[i];
            colours[size_t(i)] = i == frame.transparent ? 0 : qRgb(colour.Red, colour.Green, colour.Blue);
        }
    }
    const QRect visible = frame.place & m_canvas.rect();
    if (visible.isEmpty())
        return true;
    const int width = frame.place.width();
    const QVector<int> rows = rowOrder(frame.place.height(), frame.interlaced);
    std::vector<GifPixelType> row(size_t(width), 0);
    GifPixelType *const indices = row.data();
    uchar *const canvas = m_canvas.bits(); // the canvas's own, once: not a call a row
    const qsizetype bytesPerLine = m_canvas.bytesPerLine();
    // The first `count` indices of the frame's row `at` (in the order its data gives them).
    const auto drawRow = [&](int at, int count) {
        const int y = frame.place.y() + rows[at];
        if (y < visible.top() || y > visible.bottom())
            return;
        QRgb *const line = reinterpret_cast<QRgb *>(canvas + y * bytesPerLine) + frame.place.x();
        const int end = std::min(count, visible.right() + 1 - frame.place.x());
        for (int x = visible.left() - frame.place.x(); x < end; ++x) {
            if (const QRgb colour = colours[indices[x]])
                line[x] = colour;
        }
    };
    for (int at = 0; at < rows.size(); ++at) {
        if (DGifGetLine(gif, indices, width) == GIF_OK) {
            drawRow(at, width);
            continue;
        }
        if (gif->Error != D_GIF_ERR_EOF_TOO_SOON && m_bytes->position() < frame.end)
            return false; // damaged, short of the data's end
        // The data ends (its end code, or its last sub-block) before the frame's last pixel: what
        // it did not reach stays as it was. giflib does not tell how far into this row it went:
        // the frame is decoded again up to the row, then one pixel at a time.
        m_bytes->seek(frame.descriptor);
        DGifGetImageHeader(gif);
        for (int before = 0; before < at; ++before)
            DGifGetLine(gif, indices, width);
        int reached = 0;
        while (reached < width && DGifGetLine(gif, indices + reached, 1) == GIF_OK)
            ++reached;
        drawRow(at, reached);
        return true;
    }
    return true;
}
