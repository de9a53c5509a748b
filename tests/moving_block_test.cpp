// Flashing box, rest screens and moving blocks with their timer ticks.

#include "support.h"
#include "patterns/painters.h"
#include "session/numeric.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <algorithm>
#include <vector>

using namespace test;

namespace {

// The block's square at x (whole pixels here), clipped to the screen.
QRect BlockRect(PatternForm& form, float x) {
    const int y = DrawingSurface::toPixel(SessionState.BlockY);
    return QRect(DrawingSurface::toPixel(x), y, 50, 50) & Whole(form);
}

struct BlockRun {
    int16_t w, h, pattern;
    QRgb colour;
    int peak; // rightmost BlockX reached
};

class MovingBlockRun : public ::testing::TestWithParam<BlockRun> {};

} // namespace

TEST_P(MovingBlockRun, TravelsRightTurnsAndComesBackTouchingOnlyTwoSquaresPerTick) {
    const BlockRun run = GetParam();
    auto form = PaintOn(run.w, run.h, run.pattern);
    ASSERT_TRUE(form->Timer1.enabled());
    EXPECT_FALSE(form->Timer2.enabled());
    EXPECT_EQ(form->Timer1.Tag, "0");
    EXPECT_EQ(SessionState.BlockX, 0.0f);
    EXPECT_EQ(Px(*form, 25, run.h / 2 + 25), run.colour);
    form->surface().takeDirty();

    // 0, 50, ..., peak, peak - 50, ..., 0, then right again.
    std::vector<int> expected;
    for (int x = 50; x <= run.peak; x += 50) expected.push_back(x);
    for (int x = run.peak - 50; x >= 0; x -= 50) expected.push_back(x);
    expected.push_back(50);
    expected.push_back(100);

    const float startY = SessionState.BlockY;
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "tick " << i + 1);
        const float before = SessionState.BlockX;
        Timer1_Timer(*form);
        const float x = SessionState.BlockX;
        ASSERT_EQ(x, static_cast<float>(expected[i]));
        EXPECT_EQ(SessionState.BlockY, startY);

        // Only the old and the new square are touched.
        const QRect old = BlockRect(*form, before), now = BlockRect(*form, x);
        const QRect dirty = form->surface().takeDirty();
        EXPECT_EQ(dirty, old | now);
        EXPECT_LE(static_cast<long>(dirty.width()) * dirty.height(), 2L * 50 * 50);

        // The screen shows the block alone, in its colour.
        const long visible = static_cast<long>(now.width()) * now.height();
        EXPECT_EQ(Count(*form, now, [&](QRgb c) { return c == run.colour; }), visible);
        EXPECT_EQ(CountNonBlack(*form, Whole(*form)), visible);
    }
    // The tag follows the direction: "1" on the way back, "0" again from
    // the tick that reaches x = 0.
    EXPECT_EQ(form->Timer1.Tag, "0");
}

INSTANTIATE_TEST_SUITE_P(
    Screens, MovingBlockRun,
    ::testing::Values(BlockRun{800, 600, 60, 0xff0000u, 750},   // turns without leaving the screen
                      BlockRun{1024, 768, 59, 0xffffffu, 1000}, // 26 pixels past the right edge at 1000
                      BlockRun{1024, 768, 61, 0x00ff00u, 1000},
                      BlockRun{640, 480, 62, 0x0000ffu, 600}));

TEST(MovingBlock, TurnAndResetTicksSetTheTags) {
    auto form = PaintOn(800, 600, 59);
    struct Step {
        float x;
        const char* tag;
        float nextX;
        const char* nextTag;
    };
    const Step steps[] = {
        {700.0f, "0", 750.0f, "0"}, // still below W - 50
        {750.0f, "0", 700.0f, "1"}, // at the limit: turns and moves in the same tick
        {780.0f, "0", 730.0f, "1"}, // past the limit
        {100.0f, "1", 50.0f, "1"},
        {50.0f, "1", 0.0f, "0"},    // reaching 0 resets the tag
        {0.0f, "0", 50.0f, "0"},
        {20.0f, "1", -30.0f, "0"},  // below 0 resets it as well
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "from " << s.x << " tag " << s.tag);
        SessionState.BlockX = s.x;
        form->Timer1.Tag = QString::fromLatin1(s.tag);
        Timer1_Timer(*form);
        EXPECT_EQ(SessionState.BlockX, s.nextX);
        EXPECT_EQ(form->Timer1.Tag, QString::fromLatin1(s.nextTag));
    }
}

TEST(MovingBlock, TagsAreReadAsNumbers) {
    auto form = PaintOn(800, 600, 59);
    form->Timer1.Tag = QStringLiteral(" 0 ");
    Timer1_Timer(*form);
    EXPECT_EQ(SessionState.BlockX, 50.0f);
    form->Timer1.Tag = QStringLiteral("x");
    EXPECT_THROW(Timer1_Timer(*form), numeric::RuntimeError);
}

