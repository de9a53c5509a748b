// The edge frame (pattern 3) and the white line rasters on every third
// row (pattern 49) or column (pattern 51), on the black field the
// dispatcher leaves.

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/drawing_surface.h"

namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);

// Lines on rows (or columns) 1, 4, 7, ...: the body moves the counter on
// by 2 and the loop by 1 more. Each line runs to one past the last pixel.
void PaintRaster(DrawingSurface& s, bool horizontal, int16_t w, int16_t h) {
    const int16_t last = horizontal ? h : w;
    const float length = horizontal ? w : h;
    for (int16_t n = 1; n <= last; n = numeric::Add16(n, 1)) {
        const float at = n;
        if (horizontal) s.line(0.0f, at, length, at, kWhite);
        else s.line(at, 0.0f, at, length, kWhite);
        n = numeric::Add16(n, 2);
    }
}

} // namespace

// Four lines round the outermost pixels, each starting where the previous
// one ends. A line leaves out its end pixel, so each corner belongs to the
// line that starts there: top-left white, top-right blue, bottom-right
// white, bottom-left red.
void PaintEdgeFrame(DrawingSurface& s, int16_t w, int16_t h) {
    const float right = numeric::Sub16(w, 1);
    const float bottom = numeric::Sub16(h, 1);
    s.line(0.0f, 0.0f, right, 0.0f, kWhite);         // top
    s.line(right, 0.0f, right, bottom, kBlue);       // right
    s.line(right, bottom, 0.0f, bottom, kWhite);     // bottom
    s.line(0.0f, bottom, 0.0f, 0.0f, kRed);          // left
}

void PaintHorizontalRaster(DrawingSurface& s, int16_t w, int16_t h) { PaintRaster(s, true, w, h); }

void PaintVerticalRaster(DrawingSurface& s, int16_t w, int16_t h) { PaintRaster(s, false, w, h); }
