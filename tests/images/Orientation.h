#pragma once
#include "Fixtures.h"

#include <array>

namespace vistrel::test {

// The quadrant colours seen at the four quarter points (top-left, top-right, bottom-left,
// bottom-right) of the picture after flipping left-right when mirrored, then turning clockwise.
inline std::array<QColor, 4> ExpectedQuadrants(int mirrored, int rotation)
{
    // 2 x 2 grid [row][column]
    std::array<std::array<QColor, 2>, 2> grid = {{{kTopLeft, kTopRight}, {kBottomLeft, kBottomRight}}};
    if (mirrored) {
        std::swap(grid[0][0], grid[0][1]);
        std::swap(grid[1][0], grid[1][1]);
    }
    for (int turn = 0; turn < rotation; ++turn) {
        const auto old = grid;
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < 2; ++c) {
                grid[r][c] = old[1 - c][r];   // clockwise
            }
        }
    }
    return {grid[0][0], grid[0][1], grid[1][0], grid[1][1]};
}

// Samples the quarter points of the rectangle (x, y, width, height) of an image.
inline std::array<QRgb, 4> QuarterPoints(const QImage& image, int x, int y, int width, int height)
{
    const int left = x + width / 4, right = x + 3 * width / 4, top = y + height / 4, bottom = y + 3 * height / 4;
    return {image.pixel(left, top), image.pixel(right, top), image.pixel(left, bottom), image.pixel(right, bottom)};
}

} // namespace vistrel::test
