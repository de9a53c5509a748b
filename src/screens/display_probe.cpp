#include "screens/display_probe.h"

#include "session/numeric.h"
#include "session/screen_metrics.h"
#include "session/session_state.h"

#include <QScreen>

void ProbeDisplay(const QScreen* screen) {
    try {
        if (!screen) numeric::Raise(numeric::RuntimeError::InvalidArgument);
        // The pattern window's surface is sized the same way, so the
        // stored extent and the drawing surface always agree.
        const QSize size = DeviceSize(screen);
        SessionState.ScreenWidthPx = numeric::Narrow16(size.width());
        SessionState.ScreenHeightPx = numeric::Narrow16(size.height());
    } catch (const numeric::RuntimeError&) {
        // The probe ends here; whatever was stored stays.
    }
}
