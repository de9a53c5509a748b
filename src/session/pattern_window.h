#pragma once
// `Background`: the full-screen pattern window. It shows its form's
// drawing surface one surface pixel to one physical pixel, repaints only
// what a handler or a tick touched, mirrors the `Cursor` read-out in a
// label and turns Qt's input events into the window's handlers.

#include "session/pattern_form.h"

#include <QLabel>
#include <QWidget>

#include <cstdint>

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

    // Device pixels per logical pixel of this window.
    qreal pixelRatio() const;

Q_SIGNALS:
    // The operator answered the exit question with OK.
    void exitConfirmed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointF devicePosition(const QMouseEvent* event) const;

    PatternForm form_;
    QLabel cursor_;
    bool loaded_ = false;
};
