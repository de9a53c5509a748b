#include "session/dispatcher.h"

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

#include <array>

namespace {

using K = PatternKind;

constexpr std::array<PatternInfo, kPatternCount> kTable{{
    {1, K::SolidField, "black"},
    {2, K::Bands, "colour bars"},
    {3, K::FrameRaster, "edge frame"},
    {4, K::SolidField, "red"},
    {5, K::SolidField, "green"},
    {6, K::SolidField, "blue"},
    {7, K::SolidField, "white"},
    {8, K::SolidField, "black"},
    {9, K::SolidField, "grey 63"},
    {10, K::SolidField, "grey 95"},
    {11, K::SolidField, "grey 128"},
    {12, K::SolidField, "grey 192"},
    {13, K::SolidField, "white"},
    {14, K::SolidField, "black"},
    {15, K::SolidField, "red 63"},
    {16, K::SolidField, "red 95"},
    {17, K::SolidField, "red 128"},
    {18, K::SolidField, "red 192"},
    {19, K::SolidField, "red 255"},
    {20, K::SolidField, "black"},
    {21, K::SolidField, "green 63"},
    {22, K::SolidField, "green 95"},
    {23, K::SolidField, "green 128"},
    {24, K::SolidField, "green 192"},
    {25, K::SolidField, "green 255"},
    {26, K::SolidField, "black"},
    {27, K::SolidField, "blue 63"},
    {28, K::SolidField, "blue 95"},
    {29, K::SolidField, "blue 128"},
    {30, K::SolidField, "blue 192"},
    {31, K::SolidField, "blue 255"},
    {32, K::SolidField, "dark grey 1"},
    {33, K::SolidField, "dark grey 2"},
    {34, K::SolidField, "dark grey 4"},
    {35, K::SolidField, "dark grey 8"},
    {36, K::SolidField, "dark grey 16"},
    {37, K::SolidField, "dark grey 32"},
    {38, K::SolidField, "grey 64"},
    {39, K::SolidField, "grey 128"},
    {40, K::SolidField, "white"},
    {41, K::SolidField, "black"},
    {42, K::Bands, "grey ramp, 64 steps"},
    {43, K::Bands, "red ramp, 64 steps"},
    {44, K::Bands, "green ramp, 64 steps"},
    {45, K::Bands, "blue ramp, 64 steps"},
    {46, K::QuadrantWindow, "quadrants, black on white"},
    {47, K::QuadrantWindow, "quadrants, white on black"},
    {48, K::SolidField, "black"},
    {49, K::FrameRaster, "horizontal lines, every third row"},
    {50, K::SolidField, "black"},
    {51, K::FrameRaster, "vertical lines, every third column"},
    {52, K::SolidField, "black"},
    {53, K::QuadrantWindow, "black window on grey 192"},
    {54, K::SolidField, "black"},
    {55, K::QuadrantWindow, "black window on white"},
    {56, K::QuadrantWindow, "white window on grey 192"},
    {57, K::MovingBlock, "flashing box"},
    {58, K::MovingBlock, "black rest screen"},
    {59, K::MovingBlock, "white moving block"},
    {60, K::MovingBlock, "red moving block"},
    {61, K::MovingBlock, "green moving block"},
    {62, K::MovingBlock, "blue moving block"},
    {63, K::MovingBlock, "black rest screen"},
    {64, K::FontSample, "font sample"},
    {65, K::Crosshair, "cross-hair with read-out"},
    {66, K::GridCircles, "3 by 3 grid"},
    {67, K::GridCircles, "4 by 4 grid with discs"},
}};

constexpr bool TableIsInOrder() {
    for (size_t i = 0; i < kTable.size(); ++i)
        if (kTable[i].number != static_cast<int16_t>(i + 1)) return false;
    return true;
}
static_assert(TableIsInOrder(), "entry i must be pattern i + 1");

void RunBranch(PatternForm& form, const PatternInfo& p) {
    switch (p.kind) {
    case K::SolidField: PaintSolidField(form, p.number); break;
    case K::Bands: PaintBands(form, p.number); break;
    case K::FrameRaster: PaintFrameRaster(form, p.number); break;
    case K::QuadrantWindow: PaintQuadrantWindow(form, p.number); break;
    case K::MovingBlock: PaintMovingBlock(form, p.number); break;
    case K::FontSample: PaintFontSample(form, p.number); break;
    case K::Crosshair: PaintCrosshair(form, p.number); break;
    case K::GridCircles: PaintGridCircles(form, p.number); break;
    }
}

} // namespace

std::span<const PatternInfo> PatternTable() { return kTable; }

const PatternInfo* FindPattern(int16_t number) {
    if (number < 1 || number > kPatternCount) return nullptr;
    return &kTable[static_cast<size_t>(number - 1)];
}

void PaintPattern(PatternForm& form) {
    DrawingSurface& s = form.surface();

    // Reset what a previous pattern may have left behind.
    s.setFillStyle(DrawingSurface::FillStyle::Transparent);
    form.Cursor.Visible = false;
    form.Timer1.setEnabled(false);
    form.Timer2.setEnabled(false);
    SessionState.ColorR = 0;
    SessionState.ColorG = 0;
    SessionState.ColorB = 0;
    s.clear();
    s.setBackColor(qRgb(0, 0, 0));

    // Auto-play: only the exact value -1 counts as on.
    if (SessionState.AutoPlayOn == kTrue) {
        const double seconds = numeric::TextToNumber(SessionState.AutoPlaySeconds);
        form.AutoPlay.setInterval(numeric::Round32(seconds * 1000.0));
        form.AutoPlay.setEnabled(true);
    } else {
        form.AutoPlay.setEnabled(false);
    }

    const int16_t index = SessionState.PatternIndex;
    if (index == kEndOfSequence) {
        // End of the sequence: the inner call finds 69 invalid and resets to 1.
        SessionState.PatternIndex = kEndOfSequence + 1;
        PaintPattern(form);
        return;
    }
    if (const PatternInfo* p = FindPattern(index)) {
        RunBranch(form, *p);
        return;
    }
    SessionState.PatternIndex = 1;
}
