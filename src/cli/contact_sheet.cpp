#include "cli/contact_sheet.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMargin = 24;       // around the whole sheet
constexpr int kTitleHeight = 40;  // title line and the space under it
constexpr int kColumnGap = 16;
constexpr int kRowGap = 14;
constexpr int kCaptionGap = 6;    // between a thumbnail's frame and its caption
constexpr int kCaptionHeight = 16;
constexpr int kMinThumbnailSide = 4;
constexpr double kSheetAspect = 4.0 / 3.0;
constexpr int kMinSheetWidth = 480;   // room for the title line

constexpr QRgb kSheetColor = qRgb(0x26, 0x26, 0x26);
constexpr QRgb kFrameColor = qRgb(0x70, 0x70, 0x70);
constexpr QRgb kTitleColor = qRgb(0xf0, 0xf0, 0xf0);
constexpr QRgb kNumberColor = qRgb(0xff, 0xff, 0xff);
constexpr QRgb kNameColor = qRgb(0xb4, 0xb4, 0xb4);

QFont SheetFont(int pixelSize, bool bold) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace

ContactSheet::ContactSheet(QSize patternSize) : patternSize_(patternSize) {
    const double w = std::max(1, patternSize.width());
    const double h = std::max(1, patternSize.height());
    const double scale = kThumbnailBox / std::max(w, h);
    thumbnail_ = QSize(std::max(kMinThumbnailSide, static_cast<int>(std::lround(w * scale))),
                       std::max(kMinThumbnailSide, static_cast<int>(std::lround(h * scale))));
}

void ContactSheet::add(int16_t number, const QString& name, const QImage& picture) {
    entries_.push_back({number, name,
                        picture.scaled(thumbnail_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32)});
}

ContactSheet::Layout ContactSheet::layout() const {
    // The column count that makes the sheet's shape closest to 4:3.
    const int n = std::max(1, count());
    const int cellW = thumbnail_.width() + 2 + kColumnGap;
    const int cellH = thumbnail_.height() + 2 + kCaptionGap + kCaptionHeight + kRowGap;
    int best = 1;
    double bestError = 1e300;
    for (int c = 1; c <= n; ++c) {
        const int rows = (n + c - 1) / c;
        const double aspect = double(c * cellW) / double(rows * cellH + kTitleHeight);
        const double error = std::abs(std::log(aspect / kSheetAspect));
        if (error < bestError - 1e-9) {
            bestError = error;
            best = c;
        }
    }
    Layout l{};
    l.columns = best;
    l.rows = (n + best - 1) / best;
    l.width = std::max(kMinSheetWidth,
                       2 * kMargin + l.columns * (thumbnail_.width() + 2) + (l.columns - 1) * kColumnGap);
    l.height = 2 * kMargin + kTitleHeight + l.rows * (thumbnail_.height() + 2 + kCaptionGap + kCaptionHeight) +
               (l.rows - 1) * kRowGap;
    return l;
}

QRect ContactSheet::thumbnailRect(int index) const {
    const int cols = layout().columns;
    const int frameW = thumbnail_.width() + 2;
    const int cellH = thumbnail_.height() + 2 + kCaptionGap + kCaptionHeight;
    const int x = kMargin + (index % cols) * (frameW + kColumnGap);
    const int y = kMargin + kTitleHeight + (index / cols) * (cellH + kRowGap);
    return QRect(QPoint(x + 1, y + 1), thumbnail_); // inside its one-pixel frame
}

QImage ContactSheet::render() const {
    const Layout l = layout();
    const int width = l.width;
    const int height = l.height;

    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(kSheetColor);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Title: the product and version on the left, the pictures' size on the right.
    const QRect title(kMargin, kMargin, width - 2 * kMargin, kTitleHeight - 14);
    p.setPen(QColor::fromRgb(kTitleColor));
    p.setFont(SheetFont(18, true));
    p.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vantrel " VANTREL_VERSION " test patterns"));
    p.setFont(SheetFont(14, false));
    p.setPen(QColor::fromRgb(kNameColor));
    p.drawText(title, Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("%1 \u00d7 %2 pixels").arg(patternSize_.width()).arg(patternSize_.height()));

    const QFont numberFont = SheetFont(12, true);
    const QFont nameFont = SheetFont(12, false);
    const QFontMetrics numberMetrics(numberFont, &sheet);
    const QFontMetrics nameMetrics(nameFont, &sheet);
    for (int i = 0; i < count(); ++i) {
        const Entry& e = entries_[static_cast<size_t>(i)];
        const QRect thumb = thumbnailRect(i);
        const QRect frame = thumb.adjusted(-1, -1, 1, 1);
        p.fillRect(frame, QColor::fromRgb(kFrameColor));
        p.drawImage(thumb.topLeft(), e.thumbnail);

        // Caption: the number in bold, then the name, cut to the frame's width.
        const QString number = QString::number(e.number);
        const int x = frame.left();
        const int captionY = frame.bottom() + 1 + kCaptionGap;
        const QRect numberRect(x, captionY, numberMetrics.horizontalAdvance(number), kCaptionHeight);
        p.setFont(numberFont);
        p.setPen(QColor::fromRgb(kNumberColor));
        p.drawText(numberRect, Qt::AlignLeft | Qt::AlignVCenter, number);
        const int nameX = numberRect.right() + 1 + nameMetrics.horizontalAdvance(QLatin1Char(' '));
        const int nameWidth = frame.right() + 1 - nameX;
        if (nameWidth > 0) {
            p.setFont(nameFont);
            p.setPen(QColor::fromRgb(kNameColor));
            p.drawText(QRect(nameX, captionY, nameWidth, kCaptionHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       nameMetrics.elidedText(e.name, Qt::ElideRight, nameWidth));
        }
    }
    p.end();
    return sheet;
}
