#pragma once
// A full-screen window of exactly its screen's size in device pixels.

class QWindow;

// Gives a shown window exactly the native geometry of its screen. Qt
// sizes a window from its logical geometry multiplied back by its scale
// factor, which at some fractional factors rounds to one pixel more than
// the screen has (911 logical pixels at 150 % give 1367 device pixels on a
// 1366-pixel screen). Call it once the window has its platform window
// (after show()); it does nothing without one, or when Qt's platform
// headers were not there at build time.
void FitWindowToScreen(QWindow* window);
