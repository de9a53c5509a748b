#include "session/dispatcher.h"

#include "patterns/painters.h"
#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

#include <array>
#include <cstdint>

namespace {

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kGrey192 = qRgb(192, 192, 192);
// No alpha: the painter keeps the black field of the reset.
constexpr QRgb kKeepField = 0;
// The channels a ramp's levels go into.
constexpr QRgb kGreyChannels = 0xffffffu;
constexpr QRgb kRedChannel = 0xff0000u;
constexpr QRgb kGreenChannel = 0x00ff00u;
constexpr QRgb kBlueChannel = 0x0000ffu;

// The levels of the extended patterns, exactly as defined.
constexpr int kLit = 159; // a lit sub-pixel of the inversion patterns; dark is 0
constexpr QRgb kLitRedBlue = qRgb(kLit, 0, kLit); // sub-pixels 0 and 2 lit
constexpr QRgb kLitGreen = qRgb(0, kLit, 0);      // sub-pixel 1 lit
constexpr QRgb kLitGrey = qRgb(kLit, kLit, kLit);
constexpr QRgb kGrey128 = qRgb(128, 128, 128);
// The solid patches that match the line pairs at gamma 1.8, 2.0, 2.2, 2.4
// and 2.6.
constexpr std::array<uint8_t, 5> kGammaPatchLevels{174, 180, 186, 191, 195};
// Eight evenly spaced levels.
constexpr std::array<uint8_t, 8> kLevelSeries{0, 36, 73, 109, 146, 182, 219, 255};

// Adapters from the painters' own signatures to the table's.
void Field(DrawingSurface& s, int16_t w, int16_t h, QRgb field, QRgb) { PaintSolidField(s, w, h, field); }
void Ramp(DrawingSurface& s, int16_t w, int16_t h, QRgb channels, QRgb) { PaintRamp(s, w, h, channels); }
template <void (*Paint)(DrawingSurface&, int16_t, int16_t)>
void Plain(DrawingSurface& s, int16_t w, int16_t h, QRgb, QRgb) {
    Paint(s, w, h);
}
// Cells of CellWidth x CellHeight pixels (kWhole: the whole width or
// height), `even` where the cell's column plus row is even.
constexpr int kWhole = 0;
template <int CellWidth, int CellHeight>
void Checker(DrawingSurface& s, int16_t w, int16_t h, QRgb even, QRgb odd) {
    PaintCheckerboard(s, w, h, even, odd, CellWidth, CellHeight);
}
void GammaPatches(DrawingSurface& s, int16_t w, int16_t h, QRgb, QRgb) {
    PaintGammaPatches(s, w, h, kGammaPatchLevels);
}
void LevelBars(DrawingSurface& s, int16_t w, int16_t h, QRgb channels, QRgb) {
    PaintLevelBars(s, w, h, channels, kLevelSeries);
}

struct How {
    StillPainter still = nullptr;
    FormPainter animated = nullptr;
    QRgb first = 0;
    QRgb second = 0;
};

// "classic-01" to "classic-67", the ids of the classic steps.
constexpr auto kClassicIds = [] {
    std::array<std::array<char, 11>, kPatternCount> ids{};
    for (int n = 1; n <= kPatternCount; ++n) {
        std::array<char, 11>& id = ids[static_cast<size_t>(n - 1)];
        const char prefix[] = "classic-";
        for (size_t i = 0; i < 8; ++i) id[i] = prefix[i];
        id[8] = static_cast<char>('0' + n / 10);
        id[9] = static_cast<char>('0' + n % 10);
        id[10] = '\0';
    }
    return ids;
}();

// A step of the classic sequence, its id made from its number.
constexpr PatternInfo Row(int16_t number, const char* name, How how) {
    const char* id = kClassicIds[static_cast<size_t>(number - 1)].data();
    return PatternInfo{number, name, how.still, how.animated, how.first, how.second, id};
}
// An extended pattern, with the id it is known by.
constexpr PatternInfo Extended(int16_t number, const char* id, const char* name, How how) {
    return PatternInfo{number, name, how.still, how.animated, how.first, how.second, id};
}

// A frame-paced pattern, with the id it is known by.
constexpr PatternInfo Motion(int16_t number, const char* id, const char* name, PacedPainter paced) {
    return PatternInfo{number, name, nullptr, nullptr, 0, 0, id, paced};
}

constexpr int kExtendedCount = kLastMotionPattern - kFirstExtendedPattern + 1;

constexpr std::array<PatternInfo, kPatternCount + kExtendedCount> kTable{{
    Row(1, "black", {.still = Field, .first = kBlack}),
    Row(2, "colour bars", {.still = Plain<PaintColourBars>}),
    Row(3, "edge frame", {.still = Plain<PaintEdgeFrame>}),
    Row(4, "red", {.still = Field, .first = qRgb(255, 0, 0)}),
    Row(5, "green", {.still = Field, .first = qRgb(0, 255, 0)}),
    Row(6, "blue", {.still = Field, .first = qRgb(0, 0, 255)}),
    Row(7, "white", {.still = Field, .first = kWhite}),
    Row(8, "black", {.still = Field, .first = kBlack}),
    Row(9, "grey 63", {.still = Field, .first = qRgb(63, 63, 63)}),
    Row(10, "grey 95", {.still = Field, .first = qRgb(95, 95, 95)}),
    Row(11, "grey 128", {.still = Field, .first = qRgb(128, 128, 128)}),
    Row(12, "grey 192", {.still = Field, .first = kGrey192}),
    Row(13, "white", {.still = Field, .first = kWhite}),
    Row(14, "black", {.still = Field, .first = kBlack}),
    Row(15, "red 63", {.still = Field, .first = qRgb(63, 0, 0)}),
    Row(16, "red 95", {.still = Field, .first = qRgb(95, 0, 0)}),
    Row(17, "red 128", {.still = Field, .first = qRgb(128, 0, 0)}),
    Row(18, "red 192", {.still = Field, .first = qRgb(192, 0, 0)}),
    Row(19, "red 255", {.still = Field, .first = qRgb(255, 0, 0)}),
    Row(20, "black", {.still = Field, .first = kBlack}),
    Row(21, "green 63", {.still = Field, .first = qRgb(0, 63, 0)}),
    Row(22, "green 95", {.still = Field, .first = qRgb(0, 95, 0)}),
    Row(23, "green 128", {.still = Field, .first = qRgb(0, 128, 0)}),
    Row(24, "green 192", {.still = Field, .first = qRgb(0, 192, 0)}),
    Row(25, "green 255", {.still = Field, .first = qRgb(0, 255, 0)}),
    Row(26, "black", {.still = Field, .first = kBlack}),
    Row(27, "blue 63", {.still = Field, .first = qRgb(0, 0, 63)}),
    Row(28, "blue 95", {.still = Field, .first = qRgb(0, 0, 95)}),
    Row(29, "blue 128", {.still = Field, .first = qRgb(0, 0, 128)}),
    Row(30, "blue 192", {.still = Field, .first = qRgb(0, 0, 192)}),
    Row(31, "blue 255", {.still = Field, .first = qRgb(0, 0, 255)}),
    Row(32, "dark grey 1", {.still = Field, .first = qRgb(1, 1, 1)}),
    Row(33, "dark grey 2", {.still = Field, .first = qRgb(2, 2, 2)}),
    Row(34, "dark grey 4", {.still = Field, .first = qRgb(4, 4, 4)}),
    Row(35, "dark grey 8", {.still = Field, .first = qRgb(8, 8, 8)}),
    Row(36, "dark grey 16", {.still = Field, .first = qRgb(16, 16, 16)}),
    Row(37, "dark grey 32", {.still = Field, .first = qRgb(32, 32, 32)}),
    Row(38, "grey 64", {.still = Field, .first = qRgb(64, 64, 64)}),
    Row(39, "grey 128", {.still = Field, .first = qRgb(128, 128, 128)}),
    Row(40, "white", {.still = Field, .first = kWhite}),
    Row(41, "black", {.still = Field, .first = kBlack}),
    Row(42, "grey ramp, 64 steps", {.still = Ramp, .first = kGreyChannels}),
    Row(43, "red ramp, 64 steps", {.still = Ramp, .first = kRedChannel}),
    Row(44, "green ramp, 64 steps", {.still = Ramp, .first = kGreenChannel}),
    Row(45, "blue ramp, 64 steps", {.still = Ramp, .first = kBlueChannel}),
    Row(46, "quadrants, black on white", {.still = PaintQuadrants, .first = kWhite, .second = kBlack}),
    Row(47, "quadrants, white on black", {.still = PaintQuadrants, .first = kKeepField, .second = kWhite}),
    Row(48, "black", {.still = Field, .first = kBlack}),
    Row(49, "horizontal lines, every third row", {.still = Plain<PaintHorizontalRaster>}),
    Row(50, "black", {.still = Field, .first = kBlack}),
    Row(51, "vertical lines, every third column", {.still = Plain<PaintVerticalRaster>}),
    Row(52, "black", {.still = Field, .first = kBlack}),
    Row(53, "black window on grey 192", {.still = PaintCentreWindow, .first = kGrey192, .second = kBlack}),
    Row(54, "black", {.still = Field, .first = kBlack}),
    Row(55, "black window on white", {.still = PaintCentreWindow, .first = kWhite, .second = kBlack}),
    Row(56, "white window on grey 192", {.still = PaintCentreWindow, .first = kGrey192, .second = kWhite}),
    Row(57, "flashing box", {.animated = PaintFlashingBox}),
    Row(58, "black rest screen", {.still = Field, .first = kBlack}),
    Row(59, "white moving block", {.animated = PaintMovingBlock, .first = kWhite}),
    Row(60, "red moving block", {.animated = PaintMovingBlock, .first = qRgb(255, 0, 0)}),
    Row(61, "green moving block", {.animated = PaintMovingBlock, .first = qRgb(0, 255, 0)}),
    Row(62, "blue moving block", {.animated = PaintMovingBlock, .first = qRgb(0, 0, 255)}),
    Row(63, "black rest screen", {.still = Field, .first = kBlack}),
    Row(64, "font sample", {.still = Plain<PaintFontSample>}),
    Row(65, "cross-hair with read-out", {.animated = PaintCrosshair}),
    Row(66, "3 by 3 grid", {.still = Plain<PaintThirdsGrid>}),
    Row(67, "4 by 4 grid with discs", {.still = Plain<PaintQuartersGridWithDiscs>}),

    // Polarity inversion: each pattern lights only the sub-pixels that one
    // inversion scheme drives with the same polarity in a frame; phases A
    // and B swap lit and dark.
    Extended(101, "inversion-dot-a", "dot inversion, phase A",
             {.still = Checker<1, 1>, .first = kLitRedBlue, .second = kLitGreen}),
    Extended(102, "inversion-dot-b", "dot inversion, phase B",
             {.still = Checker<1, 1>, .first = kLitGreen, .second = kLitRedBlue}),
    Extended(103, "inversion-column-a", "column inversion, phase A",
             {.still = Checker<1, kWhole>, .first = kLitRedBlue, .second = kLitGreen}),
    Extended(104, "inversion-column-b", "column inversion, phase B",
             {.still = Checker<1, kWhole>, .first = kLitGreen, .second = kLitRedBlue}),
    Extended(105, "inversion-row-a", "row inversion, phase A",
             {.still = Checker<kWhole, 1>, .first = kLitGrey, .second = kBlack}),
    Extended(106, "inversion-row-b", "row inversion, phase B",
             {.still = Checker<kWhole, 1>, .first = kBlack, .second = kLitGrey}),
    Extended(107, "inversion-2dot-a", "2-dot inversion, phase A",
             {.still = Checker<1, 2>, .first = kLitRedBlue, .second = kLitGreen}),
    Extended(108, "inversion-2dot-b", "2-dot inversion, phase B",
             {.still = Checker<1, 2>, .first = kLitGreen, .second = kLitRedBlue}),
    Extended(109, "crosstalk-field", "crosstalk field, grey 128", {.still = Field, .first = kGrey128}),
    Extended(110, "crosstalk-white", "crosstalk, white window",
             {.still = PaintCrosstalkWindow, .first = kGrey128, .second = kWhite}),
    Extended(111, "crosstalk-black", "crosstalk, black window",
             {.still = PaintCrosstalkWindow, .first = kGrey128, .second = kBlack}),
    Extended(112, "gamma", "gamma line pairs and patches", {.still = GammaPatches}),
    Extended(113, "levels-grey", "grey levels, 8 bars", {.still = LevelBars, .first = kGreyChannels}),
    Extended(114, "levels-red", "red levels, 8 bars", {.still = LevelBars, .first = kRedChannel}),
    Extended(115, "levels-green", "green levels, 8 bars", {.still = LevelBars, .first = kGreenChannel}),
    Extended(116, "levels-blue", "blue levels, 8 bars", {.still = LevelBars, .first = kBlueChannel}),
    Extended(117, "cyan", "cyan", {.still = Field, .first = qRgb(0, 255, 255)}),
    Extended(118, "magenta", "magenta", {.still = Field, .first = qRgb(255, 0, 255)}),
    Extended(119, "yellow", "yellow", {.still = Field, .first = qRgb(255, 255, 0)}),
    Extended(120, "uniformity-white", "uniformity points on white",
             {.still = PaintUniformityPoints, .first = kWhite, .second = kBlack}),
    Extended(121, "uniformity-grey", "uniformity points on grey 128",
             {.still = PaintUniformityPoints, .first = kGrey128, .second = kWhite}),
    Extended(122, "checker-1", "pixel checkerboard", {.still = Checker<1, 1>, .first = kWhite, .second = kBlack}),
    Extended(123, "checker-2", "2 by 2 checkerboard", {.still = Checker<2, 2>, .first = kWhite, .second = kBlack}),
    Motion(124, "frame-skip", "frame skip, eight cells in turn", PaintFrameSkip),
    Motion(125, "vsync-alternation", "red and cyan on alternate frames", PaintVsyncAlternation),
    Motion(126, "motion-block", "white square moving over grey", PaintMotionBlock),
    Motion(127, "response-toggle", "four frames white, four black", PaintResponseToggle),
}};

// The groups, in the order listings show them. A group and a pattern may
// share a name ("gamma"): they name the same pattern.
constexpr PatternGroup kGroups[] = {
    {"classic", 1, kPatternCount},
    {"extended", kFirstExtendedPattern, kLastExtendedPattern},
    {"inversion", 101, 108},
    {"crosstalk", 109, 111},
    {"gamma", 112, 112},
    {"levels", 113, 116},
    {"cmy", 117, 119},
    {"uniformity", 120, 121},
    {"checker", 122, 123},
    {"motion", kFirstMotionPattern, kLastMotionPattern},
};

// The classic steps are rows 0..66, numbered from 1; the extended
// patterns follow, numbered from 101 without a gap.
constexpr int16_t NumberOfRow(size_t i) {
    return static_cast<int16_t>(i < kPatternCount ? i + 1 : kFirstExtendedPattern + (i - kPatternCount));
}
constexpr bool TableIsInOrder() {
    for (size_t i = 0; i < kTable.size(); ++i)
        if (kTable[i].number != NumberOfRow(i)) return false;
    return true;
}
static_assert(TableIsInOrder(), "entry i must be pattern i + 1, then 101, 102, ... without a gap");
constexpr bool IsNumberOfTheTable(int n) {
    return (n >= 1 && n <= kPatternCount) || (n >= kFirstExtendedPattern && n <= kLastMotionPattern);
}
constexpr bool GroupsAreInTheTable() {
    for (const PatternGroup& g : kGroups)
        if (g.first > g.last || !IsNumberOfTheTable(g.first) || !IsNumberOfTheTable(g.last)) return false;
    return true;
}
static_assert(GroupsAreInTheTable(), "every group is a run of the table's numbers");

} // namespace

