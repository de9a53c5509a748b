#pragma once
// The display-server backends behind QueryScreenFacts. Each fills in the
// server's part of facts whose Qt part is already there, and says whether
// it found the screen's output.

struct ScreenFacts;

#if defined(VANTREL_HAVE_X11)
bool QueryX11Facts(ScreenFacts& facts);
#endif
#if defined(VANTREL_HAVE_WAYLAND)
bool QueryWaylandFacts(ScreenFacts& facts);
#endif
