#include "session/pattern_window.h"

#include "platform/presentation_clock.h"
#include "session/dispatcher.h"
#include "session/interface_font.h"
#include "session/platform_input.h"
#include "session/screen_metrics.h"
#include "session/session_state.h"

#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QTransform>

#include <cmath>

Background::Background(QScreen* screen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      // Points resolve at the device's resolution, as the surface is in
      // device pixels.
      form_(DeviceSize(screen), screen ? screen->logicalDotsPerInch() * screen->devicePixelRatio() : 96.0, this),
      cursor_(this), markNote_(this), markNoteTimer_(this), recordWarning_(this), recordWarningTimer_(this) {
    setObjectName(QStringLiteral("Background"));
    if (screen) setGeometry(screen->geometry());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);

    const QFont labelFont = InterfaceFont(9.75);
    cursor_.setObjectName(QStringLiteral("Cursor"));
    cursor_.setFont(labelFont);
    cursor_.setAlignment(Qt::AlignCenter);
    cursor_.setAttribute(Qt::WA_TransparentForMouseEvents);
    cursor_.hide();

    markNote_.setObjectName(QStringLiteral("MarkNote"));
    markNote_.setFont(labelFont);
    markNote_.setAttribute(Qt::WA_TransparentForMouseEvents);
    markNote_.hide();
    markNoteTimer_.setSingleShot(true);
    markNoteTimer_.setTimerType(Qt::PreciseTimer);
    markNoteTimer_.setInterval(1200);
    connect(&markNoteTimer_, &QTimer::timeout, &markNote_, &QWidget::hide);

    QFont warningFont(labelFont);
    warningFont.setBold(true);
    warningFont.setPointSizeF(12);
    recordWarning_.setObjectName(QStringLiteral("RecordWarning"));
    recordWarning_.setFont(warningFont);
    recordWarning_.setAttribute(Qt::WA_TransparentForMouseEvents);
    recordWarning_.setStyleSheet(QStringLiteral("QLabel { color: #ffffff; background-color: #c00000; "
                                                "border: 3px solid #ffd800; padding: 6px; }"));
    recordWarning_.hide();
    recordWarningTimer_.setSingleShot(true);
    recordWarningTimer_.setInterval(6000);
    connect(&recordWarningTimer_, &QTimer::timeout, &recordWarning_, &QWidget::hide);

    ConnectPatternTimers(form_);
    connect(&form_, &PatternForm::changed, this, &Background::flush);
}

void Background::closeEvent(QCloseEvent* event) {
    // The window's timers stop with it.
    form_.stopTimers();
    event->accept();
}

void Background::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    startClock();
}

void Background::enablePresentationClock() {
    clockWanted_ = true;
    startClock();
}

void Background::startClock() {
    if (!clockWanted_ || clock_ || !windowHandle()) return;
    clock_ = PresentationClock::ForWindow(windowHandle()).release();
    clock_->setParent(this);
    connect(clock_, &PresentationClock::presented, this, &Background::framePresentedByClock);
    connect(clock_, &PresentationClock::readyForFrame, this, &Background::stepMotion);
    // What is on the screen now shows again, as the clock's first frame.
    patternsPaintedShown_ = 0;
    update();
    clock_->repaintRequested();
}

void Background::stepMotion() {
    if (!form_.Motion || !isVisible()) return;
    StepMotion(form_);
    stepPainting_ = true;
    // A step that changes no pixel is still a frame: it keeps the pace.
    if (!form_.surface().dirty().isValid()) {
        update(QRect(0, 0, 1, 1));
        if (clock_) clock_->repaintRequested();
    }
    flush();
}

void Background::framePresentedByClock(const PresentedFrame& frame) {
    Q_EMIT framePresented(frame);
    // A discarded frame was never seen: the next presented one answers.
    if (frame.discarded()) return;
    while (!patternsAwaiting_.empty() && patternsAwaiting_.front().frame <= frame.frame) {
        const int number = patternsAwaiting_.front().number;
        patternsAwaiting_.pop_front();
        Q_EMIT patternPresented(number, frame.presentedNs,
                                frame.flags & (presentation::kConfirmed | presentation::kVsync |
                                               presentation::kHardwareClock));
    }
}