std::span<const PatternInfo> PatternTable() { return std::span(kTable).first(kPatternCount); }

std::span<const PatternInfo> AllPatterns() { return kTable; }

std::span<const PatternGroup> PatternGroups() { return kGroups; }

const PatternInfo* FindPattern(int16_t number) {
    if (!IsNumberOfTheTable(number)) return nullptr;
    const int row = number <= kPatternCount ? number - 1 : kPatternCount + number - kFirstExtendedPattern;
    return &kTable[static_cast<size_t>(row)];
}

void PaintPattern(PatternForm& form) {
    DrawingSurface& s = form.surface();

    // Reset what a previous pattern may have left behind.
    s.setFillStyle(DrawingSurface::FillStyle::Transparent);
    form.Cursor.Visible = false;
    form.Motion = nullptr;
    form.MotionFrame = 0;
    ++form.PatternsPainted;
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
        if (p->still) p->still(s, SessionState.ScreenWidthPx, SessionState.ScreenHeightPx, p->first, p->second);
        else if (p->paced) {
            form.Motion = p->paced;
            p->paced(s, SessionState.ScreenWidthPx, SessionState.ScreenHeightPx, 0, form.MotionSpeed);
        } else p->animated(form, p->first);
        return;
    }
    SessionState.PatternIndex = 1;
}

