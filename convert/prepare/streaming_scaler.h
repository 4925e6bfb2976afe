#pragma once

#include <QImage>
#include <QSize>

#include <vector>

struct DisplayOptions;

// A picture cut, turned, mirrored and scaled smoothly as its rows come, one after the other, for
// a picture too large to be held whole. The result is, byte for byte, what
// cutTurnedAndMirrored() and then QImage::scaled(..., Qt::SmoothTransformation) make of the whole
// picture: Qt's area-averaging scaler works in fixed point, one axis and then the other, and its
// sums are computed here with the same weights, rounded at the same steps, in whatever order the
// rows bring the pixels.
//
// Each row is added to the sums of the output lines it goes into as it comes: a row of the
// turned picture is first reduced along it, when Qt scales along the rows first; a turned
// picture's rows come as its columns, whose sums are then as long as a column. What is held is
// the result and the sums of the output lines under way (two or three, scaled down), never the
// source.
class StreamingScaler
{
public:
    // The rows of a picture of `source` pixels, in `format` (Format_RGB32,
    // Format_ARGB32_Premultiplied or Format_RGBA64_Premultiplied, the formats Qt scales in; any
    // 32-bit format when the picture keeps its size), cut, turned and mirrored as `options` say,
    // then scaled to `scaled`.
    StreamingScaler(QSize source, const DisplayOptions &options, QSize scaled, QImage::Format format);
    ~StreamingScaler();
    StreamingScaler(const StreamingScaler &) = delete;
    StreamingScaler &operator=(const StreamingScaler &) = delete;

    // The most this holds at once, the result included, in bytes; it allocates nothing beyond.
    qint64 heldBytes() const { return m_heldBytes; }
    // Allocates the result; false when the memory is not there.
    bool start();

    // The source's next row, `source.width()` pixels of the format.
    void addRow(const uchar *row);
    // Once every row has come: the picture cut, turned, mirrored and scaled.
    QImage result() const { return m_result; }

private:
    // How Qt's scaler goes over one axis: for each output pixel, the source pixels it takes and
    // their weights; each term is (value >> preShift) * weight >> postShift, and the sum is shifted
    // by finalShift.
    struct Axis
    {
        int sourceLength = 0;
        int outputLength = 0;
        std::vector<int> first; // where each output pixel's terms start in `sources` and `weights`
        std::vector<int> sources;
        std::vector<int> weights;
        // For each source pixel, where its output pixels (and its weight in each) start in `users`.
        std::vector<int> usersOffset;
        std::vector<int> users;
        std::vector<int> userWeights;
        int mostUsers = 0; // the most output pixels one source pixel goes into
        int preShift = 0;
        int postShift = 0;
        int finalShift = 0;
    };

    static Axis axis(int sourceLength, int outputLength, bool bilinear64);
    template<typename Pixel> void rowCame(const Pixel *row);
    template<typename Pixel> void lineCame(int at, const Pixel *pixels);
    template<typename Pixel> void reduce(const Pixel *pixels, qint64 *sums) const;
    template<typename Pixel> void reduceEach(const Pixel *pixels, qint64 *sums) const;
    void put(int i1, int i2, const qint64 *sums);

    QImage::Format m_format;
    bool m_wide; // 16 bits a channel
    QRect m_cut;
    bool m_rowsAlongX; // the source's rows are the turned picture's rows, not its columns
    bool m_reverseLines; // the rows come last line first
    bool m_reversePixels; // each row's pixels go the other way
    bool m_firstIsX; // Qt scales along x first
    Axis m_first, m_second;
    qint64 m_heldBytes = 0;
    int m_row = 0;
    QSize m_resultSize;
    QImage m_result;
    std::vector<quint64> m_line; // a row's pixels the other way round
    std::vector<qint64> m_reduced; // a row reduced along the first axis
    // For each output line the rows cross, the rows still to come, and its sums while under way.
    std::vector<int> m_waiting;
    std::vector<std::vector<qint64>> m_sums;
};

// The options a picture that was cut, turned, mirrored and fitted as it was decoded still needs:
// the background, the canvas and the rest, without the shaping already done.
DisplayOptions optionsAfterFitting(const DisplayOptions &options);
