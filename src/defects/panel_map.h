#pragma once
// A picture of the panel with every marked fault drawn and numbered: a
// reduced picture of the panel area, point faults as crosses, circles and
// dots by type, line defects as lines across the panel, and a heading
// with the panel, the mode and the verdict.

#include "defects/defect_record.h"

#include <QImage>

// Longest sides of the panel area on the map, in map pixels.
constexpr int kMapWidth = 960;
constexpr int kMapHeight = 600;

QImage PaintPanelMap(const DefectRecord& record);