int16_t NextPatternIndex(PatternForm& form, int16_t current) {
    if (form.Sequence.empty()) return numeric::Add16(current, 1);
    form.SequenceStep = (form.SequenceStep + 1) % form.Sequence.size();
    return form.Sequence[form.SequenceStep];
}

void StepMotion(PatternForm& form) {
    if (!form.Motion) return;
    ++form.MotionFrame;
    form.Motion(form.surface(), SessionState.ScreenWidthPx, SessionState.ScreenHeightPx, form.MotionFrame,
                form.MotionSpeed);
}

int16_t PreviousPatternIndex(PatternForm& form, int16_t current) {
    if (form.Sequence.empty())
        return current > 1 && current <= kPatternCount ? static_cast<int16_t>(current - 1) : kPatternCount;
    const size_t n = form.Sequence.size();
    form.SequenceStep = (form.SequenceStep % n + n - 1) % n;
    return form.Sequence[form.SequenceStep];
}

int16_t FirstPatternIndex(PatternForm& form) {
    form.SequenceStep = 0;
    return form.Sequence.empty() ? int16_t{1} : form.Sequence.front();
}

void AutoPlay_Timer(PatternForm& form) {
    SessionState.PatternIndex = NextPatternIndex(form, SessionState.PatternIndex);
    PaintPattern(form);
}

void ConnectPatternTimers(PatternForm& form) {
    QObject::connect(&form.Timer1, &FormTimer::tick, &form, [&form] {
        Timer1_Timer(form);
        Q_EMIT form.changed();
    });
    QObject::connect(&form.Timer2, &FormTimer::tick, &form, [&form] {
        Timer2_Timer(form);
        Q_EMIT form.changed();
    });
    QObject::connect(&form.AutoPlay, &FormTimer::tick, &form, [&form] {
        AutoPlay_Timer(form);
        Q_EMIT form.changed();
    });
}
