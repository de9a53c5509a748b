#pragma once
// Measures the screen once at start-up into `SessionState.ScreenWidthPx`
// and `SessionState.ScreenHeightPx`.

class QScreen;

// Never fails towards its caller: any run-time error ends it silently.
void ProbeDisplay(const QScreen* screen);
