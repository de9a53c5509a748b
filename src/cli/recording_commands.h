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
// session the command line asks for on `screen`, recording the
// output's mode and whether the screen shows the patterns 1:1; nullptr
// with `error` set when it cannot. What the journal cannot keep is printed
// as it happens.
std::unique_ptr<RecordingSession> StartRecording(const CommandLine& commandLine, QScreen* screen, QString* error);

// Writes the session's record, puts it into the store, and prints its
// summary line. Returns the
// exit status the record calls for: 0 when it is complete, or
// kIncompleteRecordExitStatus after printing why not (something did not
// reach the journal; or the record's files could not be written, and then
// no summary line is printed, the journal stays, and what went wrong goes
// to `error` too when given).
int FinishRecording(RecordingSession& session, const CommandLine& commandLine, QString* error = nullptr);

// --report: reads and checks the record, judges it against --class (or the
// class it was recorded with) and prints the summary line, preceded by a
// note when the record was judged by an earlier cluster rule; what the
// record says of itself that its marks do not bear out is a warning on
// stderr. Status 0, or 1 when the record cannot be read or is not one
// Vantrel writes.
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
