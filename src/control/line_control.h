#pragma once
// The control of the station from outside the program, as --control asks:
// the station's dispatch with one transport over it, D-Bus on the session
// bus or JSON-RPC lines on stdin and stdout.

#include "cli/command_line.h"

#include <QObject>
#include <QString>

#include <memory>

class Program;
class RecordingSession;
class Station;

class LineControl : public QObject {
    Q_OBJECT
public:
    ~LineControl() override;

    // The station over the transport `commandLine.control` names, ready to
    // take commands once the event loop runs; nullptr with `error` set
    // when the transport cannot start (no session bus, the name taken).
    static std::unique_ptr<LineControl> Start(Program& program, const CommandLine& commandLine, QString* error);

    Station& station() { return *station_; }

    // Hands the session the command line opened to the station.
    void adoptSession(std::unique_ptr<RecordingSession> session);
    // The session still open, handed back when the program ends.
    std::unique_ptr<RecordingSession> takeSession();
    // Whether every session the commands finished left its record whole.
    bool recordsComplete() const;

Q_SIGNALS:
    // The controlling process closed stdin (or no longer reads stdout): the
    // program ends as on SIGTERM.
    void inputClosed();

private:
    LineControl(Program& program, const CommandLine& commandLine);

    std::unique_ptr<Station> station_;
    std::unique_ptr<QObject> transport_;
};
