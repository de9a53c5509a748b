#pragma once
// `Background`: the full-screen pattern window. It shows its form's
// drawing surface one surface pixel to one physical pixel, repaints only
// what a handler or a tick touched, mirrors the `Cursor` read-out in a
// label and turns Qt's input events into the window's handlers.

#include "session/pattern_form.h"

#include <QLabel>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <optional>

class PresentationClock;
struct PresentedFrame;
class QScreen;

class Background : public QWidget {
    Q_OBJECT
public:
    // The window covers `screen`; its surface has the screen's size in
    // device pixels.
    explicit Background(QScreen* screen);

    PatternForm& form() { return form_; }
    QLabel& cursorLabel() { return cursor_; }

    // Runs once, before the window is first shown.
    void Form_Load();
    bool isLoaded() const { return loaded_; }

    // The window's input handlers; x and y are device pixels of the window.
    void Form_KeyDown(int16_t keyCode, int16_t shift);
    void Form_MouseDown(int16_t button, int16_t shift, float x, float y);
    void Form_MouseMove(int16_t buttons, int16_t shift, float x, float y);
    void Form_MouseUp(int16_t button, int16_t shift, float x, float y);

    // Shows on screen what the form's state has become: repaints the
    // touched rectangle and updates the read-out label.
    void flush();

    // Whether the exit question is open over the window.
    bool exitQuestionOpen() const { return exitQuestionOpen_; }

    // Device pixels per logical pixel of this window.
    qreal pixelRatio() const;

    // Step keys, off by default: when on, Right and Space step forward as
    // the left button does, Left steps back and Home goes to the first
    // pattern (of the form's sequence, when it has one).
    void setStepKeysEnabled(bool enabled) { stepKeysEnabled_ = enabled; }
    bool stepKeysEnabled() const { return stepKeysEnabled_; }

    // Mark keys, off by default: when on, the keys 1, 2, 3, R, C and
    // Backspace are told by `markKey` with the pointer's pixel, and each
    // pattern that comes on the screen by `patternShown`.
    void setMarkKeysEnabled(bool enabled);
    bool markKeysEnabled() const { return markKeysEnabled_; }
    // Shows `text` for about a second beside the device pixel `pixel`,
    // never over it, in a label above the pattern: the pattern's pixels
    // stay as they are.
    void showMarkNote(const QString& text, QPoint pixel);
    QLabel& markNote() { return markNote_; }
    // Shows `text` as a warning for several seconds: white on a red box
    // with a yellow border, beside `pixel` on the other side from an
    // acknowledgement, or in the middle of the window when `pixel` is off
    // the surface. Above the pattern, like the acknowledgement.
    void showRecordWarning(const QString& text, QPoint pixel);
    QLabel& recordWarning() { return recordWarning_; }

    // The presentation clock, off until it is asked for or a frame-paced
    // pattern comes on. While it runs, each painted frame is told by
    // `framePresented` once its presentation is known, the first frame of
    // each newly painted pattern by `patternPresented`, and a frame-paced
    // pattern steps once per presented frame.
    void enablePresentationClock();
    bool presentationClockEnabled() const { return clockWanted_; }
    // The clock, once the window has been shown with it enabled; a child
    // of the window.
    PresentationClock* presentationClock() const { return clock_; }

Q_SIGNALS:
    // The operator answered the exit question with OK.
    void exitConfirmed();
    // A mark key (Qt::Key_1, Key_2, Key_3, Key_R, Key_C, Key_Backspace)
    // with the pointer on the device pixel `pixel` (counted from 0).
    void markKey(int key, QPoint pixel);
    // Pattern `number` came on the screen (mark keys on only).
    void patternShown(int number);
    // A frame of the window and its presentation (clock on), its tag the
    // number of the pattern it showed.
    void framePresented(const PresentedFrame& frame);
    // The first frame showing a newly painted pattern was presented, at
    // `presentedNs` on CLOCK_MONOTONIC; `flags`: bit 0 confirmed, bit 1
    // vsync, bit 2 hardware clock. Every painting of a pattern counts (a
    // button, a key, auto-play, a call of PaintPattern), also one whose
    // picture equals the last (clock on).
    void patternPresented(int number, qint64 presentedNs, quint32 flags);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointF devicePosition(const QMouseEvent* event) const;

    // Starts the clock when it is wanted and the window has a platform window.
    void startClock();
    void framePresentedByClock(const PresentedFrame& frame);
    // One step of the frame-paced pattern on show.
    void stepMotion();

    // The device pixel under the pointer, from its last event or, before
    // any, from where the pointer stands.
    QPoint pointerPixel() const;

    PatternForm form_;
    QLabel cursor_;
    bool loaded_ = false;
    bool markKeysEnabled_ = false;
    bool exitQuestionOpen_ = false;
    bool stepKeysEnabled_ = false;
    // Moves `label` beside the device pixel `pixel`, towards the middle of
    // the window, above it or (`below`) below it.
    void placeBeside(QLabel& label, QPoint pixel, bool below);

    QLabel markNote_;
    QTimer markNoteTimer_;
    QLabel recordWarning_;
    QTimer recordWarningTimer_;
    std::optional<QPoint> pointer_;
    int16_t patternOnScreen_ = 0;

    bool clockWanted_ = false;
    PresentationClock* clock_ = nullptr;
    bool stepPainting_ = false;          // the next paint shows a step of a frame-paced pattern
    quint64 patternsPaintedShown_ = 0;   // the form's count of paintings at the last paint
    struct PatternFrame {
        quint64 frame; // the first frame that shows it
        int number;
    };
    std::deque<PatternFrame> patternsAwaiting_; // newly painted patterns not yet presented
};
