#pragma once
// The one record of values shared by the windows, the pattern dispatcher,
// the painters and the timers. It is zero at program start and lives for
// the whole run; everything reads and writes it on the GUI thread.

#include <QString>

#include <cstdint>
#include <optional>

// Booleans are 16-bit: -1 true, 0 false.
constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;

struct SessionStateRecord {
    int16_t PatternIndex = 0;   // current pattern, 1..68 or 101..127
    int16_t ColorR = 0;         // moving block colour, 0..255 each
    int16_t ColorG = 0;
    int16_t ColorB = 0;
    float BlockX = 0.0f;        // block position in pixels (fractional)
    float BlockY = 0.0f;
    float MouseX = 0.0f;        // last press/release position, plus 1
    float MouseY = 0.0f;
    int16_t ScreenWidthPx = 0;  // screen size in device pixels
    int16_t ScreenHeightPx = 0;
    int16_t AutoPlayOn = kFalse;
    QString AutoPlaySeconds;    // auto-play step as decimal text
    std::optional<int16_t> FarewellFrame; // empty until the farewell window loads
};

extern SessionStateRecord SessionState;

// Puts the record back to its start-of-program value (used between tests
// and before an export run).
void ResetSessionState();
