#include "cli/screen_choice.h"

#include "platform/pixel_verdict.h"
#include "platform/presentation_clock.h"
#include "platform/printable_text.h"
#include "platform/screen_facts.h"
#include "session/screen_metrics.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>

namespace {

// A number as short plain text: 1, 1.25, 59.95.
QString Plain(qreal value) { return QLocale::c().toString(value, 'g', 6); }

QString ModeText(const std::optional<QSize>& mode) { return mode ? SizeText(*mode) : QStringLiteral("unknown"); }

// The desktop's scale in per cent: the output's mode over the compositor's
// logical size where both are known, else Qt's pixel ratio.
QString ScaleText(const ScreenFacts& f) {
    const std::optional<QSize> mode = OrientedMode(f);
    double scale = f.qtPixelRatio;
    if (mode && f.logicalSize && f.logicalSize->width() > 0)
        scale = double(mode->width()) / f.logicalSize->width();
    return QStringLiteral("%1 %").arg(Plain(qRound(scale * 1000.0) / 10.0));
}

// What the server and the facts judge, after the Qt columns: "mode
// 2560x1600  native 2560x1600  scale 125 %  monitor QML Q27 123  1:1 no
// (reason)"; "1:1 unknown (reason)" when no server could be asked.
QString FactsColumns(const QScreen* s) {
    const ScreenFacts f = QueryScreenFacts(s);
    const PixelVerdict verdict = JudgePixels(f);
    QStringList identity;
    for (const QString& part : {f.maker, f.model, f.serial})
        if (!part.trimmed().isEmpty()) identity << part.trimmed();
    const QString oneToOne = !verdict.known     ? QStringLiteral("unknown (%1)").arg(verdict.message)
                             : verdict.oneToOne ? QStringLiteral("yes")
                                                : QStringLiteral("no (%1)").arg(verdict.message);
    return QStringLiteral("  mode %1  native %2  scale %3  monitor %4  1:1 %5")
        .arg(ModeText(f.currentMode), ModeText(f.preferredMode), ScaleText(f),
             identity.isEmpty() ? QStringLiteral("unknown") : identity.join(QLatin1Char(' ')), oneToOne);
}

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
        if (const QString measured = MeasuredRefresh(screens[i]); !measured.isEmpty()) line += QLatin1Char(' ') + measured;
        line += FactsColumns(s);
        if (s == primary) line += QStringLiteral("  primary");
        // Names, makers and models come from the display server and the
        // monitor: no control character of theirs reaches the terminal.
        lines << PrintableText(line);
    }
    return lines;
}

QString MeasuredRefresh(QScreen* screen) {
    const std::optional<double> hz = MeasureRefreshHz(screen);
    return hz ? QStringLiteral("measured %1 Hz").arg(*hz, 0, 'f', 3) : QString();
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
