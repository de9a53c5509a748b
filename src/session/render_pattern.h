#pragma once
// One pattern painted into an image, with no window: the one path the
// export, the tests and the benchmarks share with the pattern window.

#include <QImage>
#include <QSize>

#include <cstdint>

// The picture of pattern `number` (1..67, 101..127) at `size` device
// pixels, as the pattern window shows it the moment `PaintPattern` has
// painted it after start-up on a screen of that size: the first frame of
// an animated pattern, the cross-hair before any mouse press. `logicalDpi` turns the
// font sample's point sizes into pixels. Sets `SessionState` up as at
// start-up; a painter's run-time error propagates.
QImage RenderPattern(int16_t number, QSize size, qreal logicalDpi = 96.0);
