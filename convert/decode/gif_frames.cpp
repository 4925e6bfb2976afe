#include "gif_frames.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <cstring>

// The bytes of the file, read through a window of 64 KiB: blocks come a few bytes at a time.
class GifFrames::Bytes
{
public:
    explicit Bytes(QIODevice *device)
        : m_device(device)
    { }

    qint64 position() const { return m_position; }
    void seek(qint64 position) { m_position = position; }
    void skip(qint64 count) { m_position += count; }

    // The next byte; -1 at the end of the file.
    int next()
    {
        if (!available(1))
            return -1;
        return uchar(m_window[int(m_position++ - m_start)]);
    }

    bool read(uchar *to, int count)
    {
        if (!available(count))
            return false;
        std::memcpy(to, m_window.constData() + (m_position - m_start), size_t(count));
        m_position += count;
        return true;
    }

    // Sub-blocks up to the empty one, skipped; false when the file ends first.
    bool skipSubBlocks()
    {
        for (;;) {
            const int size = next();
            if (size <= 0)
                return size == 0;
            skip(size);
        }
    }

private:
    bool available(int count)
    {
        if (m_position >= m_start && m_position + count <= m_start + m_window.size())
            return true;
        if (m_position < 0 || !m_device->seek(m_position))
            return false;
        m_window = m_device->read(std::max(count, 1 << 16));
        m_start = m_position;
        return m_window.size() >= count;
    }

    QIODevice *m_device;
    QByteArray m_window;
    qint64 m_start = 0;
    qint64 m_position = 0;
};

namespace {

int littleEndian16(const uchar *bytes)
{
    return bytes[0] | bytes[1] << 8;
}

// The size of a colour table whose block's flags are `flags`: none without the flag of one.
int tableColours(uchar flags)
{
    return flags & 0x80 ? 2 << (flags & 7) : 0;
}

// The canvas is the logical screen, enlarged to hold the first frame, as browsers take it.
int canvasSide(int screen, int offset, int frame)
{
    return std::max(screen, offset + frame);
}

constexpr int maxCodes = 4096;

// The codes of a frame's data undone into colour indices, as GIF's variant of LZW codes them:
// codes one bit wider than the least code size to start with, growing as the table fills up to
// 12 bits, where it stays until a clear code. Each string of indices is handed to `draw` with
// its length; strings that fall where nothing is drawn are only counted, not spelt out.
class CodeReader
{
public:
    explicit CodeReader(int leastCodeSize)
        : m_clear(1 << leastCodeSize)
        , m_leastCodeSize(leastCodeSize)
    {
        for (int code = 0; code < m_clear; ++code) {
            m_suffix[size_t(code)] = uchar(code);
            m_first[size_t(code)] = uchar(code);
            m_length[size_t(code)] = 1;
        }
        reset();
    }

    enum Outcome { GoOn, Ended, Damaged };

    // One byte of data; `visible(length)` tells whether the next `length` indices may be drawn,
    // `draw(indices, length)` takes them, `skip(length)` passes them by.
    template<typename Visible, typename Draw, typename Skip>
    Outcome take(uchar byte, Visible visible, Draw draw, Skip skip)
    {
        m_bits |= quint32(byte) << m_bitCount;
        m_bitCount += 8;
        while (m_bitCount >= m_codeSize) {
            const int code = int(m_bits & ((1u << m_codeSize) - 1));
            m_bits >>= m_codeSize;
            m_bitCount -= m_codeSize;
            if (code == m_clear) {
                reset();
                continue;
            }
            if (code == m_clear + 1)
                return Ended;
            if (m_previous < 0) {
                if (code > m_clear)
                    return Damaged;
            } else if (code < m_next) {
                add(m_first[size_t(code)]);
            } else if (code == m_next && m_next < maxCodes) {
                add(m_first[size_t(m_previous)]);
            } else {
                return Damaged;
            }
            m_previous = code;
            const int length = m_length[size_t(code)];
            if (!visible(length)) {
                skip(length);
                continue;
            }
            uchar *end = m_string.data() + length;
            for (int at = code; end != m_string.data(); at = m_prefix[size_t(at)])
                *--end = m_suffix[size_t(at)];
            draw(m_string.data(), length);
        }
        return GoOn;
    }

private:
    void reset()
    {
        m_codeSize = m_leastCodeSize + 1;
        m_next = m_clear + 2;
        m_previous = -1;
    }

