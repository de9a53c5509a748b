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

// Sets n pixels to one colour. The 16-byte block copies become vector
// stores at any optimisation level, where a plain loop is vectorised only
// at the highest; filling is what the surface spends its time on.
void FillPixels(QRgb* p, qsizetype n, QRgb c) {
    const QRgb block[4] = {c, c, c, c};
    qsizetype i = 0;
    for (; i + 16 <= n; i += 16) {
        std::memcpy(p + i, block, sizeof block);
        std::memcpy(p + i + 4, block, sizeof block);
        std::memcpy(p + i + 8, block, sizeof block);
        std::memcpy(p + i + 12, block, sizeof block);
    }
    for (; i + 4 <= n; i += 4) std::memcpy(p + i, block, sizeof block);
    for (; i < n; ++i) p[i] = c;
}

// Fills a rectangle of `image`, given inside it, with one colour. Large
// areas go through QImage::fill on a view of the rectangle, which uses the
// widest vector stores the processor has; small ones, for which making the
// view would cost more than it saves, are filled here.
void FillArea(QImage& image, int x, int y, int w, int h, QRgb c) {
    if (w <= 0 || h <= 0) return;
    const qsizetype stride = image.bytesPerLine();
    uchar* first = image.bits() + y * stride + static_cast<qsizetype>(x) * static_cast<qsizetype>(sizeof(QRgb));
    constexpr qsizetype kViewArea = 16384; // pixels
    if (static_cast<qsizetype>(w) * h >= kViewArea) {
        QImage view(first, w, h, stride, QImage::Format_RGB32);
        view.fill(c);
        return;
    }
    for (int r = 0; r < h; ++r) FillPixels(reinterpret_cast<QRgb*>(first + r * stride), w, c);
}

// The shortest period, up to 16 pixels, with which `row` repeats, or 0.
qsizetype RowPeriod(const std::vector<QRgb>& row) {
    for (size_t p = 1; p <= 16 && p < row.size(); ++p) {
        size_t x = p;
        while (x < row.size() && row[x] == row[x - p]) ++x;
        if (x == row.size()) return static_cast<qsizetype>(p);
    }
    return 0;
}

// Writes `row` (one image width long) to every row of `image`. Written
// as fills of runs or of a short repeating block, which keep to the speed
// of a plain fill; a copy of a whole row is the fallback, about half as
// fast once the image is larger than the caches.
void WriteRowToEveryRow(QImage& image, const std::vector<QRgb>& row) {
    struct Run {
        qsizetype x;
        qsizetype n;
        QRgb color;
    };
    const qsizetype width = static_cast<qsizetype>(row.size());
    std::vector<Run> runs;
    for (qsizetype x = 0; x < width;) {
        qsizetype end = x + 1;
        while (end < width && row[static_cast<size_t>(end)] == row[static_cast<size_t>(x)]) ++end;
        runs.push_back({x, end - x, row[static_cast<size_t>(x)]});
        x = end;
    }
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    constexpr qsizetype kShortestMeanRun = 32; // pixels
    const bool fewRuns = static_cast<qsizetype>(runs.size()) * kShortestMeanRun <= width;
    // Of a few runs, the colour seven eighths of the row have, if any.
    std::optional<QRgb> field;
    for (size_t i = 0; fewRuns && !field && i < runs.size(); ++i) {
        qsizetype count = 0;
        for (const Run& o : runs)
            if (o.color == runs[i].color) count += o.n;
        if (count * 8 >= width * 7) field = runs[i].color;
    }
    if (field) {
        // A few lines on a field: the field in one fill, then the lines.
        image.fill(*field);
        for (const Run& r : runs)
            if (r.color != *field) FillArea(image, static_cast<int>(r.x), 0, static_cast<int>(r.n), image.height(), r.color);
    } else if (fewRuns) {
        // Bands: a few long runs.
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
            for (const Run& r : runs) FillPixels(line + r.x, r.n, r.color);
        }
    } else if (const qsizetype period = RowPeriod(row); period > 0) {
        // Rasters: a block of whole periods and whole 16-byte groups.
        const qsizetype block = 4 * period;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
            qsizetype i = 0;
            for (; i + block <= width; i += block) {
                for (qsizetype k = 0; k < block; k += 4) std::memcpy(line + i + k, row.data() + k, 4 * sizeof(QRgb));
            }
            for (; i < width; ++i) line[i] = row[static_cast<size_t>(i)];
        }
    } else {
        const size_t bytes = row.size() * sizeof(QRgb);
        for (int y = 0; y < image.height(); ++y) std::memcpy(bits + y * stride, row.data(), bytes);
    }
}
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
    image_ = QImage(size_, QImage::Format_RGB32);
    // A picture of the screen that cannot be allocated is the run-time
    // error "Out of memory", never a later write through a null image.
    if (image_.isNull() && !size_.isEmpty()) numeric::Raise(numeric::RuntimeError::OutOfMemory);
    const int dpm = qRound(dpi_ / 0.0254);
    image_.setDotsPerMeterX(dpm);
    image_.setDotsPerMeterY(dpm);
    rowWritten_.assign(static_cast<size_t>(size_.height()), 0);
    rowsWritten_ = 0;
    deferClear(backColor_);
    dirty_ = QRect(QPoint(0, 0), size_);
}

