#include "session/deferred_image.h"

#include "session/numeric.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

// Sets n pixels to one colour. Where a wide character is a 32-bit value,
// the C library's wmemset does it with the widest vector stores the
// processor has, whatever the optimisation level of this file.
void FillRun(QRgb* p, qsizetype n, QRgb c) {
    if constexpr (sizeof(wchar_t) == sizeof(QRgb)) {
        if (n >= 8) {
            std::wmemset(reinterpret_cast<wchar_t*>(p), static_cast<wchar_t>(c), static_cast<size_t>(n));
            return;
        }
    }
    for (qsizetype i = 0; i < n; ++i) p[i] = c;
}

QRgb* Row(QImage& image, int y) { return reinterpret_cast<QRgb*>(image.bits() + y * image.bytesPerLine()); }

// Fills a rectangle of `image`, given inside it, with one colour: the
// whole image through QImage::fill, whole rows of an image without padding
// in one run.
void FillArea(QImage& image, int x, int y, int w, int h, QRgb c) {
    if (w <= 0 || h <= 0) return;
    if (w == image.width() && h == image.height()) {
        image.fill(c); // the whole image: Qt's own fill
        return;
    }
    if (w == image.width() && image.bytesPerLine() == static_cast<qsizetype>(w) * 4) {
        FillRun(Row(image, y), static_cast<qsizetype>(w) * h, c);
        return;
    }
    uchar* line = reinterpret_cast<uchar*>(Row(image, y) + x);
    const qsizetype stride = image.bytesPerLine();
    for (int r = 0; r < h; ++r, line += stride) FillRun(reinterpret_cast<QRgb*>(line), w, c);
}

// Paints the columns [x0, x1) of a row held as spans in colour c. Spans
// stay sorted, cover the whole row and never repeat a colour side by side.
template <typename Spans>
void PaintSpan(Spans& spans, int x0, int x1, QRgb c) {
    using Span = typename Spans::value_type;
    // i: the span holding column x0; j: the span holding column x1 - 1.
    auto byEnd = [](const Span& s, int x) { return s.end < x; };
    qsizetype i = std::upper_bound(spans.begin(), spans.end(), x0, [](int x, const Span& s) { return x < s.end; }) -
                  spans.begin();
    qsizetype j = std::lower_bound(spans.begin() + i, spans.end(), x1, byEnd) - spans.begin();
    const int startI = i == 0 ? 0 : spans[static_cast<size_t>(i - 1)].end;
    Span fresh[3];
    int n = 0;
    if (startI < x0 && spans[static_cast<size_t>(i)].color != c) fresh[n++] = {x0, spans[static_cast<size_t>(i)].color};
    qsizetype from = i;
    if (startI == x0 && i > 0 && spans[static_cast<size_t>(i - 1)].color == c) --from; // joins the span on its left
    int end = x1;
    qsizetype to = j + 1;
    const Span& last = spans[static_cast<size_t>(j)];
    if (last.color == c) {
        end = last.end;
    } else if (last.end > x1) {
        // the rest of the last span stays after the new one
    } else if (to < static_cast<qsizetype>(spans.size()) && spans[static_cast<size_t>(to)].color == c) {
        end = spans[static_cast<size_t>(to)].end; // joins the span on its right
        ++to;
    }
    fresh[n++] = {end, c};
    if (last.end > end) fresh[n++] = {last.end, last.color};
    // Replace spans [from, to) by fresh[0, n).
    const qsizetype old = to - from;
    if (old < n) spans.insert(spans.begin() + to, static_cast<size_t>(n - old), Span{});
    else if (old > n) spans.erase(spans.begin() + from + n, spans.begin() + to);
    std::copy(fresh, fresh + n, spans.begin() + from);
}

// Rows at most this high, narrower than the image, are written out before
// they are drawn on instead of being composed: a circle's rows, short
// lines. Composing them would cut the bands into single rows.
constexpr int kThinRows = 2;

} // namespace

void DeferredImage::resize(QSize size, qreal dpi, QRgb color) {
    image_ = QImage(size, QImage::Format_RGB32);
    // A picture of the screen that cannot be allocated is the run-time
    // error "Out of memory", never a later write through a null image.
    if (image_.isNull() && !size.isEmpty()) numeric::Raise(numeric::RuntimeError::OutOfMemory);
    const int dpm = qRound(dpi / 0.0254);
    image_.setDotsPerMeterX(dpm);
    image_.setDotsPerMeterY(dpm);
    rowWritten_.assign(static_cast<size_t>(std::max(0, height())), 0);
    rowsWritten_ = 0;
    fill(color);
}

int DeferredImage::newList() {
    if (listsUsed_ == static_cast<int>(lists_.size())) lists_.emplace_back();
    return listsUsed_++;
}

