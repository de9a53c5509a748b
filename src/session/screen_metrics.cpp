#include "session/screen_metrics.h"

#include <QScreen>

QSize DeviceSize(const QScreen* screen) {
    if (!screen) return QSize(0, 0);
    const qreal dpr = screen->devicePixelRatio();
    const QSize logical = screen->geometry().size();
    return QSize(qRound(logical.width() * dpr), qRound(logical.height() * dpr));
}

double LogicalDpi(const QScreen* screen) {
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return dpi > 0.0 ? dpi : 96.0;
}

QPoint CentredOn(const QScreen* screen, QSize size) {
    if (!screen) return QPoint(0, 0);
    const QRect area = screen->geometry();
    return QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}
