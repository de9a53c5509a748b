// The crosstalk windows, the level bars and the uniformity points: boxes
// and outlines on a field, at positions rounded down from fractions of
// the picture's extents.

#include "patterns/painters.h"
#include "session/drawing_surface.h"

#include <algorithm>

// The window covers x in [w/4, 3w/4) and y in [h/4, 3h/4), rounded down.
void PaintCrosstalkWindow(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb window) {
    s.setBackColor(field);
    const float left = w / 4, right = 3 * w / 4, top = h / 4, bottom = 3 * h / 4;
    s.filledBox(left, top, right, bottom, window);
}

// Bar i holds the columns x with floor(n x / w) = i: from ceil(i w / n) to
// ceil((i + 1) w / n).
void PaintLevelBars(DrawingSurface& s, int16_t w, int16_t h, QRgb channels, std::span<const uint8_t> levels) {
    const int n = static_cast<int>(levels.size());
    auto edge = [w, n](int i) { return static_cast<float>((i * w + n - 1) / n); };
    for (int i = 0; i < n; ++i) {
        const QRgb level = (0x010101u * levels[static_cast<size_t>(i)]) & channels;
        s.filledBox(edge(i), 0.0f, edge(i + 1), h, level);
    }
}

// Squares of an odd side s = max(3, 2 floor(min(w, h) / 40) + 1) around the
// centres (w (2i + 1) / 6, h (2j + 1) / 6), rounded down: their outlines
// are the pixels (s - 1) / 2 away from a centre in x or in y, whichever is
// farther.
void PaintUniformityPoints(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb outline) {
    s.setBackColor(field);
    const int side = std::max(3, 2 * (std::min(w, h) / 40) + 1);
    const int reach = (side - 1) / 2;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const int cx = w * (2 * i + 1) / 6;
            const int cy = h * (2 * j + 1) / 6;
            s.box(cx - reach, cy - reach, cx + reach, cy + reach, outline);
        }
}
