// Solid colour fields: the whole window in one colour, which stays its
// background colour.

#include "patterns/painters.h"
#include "session/drawing_surface.h"

void PaintSolidField(DrawingSurface& s, int16_t, int16_t, QRgb field) { s.setBackColor(field); }
