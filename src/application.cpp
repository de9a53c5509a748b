#include "application.h"

#include "cli/command_line_actions.h"
#include "program.h"
#include "screens/artwork.h"
#include "session/numeric.h"

#include <QFont>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

#include <cstdio>
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
        endWithError(error);
    } catch (const std::bad_alloc&) {
        endWithError(numeric::RuntimeError(numeric::RuntimeError::OutOfMemory));
    }
    return true;
}

void VantrelApplication::endWithError(const numeric::RuntimeError& error) {
    if (endedByError_) return; // the first error ends the program; later ones are moot
    endedByError_ = true;
    ReportRuntimeError(error);
    for (QWidget* w : topLevelWidgets()) w->hide();
    exit(kRuntimeErrorExitStatus);
}

void ReportRuntimeError(const numeric::RuntimeError& error) {
    const QString text = QStringLiteral("Run-time error '%1':\n\n%2").arg(error.code()).arg(error.name());
    std::fprintf(stderr, "vantrel: run-time error %d: %s\n", static_cast<int>(error.code()),
                 qPrintable(error.name()));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Vantrel"), text, QMessageBox::Ok);
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

int RunVantrel(int argc, char** argv) {
    // Everything but opening the windows (help, lists, export, a bad
    // command line) is done there; none of it needs a display but the
    // screen list and an export at the screen's size.
    const CommandLine commandLine = ParseCommandLine(CommandLineArguments(argc, argv));
    if (commandLine.action != CommandLine::Action::Run) return RunCommandLineAction(commandLine, argv);
    if (!RequireDisplay()) return kFailureExitStatus;
    const std::unique_ptr<VantrelApplication> application = StartApplication(argc, argv);
    VantrelApplication& app = *application;
    RegisterFontSubstitutions();
    app.setWindowIcon(ProgramIcon());
    QScreen* screen = ChosenScreen(commandLine);
    if (!screen) return kUsageErrorExitStatus;
    Program program(screen);
    QObject::connect(&program, &Program::ended, &app, [&app](int status) { app.exit(status); });
    try {
        program.start();
    } catch (const numeric::RuntimeError& error) {
        ReportRuntimeError(error);
        return kRuntimeErrorExitStatus;
    }
    const int status = app.exec();
    return app.endedByError() ? kRuntimeErrorExitStatus : status;
}
