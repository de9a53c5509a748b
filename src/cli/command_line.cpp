#include "cli/command_line.h"

#include "defects/defect_record.h"
#include "defects/pixel_faults.h"
#include "platform/printable_text.h"
#include "session/dispatcher.h"
#include "session/pattern_list.h"
#include "store/answers.h"
#include "store/store_location.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

#include <cstdio>

namespace {

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Shows these options and exits.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Shows the program's name and version and exits.")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("Lists the 67 test patterns in their order: number and name.")};
    QCommandLineOption all{QStringLiteral("all"),
                           QStringLiteral("With --list: lists the extended patterns too, from 101, each as its "
                                          "number and id.")};
    QCommandLineOption listScreens{
        QStringLiteral("list-screens"),
        QStringLiteral("Lists the screens: index, name, size in device pixels, device pixel ratio "
                       "and refresh rate, then the output's mode, the monitor's native mode, the desktop's "
                       "scale, the monitor, and whether one pattern pixel is one panel pixel (1:1 yes, no or "
                       "unknown, with the reason).")};
    QCommandLineOption check{
        QStringLiteral("check"),
        QStringLiteral("Says in one line whether the screen (see --screen) shows one pattern pixel as one "
                       "panel pixel, and exits: 0 when it does, 4 when it does not, 6 when no display "
                       "server can be asked.")};
    QCommandLineOption screen{
        QStringLiteral("screen"),
        QStringLiteral("Opens the windows on this screen, given by its index or its name "
                       "(see --list-screens), and measures it. Default: the primary screen."),
        QStringLiteral("N|NAME")};
    QCommandLineOption exportDir{
        QStringLiteral("export"),
        QStringLiteral("Renders the patterns into DIR as pattern-01.png to pattern-67.png, plus "
                       "contact-sheet.png with all of them as numbered thumbnails, and exits. "
                       "The directory is created if need be; one export at a time writes into it. Needs no "
                       "display when --size is given."),
        QStringLiteral("DIR")};
    QCommandLineOption size{
        QStringLiteral("size"),
        QStringLiteral("Size of the exported images in pixels, each side 1 to 32767, e.g. 3840x2160. "
                       "Default: the size of the screen in device pixels."),
        QStringLiteral("WxH")};
    QCommandLineOption pattern{
        QStringLiteral("pattern"),
        QStringLiteral("Exports only pattern N, or patterns N to M (1 to 67), or a list of numbers, ranges, "
                       "ids and groups, e.g. 3,gamma,120-121,checker-2 (see --list --all). Default: 1 to 67."),
        QStringLiteral("N|N-M")};
    QCommandLineOption quiet{QStringLiteral("quiet"),
                             QStringLiteral("Prints no progress during an export. Without it, an export on a "
                                            "terminal shows its progress on one line and ends with its time and size.")};

