#include "screens/splash_window.h"

#include "screens/artwork.h"
#include "screens/display_probe.h"
#include "screens/twips.h"
#include "session/interface_font.h"
#include "session/platform_input.h"

#include <QCloseEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// The maker's notice and the address its tool tip shows.
const char* const kNotice = "Copyright (C) Quillmere. All rights reserved.";
const char* const kWebAddress = "https://www.quillmere.example";

QFont LabelFont() {
    QFont f = InterfaceFont(9.75);
    f.setBold(true);
    return f;
}

void StyleLabel(FormLabel& label, const QString& text, const QRect& design, bool wrapping) {
    label.setFont(LabelFont());
    QPalette pal = label.palette();
    pal.setColor(QPalette::WindowText, QColor(255, 255, 255));
    label.setPalette(pal);
    label.setText(text);
    label.setDesignRect(design, wrapping);
}

} // namespace

Welcome::Welcome(QScreen* screen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      Label1(this),
      Label3(this),
      screen_(screen),
      picture_(ArtworkImage(QStringLiteral("splash.jpg"))),
      notice_(this) {
    setObjectName(QStringLiteral("Welcome"));
    setWindowTitle(QStringLiteral("Vantrel"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    if (screen) setScreen(screen);

    const double dpi = LogicalDpi(screen);
    const QSize client = TwipsSize(6000, 4515, dpi);
    setFixedSize(client);
    move(CentredOn(screen, client));

    Label1.setObjectName(QStringLiteral("Label1"));
    Label3.setObjectName(QStringLiteral("Label3"));
    StyleLabel(Label1, QStringLiteral("Vantrel"), TwipsRect(945, 120, 4125, 240, dpi), false);
    StyleLabel(Label3, QString::fromLatin1(kNotice), TwipsRect(53, 4200, 5895, 240, dpi), true);
    Label3.setToolTip(QString::fromLatin1(kWebAddress));

    // A word-wrapped line of white text on a dark translucent box across
    // the middle of the picture, between the title and the maker's notice.
    notice_.setObjectName(QStringLiteral("Notice"));
    notice_.setWordWrap(true);
    notice_.setAlignment(Qt::AlignCenter);
    notice_.setAttribute(Qt::WA_TransparentForMouseEvents);
    notice_.setFont(InterfaceFont(9.75));
    notice_.setStyleSheet(QStringLiteral("QLabel { color: rgb(255, 255, 255); background: rgba(0, 0, 0, 200); "
                                         "border: 1px solid rgb(255, 200, 0); padding: 6px; }"));
    const QRect middle = TwipsRect(300, 1200, 5400, 2400, dpi);
    notice_.setGeometry(middle);
    notice_.hide();
}

void Welcome::showNotice(const QString& text) {
    // A number and its per cent sign stay on one line ("125 %").
    notice_.setText(QString(text).replace(QStringLiteral(" %"), QStringLiteral("\u00a0%")));
    notice_.setVisible(!text.isEmpty());
}

void Welcome::Form_Load() {
    ProbeDisplay(screen_);
    state_ = State::Loaded;
}

void Welcome::Form_MouseDown(int16_t, int16_t, float, float) { close(); }

void Welcome::Form_Click() { close(); }

void Welcome::Form_KeyPress(int16_t) { close(); }

void Welcome::Form_Unload(int16_t&) { Q_EMIT unloaded(); }

bool Welcome::event(QEvent* event) {
    // Tab is a character key here, not a move to another control.
    if (event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void Welcome::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0, 0, 0));
    // One picture pixel to one device pixel, whatever the window's size.
    QImage unscaled = picture_;
    unscaled.setDevicePixelRatio(devicePixelRatioF());
    p.drawImage(QPoint(0, 0), unscaled);
}

void Welcome::mousePressEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    Form_MouseDown(ButtonCode(event->button()), ShiftState(event->modifiers()), static_cast<float>(pos.x()),
                   static_cast<float>(pos.y()));
}

void Welcome::mouseReleaseEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) Form_Click();
}

void Welcome::keyPressEvent(QKeyEvent* event) {
    const int16_t ascii = KeyAscii(*event);
    if (ascii != 0) Form_KeyPress(ascii);
}

void Welcome::closeEvent(QCloseEvent* event) {
    // A window that is not loaded, or closed already, ignores the request.
    if (state_ != State::Loaded) {
        event->accept();
        return;
    }
    int16_t cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0) {
        event->ignore();
        return;
    }
    state_ = State::Unloaded;
    event->accept();
}
