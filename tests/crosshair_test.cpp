// The cross-hair through the last pressed pixel and its read-out label.

#include "support.h"

#include <gtest/gtest.h>

using namespace test;

namespace {

struct CrossCase {
    int16_t w, h;
    float mouseX, mouseY;
    const char* caption;
    float left, top;
};

class CrosshairPlacement : public ::testing::TestWithParam<CrossCase> {};

} // namespace

TEST_P(CrosshairPlacement, LinesThroughThePixelAndLabelOnTheInnerSide) {
    const CrossCase c = GetParam();
    auto painted = PaintOn(c.w, c.h, 1);
    PatternForm& form = *painted;
    form.Cursor.ForeColor = qRgb(0, 0, 0); // left as the pointer handlers made it
    SessionState.MouseX = c.mouseX;
    SessionState.MouseY = c.mouseY;
    PaintNext(form, 65);

    EXPECT_EQ(form.Cursor.Caption, QString::fromUtf8(c.caption));
    EXPECT_EQ(form.Cursor.Left, c.left);
    EXPECT_EQ(form.Cursor.Top, c.top);
    EXPECT_TRUE(form.Cursor.Visible);
    EXPECT_EQ(form.Cursor.ForeColor, qRgb(0, 0, 0));

    // Column MouseX - 1 and row MouseY - 1 are white end to end, nothing else is lit.
    const int col = static_cast<int>(c.mouseX) - 1, row = static_cast<int>(c.mouseY) - 1;
    const bool colOn = col >= 0 && col < c.w, rowOn = row >= 0 && row < c.h;
    if (colOn) {
        EXPECT_EQ(Count(form, QRect(col, 0, 1, c.h), [](QRgb p) { return p == kWhite; }), c.h);
    }
    if (rowOn) {
        EXPECT_EQ(Count(form, QRect(0, row, c.w, 1), [](QRgb p) { return p == kWhite; }), c.w);
    }
    const long lit = (colOn ? c.h : 0) + (rowOn ? c.w : 0) - (colOn && rowOn ? 1 : 0);
    EXPECT_EQ(CountNonBlack(form, Whole(form)), lit);
}

INSTANTIATE_TEST_SUITE_P(
    Points, CrosshairPlacement,
    ::testing::Values(
        // Before any press: lines at -1, off screen.
        CrossCase{1024, 768, 0.0f, 0.0f, "( 0 , 0 )", 4.0f, 4.0f},
        CrossCase{1024, 768, 1.0f, 1.0f, "( 1 , 1 )", 5.0f, 5.0f},
        // On the middle column and row: counts as the right and lower half.
        CrossCase{1024, 768, 512.0f, 384.0f, "( 512 , 384 )", 434.0f, 363.0f},
        CrossCase{1024, 768, 511.0f, 383.0f, "( 511 , 383 )", 515.0f, 387.0f},
        CrossCase{1024, 768, 513.0f, 385.0f, "( 513 , 385 )", 435.0f, 364.0f},
        // Near the right and bottom edges.
        CrossCase{1024, 768, 1020.0f, 760.0f, "( 1020 , 760 )", 942.0f, 739.0f},
        CrossCase{1024, 768, 1024.0f, 768.0f, "( 1024 , 768 )", 946.0f, 747.0f},
        // Odd sizes: the half is 512.5.
        CrossCase{1025, 769, 512.0f, 385.0f, "( 512 , 385 )", 516.0f, 364.0f},
        CrossCase{1025, 769, 513.0f, 384.0f, "( 513 , 384 )", 435.0f, 388.0f}));

TEST(Crosshair, LeavingThePatternHidesTheLabel) {
    auto form = PaintOn(800, 600, 65);
    EXPECT_TRUE(form->Cursor.Visible);
    PaintNext(*form, 66);
    EXPECT_FALSE(form->Cursor.Visible);
}
