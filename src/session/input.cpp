// The pattern window's keyboard and mouse handlers: the left button steps
// to the next pattern, the right button shows the pixel read-out, F12
// switches auto-play, Esc asks whether to end the test. With the step keys
// on, Right and Space step forward, Left back and Home to the first
// pattern. On the cross-hair pattern the pointer drags a full-screen
// cross-hair with it.

#include "session/dispatcher.h"
#include "session/exit_question.h"
#include "session/numeric.h"
#include "session/pattern_window.h"
#include "session/readout.h"
#include "session/session_state.h"

namespace {

constexpr int16_t kKeyEscape = 27;
constexpr int16_t kKeyF12 = 123;
constexpr int16_t kKeySpace = 32;
constexpr int16_t kKeyHome = 36;
constexpr int16_t kKeyLeft = 37;
constexpr int16_t kKeyRight = 39;
constexpr int16_t kLeftButton = 1;
constexpr int16_t kRightButton = 2;
constexpr int16_t kCrosshairPattern = 65;

// The pressed or released pixel, counted from 1.
void StorePointer(float x, float y) {
    SessionState.MouseX = numeric::Single(static_cast<double>(x) + 1.0);
    SessionState.MouseY = numeric::Single(static_cast<double>(y) + 1.0);
}

} // namespace

void Background::Form_KeyDown(int16_t keyCode, int16_t) {
    if (keyCode == kKeyEscape) {
        exitQuestionOpen_ = true;
        const bool confirmed = AskExitQuestion(this);
        exitQuestionOpen_ = false;
        if (confirmed) Q_EMIT exitConfirmed();
    }
    if (keyCode == kKeyF12) {
        SessionState.AutoPlayOn = static_cast<int16_t>(~SessionState.AutoPlayOn);
        SessionState.AutoPlaySeconds = form_.AutoPlayStep;
        PaintPattern(form_);
    }
    if (!stepKeysEnabled_) return;
    switch (keyCode) {
    case kKeyRight:
    case kKeySpace: SessionState.PatternIndex = NextPatternIndex(form_, SessionState.PatternIndex); break;
    case kKeyLeft: SessionState.PatternIndex = PreviousPatternIndex(form_, SessionState.PatternIndex); break;
    case kKeyHome: SessionState.PatternIndex = FirstPatternIndex(form_); break;
    default: return;
    }
    PaintPattern(form_);
}

void Background::Form_MouseDown(int16_t button, int16_t, float x, float y) {
    StorePointer(x, y);
    if (button == kLeftButton) {
        SessionState.PatternIndex = NextPatternIndex(form_, SessionState.PatternIndex);
        PaintPattern(form_);
    }
    if (button != kRightButton) return;
    CursorLabel& label = form_.Cursor;
    SetReadoutText(label, x, y);
    PlaceReadout(label, x, y);
    ApplyReadoutContrast(form_, x, y);
    if (SessionState.PatternIndex == kCrosshairPattern) {
        DrawReadoutCrosshair(form_, x, y);
        label.Visible = true;
    }
    label.Visible = true;
}

void Background::Form_MouseMove(int16_t buttons, int16_t, float x, float y) {
    CursorLabel& label = form_.Cursor;
    if (buttons == kRightButton) {
        SetReadoutText(label, x, y);
        PlaceReadout(label, x, y);
        ApplyReadoutContrast(form_, x, y);
        label.Visible = true;
    }
    if (SessionState.PatternIndex == kCrosshairPattern) {
        // The text stays white here, whatever lies under the pointer.
        DrawReadoutCrosshair(form_, x, y);
        PlaceReadout(label, x, y);
        SetReadoutText(label, x, y);
        label.Visible = true;
    }
}

void Background::Form_MouseUp(int16_t, int16_t, float x, float y) {
    StorePointer(x, y);
    form_.Cursor.Visible = false;
    if (SessionState.PatternIndex == kCrosshairPattern) form_.Cursor.Visible = true;
}
