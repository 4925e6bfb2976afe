#pragma once

#include <QImage>

#include <algorithm>
#include <vector>

// Floyd-Steinberg error diffusion of `Channels` values a pixel, rows taken in turn left to right
// and right to left so that errors do not pile up in the same columns; the order is fixed, so
// the result is the same on every run. Without `dither`, each pixel is reduced on its own.
//
// wanted(x, y, int *values)               the pixel's values, 0 to 255
// choose(const int *values, int *shown)   the output for values (clamped to 0 to 255), and the
//                                         values the display shows for it; returns the output
// put(x, y, output)
constexpr int maxOverreach = 64; // how far beyond 0 to 255 the owed error may take a value

template<int Channels, typename Wanted, typename Choose, typename Put>
void diffuseErrors(int width, int height, bool dither, Wanted wanted, Choose choose, Put put)
{
    if (!dither) { // each pixel on its own
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int values[Channels], shown[Channels];
                wanted(x, y, values);
                put(x, y, choose(values, shown));
            }
        }
        return;
    }
    // What each pixel of this row and the next is owed, in sixteenths, a pixel of margin a side.
    std::vector<int> rows[2] = {std::vector<int>(size_t(width + 2) * Channels, 0),
                                std::vector<int>(size_t(width + 2) * Channels, 0)};
    for (int y = 0; y < height; ++y) {
        std::vector<int> &here = rows[y % 2];
        std::vector<int> &below = rows[(y + 1) % 2];
        std::fill(below.begin(), below.end(), 0);
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        for (int i = 0; i < width; ++i) {
            const int x = forward ? i : width - 1 - i;
            int values[Channels], clamped[Channels], shown[Channels];
            wanted(x, y, values);
            int *owed = &here[size_t(x + 1) * Channels];
            for (int c = 0; c < Channels; ++c) {
                // The error is passed on whole, so that the averages hold up to the darkest and
                // lightest levels, but bounded, so that a colour no level reaches cannot pile
                // it up without end.
                values[c] = std::clamp(values[c] + (owed[c] + (owed[c] >= 0 ? 8 : -8)) / 16, -maxOverreach,
                                       255 + maxOverreach);
                clamped[c] = std::clamp(values[c], 0, 255);
            }
            put(x, y, choose(clamped, shown));
            for (int c = 0; c < Channels; ++c) {
                const int error = values[c] - shown[c];
                here[size_t(x + 1 + step) * Channels + c] += error * 7;
                below[size_t(x + 1 - step) * Channels + c] += error * 3;
                below[size_t(x + 1) * Channels + c] += error * 5;
                below[size_t(x + 1 + step) * Channels + c] += error;
            }
        }
    }
}

// What diffuseErrors<3> wants of each pixel of a 32-bit picture: its red, green and blue.
inline auto rgbChannelsOf(const QImage &colours)
{
    return [&colours](int x, int y, int *values) {
        const QRgb colour = reinterpret_cast<const QRgb *>(colours.constScanLine(y))[x];
        values[0] = qRed(colour);
        values[1] = qGreen(colour);
        values[2] = qBlue(colour);
    };
}
