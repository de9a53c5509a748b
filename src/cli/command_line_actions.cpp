#include "cli/command_line_actions.h"

#include "application.h"
#include "cli/pattern_export.h"
#include "cli/platform_setup.h"
#include "cli/screen_choice.h"
#include "session/numeric.h"
#include "session/pattern_window.h"

#include <QScreen>

#include <cstdio>

namespace {

void PrintLines(const QStringList& lines) {
    for (const QString& line : lines) std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int RunExport(const CommandLine& c, char** argv) {
    // With a size, nothing needs a display: render on the offscreen
    // platform. Without one, the chosen screen gives the size.
    const bool offscreen = !c.needsDisplay();
    if (offscreen) {
        UseOffscreenPlatform();
    } else if (!DisplayAvailable()) {
        PrintError(QStringLiteral("no display could be opened to measure the screen; give the size of the "
                                  "pictures with --size WxH"));
        return kFailureExitStatus;
    }

    int qtArgc = 1;
    const std::unique_ptr<VantrelApplication> app = StartApplication(qtArgc, argv);
    // The faces the window's text asks for, as in a normal run, so that the
    // font sample is exported as the window shows it.
    RegisterFontSubstitutions();
    PatternExport exporter(c.exportDir);
    QString error;
    if (!exporter.open(&error)) {
        PrintError(error);
        return kFailureExitStatus;
    }
    QSize size = c.size;
    qreal dpi = 96.0;
    if (!offscreen) {
        const QScreen* screen = ChosenScreen(c);
        if (!screen) return kUsageErrorExitStatus;
        size = DeviceSize(screen);
        dpi = screen->logicalDotsPerInch();
        if (size.isEmpty() || size.width() > kMaxExportSide || size.height() > kMaxExportSide) {
            PrintError(QStringLiteral("the screen's size %1x%2 cannot be exported; give one with --size WxH")
                           .arg(size.width())
                           .arg(size.height()));
            return kFailureExitStatus;
        }
    }

    try {
        if (!exporter.run(size, dpi, c.firstPattern, c.lastPattern, &error)) {
            PrintError(error);
            return kFailureExitStatus;
        }
    } catch (const numeric::RuntimeError& e) {
        // The run-time error's usual course: reported, and the program
        // ends. Without a display there is no message box to show it in.
        const QString where = QStringLiteral("pattern %1 at %2x%3; nothing was written")
                                  .arg(exporter.currentPattern())
                                  .arg(size.width())
                                  .arg(size.height());
        if (offscreen) {
            PrintError(QStringLiteral("run-time error %1: %2, painting %3")
                           .arg(static_cast<int>(e.code()))
                           .arg(e.name(), where));
        } else {
            PrintError(QStringLiteral("export stopped at ") + where);
            ReportRuntimeError(e);
        }
        return kRuntimeErrorExitStatus;
    }
    return 0;
}

} // namespace

QStringList CommandLineArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(text));
    std::fflush(stderr);
}

bool RequireDisplay() {
    if (DisplayAvailable()) return true;
    std::fprintf(stderr, "%s\n", qPrintable(NoDisplayMessage()));
    std::fflush(stderr);
    return false;
}

std::unique_ptr<VantrelApplication> StartApplication(int& argc, char** argv) {
    argc = 1;
    const PlatformStartGuard guard;
    return std::make_unique<VantrelApplication>(argc, argv);
}

QScreen* ChosenScreen(const CommandLine& commandLine) {
    QString error;
    QScreen* screen = FindScreen(commandLine.screen, &error);
    if (!screen) PrintError(error);
    return screen;
}

int RunCommandLineAction(const CommandLine& c, char** argv) {
    switch (c.action) {
    case CommandLine::Action::Error:
        PrintError(c.error + QStringLiteral(" (see vantrel --help)"));
        return kUsageErrorExitStatus;
    case CommandLine::Action::Help: PrintLines({HelpText().trimmed()}); return 0;
    case CommandLine::Action::Version: PrintLines({VersionLine()}); return 0;
    case CommandLine::Action::List: PrintLines(PatternListing()); return 0;
    case CommandLine::Action::ListScreens: {
        if (!RequireDisplay()) return kFailureExitStatus;
        int qtArgc = 1;
        const std::unique_ptr<VantrelApplication> app = StartApplication(qtArgc, argv);
        PrintLines(ScreenListing());
        return 0;
    }
    case CommandLine::Action::Export: return RunExport(c, argv);
    case CommandLine::Action::Run: break;
    }
    PrintError(QStringLiteral("nothing to do"));
    return kUsageErrorExitStatus;
}
