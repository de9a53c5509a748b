#pragma once
// The painting branches of `PaintPattern` and the animation timers' tick
// handlers. A still painter draws a finished picture from the screen's
// extents through the drawing surface alone; only the moving block, the
// flashing box and the cross-hair see the form, for its timers and its
// read-out label. The dispatcher's table names the painter of every
// pattern number with its arguments.

#include <QtGlobal>
#include <QtGui/qrgb.h>

#include <cstdint>
#include <span>

class DrawingSurface;
class PatternForm;

// patterns/static/solid_fields.cpp: the whole window in `field`.
void PaintSolidField(DrawingSurface& s, int16_t w, int16_t h, QRgb field);

// patterns/static/bands.cpp
void PaintColourBars(DrawingSurface& s, int16_t w, int16_t h);
// 64 bands of levels 3, 7, ..., 255 in the channels `channels` selects
// (0xffffff grey, 0xff0000 red, ...).
void PaintRamp(DrawingSurface& s, int16_t w, int16_t h, QRgb channels);

// patterns/static/frame_rasters.cpp
void PaintEdgeFrame(DrawingSurface& s, int16_t w, int16_t h);
void PaintHorizontalRaster(DrawingSurface& s, int16_t w, int16_t h);
void PaintVerticalRaster(DrawingSurface& s, int16_t w, int16_t h);

// patterns/static/quadrants_windows.cpp. A `field` of 0 (no alpha) keeps
// the black background the dispatcher's reset leaves.
void PaintQuadrants(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb box);
void PaintCentreWindow(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb box);

// patterns/dynamic/font_sample.cpp
void PaintFontSample(DrawingSurface& s, int16_t w, int16_t h);

// patterns/dynamic/grids_circles.cpp
void PaintThirdsGrid(DrawingSurface& s, int16_t w, int16_t h);
void PaintQuartersGridWithDiscs(DrawingSurface& s, int16_t w, int16_t h);

// patterns/static/tiled.cpp: the extended patterns made of a few rows
// that repeat. Cells of cellWidth x cellHeight pixels from the top-left
// corner (0: the whole width or height), `even` where the cell's column
// plus its row is even, else `odd`: inversion patterns and checkerboards.
void PaintCheckerboard(DrawingSurface& s, int16_t w, int16_t h, QRgb even, QRgb odd, int cellWidth, int cellHeight);
// Five columns of line pairs (grey 255 on even rows, 0 on odd rows), each
// with a solid patch in the middle at its level of `patchLevels`.
void PaintGammaPatches(DrawingSurface& s, int16_t w, int16_t h, std::span<const uint8_t> patchLevels);

// patterns/static/windows_bars_points.cpp
// The field with a window over the middle half of each extent.
void PaintCrosstalkWindow(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb window);
// As many bars as levels, side by side, each a level in `channels`.
void PaintLevelBars(DrawingSurface& s, int16_t w, int16_t h, QRgb channels, std::span<const uint8_t> levels);
// The field with nine square outlines, three by three, at the centres of
// the sixths of each extent.
void PaintUniformityPoints(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb outline);

// patterns/dynamic/moving_block.cpp
void PaintFlashingBox(PatternForm& form, QRgb);
void PaintMovingBlock(PatternForm& form, QRgb block);
void Timer1_Timer(PatternForm& form);
void Timer2_Timer(PatternForm& form);

// patterns/dynamic/crosshair.cpp
void PaintCrosshair(PatternForm& form, QRgb);

// patterns/motion/frame_paced.cpp: pictures that advance one step per
// presented frame. Frame 0 is painted whole on the cleared surface; frame
// n > 0 repaints what differs from frame n - 1. `speed` is the motion
// block's step in pixels per frame.
void PaintFrameSkip(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int speed);
void PaintVsyncAlternation(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int speed);
void PaintMotionBlock(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int speed);
void PaintResponseToggle(DrawingSurface& s, int16_t w, int16_t h, quint64 frame, int speed);
