#include "application.h"

#include "cli/command_line.h"
#include "cli/frame_log_commands.h"
#include "cli/recording_commands.h"
#include "cli/pattern_export.h"
#include "cli/platform_setup.h"
#include "cli/screen_choice.h"
#include "cli/stop_signals.h"
#include "cli/store_commands.h"
#include "control/line_control.h"
#include "exit_status.h"
#include "platform/pixel_verdict.h"
#include "platform/presentation_clock.h"
#include "platform/printable_text.h"
#include "platform/screen_facts.h"
#include "program.h"
#include "screens/artwork.h"
#include "session/interface_font.h"
#include "session/numeric.h"

#include <QFont>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <memory>
#include <new>

VantrelApplication::VantrelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Vantrel"));
    setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    setOrganizationName(QStringLiteral("Quillmere"));
}

bool VantrelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const numeric::RuntimeError& error) {
        endWithError(error, receiver);
    } catch (const std::bad_alloc&) {
        endWithError(numeric::RuntimeError(numeric::RuntimeError::OutOfMemory), receiver);
    }
    return true;
}

void VantrelApplication::endWithError(const numeric::RuntimeError& error, QObject* source) {
    if (endedByError_) return; // the first error ends the program; later ones are moot
    endedByError_ = true;
    ReportUntrappedError(error, source);
    for (QWidget* w : topLevelWidgets()) w->hide();
    exit(kRuntimeErrorExitStatus);
}

namespace {

// The visible window an object belongs to, else the active window.
QWidget* WindowOf(QObject* object) {
    for (QObject* o = object; o; o = o->parent()) {
        if (auto* widget = qobject_cast<QWidget*>(o)) {
            if (widget->window()->isVisible()) return widget->window();
            break;
        }
    }
    return QApplication::activeWindow();
}

// Stops every timer of every window, and the pace of its presentation
// clock: nothing animates or steps any more.
void StopWindowTimers() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (QTimer* timer : window->findChildren<QTimer*>()) timer->stop();
        for (PresentationClock* clock : window->findChildren<PresentationClock*>()) clock->stopPacing();
    }
}

} // namespace

void ReportUntrappedError(const numeric::RuntimeError& error, QObject* source) {
    // The report's box runs an event loop: with the timers stopped, and
    // input held back by the modal box, nothing changes behind it.
    StopWindowTimers();
    ReportRuntimeError(error, WindowOf(source));
}

void ReportRuntimeError(const numeric::RuntimeError& error, QWidget* parent) {
    const QString text = QStringLiteral("Run-time error '%1':\n\n%2").arg(error.code()).arg(error.name());
    std::fprintf(stderr, "vantrel: run-time error %d: %s\n", static_cast<int>(error.code()),
                 qPrintable(error.name()));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Vantrel"), text, QMessageBox::Ok, parent);
    box.setFont(InterfaceFont(9.75));
    box.exec();
}

