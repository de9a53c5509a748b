#pragma once
// A text label of the splash and farewell windows. Unlike a plain QLabel
// it keeps mouse presses to itself, so a press on its text never reaches
// the window behind it, and it reports a click (press and release of the
// same button over it) as `clicked()`.
//
// Placed at a designed rectangle, the label keeps the designed left and
// top and takes the size of its text, so a press beside the text misses
// it. A wrapping label whose text is wider than the designed width keeps
// that width, wraps the text within it (each line centred) and grows
// downward; any other label grows to the right.

#include <QLabel>
#include <QMouseEvent>
#include <QRect>

// Turns a widget's presses and releases into clicks: a click is the
// release of the first button pressed, inside the widget.
class ClickTracker {
public:
    void press(const QMouseEvent* event);
    // True when this release completes a click inside `area`.
    bool release(const QMouseEvent* event, const QRect& area);

private:
    Qt::MouseButton pressed_ = Qt::NoButton;
};

class FormLabel : public QLabel {
    Q_OBJECT
public:
    explicit FormLabel(QWidget* parent = nullptr);

    // Places the label at `design` (parent coordinates) and sizes it to
    // its current text and font.
    void setDesignRect(const QRect& design, bool wrapping);
    QRect designRect() const { return design_; }

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void fitToText();

    QRect design_;
    bool wrapping_ = false;
    ClickTracker clicks_;
};
