#include "defects/panel_map.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kMargin = 24;
constexpr int kHeading = 44;
constexpr int kLegend = 30;
constexpr int kMarkSize = 7; // half the extent of a point mark

const QColor kSurround(40, 40, 44);
const QColor kPanel(12, 12, 12);
const QColor kPanelEdge(150, 150, 150);
const QColor kText(230, 230, 230);

QColor MarkColour(FaultType type) {
    switch (type) {
    case FaultType::Bright: return QColor(255, 214, 0);
    case FaultType::Dark: return QColor(0, 200, 255);
    case FaultType::SubPixel: return QColor(255, 80, 255);
    case FaultType::Row:
    case FaultType::Column: return QColor(255, 60, 40);
    }
    return kText;
}

// A point mark's symbol centred on `c`: a cross for a bright pixel, a
// ring for a dark one, a dot in a small diagonal cross for a sub-pixel
// fault.
void DrawSymbol(QPainter& p, FaultType type, QPointF c) {
    const qreal s = kMarkSize;
    switch (type) {
    case FaultType::Bright:
        p.drawLine(QPointF(c.x() - s, c.y()), QPointF(c.x() + s, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() + s));
        break;
    case FaultType::Dark: p.drawEllipse(c, s - 1, s - 1); break;
    case FaultType::SubPixel:
        p.drawLine(QPointF(c.x() - s + 2, c.y() - s + 2), QPointF(c.x() + s - 2, c.y() + s - 2));
        p.drawLine(QPointF(c.x() - s + 2, c.y() + s - 2), QPointF(c.x() + s - 2, c.y() - s + 2));
        p.setBrush(p.pen().color());
        p.drawEllipse(c, 2, 2);
        p.setBrush(Qt::NoBrush);
        break;
    case FaultType::Row:
    case FaultType::Column: break;
    }
}

} // namespace

QImage PaintPanelMap(const DefectRecord& record) {
    const int w = std::max(1, record.mode.width());
    const int h = std::max(1, record.mode.height());
    const double scale = std::min(double(kMapWidth) / w, double(kMapHeight) / h);
    const int mapW = std::max(1, int(std::lround(w * scale)));
    const int mapH = std::max(1, int(std::lround(h * scale)));
    const QRectF panel(kMargin, kHeading, mapW, mapH);

    QImage image(mapW + 2 * kMargin, kHeading + mapH + kLegend, QImage::Format_RGB32);
    image.fill(kSurround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    p.setFont(font);

    const Verdict v = record.verdict();
    p.setPen(kText);
    p.drawText(QRectF(kMargin, 4, mapW, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1    %2 x %3 pixels    %4")
                   .arg(record.panel)
                   .arg(record.mode.width())
                   .arg(record.mode.height())
                   .arg(record.started.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))));
    p.drawText(QRectF(kMargin, 22, mapW, 18), Qt::AlignLeft | Qt::AlignVCenter, SummaryLine(record.panel, v));

    p.fillRect(panel, kPanel);
    p.setPen(QPen(kPanelEdge, 1));
    p.drawRect(panel.adjusted(-0.5, -0.5, 0.5, 0.5));

    // Map position of the centre of panel pixel (x, y), counted from 1.
    const auto at = [&](int x, int y) {
        return QPointF(panel.left() + (x - 0.5) * scale, panel.top() + (y - 0.5) * scale);
    };
    const QFontMetrics metrics(font);
    std::vector<QRectF> placed;
    for (const DefectMark& m : record.marks) {
        const QPointF c = at(m.x, m.y);
        p.setPen(QPen(MarkColour(m.type), 2));
        QPointF label;
        if (m.type == FaultType::Row) {
            p.drawLine(QPointF(panel.left(), c.y()), QPointF(panel.right(), c.y()));
            label = QPointF(panel.left() + 4, c.y() - 4);
        } else if (m.type == FaultType::Column) {
            p.drawLine(QPointF(c.x(), panel.top()), QPointF(c.x(), panel.bottom()));
            label = QPointF(c.x() + 4, panel.top() + metrics.ascent() + 2);
        } else {
            DrawSymbol(p, m.type, c);
            label = QPointF(c.x() + kMarkSize + 2, c.y() - 2);
        }
        // The number, kept inside the picture and off the numbers placed
        // before it: moved a line down or up, further each try.
        const QString number = QString::number(m.number);
        const qreal tw = metrics.horizontalAdvance(number);
        const qreal line = metrics.height();
        QRectF box;
        for (int attempt = 0; attempt < 12; ++attempt) {
            const int k = (attempt + 1) / 2;
            const qreal shift = (attempt % 2 ? k : -k) * line;
            const qreal x = std::clamp(label.x(), 0.0, qreal(image.width()) - tw - 1);
            const qreal y = std::clamp(label.y() + shift, qreal(metrics.ascent()),
                                       qreal(image.height() - metrics.descent() - 1));
            box = QRectF(x, y - metrics.ascent(), tw, line);
            if (std::none_of(placed.begin(), placed.end(), [&box](const QRectF& r) { return r.intersects(box); }))
                break;
        }
        placed.push_back(box);
        p.drawText(QPointF(box.left(), box.top() + metrics.ascent()), number);
    }

    // Legend.
    qreal x = kMargin;
    const qreal y = kHeading + mapH + kLegend / 2.0;
    for (FaultType t : {FaultType::Bright, FaultType::Dark, FaultType::SubPixel, FaultType::Row}) {
        p.setPen(QPen(MarkColour(t), 2));
        if (t == FaultType::Row) p.drawLine(QPointF(x - kMarkSize, y), QPointF(x + kMarkSize, y));
        else DrawSymbol(p, t, QPointF(x, y));
        const QString text = t == FaultType::Row ? QStringLiteral("line defect")
                                                 : QStringLiteral("type %1 %2").arg(int(t)).arg(FaultTypeText(t));
        p.setPen(kText);
        p.drawText(QPointF(x + kMarkSize + 5, y + metrics.ascent() / 2.0 - 1), text);
        x += kMarkSize * 2 + 18 + metrics.horizontalAdvance(text);
    }
    p.end();
    return image;
}
