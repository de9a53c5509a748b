// Pixel tests of the static painters: colour bars and ramps, the edge
// frame and line rasters, quadrants and centre windows, rendered without
// a window at common and awkward screen sizes.

#include "session/numeric.h"
#include "support.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>

namespace {

using test::PaintOn;
using Rule = std::function<QRgb(int x, int y)>;

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kGrey = qRgb(192, 192, 192);

// Empty when the form's picture is what the rule gives and nothing was
// touched outside it, else the first difference.
std::string Mismatch(PatternForm& form, const Rule& rule) {
    const QSize size = form.surface().size();
    if (!QRect(QPoint(0, 0), size).contains(form.surface().dirty())) return "touched outside the image";
    return test::FirstDifference(form.surface().image(), test::Picture(size, rule));
}
std::string Mismatch(const QImage& image, const Rule& rule) {
    return test::FirstDifference(image, test::Picture(image.size(), rule));
}

bool RaisesOverflow(const std::function<void()>& f) {
    try {
        f();
    } catch (const numeric::RuntimeError& e) {
        return e.code() == numeric::RuntimeError::Overflow;
    }
    return false;
}

// ---- Colour bars and ramps ----------------------------------------------

struct BandCase {
    int16_t w, h;
    int barWidth;  // w/8, ties to even
    int rampWidth; // w/64, ties to even
};

constexpr std::array<QRgb, 8> kBars{{qRgb(255, 255, 255), qRgb(255, 255, 0), qRgb(255, 0, 255), qRgb(255, 0, 0),
                                     qRgb(0, 255, 255), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)}};

// Column x of bands of width k: band x / k while x < n*k, black beyond.
int BandAt(int x, int k, int n) { return k > 0 && x < n * k ? x / k : -1; }
Rule Bars(int barWidth) {
    return [=](int x, int) {
        const int band = BandAt(x, barWidth, 8);
        return band < 0 ? kBlack : kBars[static_cast<size_t>(band)];
    };
}

std::ostream& operator<<(std::ostream& os, const BandCase& c) { return os << c.w << "x" << c.h; }

class Bands : public ::testing::TestWithParam<BandCase> {};

TEST_P(Bands, ColourBarsAreEightEqualBandsInTableOrder) {
    const BandCase c = GetParam();
    auto form = PaintOn(c.w, c.h, 2);
    EXPECT_EQ(Mismatch(*form, Bars(c.barWidth)), "");
    EXPECT_EQ(form->surface().backColor(), kBlack);
}