TEST(MovingBlock, OddHeightHangsTheBlockFromAHalfPixel) {
    struct Case {
        int16_t h;
        float blockY;
        int firstRow; // 512.5 and 511.5 both map to 512 (ties to even)
    };
    for (const Case c : {Case{1025, 512.5f, 512}, Case{1023, 511.5f, 512}, Case{600, 300.0f, 300}}) {
        SCOPED_TRACE(c.h);
        auto form = PaintOn(800, c.h, 59);
        EXPECT_EQ(SessionState.BlockY, c.blockY);
        EXPECT_EQ(CountNonBlack(*form, Whole(*form)), 50L * 50);
        EXPECT_EQ(CountNonBlack(*form, QRect(0, c.firstRow, 50, 50)), 50L * 50);
        Timer1_Timer(*form);
        EXPECT_EQ(SessionState.BlockY, c.blockY);
        EXPECT_EQ(CountNonBlack(*form, Whole(*form)), 50L * 50); // the erase removed the first square fully
        EXPECT_EQ(CountNonBlack(*form, QRect(50, c.firstRow, 50, 50)), 50L * 50);
    }
}

TEST(MovingBlock, FlashingBoxAlternatesAndLeavesTheFrameAlone) {
    auto form = PaintOn(1024, 768, 57);
    EXPECT_TRUE(form->Timer2.enabled());
    EXPECT_FALSE(form->Timer1.enabled());
    EXPECT_EQ(form->Timer2.Tag, "0");
    EXPECT_FLOAT_EQ(SessionState.BlockX, 102.4f);
    EXPECT_FLOAT_EQ(SessionState.BlockY, 76.8f);

    // Inner box (102.4, 76.8)-(921.6, 691.2): columns 102..921, rows 77..690.
    const QRect inner(QPoint(102, 77), QPoint(921, 690));
    const QRect frame(0, 0, 1024, 768);
    auto frameIsWhite = [&] {
        return Count(*form, QRect(0, 0, 1024, 1), [](QRgb c) { return c == kWhite; }) == 1024 &&
               Count(*form, QRect(0, 767, 1024, 1), [](QRgb c) { return c == kWhite; }) == 1024 &&
               Count(*form, QRect(0, 0, 1, 768), [](QRgb c) { return c == kWhite; }) == 768 &&
               Count(*form, QRect(1023, 0, 1, 768), [](QRgb c) { return c == kWhite; }) == 768;
    };
    const long frameArea = 2L * 1024 + 2L * 766;
    EXPECT_TRUE(frameIsWhite());
    EXPECT_EQ(Count(*form, inner, [](QRgb c) { return c == kWhite; }), inner.width() * inner.height());
    EXPECT_EQ(CountNonBlack(*form, frame), frameArea + inner.width() * inner.height());
    form->surface().takeDirty();

    const struct {
        QRgb inner;
        const char* tag;
    } phases[] = {{kBlack, "1"}, {kWhite, "0"}, {kBlack, "1"}, {kWhite, "0"}};
    for (const auto& p : phases) {
        Timer2_Timer(*form);
        EXPECT_EQ(form->Timer2.Tag, p.tag);
        EXPECT_EQ(form->surface().takeDirty(), inner);
        EXPECT_EQ(Count(*form, inner, [&](QRgb c) { return c == p.inner; }), inner.width() * inner.height());
        EXPECT_TRUE(frameIsWhite());
        const long innerLit = p.inner == kWhite ? inner.width() * inner.height() : 0;
        EXPECT_EQ(CountNonBlack(*form, frame), frameArea + innerLit);
    }
}

TEST(MovingBlock, LeavingTheFlashingBoxStopsItsTimer) {
    auto form = PaintOn(1024, 768, 57);
    Timer2_Timer(*form);
    PaintNext(*form, 58);
    EXPECT_FALSE(form->Timer2.enabled());
    EXPECT_EQ(CountNonBlack(*form, Whole(*form)), 0); // no frame either

    // Coming back starts afresh: white inner box, tag "0".
    PaintNext(*form, 57);
    EXPECT_TRUE(form->Timer2.enabled());
    EXPECT_EQ(form->Timer2.Tag, "0");
    EXPECT_EQ(Px(*form, 500, 400), kWhite);
}

TEST(MovingBlock, NextBlockPatternMidRunStartsAgainFromTheLeft) {
    auto form = PaintOn(800, 600, 59);
    for (int i = 0; i < 20; ++i) Timer1_Timer(*form); // up to 750, back to 500: tag "1"
    ASSERT_EQ(form->Timer1.Tag, "1");
    ASSERT_EQ(SessionState.BlockX, 500.0f);

    PaintNext(*form, 60);
    EXPECT_TRUE(form->Timer1.enabled());
    EXPECT_EQ(form->Timer1.Tag, "0");
    EXPECT_EQ(SessionState.BlockX, 0.0f);
    EXPECT_EQ(Count(*form, Whole(*form), [](QRgb c) { return c == kWhite; }), 0); // white block gone
    EXPECT_EQ(Count(*form, QRect(0, 300, 50, 50), [](QRgb c) { return c == 0xff0000u; }), 50L * 50);
    EXPECT_EQ(CountNonBlack(*form, Whole(*form)), 50L * 50);

    // The colour is not kept across patterns: a rest screen zeroes it.
    PaintNext(*form, 63);
    EXPECT_FALSE(form->Timer1.enabled());
    EXPECT_EQ(SessionState.ColorR, 0);
}