int DrawingSurface::toPixel(float v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -kCoordLimit, kCoordLimit);
    return static_cast<int>(std::nearbyint(v)); // default mode: ties to even
}

void DrawingSurface::deferClear(QRgb color) {
    pendingClear_ = color;
    pendingRow_.clear();
    rowsVary_ = false;
    if (rowsWritten_ > 0) {
        std::fill(rowWritten_.begin(), rowWritten_.end(), 0);
        rowsWritten_ = 0;
    }
}

void DrawingSurface::materialise() {
    if (pendingClear_) {
        if (rowsWritten_ == 0 && !rowsVary_) {
            if (!image_.isNull()) image_.fill(*pendingClear_);
        } else {
            // The rows no drawing has written, in bands of adjacent rows of
            // one colour.
            for (int y = 0; y < height();) {
                if (rowWritten_[static_cast<size_t>(y)]) {
                    ++y;
                    continue;
                }
                const QRgb colour = unwrittenColour(y);
                int end = y + 1;
                while (end < height() && !rowWritten_[static_cast<size_t>(end)] && unwrittenColour(end) == colour)
                    ++end;
                FillArea(image_, 0, y, width(), end - y, colour);
                y = end;
            }
            std::fill(rowWritten_.begin(), rowWritten_.end(), 0);
            rowsWritten_ = 0;
            rowsVary_ = false;
        }
        pendingClear_.reset();
    } else if (!pendingRow_.empty()) {
        WriteRowToEveryRow(image_, pendingRow_);
        pendingRow_.clear();
    }
}

const QImage& DrawingSurface::image() {
    materialise();
    return image_;
}

std::optional<QRgb> DrawingSurface::pixel(float x, float y) {
    const int px = toPixel(x), py = toPixel(y);
    if (px < 0 || py < 0 || px >= width() || py >= height()) return std::nullopt;
    if (pendingClear_ && !rowWritten_[static_cast<size_t>(py)]) return unwrittenColour(py);
    if (!pendingRow_.empty()) return pendingRow_[static_cast<size_t>(px)];
    return image_.pixel(px, py) | 0xff000000u;
}

void DrawingSurface::setBackColor(QRgb color) {
    backColor_ = color | 0xff000000u;
    clear();
}

void DrawingSurface::clear() {
    // Deferred: a clear followed by another clear or a new background
    // colour writes the image only once.
    deferClear(backColor_);
    dirty_ = QRect(QPoint(0, 0), size_);
    currentX_ = 0.0f;
    currentY_ = 0.0f;
}

