// Draws the program's artwork: the window icon, the splash picture and the
// seven farewell images. The files it writes are kept in assets/ and built
// into the program as resources; run this again only to change them.
//
//   make_artwork <output directory>

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <array>
#include <cstdio>

namespace {

// The colours of the bars the panel motif shows, left to right.
const std::array<QColor, 6> kBarColors = {
    QColor(236, 236, 236), QColor(240, 214, 40), QColor(40, 200, 220),
    QColor(52, 190, 84),   QColor(214, 60, 190), QColor(54, 92, 230),
};

const QColor kBezel(31, 38, 52);
const QColor kBezelEdge(70, 84, 110);
const QColor kDarkScreen(22, 26, 34);
const QColor kAccent(46, 120, 220);
const QColor kApproved(38, 160, 90);

// Splits `width` into `count` whole-pixel parts that add up to it.
int PartEdge(int width, int count, int index) { return width * index / count; }

void DrawBars(QPainter& p, const QRect& screen, int litBars) {
    p.fillRect(screen, kDarkScreen);
    const int n = static_cast<int>(kBarColors.size());
    for (int i = 0; i < litBars && i < n; ++i) {
        const int x1 = screen.left() + PartEdge(screen.width(), n, i);
        const int x2 = screen.left() + PartEdge(screen.width(), n, i + 1);
        p.fillRect(QRect(x1, screen.top(), x2 - x1, screen.height()), kBarColors[static_cast<size_t>(i)]);
    }
}

// A flat panel on a stand: `body` is the bezel; returns the screen area.
QRect DrawPanel(QPainter& p, const QRect& body, int inset, qreal radius) {
    const int neckW = body.width() / 7;
    const int neckH = body.height() / 7;
    const int baseW = body.width() * 3 / 7;
    const int baseH = qMax(3, body.height() / 16);
    const int cx = body.center().x() + 1;
    p.setPen(Qt::NoPen);
    p.setBrush(kBezelEdge);
    p.drawRect(QRect(cx - neckW / 2, body.bottom(), neckW, neckH));
    p.drawRoundedRect(QRectF(cx - baseW / 2.0, body.bottom() + neckH, baseW, baseH), baseH / 2.0, baseH / 2.0);
    p.setPen(QPen(kBezelEdge, 1.0));
    p.setBrush(kBezel);
    p.drawRoundedRect(QRectF(body).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    return body.adjusted(inset, inset, -inset, -inset);
}

bool Save(const QImage& image, const QDir& dir, const QString& name, int quality) {
    const QString path = dir.filePath(name);
    if (!image.save(path, nullptr, quality)) {
        std::fprintf(stderr, "make_artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
    return true;
}

// 32 by 32, 256 colours: a panel showing the bars, drawn pixel-exact.
QImage MakeIcon() {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(Qt::NoPen);
    p.fillRect(QRect(13, 24, 6, 3), kBezelEdge);  // neck
    p.fillRect(QRect(8, 27, 16, 2), kBezelEdge);  // base
    p.fillRect(QRect(1, 4, 30, 21), kBezelEdge);  // bezel edge
    p.fillRect(QRect(2, 5, 28, 19), kBezel);      // bezel
    DrawBars(p, QRect(4, 7, 24, 15), 6);
    p.end();
    // An exact palette of the few colours used (transparent included).
    QList<QRgb> palette;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!palette.contains(img.pixel(x, y))) palette.append(img.pixel(x, y));
    return img.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
}

QImage MakeSplash() {
    const int w = 400;
    const int h = 300;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(12, 17, 30));
    sky.setColorAt(1.0, QColor(4, 6, 11));
    p.fillRect(img.rect(), sky);
    QRadialGradient glow(QPointF(w / 2.0, 120), 170);
    glow.setColorAt(0.0, QColor(38, 62, 110, 120));
    glow.setColorAt(1.0, QColor(38, 62, 110, 0));
    p.fillRect(img.rect(), glow);

    // A faint alignment grid, kept clear of the title and notice rows.
    p.setPen(QPen(QColor(255, 255, 255, 12), 1.0));
    for (int x = 20; x < w; x += 20) p.drawLine(QPointF(x + 0.5, 36), QPointF(x + 0.5, 262));
    for (int y = 40; y < 262; y += 20) p.drawLine(QPointF(0, y + 0.5), QPointF(w, y + 0.5));

    // Thin accent rules under the title and over the notice.
    QLinearGradient rule(0, 0, w, 0);
    rule.setColorAt(0.0, QColor(46, 120, 220, 0));
    rule.setColorAt(0.5, QColor(90, 160, 255, 200));
    rule.setColorAt(1.0, QColor(46, 120, 220, 0));
    p.fillRect(QRectF(60, 31, w - 120, 1), rule);
    p.fillRect(QRectF(60, 268, w - 120, 1), rule);

    // The panel: bars over a grey ramp, the way a test picture looks.
    const QRect screen = DrawPanel(p, QRect(112, 58, 176, 112), 7, 6);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect bars(screen.left(), screen.top(), screen.width(), screen.height() * 2 / 3);
    DrawBars(p, bars, 6);
    const QRect ramp(screen.left(), bars.bottom() + 1, screen.width(), screen.bottom() - bars.bottom());
    const int steps = 8;
    for (int i = 0; i < steps; ++i) {
        const int x1 = ramp.left() + PartEdge(ramp.width(), steps, i);
        const int x2 = ramp.left() + PartEdge(ramp.width(), steps, i + 1);
        const int v = 255 * i / (steps - 1);
        p.fillRect(QRect(x1, ramp.top(), x2 - x1, ramp.height()), QColor(v, v, v));
    }
    p.setRenderHint(QPainter::Antialiasing);

    QFont tag(QStringLiteral("Liberation Sans"));
    tag.setPixelSize(11);
    tag.setBold(true);
    tag.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    p.setFont(tag);
    p.setPen(QColor(150, 172, 210));
    p.drawText(QRect(0, 206, w, 16), Qt::AlignCenter, QStringLiteral("TFT-LCD PANEL INSPECTION"));
    QFont sub(QStringLiteral("Liberation Sans"));
    sub.setPixelSize(10);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    p.setFont(sub);
    p.setPen(QColor(98, 112, 140));
    p.drawText(QRect(0, 226, w, 14), Qt::AlignCenter,
               QStringLiteral("Full-screen test patterns \u00b7 pixel-exact colour"));
    p.end();
    return img;
}

// Frame `frame` (1..6) of the farewell animation: one more bar lights up
// on each frame, the row of dots below counts along, and the last frame
// adds the approval mark.
QImage MakeFarewellFrame(int frame) {
    QImage img(227, 142, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect screen = DrawPanel(p, QRect(53, 12, 122, 82), 5, 5);
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawBars(p, screen, frame);
    p.setRenderHint(QPainter::Antialiasing);

    const int dots = 6;
    const qreal pitch = 12;
    const qreal x0 = 227 / 2.0 - pitch * (dots - 1) / 2.0;
    for (int i = 0; i < dots; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(i < frame ? kAccent : QColor(214, 219, 228));
        p.drawEllipse(QPointF(x0 + i * pitch, 126), 3.5, 3.5);
    }

    if (frame >= 6) {
        const QPointF c(168, 84);
        p.setPen(QPen(Qt::white, 2.5));
        p.setBrush(kApproved);
        p.drawEllipse(c, 14, 14);
        QPainterPath tick;
        tick.moveTo(c + QPointF(-6.5, 0.5));
        tick.lineTo(c + QPointF(-2, 5));
        tick.lineTo(c + QPointF(7, -5));
        p.setPen(QPen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    p.end();
    return img;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork <output directory>\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "make_artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = Save(MakeIcon(), dir, QStringLiteral("icon.png"), -1);
    ok = Save(MakeSplash(), dir, QStringLiteral("splash.jpg"), 92) && ok;
    for (int frame = 1; frame <= 6; ++frame)
        ok = Save(MakeFarewellFrame(frame), dir, QStringLiteral("farewell%1.jpg").arg(frame), 95) && ok;
    QImage blank(227, 142, QImage::Format_RGB32);
    blank.fill(Qt::white);
    ok = Save(blank, dir, QStringLiteral("farewell7.jpg"), 95) && ok;
    return ok ? 0 : 1;
}
