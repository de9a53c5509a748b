#include "session/render_pattern.h"

#include "session/dispatcher.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

QImage RenderPattern(int16_t number, QSize size, qreal logicalDpi) {
    // The state start-up leaves: the probe measured a screen of this size,
    // the window's load switched auto-play off, no mouse button was used.
    ResetSessionState();
    SessionState.ScreenWidthPx = static_cast<int16_t>(size.width());
    SessionState.ScreenHeightPx = static_cast<int16_t>(size.height());
    SessionState.AutoPlayOn = kFalse;

    PatternForm form(size, logicalDpi);
    SessionState.PatternIndex = number;
    PaintPattern(form);
    // Shares the pixels, which outlive the form; its timers stop with it.
    return form.surface().image();
}
