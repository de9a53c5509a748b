#pragma once
// The station as a controlling process sees it: the table of its
// commands (name, arguments in and out with their types) and the one
// dispatch that carries a command out on the program and answers it. The
// transports, D-Bus and JSON lines, are thin layers over it: they turn
// their messages into a method name and arguments by name and the outcome
// back into their own answers.

#include "cli/command_line.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class Program;
class RecordingSession;
struct DefectMark;

// The types of the commands' arguments, each with its D-Bus signature.
enum class ArgType {
    String,      // s
    Int32,       // i
    UInt32,      // u
    UInt64,      // t
    Bool,        // b
    Double,      // d
    Dict,        // a{sv}: names to values
    PatternList, // a(uss): number, id and name of each pattern
};
const char* DBusSignature(ArgType type);

struct CommandArg {
    const char* name;
    ArgType type;
};

struct CommandEntry {
    const char* name;
    std::span<const CommandArg> in;
    std::span<const CommandArg> out;
};

// Every command, in the order the interface lists them.
std::span<const CommandEntry> StationCommands();
const CommandEntry* FindCommand(const QString& name);
// The signals: PatternPresented and MarkAdded, with their arguments.
std::span<const CommandEntry> StationSignals();

// The station's named errors; each transport puts them under its own
// prefix (D-Bus: example.quillmere.Vantrel1.Error.NAME).
namespace station_error {
inline constexpr const char* kNoSession = "NoSession";
inline constexpr const char* kSessionOpen = "SessionOpen";
inline constexpr const char* kBadPattern = "BadPattern";
inline constexpr const char* kBadMark = "BadMark";
inline constexpr const char* kBadOption = "BadOption";
inline constexpr const char* kBusy = "Busy";
// A file could not be written: the session's directory, the journal (a
// mark that is not kept is not taken) or the record.
inline constexpr const char* kWriteFailed = "WriteFailed";
// A pattern was painted but no presentation of it was reported in time.
inline constexpr const char* kNotPresented = "NotPresented";
} // namespace station_error

struct CommandOutcome {
    enum class Kind {
        Done,          // `values`: the out-arguments in the table's order
        UnknownMethod, // no such command
        BadArguments,  // missing, unknown or of the wrong type
        Failed,        // a named error: `error`
    };
    Kind kind = Kind::Done;
    QVariantList values;
    QString error;   // Failed: the name, e.g. "NoSession"
    QString message; // for a person, whatever the kind but Done
};

// Checks `params` against the command's arguments and returns them in the
// table's order, converted to their types (a whole number given as a
// double is taken). nullopt with `why` set when one is missing, unknown or
// of another type.
std::optional<QVariantList> CheckArguments(const CommandEntry& command, const QVariantMap& params, QString* why);

class Station : public QObject {
    Q_OBJECT
public:
    using Reply = std::function<void(const CommandOutcome&)>;

    // `commandLine`: --record's directory and the defaults of a session's
    // options.
    Station(Program& program, const CommandLine& commandLine, QObject* parent = nullptr);
    ~Station() override;

    // Carries out `method` with its arguments by name and answers by
    // `reply`, once: at once, or for a command that shows a pattern after
    // the picture was presented. Commands run one at a time in the order
    // they come; a command that comes while the operator answers the exit
    // question, or while the program ends, is refused as Busy.
    void call(const QString& method, const QVariantMap& params, Reply reply);

    // Takes `session` as the open one (the one the command line opened).
    void adopt(std::unique_ptr<RecordingSession> session);
    // The open session, handed over when the program ends.
    std::unique_ptr<RecordingSession> takeSession();
    // Whether every session FinishSession closed left its record whole.
    bool recordsComplete() const { return recordsComplete_; }

    // How long a shown pattern may take to be presented.
    static constexpr int kPresentationTimeoutMs = 5000;

Q_SIGNALS:
    // A newly painted pattern was presented, whoever asked for it.
    void patternPresented(uint number, qulonglong presentedNs, uint flags);
    // A mark was made in the session, by a command or by the operator.
    void markAdded(uint number, const QString& type, int x, int y);

private:
    struct Call {
        const CommandEntry* command;
        QVariantList args;
        Reply reply;
    };
    struct Waiting {
        int number;
        qint64 paintedNs;
        Reply reply;
    };

    void runQueued();
    // Runs a command; false when it waits for a presentation to answer.
    bool run(Call& call);
    void awaitPresentation(const Reply& reply);
    void presented(int number, qint64 presentedNs, quint32 flags);
    void presentationLate();
    CommandOutcome startSession(const QVariantMap& options);
    CommandOutcome mark(const QString& type, int x, int y);
    CommandOutcome takeBack();
    CommandOutcome finishSession();
    QVariantMap state() const;
    void tellMark(const DefectMark& mark);

    Program& program_;
    CommandLine commandLine_;
    std::unique_ptr<RecordingSession> session_;
    std::deque<Call> queue_;
    std::optional<Waiting> waiting_;
    QTimer presentationTimer_;
    bool recordsComplete_ = true;
};
