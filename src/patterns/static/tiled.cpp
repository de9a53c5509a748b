// Patterns made of a few distinct rows repeated down the picture: the
// polarity-inversion patterns and the pixel checkerboards (cells of one
// or two pixels), and the gamma line pairs. Each is laid as a tile from
// the top-left pixel, so the surface writes each distinct row once and
// copies it.

#include "patterns/painters.h"
#include "session/drawing_surface.h"

#include <vector>

void PaintCheckerboard(DrawingSurface& s, int16_t w, int16_t h, QRgb even, QRgb odd, int cellWidth, int cellHeight) {
    // Two cells each way, or one where a cell spans the whole extent.
    const int tileWidth = cellWidth > 0 ? 2 * cellWidth : 1;
    const int tileHeight = cellHeight > 0 ? 2 * cellHeight : 1;
    std::vector<QRgb> tile(static_cast<size_t>(tileWidth * tileHeight));
    for (int y = 0; y < tileHeight; ++y)
        for (int x = 0; x < tileWidth; ++x) {
            const int column = cellWidth > 0 ? x / cellWidth : 0;
            const int row = cellHeight > 0 ? y / cellHeight : 0;
            tile[static_cast<size_t>(y * tileWidth + x)] = (column + row) % 2 == 0 ? even : odd;
        }
    s.tiledBox(0.0f, 0.0f, w, h, tile.data(), tileWidth, tileHeight);
}

// Column j of five spans x in [jw/5, (j+1)w/5), rounded down; its patch
// covers the middle half of the column's width over the middle third of
// the height. Outside the patches, rows alternate white (even rows) and
// black (odd rows).
void PaintGammaPatches(DrawingSurface& s, int16_t w, int16_t h, std::span<const uint8_t> patchLevels) {
    constexpr QRgb kLineOn = qRgb(255, 255, 255);
    constexpr QRgb kLineOff = qRgb(0, 0, 0);
    const QRgb linePair[2] = {kLineOn, kLineOff};
    const int top = h / 3;
    const int bottom = 2 * h / 3;
    s.tiledBox(0.0f, 0.0f, w, top, linePair, 1, 2);
    s.tiledBox(0.0f, bottom, w, h, linePair, 1, 2);
    if (top >= bottom) return;

    // The rows through the patches: two rows of the whole width.
    std::vector<QRgb> rows(static_cast<size_t>(2 * w));
    const int columns = static_cast<int>(patchLevels.size());
    for (int x = 0; x < w; ++x) {
        rows[static_cast<size_t>(x)] = kLineOn;
        rows[static_cast<size_t>(w + x)] = kLineOff;
    }
    for (int j = 0; j < columns; ++j) {
        const int left = j * w / columns;
        const int width = (j + 1) * w / columns - left;
        const QRgb patch = 0x010101u * patchLevels[static_cast<size_t>(j)];
        for (int x = left + width / 4; x < left + 3 * width / 4; ++x) {
            rows[static_cast<size_t>(x)] = patch;
            rows[static_cast<size_t>(w + x)] = patch;
        }
    }
    s.tiledBox(0.0f, top, w, bottom, rows.data(), w, 2);
}
