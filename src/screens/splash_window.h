#pragma once
// `Welcome`: the start-up window. Its load measures the screen; it shows
// the splash picture with the product title and the maker's notice and
// waits until the operator presses a mouse button or a character key on
// it. Closing it, however that happens, opens the pattern window. It is
// never shown again in the same run.

#include "screens/form_label.h"

#include <QImage>
#include <QLabel>
#include <QWidget>

#include <cstdint>

class QScreen;

class Welcome : public QWidget {
    Q_OBJECT
public:
    explicit Welcome(QScreen* screen);

    // Runs once, before the window is first shown: measures the screen.
    void Form_Load();
    // Loaded and not yet closed.
    bool isLoaded() const { return state_ == State::Loaded; }
    // Loaded once and closed since.
    bool isUnloaded() const { return state_ == State::Unloaded; }

    // The window's handlers. Any press, click or character closes it;
    // their arguments are not looked at.
    void Form_MouseDown(int16_t button, int16_t shift, float x, float y);
    void Form_Click();
    void Form_KeyPress(int16_t keyAscii);
    // Runs while the window closes, whatever closes it: asks for the
    // pattern window (`unloaded`). Leaving `cancel` at 0 lets the close go
    // through.
    void Form_Unload(int16_t& cancel);

    FormLabel Label1; // the product title
    FormLabel Label3; // the maker's notice, with the web address as tool tip

    const QImage& picture() const { return picture_; }

    // Shows `text` over the middle of the picture until the window closes,
    // in addition to everything else on it: a press on it closes the
    // window as a press on the picture does. Empty text hides it.
    void showNotice(const QString& text);
    const QLabel& notice() const { return notice_; }

Q_SIGNALS:
    // The window is closing: the pattern window is to be shown.
    void unloaded();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class State { NotLoaded, Loaded, Unloaded };

    QScreen* screen_;
    QImage picture_;
    QLabel notice_;
    State state_ = State::NotLoaded;
};

