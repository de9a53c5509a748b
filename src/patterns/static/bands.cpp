// Vertical bands: the eight colour bars (pattern 2) and the 64-step ramps
// in grey, red, green and blue (patterns 42..45). One band width K is
// worked out per painting; the bands are filled boxes from the top to the
// bottom of the screen, painted left to right so that the band on the
// right owns a column two boxes share. The bands end at N*K: a narrower
// total leaves a black strip on the right, a wider one is clipped.

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/drawing_surface.h"

#include <array>

namespace {

constexpr int16_t kBarCount = 8;
constexpr int16_t kRampSteps = 64;

// Left to right: white, yellow, magenta, red, cyan, green, blue, black.
constexpr std::array<QRgb, kBarCount> kBarColours{{
    qRgb(255, 255, 255), qRgb(255, 255, 0), qRgb(255, 0, 255), qRgb(255, 0, 0),
    qRgb(0, 255, 255), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0),
}};

// The band width: w / count, to the nearest integer, a tie to the even one.
int16_t BandWidth(int16_t w, int16_t count) {
    return numeric::Round16(static_cast<double>(w) / count);
}

} // namespace

void PaintColourBars(DrawingSurface& s, int16_t w, int16_t h) {
    const int16_t k = BandWidth(w, kBarCount);
    for (int16_t band = 0; band < kBarCount; ++band) {
        // 16-bit products: the last edge overflows once 8*K passes 32767.
        const int16_t left = numeric::Mul16(band, k);
        const int16_t right = numeric::Mul16(numeric::Add16(band, 1), k);
        s.filledBox(left, 0.0f, right, h, kBarColours[static_cast<size_t>(band)]);
    }
}

void PaintRamp(DrawingSurface& s, int16_t w, int16_t h, QRgb channels) {
    const int16_t k = BandWidth(w, kRampSteps);
    for (int16_t i = 1; i <= kRampSteps; ++i) {
        const int16_t level = numeric::Narrow16(4 * i - 1); // 3, 7, ..., 255
        // The edges widen to 32 bits rather than overflow.
        const int32_t left = numeric::Narrow32(static_cast<long long>(i - 1) * k);
        const int32_t right = numeric::Narrow32(static_cast<long long>(i) * k);
        s.filledBox(static_cast<float>(left), 0.0f, static_cast<float>(right), h,
                    qRgb(level, level, level) & channels);
    }
}
