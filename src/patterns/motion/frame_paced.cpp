// The frame-paced pictures (124 to 127): each advances exactly one step per
// presented frame. Frame 0 is painted whole on the cleared surface; frame
// n > 0 repaints only what differs from frame n - 1, so a step touches a
// small rectangle wherever the picture allows it.

#include "patterns/painters.h"
#include "session/drawing_surface.h"

#include <algorithm>

namespace {

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kCyan = qRgb(0, 255, 255);
constexpr QRgb kGrey128 = qRgb(128, 128, 128);

constexpr int kSkipCells = 8;
constexpr int kPursuitSpacing = 64; // the motion block's black columns
constexpr int kToggleRun = 4;       // frames of white, then of black

// A box of whole pixels, [x0, x1) x [y0, y1).
void Fill(DrawingSurface& s, int x0, int y0, int x1, int y1, QRgb colour) {
    if (x0 >= x1 || y0 >= y1) return;
    s.filledBox(static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1), static_cast<float>(y1),
                colour);
}

// ---- 124 frame-skip -------------------------------------------------------------

void SkipCell(DrawingSurface& s, int w, int h, int cell, QRgb colour) {
    Fill(s, cell * w / kSkipCells, h / 3, (cell + 1) * w / kSkipCells, 2 * h / 3, colour);
}

// ---- 126 motion-block -------------------------------------------------------------

// The square's side, its top row and the left column of frame n.
struct Square {
    int side, top, left;
};
Square SquareOf(int w, int h, quint64 frame, int speed) {
    const int side = std::min(h / 8, w);
    const auto left = w > 0 ? static_cast<int>((frame * static_cast<quint64>(speed)) % static_cast<quint64>(w)) : 0;
    return {side, (h - side) / 2, left};
}

// The background of columns [x0, x1), rows [y0, y1): grey with the
// pursuit columns.
void PursuitBackground(DrawingSurface& s, int x0, int y0, int x1, int y1) {
    Fill(s, x0, y0, x1, y1, kGrey128);
    for (int x = (x0 + kPursuitSpacing - 1) / kPursuitSpacing * kPursuitSpacing; x < x1; x += kPursuitSpacing)
        Fill(s, x, y0, x + 1, y1, kBlack);
}

// Paints the square's columns, which wrap past the right edge to the left
// one, with `paint(x0, x1)` per run of columns.
template <typename Paint>
void SquareColumns(int w, const Square& q, Paint paint) {
    const int end = q.left + q.side;
    paint(q.left, std::min(end, w));
    if (end > w) paint(0, end - w);
}

} // namespace

void PaintFrameSkip(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int) {
    const int cell = static_cast<int>(frame % kSkipCells);
    if (frame == 0) Fill(s, 0, 0, w, h, kBlack);
    else SkipCell(s, w, h, (cell + kSkipCells - 1) % kSkipCells, kBlack);
    SkipCell(s, w, h, cell, kWhite);
}

void PaintVsyncAlternation(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int) {
    Fill(s, 0, 0, w, h, frame % 2 == 0 ? kRed : kCyan);
}

void PaintMotionBlock(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int speed) {
    const Square now = SquareOf(w, h, frame, speed);
    if (frame == 0) PursuitBackground(s, 0, 0, w, h);
    else {
        const Square before = SquareOf(w, h, frame - 1, speed);
        SquareColumns(w, before, [&](int x0, int x1) { PursuitBackground(s, x0, before.top, x1, before.top + before.side); });
    }
    SquareColumns(w, now, [&](int x0, int x1) { Fill(s, x0, now.top, x1, now.top + now.side, kWhite); });
}

void PaintResponseToggle(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int) {
    // Only the first frame of each run of four changes the picture.
    if (frame % kToggleRun != 0) return;
    Fill(s, 0, 0, w, h, (frame / kToggleRun) % 2 == 0 ? kWhite : kBlack);
}
