#pragma once
// The picture behind the drawing surface, with its writes deferred so that
// each pixel of a new picture is written about once.
//
// A fill of the whole image only records the colour; full-width boxes on
// such an image only change the colour of the rows they cover; while every
// row is alike (bands, vertical lines), one row is kept and written to the
// whole image when it is read; rows of a cleared image that a box touches
// are written whole on their first use. None of this changes a pixel:
// `image()` and `pixel()` always answer with the finished picture.

#include <QImage>
#include <QSize>
#include <QtGui/qrgb.h>

#include <optional>
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
    // Colour of the pixel (x, y), which must lie inside the image.
    QRgb pixel(int x, int y) const;

    // The finished picture.
    const QImage& image();
    // The finished picture, for drawing into it directly.
    QImage& writable();

private:
    void materialise();
    QRgb unwrittenColour(int y) const { return rowsVary_ ? rowColour_[static_cast<size_t>(y)] : *pendingClear_; }

    QImage image_;
    // The image is this colour, except the rows marked in rowWritten_,
    // which a drawing has written out whole, and, when rowsVary_, rows
    // that full-width boxes gave another colour (rowColour_).
    std::optional<QRgb> pendingClear_;
    std::vector<unsigned char> rowWritten_;
    int rowsWritten_ = 0;
    std::vector<QRgb> rowColour_;
    bool rowsVary_ = false;
    // When not empty: every row of the image is this row, not yet written.
    std::vector<QRgb> pendingRow_;
};
