#pragma once
// The pattern window as the program's logic sees it: its drawing surface,
// the `Cursor` read-out label and the timers `Timer1`, `Timer2` and
// `AutoPlay`. It has no widget of its own: the on-screen window
// (`Background`) shows it, and tests and exports use it alone.

#include "session/drawing_surface.h"
#include "session/form_timer.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <vector>

// The pointer coordinate read-out label.
struct CursorLabel {
    QString Caption = QStringLiteral("( X , Y )");
    QRgb ForeColor = qRgb(255, 255, 255);
    float Left = 0.0f; // device pixels
    float Top = 0.0f;
    bool Visible = false;
};

// A picture that advances one step per presented frame: frame 0 painted
// whole on the cleared surface, frame n > 0 as the change from frame
// n - 1; `speed` in pixels per frame where the picture moves.
using PacedPainter = void (*)(DrawingSurface& surface, int16_t w, int16_t h, quint64 frame, int speed);

class PatternForm : public QObject {
    Q_OBJECT
public:
    // size: the client area (the whole screen) in device pixels;
    // logicalDpi resolves font point sizes on the surface.
    explicit PatternForm(QSize size, qreal logicalDpi = 96.0, QObject* parent = nullptr);

    DrawingSurface& surface() { return surface_; }

    CursorLabel Cursor;
    FormTimer Timer1{50, this};    // moving block
    FormTimer Timer2{500, this};   // flashing box
    FormTimer AutoPlay{2000, this}; // auto-play step

    // The order the left button and auto-play walk through, wrapping to
    // its first entry; empty for the standard order (one step forward,
    // 68 back to 1). SequenceStep is the position of the pattern shown.
    std::vector<int16_t> Sequence;
    std::size_t SequenceStep = 0;
    // The auto-play step, in seconds as decimal text, that F12 stores.
    QString AutoPlayStep = QStringLiteral("1");

    // The frame-paced picture on show (none for the others) and the frame
    // it shows; the window showing the form advances it once per
    // presented frame (StepMotion).
    PacedPainter Motion = nullptr;
    quint64 MotionFrame = 0;
    // The motion block's step in pixels per frame (--speed).
    int MotionSpeed = 8;
    // How many times PaintPattern has painted: a new pattern counts even
    // where its picture equals the last one.
    quint64 PatternsPainted = 0;

    // Stops the three timers, as closing the window does.
    void stopTimers();

Q_SIGNALS:
    // Emitted after a timer tick has drawn or changed the label, so the
    // window showing this form can repaint what changed.
    void changed();

private:
    DrawingSurface surface_;
};

// The face, size and weight the pattern window's text starts with.
QFont PatternWindowFont();
