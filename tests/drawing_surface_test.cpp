#include "session/drawing_surface.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);

QRgb At(DrawingSurface& s, int x, int y) { return s.image().pixel(x, y); }

// Every pixel of the image that has the given colour.
std::vector<QPoint> PixelsOf(DrawingSurface& s, QRgb color) {
    std::vector<QPoint> out;
    const QImage& img = s.image();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == color) out.emplace_back(x, y);
    return out;
}

QRect Bounds(const std::vector<QPoint>& pts) {
    QRect r;
    for (const QPoint& p : pts) r |= QRect(p, QSize(1, 1));
    return r;
}

} // namespace

TEST(DrawingSurface, BackgroundColourClearsAndIsKeptForLaterClears) {
    DrawingSurface s(QSize(8, 6));
    EXPECT_EQ(At(s, 0, 0), kBlack);
    s.setBackColor(qRgb(1, 2, 3));
    EXPECT_EQ(At(s, 7, 5), qRgb(1, 2, 3));
    s.filledBox(0, 0, 8, 6, kWhite);
    s.clear();
    EXPECT_EQ(PixelsOf(s, qRgb(1, 2, 3)).size(), 48u);
    EXPECT_EQ(s.pixel(7, 5), qRgb(1, 2, 3));
    EXPECT_EQ(s.pixel(8, 5), std::nullopt);
    EXPECT_EQ(s.pixel(-1, 0), std::nullopt);
}

struct BoxCase {
    const char* name;
    float x1, y1, x2, y2;
    QRect covered; // empty when nothing is drawn
};

class FilledBoxRule : public ::testing::TestWithParam<BoxCase> {};

TEST_P(FilledBoxRule, CoversTheHalfOpenRangeBetweenRoundedCorners) {
    const BoxCase& c = GetParam();
    DrawingSurface s(QSize(20, 10));
    s.takeDirty();
    s.filledBox(c.x1, c.y1, c.x2, c.y2, kRed);
    const auto red = PixelsOf(s, kRed);
    EXPECT_EQ(Bounds(red), c.covered);
    EXPECT_EQ(static_cast<int>(red.size()), c.covered.width() * c.covered.height());
    EXPECT_EQ(s.takeDirty(), c.covered);
}

