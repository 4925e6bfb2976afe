#pragma once

#include <QImage>
#include <QRect>
#include <QVector>

#include <memory>

class QIODevice;
struct GifFileType;

// A GIF's frames composed as browsers (and ImageMagick's -coalesce) compose them, from the
// file's blocks and codes as giflib reads them; Qt's reader composes some of them wrong (a frame
// restored to the background became an opaque box of the background colour; interlaced frames of
// 3 or 4 rows had their rows misplaced; the screen a smaller first frame left uncovered was memory
// never written). Here:
// - the canvas is the logical screen, enlarged where the first frame goes beyond it (Qt's reader
//   shrank a screen more than ten times larger than the first frame to it; browsers do not); it
//   starts transparent;
// - each frame is drawn at its place, clipped to the canvas: its transparent colour, and colours
//   beyond its table, leave what is there; interlaced rows go where their pass puts them;
// - before the next frame, a frame that restores the background clears its place to
//   transparency (browsers ignore the background colour), and one that restores the previous
//   (disposal 3, or 4 as browsers take it) puts back what its place held before it;
// - an animation whose every frame is opaque by its blocks (the first covers the screen, none
//   has a transparent colour, none clears its place) gives opaque frames (Format_RGB32), as Qt's
//   reader did; any other gives Format_ARGB32;
// - each frame's delay is its graphic control's, in hundredths of a second, 100 ms below 2 (as in
//   browsers) or without one.
// The blocks are followed once, up to the trailer, before any frame is decoded: the frames are
// counted and the file's end judged without decoding anything. Each frame is then decoded by
// giflib a row at a time, from its descriptor on, into the canvas's own rows.
class GifFrames
{
public:
    // Follows the blocks of the GIF in `device`, which must stay open while frames are read.
    explicit GifFrames(QIODevice *device);
    ~GifFrames();
    GifFrames(const GifFrames &) = delete;
    GifFrames &operator=(const GifFrames &) = delete;

    enum State {
        Whole, // up to the trailer, or to bytes that are no block (damage, where reading stops)
        Truncated, // the file ends before its trailer
        NotAGif // no header, or no frame
    };
    State state() const { return m_state; }
    QSize canvasSize() const { return m_canvasSize; }
    // Every frame of the file, also beyond the maxKeptFrames whose places are kept.
    int frameCount() const { return m_frameCount; }

    // The next frame on the canvas, and its delay; false when giflib finds its data damaged (a
    // code size above 8 bits; a first code, or the first after a clear, that is no colour), when
    // there is none left, or when the canvas cannot be had. giflib takes a later code that its
    // table does not hold yet as the next one, with an index of its own, rather than refuse it.
    // Data that ends before the frame's last pixel (its end code, or its last sub-block) leaves
    // what it did not reach as it was.
    bool readNext(QImage *frame, int *delayMs);

    // The frames that can be read: the first maxKeptFrames.
    static constexpr int maxKeptFrames = 1000;

private:
    struct Frame
    {
        QRect place;
        bool interlaced = false;
        qint64 descriptor = 0; // where its descriptor starts, after its separator
        qint64 end = 0; // where its data ends, after its last sub-block
        int disposal = 0;
        int transparent = -1;
        int delayCs = -1; // none: no graphic control block
    };
    class Bytes;
    struct Closer
    {
        void operator()(GifFileType *gif) const;
    };

    bool draw(const Frame &frame);

    std::unique_ptr<Bytes> m_bytes;
    std::unique_ptr<GifFileType, Closer> m_gif;
    State m_state = NotAGif;
    QSize m_canvasSize;
    int m_frameCount = 0;
    QVector<Frame> m_frames;
    bool m_opaque = true;
    int m_next = 0;
    QImage m_canvas;
    QImage m_restored; // what the last frame's place held, when it restores the previous
};
