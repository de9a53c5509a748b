// Pixel tests of the static painters: colour bars and ramps, the edge
// frame and line rasters, quadrants and centre windows, rendered without
// a window at common and awkward screen sizes.

#include "session/dispatcher.h"
#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/session_state.h"

#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <functional>
#include <ostream>
#include <string>

namespace {

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kGrey = qRgb(192, 192, 192);

// One pattern painted by the dispatcher on a w x h form.
struct Rendered {
    Rendered(int16_t w, int16_t h, int16_t pattern) : form(QSize(w, h)) {
        ResetSessionState();
        SessionState.ScreenWidthPx = w;
        SessionState.ScreenHeightPx = h;
        SessionState.PatternIndex = pattern;
        PaintPattern(form);
    }
    PatternForm form;
};

using Picture = std::function<QRgb(int x, int y)>;

// Empty when every pixel is as expected, else the first difference.
std::string Mismatch(Rendered& r, const Picture& want) {
    const QImage& img = r.form.surface().image();
    const QSize size(SessionState.ScreenWidthPx, SessionState.ScreenHeightPx);
    if (img.size() != size) return "image size changed";
    if (!QRect(QPoint(0, 0), size).contains(r.form.surface().dirty()))
        return "touched outside the image";
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb got = row[x] & 0xffffffu, expected = want(x, y) & 0xffffffu;
            if (got != expected)
                return QStringLiteral("pixel (%1, %2) is #%3, expected #%4")
                    .arg(x).arg(y).arg(got, 6, 16, QLatin1Char('0')).arg(expected, 6, 16, QLatin1Char('0'))
                    .toStdString();
        }
    }
    return {};
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

std::ostream& operator<<(std::ostream& os, const BandCase& c) { return os << c.w << "x" << c.h; }

class Bands : public ::testing::TestWithParam<BandCase> {};

TEST_P(Bands, ColourBarsAreEightEqualBandsInTableOrder) {
    const BandCase c = GetParam();
    Rendered r(c.w, c.h, 2);
    EXPECT_EQ(Mismatch(r, [&](int x, int) {
                  const int band = BandAt(x, c.barWidth, 8);
                  return band < 0 ? kBlack : kBars[static_cast<size_t>(band)];
              }), "");
    EXPECT_EQ(r.form.surface().backColor(), kBlack);
}