INSTANTIATE_TEST_SUITE_P(
    DrawingSurface, FilledBoxRule,
    ::testing::Values(BoxCase{"plain", 2, 1, 5, 4, QRect(2, 1, 3, 3)},
                      BoxCase{"reversed corners", 5, 4, 2, 1, QRect(2, 1, 3, 3)},
                      BoxCase{"fractions round to nearest", 2.4f, 1.6f, 4.6f, 3.4f, QRect(2, 2, 3, 1)},
                      BoxCase{"ties go to even", 2.5f, 0.5f, 5.5f, 3.5f, QRect(2, 0, 4, 4)},
                      BoxCase{"clipped at every edge", -5, -5, 100, 100, QRect(0, 0, 20, 10)},
                      BoxCase{"far corner one past the edge", 10, 0, 20, 10, QRect(10, 0, 10, 10)},
                      BoxCase{"zero width draws nothing", 3, 0, 3, 10, QRect()},
                      BoxCase{"wholly outside draws nothing", 30, 0, 40, 5, QRect()}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(DrawingSurface, NeighbouringBoxesMeetWithoutGapOrOverlap) {
    DrawingSurface s(QSize(30, 2));
    for (int k = 0; k < 3; ++k) s.filledBox(k * 10.0f, 0, (k + 1) * 10.0f, 2, qRgb(k + 1, 0, 0));
    for (int x = 0; x < 30; ++x) EXPECT_EQ(At(s, x, 1), qRgb(x / 10 + 1, 0, 0)) << x;
}

TEST(DrawingSurface, LinesIncludeTheirStartAndExcludeTheirEnd) {
    DrawingSurface s(QSize(10, 10));
    s.line(1, 2, 6, 2, kRed);      // rightwards
    s.line(8, 9, 8, 3, kWhite);    // upwards
    auto red = PixelsOf(s, kRed);
    EXPECT_EQ(Bounds(red), QRect(1, 2, 5, 1));
    EXPECT_EQ(red.size(), 5u);
    auto white = PixelsOf(s, kWhite);
    EXPECT_EQ(Bounds(white), QRect(8, 4, 1, 6));
    EXPECT_EQ(white.size(), 6u);

    DrawingSurface d(QSize(10, 10));
    d.line(0, 0, 5, 5, kRed); // diagonal: 0..4
    EXPECT_EQ(PixelsOf(d, kRed).size(), 5u);
    EXPECT_EQ(At(d, 4, 4), kRed);
    EXPECT_EQ(At(d, 5, 5), kBlack);
    d.line(3, 3, 3, 3, kWhite); // a line of no length draws nothing
    EXPECT_TRUE(PixelsOf(d, kWhite).empty());
}

TEST(DrawingSurface, LinesReachingPastTheEdgeAreClipped) {
    DrawingSurface s(QSize(10, 4));
    s.line(0, 1, 10, 1, kWhite);   // one past the last pixel
    s.line(-1, 0, -1, 4, kRed);    // wholly outside
    s.line(-20, -20, 30, 30, kRed);
    EXPECT_EQ(Bounds(PixelsOf(s, kWhite)), QRect(0, 1, 10, 1).united(QRect()));
    for (int x = 0; x < 10; ++x) EXPECT_NE(At(s, x, 1), kBlack);
    EXPECT_EQ(s.image().size(), QSize(10, 4));
}

TEST(DrawingSurface, BoxOutlineLiesOnItsCornerPixels) {
    DrawingSurface s(QSize(10, 8));
    s.box(0, 0, 9, 7, kWhite);
    const auto white = PixelsOf(s, kWhite);
    EXPECT_EQ(white.size(), static_cast<size_t>(2 * 10 + 2 * 6));
    for (QPoint p : {QPoint(0, 0), QPoint(9, 0), QPoint(0, 7), QPoint(9, 7)}) EXPECT_EQ(At(s, p.x(), p.y()), kWhite);
    EXPECT_EQ(At(s, 1, 1), kBlack);

    s.setFillStyle(DrawingSurface::FillStyle::Solid);
    s.setFillColor(kRed);
    s.box(2, 2, 6, 5, kWhite);
    EXPECT_EQ(PixelsOf(s, kRed).size(), static_cast<size_t>(3 * 2));
    EXPECT_EQ(At(s, 2, 2), kWhite);
    EXPECT_EQ(At(s, 3, 3), kRed);
}

TEST(DrawingSurface, CircleIsSymmetricAndFilledOnlyWhenSolid) {
    DrawingSurface s(QSize(80, 80));
    s.circle(40, 40, 30, kWhite);
    const auto outline = PixelsOf(s, kWhite);
    EXPECT_EQ(Bounds(outline), QRect(10, 10, 61, 61));
    EXPECT_EQ(At(s, 40, 40), kBlack);
    for (const QPoint& p : outline) {
        EXPECT_EQ(At(s, 80 - p.x(), p.y()), kWhite);
        EXPECT_EQ(At(s, p.y(), p.x()), kWhite);
    }

    DrawingSurface f(QSize(80, 80));
    f.setFillStyle(DrawingSurface::FillStyle::Solid);
    f.setFillColor(kWhite);
    f.circle(40, 40, 30, kWhite);
    const auto disc = PixelsOf(f, kWhite);
    EXPECT_EQ(Bounds(disc), QRect(10, 10, 61, 61));
    // Every pixel within the radius is covered, and nothing beyond R(R+1).
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            const int d = (x - 40) * (x - 40) + (y - 40) * (y - 40);
            EXPECT_EQ(At(f, x, y) == kWhite, d <= 30 * 31) << x << "," << y;
        }
}

TEST(DrawingSurface, CircleAtTheEdgeIsClipped) {
    DrawingSurface s(QSize(20, 20));
    s.setFillStyle(DrawingSurface::FillStyle::Solid);
    s.setFillColor(kRed);
    s.circle(0, 0, 30, kWhite);
    EXPECT_EQ(At(s, 0, 0), kRed);
    EXPECT_EQ(s.image().size(), QSize(20, 20));
}

TEST(DrawingSurface, DirtyRectangleIsTheUnionOfWhatWasTouched) {
    DrawingSurface s(QSize(200, 100));
    EXPECT_EQ(s.takeDirty(), QRect(0, 0, 200, 100)); // a new surface needs a full paint
    EXPECT_FALSE(s.takeDirty().isValid());
    s.filledBox(0, 50, 50, 100, kBlack);
    s.filledBox(50, 50, 100, 100, kWhite);
    EXPECT_EQ(s.takeDirty(), QRect(0, 50, 100, 50));
    s.clear();
    EXPECT_EQ(s.takeDirty(), QRect(0, 0, 200, 100));
}

TEST(DrawingSurface, TextIsPrintedInTheForeColourAndAdvancesThePosition) {
    DrawingSurface s(QSize(200, 60));
    s.setForeColor(kWhite);
    s.setFont(QFont(QStringLiteral("Arial")));
    s.setFontSize(10);
    s.setCurrentX(5);
    s.setCurrentY(10);
    s.print(QStringLiteral("Hi"));
    EXPECT_FLOAT_EQ(s.currentX(), static_cast<float>(5 + s.textWidth(QStringLiteral("Hi"))));
    EXPECT_FLOAT_EQ(s.currentY(), 10.0f);
    QRect ink;
    const QImage& img = s.image();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != kBlack) {
                ink |= QRect(x, y, 1, 1);
                EXPECT_EQ(qRed(img.pixel(x, y)), qBlue(img.pixel(x, y))) << "colour fringe at " << x;
            }
    ASSERT_TRUE(ink.isValid());
    EXPECT_GE(ink.left(), 5);
    EXPECT_LE(ink.right(), 5 + s.textWidth(QStringLiteral("Hi")) + 1);
    EXPECT_GE(ink.top(), 10);
    s.print(QStringLiteral("\r\n"));
    EXPECT_FLOAT_EQ(s.currentX(), 0.0f);
    EXPECT_FLOAT_EQ(s.currentY(), static_cast<float>(10 + s.lineHeight()));
}

TEST(DrawingSurface, EmptySurfaceTakesEveryOperation) {
    DrawingSurface s(QSize(0, 0));
    s.setBackColor(kWhite);
    s.filledBox(0, 0, 10, 10, kRed);
    s.line(0, 0, 5, 5, kRed);
    s.box(0, 0, 3, 3, kRed);
    s.circle(0, 0, 30, kRed);
    s.print(QStringLiteral("x\r\n"));
    EXPECT_EQ(s.pixel(0, 0), std::nullopt);
    EXPECT_TRUE(s.image().isNull());
}
