#pragma once

#include <QImage>
#include <QVector>

#include <algorithm>
#include <array>
#include <vector>

// How a picture's values are reduced to a display's levels or colours, the one place every format
// that dithers goes through: each pixel on its own, its nearest level; or what that level misses
// diffused to the pixels not yet reduced (Floyd-Steinberg, Atkinson); or each value moved by its
// place in an 8 x 8 Bayer matrix before its nearest level is taken (ordered dithering).
enum class Dithering {
    None,
    // 7/16 of the error ahead, 3/16, 5/16 and 1/16 to the row below: all of it passed on.
    FloydSteinberg,
    // 1/8 to each of six neighbours (two ahead, three below, one two rows down): 3/4 passed on,
    // the rest lost, which keeps light and dark areas clean and contrasted.
    Atkinson,
    // Each pixel on its own, by its place in the matrix: the same colour gives the same pattern
    // wherever it stands, frame after frame.
    Bayer,
};

// Bayer: how far the matrix may move a channel's value before the nearest level is taken, as far as
// the levels lie from the boundaries between them: `up` for the cells that lift values (towards
// the next level up), `down` for those that lower them. A value on a level, half way between two
// boundaries, never crosses one: black and white stay as they are.
struct OrderedSpread
{
    double up = 0;
    double down = 0;
};

// Levels spread evenly from 0 to 255 (2 to 256 of them): half the step between two each way.
OrderedSpread spreadBetweenLevels(int levels);
// Two levels, 0 and 255, split at `threshold` rather than half way.
OrderedSpread spreadAroundThreshold(int threshold);
// A palette, channel by channel: half the widest gap between the values its colours give the
// channel, as if its colours were the levels of each channel (which they are, for a palette of
// every colour of a few evenly spaced levels); 0 for one colour.
std::array<OrderedSpread, 3> spreadOfPalette(const QVector<QRgb> &colours);

// The 8 x 8 Bayer matrix: the order, 0 to 63, in which its cells lift a value, each cell as far
// as it can lie from the cells before it. A pixel's cell is (x mod 8, y mod 8).
extern const std::array<std::array<int, 8>, 8> bayerMatrix;

// What each of the matrix's 64 cells, by its order, adds to a value of that spread: the cell of
// order m is at (m + 1/2)/64 of the way from the lowest to the highest, so it adds (63 - 2m)/64
// of `up` (the first half) or of `down` (the second), cut towards 0: never the whole spread.
std::array<int, 64> bayerOffsets(const OrderedSpread &spread);

constexpr int maxOverreach = 64; // how far beyond 0 to 255 the owed error may take a value

