#include "screens/artwork.h"

#include <QPixmap>

// The resources live in the static core library: register them before the
// first look-up (registering again is harmless).
static void RegisterArtwork() { Q_INIT_RESOURCE(assets); }

QImage ArtworkImage(const QString& name) {
    RegisterArtwork();
    return QImage(QStringLiteral(":/assets/") + name);
}

QIcon ProgramIcon() { return QIcon(QPixmap::fromImage(ArtworkImage(QStringLiteral("icon.png")))); }
