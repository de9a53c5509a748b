#include "session/drawing_surface.h"

#include "session/numeric.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
// Keeps far-away coordinates in a range where integer arithmetic is safe;
// anything this far out is clipped anyway.
constexpr float kCoordLimit = 1.0e8f;
} // namespace

DrawingSurface::DrawingSurface(QSize size, qreal logicalDpi) : dpi_(logicalDpi) {
    font_.setStyleStrategy(QFont::NoSubpixelAntialias);
    metricsDevice_ = QImage(1, 1, QImage::Format_RGB32);
    const int dpm = qRound(dpi_ / 0.0254);
    metricsDevice_.setDotsPerMeterX(dpm);
    metricsDevice_.setDotsPerMeterY(dpm);
    resize(size);
}

void DrawingSurface::resize(QSize size) {
    size_ = size.isValid() ? size : QSize(0, 0);
    pixels_.resize(size_, dpi_, backColor_);
    dirty_ = QRect(QPoint(0, 0), size_);
}

int DrawingSurface::toPixel(float v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -kCoordLimit, kCoordLimit);
    return static_cast<int>(std::nearbyint(v)); // default mode: ties to even
}

const QImage& DrawingSurface::image() { return pixels_.image(); }

std::optional<QRgb> DrawingSurface::pixel(float x, float y) {
    const int px = toPixel(x), py = toPixel(y);
    if (px < 0 || py < 0 || px >= width() || py >= height()) return std::nullopt;
    return pixels_.pixel(px, py);
}

void DrawingSurface::setBackColor(QRgb color) {
    backColor_ = color | 0xff000000u;
    clear();
}

void DrawingSurface::clear() {
    // Deferred: a clear followed by another clear or a new background
    // colour writes the image only once.
    pixels_.fill(backColor_);
    dirty_ = QRect(QPoint(0, 0), size_);
}

void DrawingSurface::fillRect(int x0, int y0, int x1, int y1, QRgb color) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width());
    y1 = std::min(y1, height());
    if (x0 >= x1 || y0 >= y1) return;
    pixels_.fillRect(x0, y0, x1, y1, color);
    touch(QRect(x0, y0, x1 - x0, y1 - y0));
}

void DrawingSurface::hspan(int x0, int x1, int y, QRgb color) { fillRect(x0, y, x1, y + 1, color); }
void DrawingSurface::vspan(int x, int y0, int y1, QRgb color) { fillRect(x, y0, x + 1, y1, color); }

void DrawingSurface::filledBox(float x1, float y1, float x2, float y2, QRgb color) {
    int a = toPixel(x1), b = toPixel(x2), c = toPixel(y1), d = toPixel(y2);
    if (a > b) std::swap(a, b);
    if (c > d) std::swap(c, d);
    fillRect(a, c, b, d, color);
}

void DrawingSurface::tiledBox(float x1, float y1, float x2, float y2, const QRgb* tile, int tileWidth,
                              int tileHeight) {
    int a = toPixel(x1), b = toPixel(x2), c = toPixel(y1), d = toPixel(y2);
    if (a > b) std::swap(a, b);
    if (c > d) std::swap(c, d);
    a = std::max(a, 0);
    c = std::max(c, 0);
    b = std::min(b, width());
    d = std::min(d, height());
    if (a >= b || c >= d || tile == nullptr || tileWidth < 1 || tileHeight < 1) return;
    pixels_.fillTiled(a, c, b, d, tile, tileWidth, tileHeight);
    touch(QRect(a, c, b - a, d - c));
}

void DrawingSurface::box(float x1, float y1, float x2, float y2, QRgb color) {
    int a = toPixel(x1), b = toPixel(x2), c = toPixel(y1), d = toPixel(y2);
    if (a > b) std::swap(a, b);
    if (c > d) std::swap(c, d);
    if (fillStyle_ == FillStyle::Solid) fillRect(a + 1, c + 1, b, d, fillColor_);
    hspan(a, b + 1, c, color);
    hspan(a, b + 1, d, color);
    vspan(a, c, d + 1, color);
    vspan(b, c, d + 1, color);
}

