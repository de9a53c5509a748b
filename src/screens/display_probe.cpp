#include "screens/display_probe.h"

#include "session/pattern_window.h"
#include "session/session_state.h"

#include <QScreen>

void ProbeDisplay(const QScreen* screen) {
    const QSize size = DeviceSize(screen);
    SessionState.ScreenWidthPx = static_cast<int16_t>(qMin(size.width(), 32767));
    SessionState.ScreenHeightPx = static_cast<int16_t>(qMin(size.height(), 32767));
}
