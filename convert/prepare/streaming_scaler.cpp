#include "streaming_scaler.h"

#include "display_preparation.h"

#include <QRgba64>

#include <algorithm>

namespace {

// A pixel's four channels, whatever its depth: red, green, blue, alpha.
template<typename Pixel> inline qint64 channel(Pixel pixel, int c);
template<> inline qint64 channel<quint32>(quint32 pixel, int c)
{
    constexpr int shifts[4] = {16, 8, 0, 24};
    return qint64(pixel >> shifts[c] & 0xff);
}
template<> inline qint64 channel<quint64>(quint64 pixel, int c)
{
    return qint64(pixel >> (16 * c) & 0xffff);
}

} // namespace

// Qt's smooth scaling (qimagescale.cpp, Qt 5.15) goes over one axis and then the other. Its
// tables: for an axis scaled down, each output pixel averages a band of source pixels whose
// weights, in 1/16384, start where the band starts within a pixel; scaled up (or kept), each
// output pixel lies between two source pixels, weighed in 1/256 (or, on 16 bits a channel when
// both axes grow, in 1/65536, each term rounded down apart as Qt's SSE2 code does).
StreamingScaler::Axis StreamingScaler::axis(int sourceLength, int outputLength, bool bilinear64)
{
    Axis axis;
    axis.sourceLength = sourceLength;
    axis.outputLength = outputLength;
    const qint64 s = sourceLength, d = outputLength;
    const qint64 step = (s << 16) / d;
    axis.first.reserve(size_t(d) + 1);
    if (d >= s) {
        const qint64 whole = bilinear64 ? 65536 : 256;
        qint64 at = 0x8000 * s / d - 0x8000;
        for (qint64 i = 0; i < d; ++i, at += step) {
            axis.first.push_back(int(axis.sources.size()));
            const qint64 position = at >> 16;
            const int source = int(qMax<qint64>(0, position));
            const qint64 part = position < 0 || position >= s - 1 ? 0 : (at >> 8 & 0xff) * (whole / 256);
            axis.sources.push_back(source);
            axis.weights.push_back(int(whole - part));
            if (part > 0) {
                axis.sources.push_back(source + 1);
                axis.weights.push_back(int(part));
            }
        }
    } else {
        const qint64 share = ((d << 14) + s - 1) / s; // a whole source pixel's weight
        qint64 at = 0;
        for (qint64 i = 0; i < d; ++i, at += step) {
            axis.first.push_back(int(axis.sources.size()));
            int source = int(at >> 16);
            const qint64 start = ((0x10000 - (at & 0xffff)) * share) >> 16;
            axis.sources.push_back(source);
            axis.weights.push_back(int(start));
            qint64 left = (1 << 14) - start;
            for (; left > share; left -= share) {
                axis.sources.push_back(++source);
                axis.weights.push_back(int(share));
            }
            axis.sources.push_back(++source);
            axis.weights.push_back(int(left));
        }
    }
    axis.first.push_back(int(axis.sources.size()));
    // Which output pixels each source pixel goes into, with which weight.
    std::vector<int> counts(size_t(s) + 1, 0);
    for (int source : axis.sources)
        ++counts[size_t(source) + 1];
    for (size_t i = 1; i < counts.size(); ++i) {
        axis.mostUsers = qMax(axis.mostUsers, counts[i]);
        counts[i] += counts[i - 1];
    }
    axis.usersOffset = counts;
    axis.users.resize(axis.sources.size());
    axis.userWeights.resize(axis.sources.size());
    for (int i = 0; i < outputLength; ++i) {
        for (int k = axis.first[size_t(i)]; k < axis.first[size_t(i) + 1]; ++k) {
            const size_t at = size_t(counts[size_t(axis.sources[size_t(k)])]++);
            axis.users[at] = i;
            axis.userWeights[at] = axis.weights[size_t(k)];
        }
    }
    return axis;
}

