// The pattern window's keyboard and mouse handlers. Until navigation is
// built the window only shows pattern 1 and ignores its input.

#include "session/pattern_window.h"

void Background::Form_KeyDown(int16_t, int16_t) {}
void Background::Form_MouseDown(int16_t, int16_t, float, float) {}
void Background::Form_MouseMove(int16_t, int16_t, float, float) {}
void Background::Form_MouseUp(int16_t, int16_t, float, float) {}
