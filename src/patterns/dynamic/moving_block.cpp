// Not painted yet: the patterns show the black field of the reset.

#include "patterns/painters.h"

void PaintMovingBlock(PatternForm&, int16_t) {}
void Timer1_Timer(PatternForm&) {}
void Timer2_Timer(PatternForm&) {}
