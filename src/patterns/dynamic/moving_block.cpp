// Flashing box (57) and the moving blocks (59..62), with the tick handlers of `Timer1` (block) and `Timer2`
// (flashing inner box).
//
// `BlockX` and `BlockY` stay fractional single-precision values; every
// sum and product below is taken in double and stored back through
// numeric::Single, which equals the single-precision operation for these
// operands and checks the result. The erase and draw boxes of a tick use
// identical corners, so each tick touches exactly the squares it paints.

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

namespace {

constexpr double kBlockSize = 50.0;   // width and height of the block, and its step per tick
constexpr int16_t kTurnMargin = 50;   // the block moves right only while BlockX < W - 50
constexpr double kInnerDivisor = 10.0;
constexpr double kInnerFactor = 9.0;

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

QRgb BlockColor() { return qRgb(SessionState.ColorR, SessionState.ColorG, SessionState.ColorB); }

// The block square at the current position.
void DrawBlock(DrawingSurface& s, QRgb color) {
    const float x = SessionState.BlockX, y = SessionState.BlockY;
    s.filledBox(x, y, numeric::Single(x + kBlockSize), numeric::Single(y + kBlockSize), color);
}

// The inner box of the flashing box, (BlockX, BlockY) to 9 times that.
void DrawInnerBox(DrawingSurface& s, QRgb color) {
    const float x = SessionState.BlockX, y = SessionState.BlockY;
    s.filledBox(x, y, numeric::Single(kInnerFactor * x), numeric::Single(kInnerFactor * y), color);
}

// Tags are texts read as numbers.
bool TagIs(const FormTimer& timer, double value) { return numeric::TextToNumber(timer.Tag) == value; }

} // namespace

void PaintFlashingBox(PatternForm& form, QRgb) {
    DrawingSurface& s = form.surface();
    const int16_t w = SessionState.ScreenWidthPx, h = SessionState.ScreenHeightPx;
    SessionState.BlockX = static_cast<float>(w);
    SessionState.BlockY = static_cast<float>(h);
    s.box(0.0f, 0.0f, numeric::Single(SessionState.BlockX - 1.0), numeric::Single(SessionState.BlockY - 1.0),
          kWhite);
    SessionState.BlockX = numeric::Single(w / kInnerDivisor);
    SessionState.BlockY = numeric::Single(h / kInnerDivisor);
    DrawInnerBox(s, kWhite);
    form.Timer2.Tag = QStringLiteral("0");
    form.Timer2.setEnabled(true);
}

void PaintMovingBlock(PatternForm& form, QRgb block) {
    form.Timer1.setEnabled(false);
    SessionState.ColorR = static_cast<int16_t>(qRed(block));
    SessionState.ColorG = static_cast<int16_t>(qGreen(block));
    SessionState.ColorB = static_cast<int16_t>(qBlue(block));
    SessionState.BlockX = 0.0f;
    SessionState.BlockY = numeric::Single(SessionState.ScreenHeightPx / 2.0);
    DrawBlock(form.surface(), BlockColor());
    form.Timer1.Tag = QStringLiteral("0");
    form.Timer1.setEnabled(true);
}

void Timer1_Timer(PatternForm& form) {
    DrawingSurface& s = form.surface();
    const float limit = static_cast<float>(numeric::Sub16(SessionState.ScreenWidthPx, kTurnMargin));
    // Both conditions are evaluated, as a non-numeric tag is an error either way.
    const bool belowLimit = SessionState.BlockX < limit;
    const bool movingRight = TagIs(form.Timer1, 0.0);
    if (belowLimit && movingRight) {
        DrawBlock(s, kBlack);
        SessionState.BlockX = numeric::Single(SessionState.BlockX + kBlockSize);
        DrawBlock(s, BlockColor());
    } else {
        form.Timer1.Tag = QStringLiteral("1");
        DrawBlock(s, kBlack);
        SessionState.BlockX = numeric::Single(SessionState.BlockX - kBlockSize);
        DrawBlock(s, BlockColor());
    }
    const bool atLeftEnd = SessionState.BlockX <= 0.0f;
    const bool movingLeft = TagIs(form.Timer1, 1.0);
    if (atLeftEnd && movingLeft) form.Timer1.Tag = QStringLiteral("0");
}

void Timer2_Timer(PatternForm& form) {
    if (TagIs(form.Timer2, 0.0)) {
        DrawInnerBox(form.surface(), kBlack);
        form.Timer2.Tag = QStringLiteral("1");
    } else {
        DrawInnerBox(form.surface(), kWhite);
        form.Timer2.Tag = QStringLiteral("0");
    }
}