    QCommandLineOption record{
        QStringLiteral("record"),
        QStringLiteral("Records an inspection session into DIR: the keys 1, 2, 3, R and C mark a fault "
                       "under the pointer, Backspace takes the last mark back; Right, Space, Left and Home "
                       "step through the patterns. At the end DIR holds SERIAL-YYYYMMDD-HHMMSS.json, .csv "
                       "and .png. Needs --panel."),
        QStringLiteral("DIR")};
    QCommandLineOption panel{
        QStringLiteral("panel"),
        QStringLiteral("Serial number of the panel under test: letters, digits, '-', '_' and '.'."),
        QStringLiteral("SERIAL")};
    QCommandLineOption operatorName{QStringLiteral("operator"),
                                    QStringLiteral("Name of the operator, for the record."), QStringLiteral("NAME")};
    QCommandLineOption station{
        QStringLiteral("station"),
        QStringLiteral("Name of the test station, for the record. With --stats and --heatmap: only the sessions of "
                       "this station."),
        QStringLiteral("NAME")};
    QCommandLineOption model{
        QStringLiteral("model"),
        QStringLiteral("The panel's model, for the record. With --stats and --heatmap: only the sessions whose model "
                       "begins with NAME (or, for records without a model, whose serial does)."),
        QStringLiteral("NAME")};
    QCommandLineOption faultClass{
        QStringLiteral("class"),
        QStringLiteral("Pixel-fault class the panel must meet: I, II, III or IV. Default: II."),
        QStringLiteral("I|II|III|IV")};
    QCommandLineOption sequence{
        QStringLiteral("sequence"),
        QStringLiteral("The patterns the left button, auto-play and the keys Right, Space, Left and Home "
                       "walk through, in this order, wrapping to the first: numbers, ranges, ids and groups, "
                       "e.g. 1-41,49,51,64 or inversion,checker (see --list --all). Default: 1 to 67."),
        QStringLiteral("LIST")};
    QCommandLineOption dwell{
        QStringLiteral("dwell"),
        QStringLiteral("Seconds each pattern stays on screen in auto-play (F12), 0.1 to 3600. Default: 1."),
        QStringLiteral("SECONDS")};
    QCommandLineOption control{
        QStringLiteral("control"),
        QStringLiteral("Lets a test executive drive the station beside the operator: 'dbus' takes the name "
                       "example.quillmere.Vantrel1 on the session bus, 'stdio' reads JSON-RPC 2.0 requests "
                       "from stdin, one a line, and answers on stdout. With it, --record DIR needs no --panel: "
                       "sessions are then opened by command."),
        QStringLiteral("dbus|stdio")};
    QCommandLineOption frameLog{
        QStringLiteral("frame-log"),
        QStringLiteral("Writes a line for every frame of the pattern window to FILE (replacing it), as soon as "
                       "its presentation is known: frame, pattern, requested and presented time (ns), interval, "
                       "refresh, sequence, flags and missed refreshes, as CSV. At the end a summary line goes "
                       "to stderr."),
        QStringLiteral("FILE")};
    QCommandLineOption speed{
        QStringLiteral("speed"),
        QStringLiteral("Pixels the motion block (pattern 126) moves per frame, 1 to 64. Default: 8."),
        QStringLiteral("PIXELS")};
    QCommandLineOption report{
        QStringLiteral("report"),
        QStringLiteral("Judges the inspection record FILE again, against --class if given, prints its "
                       "summary line and exits. Needs no display."),
        QStringLiteral("FILE")};

    QCommandLineOption store{
        QStringLiteral("store"),
        QStringLiteral("The store of inspection records: a line's PostgreSQL database as libpq's connection URI "
                       "postgresql://[user@][host][:port][/dbname][?param=value...] (no password: use PGPASSFILE "
                       "or a service file), or an SQLite file as sqlite:PATH. Default: the station's SQLite store, "
                       "$XDG_DATA_HOME/vantrel/records.sqlite. Every recorded session is written into it."),
        QStringLiteral("URL")};
    QCommandLineOption importDir{
        QStringLiteral("import"),
        QStringLiteral("Adds every record file (*.json) in DIR to the store and exits; records already there stay as "
                       "they are, the files are never changed. Exit status 7 when a file could not be read and was "
                       "skipped. Needs no display."),
        QStringLiteral("DIR")};
    QCommandLineOption sync{
        QStringLiteral("sync"),
        QStringLiteral("Delivers the records kept in the outbox (those meant for --store, or all) and exits: 0 when "
                       "nothing is left pending, 1 otherwise. Needs no display.")};
    QCommandLineOption history{
        QStringLiteral("history"),
        QStringLiteral("Prints every session of the panel SERIAL in the store, newest first, and exits; status 1 "
                       "when there is none. Needs no display."),
        QStringLiteral("SERIAL")};
    QCommandLineOption stats{
        QStringLiteral("stats"),
        QStringLiteral("Prints the sessions, panels, pass rates by class and faults by type in the store, in all, "
                       "by station and by day, and exits. Filters: --since, --until, --station, --model. Needs no "
                       "display.")};
    QCommandLineOption heatmap{
        QStringLiteral("heatmap"),
        QStringLiteral("Draws where the faults of the sessions in the store lie on the panel into FILE.png and "
                       "exits. Filters as --stats. Needs no display."),
        QStringLiteral("FILE.png")};
    QCommandLineOption since{QStringLiteral("since"),
                             QStringLiteral("With --stats and --heatmap: only sessions started on DAY (YYYY-MM-DD, "
                                            "UTC) or later."),
                             QStringLiteral("DAY")};
    QCommandLineOption until{QStringLiteral("until"),
                             QStringLiteral("With --stats and --heatmap: only sessions started on DAY (YYYY-MM-DD, "
                                            "UTC) or earlier."),
                             QStringLiteral("DAY")};
    QCommandLineOption format{QStringLiteral("format"),
                              QStringLiteral("With --history, --stats and --heatmap: the answer as an aligned table "
                                             "(text, the default), CSV or JSON."),
                              QStringLiteral("text|csv|json")};

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(
            QStringLiteral("Full-screen test patterns for the visual inspection of TFT-LCD panels.\n"
                           "Without options, Vantrel opens its start-up screen and then the patterns."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, version, list, all, listScreens, check, screen, exportDir, size, pattern, quiet,
                           record, panel, operatorName, station, model, faultClass, sequence, dwell, control, frameLog,
                           speed, report, store, importDir, sync, history, stats, heatmap, since, until, format});
    }
};