TEST_P(Bands, RampsStepFromLevel3To255InSixtyFourBands) {
    const BandCase c = GetParam();
    for (int16_t pattern = 42; pattern <= 45; ++pattern) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(Mismatch(RenderPattern(pattern, QSize(c.w, c.h)), [&](int x, int) {
                      const int band = BandAt(x, c.rampWidth, 64);
                      const int l = band < 0 ? 0 : 4 * band + 3;
                      switch (pattern) {
                      case 43: return qRgb(l, 0, 0);
                      case 44: return qRgb(0, l, 0);
                      case 45: return qRgb(0, 0, l);
                      default: return qRgb(l, l, l);
                      }
                  }), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    StaticPatterns, Bands,
    ::testing::Values(BandCase{1024, 768, 128, 16}, BandCase{800, 600, 100, 12} /* 12.5 -> 12 */,
                      BandCase{1280, 1024, 160, 20}, BandCase{1366, 768, 171, 21} /* bars clipped */,
                      BandCase{1364, 8, 170, 21} /* 170.5 -> 170 */, BandCase{1372, 8, 172, 21} /* 171.5 -> 172 */,
                      BandCase{864, 8, 108, 14} /* 13.5 -> 14 */, BandCase{1365, 8, 171, 21},
                      BandCase{1367, 8, 171, 21}, BandCase{35, 35, 4, 1} /* ramp clipped */,
                      BandCase{1, 1, 0, 0}));

TEST(StaticPatterns, ColourBarsOverflowOnlyFromWidth32764) {
    // 32764 / 8 = 4095.5 -> 4096, and 8 * 4096 leaves the 16-bit range.
    EXPECT_TRUE(RaisesOverflow([] { RenderPattern(2, QSize(32764, 2)); }));
    EXPECT_TRUE(RaisesOverflow([] { RenderPattern(2, QSize(32767, 2)); }));
    // 4095 wide, ending at 32760.
    EXPECT_EQ(Mismatch(RenderPattern(2, QSize(32763, 2)), Bars(4095)), "");
}

TEST(StaticPatterns, RampEdgesWidenInsteadOfOverflowing) {
    // 32767 / 64 -> 512; the last band ends at 32768, past the edge.
    EXPECT_EQ(Mismatch(RenderPattern(44, QSize(32767, 2)), [](int x, int) { return qRgb(0, 4 * (x / 512) + 3, 0); }),
              "");
}

// ---- Edge frame and rasters -----------------------------------------------

class FrameAndRasters : public ::testing::TestWithParam<QSize> {};

TEST_P(FrameAndRasters, FrameLiesOnTheOutermostPixels) {
    const QSize size = GetParam();
    const int right = size.width() - 1, bottom = size.height() - 1;
    auto form = PaintOn(static_cast<int16_t>(size.width()), static_cast<int16_t>(size.height()), 3);
    // Lines in drawing order, each without its end pixel.
    EXPECT_EQ(Mismatch(*form, [&](int x, int y) {
                  QRgb p = kBlack;
                  if (y == 0 && x < right) p = kWhite;       // top
                  if (x == right && y < bottom) p = kBlue;   // right
                  if (y == bottom && x > 0) p = kWhite;      // bottom
                  if (x == 0 && y > 0) p = kRed;             // left
                  return p;
              }), "");
}

TEST_P(FrameAndRasters, RastersWhitenEveryThirdLineFromOne) {
    const QSize size = GetParam();
    auto rows = PaintOn(static_cast<int16_t>(size.width()), static_cast<int16_t>(size.height()), 49);
    EXPECT_EQ(Mismatch(*rows, [](int, int y) { return y % 3 == 1 ? kWhite : kBlack; }), "");
    auto columns = PaintOn(static_cast<int16_t>(size.width()), static_cast<int16_t>(size.height()), 51);
    EXPECT_EQ(Mismatch(*columns, [](int x, int) { return x % 3 == 1 ? kWhite : kBlack; }), "");
}

INSTANTIATE_TEST_SUITE_P(StaticPatterns, FrameAndRasters,
                         ::testing::Values(QSize(1024, 768), QSize(800, 600), QSize(1280, 1024), QSize(1366, 768),
                                           QSize(1365, 769), QSize(1367, 770), QSize(35, 35), QSize(2, 2),
                                           QSize(1, 5), QSize(5, 1), QSize(1, 1)));

TEST(StaticPatterns, RasterCounterStaysWithinSixteenBits) {
    // The counter steps past the last line by 2; from 32767 that overflows.
    EXPECT_EQ(test::Px(RenderPattern(49, QSize(1, 32766)), 0, 32764), kWhite & 0xffffffu);
    EXPECT_TRUE(RaisesOverflow([] { RenderPattern(49, QSize(1, 32767)); }));
    EXPECT_TRUE(RaisesOverflow([] { RenderPattern(51, QSize(32767, 1)); }));
}

// ---- Quadrants and centre windows -------------------------------------------

struct QuadrantCase {
    int16_t w, h;
    int x;   // w/2, ties to even
    int row; // first row of the lower half: h/2 mapped to a pixel row
};

std::ostream& operator<<(std::ostream& os, const QuadrantCase& c) { return os << c.w << "x" << c.h; }

class Quadrants : public ::testing::TestWithParam<QuadrantCase> {};

TEST_P(Quadrants, OppositeQuartersShareTheBoxColour) {
    const QuadrantCase c = GetParam();
    const auto boxes = [&](QRgb box, QRgb back) {
        return [=](int x, int y) { return (x < c.x) == (y < c.row) ? box : back; };
    };
    auto white = PaintOn(c.w, c.h, 46);
    EXPECT_EQ(Mismatch(*white, boxes(kBlack, kWhite)), "");
    EXPECT_EQ(white->surface().backColor(), kWhite);

    auto black = PaintOn(c.w, c.h, 47);
    EXPECT_EQ(Mismatch(*black, boxes(kWhite, kBlack)), "");
    EXPECT_EQ(black->surface().backColor(), kBlack);
}

INSTANTIATE_TEST_SUITE_P(StaticPatterns, Quadrants,
                         ::testing::Values(QuadrantCase{1024, 768, 512, 384}, QuadrantCase{800, 600, 400, 300},
                                           QuadrantCase{1280, 1024, 640, 512}, QuadrantCase{1366, 768, 683, 384},
                                           QuadrantCase{1365, 35, 682, 18} /* 682.5, 17.5 */,
                                           QuadrantCase{1367, 37, 684, 18} /* 683.5, 18.5 */,
                                           QuadrantCase{35, 35, 18, 18}, QuadrantCase{1, 1, 0, 0}));

struct WindowCase {
    int16_t w, h;
    int left, right; // X = w/3 to the nearest, and 2*X
    int top, bottom; // h/3 and 2*h/3 mapped to pixel rows
};

std::ostream& operator<<(std::ostream& os, const WindowCase& c) { return os << c.w << "x" << c.h; }

class CentreWindows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(CentreWindows, WindowIsXWideAndKeepsTheFractionOfAThird) {
    const WindowCase c = GetParam();
    const struct {
        int16_t pattern;
        QRgb back, box;
    } kinds[] = {{53, kGrey, kBlack}, {55, kWhite, kBlack}, {56, kGrey, kWhite}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.pattern);
        auto form = PaintOn(c.w, c.h, k.pattern);
        EXPECT_EQ(Mismatch(*form, [&](int x, int y) {
                      return x >= c.left && x < c.right && y >= c.top && y < c.bottom ? k.box : k.back;
                  }), "");
        EXPECT_EQ(form->surface().backColor(), k.back);
    }
}

INSTANTIATE_TEST_SUITE_P(StaticPatterns, CentreWindows,
                         ::testing::Values(WindowCase{1024, 768, 341, 682, 256, 512},
                                           WindowCase{1280, 1024, 427, 854, 341, 683} /* 341.33, 682.67 */,
                                           WindowCase{800, 600, 267, 534, 200, 400},
                                           WindowCase{1366, 768, 455, 910, 256, 512},
                                           WindowCase{1365, 35, 455, 910, 12, 23} /* 11.67, 23.33 */,
                                           WindowCase{1367, 769, 456, 912, 256, 513} /* 256.33, 512.67 */,
                                           WindowCase{35, 35, 12, 24, 12, 23}, WindowCase{1, 1, 0, 0, 0, 0}));

} // namespace