StreamingScaler::StreamingScaler(QSize source, const DisplayOptions &options, QSize scaled,
                                 QImage::Format format)
    : m_format(format)
    , m_wide(format == QImage::Format_RGBA64_Premultiplied)
    , m_cut(options.crop.isValid() ? options.crop : QRect(QPoint(0, 0), source))
{
    // Turned by 180 degrees is mirrored both ways.
    int rotation = options.rotation;
    bool flipH = options.flipHorizontal, flipV = options.flipVertical;
    if (rotation == 180) {
        rotation = 0;
        flipH = !flipH;
        flipV = !flipV;
    }
    m_rowsAlongX = rotation != 90 && rotation != 270;
    m_reverseLines = rotation == 0 ? flipV : rotation == 90 ? !flipH : flipH;
    m_reversePixels = rotation == 0 ? flipH : rotation == 90 ? flipV : !flipV;
    const QSize turned = m_rowsAlongX ? m_cut.size() : m_cut.size().transposed();

    const bool upX = scaled.width() >= turned.width(), upY = scaled.height() >= turned.height();
    m_firstIsX = !upX;
    const bool bilinear64 = m_wide && upX && upY;
    const auto along = [&](bool x) {
        return axis(x ? turned.width() : turned.height(), x ? scaled.width() : scaled.height(), bilinear64);
    };
    m_first = along(m_firstIsX);
    m_second = along(!m_firstIsX);
    if (!upX && !upY) { // both down: the first sums cut to 12 bits on 8-bit channels
        m_second.preShift = m_wide ? 0 : 4;
        m_second.finalShift = m_wide ? 28 : 24;
    } else if (!upX || !upY) { // one down: its sums in 1/16384, weighed in 1/256
        m_second.finalShift = 22;
    } else if (bilinear64) {
        m_first.postShift = m_second.postShift = 16;
    } else {
        m_first.finalShift = m_second.finalShift = 8;
    }

    // What is held: the result, the sums of the output lines under way, a row turned the other
    // way or reduced, and the tables.
    const bool reducing = m_rowsAlongX == m_firstIsX;
    const Axis &crossed = reducing ? m_second : m_first;
    const qint64 sumLength = reducing ? m_first.outputLength : m_second.sourceLength;
    const qint64 sums = (crossed.mostUsers + 1) * sumLength * 4 * 8;
    const qint64 line = qint64(source.width()) * 8 + qint64(m_first.outputLength) * 4 * 8;
    const qint64 tables = qint64(m_first.sources.size() + m_second.sources.size()) * 4 * 4
        + qint64(m_first.outputLength + m_second.outputLength) * 4 * 2;
    m_resultSize = scaled;
    m_heldBytes = qint64(scaled.width()) * scaled.height() * (m_wide ? 8 : 4) + sums + line + tables;
}

StreamingScaler::~StreamingScaler() = default;

bool StreamingScaler::start()
{
    m_result = QImage(m_resultSize, m_format);
    if (m_result.isNull())
        return false;
    m_result.fill(0);
    const Axis &crossed = m_rowsAlongX == m_firstIsX ? m_second : m_first;
    m_waiting.assign(size_t(crossed.outputLength), 0);
    for (int i = 0; i < crossed.outputLength; ++i)
        m_waiting[size_t(i)] = crossed.first[size_t(i) + 1] - crossed.first[size_t(i)];
    m_sums.assign(size_t(crossed.outputLength), {});
    m_reduced.assign(size_t(m_first.outputLength) * 4, 0);
    return true;
}

template<typename Pixel> void StreamingScaler::reduceEach(const Pixel *pixels, qint64 *sums) const
{
    const Axis &a = m_first;
    for (int i = 0; i < a.outputLength; ++i) {
        qint64 sum[4] = {0, 0, 0, 0};
        for (int k = a.first[size_t(i)]; k < a.first[size_t(i) + 1]; ++k) {
            const Pixel pixel = pixels[a.sources[size_t(k)]];
            const qint64 weight = a.weights[size_t(k)];
            for (int c = 0; c < 4; ++c)
                sum[c] += channel<Pixel>(pixel, c) * weight >> a.postShift;
        }
        for (int c = 0; c < 4; ++c)
            sums[4 * i + c] = sum[c] >> a.finalShift;
    }
}

template<typename Pixel> void StreamingScaler::reduce(const Pixel *pixels, qint64 *sums) const
{
    reduceEach(pixels, sums);
}

// The same for 8-bit channels along an axis scaled down, the common case, four times as fast:
// a band's pixels lie side by side and all but its first and last weigh the same, so they are
// added up first and weighed once; two channels go in each 64-bit sum, 32 bits apart, which a
// band's sum (at most 255 x 16384) never overflows.
template<> void StreamingScaler::reduce<quint32>(const quint32 *pixels, qint64 *sums) const
{
    const Axis &a = m_first;
    if (a.outputLength >= a.sourceLength) {
        reduceEach(pixels, sums);
        return;
    }
    const auto blueRed = [](quint32 p) { return quint64(p & 0xff) | quint64(p & 0xff0000) << 16; };
    const auto greenAlpha = [](quint32 p) { return quint64(p >> 8 & 0xff) | quint64(p & 0xff000000) << 8; };
    for (int i = 0; i < a.outputLength; ++i) {
        const int first = a.first[size_t(i)], last = a.first[size_t(i) + 1] - 1;
        const quint32 *band = pixels + a.sources[size_t(first)];
        const int count = last - first;
        quint64 middleBR = 0, middleGA = 0;
        for (int k = 1; k < count; ++k) {
            middleBR += blueRed(band[k]);
            middleGA += greenAlpha(band[k]);
        }
        const quint64 share = count > 1 ? quint64(a.weights[size_t(first) + 1]) : 0;
        const quint64 firstWeight = quint64(a.weights[size_t(first)]),
                      lastWeight = quint64(a.weights[size_t(last)]);
        const quint64 br
            = blueRed(band[0]) * firstWeight + middleBR * share + blueRed(band[count]) * lastWeight;
        const quint64 ga
            = greenAlpha(band[0]) * firstWeight + middleGA * share + greenAlpha(band[count]) * lastWeight;
        sums[4 * i] = qint64(br >> 32);
        sums[4 * i + 1] = qint64(ga & 0xffffffff);
        sums[4 * i + 2] = qint64(br & 0xffffffff);
        sums[4 * i + 3] = qint64(ga >> 32);
    }
}

