#pragma once
// `VerApprove`: the farewell window. It opens after the operator confirmed
// the exit question, switches auto-play off, plays a six-frame picture
// animation beside the product title, the maker's notice and contact
// lines, and asks for the end of the program (`endRequested`) 10 s after
// it loaded, or at once on any key, click or mouse press.

#include "screens/form_label.h"
#include "session/form_timer.h"

#include <QFrame>
#include <QImage>
#include <QList>
#include <QSize>
#include <QWidget>

#include <array>
#include <cstdint>

class QScreen;

// A list of equally sized images, numbered from 1, that composes a
// picture from two of them.
class ImageList {
public:
    explicit ImageList(QSize imageSize) : imageSize_(imageSize) {}

    // The farewell window's seven images: frames 1 to 6 of the animation
    // and a blank white image 7.
    static ImageList FarewellImages();

    QSize imageSize() const { return imageSize_; }
    // Pixels of this colour in the upper image of `Overlay` let the lower
    // image show through.
    QRgb MaskColor = qRgb(255, 255, 255);

    // Appends an image; one of another size raises "Invalid procedure call".
    void Add(const QImage& image);
    int Count() const { return static_cast<int>(images_.size()); }
    // Image `index`, 1 to Count(); another index raises "Invalid procedure call".
    const QImage& ListImage(int index) const;

    // One picture of the two: image `first` below, image `second` on top,
    // where every pixel of `second` in `MaskColor` is transparent. Composing
    // any image with an all-white one therefore gives that image unchanged.
    QImage Overlay(int first, int second) const;

private:
    QSize imageSize_;
    QList<QImage> images_;
};

// A picture box: a white area inside a sunken 3-D border, showing its
// picture unscaled at the top-left. It keeps presses to itself and
// reports a click as `clicked()`.
class PictureBox : public QFrame {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    ClickTracker clicks_;
};

class VerApprove : public QWidget {
    Q_OBJECT
public:
    explicit VerApprove(QScreen* screen);

    // Runs the first time the window is shown, before it is visible.
    void Form_Load();
    bool isLoaded() const { return loaded_; }

    void Timer1_Timer(); // the end, 10 s after the load
    void Timer2_Timer(); // one animation step

    // The operator's handlers: each asks for the end of the program; their
    // arguments are not looked at.
    void Form_MouseDown(int16_t button, int16_t shift, float x, float y);
    void Form_Click();
    void Form_KeyDown(int16_t keyCode, int16_t shift);
    void Picture1_Click();
    void Label1_Click(int index);

    PictureBox Picture1;
    ImageList ImageList1;
    std::array<FormLabel, 5> Label1;
    FormTimer Timer1{10000, this};
    FormTimer Timer2{300, this};

Q_SIGNALS:
    // The program is to end: every window closes.
    void endRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool loaded_ = false;
};