void RegisterFontSubstitutions() {
    QFont::insertSubstitutions(QStringLiteral("新細明體"),
                               {QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing TW MBE"),
                                QStringLiteral("Noto Serif CJK TC"), QStringLiteral("Noto Sans CJK TC")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    QFont::insertSubstitutions(QStringLiteral("System"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

namespace {

// Qt's messages on stderr only when asked for (QtMessagesWanted); a
// fatal one always.
void QtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg && !QtMessagesWanted()) return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    std::fflush(stderr);
}

// Creates the application object on the platform chosen before. A
// platform that cannot start ends the program with the no-display message
// and kFailureExitStatus. Qt is shown every argument and takes its own
// options (-platform, -display, -style, ...) out; the application object
// keeps a reference to `qtArgc`.
std::unique_ptr<VantrelApplication> StartApplication(int& qtArgc, char** argv) {
    const PlatformStartGuard guard;
    auto app = std::make_unique<VantrelApplication>(qtArgc, argv);
    // The faces the window's text asks for, in the windows and in an
    // export alike.
    RegisterFontSubstitutions();
    app->setWindowIcon(ProgramIcon());
    return app;
}

// The screen --screen names (the primary screen by default); nullptr after
// printing why there is none.
QScreen* ChosenScreen(const CommandLine& commandLine) {
    QString error;
    QScreen* screen = FindScreen(commandLine.screen, &error);
    if (!screen) PrintError(error);
    return screen;
}

int RunWindows(VantrelApplication& app, QScreen* screen, const CommandLine& c) {
    bool frameLogFailed = false;
    const std::unique_ptr<FrameLog> frameLog = StartFrameLog(c, &frameLogFailed);
    if (frameLogFailed) return kFailureExitStatus;
    Program program(screen);
    program.setSequence(c.sequence, c.dwell);
    program.setFrameTiming(c.wantsPresentationClock(), frameLog.get(), c.speed);
    // The control first: a bus name that is taken ends the program before
    // a session opens.
    std::unique_ptr<LineControl> control;
    QString error;
    if (c.control != CommandLine::Control::None && !(control = LineControl::Start(program, c, &error))) {
        PrintError(error);
        return kFailureExitStatus;
    }
    std::unique_ptr<RecordingSession> recording;
    if (c.recording()) {
        recording = StartRecording(c, screen, &error);
        if (!recording) {
            PrintError(PrintableText(error));
            return kFailureExitStatus;
        }
    }
    program.setRecording(recording.get());
    if (control) {
        control->adoptSession(std::move(recording));
        // The end of the input is the controller's SIGTERM.
        QObject::connect(control.get(), &LineControl::inputClosed, &app,
                         [&app] { app.exit(StopSignalExitStatus(SIGTERM)); });
    }
    // A session may open at any time under control.
    const StopWatch stopWatch(app, recording != nullptr || control != nullptr || frameLog != nullptr);
    QObject::connect(&program, &Program::ended, &app, [&app](int status) { app.exit(status); });
    try {
        program.start();
    } catch (const numeric::RuntimeError& error) {
        ReportRuntimeError(error);
        return kRuntimeErrorExitStatus;
    }
    const int status = app.exec();
    const bool frameLogWhole = !frameLog || FinishFrameLog(*frameLog, c);
    // A session the commands finished with its record incomplete counts as
    // one still open at the end would.
    const bool controlledRecordsComplete = !control || control->recordsComplete();
    if (control) recording = control->takeSession();
    control.reset();
    // An incomplete record outweighs how the program ended: the line must
    // know that the panel's record cannot be trusted.
    if (recording) {
        if (const int recordStatus = FinishRecording(*recording, c); recordStatus != kSuccessExitStatus)
            return recordStatus;
    }
    if (!controlledRecordsComplete) return kIncompleteRecordExitStatus;
    if (app.endedByError()) return kRuntimeErrorExitStatus;
    return status == kSuccessExitStatus && !frameLogWhole ? kFailureExitStatus : status;
}

} // namespace

int RunVantrel(int argc, char** argv) {
    qInstallMessageHandler(QtMessage);
    const CommandLine c = ParseCommandLine(CommandLineArguments(argc, argv));
    switch (c.action) {
    case CommandLine::Action::Error:
        PrintError(c.error + QStringLiteral(" (see vantrel --help)"));
        return kUsageErrorExitStatus;
    case CommandLine::Action::Help: PrintLines({HelpText().trimmed()}); return kSuccessExitStatus;
    case CommandLine::Action::Version: PrintLines({VersionLine()}); return kSuccessExitStatus;
    case CommandLine::Action::List: PrintLines(PatternListing(c.listAll)); return kSuccessExitStatus;
    case CommandLine::Action::Report: return ReportCommand(c);
    case CommandLine::Action::ListScreens:
    case CommandLine::Action::Check:
    case CommandLine::Action::Export:
    case CommandLine::Action::Import:
    case CommandLine::Action::Sync:
    case CommandLine::Action::History:
    case CommandLine::Action::Stats:
    case CommandLine::Action::Heatmap:
    case CommandLine::Action::Run: break;
    }

    // Qt's -platform and -display, which Qt reads from the arguments,
    // count as its environment variables would.
    if (!c.qtPlatform.isEmpty()) qputenv("QT_QPA_PLATFORM", c.qtPlatform.toLocal8Bit());
    if (!c.qtDisplay.isEmpty()) qputenv("DISPLAY", c.qtDisplay.toLocal8Bit());
    // Only what needs a screen opens the display; an export with a size
    // renders on the offscreen platform unless -platform says otherwise.
    if (!c.needsDisplay()) {
        if (c.qtPlatform.isEmpty()) UseOffscreenPlatform();
    } else if (!DisplayAvailable()) {
        if (c.action == CommandLine::Action::Export)
            PrintError(QStringLiteral("no display could be opened to measure the screen; give the size of the "
                                      "pictures with --size WxH"));
        else
            std::fprintf(stderr, "%s\n", qPrintable(NoDisplayMessage()));
        return kFailureExitStatus;
    } else {
        PreferNativeWayland(CommandLineArguments(argc, argv));
    }
    int qtArgc = argc;
    const std::unique_ptr<VantrelApplication> app = StartApplication(qtArgc, argv);

    // The store's commands: Qt SQL's drivers are plugins, loaded through
    // the application object; the heatmap's title needs the fonts.
    if (c.storeAction()) return StoreCommand(c);
    if (c.action == CommandLine::Action::ListScreens) {
        PrintLines(ScreenListing());
        return kSuccessExitStatus;
    }
    QScreen* screen = nullptr;
    if (c.needsDisplay() && !(screen = ChosenScreen(c))) return kUsageErrorExitStatus;
    if (c.action == CommandLine::Action::Check) {
        // The line may name the server's output: printed escaped.
        const PixelVerdict verdict = JudgePixels(QueryScreenFacts(screen));
        PrintLines({PrintableText(VerdictLine(verdict))});
        if (!verdict.known) return kOneToOneUnknownExitStatus;
        if (const QString measured = MeasuredRefresh(screen); !measured.isEmpty())
            PrintLines({QStringLiteral("refresh %1 Hz, %2").arg(screen->refreshRate()).arg(measured)});
        return verdict.oneToOne ? kSuccessExitStatus : kNotOneToOneExitStatus;
    }
    if (c.action == CommandLine::Action::Export) {
        try {
            return ExportCommand(c, screen);
        } catch (const numeric::RuntimeError& error) {
            ReportRuntimeError(error);
            return kRuntimeErrorExitStatus;
        }
    }
    return RunWindows(*app, screen, c);
}