    // A new string: the previous one and `last`.
    void add(uchar last)
    {
        if (m_next >= maxCodes)
            return;
        const size_t code = size_t(m_next++);
        m_prefix[code] = quint16(m_previous);
        m_suffix[code] = last;
        m_first[code] = m_first[size_t(m_previous)];
        m_length[code] = quint16(m_length[size_t(m_previous)] + 1);
        if (m_next == 1 << m_codeSize && m_codeSize < 12)
            ++m_codeSize;
    }

    const int m_clear;
    const int m_leastCodeSize;
    int m_codeSize = 0;
    int m_next = 0;
    int m_previous = -1;
    quint32 m_bits = 0;
    int m_bitCount = 0;
    std::array<quint16, maxCodes> m_prefix {};
    std::array<uchar, maxCodes> m_suffix {};
    std::array<uchar, maxCodes> m_first {};
    std::array<quint16, maxCodes> m_length {};
    std::array<uchar, maxCodes> m_string {};
};

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
    uchar head[13];
    if (!m_bytes->read(head, sizeof head)) {
        m_state = Truncated;
        return;
    }
    if (std::memcmp(head, "GIF8", 4) != 0)
        return;
    const QSize screen(littleEndian16(head + 6), littleEndian16(head + 8));
    if (const int colours = tableColours(head[10])) {
        m_globalColours = colourTable(m_bytes->position(), colours);
        if (m_globalColours.isEmpty()) {
            m_state = Truncated;
            return;
        }
    }
    Frame control; // what the last graphic control block says of the frame after it
    for (;;) {
        const int introducer = m_bytes->next();
        if (introducer == 0x21) { // an extension: its label, then its sub-blocks
            const int label = m_bytes->next();
            const int size = m_bytes->next();
            uchar fields[255];
            if (label < 0 || size < 0 || !m_bytes->read(fields, size)) {
                m_state = Truncated;
                return;
            }
            if (label == 0xf9 && size >= 1) {
                control.disposal = fields[0] >> 2 & 7;
                control.delayCs = size >= 3 ? littleEndian16(fields + 1) : 0;
                control.transparent = size >= 4 && fields[0] & 1 ? fields[3] : -1;
            }
            if (size > 0 && !m_bytes->skipSubBlocks()) {
                m_state = Truncated;
                return;
            }
        } else if (introducer == 0x2c) { // a picture: its descriptor, colour table, code size, data
            uchar descriptor[9];
            if (!m_bytes->read(descriptor, sizeof descriptor)) {
                m_state = Truncated;
                return;
            }
            Frame frame = control;
            control = Frame();
            frame.place = QRect(littleEndian16(descriptor), littleEndian16(descriptor + 2),
                                littleEndian16(descriptor + 4), littleEndian16(descriptor + 6));
            frame.interlaced = descriptor[8] & 0x40;
            frame.colours = tableColours(descriptor[8]);
            if (frame.colours) {
                frame.colourTable = m_bytes->position();
                m_bytes->skip(3 * frame.colours);
            }
            frame.data = m_bytes->position();
            if (m_bytes->next() < 0 || !m_bytes->skipSubBlocks()) {
                m_state = Truncated;
                return;
            }
            if (m_frameCount == 0)
                m_canvasSize = QSize(canvasSide(screen.width(), frame.place.x(), frame.place.width()),
                                     canvasSide(screen.height(), frame.place.y(), frame.place.height()));
            if (m_frameCount < maxKeptFrames)
                m_frames << frame;
            ++m_frameCount;
        } else {
            // The trailer, or bytes that are no block: damage, where reading stops, as Qt's reader
            // stops. The end of the file is a file cut short.
            m_state = introducer < 0 ? Truncated : m_frameCount > 0 ? Whole : NotAGif;
            break;
        }
    }
    if (m_frames.isEmpty())
        return;
    const QRect canvas(QPoint(0, 0), m_canvasSize);
    m_opaque = m_frames.first().place.contains(canvas) && m_frames.first().disposal != 3
        && m_frames.first().disposal != 4;
    for (const Frame &frame : qAsConst(m_frames))
        m_opaque = m_opaque && frame.transparent < 0 && frame.disposal != 2;
}

