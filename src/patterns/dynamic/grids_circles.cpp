// Grids (66: thirds, 67: quarters with five discs). Fractions of the
// screen are taken in double precision and handed to the surface as
// single-precision coordinates without rounding; the surface maps them
// to pixels.

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/drawing_surface.h"

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
constexpr float kDiscRadius = 30.0f;

// Frame on the outermost pixels, then divisor - 1 horizontal lines and
// divisor - 1 vertical lines at the multiples of W / divisor and H / divisor.
void FrameAndGrid(DrawingSurface& s, int16_t w, int16_t h, int divisor) {
    s.setBackColor(qRgb(0, 0, 0));
    s.box(0.0f, 0.0f, static_cast<float>(numeric::Sub16(w, 1)), static_cast<float>(numeric::Sub16(h, 1)), kWhite);
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    const double stepY = h / static_cast<double>(divisor), stepX = w / static_cast<double>(divisor);
    for (int k = 1; k < divisor; ++k) {
        const float y = numeric::Single(stepY * k);
        s.line(0.0f, y, fw, y, kWhite);
    }
    for (int k = 1; k < divisor; ++k) {
        const float x = numeric::Single(stepX * k);
        s.line(x, 0.0f, x, fh, kWhite);
    }
}

} // namespace

void PaintThirdsGrid(DrawingSurface& s, int16_t w, int16_t h) { FrameAndGrid(s, w, h, 3); }

void PaintQuartersGridWithDiscs(DrawingSurface& s, int16_t w, int16_t h) {
    FrameAndGrid(s, w, h, 4);
    s.setFillColor(kWhite);
    s.setFillStyle(DrawingSurface::FillStyle::Solid);
    const double qx = w / 4.0, qy = h / 4.0;
    // Corners of the inner square and its centre, in this order.
    const double centres[][2] = {
        {qx, qy}, {qx * 3, qy}, {qx * 2, qy * 2}, {qx, qy * 3}, {qx * 3, qy * 3},
    };
    for (const auto& c : centres)
        s.circle(numeric::Single(c[0]), numeric::Single(c[1]), kDiscRadius, kWhite);
}