qreal Background::pixelRatio() const { return devicePixelRatioF(); }

void Background::Form_Load() {
    loaded_ = true;
    SessionState.AutoPlayOn = kFalse;
    SessionState.PatternIndex = 1;
    PaintPattern(form_);
    flush();
}

void Background::flush() {
    const qreal dpr = pixelRatio();
    const QRect dirty = form_.surface().takeDirty();
    if (dirty.isValid()) {
        const QRectF logical(dirty.x() / dpr, dirty.y() / dpr, dirty.width() / dpr, dirty.height() / dpr);
        update(logical.toAlignedRect());
        if (clock_) clock_->repaintRequested();
    }
    const CursorLabel& c = form_.Cursor;
    cursor_.setText(c.Caption);
    QPalette pal = cursor_.palette();
    pal.setColor(QPalette::WindowText, QColor::fromRgb(c.ForeColor));
    cursor_.setPalette(pal);
    cursor_.adjustSize();
    cursor_.move(QPoint(static_cast<int>(std::floor(c.Left / dpr)), static_cast<int>(std::floor(c.Top / dpr))));
    cursor_.setVisible(c.Visible);
    if (markKeysEnabled_ && SessionState.PatternIndex != patternOnScreen_) {
        patternOnScreen_ = SessionState.PatternIndex;
        Q_EMIT patternShown(patternOnScreen_);
    }
    // A frame-paced pattern needs the clock to step.
    if (form_.Motion && !clockWanted_) enablePresentationClock();
}

void Background::setMarkKeysEnabled(bool enabled) {
    // Switched on, the pattern on the screen is told at the next flush.
    if (enabled && !markKeysEnabled_) patternOnScreen_ = 0;
    markKeysEnabled_ = enabled;
}

QPoint Background::pointerPixel() const {
    if (pointer_) return *pointer_;
    const qreal dpr = pixelRatio();
    const QPointF p = mapFromGlobal(QCursor::pos());
    return QPoint(static_cast<int>(std::floor(p.x() * dpr + 1e-6)), static_cast<int>(std::floor(p.y() * dpr + 1e-6)));
}

void Background::showMarkNote(const QString& text, QPoint pixel) {
    // Dark text on a light pixel, light text on a dark one.
    const QImage& image = form_.surface().image();
    const QRgb under = image.rect().contains(pixel) ? image.pixel(pixel) : qRgb(0, 0, 0);
    QPalette pal = markNote_.palette();
    pal.setColor(QPalette::WindowText, qGray(under) >= 128 ? QColor(0, 0, 0) : QColor(255, 255, 255));
    markNote_.setPalette(pal);
    markNote_.setText(text);
    markNote_.adjustSize();
    placeBeside(markNote_, pixel, true);
    markNote_.show();
    markNote_.raise();
    markNoteTimer_.start();
}

void Background::showRecordWarning(const QString& text, QPoint pixel) {
    recordWarning_.setText(text);
    recordWarning_.adjustSize();
    if (form_.surface().image().rect().contains(pixel)) {
        placeBeside(recordWarning_, pixel, false);
    } else {
        const QSize s = recordWarning_.size();
        recordWarning_.move((width() - s.width()) / 2, (height() - s.height()) / 2);
    }
    recordWarning_.show();
    recordWarning_.raise();
    recordWarningTimer_.start();
}

