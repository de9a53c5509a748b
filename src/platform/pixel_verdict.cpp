#include "platform/pixel_verdict.h"

#include <QStringList>

#include <cmath>

namespace {

// The desktop's scale between the window's logical pixels and the output's
// device pixels, in per cent: the compositor's logical size of the output
// where it says it, else Qt's logical size of the screen.
int ScalePercent(const ScreenFacts& f, QSize mode) {
    double logicalWidth = 0;
    if (f.logicalSize && f.logicalSize->width() > 0) logicalWidth = f.logicalSize->width();
    else if (f.qtPixelRatio > 0) logicalWidth = f.qtDeviceSize.width() / f.qtPixelRatio;
    if (logicalWidth <= 0) return 100;
    return int(std::lround(100.0 * mode.width() / logicalWidth));
}

QString TurnText(const ScreenFacts& f) {
    QStringList parts;
    if (f.rotation != 0) parts << QStringLiteral("rotated by %1°").arg(f.rotation);
    if (f.reflected) parts << QStringLiteral("mirrored");
    return parts.join(QStringLiteral(" and "));
}

// Why the window's buffer does not reach the output unchanged, with the
// remedy; empty when it does.
QString ResampledReason(const ScreenFacts& f) {
    if (f.rotation != 0 || f.reflected)
        return QStringLiteral("The desktop shows this screen %1: patterns reach the panel turned. "
                              "Set the orientation to normal.")
            .arg(TurnText(f));
    const std::optional<QSize> mode = OrientedMode(f);
    if (f.scalingTransform)
        return QStringLiteral("An X transform maps this screen onto its %1 mode: patterns are resampled. "
                              "Remove it (xrandr --output %2 --transform none).")
            .arg(mode ? SizeText(*mode) : QStringLiteral("output's"), f.outputName);
    if (!mode || *mode == f.qtDeviceSize) return {};
    const int percent = ScalePercent(f, *mode);
    if (f.xwayland)
        return QStringLiteral("The desktop scales this X11 window by %1 % (XWayland): patterns are drawn at %2 "
                              "and resampled to %3. %4")
            .arg(percent)
            .arg(SizeText(f.qtDeviceSize), SizeText(*mode),
                 percent % 100 == 0 ? QStringLiteral("Set 100 %, or run on Wayland (QT_QPA_PLATFORM=wayland).")
                                    : QStringLiteral("Set 100 %, or 200 % and run on Wayland "
                                                     "(QT_QPA_PLATFORM=wayland)."));
    if (f.source == FactsSource::Wayland)
        return QStringLiteral("The desktop scales this screen by %1 %: patterns are drawn at %2 and resampled "
                              "to %3. Set %4.")
            .arg(percent)
            .arg(SizeText(f.qtDeviceSize), SizeText(*mode),
                 percent < 200 ? QStringLiteral("100 % or 200 %") : QStringLiteral("a whole-number scale"));
    return QStringLiteral("The window is drawn at %1 but the output runs at %2: patterns are resampled. "
                          "Set the desktop's scale to 100 %.")
        .arg(SizeText(f.qtDeviceSize), SizeText(*mode));
}

// Why the monitor's own scaler resamples the output's picture; empty when
// it does not or when the monitor's native mode is unknown.
QString MonitorScaledReason(const ScreenFacts& f) {
    if (!f.currentMode || !f.preferredMode || *f.currentMode == *f.preferredMode) return {};
    return QStringLiteral("The screen runs at %1 but the panel's native mode is %2: the monitor rescales every "
                          "picture. Set %2.")
        .arg(SizeText(*f.currentMode), SizeText(*f.preferredMode));
}

} // namespace

PixelVerdict JudgePixels(const ScreenFacts& facts) {
    PixelVerdict verdict;
    verdict.nativeModeKnown = facts.preferredMode.has_value();
    QStringList reasons;
    for (const QString& reason : {ResampledReason(facts), MonitorScaledReason(facts)})
        if (!reason.isEmpty()) reasons << reason;
    if (!reasons.isEmpty()) {
        verdict.oneToOne = false;
        verdict.message = reasons.join(QLatin1Char(' '));
        return verdict;
    }
    const QString size = SizeText(TrueDeviceSize(facts));
    if (facts.source == FactsSource::Qt) {
        verdict.known = false;
        verdict.oneToOne = false;
        verdict.message = QStringLiteral("%1: patterns are drawn at %2, but scaling by the desktop or the monitor "
                                         "cannot be ruled out.")
                              .arg(facts.unaskedReason.isEmpty() ? QStringLiteral("No display server was asked")
                                                                 : facts.unaskedReason,
                                   size);
    } else if (verdict.nativeModeKnown)
        verdict.message = QStringLiteral("Patterns reach the panel 1:1 at %1, the panel's native mode.").arg(size);
    else
        verdict.message = QStringLiteral("Patterns reach the output 1:1 at %1; the panel's native mode is unknown.")
                              .arg(size);
    return verdict;
}

QString VerdictLine(const PixelVerdict& verdict) {
    if (!verdict.known) return QStringLiteral("1:1 unknown: ") + verdict.message;
    return verdict.oneToOne ? QStringLiteral("1:1") : verdict.message;
}
