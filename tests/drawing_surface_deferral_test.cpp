// The surface defers writing the image: a clear is kept as one colour,
// full-height boxes on a cleared image as one row and full-width boxes as
// row colours, and rows are written whole on first use, only when
// something needs the pixels. These tests draw the same random sequences
// twice, once as they come and once with the image taken after every
// operation (so nothing stays deferred), and require identical pixels,
// pixel reads and touched rectangles.

#include "session/drawing_surface.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <functional>
#include <utility>
#include <string>
#include <vector>

namespace {

struct Op {
    std::string what;
    std::function<void(DrawingSurface&)> run;
};

QRgb RandomColour(QRandomGenerator& rng) {
    static constexpr QRgb kColours[] = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 0, 0),
                                        qRgb(0, 0, 255), qRgb(192, 192, 192)};
    if (rng.bounded(2)) return kColours[rng.bounded(5)];
    return qRgb(rng.bounded(256), rng.bounded(256), rng.bounded(256));
}

// A coordinate near or beyond the surface's edges along an axis of length n.
float RandomCoord(QRandomGenerator& rng, int n) {
    switch (rng.bounded(6)) {
    case 0: return 0.0f;
    case 1: return static_cast<float>(n);
    case 2: return static_cast<float>(n) + static_cast<float>(rng.bounded(5));
    case 3: return -static_cast<float>(rng.bounded(5));
    case 4: return static_cast<float>(rng.bounded(n + 1)) + 0.5f; // a tie
    default: return static_cast<float>(rng.bounded(n + 1));
    }
}

Op RandomOp(QRandomGenerator& rng, QSize size) {
    const int w = size.width(), h = size.height();
    const QRgb c = RandomColour(rng);
    const float x1 = RandomCoord(rng, w), x2 = RandomCoord(rng, w);
    const float y1 = RandomCoord(rng, h), y2 = RandomCoord(rng, h);
    const float fh = static_cast<float>(h);
    const float fw = static_cast<float>(w);
    switch (rng.bounded(15)) {
    case 0: return {"clear", [](DrawingSurface& s) { s.clear(); }};
    case 1: return {"setBackColor", [c](DrawingSurface& s) { s.setBackColor(c); }};
    case 2: // full-height band, the case the row deferral takes
        return {"band", [=](DrawingSurface& s) { s.filledBox(x1, 0.0f, x2, fh, c); }};
    case 3: // a band running past the top and the bottom
        return {"tall band", [=](DrawingSurface& s) { s.filledBox(x1, -3.0f, x2, fh + 3.0f, c); }};
    case 4: return {"vertical line", [=](DrawingSurface& s) { s.line(x1, 0.0f, x1, fh, c); }};
    case 5: return {"vertical line up", [=](DrawingSurface& s) { s.line(x1, fh, x1, -1.0f, c); }};
    case 6: return {"filledBox", [=](DrawingSurface& s) { s.filledBox(x1, y1, x2, y2, c); }};
    case 7: return {"line", [=](DrawingSurface& s) { s.line(x1, y1, x2, y2, c); }};
    case 8: {
        const bool solid = rng.bounded(2) == 1;
        const QRgb fill = RandomColour(rng);
        return {"box", [=](DrawingSurface& s) {
                    s.setFillStyle(solid ? DrawingSurface::FillStyle::Solid : DrawingSurface::FillStyle::Transparent);
                    s.setFillColor(fill);
                    s.box(x1, y1, x2, y2, c);
                }};
    }
    case 9: {
        const float r = static_cast<float>(rng.bounded(std::max(w, h) + 2));
        return {"circle", [=](DrawingSurface& s) { s.circle(x1, y1, r, c); }};
    }
    case 10: {
        const int src = rng.bounded(h + 2) - 1, rows = rng.bounded(h + 1), dst = rng.bounded(h + 2) - 1;
        return {"copyRows", [=](DrawingSurface& s) { s.copyRows(src, rows, dst); }};
    }
    case 11:
        return {"print", [=](DrawingSurface& s) {
                    s.setForeColor(c);
                    s.setCurrentX(x1);
                    s.setCurrentY(y1);
                    s.print(QStringLiteral("Ag"));
                }};
    case 12: // full-width rows, which a cleared image keeps as row colours
        return {"row band", [=](DrawingSurface& s) { s.filledBox(-2.0f, y1, fw + 2.0f, y2, c); }};
    case 13: return {"horizontal line", [=](DrawingSurface& s) { s.line(0.0f, y1, fw, y1, c); }};
    default: return {"full box", [c](DrawingSurface& s) { s.filledBox(-1.0f, -1.0f, 1e6f, 1e6f, c); }};
    }
}

class DrawingSurfaceDeferral : public ::testing::TestWithParam<QSize> {};

