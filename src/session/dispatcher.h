#pragma once
// `PaintPattern`: the one operation that paints the pattern selected by
// `SessionState.PatternIndex`, the table of the sequence's steps, and the
// wiring of the pattern window's timers to their tick handlers.

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

// One step of the sequence: its number, its short name and the painter
// that draws it with its arguments. Exactly one of `still`, `animated` and
// `paced` is set.
struct PatternInfo {
    int16_t number;
    const char* name; // for listings, e.g. "grey 128"
    StillPainter still = nullptr;
    FormPainter animated = nullptr;
    PacedPainter paced = nullptr; // advances once per presented frame
    QRgb first = 0;  // field colour, ramp channels, block colour
    QRgb second = 0; // box colour
    // Whether the picture stays as painted until the next pattern: no
    // timer changes it and it shows no label.
    bool isStill() const { return still != nullptr; }
};

constexpr int16_t kPatternCount = 67;   // painted steps 1..67
constexpr int16_t kEndOfSequence = 68;  // wraps to 1

// The 67 painted steps, in order: entry i is pattern i + 1.
std::span<const PatternInfo> PatternTable();
// The entry of a pattern number 1..67, or nullptr.
const PatternInfo* FindPattern(int16_t number);

// Resets the window, programs auto-play and paints the current pattern.
void PaintPattern(PatternForm& form);

// The pattern number one step forward from `current`: current + 1, or
// the next entry of the form's sequence when it has one.
int16_t NextPatternIndex(PatternForm& form, int16_t current);

// One step of the frame-paced picture on show, if any: the window calls it
// once per presented frame.
void StepMotion(PatternForm& form);

// Tick handler of `AutoPlay`: one step forward.
void AutoPlay_Timer(PatternForm& form);

// Connects the form's timers `Timer1`, `Timer2` and `AutoPlay` to their
// tick handlers; the form emits `changed` after each tick.
void ConnectPatternTimers(PatternForm& form);