void DrawingSurface::line(float x1, float y1, float x2, float y2, QRgb color) {
    int ax = toPixel(x1), ay = toPixel(y1);
    const int bx = toPixel(x2), by = toPixel(y2);
    if (ay == by) { // horizontal: from the start up to, not including, the end
        if (ax < bx) hspan(ax, bx, ay, color);
        else if (ax > bx) hspan(bx + 1, ax + 1, ay, color);
        return;
    }
    if (ax == bx) {
        if (ay < by) vspan(ax, ay, by, color);
        else vspan(ax, by + 1, ay + 1, color);
        return;
    }
    // General direction: Bresenham, end pixel excluded, on the rows between
    // the ends.
    QImage& image = pixels_.writableRows(std::min(ay, by), std::max(ay, by) + 1);
    const long long dx = std::llabs(static_cast<long long>(bx) - ax);
    const long long dy = -std::llabs(static_cast<long long>(by) - ay);
    const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    long long err = dx + dy;
    const QRgb c = color | 0xff000000u;
    QRect touched;
    while (!(ax == bx && ay == by)) {
        if (ax >= 0 && ay >= 0 && ax < width() && ay < height()) {
            reinterpret_cast<QRgb*>(image.scanLine(ay))[ax] = c;
            touched |= QRect(ax, ay, 1, 1);
        }
        const long long e2 = 2 * err;
        if (e2 >= dy) { err += dy; ax += sx; }
        if (e2 <= dx) { err += dx; ay += sy; }
    }
    touch(touched);
}

void DrawingSurface::circle(float cx, float cy, float radius, QRgb color) {
    const int x0 = toPixel(cx), y0 = toPixel(cy);
    const long long r = std::llabs(static_cast<long long>(toPixel(radius)));
    const long long limit = r * (r + 1);
    // Half-width of the disc on row dy, or -1 where the row is outside it.
    auto halfWidth = [&](long long dy) -> long long {
        if (dy < -r || dy > r) return -1;
        long long w = static_cast<long long>(std::sqrt(static_cast<double>(limit - dy * dy)));
        while (w * w + dy * dy > limit) --w;
        while ((w + 1) * (w + 1) + dy * dy <= limit) ++w;
        return w;
    };
    for (long long dy = -r; dy <= r; ++dy) {
        const long long w = halfWidth(dy);
        const long long inner = std::min(halfWidth(dy - 1), halfWidth(dy + 1));
        const int y = static_cast<int>(y0 + dy);
        // Pixels with |dx| <= inner have both vertical neighbours inside;
        // |dx| == w has a horizontal neighbour outside.
        const long long in = std::min(inner, w - 1);
        if (fillStyle_ == FillStyle::Solid && in >= 0)
            hspan(static_cast<int>(x0 - in), static_cast<int>(x0 + in + 1), y, fillColor_);
        if (in < 0) {
            hspan(static_cast<int>(x0 - w), static_cast<int>(x0 + w + 1), y, color);
        } else {
            hspan(static_cast<int>(x0 - w), static_cast<int>(x0 - in), y, color);
            hspan(static_cast<int>(x0 + in + 1), static_cast<int>(x0 + w + 1), y, color);
        }
    }
}

void DrawingSurface::setFont(const QFont& font) {
    cell_.reset();
    font_ = font;
    font_.setStyleStrategy(QFont::NoSubpixelAntialias);
}

void DrawingSurface::setFontSize(qreal points) {
    cell_.reset();
    font_.setPointSizeF(points);
}

QFontMetricsF DrawingSurface::metrics() const {
    // Metrics in this surface's pixels: point sizes resolve through the
    // image's logical DPI, as they do when painting on it.
    return QFontMetricsF(font_, &metricsDevice_);
}

