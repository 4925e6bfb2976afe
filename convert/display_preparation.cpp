#include "display_preparation.h"

#include "conversion.h"

#include <algorithm>
#include <vector>

namespace {

// Lays a premultiplied picture onto an opaque background: each channel keeps its own share and
// takes the background's for what the pixel lets through.
void blendOnto(QImage &picture, QRgb background)
{
    const int channels[3] = {qRed(background), qGreen(background), qBlue(background)};
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = line[x];
            const int through = 255 - qAlpha(pixel);
            const auto mix = [&](int own, int back) { return own + (back * through + 127) / 255; };
            line[x] = qRgb(mix(qRed(pixel), channels[0]), mix(qGreen(pixel), channels[1]),
                           mix(qBlue(pixel), channels[2]));
        }
    }
}

// The value a display shows for a channel of `bits` bits at `level`: the level's bits repeated
// to fill 8 bits, as the 5-6-5 to 8-bit expansion does.
inline int shown(int level, int bits)
{
    return level << (8 - bits) | level >> (2 * bits - 8);
}

// Floyd-Steinberg error diffusion from 8 bits a channel to 5, 6 and 5: each pixel takes the
// nearest level, and what that level misses is passed on to the pixels not yet reduced (7/16
// ahead, 3/16, 5/16 and 1/16 to the row below). Rows are taken in turn left to right and right
// to left, so that the errors of one row do not pile up in the same columns as the row before;
// the order is fixed, so the result is the same on every run.
QImage ditherTo565(const QImage &picture)
{
    const int width = picture.width();
    QImage result(picture.size(), QImage::Format_RGB16);
    // Errors in sixteenths, for this row and the next, with a pixel of margin on each side.
    std::vector<int> errors[2]
        = {std::vector<int>(size_t(width + 2) * 3, 0), std::vector<int>(size_t(width + 2) * 3, 0)};
    constexpr int bits[3] = {5, 6, 5};
    for (int y = 0; y < picture.height(); ++y) {
        std::vector<int> &here = errors[y % 2];
        std::vector<int> &below = errors[(y + 1) % 2];
        std::fill(below.begin(), below.end(), 0);
        const auto *in = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        auto *out = reinterpret_cast<quint16 *>(result.scanLine(y));
        const bool forward = y % 2 == 0;
        const int step = forward ? 3 : -3; // to the next pixel's errors
        for (int i = 0; i < width; ++i) {
            const int x = forward ? i : width - 1 - i;
            const int source[3] = {qRed(in[x]), qGreen(in[x]), qBlue(in[x])};
            int levels[3];
            for (int c = 0; c < 3; ++c) {
                const int at = (x + 1) * 3 + c;
                const int wanted = std::clamp(source[c] + ((here[size_t(at)] + 8) >> 4), 0, 255);
                const int top = (1 << bits[c]) - 1;
                levels[c] = (wanted * top + 127) / 255;
                const int error = wanted - shown(levels[c], bits[c]);
                here[size_t(at + step)] += error * 7;
                below[size_t(at - step)] += error * 3;
                below[size_t(at)] += error * 5;
                below[size_t(at + step)] += error;
            }
            out[x] = quint16(levels[0] << 11 | levels[1] << 5 | levels[2]);
        }
    }
    return result;
}

} // namespace

QSize fittedSize(QSize size, QSize bounds)
{
    if (!bounds.isValid() || (size.width() <= bounds.width() && size.height() <= bounds.height()))
        return size;
    return size.scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage prepareForDisplay(QImage picture, const DisplayOptions &options)
{
    const QSize fitted = fittedSize(picture.size(), options.fit);
    if (fitted != picture.size())
        picture = picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    const QRgb background = options.background.rgb();
    if (!options.dither && background == qRgb(0, 0, 0))
        return toRgb565(std::move(picture));

    // Blended onto black by premultiplying, as the window does, or onto another colour.
    picture.convertTo(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (picture.format() == QImage::Format_ARGB32_Premultiplied && background != qRgb(0, 0, 0))
        blendOnto(picture, background);
    if (!options.dither) {
        picture.convertTo(QImage::Format_RGB16);
        return picture;
    }
    return ditherTo565(picture);
}