TEST_P(Bands, RampsStepFromLevel3To255InSixtyFourBands) {
    const BandCase c = GetParam();
    for (int16_t pattern = 42; pattern <= 45; ++pattern) {
        SCOPED_TRACE(pattern);
        Rendered r(c.w, c.h, pattern);
        EXPECT_EQ(Mismatch(r, [&](int x, int) {
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

TEST(StaticPatterns, BandEdgesAtTheCommonSizes) {
    Rendered bars(1024, 768, 2);
    DrawingSurface& s = bars.form.surface();
    EXPECT_EQ(s.pixel(255, 767), qRgb(255, 255, 0));
    EXPECT_EQ(s.pixel(256, 0), qRgb(255, 0, 255)); // magenta third
    EXPECT_EQ(s.pixel(384, 0), qRgb(255, 0, 0));   // red fourth
    EXPECT_EQ(s.pixel(512, 0), qRgb(0, 255, 255));
    EXPECT_EQ(s.pixel(895, 0), kBlue);

    Rendered ramp(800, 600, 42);
    EXPECT_EQ(ramp.form.surface().pixel(0, 0), qRgb(3, 3, 3));
    EXPECT_EQ(ramp.form.surface().pixel(767, 599), kWhite);
    EXPECT_EQ(ramp.form.surface().pixel(768, 0), kBlack);

    Rendered red(1366, 768, 43);
    EXPECT_EQ(red.form.surface().pixel(1343, 0), qRgb(255, 0, 0));
    EXPECT_EQ(red.form.surface().pixel(1344, 0), kBlack);
}

TEST(StaticPatterns, ColourBarsOverflowOnlyFromWidth32764) {
    // 32764 / 8 = 4095.5 -> 4096, and 8 * 4096 leaves the 16-bit range.
    EXPECT_TRUE(RaisesOverflow([] { Rendered r(32764, 2, 2); }));
    EXPECT_TRUE(RaisesOverflow([] { Rendered r(32767, 2, 2); }));

    Rendered r(32763, 2, 2); // 4095 wide, ending at 32760
    EXPECT_EQ(Mismatch(r, [](int x, int) {
                  const int band = BandAt(x, 4095, 8);
                  return band < 0 ? kBlack : kBars[static_cast<size_t>(band)];
              }), "");
}

TEST(StaticPatterns, RampEdgesWidenInsteadOfOverflowing) {
    // 32767 / 64 -> 512; the last band ends at 32768, past the edge.
    Rendered r(32767, 2, 44);
    EXPECT_EQ(Mismatch(r, [](int x, int) { return qRgb(0, 4 * (x / 512) + 3, 0); }), "");
}

// ---- Edge frame and rasters -----------------------------------------------

struct LineCase {
    int16_t w, h;
    int rows;    // white rows of the horizontal raster
    int columns; // white columns of the vertical raster
};

std::ostream& operator<<(std::ostream& os, const LineCase& c) { return os << c.w << "x" << c.h; }

class FrameAndRasters : public ::testing::TestWithParam<LineCase> {};

TEST_P(FrameAndRasters, FrameLiesOnTheOutermostPixels) {
    const LineCase c = GetParam();
    const int right = c.w - 1, bottom = c.h - 1;
    Rendered r(c.w, c.h, 3);
    // Lines in drawing order, each without its end pixel.
    EXPECT_EQ(Mismatch(r, [&](int x, int y) {
                  QRgb p = kBlack;
                  if (y == 0 && x < right) p = kWhite;       // top
                  if (x == right && y < bottom) p = kBlue;   // right
                  if (y == bottom && x > 0) p = kWhite;      // bottom
                  if (x == 0 && y > 0) p = kRed;             // left
                  return p;
              }), "");
    if (c.w >= 2 && c.h >= 2) {
        DrawingSurface& s = r.form.surface();
        EXPECT_EQ(s.pixel(0, 0), kWhite);
        EXPECT_EQ(s.pixel(right, 0), kBlue);
        EXPECT_EQ(s.pixel(right, bottom), kWhite);
        EXPECT_EQ(s.pixel(0, bottom), kRed);
    }
}

TEST_P(FrameAndRasters, RastersWhitenEveryThirdLineFromOne) {
    const LineCase c = GetParam();
    Rendered rows(c.w, c.h, 49);
    EXPECT_EQ(Mismatch(rows, [](int, int y) { return y % 3 == 1 ? kWhite : kBlack; }), "");
    int count = 0;
    for (int y = 0; y < c.h; ++y) count += rows.form.surface().pixel(0, y) == kWhite;
    EXPECT_EQ(count, c.rows);

    Rendered columns(c.w, c.h, 51);
    EXPECT_EQ(Mismatch(columns, [](int x, int) { return x % 3 == 1 ? kWhite : kBlack; }), "");
    count = 0;
    for (int x = 0; x < c.w; ++x) count += columns.form.surface().pixel(x, c.h - 1) == kWhite;
    EXPECT_EQ(count, c.columns);
}

INSTANTIATE_TEST_SUITE_P(StaticPatterns, FrameAndRasters,
                         ::testing::Values(LineCase{1024, 768, 256, 341}, LineCase{800, 600, 200, 267},
                                           LineCase{1280, 1024, 341, 427}, LineCase{1366, 768, 256, 455},
                                           LineCase{1365, 769, 256, 455}, LineCase{1367, 770, 257, 456},
                                           LineCase{35, 35, 12, 12}, LineCase{2, 2, 1, 1}, LineCase{1, 5, 2, 0},
                                           LineCase{5, 1, 0, 2}, LineCase{1, 1, 0, 0}));

TEST(StaticPatterns, RasterCounterStaysWithinSixteenBits) {
    // The counter steps past the last line by 2; from 32767 that overflows.
    Rendered rows(1, 32766, 49);
    EXPECT_EQ(rows.form.surface().pixel(0, 32764), kWhite);
    EXPECT_TRUE(RaisesOverflow([] { Rendered r(1, 32767, 49); }));
    EXPECT_TRUE(RaisesOverflow([] { Rendered r(32767, 1, 51); }));
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
    Rendered white(c.w, c.h, 46);
    EXPECT_EQ(Mismatch(white, boxes(kBlack, kWhite)), "");
    EXPECT_EQ(white.form.surface().backColor(), kWhite);

    Rendered black(c.w, c.h, 47);
    EXPECT_EQ(Mismatch(black, boxes(kWhite, kBlack)), "");
    EXPECT_EQ(black.form.surface().backColor(), kBlack);
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
        Rendered r(c.w, c.h, k.pattern);
        EXPECT_EQ(Mismatch(r, [&](int x, int y) {
                      return x >= c.left && x < c.right && y >= c.top && y < c.bottom ? k.box : k.back;
                  }), "");
        EXPECT_EQ(r.form.surface().backColor(), k.back);
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
