#pragma once
// The screens the windows can open on, as --list-screens shows them and
// --screen chooses among them.

#include <QString>
#include <QStringList>

class QScreen;

// One line per screen: index, name, size in device pixels, device pixel
// ratio and refresh rate, e.g. "1  HDMI-1  3840x2160  ratio 2  60 Hz".
// The primary screen is marked.
QStringList ScreenListing();

// The screen a --screen value names: an index into the screen list or a
// screen's name (exact, else ignoring case). Empty: the primary screen.
// nullptr, with `error` set, when there is no such screen.
QScreen* FindScreen(const QString& choice, QString* error);