void DeferredImage::fill(QRgb color) {
    if (rowsWritten_ > 0) {
        std::fill(rowWritten_.begin(), rowWritten_.end(), 0);
        rowsWritten_ = 0;
    }
    deferred_ = !image_.isNull();
    if (!deferred_) return;
    listsUsed_ = 0;
    const int list = newList();
    lists_[static_cast<size_t>(list)].assign(1, Span{width(), color | 0xff000000u});
    bands_.assign(1, Band{0, list});
}

int DeferredImage::bandAt(int y) const {
    if (bands_.back().top <= y) return static_cast<int>(bands_.size()) - 1;
    return static_cast<int>(std::upper_bound(bands_.begin(), bands_.end(), y,
                                             [](int row, const Band& b) { return row < b.top; }) -
                            bands_.begin()) -
           1;
}

int DeferredImage::splitAt(int y) {
    if (y >= height()) return static_cast<int>(bands_.size());
    const int b = bandAt(y);
    if (bands_[static_cast<size_t>(b)].top == y) return b;
    const int copy = newList();
    lists_[static_cast<size_t>(copy)] = lists_[static_cast<size_t>(bands_[static_cast<size_t>(b)].list)];
    bands_.insert(bands_.begin() + b + 1, Band{y, copy});
    return b + 1;
}

void DeferredImage::deferRect(int x0, int y0, int x1, int y1, QRgb c) {
    const int first = splitAt(y0);
    const int last = splitAt(y1);
    if (x0 == 0 && x1 == width()) {
        // Whole rows: one band of one colour.
        SpanList& spans = lists_[static_cast<size_t>(bands_[static_cast<size_t>(first)].list)];
        spans.assign(1, Span{width(), c});
        bands_.erase(bands_.begin() + first + 1, bands_.begin() + last);
        return;
    }
    for (int b = first; b < last; ++b) PaintSpan(lists_[static_cast<size_t>(bands_[static_cast<size_t>(b)].list)], x0, x1, c);
}

void DeferredImage::writeBandRows(const SpanList& spans, int y0, int y1) {
    if (y0 >= y1) return;
    QRgb* first = Row(image_, y0);
    const qsizetype stride = image_.bytesPerLine();
    if (spans.size() == 1) {
        FillArea(image_, 0, y0, width(), y1 - y0, spans.front().color);
        return;
    }
    int x = 0;
    for (const Span& s : spans) {
        FillRun(first + x, s.end - x, s.color);
        x = s.end;
    }
    // The other rows of the band are the same: copies of the first.
    const size_t bytes = static_cast<size_t>(width()) * sizeof(QRgb);
    auto* line = reinterpret_cast<uchar*>(first);
    for (int y = y0 + 1; y < y1; ++y) {
        line += stride;
        std::memcpy(line, first, bytes);
    }
}

void DeferredImage::markWritten(int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
        unsigned char& w = rowWritten_[static_cast<size_t>(y)];
        rowsWritten_ += !w;
        w = 1;
    }
}

void DeferredImage::writeUnwritten(const SpanList& spans, int y0, int y1) {
    if (rowsWritten_ == 0) {
        writeBandRows(spans, y0, y1);
        return;
    }
    for (int y = y0; y < y1;) {
        if (rowWritten_[static_cast<size_t>(y)]) {
            ++y;
            continue;
        }
        int end = y + 1;
        while (end < y1 && !rowWritten_[static_cast<size_t>(end)]) ++end;
        writeBandRows(spans, y, end);
        y = end;
    }
}

void DeferredImage::writeRows(int y0, int y1) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, height());
    if (!deferred_ || y0 >= y1) return;
    const int count = static_cast<int>(bands_.size());
    for (int b = bandAt(y0); b < count && bands_[static_cast<size_t>(b)].top < y1; ++b) {
        const int top = std::max(y0, bands_[static_cast<size_t>(b)].top);
        const int bottom = std::min(y1, bandBottom(b));
        writeUnwritten(lists_[static_cast<size_t>(bands_[static_cast<size_t>(b)].list)], top, bottom);
    }
    markWritten(y0, y1);
    if (rowsWritten_ == height()) finish();
}

void DeferredImage::finish() {
    if (deferred_) {
        for (int b = 0; b < static_cast<int>(bands_.size()); ++b)
            writeUnwritten(lists_[static_cast<size_t>(bands_[static_cast<size_t>(b)].list)],
                           bands_[static_cast<size_t>(b)].top, bandBottom(b));
        deferred_ = false;
    }
    if (rowsWritten_ > 0) {
        std::fill(rowWritten_.begin(), rowWritten_.end(), 0);
        rowsWritten_ = 0;
    }
}

const QImage& DeferredImage::image() {
    finish();
    return image_;
}

QImage& DeferredImage::writable() {
    finish();
    return image_;
}

QImage& DeferredImage::writableRows(int y0, int y1) {
    writeRows(y0, y1);
    return image_;
}

