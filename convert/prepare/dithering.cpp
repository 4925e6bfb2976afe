#include "dithering.h"

#include <cmath>

namespace {

// The matrix of 2n x 2n cells made of the one of n x n, M, as four blocks: 4M, 4M + 2 on top,
// 4M + 3, 4M + 1 below.
std::array<std::array<int, 8>, 8> bayerOfOrder8()
{
    std::array<std::array<int, 8>, 8> matrix {};
    for (int size = 1; size < 8; size *= 2) {
        for (int y = size - 1; y >= 0; --y) {
            for (int x = size - 1; x >= 0; --x) {
                const int m = 4 * matrix[size_t(y)][size_t(x)];
                matrix[size_t(y)][size_t(x)] = m;
                matrix[size_t(y)][size_t(x + size)] = m + 2;
                matrix[size_t(y + size)][size_t(x)] = m + 3;
                matrix[size_t(y + size)][size_t(x + size)] = m + 1;
            }
        }
    }
    return matrix;
}

} // namespace

const std::array<std::array<int, 8>, 8> bayerMatrix = bayerOfOrder8();

OrderedSpread spreadBetweenLevels(int levels)
{
    const double half = 255.0 / (levels - 1) / 2;
    return {half, half};
}

OrderedSpread spreadAroundThreshold(int threshold)
{
    return {double(threshold), double(255 - threshold)};
}

std::array<OrderedSpread, 3> spreadOfPalette(const QVector<QRgb> &colours)
{
    std::array<OrderedSpread, 3> spread;
    for (int c = 0; c < 3; ++c) {
        std::vector<int> levels; // the channel's values in the palette, in increasing order
        for (const QRgb colour : colours)
            levels.push_back(c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
        std::sort(levels.begin(), levels.end());
        int widest = 0;
        for (size_t i = 1; i < levels.size(); ++i)
            widest = std::max(widest, levels[i] - levels[i - 1]);
        spread[size_t(c)] = {widest / 2.0, widest / 2.0};
    }
    return spread;
}

std::array<int, 64> bayerOffsets(const OrderedSpread &spread)
{
    std::array<int, 64> offsets {};
    for (int m = 0; m < 64; ++m)
        offsets[size_t(m)] = int(std::trunc((63 - 2 * m) / 64.0 * (m < 32 ? spread.up : spread.down)));
    return offsets;
}