void Background::placeBeside(QLabel& label, QPoint pixel, bool below) {
    // Beside the pixel, towards the middle of the screen, with a gap of 5
    // device pixels, so the label never hides the pixel.
    const qreal dpr = pixelRatio();
    const QPointF at(pixel.x() / dpr, pixel.y() / dpr);
    const qreal gap = 5.0 / dpr + 1.0;
    const QSize s = label.size();
    const qreal left = at.x() < width() / 2.0 ? at.x() + gap : at.x() - gap - s.width();
    const bool down = (at.y() < height() / 2.0) == below;
    qreal top = down ? at.y() + gap : at.y() - gap - s.height();
    // Inside the window, still off the pixel's row when it can be.
    if (top < 0) top = at.y() + gap;
    if (top + s.height() > height()) top = at.y() - gap - s.height();
    label.move(static_cast<int>(std::floor(left)), static_cast<int>(std::floor(top)));
}

void Background::paintEvent(QPaintEvent* event) {
    // Read the surface through a const reference: its pixels are neither
    // shared into a copy nor detached, so a paint moves only the rectangles
    // it repaints, at any ratio.
    const QImage& image = form_.surface().image();
    const qreal dpr = pixelRatio();
    QPainter p(this);
    // Paint in device pixels: the world transform undoes the ratio, so the
    // surface is copied pixel for pixel, with no scaling that could round
    // a column or row away at a fractional ratio.
    p.setWorldTransform(QTransform::fromScale(1.0 / dpr, 1.0 / dpr));
    for (const QRect& r : event->region()) {
        // The device pixels under this logical rectangle.
        const QRect src = QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr).toAlignedRect()
                          & image.rect();
        if (!src.isEmpty()) p.drawImage(src.topLeft(), image, src);
    }
    if (clock_) {
        const int number = SessionState.PatternIndex;
        const quint64 frame = clock_->framePainted(static_cast<quint32>(number), stepPainting_);
        if (form_.PatternsPainted != patternsPaintedShown_) {
            patternsPaintedShown_ = form_.PatternsPainted;
            patternsAwaiting_.push_back({frame, number});
        }
    }
    stepPainting_ = false;
}

QPointF Background::devicePosition(const QMouseEvent* event) const {
    const qreal dpr = pixelRatio();
    const QPointF p = event->position();
    // Whole device pixels, as the handlers expect.
    return QPointF(std::floor(p.x() * dpr + 1e-6), std::floor(p.y() * dpr + 1e-6));
}

void Background::keyPressEvent(QKeyEvent* event) {
    // A mark is made once per press, on a pixel of the pattern.
    if (markKeysEnabled_ && !event->isAutoRepeat()) {
        switch (event->key()) {
        case Qt::Key_1:
        case Qt::Key_2:
        case Qt::Key_3:
        case Qt::Key_R:
        case Qt::Key_C:
        case Qt::Key_Backspace:
            if (const QPoint pixel = pointerPixel(); QRect(QPoint(0, 0), form_.surface().size()).contains(pixel))
                Q_EMIT markKey(event->key(), pixel);
            break;
        default: break;
        }
    }
    Form_KeyDown(VirtualKeyCode(event->key()), ShiftState(event->modifiers()));
    flush();
}

void Background::mousePressEvent(QMouseEvent* event) {
    // The handlers know the left, right and middle buttons only; the
    // others (back, forward, ...) do nothing here.
    const int16_t button = ButtonCode(event->button());
    if (button == 0) return;
    const QPointF p = devicePosition(event);
    pointer_ = p.toPoint();
    Form_MouseDown(button, ShiftState(event->modifiers()), static_cast<float>(p.x()), static_cast<float>(p.y()));
    flush();
}

void Background::mouseMoveEvent(QMouseEvent* event) {
    const QPointF p = devicePosition(event);
    pointer_ = p.toPoint();
    Form_MouseMove(ButtonSet(event->buttons()), ShiftState(event->modifiers()), static_cast<float>(p.x()),
                   static_cast<float>(p.y()));
    flush();
}

void Background::mouseReleaseEvent(QMouseEvent* event) {
    const int16_t button = ButtonCode(event->button());
    if (button == 0) return;
    const QPointF p = devicePosition(event);
    pointer_ = p.toPoint();
    Form_MouseUp(button, ShiftState(event->modifiers()), static_cast<float>(p.x()), static_cast<float>(p.y()));
    flush();
}