void StreamingScaler::put(int i1, int i2, const qint64 *sums)
{
    const Axis &a = m_second;
    qint64 channels[4];
    for (int c = 0; c < 4; ++c)
        channels[c] = sums[c] >> a.finalShift;
    const int x = m_firstIsX ? i1 : i2, y = m_firstIsX ? i2 : i1;
    if (m_wide) {
        reinterpret_cast<QRgba64 *>(m_result.scanLine(y))[x]
            = qRgba64(quint16(channels[0]), quint16(channels[1]), quint16(channels[2]), quint16(channels[3]));
    } else {
        const uint alpha = m_format == QImage::Format_RGB32 ? 0xff : uint(channels[3] & 0xff);
        reinterpret_cast<QRgb *>(m_result.scanLine(y))[x]
            = qRgba(int(channels[0] & 0xff), int(channels[1] & 0xff), int(channels[2] & 0xff), int(alpha));
    }
}

template<typename Pixel> void StreamingScaler::lineCame(int at, const Pixel *pixels)
{
    const Axis &a1 = m_first, &a2 = m_second;
    const bool reducing = m_rowsAlongX == m_firstIsX;
    // A line through the first axis (at `at` on the second) is reduced along it, then weighed
    // into the output lines of the second axis it goes into; a line through the second axis (at
    // `at` on the first) is weighed whole into the first axis's output lines.
    const Axis &crossed = reducing ? a2 : a1;
    const int begin = crossed.usersOffset[size_t(at)], end = crossed.usersOffset[size_t(at) + 1];
    if (begin == end)
        return;
    if (reducing)
        reduce(pixels, m_reduced.data());
    const int length = reducing ? a1.outputLength : a2.sourceLength;
    for (int u = begin; u < end; ++u) {
        const int index = crossed.users[size_t(u)];
        const qint64 weight = crossed.userWeights[size_t(u)];
        std::vector<qint64> &sums = m_sums[size_t(index)];
        if (sums.empty())
            sums.assign(size_t(length) * 4, 0);
        qint64 *sum = sums.data();
        if (reducing) {
            const qint64 *value = m_reduced.data();
            for (int k = 0; k < length * 4; ++k)
                sum[k] += (value[k] >> a2.preShift) * weight >> a2.postShift;
        } else {
            for (int s = 0; s < length; ++s) {
                for (int c = 0; c < 4; ++c)
                    sum[4 * s + c] += channel<Pixel>(pixels[s], c) * weight >> a1.postShift;
            }
        }
        if (--m_waiting[size_t(index)] > 0)
            continue;
        if (reducing) {
            for (int i1 = 0; i1 < length; ++i1)
                put(i1, index, sum + 4 * i1);
        } else {
            for (int k = 0; k < length * 4; ++k)
                sum[k] >>= a1.finalShift;
            for (int i2 = 0; i2 < a2.outputLength; ++i2) {
                qint64 total[4] = {0, 0, 0, 0};
                for (int k = a2.first[size_t(i2)]; k < a2.first[size_t(i2) + 1]; ++k) {
                    const qint64 *value = sum + 4 * a2.sources[size_t(k)];
                    const qint64 w = a2.weights[size_t(k)];
                    for (int c = 0; c < 4; ++c)
                        total[c] += (value[c] >> a2.preShift) * w >> a2.postShift;
                }
                put(index, i2, total);
            }
        }
        std::vector<qint64>().swap(sums);
    }
}

template<typename Pixel> void StreamingScaler::rowCame(const Pixel *row)
{
    const int r = m_row++ - m_cut.top();
    if (r < 0 || r >= m_cut.height())
        return;
    const Pixel *pixels = row + m_cut.left();
    if (m_reversePixels) {
        m_line.resize(size_t(m_cut.width()));
        std::reverse_copy(pixels, pixels + m_cut.width(), reinterpret_cast<Pixel *>(m_line.data()));
        pixels = reinterpret_cast<const Pixel *>(m_line.data());
    }
    lineCame(m_reverseLines ? m_cut.height() - 1 - r : r, pixels);
}

void StreamingScaler::addRow(const uchar *row)
{
    if (m_wide)
        rowCame(reinterpret_cast<const quint64 *>(row));
    else
        rowCame(reinterpret_cast<const quint32 *>(row));
}

DisplayOptions optionsAfterFitting(const DisplayOptions &options)
{
    DisplayOptions left = options;
    left.crop = QRect();
    left.rotation = 0;
    left.flipHorizontal = left.flipVertical = false;
    left.fit = QSize();
    left.upscale = false;
    return left;
}
