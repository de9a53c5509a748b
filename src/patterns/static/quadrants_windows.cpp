// Quadrant checkerboards (patterns 46, 47) and centre windows (53, 55,
// 56). The column X where the boxes begin or end is a whole pixel (w/2 or
// w/3 to the nearest integer, a tie to the even one); the row Y keeps the
// fraction of h/2 or h/3, and the surface maps it to a pixel row.

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kGrey = qRgb(192, 192, 192);

// Diagonally opposite quarters in the box colour: top-left and
// bottom-right, touching only at (X, Y).
void PaintQuadrants(DrawingSurface& s, int16_t w, int16_t h, QRgb boxColour) {
    const int16_t x = numeric::Round16(w / 2.0);
    const double y = h / 2.0;
    s.filledBox(0.0f, 0.0f, x, numeric::Single(y), boxColour);
    s.filledBox(x, numeric::Single(y), w, h, boxColour);
}

// The middle ninth of the screen: exactly X pixels wide, from X to 2*X.
void PaintCentreWindow(DrawingSurface& s, int16_t w, int16_t h, QRgb boxColour) {
    const int16_t x = numeric::Round16(w / 3.0);
    const double y = h / 3.0;
    s.filledBox(x, numeric::Single(y), numeric::Mul16(2, x), numeric::Single(2.0 * y), boxColour);
}

} // namespace

void PaintQuadrantWindow(PatternForm& form, int16_t pattern) {
    const int16_t w = SessionState.ScreenWidthPx;
    const int16_t h = SessionState.ScreenHeightPx;
    DrawingSurface& s = form.surface();
    switch (pattern) {
    case 46:
        s.setBackColor(kWhite);
        PaintQuadrants(s, w, h, kBlack);
        break;
    case 47: // on the black background the dispatcher left
        PaintQuadrants(s, w, h, kWhite);
        break;
    case 53:
        s.setBackColor(kGrey);
        PaintCentreWindow(s, w, h, kBlack);
        break;
    case 55:
        s.setBackColor(kWhite);
        PaintCentreWindow(s, w, h, kBlack);
        break;
    case 56:
        s.setBackColor(kGrey);
        PaintCentreWindow(s, w, h, kWhite);
        break;
    default: break;
    }
}
