#pragma once
// `PaintPattern`: the one operation that paints the pattern selected by
// `SessionState.PatternIndex`, the table of the patterns (the classic
// sequence's 67 steps and the extended patterns from 101) with their
// groups, and the wiring of the pattern window's timers to their tick
// handlers.

#include "session/pattern_form.h"

#include <QtGui/qrgb.h>

#include <cstdint>
#include <span>

class DrawingSurface;
class PatternForm;

// A still picture, drawn in one go from the screen's extents.
using StillPainter = void (*)(DrawingSurface& surface, int16_t w, int16_t h, QRgb first, QRgb second);
// A picture that uses the form: its timers or its read-out label.
using FormPainter = void (*)(PatternForm& form, QRgb colour);

// One row of the table: its number, its short name, the painter that
// draws it with its arguments, and its stable id. Exactly one of `still`,
// `animated` and `paced` is set.
struct PatternInfo {
    int16_t number;
    const char* name; // for listings, e.g. "grey 128"
    StillPainter still = nullptr;
    FormPainter animated = nullptr;
    QRgb first = 0;  // field colour, ramp channels, block colour
    QRgb second = 0; // box colour
    const char* id = nullptr; // "classic-11", "inversion-dot-a": names it for good
    PacedPainter paced = nullptr; // advances once per presented frame
    // Whether the picture stays as painted until the next pattern: no
    // timer changes it and it shows no label.
    bool isStill() const { return still != nullptr; }
};

constexpr int16_t kPatternCount = 67;   // painted steps 1..67
constexpr int16_t kEndOfSequence = 68;  // wraps to 1
// The extended patterns, beyond the classic sequence, which only a
// sequence of the operator's own (or an export) shows.
constexpr int16_t kFirstExtendedPattern = 101;
constexpr int16_t kLastExtendedPattern = 123;
// The frame-paced patterns follow them, the last rows of the table.
constexpr int16_t kFirstMotionPattern = 124;
constexpr int16_t kLastMotionPattern = 127;

// The 67 painted steps, in order: entry i is pattern i + 1.
std::span<const PatternInfo> PatternTable();
// Every row of the table: the 67 steps, then the extended patterns in
// the order of their numbers.
std::span<const PatternInfo> AllPatterns();
// The row of a pattern number (1..67, 101..127), or nullptr.
const PatternInfo* FindPattern(int16_t number);

// A named run of patterns: those of the table numbered first to last.
struct PatternGroup {
    const char* name; // "classic", "inversion", ...
    int16_t first;
    int16_t last;
};
// The groups an operator can name instead of numbers.
std::span<const PatternGroup> PatternGroups();

// Resets the window, programs auto-play and paints the current pattern.
void PaintPattern(PatternForm& form);

// The pattern number one step forward from `current`: current + 1, or
// the next entry of the form's sequence when it has one.
int16_t NextPatternIndex(PatternForm& form, int16_t current);
// One step back: current - 1, from 1 (or anything outside 1..67) to 67;
// with a sequence, its previous entry, from the first to the last.
int16_t PreviousPatternIndex(PatternForm& form, int16_t current);
// The first entry: pattern 1, or the first entry of the form's sequence.
int16_t FirstPatternIndex(PatternForm& form);

// One step of the frame-paced picture on show, if any: the window calls it
// once per presented frame.
void StepMotion(PatternForm& form);

// Tick handler of `AutoPlay`: one step forward.
void AutoPlay_Timer(PatternForm& form);

// Connects the form's timers `Timer1`, `Timer2` and `AutoPlay` to their
// tick handlers; the form emits `changed` after each tick.
void ConnectPatternTimers(PatternForm& form);
