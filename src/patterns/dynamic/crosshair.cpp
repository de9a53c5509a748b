// Cross-hair (65): a full-height and a full-width white line through the
// pixel of the last button press or release, (MouseX - 1, MouseY - 1),
// and the `Cursor` read-out beside the crossing point, on the side
// facing the screen's middle. The label's colour is left as it is.

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

namespace {

const QRgb kWhite = qRgb(255, 255, 255);

constexpr double kOffsetRight = 4.0;  // label left of the point's right side
constexpr double kOffsetLeft = 78.0;  // label's left edge this far left of the point
constexpr double kOffsetDown = 4.0;
constexpr double kOffsetUp = 21.0;

} // namespace

void PaintCrosshair(PatternForm& form, QRgb) {
    DrawingSurface& s = form.surface();
    const int16_t w = SessionState.ScreenWidthPx, h = SessionState.ScreenHeightPx;
    const float mx = SessionState.MouseX, my = SessionState.MouseY;

    s.setBackColor(qRgb(0, 0, 0));
    const float column = numeric::Single(mx - 1.0);
    const float row = numeric::Single(my - 1.0);
    s.line(column, 0.0f, column, static_cast<float>(h), kWhite);
    s.line(0.0f, row, static_cast<float>(w), row, kWhite);

    CursorLabel& label = form.Cursor;
    label.Caption = QStringLiteral("( ") + numeric::FloatText(mx) + QStringLiteral(" , ") +
                    numeric::FloatText(my) + QStringLiteral(" )");
    // The halves are taken in double and held as single; the tests are
    // strict, so the middle column and row count as the right and lower half.
    const float halfW = numeric::Single(w / 2.0), halfH = numeric::Single(h / 2.0);
    label.Left = halfW > mx ? numeric::Single(mx + kOffsetRight) : numeric::Single(mx - kOffsetLeft);
    label.Top = halfH > my ? numeric::Single(my + kOffsetDown) : numeric::Single(my - kOffsetUp);
    label.Visible = true;
}
