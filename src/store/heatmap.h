#pragma once
// The picture --heatmap writes: the faults of many panels on one panel,
// 1000 pixels wide in the aspect of their most common mode, under a title
// that names the filter and the number of panels. Point faults (bright,
// dark, sub-pixel) are a density: each spreads over a few pixels around
// its place, and the colour rises in brightness from black through purple,
// red and orange to white where most faults lie. Row and column defects
// are thin cyan lines over it that add nothing to the density and stay
// darker than its brightest colour. Nothing in it depends on the clock:
// the same store gives the same picture.

#include "store/store_questions.h"

#include <QImage>
#include <QRect>
#include <QString>

constexpr int kHeatmapWidth = 1000;

// Where the panel lies in the picture of these figures.
QRect HeatmapPanelArea(const HeatmapFigures& figures);

// The picture; `filter` is the filter in words (FilterText).
QImage PaintHeatmap(const HeatmapFigures& figures, const QString& filter);