// Qt's own options, which the application object takes out of the
// arguments it is given (Qt 6 on X11 and offscreen; written with one dash
// or two): whether each takes the next argument as its value, and whether
// it also takes one after '='.
struct QtOption {
    const char* name;
    bool value;
    bool equals;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true, false},        {"platformpluginpath", true, false}, {"platformtheme", true, false},
    {"plugin", true, false},          {"qwindowgeometry", true, false},    {"qwindowtitle", true, false},
    {"qwindowicon", true, false},     {"session", true, false},            {"style", true, true},
    {"stylesheet", true, true},       {"qmljsdebugger", true, true},       {"display", true, false},
    {"geometry", true, false},        {"title", true, false},              {"icon", true, false},
    {"name", true, false},            {"visual", true, false},             {"reverse", false, false},
    {"widgetcount", false, false},    {"testability", false, false},       {"nograb", false, false},
    {"dograb", false, false},
};

// The arguments without Qt's options and their values (up to "--"), which
// are left for the application object; -platform and -display noted.
QStringList WithoutQtOptions(const QStringList& arguments, CommandLine* c, QString* error) {
    QStringList ours;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (i == 0 || arg == QLatin1String("--") || !arg.startsWith(QLatin1Char('-'))) {
            if (arg == QLatin1String("--") && i > 0) {
                ours << arguments.mid(i);
                break;
            }
            ours << arg;
            continue;
        }
        const QString bare = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        const QString name = bare.section(QLatin1Char('='), 0, 0);
        const auto option = std::find_if(std::begin(kQtOptions), std::end(kQtOptions),
                                         [&name](const QtOption& o) { return name == QLatin1String(o.name); });
        if (option == std::end(kQtOptions)) {
            ours << arg;
            continue;
        }
        QString value;
        if (bare.contains(QLatin1Char('='))) {
            if (!option->equals) {
                ours << arg; // not Qt's: left for the parser to reject
                continue;
            }
            value = bare.section(QLatin1Char('='), 1);
        } else if (option->value) {
            if (++i == arguments.size()) {
                *error = QStringLiteral("missing value after '%1'").arg(arg);
                return {};
            }
            value = arguments[i];
        }
        if (name == QLatin1String("platform")) c->qtPlatform = value;
        if (name == QLatin1String("display")) c->qtDisplay = value;
    }
    return ours;
}