QRgb DeferredImage::pixel(int x, int y) const {
    if (deferred_ && !rowWritten_[static_cast<size_t>(y)]) {
        const SpanList& spans = lists_[static_cast<size_t>(bands_[static_cast<size_t>(bandAt(y))].list)];
        return std::upper_bound(spans.begin(), spans.end(), x, [](int px, const Span& s) { return px < s.end; })->color;
    }
    return image_.pixel(x, y) | 0xff000000u;
}

bool DeferredImage::rowsAre(int y0, int y1, QRgb color) const {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, height());
    const QRgb want = color & 0xffffffu;
    const int w = width();
    for (int y = y0; y < y1; ++y) {
        if (deferred_ && !rowWritten_[static_cast<size_t>(y)]) {
            const SpanList& spans = lists_[static_cast<size_t>(bands_[static_cast<size_t>(bandAt(y))].list)];
            for (const Span& s : spans)
                if ((s.color & 0xffffffu) != want) return false;
            continue;
        }
        const auto* row = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if ((row[x] & 0xffffffu) != want) return false;
    }
    return true;
}

void DeferredImage::copyRows(int srcTop, int rows, int dstTop) {
    const size_t bytes = static_cast<size_t>(width()) * sizeof(QRgb);
    const qsizetype stride = image_.bytesPerLine();
    for (int i = 0; i < rows; ++i) {
        const int s = srcTop + i, d = dstTop + i;
        if (s == d || s < 0 || d < 0 || s >= height() || d >= height()) continue;
        if (deferred_ && !rowWritten_[static_cast<size_t>(s)]) writeRows(s, s + 1);
        if (deferred_) markWritten(d, d + 1); // wholly overwritten below, never from its band
        uchar* bits = image_.bits();
        std::memcpy(bits + d * stride, bits + s * stride, bytes);
        if (deferred_ && rowsWritten_ == height()) finish();
    }
}

void DeferredImage::fillRect(int x0, int y0, int x1, int y1, QRgb color) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width());
    y1 = std::min(y1, height());
    if (x0 >= x1 || y0 >= y1) return;
    const QRgb c = color | 0xff000000u;
    if (x0 == 0 && y0 == 0 && x1 == width() && y1 == height()) {
        fill(c); // whole image: one deferred fill
        return;
    }
    if (!deferred_) {
        FillArea(image_, x0, y0, x1 - x0, y1 - y0, c);
        return;
    }
    const bool wholeRows = x0 == 0 && x1 == width();
    for (int y = y0; y < y1;) {
        if (!deferred_) { // every row got written on the way
            FillArea(image_, x0, y, x1 - x0, y1 - y, c);
            return;
        }
        const unsigned char written = rowWritten_[static_cast<size_t>(y)];
        int end = y + 1;
        if (rowsWritten_ == 0) end = y1;
        else
            while (end < y1 && rowWritten_[static_cast<size_t>(end)] == written) ++end;
        if (!written && (wholeRows || end - y > kThinRows)) {
            deferRect(x0, y, x1, end, c);
        } else {
            if (!written) writeRows(y, end);
            FillArea(image_, x0, y, x1 - x0, end - y, c);
        }
        y = end;
    }
}

void DeferredImage::fillTiled(int x0, int y0, int x1, int y1, const QRgb* tile, int tileWidth, int tileHeight) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width());
    y1 = std::min(y1, height());
    if (x0 >= x1 || y0 >= y1 || tile == nullptr || tileWidth < 1 || tileHeight < 1) return;
    if (deferred_) {
        if (x0 == 0 && x1 == width()) markWritten(y0, y1); // wholly overwritten below
        else writeRows(y0, y1);
    }
    const int n = x1 - x0;
    const size_t bytes = static_cast<size_t>(n) * sizeof(QRgb);
    const int distinct = std::min(tileHeight, y1 - y0);
    for (int y = y0; y < y1; ++y) {
        QRgb* row = Row(image_, y) + x0;
        if (y - y0 >= distinct) {
            // A row seen before: the same phase of the tile as this one.
            std::memcpy(row, Row(image_, y0 + (y - y0) % tileHeight) + x0, bytes);
            continue;
        }
        const QRgb* colours = tile + static_cast<size_t>(y % tileHeight) * static_cast<size_t>(tileWidth);
        if (tileWidth == 1) {
            FillRun(row, n, colours[0] | 0xff000000u);
            continue;
        }
        // One period from the phase of column x0, then copies of what is
        // written so far, a whole number of periods each time.
        const int period = std::min(n, tileWidth);
        for (int i = 0; i < period; ++i) row[i] = colours[(x0 + i) % tileWidth] | 0xff000000u;
        for (int done = period; done < n;) {
            const int m = std::min(done, n - done);
            std::memcpy(row + done, row, static_cast<size_t>(m) * sizeof(QRgb));
            done += m;
        }
    }
    if (deferred_ && rowsWritten_ == height()) finish();
}
