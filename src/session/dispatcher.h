#pragma once
// `PaintPattern`: the one operation that paints the pattern selected by
// `SessionState.PatternIndex`, and the table of the sequence's steps.

#include <QString>

#include <cstdint>
#include <span>

class PatternForm;

// Which painter draws a pattern number.
enum class PatternKind {
    SolidField,       // patterns/static/solid_fields
    Bands,            // patterns/static/bands
    FrameRaster,      // patterns/static/frame_rasters
    QuadrantWindow,   // patterns/static/quadrants_windows
    MovingBlock,      // patterns/dynamic/moving_block
    FontSample,       // patterns/dynamic/font_sample
    Crosshair,        // patterns/dynamic/crosshair
    GridCircles,      // patterns/dynamic/grids_circles
};

struct PatternInfo {
    int16_t number;
    PatternKind kind;
    const char* name; // short name for listings, e.g. "grey 128"
};

constexpr int16_t kPatternCount = 67;   // painted steps 1..67
constexpr int16_t kEndOfSequence = 68;  // wraps to 1

// The 67 painted steps, in order: entry i is pattern i + 1.
std::span<const PatternInfo> PatternTable();
// The entry of a pattern number 1..67, or nullptr.
const PatternInfo* FindPattern(int16_t number);

// Resets the window, programs auto-play and paints the current pattern.
void PaintPattern(PatternForm& form);
