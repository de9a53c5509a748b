#pragma once
// The application object and the program's entry point: the one place
// that builds the application, whatever the command line asks for.

#include <QApplication>

class QWidget;
namespace numeric { class RuntimeError; }

class VantrelApplication : public QApplication {
    Q_OBJECT
public:
    VantrelApplication(int& argc, char** argv);

    // Delivers events; a run-time error that escapes a handler takes the
    // default course: reported, then the program ends.
    bool notify(QObject* receiver, QEvent* event) override;

    bool endedByError() const { return endedByError_; }

private:
    // source: the object whose event raised the error.
    void endWithError(const numeric::RuntimeError& error, QObject* source);

    bool endedByError_ = false;
};

// Reports an untrapped run-time error to the operator in a message box
// that names it (and on stderr); the box stays above `parent`.
void ReportRuntimeError(const numeric::RuntimeError& error, QWidget* parent = nullptr);

// The report of a run-time error that escaped a handler, before the
// program ends: the windows' timers are stopped first, and the box is
// shown over the window of `source`, the object whose event raised it
// (over the active window if it has none).
void ReportUntrappedError(const numeric::RuntimeError& error, QObject* source);

// Maps the face names the windows ask for to installed faces.
void RegisterFontSubstitutions();

// The whole program: returns its exit status.
int RunVantrel(int argc, char** argv);
