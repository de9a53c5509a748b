#pragma once
// The application object and the program's entry point: the one place
// that builds the application, whatever the command line asks for.

#include <QApplication>

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
    void endWithError(const numeric::RuntimeError& error);

    bool endedByError_ = false;
};

// Reports an untrapped run-time error to the operator in a message box
// that names it (and on stderr).
void ReportRuntimeError(const numeric::RuntimeError& error);

// Maps the face names the windows ask for to installed faces.
void RegisterFontSubstitutions();

// The whole program: returns its exit status.
int RunVantrel(int argc, char** argv);