void DrawingSurface::fillRect(int x0, int y0, int x1, int y1, QRgb color) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width());
    y1 = std::min(y1, height());
    if (x0 >= x1 || y0 >= y1) return;
    const QRgb c = color | 0xff000000u;
    if (x0 == 0 && y0 == 0 && x1 == width() && y1 == height()) {
        deferClear(c); // whole image: one deferred fill
        touch(QRect(0, 0, width(), height()));
        return;
    }
    const int n = x1 - x0;
    if (y0 == 0 && y1 == height() && ((pendingClear_ && rowsWritten_ == 0 && !rowsVary_) || !pendingRow_.empty())) {
        // A full-height box on an image whose rows are all alike keeps
        // them alike: paint the one row and write the image later, once.
        if (pendingClear_) {
            pendingRow_.assign(static_cast<size_t>(width()), *pendingClear_);
            pendingClear_.reset();
        }
        std::fill_n(pendingRow_.begin() + x0, n, c);
        touch(QRect(x0, y0, n, y1 - y0));
        return;
    }
    if (!pendingRow_.empty()) materialise();
    touch(QRect(x0, y0, n, y1 - y0));
    if (!pendingClear_) {
        FillArea(image_, x0, y0, n, y1 - y0, c);
        return;
    }
    // The first drawing on a row of a cleared image writes the whole row,
    // once: the clear colour beside the box. Bands of adjacent rows alike.
    for (int y = y0; y < y1;) {
        const unsigned char written = rowWritten_[static_cast<size_t>(y)];
        int end = y + 1;
        while (end < y1 && rowWritten_[static_cast<size_t>(end)] == written) ++end;
        if (written) {
            FillArea(image_, x0, y, n, end - y, c);
        } else if (n == width()) {
            // Whole rows not yet written only change their colour.
            if (!rowsVary_) {
                rowColour_.assign(static_cast<size_t>(height()), *pendingClear_);
                rowsVary_ = true;
            }
            std::fill(rowColour_.begin() + y, rowColour_.begin() + end, c);
        } else {
            const qsizetype stride = image_.bytesPerLine();
            uchar* bits = image_.bits();
            for (int a = y; a < end;) {
                const QRgb around = unwrittenColour(a);
                int b = a + 1;
                while (b < end && unwrittenColour(b) == around) ++b;
                if (static_cast<qsizetype>(n) * 8 <= width()) {
                    // A narrow box (a frame's side, a line): the whole rows
                    // in one fill, then the box over them.
                    FillArea(image_, 0, a, width(), b - a, around);
                    FillArea(image_, x0, a, n, b - a, c);
                } else {
                    // Row after row: filling the three parts as blocks of
                    // columns would walk the memory three times with long
                    // strides.
                    for (int r = a; r < b; ++r) {
                        auto* line = reinterpret_cast<QRgb*>(bits + r * stride);
                        FillPixels(line, x0, around);
                        FillPixels(line + x0, n, c);
                        FillPixels(line + x1, width() - x1, around);
                    }
                }
                a = b;
            }
        }
        if (!written && n != width()) {
            std::fill(rowWritten_.begin() + y, rowWritten_.begin() + end, 1);
            rowsWritten_ += end - y;
        }
        y = end;
    }
    if (rowsWritten_ == height()) materialise(); // nothing left to write
}

void DrawingSurface::hspan(int x0, int x1, int y, QRgb color) { fillRect(x0, y, x1, y + 1, color); }
void DrawingSurface::vspan(int x, int y0, int y1, QRgb color) { fillRect(x, y0, x + 1, y1, color); }

void DrawingSurface::filledBox(float x1, float y1, float x2, float y2, QRgb color) {
    int a = toPixel(x1), b = toPixel(x2), c = toPixel(y1), d = toPixel(y2);
    if (a > b) std::swap(a, b);
    if (c > d) std::swap(c, d);
    fillRect(a, c, b, d, color);
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
    // General direction: Bresenham, end pixel excluded.
    materialise();
    const long long dx = std::llabs(static_cast<long long>(bx) - ax);
    const long long dy = -std::llabs(static_cast<long long>(by) - ay);
    const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    long long err = dx + dy;
    const QRgb c = color | 0xff000000u;
    QRect touched;
    while (!(ax == bx && ay == by)) {
        if (ax >= 0 && ay >= 0 && ax < width() && ay < height()) {
            reinterpret_cast<QRgb*>(image_.scanLine(ay))[ax] = c;
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
    font_ = font;
    font_.setStyleStrategy(QFont::NoSubpixelAntialias);
}

void DrawingSurface::setFontSize(qreal points) { font_.setPointSizeF(points); }

QFontMetricsF DrawingSurface::metrics() const {
    // Metrics in this surface's pixels: point sizes resolve through the
    // image's logical DPI, as they do when painting on it.
    return QFontMetricsF(font_, &metricsDevice_);
}

qreal DrawingSurface::textWidth(const QString& text) const {
    return metrics().horizontalAdvance(text);
}

DrawingSurface::TextCell DrawingSurface::textCell(const QFontMetricsF& fm) const {
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
    return {ascent, ascent + descent};
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
                materialise();
                QPainter p(&image_);
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
    materialise();
    for (int i = 0; i < rows; ++i) {
        const int s = srcTop + i, d = dstTop + i;
        if (s < 0 || d < 0 || s >= height() || d >= height()) continue;
        std::memcpy(image_.scanLine(d), image_.constScanLine(s), static_cast<size_t>(image_.bytesPerLine()));
        touch(QRect(0, d, width(), 1));
    }
}

QRect DrawingSurface::takeDirty() {
    const QRect r = dirty_;
    dirty_ = QRect();
    return r;
}