// The argument as the user typed it that carries the option `name`.
QString SpelledOption(const QStringList& arguments, const QString& name) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--")) break;
        if (!arg.startsWith(QLatin1Char('-'))) continue;
        QString bare = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        bare = bare.section(QLatin1Char('='), 0, 0);
        if (bare == name) return arg.section(QLatin1Char('='), 0, 0);
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// Qt's message as one line in the program's style: "Missing value after
// '--size'." becomes "missing value after '--size'".
QString ParserError(const QString& text) {
    QString line = text.simplified();
    if (line.endsWith(QLatin1Char('.'))) line.chop(1);
    if (!line.isEmpty()) line[0] = line[0].toLower();
    return line;
}

CommandLine Failure(QString error) {
    CommandLine c;
    c.action = CommandLine::Action::Error;
    c.error = std::move(error);
    return c;
}

// Reads --pattern: the classic N or N-M into the range, read and refused
// as it always was, or else a list into `exportPatterns`. A single word
// that names no pattern is refused in the classic option's words too
// ("malformed pattern 'seven': ...").
bool ReadExportPatterns(const QString& text, CommandLine& c, QString* error) {
    QString classicError;
    if (ParsePatternRange(text, &c.firstPattern, &c.lastPattern, &classicError)) return true;
    if (ParsePatternList(text, &c.exportPatterns, error)) return true;
    const bool singleWord = !text.contains(QLatin1Char(',')) && !text.isEmpty() && text.front().isLetter();
    if (singleWord) *error = classicError;
    return false;
}

// Reads a decimal number of at most 9 digits; false for anything else.
bool ReadNumber(const QString& digits, int* value) {
    if (digits.isEmpty() || digits.size() > 9) return false;
    bool ok = false;
    *value = digits.toInt(&ok, 10);
    return ok;
}

} // namespace

bool CommandLine::needsDisplay() const {
    switch (action) {
    case Action::Run:
    case Action::ListScreens:
    case Action::Check: return true;
    case Action::Export: return !size.isValid();
    case Action::Help:
    case Action::Version:
    case Action::List:
    case Action::Report:
    case Action::Import:
    case Action::Sync:
    case Action::History:
    case Action::Stats:
    case Action::Heatmap:
    case Action::Error: return false;
    }
    return true;
}

bool CommandLine::wantsPresentationClock() const {
    if (!frameLog.isEmpty() || speedGiven || control != Control::None) return true;
    return std::any_of(sequence.begin(), sequence.end(), [](int16_t n) {
        const PatternInfo* p = FindPattern(n);
        return p && p->paced;
    });
}

bool CommandLine::storeAction() const {
    return action == Action::Import || action == Action::Sync || action == Action::History ||
           action == Action::Stats || action == Action::Heatmap;
}

