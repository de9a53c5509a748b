#pragma once
// The screens the windows can open on, as --list-screens shows them and
// --screen chooses among them.

#include <QString>
#include <QStringList>

class QScreen;

// One line per screen: index, name, size in device pixels, device pixel
// ratio and refresh rate, then what the display server says: the output's
// mode, the monitor's native mode, the desktop's scale, the monitor's
// identity and whether a pattern pixel is a panel pixel, e.g. "1  HDMI-1
// 3840x2160  ratio 2  60 Hz  mode 3840x2160  native 3840x2160  scale 200 %
// monitor QML Q27 0042  1:1 yes". Where the display server confirms
// presentations, the measured refresh follows the announced one ("60 Hz
// measured 59.951 Hz"). The primary screen is marked at the end.
QStringList ScreenListing();

// The refresh of the screen measured over about a second of presentations
// that the display server confirms, e.g. "measured 59.951 Hz"; empty where
// it confirms none (X11, a compositor without presentation feedback).
QString MeasuredRefresh(QScreen* screen);

// The screen a --screen value names: an index into the screen list or a
// screen's name (exact, else ignoring case). Empty: the primary screen.
// nullptr, with `error` set, when there is no such screen.
QScreen* FindScreen(const QString& choice, QString* error);