TEST_P(DrawingSurfaceDeferral, DeferredDrawingGivesTheSamePixelsAsImmediateDrawing) {
    const QSize size = GetParam();
    QRandomGenerator rng(0x5eed0000u + static_cast<quint32>(size.width() * 1000 + size.height()));
    for (int sequence = 0; sequence < 150; ++sequence) {
        DrawingSurface deferred(size), immediate(size);
        deferred.takeDirty();
        immediate.takeDirty();
        std::string trail;
        for (int step = 0; step < 40; ++step) {
            const Op op = RandomOp(rng, size);
            trail += op.what + "; ";
            op.run(deferred);
            op.run(immediate);
            immediate.image(); // writes everything out at once
            const int px = rng.bounded(size.width() + 2) - 1, py = rng.bounded(size.height() + 2) - 1;
            ASSERT_EQ(deferred.pixel(static_cast<float>(px), static_cast<float>(py)),
                      immediate.pixel(static_cast<float>(px), static_cast<float>(py)))
                << "pixel (" << px << ", " << py << ") after: " << trail;
            if (rng.bounded(4) == 0) {
                ASSERT_EQ(deferred.takeDirty(), immediate.takeDirty()) << "after: " << trail;
            }
        }
        ASSERT_EQ(deferred.takeDirty(), immediate.takeDirty()) << "after: " << trail;
        ASSERT_TRUE(deferred.image() == immediate.image()) << "after: " << trail;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DrawingSurfaceDeferral,
                         ::testing::Values(QSize(1, 1), QSize(1, 6), QSize(7, 1), QSize(37, 23), QSize(64, 48)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" + std::to_string(info.param.height());
                         });

// The pixel rules for boxes and axis-aligned lines, applied pixel by pixel
// on a plain image that defers nothing.
class PlainCanvas {
public:
    explicit PlainCanvas(QSize size) : image_(size, QImage::Format_RGB32) { image_.fill(qRgb(0, 0, 0)); }
    const QImage& image() const { return image_; }
    void clear(QRgb c) { image_.fill(c); }
    // Half-open range between the mapped corners.
    void filledBox(float x1, float y1, float x2, float y2, QRgb c) {
        const auto [a, b] = Sorted(x1, x2);
        const auto [t, u] = Sorted(y1, y2);
        for (int y = t; y < u; ++y)
            for (int x = a; x < b; ++x) set(x, y, c);
    }
    // Perimeter of the closed range; its inside in the fill colour if solid.
    void box(float x1, float y1, float x2, float y2, QRgb c, bool solid, QRgb fill) {
        const auto [a, b] = Sorted(x1, x2);
        const auto [t, u] = Sorted(y1, y2);
        for (int y = t; y <= u; ++y)
            for (int x = a; x <= b; ++x)
                if (x == a || x == b || y == t || y == u) set(x, y, c);
                else if (solid) set(x, y, fill);
    }
    // Axis-aligned: the start pixel in, the end pixel out.
    void line(float x1, float y1, float x2, float y2, QRgb c) {
        int x = DrawingSurface::toPixel(x1), y = DrawingSurface::toPixel(y1);
        const int ex = DrawingSurface::toPixel(x2), ey = DrawingSurface::toPixel(y2);
        const int sx = (ex > x) - (ex < x), sy = (ey > y) - (ey < y);
        for (; x != ex || y != ey; x += sx, y += sy) set(x, y, c);
    }
    // The tile's colour (x mod tw, y mod th) at every pixel of the box.
    void tile(float x1, float y1, float x2, float y2, const std::vector<QRgb>& tile, int tw, int th) {
        const auto [a, b] = Sorted(x1, x2);
        const auto [t, u] = Sorted(y1, y2);
        for (int y = std::max(t, 0); y < u; ++y)
            for (int x = std::max(a, 0); x < b; ++x) set(x, y, tile[static_cast<size_t>((y % th) * tw + x % tw)]);
    }
    void copyRows(int src, int rows, int dst) {
        for (int i = 0; i < rows; ++i)
            if (src + i >= 0 && dst + i >= 0 && src + i < image_.height() && dst + i < image_.height())
                for (int x = 0; x < image_.width(); ++x) image_.setPixel(x, dst + i, image_.pixel(x, src + i));
    }

private:
    static std::pair<int, int> Sorted(float p, float q) {
        const int a = DrawingSurface::toPixel(p), b = DrawingSurface::toPixel(q);
        return {std::min(a, b), std::max(a, b)};
    }
    void set(int x, int y, QRgb c) {
        if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height()) image_.setPixel(x, y, c);
    }
    QImage image_;
};

class DrawingSurfaceComposition : public ::testing::TestWithParam<QSize> {};

