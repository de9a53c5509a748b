#include "screens/farewell_window.h"

#include "screens/artwork.h"
#include "screens/twips.h"
#include "session/interface_font.h"
#include "session/numeric.h"
#include "session/platform_input.h"
#include "session/session_state.h"

#include <QCloseEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

// ---- ImageList -------------------------------------------------------------

ImageList ImageList::FarewellImages() {
    ImageList list(QSize(227, 142));
    for (int i = 1; i <= 7; ++i) list.Add(ArtworkImage(QStringLiteral("farewell%1.jpg").arg(i)));
    return list;
}

void ImageList::Add(const QImage& image) {
    if (image.size() != imageSize_) numeric::Raise(numeric::RuntimeError::InvalidArgument);
    images_.append(image.convertToFormat(QImage::Format_RGB32));
}

const QImage& ImageList::ListImage(int index) const {
    if (index < 1 || index > Count()) numeric::Raise(numeric::RuntimeError::InvalidArgument);
    return images_.at(index - 1);
}

QImage ImageList::Overlay(int first, int second) const {
    QImage result = ListImage(first).copy();
    const QImage& top = ListImage(second);
    const QRgb mask = MaskColor & RGB_MASK;
    for (int y = 0; y < result.height(); ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(top.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            if ((src[x] & RGB_MASK) != mask) dst[x] = src[x];
    }
    return result;
}

// ---- PictureBox ------------------------------------------------------------

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        const QRect area = contentsRect();
        p.fillRect(area, QColor(255, 255, 255));
        if (!picture_.isNull()) {
            p.setClipRect(area);
            QImage unscaled = picture_;
            unscaled.setDevicePixelRatio(devicePixelRatioF()); // one to one on the device
            p.drawImage(area.topLeft(), unscaled);
        }
    }
    QFrame::paintEvent(event); // the border
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    clicks_.press(event);
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (clicks_.release(event, rect())) Q_EMIT clicked();
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

// ---- VerApprove ------------------------------------------------------------

namespace {

struct TextLine {
    int index;
    const char* text;
    qreal points;
    bool italic;
    int left, top, width, height; // twips
};

// The five text lines, top to bottom.
const std::array<TextLine, 5> kTextLines = {{
    {0, "Vantrel", 8.25, false, 1237, 2685, 3045, 210},
    {1, "Copyright (C) Quillmere      (Ver_1.05a)", 8.25, true, 1222, 2925, 3075, 210},
    {2, "Quillmere", 8.25, true, 1747, 3165, 2025, 210},
    {4, "www.quillmere.example", 9.75, true, 2062, 3405, 1395, 240},
    {3, "support@quillmere.example", 9.0, true, 2002, 3645, 1515, 225},
}};

} // namespace

VerApprove::VerApprove(QScreen* screen)
    : QWidget(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint),
      Picture1(this),
      ImageList1(ImageList::FarewellImages()) {
    setObjectName(QStringLiteral("VerApprove"));
    setWindowTitle(QStringLiteral("Exit - Quillmere"));
    setFocusPolicy(Qt::StrongFocus);
    if (screen) setScreen(screen);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0));
    setPalette(pal);
    setAutoFillBackground(true);

    const double dpi = LogicalDpi(screen);
    const QSize client = TwipsSize(5505, 4035, dpi);
    setFixedSize(client);
    move(CentredOn(screen, client));

    Picture1.setObjectName(QStringLiteral("Picture1"));
    Picture1.setGeometry(TwipsRect(1020, 165, 3465, 2190, dpi));
    connect(&Picture1, &PictureBox::clicked, this, &VerApprove::Picture1_Click);

    for (const TextLine& line : kTextLines) {
        FormLabel& label = Label1[static_cast<size_t>(line.index)];
        label.setParent(this);
        label.setObjectName(QStringLiteral("Label1_%1").arg(line.index));
        QFont font = InterfaceFont(line.points);
        font.setItalic(line.italic);
        label.setFont(font);
        QPalette lp = label.palette();
        lp.setColor(QPalette::WindowText, QColor(0, 0, 0));
        label.setPalette(lp);
        label.setText(QString::fromLatin1(line.text));
        label.setDesignRect(TwipsRect(line.left, line.top, line.width, line.height, dpi), false);
        const int index = line.index;
        connect(&label, &FormLabel::clicked, this, [this, index] { Label1_Click(index); });
    }

    connect(&Timer1, &FormTimer::tick, this, &VerApprove::Timer1_Timer);
    connect(&Timer2, &FormTimer::tick, this, &VerApprove::Timer2_Timer);
}

void VerApprove::Form_Load() {
    loaded_ = true;
    // The pattern window's auto-play timer is left running: its next tick
    // steps once more, and the dispatcher then stops it.
    SessionState.AutoPlayOn = kFalse;
    Timer1.setEnabled(true);
    Timer2.setEnabled(true);
    SessionState.FarewellFrame = 0;
    // Empty (white) until the first animation step, also when an earlier
    // load had shown frames before the window was closed.
    Picture1.setPicture(QImage());
}

void VerApprove::Timer1_Timer() { Q_EMIT endRequested(); }

void VerApprove::Timer2_Timer() {
    const int16_t frame = SessionState.FarewellFrame.value_or(0);
    if (frame <= 5) {
        SessionState.FarewellFrame = numeric::Add16(frame, 1);
        Picture1.setPicture(ImageList1.Overlay(*SessionState.FarewellFrame, 7));
    }
}

void VerApprove::Form_MouseDown(int16_t, int16_t, float, float) { Q_EMIT endRequested(); }

void VerApprove::Form_Click() { Q_EMIT endRequested(); }

void VerApprove::Form_KeyDown(int16_t, int16_t) { Q_EMIT endRequested(); }

void VerApprove::Picture1_Click() { Q_EMIT endRequested(); }

void VerApprove::Label1_Click(int) { Q_EMIT endRequested(); }

bool VerApprove::event(QEvent* event) {
    // Every key counts, Tab included, before focus handling can take it.
    if (event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void VerApprove::keyPressEvent(QKeyEvent* event) {
    Form_KeyDown(VirtualKeyCode(event->key()), ShiftState(event->modifiers()));
}

void VerApprove::mousePressEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    Form_MouseDown(ButtonCode(event->button()), ShiftState(event->modifiers()), static_cast<float>(pos.x()),
                   static_cast<float>(pos.y()));
}

void VerApprove::mouseReleaseEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) Form_Click();
}

void VerApprove::closeEvent(QCloseEvent* event) {
    // Closing unloads the window: its timers stop with it, and a later
    // show loads it anew.
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    loaded_ = false;
    event->accept();
}
