#pragma once
// The pointer coordinate read-out shared by the pattern window's pointer
// handlers: the `Cursor` label's caption, placement and text colour for a
// pixel (x, y) of the window, and the cross-hair drawn through it on the
// cross-hair pattern.

#include <QString>

class PatternForm;
struct CursorLabel;

// "( x+1 , y+1 )": the pixel counted from 1, each number in its shortest
// decimal form.
QString ReadoutCaption(float x, float y);

// Sets the caption for (x, y).
void SetReadoutText(CursorLabel& label, float x, float y);

// Puts the label 5 pixels right of and below (x, y) in the top-left
// quarter of the screen; in the right half its left edge goes 77 pixels
// left of x, in the bottom half its top edge 20 pixels above y. The
// halves are strict: the middle column and row count as right and bottom.
void PlaceReadout(CursorLabel& label, float x, float y);

// White text, or black when the window pixel at (x, y) is exactly white.
void ApplyReadoutContrast(PatternForm& form, float x, float y);

// Clears the window and draws a white vertical and horizontal line over
// the whole screen through (x, y); the label's text turns white.
void DrawReadoutCrosshair(PatternForm& form, float x, float y);
