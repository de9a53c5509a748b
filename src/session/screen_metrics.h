#pragma once
// What the windows need to know of a screen: its size in device pixels,
// the logical resolution their twips designs are scaled by, and where a
// window of a given size sits centred on it.

#include <QPoint>
#include <QSize>

class QScreen;

// The size of a screen in device pixels.
QSize DeviceSize(const QScreen* screen);

// The logical resolution the windows' design is scaled by (96 without a screen).
double LogicalDpi(const QScreen* screen);

// The top-left corner that centres a window of `size` on `screen`.
QPoint CentredOn(const QScreen* screen, QSize size);
