// Draws the program's artwork: the icon at each size the desktop asks for
// (16 to 256 pixels, the 32 by 32 one also the window icon), the splash
// picture and the seven farewell images. The files it writes are kept in assets/ and built
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

// Where the parts of the icon lie at one of the small sizes, drawn pixel
// for pixel: the stand (neck and base), the bezel's lighter edge, the
// bezel, and the screen showing the bars (its width a multiple of six).
struct IconLayout {
    int size;
    QRect neck, base, edge, bezel, screen;
};

const std::array<IconLayout, 4> kSmallIcons = {{
    {16, {6, 13, 4, 1}, {4, 14, 8, 1}, {0, 2, 16, 11}, {1, 3, 14, 9}, {2, 4, 12, 7}},
    {24, {10, 18, 4, 2}, {6, 20, 12, 2}, {1, 3, 22, 15}, {2, 4, 20, 13}, {3, 5, 18, 11}},
    {32, {13, 24, 6, 3}, {8, 27, 16, 2}, {1, 4, 30, 21}, {2, 5, 28, 19}, {4, 7, 24, 15}},
    {48, {20, 37, 8, 4}, {12, 41, 24, 3}, {2, 6, 44, 31}, {3, 7, 42, 29}, {6, 10, 36, 23}},
}};

// The sizes the icon is drawn at, and the file each goes to; the 32 by 32
// one is also the window icon compiled into the program.
const std::array<int, 7> kIconSizes = {16, 24, 32, 48, 64, 128, 256};

QString IconFileName(int size) {
    return size == 32 ? QStringLiteral("icon.png") : QStringLiteral("icon-%1.png").arg(size);
}

// The small sizes: whole-pixel rectangles, saved with an exact palette of
// the few colours used (transparent included).
QImage MakeSmallIcon(const IconLayout& l) {
    QImage img(l.size, l.size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(Qt::NoPen);
    p.fillRect(l.neck, kBezelEdge);
    p.fillRect(l.base, kBezelEdge);
    p.fillRect(l.edge, kBezelEdge);
    p.fillRect(l.bezel, kBezel);
    DrawBars(p, l.screen, 6);
    p.end();
    QList<QRgb> palette;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!palette.contains(img.pixel(x, y))) palette.append(img.pixel(x, y));
    return img.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
}

// The large sizes (multiples of 32): the same panel on the 32 by 32 grid
// scaled by a whole factor, so the bars keep whole-pixel edges, with room
// for what the small sizes cannot show: rounded corners, a fine edge,
// light falling on the bezel and the stand, and a faint sheen on the glass.
QImage MakeLargeIcon(int size) {
    const int u = size / 32;
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    QLinearGradient stand(0, 24 * u, 0, 29 * u);
    stand.setColorAt(0.0, kBezelEdge.darker(130));
    stand.setColorAt(1.0, kBezelEdge);
    p.setBrush(stand);
    p.drawRect(QRectF(13 * u, 23 * u, 6 * u, 4.5 * u));
    p.setBrush(kBezelEdge);
    p.drawRoundedRect(QRectF(8 * u, 27 * u, 16 * u, 2 * u), u, u);

    const QRectF edge(1 * u, 4 * u, 30 * u, 21 * u);
    p.setBrush(kBezelEdge);
    p.drawRoundedRect(edge, 1.5 * u, 1.5 * u);
    const qreal ring = qMax(1.0, u / 2.0);
    QLinearGradient bezel(0, edge.top(), 0, edge.bottom());
    bezel.setColorAt(0.0, kBezel.lighter(125));
    bezel.setColorAt(1.0, kBezel);
    p.setBrush(bezel);
    p.drawRoundedRect(edge.adjusted(ring, ring, -ring, -ring), 1.5 * u - ring, 1.5 * u - ring);

    const QRect screen(4 * u, 7 * u, 24 * u, 15 * u);
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawBars(p, screen, 6);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath sheen;
    sheen.moveTo(screen.topLeft());
    sheen.lineTo(screen.left() + screen.width() * 0.55, screen.top());
    sheen.lineTo(screen.left() + screen.width() * 0.30, screen.bottom() + 1);
    sheen.lineTo(screen.left(), screen.bottom() + 1);
    sheen.closeSubpath();
    p.setBrush(QColor(255, 255, 255, 28));
    p.drawPath(sheen);
    p.end();
    return img;
}

QImage MakeIcon(int size) {
    for (const IconLayout& l : kSmallIcons)
        if (l.size == size) return MakeSmallIcon(l);
    return MakeLargeIcon(size);
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
    bool ok = true;
    for (int size : kIconSizes) ok = Save(MakeIcon(size), dir, IconFileName(size), -1) && ok;
    ok = Save(MakeSplash(), dir, QStringLiteral("splash.jpg"), 92) && ok;
    for (int frame = 1; frame <= 6; ++frame)
        ok = Save(MakeFarewellFrame(frame), dir, QStringLiteral("farewell%1.jpg").arg(frame), 95) && ok;
    QImage blank(227, 142, QImage::Format_RGB32);
    blank.fill(Qt::white);
    ok = Save(blank, dir, QStringLiteral("farewell7.jpg"), 95) && ok;
    return ok ? 0 : 1;
}