TEST(MovingBlock, RunningTimerMovesTheBlockOnItsOwn) {
    auto form = PaintOn(800, 600, 62);
    QSignalSpy ticks(form.get(), &PatternForm::changed);
    ASSERT_TRUE(ticks.wait(5000));
    EXPECT_GE(SessionState.BlockX, 50.0f);
    EXPECT_EQ(Px(*form, 75, 325), 0x0000ffu);
}

// ---- the frame-paced pictures, frame by frame ----------------------------------

namespace {

using FrameRule = QRgb (*)(int x, int y, int w, int h, quint64 frame, int speed);

QRgb FrameSkipRule(int x, int y, int w, int h, quint64 n, int) {
    const int cell = static_cast<int>(n % 8);
    const bool lit = y >= h / 3 && y < 2 * h / 3 && x >= cell * w / 8 && x < (cell + 1) * w / 8;
    return lit ? kWhite : kBlack;
}
QRgb VsyncRule(int, int, int, int, quint64 n, int) { return n % 2 == 0 ? 0xff0000u : 0x00ffffu; }
QRgb MotionBlockRule(int x, int y, int w, int h, quint64 n, int speed) {
    // The square's side is H/8, at most the width: it wraps past the right
    // edge onto the left one.
    const int side = std::min(h / 8, w), top = (h - side) / 2;
    const int left = static_cast<int>((n * static_cast<quint64>(speed)) % static_cast<quint64>(w));
    if (y >= top && y < top + side && (x - left + w) % w < side) return kWhite;
    return x % 64 == 0 ? kBlack : 0x808080u;
}
QRgb ResponseToggleRule(int, int, int, int, quint64 n, int) { return (n / 4) % 2 == 0 ? kWhite : kBlack; }

struct PacedRun {
    const char* name;
    int16_t number; // its row of the table, whose export is frame 0
    PacedPainter paint;
    FrameRule rule;
    int speed;
    // The largest area one step may repaint at 1366x768 (frames 1 to 7),
    // in pixels: a step repaints what changed, not the frame.
    long stepArea;
};

class FramePacedPicture : public ::testing::TestWithParam<PacedRun> {};

void PrintTo(const PacedRun& r, std::ostream* os) { *os << r.name; }

} // namespace

TEST_P(FramePacedPicture, EveryFrameFollowsTheDefinitionAndAStepRepaintsOnlyWhatChanges) {
    const PacedRun& r = GetParam();
    for (const QSize size : {QSize(1, 1), QSize(7, 5), QSize(641, 479), QSize(1366, 768)}) {
        const int w = size.width(), h = size.height();
        DrawingSurface s(size);
        s.setBackColor(kBlack); // as the dispatcher's reset leaves it
        const quint64 wrap = static_cast<quint64>(w / r.speed + 1);
        const quint64 last = std::max<quint64>(wrap + 1, 9);
        for (quint64 n = 0; n <= last; ++n) {
            s.takeDirty();
            r.paint(s, static_cast<int16_t>(w), static_cast<int16_t>(h), n, r.speed);
            const QRect dirty = s.dirty();
            if (n >= 1 && n <= 7 && size == QSize(1366, 768)) {
                EXPECT_LE(static_cast<long>(dirty.width()) * dirty.height(), r.stepArea) << "frame " << n;
            }
            if (n > 9 && n != wrap && n != last) continue;
            const QImage want = Picture(size, [&](int x, int y) { return r.rule(x, y, w, h, n, r.speed); });
            ASSERT_EQ(FirstDifference(s.image(), want), "") << w << "x" << h << " frame " << n;
            if (n == 0 && r.speed == 8) {
                EXPECT_EQ(FirstDifference(RenderPattern(r.number, size), want), "") << "the export at " << w << "x" << h;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FramePacedPicture,
    ::testing::Values(
        // Two neighbouring cells of the middle third.
        PacedRun{"FrameSkip", 124, PaintFrameSkip, FrameSkipRule, 8, 2L * 171 * 256},
        PacedRun{"VsyncAlternation", 125, PaintVsyncAlternation, VsyncRule, 8, 1366L * 768},
        // The old and the new square: side 96 plus the step.
        PacedRun{"MotionBlock", 126, PaintMotionBlock, MotionBlockRule, 8, (96L + 8) * 96},
        PacedRun{"MotionBlockSlowest", 126, PaintMotionBlock, MotionBlockRule, 1, (96L + 1) * 96},
        PacedRun{"MotionBlockFastest", 126, PaintMotionBlock, MotionBlockRule, 64, (96L + 64) * 96},
        // Only every fourth frame changes anything.
        PacedRun{"ResponseToggle", 127, PaintResponseToggle, ResponseToggleRule, 8, 1366L * 768}),
    [](const ::testing::TestParamInfo<PacedRun>& info) { return std::string(info.param.name); });