qreal DrawingSurface::textWidth(const QString& text) const {
    return metrics().horizontalAdvance(text);
}

DrawingSurface::TextCell DrawingSurface::textCell(const QFontMetricsF& fm) const {
    if (cell_) return *cell_;
    qreal ascent = fm.ascent(), descent = fm.descent();
    // Some faces report a smaller ascent than their glyphs reach (UMing at
    // 13 pixels: 11 against 11.64); their Windows metrics hold the glyphs.
    QFont sized = font_;
    if (sized.pixelSize() <= 0) sized.setPixelSize(std::max(1, qRound(font_.pointSizeF() * dpi_ / 72.0)));
    const QRawFont raw = QRawFont::fromFont(sized);
    const QByteArray os2 = raw.isValid() ? raw.fontTable("OS/2") : QByteArray();
    if (os2.size() >= 78 && raw.unitsPerEm() > 0) {
        auto u16 = [&](int at) { return (static_cast<uchar>(os2[at]) << 8) | static_cast<uchar>(os2[at + 1]); };
        const qreal scale = raw.pixelSize() / raw.unitsPerEm();
        ascent = std::max(ascent, std::ceil(u16(74) * scale - 1e-9));  // usWinAscent
        descent = std::max(descent, std::ceil(u16(76) * scale - 1e-9)); // usWinDescent
    }
    cell_ = TextCell{ascent, ascent + descent};
    return *cell_;
}

qreal DrawingSurface::lineHeight() const { return textCell(metrics()).height; }

void DrawingSurface::print(const QString& text) {
    const QFontMetricsF fm = metrics();
    const TextCell cell = textCell(fm);
    const QRect bounds(QPoint(0, 0), size_);
    qsizetype start = 0;
    while (start <= text.size()) {
        const qsizetype nl = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype end = nl < 0 ? text.size() : nl;
        QString piece = text.mid(start, end - start);
        if (piece.endsWith(QLatin1Char('\r'))) piece.chop(1);
        if (!piece.isEmpty()) {
            const qreal advance = fm.horizontalAdvance(piece);
            const QPointF baseline(currentX_, currentY_ + cell.ascent);
            // The ink may overhang the advance; the touched area covers both.
            const QRect ink = (fm.boundingRect(piece).translated(baseline) |
                               QRectF(currentX_, currentY_, advance, cell.height))
                                  .toAlignedRect()
                                  .adjusted(-1, -1, 1, 1) & bounds;
            if (!ink.isEmpty()) {
                // The rows of the ink, with a line's height to spare, are
                // written before the text is drawn on them.
                const int spare = static_cast<int>(std::ceil(cell.height));
                QPainter p(&pixels_.writableRows(ink.top() - spare, ink.bottom() + 1 + spare));
                p.setFont(font_);
                p.setPen(QColor::fromRgb(foreColor_));
                p.drawText(baseline, piece);
                touch(ink);
            }
            currentX_ = static_cast<float>(currentX_ + advance);
        }
        if (nl < 0) break;
        currentX_ = 0.0f;
        currentY_ = static_cast<float>(currentY_ + cell.height);
        start = nl + 1;
    }
}

void DrawingSurface::copyRows(int srcTop, int rows, int dstTop) {
    // Pairs of rows inside the image: i from first to last.
    const long long src = srcTop, dst = dstTop, h = height();
    const long long first = std::max({0LL, -src, -dst});
    const long long last = std::min({static_cast<long long>(rows), h - src, h - dst});
    if (first >= last) return;
    const int n = static_cast<int>(last - first), to = static_cast<int>(dst + first);
    pixels_.copyRows(static_cast<int>(src + first), n, to);
    touch(QRect(0, to, width(), n));
}

bool DrawingSurface::rowsAre(int y0, int y1, QRgb color) const { return pixels_.rowsAre(y0, y1, color); }

QRect DrawingSurface::takeDirty() {
    const QRect r = dirty_;
    dirty_ = QRect();
    return r;
}
