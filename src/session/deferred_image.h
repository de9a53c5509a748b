#pragma once
// The picture behind the drawing surface, with its writes deferred so that
// each pixel of a new picture is written once.
//
// After a fill of the whole image, boxes are not written but composed: the
// image is held as bands of rows, each band a list of spans (a run of
// columns in one colour) that all its rows share. Boxes split bands and
// spans, in whatever order they come, so a box drawn over another costs
// nothing in memory writes. The picture is written when something needs
// its pixels: each band's rows as one fill when they are a single colour,
// otherwise the band's first row span by span and its other rows as
// copies of it. Rows that a drawing needs early (text, copied rows) are
// written on their own and drawn on directly from then on. None of this
// changes a pixel: `image()` and `pixel()` always answer with the finished
// picture.

#include <QImage>
#include <QSize>
#include <QtGui/qrgb.h>

#include <vector>

class DeferredImage {
public:
    // Allocates an image of `size`, whole in `color`, written later. A
    // picture that cannot be allocated raises "Out of memory".
    void resize(QSize size, qreal dpi, QRgb color);
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }

    // The whole image in one colour.
    void fill(QRgb color);
    // The half-open box [x0, x1) x [y0, y1), clipped to the image.
    void fillRect(int x0, int y0, int x1, int y1, QRgb color);
    // The same box covered with a tile of tileWidth x tileHeight colours
    // (row after row) repeated from the image's top-left corner: pixel
    // (x, y) takes the tile's colour (x mod tileWidth, y mod tileHeight).
    // Written at once: each distinct row of the box once, the others as
    // copies of it. Rows it covers whole are never written from their
    // deferred colours; the rest of a row it covers in part is.
    void fillTiled(int x0, int y0, int x1, int y1, const QRgb* tile, int tileWidth, int tileHeight);
    // Colour of the pixel (x, y), which must lie inside the image.
    QRgb pixel(int x, int y) const;
    // Whether every pixel of the rows [y0, y1) (clipped) has the colour
    // `color`, alpha aside.
    bool rowsAre(int y0, int y1, QRgb color) const;
    // Row after row, row srcTop + i becomes row dstTop + i for i in
    // [0, rows); pairs with a row outside the image are skipped.
    void copyRows(int srcTop, int rows, int dstTop);

    // The finished picture.
    const QImage& image();
    // The finished picture, for drawing into it directly.
    QImage& writable();
    // The image with at least the rows [y0, y1) finished, for drawing into
    // those rows only; other rows may still be unwritten.
    QImage& writableRows(int y0, int y1);

private:
    struct Span {
        int end; // the span covers the columns from the previous span's end up to here
        QRgb color;
    };
    struct Band {
        int top; // the band covers the rows from here up to the next band's top
        int list; // index into lists_
    };
    using SpanList = std::vector<Span>;

    int newList();
    int bandAt(int y) const;
    int splitAt(int y);
    void deferRect(int x0, int y0, int x1, int y1, QRgb color);
    int bandBottom(int b) const { return b + 1 < static_cast<int>(bands_.size()) ? bands_[static_cast<size_t>(b + 1)].top : height(); }
    void writeRows(int y0, int y1);
    void writeUnwritten(const SpanList& spans, int y0, int y1);
    void writeBandRows(const SpanList& spans, int y0, int y1);
    void markWritten(int y0, int y1);
    void finish();

    QImage image_;
    // While deferred_, a row of the image is the one written in image_ when
    // rowWritten_ marks it, otherwise the span list of its band.
    bool deferred_ = false;
    std::vector<Band> bands_;
    // Span lists, kept with their capacity from one picture to the next;
    // the first listsUsed_ are in use.
    std::vector<SpanList> lists_;
    int listsUsed_ = 0;
    std::vector<unsigned char> rowWritten_;
    int rowsWritten_ = 0;
};
