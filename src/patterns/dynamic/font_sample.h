#pragma once
// The font sample's text loops on a bare drawing surface, so the picture
// can be checked with and without the repeated-line shortcut.

#include <cstdint>

class DrawingSurface;

// Prints rows of the sample text in white at 10 points: lines from y = 10
// while y < H - 10, copies from x = 5 while x < W - 30. With
// copyRepeatedLines, a line whose top lies a whole number of pixels below
// the first one is copied from the first line's pixel rows instead of
// being drawn again, where that gives the same pixels; the text position
// ends where the loops leave it either way. Expects a surface cleared to
// black, as the dispatcher leaves it. Returns the number of lines copied.
int PrintFontSample(DrawingSurface& surface, int16_t width, int16_t height, bool copyRepeatedLines);
