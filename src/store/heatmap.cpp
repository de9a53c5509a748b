#include "store/heatmap.h"

#include "platform/printable_text.h"

#include <QFont>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr int kTitleHeight = 64;
constexpr QRgb kTitleBackground = 0xff181818u;
constexpr QColor kLineColour(0, 200, 255);

// A fault spreads over the cells within kSpread of its own, weighed
// exp(-d²/2σ²): 1 on its own cell, so one fault alone shows at its full
// weight and faults on one spot add up.
constexpr int kSpread = 4;
constexpr double kSigma = 1.6;

struct Stop {
    double at;
    int r, g, b;
};
// Black, purple, crimson, orange, yellow, white: every step brighter than
// the one before.
constexpr std::array<Stop, 7> kScale{{{0.0, 0, 0, 0},
                                      {0.2, 50, 10, 95},
                                      {0.4, 135, 30, 105},
                                      {0.6, 215, 70, 50},
                                      {0.8, 250, 165, 20},
                                      {0.92, 250, 235, 110},
                                      {1.0, 255, 255, 255}}};

QRgb ScaleColour(double v) {
    v = std::clamp(v, 0.0, 1.0);
    size_t i = 1;
    while (i + 1 < kScale.size() && v > kScale[i].at) ++i;
    const Stop& a = kScale[i - 1];
    const Stop& b = kScale[i];
    const double t = (v - a.at) / (b.at - a.at);
    const auto mix = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return qRgb(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
}

// The density spread over the neighbouring cells, one direction at a time.
std::vector<float> Spread(const std::vector<uint32_t>& density, int w, int h) {
    std::array<float, 2 * kSpread + 1> weight{};
    for (int d = -kSpread; d <= kSpread; ++d)
        weight[static_cast<size_t>(d + kSpread)] = static_cast<float>(std::exp(-d * d / (2 * kSigma * kSigma)));
    std::vector<float> across(density.size(), 0.0f), both(density.size(), 0.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t n = density[static_cast<size_t>(y) * w + x];
            if (n == 0) continue;
            for (int d = -kSpread; d <= kSpread; ++d)
                if (x + d >= 0 && x + d < w)
                    across[static_cast<size_t>(y) * w + x + d] += static_cast<float>(n) * weight[static_cast<size_t>(d + kSpread)];
        }
    for (int y = 0; y < h; ++y)
        for (int d = -kSpread; d <= kSpread; ++d) {
            if (y + d < 0 || y + d >= h) continue;
            const float k = weight[static_cast<size_t>(d + kSpread)];
            const float* from = &across[static_cast<size_t>(y) * w];
            float* to = &both[static_cast<size_t>(y + d) * w];
            for (int x = 0; x < w; ++x) to[x] += from[x] * k;
        }
    return both;
}

QString Count(int64_t n) { return QLocale(QLocale::English).toString(static_cast<qlonglong>(n)); }

QFont TitleFont(int pixels, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void PaintTitle(QPainter& p, const HeatmapFigures& f, const QString& filter, uint32_t busiest) {
    p.fillRect(QRect(0, 0, kHeatmapWidth, kTitleHeight), QColor::fromRgb(kTitleBackground));
    p.fillRect(QRect(0, kTitleHeight - 1, kHeatmapWidth, 1), QColor(90, 90, 90));
    const int legendLeft = kHeatmapWidth - 230;
    const int textWidth = legendLeft - 24;

    p.setPen(QColor(240, 240, 240));
    p.setFont(TitleFont(17, true));
    const QString head = QStringLiteral("Faults of %1 panel%2 (%3 session%4)")
                             .arg(Count(f.panels), f.panels == 1 ? QString() : QStringLiteral("s"),
                                  Count(f.sessions), f.sessions == 1 ? QString() : QStringLiteral("s"));
    p.drawText(QRect(12, 8, textWidth, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(p.font()).elidedText(head, Qt::ElideRight, textWidth));
    p.setPen(QColor(200, 200, 200));
    p.setFont(TitleFont(13, false));
    const QString detail = QStringLiteral("%1 · %2 point faults · %3 line defects · %4 x %5")
                               .arg(PrintableText(filter), Count(f.pointFaults), Count(f.lineDefects))
                               .arg(f.mode.width())
                               .arg(f.mode.height());
    p.drawText(QRect(12, 34, textWidth, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(p.font()).elidedText(detail, Qt::ElideRight, textWidth));

    // The scale: from no fault to the busiest cell.
    const QRect bar(legendLeft, 14, 150, 10);
    for (int x = 0; x < bar.width(); ++x)
        p.fillRect(QRect(bar.left() + x, bar.top(), 1, bar.height()),
                   QColor::fromRgb(ScaleColour(static_cast<double>(x) / (bar.width() - 1))));
    p.setFont(TitleFont(11, false));
    p.drawText(QRect(bar.left(), bar.bottom() + 3, 40, 14), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
    p.drawText(QRect(bar.right() - 120, bar.bottom() + 3, 121, 14), Qt::AlignRight | Qt::AlignTop,
               QStringLiteral("%1 in a cell").arg(Count(busiest)));
    p.fillRect(QRect(bar.right() + 10, bar.top() + 4, 22, 2), kLineColour);
    p.drawText(QRect(bar.right() + 36, bar.top() - 2, 60, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("lines"));
}

} // namespace

QRect HeatmapPanelArea(const HeatmapFigures& f) { return QRect(QPoint(0, kTitleHeight), f.cells); }

QImage PaintHeatmap(const HeatmapFigures& f, const QString& filter) {
    const QRect panel = HeatmapPanelArea(f);
    QImage image(kHeatmapWidth, panel.bottom() + 1, QImage::Format_RGB32);
    image.fill(Qt::black);
    const int w = f.cells.width(), h = f.cells.height();
    const std::vector<float> spread = Spread(f.density, w, h);
    const float peak = spread.empty() ? 0.0f : *std::max_element(spread.begin(), spread.end());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(panel.top() + y));
        for (int x = 0; x < w && x < kHeatmapWidth; ++x) {
            const float d = spread[static_cast<size_t>(y) * w + x];
            // The square root keeps a lone fault visible beside a hot spot.
            if (d > 0.0f) row[x] = ScaleColour(std::sqrt(static_cast<double>(d / peak)));
        }
    }

    QPainter p(&image);
    // A line defect seen once is faint where there are many of them; one
    // seen on many panels at the same place (a fault of the process) is
    // the more opaque the more panels show it.
    int64_t mostOnOneLine = 1;
    for (const HeatmapFigures::Line& line : f.lines) mostOnOneLine = std::max(mostOnOneLine, line.count);
    const double once = std::clamp(8.0 / static_cast<double>(std::max<size_t>(f.lines.size(), 1)), 0.08, 0.6);
    for (const HeatmapFigures::Line& line : f.lines) {
        QColor colour = kLineColour;
        const double opacity =
            line.count < 2 ? once
                           : 0.35 + 0.55 * static_cast<double>(line.count - 1) / static_cast<double>(mostOnOneLine - 1);
        colour.setAlphaF(static_cast<float>(opacity));
        if (line.row) p.fillRect(QRect(panel.left(), panel.top() + line.position, panel.width(), 1), colour);
        else p.fillRect(QRect(panel.left() + line.position, panel.top(), 1, panel.height()), colour);
    }
    const uint32_t busiest = f.density.empty() ? 0 : *std::max_element(f.density.begin(), f.density.end());
    PaintTitle(p, f, filter, busiest);
    p.end();
    return image;
}
