#include "session/screen_metrics.h"

#include "platform/screen_facts.h"

#include <QScreen>

QSize DeviceSize(const QScreen* screen) {
    if (!screen) return QSize(0, 0);
    // The platform screen's own size in device pixels: Qt's logical size is
    // rounded, and multiplying it back by a fractional ratio can give a
    // pixel more than the screen has.
    return QtScreenFacts(screen).qtDeviceSize;
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
