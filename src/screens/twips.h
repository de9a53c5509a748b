#pragma once
// Design measures of the splash and farewell windows are twips, 1/1440
// inch. On screen they become logical pixels through the screen's logical
// resolution: 15 twips to the pixel at 96 dpi, 12 at 120 dpi. Where Qt
// scales a 120 dpi screen to 96 logical dpi at a pixel ratio of 1.25, the
// window comes out the same size in device pixels.

#include "session/screen_metrics.h"

#include <QRect>
#include <QSize>

#include <cmath>

constexpr double kTwipsPerInch = 1440.0;

// One measure in twips as whole pixels, to the nearest pixel.
inline int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

inline QSize TwipsSize(int width, int height, double dpi) {
    return QSize(TwipsToPixels(width, dpi), TwipsToPixels(height, dpi));
}

// A control's rectangle from its left, top, width and height in twips.
inline QRect TwipsRect(int left, int top, int width, int height, double dpi) {
    return QRect(QPoint(TwipsToPixels(left, dpi), TwipsToPixels(top, dpi)), TwipsSize(width, height, dpi));
}
