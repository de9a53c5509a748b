#pragma once
// The program's pictures, compiled into it as resources: the window icon,
// the splash picture and the farewell images.

#include <QIcon>
#include <QImage>
#include <QString>

// The picture `name` (for example "splash.jpg"); a null image if the
// program has no picture of that name.
QImage ArtworkImage(const QString& name);

// The 32 by 32 icon every window of the program shows.
QIcon ProgramIcon();
