#pragma once
// The command line's side of an inspection session: starting a recording
// session (after writing the records of unfinished ones in the same
// directory), ending it with its summary line, stopping in order on
// SIGINT or SIGTERM, and --report.

#include "defects/recording_session.h"

#include <QTimer>

#include <memory>

struct CommandLine;
class QCoreApplication;
class QScreen;

// Recovers what earlier sessions left in the record directory (into the
// store too), delivers what the outbox holds for --store, then starts the
// session the command line asks for on `screen`; nullptr after printing
// why it cannot.
std::unique_ptr<RecordingSession> StartRecording(const CommandLine& commandLine, QScreen* screen);

// Writes the session's record, puts it into the store, and prints its
// summary line; false after printing why the record could not be written.
bool FinishRecording(RecordingSession& session, const CommandLine& commandLine);

// --report: reads the record, judges it against --class (or the class it
// was recorded with) and prints the summary line. Status 0, or 1 when the
// record cannot be read.
int ReportCommand(const CommandLine& commandLine);

// While it lives and `active`, SIGINT and SIGTERM end the application's
// event loop with the status of a process ended by that signal, so that
// what follows the loop still runs.
class StopWatch {
public:
    StopWatch(QCoreApplication& app, bool active);

private:
    QTimer poll_;
};
