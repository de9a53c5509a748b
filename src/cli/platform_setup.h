#pragma once
// Start-up's choice of Qt platform, made before the application object
// exists: the offscreen platform when nothing needs a display, and a
// plain message instead of Qt's abort when a display is needed but none
// can be opened.

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Whether the windowing platform Qt would pick has a display to talk to.
// On X11/Wayland systems that means DISPLAY or WAYLAND_DISPLAY (or a
// QT_QPA_PLATFORM that needs neither); elsewhere there always is one.
bool DisplayAvailable();

// Makes the application object use Qt's offscreen platform, which draws
// into memory and needs no display.
void UseOffscreenPlatform();

// Whether Qt's own non-fatal messages are printed: only when asked for,
// with VANTREL_DEBUG=1 or Qt's QT_LOGGING_RULES. To an operator they are
// noise (a missing runtime directory, a plugin's notes).
bool QtMessagesWanted();

// When the user chose no platform (neither QT_QPA_PLATFORM nor a
// -platform option among `arguments`) and a Wayland compositor is named by
// WAYLAND_DISPLAY, asks Qt for its Wayland platform, falling back to X11
// when the compositor cannot be reached: a native Wayland window is drawn
// in the output's own pixels, where an XWayland one may be resampled.
void PreferNativeWayland(const QStringList& arguments);

// The one line printed when a display is needed and none can be opened.
QString NoDisplayMessage();

// While it lives, a failure of Qt's platform to start ends the program
// with NoDisplayMessage() and kFailureExitStatus instead of an abort.
// Wrap the construction of the application object in it.
class PlatformStartGuard {
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;

private:
    QtMessageHandler previous_;
};
