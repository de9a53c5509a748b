#pragma once
// The program's command line. Run without arguments, Vantrel opens its
// windows as always; the options list the patterns or the screens, choose
// the screen the windows open on, or render the patterns into image files.

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Largest width or height of an export: the pattern painters work in
// 16-bit screen coordinates.
constexpr int kMaxExportSide = 32767;

struct CommandLine {
    enum class Action {
        Run,         // open the windows
        Help,        // print the options
        Version,     // print the name and version
        List,        // print the pattern sequence
        ListScreens, // print the screens
        Export,      // render patterns into image files
        Report,      // re-judge an inspection record
        Check,       // judge whether the screen shows pattern pixels 1:1
        Import,      // add the record files of a directory to the store
        Sync,        // deliver what the outbox holds
        History,     // a panel's sessions in the store
        Stats,       // the line's figures from the store
        Heatmap,     // where the faults lie, as a picture
        Error,       // the command line is unusable: `error` says why
    };

    // --control: who drives the station besides the operator.
    enum class Control {
        None,  // the operator alone
        DBus,  // a client on the session bus
        Stdio, // a process on stdin and stdout, JSON-RPC lines
    };

    Action action = Action::Run;
    QString error;          // one line, without the program's name
    QString screen;         // --screen: an index or a name; empty for the primary screen
    QString exportDir;      // --export
    QSize size;             // --size; invalid when not given
    int16_t firstPattern = 1; // --pattern: the range to export
    int16_t lastPattern = 67;
    std::vector<int16_t> exportPatterns; // --pattern given as a list; empty: firstPattern..lastPattern
    bool listAll = false;   // --all: --list shows the extended patterns too
    bool quiet = false;     // --quiet: no progress line during an export
    QString qtPlatform;     // Qt's -platform, which Qt reads from the arguments itself
    QString qtDisplay;      // Qt's -display (X11), likewise

    // A recording session (--record): the record's directory, the panel
    // under test, who and where, and the class it is judged against.
    QString recordDir;
    QString panel;
    QString operatorName;
    QString station;
    QString model;             // --model: the panel's model
    int faultClass = 2;        // --class: 1..4 for I..IV
    bool classGiven = false;
    std::vector<int16_t> sequence; // --sequence; empty for the standard order
    QString dwell = QStringLiteral("1"); // --dwell: auto-play step in seconds
    QString reportFile;        // --report
    Control control = Control::None;
    QString frameLog;          // --frame-log: the CSV of every presented frame
    int speed = 8;             // --speed: the motion block's pixels per frame
    bool speedGiven = false;

    // Whether the pattern window's presentation clock runs from its first
    // frame: a frame log, a speed, a frame-paced pattern in the sequence, or
    // a controller, whose every "show" is answered once it is presented.
    bool wantsPresentationClock() const;

    // The store of inspection records and its questions. --station and
    // --model above filter --stats and --heatmap.
    QString store;             // --store URL; empty: the station's SQLite store
    bool storeGiven = false;
    QString importDir;         // --import
    QString historySerial;     // --history
    QString heatmapFile;       // --heatmap
    QString since;             // --since YYYY-MM-DD
    QString until;             // --until YYYY-MM-DD
    QString format = QStringLiteral("text"); // --format text|csv|json

    // Whether a recording session opens at start: --record with --panel
    // (with --control, --record alone only names the sessions' directory).
    bool recording() const { return !recordDir.isEmpty() && !panel.isEmpty(); }
    // Whether the action is one of the store's: import, sync, the questions.
    bool storeAction() const;

    // Whether the action needs a screen of a real display: the windows,
    // the screen listing, and an export whose size is the screen's.
    bool needsDisplay() const;
};

// The program's arguments as text.
QStringList CommandLineArguments(int argc, char** argv);

// Parses the arguments (the first is the program's path). Never fails:
// an unusable command line comes back as Action::Error.
CommandLine ParseCommandLine(const QStringList& arguments);

// The text printed by --help.
QString HelpText();
// The line printed by --version, e.g. "Vantrel 1.0.5".
QString VersionLine();
// The lines printed by --list, one per pattern: "11 grey 128"; with
// `all`, then each extended pattern as its number and id:
// "101 inversion-dot-a".
QStringList PatternListing(bool all = false);

// Parses "WxH" (each side 1 to 32767); an invalid size with `error` set
// when it is unusable.
QSize ParseSize(const QString& text, QString* error);
// Parses "N" or "N-M" (1 <= N <= M <= 67) into a range of pattern
// numbers; false with `error` set when it is unusable.
bool ParsePatternRange(const QString& text, int16_t* first, int16_t* last, QString* error);

// Parses a pattern order such as "1-41,49,51,64" or "inversion,checker":
// numbers, ranges N-M, ids and group names, comma-separated (see
// ParsePatternList); false with `error` set when it is unusable.
bool ParsePatternSequence(const QString& text, std::vector<int16_t>* sequence, QString* error);
// Why `serial` cannot name a panel's record files (too long, or not a
// safe serial), as one line; empty when it can.
QString PanelSerialProblem(const QString& serial);

// Prints the lines on stdout.
void PrintLines(const QStringList& lines);
// Prints "vantrel: <text>" on stderr.
void PrintError(const QString& text);
