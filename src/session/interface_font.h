#pragma once
// The face of every text on the program's windows that is not part of a
// pattern: the start-up window's labels and notice, the pattern window's
// read-out and mark note, the farewell window's captions, the exit
// question. Liberation Sans (Arial's metrics), which the package depends
// on, named outright rather than found through the system's font choice,
// so that these texts look the same on every machine.

#include <QFont>

// Liberation Sans at `points`.
QFont InterfaceFont(qreal points);
