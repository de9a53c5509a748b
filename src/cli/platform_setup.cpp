#include "cli/platform_setup.h"

#include "exit_status.h"

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstdlib>

bool DisplayAvailable() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
    if (requested.trimmed().isEmpty()) return x11 || wayland;
    // A list of platforms to try in turn, each "name[:arguments]".
    for (const QByteArray& entry : requested.split(';')) {
        const QByteArray name = entry.split(':').first().trimmed();
        if (name.isEmpty()) continue;
        if (name == "xcb") {
            if (x11) return true;
        } else if (name.startsWith("wayland")) {
            if (wayland) return true;
        } else {
            return true; // offscreen, vnc, eglfs, ...: nothing to check here
        }
    }
    return false;
#else
    return true;
#endif
}

void PreferNativeWayland(const QStringList& arguments) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    if (!qgetenv("QT_QPA_PLATFORM").trimmed().isEmpty()) return;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return;
    for (const QString& arg : arguments) {
        if (arg == QLatin1String("--")) break;
        if (arg == QLatin1String("-platform") || arg == QLatin1String("--platform") ||
            arg.startsWith(QLatin1String("-platform=")) || arg.startsWith(QLatin1String("--platform=")))
            return;
    }
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
#else
    Q_UNUSED(arguments);
#endif
}

void UseOffscreenPlatform() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

bool QtMessagesWanted() {
    const QByteArray debug = qgetenv("VANTREL_DEBUG");
    return (!debug.isEmpty() && debug != "0") || !qEnvironmentVariableIsEmpty("QT_LOGGING_RULES");
}

QString NoDisplayMessage() {
    return QStringLiteral("vantrel: no display could be opened; to render the patterns into image files "
                          "without one, use --export DIR --size WxH");
}

namespace {

void PlatformStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        // Qt gives up when no platform plugin starts; say so plainly and
        // end without an abort.
        std::fprintf(stderr, "%s\n", qPrintable(NoDisplayMessage()));
        std::fflush(stderr);
        std::_Exit(kFailureExitStatus);
    }
    if (QtMessagesWanted()) std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

} // namespace

PlatformStartGuard::PlatformStartGuard() : previous_(qInstallMessageHandler(PlatformStartMessage)) {}

PlatformStartGuard::~PlatformStartGuard() { qInstallMessageHandler(previous_); }