GifFrames::~GifFrames() = default;

QVector<QRgb> GifFrames::colourTable(qint64 position, int colours)
{
    uchar bytes[3 * 256];
    m_bytes->seek(position);
    if (!m_bytes->read(bytes, 3 * colours))
        return {};
    QVector<QRgb> table(colours);
    for (int i = 0; i < colours; ++i)
        table[i] = qRgb(bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]);
    return table;
}

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
    // Each index's colour, 0 (transparent) for those that leave the canvas as it is.
    std::array<QRgb, 256> colours {};
    const QVector<QRgb> table
        = frame.colourTable >= 0 ? colourTable(frame.colourTable, frame.colours) : m_globalColours;
    if (frame.colourTable >= 0 && table.isEmpty())
        return false;
    for (int i = 0; i < table.size(); ++i)
        colours[size_t(i)] = i == frame.transparent ? 0 : table[i];

    m_bytes->seek(frame.data);
    const int leastCodeSize = m_bytes->next();
    if (leastCodeSize < 1 || leastCodeSize > 11)
        return false;
    const qint64 width = frame.place.width();
    const qint64 pixels = width * frame.place.height();
    const QRect visible = frame.place & m_canvas.rect();
    if (pixels == 0 || visible.isEmpty())
        return true;
    const QVector<int> rows = rowOrder(frame.place.height(), frame.interlaced);
    uchar *const canvas = m_canvas.bits(); // the canvas's own, once: not a call a run
    const qsizetype bytesPerLine = m_canvas.bytesPerLine();
    const auto rowVisible = [&](qint64 row) {
        const int y = frame.place.y() + rows[int(row)];
        return y >= visible.top() && y <= visible.bottom();
    };
    qint64 at = 0; // the next index's place in the frame, in the order its data gives them
    const auto visibleRun = [&](int length) {
        const qint64 last = std::min(at + length, pixels) - 1;
        for (qint64 row = at / width; row <= last / width; ++row)
            if (rowVisible(row))
                return true;
        return false;
    };
    const auto drawRun = [&](const uchar *indices, int length) {
        length = int(std::min<qint64>(length, pixels - at));
        while (length > 0) {
            const qint64 row = at / width;
            const int column = int(at % width);
            const int run = std::min(length, int(width - column));
            if (rowVisible(row)) {
                QRgb *line
                    = reinterpret_cast<QRgb *>(canvas + (frame.place.y() + rows[int(row)]) * bytesPerLine);
                const int x = frame.place.x() + column;
                for (int i = std::max(0, visible.left() - x); i < run && x + i <= visible.right(); ++i) {
                    if (const QRgb colour = colours[indices[i]])
                        line[x + i] = colour;
                }
            }
            at += run;
            indices += run;
            length -= run;
        }
    };
    const auto skipRun = [&](int length) { at += length; };

    CodeReader codes(leastCodeSize);
    uchar block[255];
    for (;;) {
        const int size = m_bytes->next();
        if (size <= 0 || !m_bytes->read(block, size))
            return true; // the data ends: what it did not reach stays as it was
        for (int i = 0; i < size && at < pixels; ++i) {
            switch (codes.take(block[i], visibleRun, drawRun, skipRun)) {
            case CodeReader::GoOn:
                break;
            case CodeReader::Ended:
                return true;
            case CodeReader::Damaged:
                return false;
            }
        }
        if (at >= pixels)
            return true; // more indices than the frame has pixels: the rest is not drawn
    }
}
