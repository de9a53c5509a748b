// The three-by-three grid, the four-by-four grid and its discs.

#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace test;

namespace {

struct GridCase {
    int16_t w, h, pattern;
    std::vector<int> columns; // inner vertical lines, in pixels
    std::vector<int> rows;    // inner horizontal lines
};

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

class GridLines : public ::testing::TestWithParam<GridCase> {};

} // namespace

TEST_P(GridLines, FrameAndLinesAreTheOnlyWhitePixelsOutsideTheDiscs) {
    const GridCase c = GetParam();
    auto form = PaintOn(c.w, c.h, c.pattern);
    const QImage& image = form->surface().image();
    // Pattern 67's discs sit on the crossings of the inner square; look
    // only at pixels farther than 40 pixels from every crossing there.
    auto nearDisc = [&](int x, int y) {
        if (c.pattern != 67) return false;
        for (int cx : {c.columns[0], c.columns[2]})
            for (int cy : {c.rows[0], c.rows[2]})
                if (std::abs(x - cx) <= 40 && std::abs(y - cy) <= 40) return true;
        return std::abs(x - c.columns[1]) <= 40 && std::abs(y - c.rows[1]) <= 40;
    };
    long wrong = 0;
    for (int y = 0; y < c.h; ++y) {
        for (int x = 0; x < c.w; ++x) {
            if (nearDisc(x, y)) continue;
            const bool line = x == 0 || y == 0 || x == c.w - 1 || y == c.h - 1 || Contains(c.columns, x) ||
                              Contains(c.rows, y);
            if ((image.pixel(x, y) & 0xffffffu) != (line ? kWhite : kBlack)) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, GridLines,
    ::testing::Values(
        // Thirds of 1024: 341.33 and 682.67 map to 341 and 683.
        GridCase{1024, 768, 66, {341, 683}, {256, 512}},
        GridCase{1024, 768, 67, {256, 512, 768}, {192, 384, 576}},
        // 1366 / 3 = 455.33, x2 = 910.67; 1366 / 4 = 341.5 (tie to 342), x3 = 1024.5 (tie to 1024).
        GridCase{1366, 768, 66, {455, 911}, {256, 512}},
        GridCase{1366, 768, 67, {342, 683, 1024}, {192, 384, 576}}));

TEST(GridCircles, FiveFilledDiscsOfRadiusThirtyAt1024x768) {
    auto form = PaintOn(1024, 768, 67);
    const QPoint discs[] = {{256, 192}, {768, 192}, {512, 384}, {256, 576}, {768, 576}};
    const QPoint plain[] = {{512, 192}, {256, 384}, {768, 384}, {512, 576}};
    for (const QPoint& d : discs) {
        SCOPED_TRACE(testing::Message() << d.x() << "," << d.y());
        // Filled: a quadrant off the grid lines is white throughout its inner part.
        EXPECT_EQ(Count(*form, QRect(d.x() + 1, d.y() + 1, 20, 20), [](QRgb c) { return c == kWhite; }), 400);
        EXPECT_EQ(Px(*form, d.x() + 30, d.y() + 5), kWhite); // radius 30 reached
        EXPECT_EQ(Px(*form, d.x() + 31, d.y() + 5), kBlack);
        EXPECT_EQ(Px(*form, d.x() - 5, d.y() - 30), kWhite);
        EXPECT_EQ(Px(*form, d.x() - 5, d.y() - 31), kBlack);
        EXPECT_EQ(Px(*form, d.x() + 25, d.y() + 25), kBlack); // round, not square
    }
    for (const QPoint& p : plain) EXPECT_EQ(Px(*form, p.x() + 10, p.y() + 10), kBlack);
}

TEST(GridCircles, FillStyleIsTransparentAgainAfterTheDiscs) {
    auto form = PaintOn(1024, 768, 67);
    EXPECT_EQ(form->surface().fillStyle(), DrawingSurface::FillStyle::Solid);
    PaintNext(*form, 68); // wraps to the black field of pattern 1
    EXPECT_EQ(SessionState.PatternIndex, 1);
    EXPECT_EQ(form->surface().fillStyle(), DrawingSurface::FillStyle::Transparent);
    EXPECT_EQ(CountNonBlack(*form, Whole(*form)), 0);
    // A later circle is an outline only.
    form->surface().circle(100.0f, 100.0f, 30.0f, kWhite);
    EXPECT_EQ(Px(*form, 100, 100), kBlack);
}
