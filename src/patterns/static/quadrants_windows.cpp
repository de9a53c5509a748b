// Not painted yet: the pattern shows the black field of the reset.

#include "patterns/painters.h"

void PaintQuadrantWindow(PatternForm&, int16_t) {}
