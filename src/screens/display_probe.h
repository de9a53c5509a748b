#pragma once
// Measures the screen once at start-up into `SessionState.ScreenWidthPx`
// and `SessionState.ScreenHeightPx`: the size, in device pixels, of the
// screen the pattern window will cover, so that every pattern pixel is
// one pixel of the panel.

class QScreen;

// Never fails towards its caller: a run-time error (a size beyond the
// 16-bit range, a missing screen) ends it silently. A field stored before
// the error keeps its new value; the others keep their old ones, so an
// error in the width leaves both fields as they were, and an error in the
// height leaves the width stored and the height as it was.
void ProbeDisplay(const QScreen* screen);
