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
// monitor QML Q27 0042  1:1 yes". The primary screen is marked at the end.
QStringList ScreenListing();

// The screen a --screen value names: an index into the screen list or a
// screen's name (exact, else ignoring case). Empty: the primary screen.
// nullptr, with `error` set, when there is no such screen.
QScreen* FindScreen(const QString& choice, QString* error);
