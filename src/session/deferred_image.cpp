#include "session/deferred_image.h"

#include "session/numeric.h"

#include <algorithm>
#include <cstring>

namespace {

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

void DeferredImage::resize(QSize size, qreal dpi, QRgb color) {
    image_ = QImage(size, QImage::Format_RGB32);
    // A picture of the screen that cannot be allocated is the run-time
    // error "Out of memory", never a later write through a null image.
    if (image_.isNull() && !size.isEmpty()) numeric::Raise(numeric::RuntimeError::OutOfMemory);
    const int dpm = qRound(dpi / 0.0254);
    image_.setDotsPerMeterX(dpm);
    image_.setDotsPerMeterY(dpm);
    rowWritten_.assign(static_cast<size_t>(std::max(0, size.height())), 0);
    rowsWritten_ = 0;
    fill(color);
}

void DeferredImage::fill(QRgb color) {
    pendingClear_ = color | 0xff000000u;
    pendingRow_.clear();
    rowsVary_ = false;
    if (rowsWritten_ > 0) {
        std::fill(rowWritten_.begin(), rowWritten_.end(), 0);
        rowsWritten_ = 0;
    }
}

void DeferredImage::materialise() {
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

const QImage& DeferredImage::image() {
    materialise();
    return image_;
}

QImage& DeferredImage::writable() {
    materialise();
    return image_;
}

QRgb DeferredImage::pixel(int x, int y) const {
    if (pendingClear_ && !rowWritten_[static_cast<size_t>(y)]) return unwrittenColour(y);
    if (!pendingRow_.empty()) return pendingRow_[static_cast<size_t>(x)];
    return image_.pixel(x, y) | 0xff000000u;
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
    const int n = x1 - x0;
    if (y0 == 0 && y1 == height() && ((pendingClear_ && rowsWritten_ == 0 && !rowsVary_) || !pendingRow_.empty())) {
        // A full-height box on an image whose rows are all alike keeps
        // them alike: paint the one row and write the image later, once.
        if (pendingClear_) {
            pendingRow_.assign(static_cast<size_t>(width()), *pendingClear_);
            pendingClear_.reset();
        }
        std::fill_n(pendingRow_.begin() + x0, n, c);
        return;
    }
    if (!pendingRow_.empty()) materialise();
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

