#include "cli/screen_choice.h"

#include "session/screen_metrics.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>

namespace {

// A number as short plain text: 1, 1.25, 59.95.
QString Plain(qreal value) { return QLocale::c().toString(value, 'g', 6); }

} // namespace

QStringList ScreenListing() {
    QStringList lines;
    const QList<QScreen*> screens = QGuiApplication::screens();
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QScreen* s = screens[i];
        const QSize size = DeviceSize(s);
        QString line = QStringLiteral("%1  %2  %3x%4  ratio %5  %6 Hz")
                           .arg(i)
                           .arg(s->name().isEmpty() ? QStringLiteral("(unnamed)") : s->name())
                           .arg(size.width())
                           .arg(size.height())
                           .arg(Plain(s->devicePixelRatio()))
                           .arg(Plain(s->refreshRate()));
        if (s == primary) line += QStringLiteral("  primary");
        lines << line;
    }
    return lines;
}

QScreen* FindScreen(const QString& choice, QString* error) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) {
        *error = QStringLiteral("the display has no screens");
        return nullptr;
    }
    const QString wanted = choice.trimmed();
    if (wanted.isEmpty()) return QGuiApplication::primaryScreen();

    bool isIndex = false;
    const int index = wanted.toInt(&isIndex, 10);
    if (isIndex) {
        if (index >= 0 && index < screens.size()) return screens[index];
    } else {
        for (QScreen* s : screens)
            if (s->name() == wanted) return s;
        for (QScreen* s : screens)
            if (s->name().compare(wanted, Qt::CaseInsensitive) == 0) return s;
    }
    *error = QStringLiteral("no screen '%1': the screens are 0 to %2 (see --list-screens)")
                 .arg(wanted)
                 .arg(screens.size() - 1);
    return nullptr;
}