QSize ParseSize(const QString& text, QString* error) {
    const QRegularExpression shape(QStringLiteral("^([0-9]+)[xX]([0-9]+)$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch()) {
        *error = QStringLiteral("malformed size '%1': expected WIDTHxHEIGHT in pixels, e.g. 1920x1080").arg(text);
        return QSize();
    }
    int w = 0, h = 0;
    const bool inRange = ReadNumber(m.captured(1), &w) && ReadNumber(m.captured(2), &h) && w >= 1 && h >= 1 &&
                         w <= kMaxExportSide && h <= kMaxExportSide;
    if (!inRange) {
        *error = QStringLiteral("size %1 is out of range: width and height must be 1 to %2 pixels")
                     .arg(text)
                     .arg(kMaxExportSide);
        return QSize();
    }
    return QSize(w, h);
}

bool ParsePatternRange(const QString& text, int16_t* first, int16_t* last, QString* error) {
    const QRegularExpression shape(QStringLiteral("^([0-9]+)(?:-([0-9]+))?$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch()) {
        *error = QStringLiteral("malformed pattern '%1': expected a number N or a range N-M").arg(text);
        return false;
    }
    int a = 0, b = 0;
    const bool single = !m.hasCaptured(2);
    const bool read = ReadNumber(m.captured(1), &a) && (single ? (b = a, true) : ReadNumber(m.captured(2), &b));
    if (!read || a < 1 || b < 1 || a > kPatternCount || b > kPatternCount) {
        *error = QStringLiteral("pattern %1 is out of range: the patterns are 1 to %2").arg(text).arg(kPatternCount);
        return false;
    }
    if (a > b) {
        *error = QStringLiteral("pattern range %1 is reversed: write the lower number first").arg(text);
        return false;
    }
    *first = static_cast<int16_t>(a);
    *last = static_cast<int16_t>(b);
    return true;
}

bool ParsePatternSequence(const QString& text, std::vector<int16_t>* sequence, QString* error) {
    sequence->clear();
    if (text.trimmed().isEmpty()) {
        *error = QStringLiteral("--sequence needs a list of patterns, e.g. 1-41,49,51,64");
        return false;
    }
    QString itemError;
    if (ParsePatternList(text, sequence, &itemError)) return true;
    *error = QStringLiteral("sequence '%1': %2").arg(text, itemError);
    return false;
}

QString PanelSerialProblem(const QString& serial) {
    if (serial.size() > kMaxPanelSerialLength)
        return QStringLiteral("panel serial of %1 characters is too long to name a file: at most %2")
            .arg(serial.size())
            .arg(kMaxPanelSerialLength);
    if (!IsSafePanelSerial(serial))
        return QStringLiteral("panel serial '%1' cannot name a file: use letters, digits, '-', '_' and '.', not "
                              "beginning with '.'")
            .arg(PrintableText(serial));
    return {};
}

namespace {

// The auto-play step: a decimal number of seconds from 0.1 to 3600.
bool ReadDwell(const QString& text, QString* error) {
    const QRegularExpression shape(QStringLiteral("^[0-9]{1,4}(\\.[0-9]{1,3})?$"));
    bool ok = shape.match(text).hasMatch();
    const double seconds = ok ? text.toDouble(&ok) : 0.0;
    if (!ok || seconds < 0.1 || seconds > 3600.0) {
        *error = QStringLiteral("dwell '%1' is unusable: give seconds from 0.1 to 3600, e.g. 2.5").arg(text);
        return false;
    }
    return true;
}

// The options of a recording session and of the pattern order, read
// into `c`; false with `c` turned into the failure.
bool ReadSessionOptions(const Options& o, const QCommandLineParser& parser, CommandLine& c) {
    const auto fail = [&c](const QString& error) {
        c = Failure(error);
        return false;
    };
    const bool run = c.action == CommandLine::Action::Run;
    const bool report = c.action == CommandLine::Action::Report;
    if (!run) {
        for (const QCommandLineOption* option : {&o.record, &o.sequence, &o.dwell, &o.control, &o.frameLog, &o.speed})
            if (parser.isSet(*option))
                return fail(QStringLiteral("--%1 cannot be combined with --list, --list-screens, --export or --report")
                                .arg(option->names().constLast()));
    }
    const bool filtered = c.action == CommandLine::Action::Stats || c.action == CommandLine::Action::Heatmap;
    if (!parser.isSet(o.record)) {
        for (const QCommandLineOption* option : {&o.panel, &o.operatorName})
            if (parser.isSet(*option))
                return fail(QStringLiteral("--%1 only applies to --record").arg(option->names().constLast()));
        for (const QCommandLineOption* option : {&o.station, &o.model})
            if (parser.isSet(*option) && !filtered)
                return fail(QStringLiteral("--%1 only applies to --record, --stats and --heatmap")
                                .arg(option->names().constLast()));
        if (parser.isSet(o.faultClass) && !report)
            return fail(QStringLiteral("--class only applies to --record and --report"));
    }
    if (parser.isSet(o.faultClass)) {
        c.faultClass = ParseClassName(parser.value(o.faultClass).toLatin1().constData());
        c.classGiven = true;
        if (c.faultClass == 0)
            return fail(QStringLiteral("unknown class '%1': the classes are I, II, III and IV")
                            .arg(parser.value(o.faultClass)));
    }
    if (parser.isSet(o.control)) {
        const QString mode = parser.value(o.control);
        if (mode == QLatin1String("dbus")) c.control = CommandLine::Control::DBus;
        else if (mode == QLatin1String("stdio")) c.control = CommandLine::Control::Stdio;
        else return fail(QStringLiteral("unknown control '%1': give dbus or stdio").arg(mode));
    }
    if (parser.isSet(o.record)) {
        c.recordDir = parser.value(o.record);
        if (c.recordDir.isEmpty()) return fail(QStringLiteral("--record needs a directory"));
        if (!parser.isSet(o.panel)) {
            if (c.control == CommandLine::Control::None) return fail(QStringLiteral("--record needs --panel SERIAL"));
        } else {
            c.panel = parser.value(o.panel);
            if (const QString why = PanelSerialProblem(c.panel); !why.isEmpty()) return fail(why);
        }
        c.operatorName = parser.value(o.operatorName);
    }
    c.station = parser.value(o.station);
    c.model = parser.value(o.model);
    QString error;
    if (parser.isSet(o.sequence) && !ParsePatternSequence(parser.value(o.sequence), &c.sequence, &error))
        return fail(error);
    if (parser.isSet(o.dwell)) {
        if (!ReadDwell(parser.value(o.dwell), &error)) return fail(error);
        c.dwell = parser.value(o.dwell);
    }
    if (parser.isSet(o.frameLog)) {
        c.frameLog = parser.value(o.frameLog);
        if (c.frameLog.isEmpty()) return fail(QStringLiteral("--frame-log needs a file"));
    }
    if (parser.isSet(o.speed)) {
        const QString text = parser.value(o.speed);
        int pixels = 0;
        if (!ReadNumber(text, &pixels) || pixels < 1 || pixels > 64)
            return fail(QStringLiteral("speed '%1' is unusable: give whole pixels per frame from 1 to 64").arg(text));
        c.speed = pixels;
        c.speedGiven = true;
    }
    return true;
}

// A day as --since and --until take it: YYYY-MM-DD, a date that exists.
bool ReadDay(const QString& option, const QString& text, QString* error) {
    const bool shaped = QRegularExpression(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$")).match(text).hasMatch();
    if (!shaped || !QDate::fromString(text, Qt::ISODate).isValid()) {
        *error = QStringLiteral("%1 '%2' is not a day: give YYYY-MM-DD, e.g. 2026-12-07").arg(option, text);
        return false;
    }
    return true;
}

// The store's commands and their options, read into `c`; false with `c`
// turned into the failure.
bool ReadStoreOptions(const Options& o, const QCommandLineParser& parser, CommandLine& c) {
    const auto fail = [&c](const QString& error) {
        c = Failure(error);
        return false;
    };
    const std::pair<const QCommandLineOption*, CommandLine::Action> actions[] = {
        {&o.importDir, CommandLine::Action::Import}, {&o.sync, CommandLine::Action::Sync},
        {&o.history, CommandLine::Action::History},  {&o.stats, CommandLine::Action::Stats},
        {&o.heatmap, CommandLine::Action::Heatmap}};
    const QCommandLineOption* chosen = nullptr;
    for (const auto& [option, action] : actions) {
        if (!parser.isSet(*option)) continue;
        if (chosen) return fail(QStringLiteral("--import, --sync, --history, --stats and --heatmap cannot be combined"));
        chosen = option;
        c.action = action;
    }
    const QString name = chosen ? QStringLiteral("--") + chosen->names().constLast() : QString();
    if (chosen) {
        for (const QCommandLineOption* other : {&o.list, &o.listScreens, &o.exportDir, &o.report, &o.check, &o.record,
                                                &o.screen, &o.sequence, &o.dwell, &o.faultClass, &o.quiet})
            if (parser.isSet(*other))
                return fail(QStringLiteral("%1 cannot be combined with --%2").arg(name, other->names().constLast()));
    }
    const bool question = c.action == CommandLine::Action::History || c.action == CommandLine::Action::Stats ||
                          c.action == CommandLine::Action::Heatmap;
    const bool filtered = c.action == CommandLine::Action::Stats || c.action == CommandLine::Action::Heatmap;
    if (parser.isSet(o.store) && !chosen && !parser.isSet(o.record))
        return fail(QStringLiteral("--store only applies to --record, --import, --sync, --history, --stats and --heatmap"));
    for (const QCommandLineOption* option : {&o.since, &o.until})
        if (parser.isSet(*option) && !filtered)
            return fail(QStringLiteral("--%1 only applies to --stats and --heatmap").arg(option->names().constLast()));
    if (parser.isSet(o.format) && !question)
        return fail(QStringLiteral("--format only applies to --history, --stats and --heatmap"));

    QString error;
    c.store = parser.value(o.store);
    c.storeGiven = parser.isSet(o.store);
    StoreLocation location;
    if (c.storeGiven && (c.store.trimmed().isEmpty() || !ParseStoreUrl(c.store, &location, &error)))
        return fail(error.isEmpty() ? QStringLiteral("--store needs a URL") : error);
    if (parser.isSet(o.format)) {
        AnswerFormat format;
        c.format = parser.value(o.format);
        if (!ParseAnswerFormat(c.format, &format))
            return fail(QStringLiteral("unknown format '%1': the formats are text, csv and json").arg(c.format));
    }
    c.since = parser.value(o.since);
    c.until = parser.value(o.until);
    if ((parser.isSet(o.since) && !ReadDay(QStringLiteral("--since"), c.since, &error)) ||
        (parser.isSet(o.until) && !ReadDay(QStringLiteral("--until"), c.until, &error)))
        return fail(error);
    if (!c.since.isEmpty() && !c.until.isEmpty() && c.since > c.until)
        return fail(QStringLiteral("--since %1 is after --until %2").arg(c.since, c.until));
    c.importDir = parser.value(o.importDir);
    c.historySerial = parser.value(o.history);
    c.heatmapFile = parser.value(o.heatmap);
    if (c.action == CommandLine::Action::Import && c.importDir.isEmpty())
        return fail(QStringLiteral("--import needs a directory"));
    if (c.action == CommandLine::Action::History && c.historySerial.isEmpty())
        return fail(QStringLiteral("--history needs a panel's serial"));
    if (c.action == CommandLine::Action::Heatmap && c.heatmapFile.isEmpty())
        return fail(QStringLiteral("--heatmap needs a file name"));
    return true;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& allArguments) {
    CommandLine qt;
    QString qtError;
    const QStringList arguments = WithoutQtOptions(allArguments, &qt, &qtError);
    if (!qtError.isEmpty()) return Failure(qtError);
    const Options o;
    QCommandLineParser parser;
    o.addTo(parser);
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return Failure(QStringLiteral("unknown option '%1'").arg(SpelledOption(arguments, unknown.first())));
        return Failure(ParserError(parser.errorText()));
    }
    if (!parser.positionalArguments().isEmpty())
        return Failure(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    for (const QCommandLineOption* valued : {&o.screen, &o.exportDir, &o.size, &o.pattern, &o.record, &o.panel,
                                             &o.operatorName, &o.station, &o.model, &o.faultClass, &o.sequence, &o.dwell,
                                             &o.control, &o.frameLog, &o.speed, &o.report, &o.store, &o.importDir,
                                             &o.history, &o.heatmap, &o.since, &o.until, &o.format}) {
        if (parser.values(*valued).size() > 1)
            return Failure(QStringLiteral("--%1 is given more than once").arg(valued->names().constLast()));
    }

    CommandLine c;
    c.qtPlatform = qt.qtPlatform;
    c.qtDisplay = qt.qtDisplay;
    c.quiet = parser.isSet(o.quiet);
    if (parser.isSet(o.help)) {
        c.action = CommandLine::Action::Help;
        return c;
    }
    if (parser.isSet(o.version)) {
        c.action = CommandLine::Action::Version;
        return c;
    }

    const int actions = int(parser.isSet(o.list)) + int(parser.isSet(o.listScreens)) + int(parser.isSet(o.exportDir));
    if (actions > 1) return Failure(QStringLiteral("--list, --list-screens and --export cannot be combined"));
    if (parser.isSet(o.report)) {
        if (actions > 0 || parser.isSet(o.screen) || parser.isSet(o.check))
            return Failure(
                QStringLiteral("--report cannot be combined with --list, --list-screens, --export, --check or --screen"));
        c.action = CommandLine::Action::Report;
        c.reportFile = parser.value(o.report);
        if (c.reportFile.isEmpty()) return Failure(QStringLiteral("--report needs a record file"));
    }
    if (actions > 0 && parser.isSet(o.check))
        return Failure(QStringLiteral("--check cannot be combined with --list, --list-screens or --export"));
    if (!parser.isSet(o.exportDir)) {
        if (parser.isSet(o.size)) return Failure(QStringLiteral("--size only applies to --export"));
        if (parser.isSet(o.pattern)) return Failure(QStringLiteral("--pattern only applies to --export"));
    }

    c.screen = parser.value(o.screen);
    if (parser.isSet(o.screen) && c.screen.trimmed().isEmpty())
        return Failure(QStringLiteral("--screen needs a screen's index or name"));

    if (parser.isSet(o.all) && !parser.isSet(o.list)) return Failure(QStringLiteral("--all only applies to --list"));
    if (parser.isSet(o.list)) {
        c.action = CommandLine::Action::List;
        c.listAll = parser.isSet(o.all);
    } else if (parser.isSet(o.listScreens)) {
        c.action = CommandLine::Action::ListScreens;
    } else if (parser.isSet(o.report)) {
        // Action and file set above.
    } else if (parser.isSet(o.check)) {
        c.action = CommandLine::Action::Check;
    } else if (parser.isSet(o.exportDir)) {
        c.action = CommandLine::Action::Export;
        c.exportDir = parser.value(o.exportDir);
        if (c.exportDir.isEmpty()) return Failure(QStringLiteral("--export needs a directory"));
        QString error;
        if (parser.isSet(o.size)) {
            c.size = ParseSize(parser.value(o.size), &error);
            if (!c.size.isValid()) return Failure(error);
        }
        if (parser.isSet(o.pattern) && !ReadExportPatterns(parser.value(o.pattern), c, &error)) return Failure(error);
    }
    if (!ReadStoreOptions(o, parser, c)) return c;
    if (!ReadSessionOptions(o, parser, c)) return c;
    return c;
}

QString HelpText() {
    const Options o;
    QCommandLineParser parser;
    o.addTo(parser);
    QStringList lines = parser.helpText().split(QLatin1Char('\n'));
    // The parser names the executable by its path, or not at all before the
    // application object exists.
    if (!lines.isEmpty()) lines[0] = QStringLiteral("Usage: vantrel [options]");
    return lines.join(QLatin1Char('\n'));
}

QString VersionLine() { return QStringLiteral("Vantrel " VANTREL_VERSION); }

QStringList PatternListing(bool all) {
    QStringList lines;
    for (const PatternInfo& p : PatternTable())
        lines << QStringLiteral("%1 %2").arg(p.number).arg(QString::fromUtf8(p.name));
    if (!all) return lines;
    for (const PatternInfo& p : AllPatterns().subspan(PatternTable().size()))
        lines << QStringLiteral("%1 %2").arg(p.number).arg(QString::fromUtf8(p.id));
    return lines;
}

QStringList CommandLineArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

void PrintLines(const QStringList& lines) {
    for (const QString& line : lines) std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(text));
    std::fflush(stderr);
}
