#include "tone.h"

#include <algorithm>
#include <cmath>
#include <new>

std::array<uchar, 256> toneCurve(const Tone &tone)
{
    const double pi = std::acos(-1.0);
    // tan(pi/4) is 1 exactly, where the computed one falls short by a unit of its last place.
    const double slope
        = tone.contrast == 0 ? 1.0 : std::max(0.0, std::tan(pi * (tone.contrast / 100.0 + 1) / 4));
    const double b = tone.brightness / 100.0;
    std::array<uchar, 256> curve {};
    for (int level = 0; level < 256; ++level) {
        // Written about the point the line goes through, so that the steepest slope, about 1.6e16,
        // still splits the levels at the middle.
        double v = std::clamp(slope * (level / 255.0 - (1 - b) / 2) + (1 + b) / 2, 0.0, 1.0);
        v = std::pow(v, 1 / tone.gamma);
        // Halves up: a brightness of 10, 30, 50... moves every level by a level and a half, which
        // the computation may miss by a unit of its last place either way.
        curve[size_t(level)] = uchar(std::floor(v * 255 + 0.5 + 1e-9));
    }
    return curve;
}

void applyTone(QImage &colours, const Tone &tone)
{
    const std::array<uchar, 256> curve = toneCurve(tone);
    if (!colours.bits())
        throw std::bad_alloc();
    for (int y = 0; y < colours.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(colours.scanLine(y));
        for (int x = 0; x < colours.width(); ++x) {
            const QRgb pixel = line[x];
            line[x] = (pixel & 0xff000000) | uint(curve[size_t(qRed(pixel))]) << 16
                | uint(curve[size_t(qGreen(pixel))]) << 8 | curve[size_t(qBlue(pixel))];
        }
    }
}
