#pragma once
// The drawing surface of the pattern window: a persistent image of the
// whole client area in device pixels, and the drawing operations the
// dispatcher, the painters and the pointer handlers use. It knows nothing
// of windows, so a pattern can be rendered into an image without one.
//
// Pixel rules (see docs/architecture.md):
// - A coordinate maps to the pixel whose index is the coordinate rounded
//   to the nearest integer, a tie going to the even neighbour.
// - A filled box covers the half-open pixel range [x1, x2) x [y1, y2)
//   between its mapped corners, in whichever order they are given.
// - A box outline covers the perimeter of the closed range
//   [x1, x2] x [y1, y2]: its corners are pixels of the outline.
// - A line covers its start pixel and excludes its end pixel.
// - A circle of radius r (rounded to R) covers the pixels (dx, dy) around
//   its mapped centre with dx*dx + dy*dy <= R*(R+1); its outline is the
//   part of that disc with a 4-neighbour outside it.
// - Everything is clipped to the image; nothing outside is touched.
// - Drawing is aliased and colours are exact 24-bit values, except text,
//   which is drawn with greyscale antialiasing.

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QRect>
#include <QString>
#include <QtGui/qrgb.h>

#include "session/deferred_image.h"

#include <optional>

class DrawingSurface {
public:
    enum class FillStyle { Transparent, Solid };

    explicit DrawingSurface(QSize size = QSize(), qreal logicalDpi = 96.0);

    // Replaces the image by one of the new size, cleared to the background.
    void resize(QSize size);
    QSize size() const { return size_; }
    int width() const { return size_.width(); }
    int height() const { return size_.height(); }
    qreal logicalDpi() const { return dpi_; }

    // The finished picture.
    const QImage& image();

    // Colour of one pixel (opaque, comparable with qRgb()); empty outside
    // the image.
    std::optional<QRgb> pixel(float x, float y);

    // Sets the background colour and clears the whole image to it.
    void setBackColor(QRgb color);
    QRgb backColor() const { return backColor_; }
    // Clears the whole image to the background colour. Only the pixels
    // change: the text position, colours and font stay as they were.
    void clear();

    void setForeColor(QRgb color) { foreColor_ = color; }
    QRgb foreColor() const { return foreColor_; }
    void setFillColor(QRgb color) { fillColor_ = color; }
    QRgb fillColor() const { return fillColor_; }
    void setFillStyle(FillStyle style) { fillStyle_ = style; }
    FillStyle fillStyle() const { return fillStyle_; }

    void line(float x1, float y1, float x2, float y2, QRgb color);
    // Outline of a box; filled with the fill colour when the fill style is solid.
    void box(float x1, float y1, float x2, float y2, QRgb color);
    void filledBox(float x1, float y1, float x2, float y2, QRgb color);
    // Circle outline; filled with the fill colour when the fill style is solid.
    void circle(float cx, float cy, float radius, QRgb color);
    // The pixels of a filled box in a repeated tile of tileWidth x
    // tileHeight colours, given row after row and laid from the image's
    // top-left pixel: pixel (x, y) takes the tile's colour
    // (x mod tileWidth, y mod tileHeight), wherever the box begins.
    void tiledBox(float x1, float y1, float x2, float y2, const QRgb* tile, int tileWidth, int tileHeight);

    // Text: font, size in points, text position (top-left of the next glyph)
    // and printing in the foreground colour. "\r\n" (or "\n") moves the
    // position to x = 0, one line height further down. The text cell (ascent
    // above the baseline, line height) encloses the face's glyphs: it is at
    // least the face's Windows ascent and descent (OS/2 table), as a Windows
    // text cell is, so no ink lies above the text position.
    void setFont(const QFont& font);
    const QFont& font() const { return font_; }
    void setFontSize(qreal points);
    qreal fontSize() const { return font_.pointSizeF(); }
    float currentX() const { return currentX_; }
    float currentY() const { return currentY_; }
    void setCurrentX(float x) { currentX_ = x; }
    void setCurrentY(float y) { currentY_ = y; }
    void print(const QString& text);
    // Width and line height of a text in the current font, in pixels.
    qreal textWidth(const QString& text) const;
    qreal lineHeight() const;

    // Copies the pixel rows [srcTop, srcTop + rows) to start at dstTop,
    // clipped to the image.
    void copyRows(int srcTop, int rows, int dstTop);
    // Whether every pixel of the rows [y0, y1), clipped to the image, has
    // this colour.
    bool rowsAre(int y0, int y1, QRgb color) const;

    // The device rectangle touched since the last call, and forget it.
    QRect takeDirty();
    QRect dirty() const { return dirty_; }

    // Maps a coordinate to its pixel index (nearest, ties to even).
    static int toPixel(float v);

private:
    QFontMetricsF metrics() const;
    struct TextCell {
        qreal ascent;
        qreal height;
    };
    TextCell textCell(const QFontMetricsF& fm) const;
    // The text cell of the current font, worked out on first use after the
    // font changes.
    mutable std::optional<TextCell> cell_;
    void touch(const QRect& r) { dirty_ |= r; }
    void fillRect(int x0, int y0, int x1, int y1, QRgb color); // half-open, clipped here
    void hspan(int x0, int x1, int y, QRgb color);             // half-open
    void vspan(int x, int y0, int y1, QRgb color);             // half-open

    QSize size_;
    qreal dpi_;
    DeferredImage pixels_;
    QImage metricsDevice_; // resolves point sizes at this surface's DPI
    QRgb backColor_ = qRgb(0, 0, 0);
    QRgb foreColor_ = qRgb(0, 0, 0);
    QRgb fillColor_ = qRgb(0, 0, 0);
    FillStyle fillStyle_ = FillStyle::Transparent;
    QFont font_;
    float currentX_ = 0.0f;
    float currentY_ = 0.0f;
    QRect dirty_;
};
