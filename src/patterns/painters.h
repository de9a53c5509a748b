#pragma once
// The painting branches of `PaintPattern`, one unit per family of
// patterns, and the animation timers' tick handlers. Each painter draws
// through the form's drawing surface only; `pattern` is the number the
// dispatcher selected.

#include <cstdint>

class PatternForm;

// patterns/static/solid_fields.cpp
void PaintSolidField(PatternForm& form, int16_t pattern);
// patterns/static/bands.cpp: colour bars (2) and ramps (42..45)
void PaintBands(PatternForm& form, int16_t pattern);
// patterns/static/frame_rasters.cpp: edge frame (3), rasters (49, 51)
void PaintFrameRaster(PatternForm& form, int16_t pattern);
// patterns/static/quadrants_windows.cpp: 46, 47, 53, 55, 56
void PaintQuadrantWindow(PatternForm& form, int16_t pattern);
// patterns/dynamic/moving_block.cpp: 57..63
void PaintMovingBlock(PatternForm& form, int16_t pattern);
void Timer1_Timer(PatternForm& form);
void Timer2_Timer(PatternForm& form);
// patterns/dynamic/font_sample.cpp: 64
void PaintFontSample(PatternForm& form, int16_t pattern);
// patterns/dynamic/crosshair.cpp: 65
void PaintCrosshair(PatternForm& form, int16_t pattern);
// patterns/dynamic/grids_circles.cpp: 66, 67
void PaintGridCircles(PatternForm& form, int16_t pattern);
