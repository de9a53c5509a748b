// Quadrant checkerboards (patterns 46, 47) and centre windows (53, 55,
// 56). The column X where the boxes begin or end is a whole pixel (w/2 or
// w/3 to the nearest integer, a tie to the even one); the row Y keeps the
// fraction of h/2 or h/3, and the surface maps it to a pixel row.

#include "patterns/painters.h"
#include "session/drawing_surface.h"
#include "session/numeric.h"

namespace {

// A field colour without alpha stands for the black the reset left.
void SetField(DrawingSurface& s, QRgb field) {
    if (qAlpha(field) != 0) s.setBackColor(field);
}

} // namespace

// Diagonally opposite quarters in the box colour: top-left and
// bottom-right, touching only at (X, Y).
void PaintQuadrants(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb box) {
    SetField(s, field);
    const int16_t x = numeric::Round16(w / 2.0);
    const double y = h / 2.0;
    s.filledBox(0.0f, 0.0f, x, numeric::Single(y), box);
    s.filledBox(x, numeric::Single(y), w, h, box);
}

// The middle ninth of the screen: exactly X pixels wide, from X to 2*X.
void PaintCentreWindow(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb box) {
    SetField(s, field);
    const int16_t x = numeric::Round16(w / 3.0);
    const double y = h / 3.0;
    s.filledBox(x, numeric::Single(y), numeric::Mul16(2, x), numeric::Single(2.0 * y), box);
}
