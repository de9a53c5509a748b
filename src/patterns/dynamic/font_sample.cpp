// Font sample (64): rows of "字型顯示測試" in white, 10 points, in the
// window's face.
//
// All lines are alike: each starts at x = 5 and holds the same copies at
// the same x positions. When the line height is a whole number of pixels,
// line k lies exactly k line heights below the first, and the first line's
// ink stays inside its own band of rows, line k's pixels are the first
// line's rows moved down, so they are copied instead of drawn. Otherwise
// every line is drawn.

#include "patterns/dynamic/font_sample.h"

#include "patterns/painters.h"
#include "session/drawing_surface.h"
#include "session/numeric.h"

#include <algorithm>
#include <cmath>

namespace {

const QString kSample = QStringLiteral("字型顯示測試");
const QString kLineBreak = QStringLiteral("\r\n");
constexpr qreal kFontPoints = 10.0;
constexpr float kFirstLineTop = 10.0f;
constexpr float kLineStart = 5.0f;
constexpr int16_t kRightMargin = 30;
constexpr int16_t kBottomMargin = 10;

// Whether the line just drawn with its top at `top` (a whole pixel) and
// `height` rows left the rows above it and the next line's band black.
bool InkStaysInBand(const DrawingSurface& s, int top, int height) {
    const QRgb black = qRgb(0, 0, 0);
    return s.rowsAre(0, top, black) && s.rowsAre(top + height, top + 2 * height, black);
}

bool IsWhole(double v) { return std::isfinite(v) && v == std::floor(v); }

} // namespace

int PrintFontSample(DrawingSurface& s, int16_t width, int16_t height, bool copyRepeatedLines) {
    s.setForeColor(qRgb(255, 255, 255));
    s.setFontSize(kFontPoints);
    s.setCurrentY(kFirstLineTop);

    const qreal lineHeight = s.lineHeight();
    // The first line, once drawn, as the source of the others.
    bool haveSource = false;
    int sourceTop = 0;
    float lineEndX = 0.0f;
    int copied = 0;

    while (s.currentY() < static_cast<float>(numeric::Sub16(height, kBottomMargin))) {
        const float top = s.currentY();
        if (haveSource && IsWhole(top)) {
            s.copyRows(sourceTop, static_cast<int>(lineHeight), static_cast<int>(top));
            s.setCurrentX(lineEndX);
            ++copied;
        } else {
            s.setCurrentX(kLineStart);
            while (s.currentX() < static_cast<float>(numeric::Sub16(width, kRightMargin))) s.print(kSample);
            if (copyRepeatedLines && !haveSource && IsWhole(top) && IsWhole(lineHeight) && lineHeight >= 1.0) {
                haveSource = InkStaysInBand(s, static_cast<int>(top), static_cast<int>(lineHeight));
                sourceTop = static_cast<int>(top);
                lineEndX = s.currentX();
            }
        }
        s.print(kLineBreak);
    }
    return copied;
}

void PaintFontSample(DrawingSurface& s, int16_t w, int16_t h) { PrintFontSample(s, w, h, true); }
