#pragma once
// The display-server backends behind QueryScreenFacts and
// PresentationClock::ForWindow. Each screen-facts backend fills in the
// server's part of facts whose Qt part is already there, and says whether
// it found the screen's output; each clock backend answers nullptr when it
// cannot start on the window.

#include <memory>

struct ScreenFacts;
class PresentationClock;
class QWindow;

#if defined(VANTREL_HAVE_X11)
bool QueryX11Facts(ScreenFacts& facts);
#endif
#if defined(VANTREL_HAVE_WAYLAND)
bool QueryWaylandFacts(ScreenFacts& facts);
#endif
#if defined(VANTREL_HAVE_WAYLAND_CLOCK)
std::unique_ptr<PresentationClock> CreateWaylandClock(QWindow* window);
#endif
#if defined(VANTREL_HAVE_X11_CLOCK)
std::unique_ptr<PresentationClock> CreateX11Clock(QWindow* window);
#endif
