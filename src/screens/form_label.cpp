#include "screens/form_label.h"

#include <QFontMetrics>
#include <QMouseEvent>

FormLabel::FormLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setAutoFillBackground(false); // transparent: the window shows through
    setTextFormat(Qt::PlainText);
}

void FormLabel::setDesignRect(const QRect& design, bool wrapping) {
    design_ = design;
    wrapping_ = wrapping;
    fitToText();
}

void FormLabel::fitToText() {
    const QFontMetrics fm(font());
    const int frame = 2 * (margin() + frameWidth());
    const QSize oneLine = fm.size(Qt::TextSingleLine, text()) + QSize(frame, frame);
    const bool wraps = wrapping_ && oneLine.width() > design_.width();
    setWordWrap(wraps);
    const int w = wraps ? design_.width() : oneLine.width();
    const int h = wraps ? heightForWidth(w) : oneLine.height();
    setGeometry(design_.x(), design_.y(), w, h);
}

void ClickTracker::press(const QMouseEvent* event) {
    if (pressed_ == Qt::NoButton) pressed_ = event->button();
}

bool ClickTracker::release(const QMouseEvent* event, const QRect& area) {
    const bool click = event->button() == pressed_ && area.contains(event->position().toPoint());
    if (event->button() == pressed_) pressed_ = Qt::NoButton;
    return click;
}

void FormLabel::mousePressEvent(QMouseEvent* event) {
    clicks_.press(event);
    event->accept();
}

void FormLabel::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (clicks_.release(event, rect())) Q_EMIT clicked();
}

void FormLabel::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void FormLabel::mouseMoveEvent(QMouseEvent* event) { event->accept(); }
