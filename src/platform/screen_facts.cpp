#include "platform/screen_facts.h"

#include "platform/backends.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#if defined(VANTREL_HAVE_QPA)
#include <qpa/qplatformscreen.h>
#endif

#include <cmath>

namespace {

QString SourceText(FactsSource source) {
    switch (source) {
    case FactsSource::X11: return QStringLiteral("x11");
    case FactsSource::Wayland: return QStringLiteral("wayland");
    case FactsSource::Qt: break;
    }
    return QStringLiteral("qt");
}

// The screen in device pixels. Qt's platform screen holds its geometry in
// native pixels of the platform (device pixels on X11 and Windows, the
// compositor's logical pixels on Wayland) and its own ratio to device
// pixels; QScreen::geometry() divides by Qt's scale factor and rounds, so
// multiplying it back may be off by one (1366 at 150 % is 911 logical
// pixels, and 911 * 1.5 rounds to 1367).
QSize DeviceSizeOf(const QScreen* screen) {
#if defined(VANTREL_HAVE_QPA)
    if (const QPlatformScreen* platform = screen->handle()) {
        const QSize native = platform->geometry().size();
        const qreal ratio = platform->devicePixelRatio();
        return QSize(qRound(native.width() * ratio), qRound(native.height() * ratio));
    }
#endif
    // Without Qt's platform screen the rounding cannot be undone; this is
    // right for whole-number ratios.
    const qreal dpr = screen->devicePixelRatio();
    const QSize logical = screen->geometry().size();
    return QSize(qRound(logical.width() * dpr), qRound(logical.height() * dpr));
}

} // namespace

QString SizeText(QSize size) { return QStringLiteral("%1x%2").arg(size.width()).arg(size.height()); }

ScreenFacts QtScreenFacts(const QScreen* screen) {
    ScreenFacts facts;
    if (!screen) return facts;
    facts.qtName = screen->name();
    facts.qtLogicalSize = screen->geometry().size();
    facts.qtPixelRatio = screen->devicePixelRatio();
    facts.qtDeviceSize = DeviceSizeOf(screen);
    if (screen->refreshRate() > 0) facts.refreshHz = screen->refreshRate();
    facts.maker = screen->manufacturer();
    facts.model = screen->model();
    facts.serial = screen->serialNumber();
    return facts;
}

ScreenFacts QueryScreenFacts(const QScreen* screen) {
    ScreenFacts facts = QtScreenFacts(screen);
    if (!screen) return facts;
    // Only a screen that Qt shows through a display server is asked about:
    // on the offscreen platform (and the like) whatever server the
    // environment names shows nothing of the program.
    const QString platform = QGuiApplication::platformName();
    const bool qtOnWayland = platform.startsWith(QLatin1String("wayland"));
    const bool qtOnX11 = platform == QLatin1String("xcb");
    const bool waylandNamed = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!qtOnWayland && !qtOnX11)
        facts.unaskedReason = QStringLiteral("Qt's platform '%1' has no display server to ask").arg(platform);
#if defined(VANTREL_HAVE_WAYLAND)
    // A client of XWayland is shown by the Wayland compositor, which may
    // scale the whole X screen: its own outputs tell the real modes.
    const auto askWayland = [&facts](bool xwayland) -> std::optional<ScreenFacts> {
        ScreenFacts wayland = facts;
        if (!QueryWaylandFacts(wayland)) return std::nullopt;
        wayland.xwayland = xwayland;
        return wayland;
    };
    if (qtOnWayland) {
        if (waylandNamed)
            if (std::optional<ScreenFacts> wayland = askWayland(false)) return *wayland;
        facts.unaskedReason = QStringLiteral("The Wayland compositor did not describe the screen's output");
    }
#else
    if (qtOnWayland) facts.unaskedReason = QStringLiteral("This build cannot ask a Wayland compositor");
#endif
#if defined(VANTREL_HAVE_X11)
    if (qtOnX11) {
        ScreenFacts x11 = facts;
        if (!qEnvironmentVariableIsEmpty("DISPLAY") && QueryX11Facts(x11)) {
#if defined(VANTREL_HAVE_WAYLAND)
            if (x11.xwayland && waylandNamed)
                if (std::optional<ScreenFacts> wayland = askWayland(true)) return *wayland;
#endif
            return x11;
        }
        facts.unaskedReason = QStringLiteral("The X server did not describe the screen's output (it needs RandR 1.2)");
    }
#else
    if (qtOnX11) facts.unaskedReason = QStringLiteral("This build cannot ask an X server");
#endif
    (void)waylandNamed;
    return facts;
}

std::optional<QSize> OrientedMode(const ScreenFacts& facts) {
    if (!facts.currentMode) return std::nullopt;
    if (facts.rotation == 90 || facts.rotation == 270) return facts.currentMode->transposed();
    return facts.currentMode;
}

QSize TrueDeviceSize(const ScreenFacts& facts) {
    if (const std::optional<QSize> mode = OrientedMode(facts)) return *mode;
    return facts.qtDeviceSize;
}

QString DescribeScreenFacts(const ScreenFacts& f) {
    QStringList lines;
    const auto add = [&lines](const char* key, const QString& value) {
        lines << QStringLiteral("%1: %2").arg(QLatin1String(key), value);
    };
    add("source", SourceText(f.source));
    if (!f.unaskedReason.isEmpty()) add("not asked", f.unaskedReason);
    add("qt screen", QStringLiteral("%1 %2 at ratio %3 = %4 device pixels")
                         .arg(f.qtName, SizeText(f.qtLogicalSize))
                         .arg(f.qtPixelRatio)
                         .arg(SizeText(f.qtDeviceSize)));
    if (!f.outputName.isEmpty()) add("output", f.outputName);
    if (!f.description.isEmpty()) add("description", f.description);
    add("current mode", f.currentMode ? SizeText(*f.currentMode) : QStringLiteral("unknown"));
    add("preferred mode", f.preferredMode ? SizeText(*f.preferredMode) : QStringLiteral("unknown"));
    if (f.refreshHz) add("refresh", QString::number(*f.refreshHz, 'f', 2) + QStringLiteral(" Hz"));
    if (f.outputScale) add("output scale", QString::number(*f.outputScale));
    if (f.logicalSize) add("logical size", SizeText(*f.logicalSize));
    add("transform", QStringLiteral("rotation %1%2%3")
                         .arg(f.rotation)
                         .arg(f.reflected ? QStringLiteral(", reflected") : QString())
                         .arg(f.scalingTransform ? QStringLiteral(", scaling transform") : QString()));
    add("xwayland", f.xwayland ? QStringLiteral("yes") : QStringLiteral("no"));
    add("maker", f.maker);
    add("model", f.model);
    add("serial", f.serial);
    if (f.productCode) add("product code", QString::number(*f.productCode));
    add("true size", SizeText(TrueDeviceSize(f)));
    return lines.join(QLatin1Char('\n'));
}