namespace DitheringDetail {

// A share of the error: to the pixel `ahead` columns further along the row's direction and
// `below` rows down, `sixteenths` of it.
struct Share
{
    int ahead;
    int below;
    int sixteenths;
};
constexpr std::array<Share, 4> floydSteinberg = {{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}};
constexpr std::array<Share, 6> atkinson
    = {{{1, 0, 2}, {2, 0, 2}, {-1, 1, 2}, {0, 1, 2}, {1, 1, 2}, {0, 2, 2}}};

// Error diffusion by `shares`, rows taken in turn left to right and right to left so that errors
// do not pile up in the same columns; the order is fixed, so the result is the same on every run.
template<int Channels, size_t Shares, typename Wanted, typename Choose, typename Put>
void diffuse(int width, int height, const std::array<Share, Shares> &shares, Wanted &wanted, Choose &choose,
             Put &put)
{
    constexpr int margin = 2; // pixels a side, as far as a share reaches
    // What each pixel of this row and the two next is owed, in sixteenths.
    const size_t rowSize = size_t(width + 2 * margin) * Channels;
    std::vector<int> rows[3]
        = {std::vector<int>(rowSize, 0), std::vector<int>(rowSize, 0), std::vector<int>(rowSize, 0)};
    for (int y = 0; y < height; ++y) {
        std::vector<int> &here = rows[y % 3];
        std::vector<int> &last = rows[(y + 2) % 3]; // the row above's, taken by the row two down
        std::fill(last.begin(), last.end(), 0);
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        // Where each share of the pixel at x goes, from x + margin on.
        std::array<int *, Shares> to;
        for (size_t s = 0; s < Shares; ++s)
            to[s] = rows[(y + shares[s].below) % 3].data() + (margin + shares[s].ahead * step) * Channels;
        for (int i = 0; i < width; ++i) {
            const int x = forward ? i : width - 1 - i;
            int values[Channels], clamped[Channels], shown[Channels];
            wanted(x, y, values);
            int *owed = &here[size_t(x + margin) * Channels];
            for (int c = 0; c < Channels; ++c) {
                // The error is passed on whole, so that the averages hold up to the darkest and
                // lightest levels, but bounded, so that a colour no level reaches cannot pile
                // it up without end.
                values[c] = std::clamp(values[c] + (owed[c] + (owed[c] >= 0 ? 8 : -8)) / 16, -maxOverreach,
                                       255 + maxOverreach);
                clamped[c] = std::clamp(values[c], 0, 255);
            }
            put(x, y, choose(clamped, shown));
            int errors[Channels];
            for (int c = 0; c < Channels; ++c)
                errors[c] = values[c] - shown[c];
            for (size_t s = 0; s < Shares; ++s) {
                int *owedThere = to[s] + size_t(x) * Channels;
                for (int c = 0; c < Channels; ++c)
                    owedThere[c] += errors[c] * shares[s].sixteenths;
            }
        }
    }
}

} // namespace DitheringDetail

// Reduces a picture of `Channels` values a pixel as `dithering` says. `spread` is what Bayer's
// matrix moves each channel by; the other ways ignore it.
//
// wanted(x, y, int *values)               the pixel's values, 0 to 255
// choose(const int *values, int *shown)   the output for values (clamped to 0 to 255), and the
//                                         values the display shows for it; returns the output
// put(x, y, output)
template<int Channels, typename Wanted, typename Choose, typename Put>
void reducePixels(int width, int height, Dithering dithering,
                  const std::array<OrderedSpread, Channels> &spread, Wanted wanted, Choose choose, Put put)
{
    switch (dithering) {
    case Dithering::FloydSteinberg:
        DitheringDetail::diffuse<Channels>(width, height, DitheringDetail::floydSteinberg, wanted, choose,
                                           put);
        return;
    case Dithering::Atkinson:
        DitheringDetail::diffuse<Channels>(width, height, DitheringDetail::atkinson, wanted, choose, put);
        return;
    case Dithering::None:
    case Dithering::Bayer:
        break;
    }
    std::array<std::array<int, 64>, Channels> offsets {}; // none without dithering
    if (dithering == Dithering::Bayer) {
        for (int c = 0; c < Channels; ++c)
            offsets[size_t(c)] = bayerOffsets(spread[size_t(c)]);
    }
    for (int y = 0; y < height; ++y) {
        const std::array<int, 8> &cells = bayerMatrix[size_t(y % 8)];
        for (int x = 0; x < width; ++x) {
            int values[Channels], shown[Channels];
            wanted(x, y, values);
            const size_t cell = size_t(cells[size_t(x % 8)]);
            for (int c = 0; c < Channels; ++c)
                values[c] = std::clamp(values[c] + offsets[size_t(c)][cell], 0, 255);
            put(x, y, choose(values, shown));
        }
    }
}

// What reducePixels<3> wants of each pixel of a 32-bit picture: its red, green and blue.
inline auto rgbChannelsOf(const QImage &colours)
{
    return [&colours](int x, int y, int *values) {
        const QRgb colour = reinterpret_cast<const QRgb *>(colours.constScanLine(y))[x];
        values[0] = qRed(colour);
        values[1] = qGreen(colour);
        values[2] = qBlue(colour);
    };
}