// Boxes and lines in any order, anywhere, composed by the surface and
// written once at the end (or at a random read), against the plain image.
TEST_P(DrawingSurfaceComposition, BoxesAndLinesGiveThePixelsOfThePlainDrawing) {
    const QSize size = GetParam();
    const int w = size.width(), h = size.height();
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    QRandomGenerator rng(0xb0c5u + static_cast<quint32>(w * 7 + h));
    auto coord = [&](int n) {
        return rng.bounded(3) == 0 ? RandomCoord(rng, n) : static_cast<float>(rng.bounded(n + 1)) + 0.25f * rng.bounded(4);
    };
    const int sequences = w * h > 100000 ? 6 : 60;
    for (int sequence = 0; sequence < sequences; ++sequence) {
        DrawingSurface s(size);
        PlainCanvas plain(size);
        std::string trail;
        for (int step = 0; step < 30; ++step) {
            const QRgb c = RandomColour(rng) | 0xff000000u;
            const float x1 = coord(w), x2 = coord(w), y1 = coord(h), y2 = coord(h);
            const float thin = y1 + static_cast<float>(rng.bounded(3));
            switch (rng.bounded(12)) {
            case 0: trail += "clear; "; s.setBackColor(c); plain.clear(c); break;
            case 1: trail += "box; "; s.filledBox(x1, y1, x2, y2, c); plain.filledBox(x1, y1, x2, y2, c); break;
            case 2: trail += "band; "; s.filledBox(x1, -1.0f, x2, fh, c); plain.filledBox(x1, -1.0f, x2, fh, c); break;
            case 3: trail += "rows; "; s.filledBox(0.0f, y1, fw, y2, c); plain.filledBox(0.0f, y1, fw, y2, c); break;
            case 4: trail += "thin; "; s.filledBox(x1, y1, x2, thin, c); plain.filledBox(x1, y1, x2, thin, c); break;
            case 5: {
                trail += "outline; ";
                const bool solid = rng.bounded(2) == 1;
                const QRgb fill = RandomColour(rng) | 0xff000000u;
                s.setFillStyle(solid ? DrawingSurface::FillStyle::Solid : DrawingSurface::FillStyle::Transparent);
                s.setFillColor(fill);
                s.box(x1, y1, x2, y2, c);
                plain.box(x1, y1, x2, y2, c, solid, fill);
                break;
            }
            case 6: trail += "hline; "; s.line(x1, y1, x2, y1, c); plain.line(x1, y1, x2, y1, c); break;
            case 7: trail += "vline; "; s.line(x1, y1, x1, y2, c); plain.line(x1, y1, x1, y2, c); break;
            case 8: trail += "full vline; "; s.line(x1, 0.0f, x1, fh, c); plain.line(x1, 0.0f, x1, fh, c); break;
            case 9: {
                const int src = rng.bounded(h + 2) - 1, rows = rng.bounded(h / 4 + 2), dst = rng.bounded(h + 2) - 1;
                trail += "copyRows; ";
                s.copyRows(src, rows, dst);
                plain.copyRows(src, rows, dst);
                break;
            }
            case 10: trail += "image; "; s.image(); break;
            default: {
                const int y = rng.bounded(h);
                const int y3 = std::min(h, y + 3);
                const QRgb want = plain.image().pixel(0, y);
                bool alike = true;
                for (int r = y; r < y3 && alike; ++r)
                    for (int x = 0; x < w && alike; ++x) alike = plain.image().pixel(x, r) == want;
                ASSERT_EQ(s.rowsAre(y, y3, want), alike) << "rows from " << y << " after: " << trail;
            }
            }
            const int px = rng.bounded(w), py = rng.bounded(h);
            ASSERT_EQ(s.pixel(static_cast<float>(px), static_cast<float>(py)), plain.image().pixel(px, py))
                << "pixel (" << px << ", " << py << ") after: " << trail;
        }
        const QImage& got = s.image();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(got.pixel(x, y), plain.image().pixel(x, y)) << "pixel (" << x << ", " << y << ") after: " << trail;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DrawingSurfaceComposition,
                         ::testing::Values(QSize(1, 1), QSize(5, 700), QSize(37, 23), QSize(64, 48), QSize(1100, 700),
                                           QSize(1366, 768)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" + std::to_string(info.param.height());
                         });

// Tiles laid over deferred fills, bands and boxes, whole or in part: the
// tile's phase follows the image's top-left pixel, whatever box it fills,
// and the box is what the surface reports touched.
TEST(DrawingSurfaceDeferralTiles, TiledBoxesGiveThePixelsOfThePlainDrawing) {
    QRandomGenerator rng(0x711e5u);
    for (const QSize size : {QSize(1, 1), QSize(7, 5), QSize(37, 23), QSize(64, 48)}) {
        const int w = size.width(), h = size.height();
        const float fw = static_cast<float>(w), fh = static_cast<float>(h);
        for (int sequence = 0; sequence < 40; ++sequence) {
            DrawingSurface s(size);
            PlainCanvas plain(size);
            std::string trail;
            for (int step = 0; step < 12; ++step) {
                const QRgb c = RandomColour(rng) | 0xff000000u;
                const float x1 = RandomCoord(rng, w), x2 = RandomCoord(rng, w);
                const float y1 = RandomCoord(rng, h), y2 = RandomCoord(rng, h);
                switch (rng.bounded(4)) {
                case 0: trail += "clear; "; s.setBackColor(c); plain.clear(c); break;
                case 1:
                    trail += "band; ";
                    s.filledBox(x1, 0.0f, x2, fh, c);
                    plain.filledBox(x1, 0.0f, x2, fh, c);
                    break;
                case 2:
                    trail += "box; ";
                    s.filledBox(x1, y1, x2, y2, c);
                    plain.filledBox(x1, y1, x2, y2, c);
                    break;
                default: {
                    const int tw = 1 + rng.bounded(4), th = 1 + rng.bounded(3);
                    std::vector<QRgb> tile(static_cast<size_t>(tw * th));
                    for (QRgb& t : tile) t = RandomColour(rng) | 0xff000000u;
                    const bool whole = rng.bounded(2) == 1;
                    const float a = whole ? 0.0f : x1, b = whole ? fw : x2, t = whole ? 0.0f : y1, u = whole ? fh : y2;
                    trail += "tile " + std::to_string(tw) + "x" + std::to_string(th) + "; ";
                    s.takeDirty();
                    s.tiledBox(a, t, b, u, tile.data(), tw, th);
                    plain.tile(a, t, b, u, tile, tw, th);
                    const int l = DrawingSurface::toPixel(a), r = DrawingSurface::toPixel(b);
                    const int top = DrawingSurface::toPixel(t), bottom = DrawingSurface::toPixel(u);
                    const QRect box = QRect(QPoint(std::min(l, r), std::min(top, bottom)),
                                            QPoint(std::max(l, r) - 1, std::max(top, bottom) - 1)) &
                                      QRect(QPoint(0, 0), size);
                    ASSERT_EQ(s.takeDirty(), box.isEmpty() ? QRect() : box) << "after: " << trail;
                }
                }
                const int px = rng.bounded(w), py = rng.bounded(h);
                ASSERT_EQ(s.pixel(static_cast<float>(px), static_cast<float>(py)), plain.image().pixel(px, py))
                    << "pixel (" << px << ", " << py << ") after: " << trail;
            }
            ASSERT_EQ(test::FirstDifference(s.image(), plain.image()), "") << "after: " << trail;
        }
    }
}

TEST(DrawingSurfaceDeferralRows, BandsOnAClearedImageFillEveryRowAlike) {
    DrawingSurface s(QSize(9, 5));
    s.setBackColor(qRgb(1, 2, 3));
    s.filledBox(2.0f, 0.0f, 4.0f, 5.0f, qRgb(255, 0, 0));
    s.line(6.0f, 0.0f, 6.0f, 5.0f, qRgb(0, 255, 0));
    EXPECT_EQ(s.pixel(3.0f, 4.0f), qRgb(255, 0, 0) | 0xff000000u);
    EXPECT_EQ(test::FirstDifference(s.image(), test::Picture(s.size(), [](int x, int) {
                  return x == 2 || x == 3 ? qRgb(255, 0, 0) : x == 6 ? qRgb(0, 255, 0) : qRgb(1, 2, 3);
              })), "");
    // Drawing on after the image was written changes only what it touches.
    s.filledBox(0.0f, 0.0f, 9.0f, 5.0f, qRgb(9, 9, 9));
    s.filledBox(0.0f, 2.0f, 9.0f, 3.0f, qRgb(7, 7, 7));
    EXPECT_EQ(s.image().pixel(4, 2), qRgb(7, 7, 7));
    EXPECT_EQ(s.image().pixel(4, 1), qRgb(9, 9, 9));
}

TEST(DrawingSurfaceDeferralRows, LineRastersOfEveryPeriodAreWrittenExactly) {
    // Rows of every third column, every fifth and so on take the surface's
    // repeating-block path when the image is written; widths that are and
    // are not multiples of the block.
    for (int width : {1, 3, 12, 47, 64, 101}) {
        for (int period = 1; period <= 18; ++period) {
            DrawingSurface s(QSize(width, 3));
            s.setBackColor(qRgb(0, 0, 0));
            for (int x = 1; x < width; x += period)
                s.line(static_cast<float>(x), 0.0f, static_cast<float>(x), 3.0f, qRgb(255, 255, 255));
            EXPECT_EQ(test::FirstDifference(s.image(), test::Picture(s.size(), [&](int x, int) {
                          return x >= 1 && (x - 1) % period == 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
                      })), "") << "width " << width << ", period " << period;
        }
    }
}

} // namespace
