#include "cli/command_line.h"

#include "session/dispatcher.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace {

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Shows these options and exits.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Shows the program's name and version and exits.")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("Lists the 67 test patterns in their order: number and name.")};
    QCommandLineOption listScreens{
        QStringLiteral("list-screens"),
        QStringLiteral("Lists the screens: index, name, size in device pixels, device pixel ratio "
                       "and refresh rate.")};
    QCommandLineOption check{
        QStringLiteral("check"),
        QStringLiteral("Says in one line whether the screen (see --screen) shows one pattern pixel as one "
                       "panel pixel, and exits: 0 when it does, 4 when it does not.")};
    QCommandLineOption screen{
        QStringLiteral("screen"),
        QStringLiteral("Opens the windows on this screen, given by its index or its name "
                       "(see --list-screens), and measures it. Default: the primary screen."),
        QStringLiteral("N|NAME")};
    QCommandLineOption exportDir{
        QStringLiteral("export"),
        QStringLiteral("Renders the patterns into DIR as pattern-01.png to pattern-67.png, plus "
                       "contact-sheet.png with all of them as numbered thumbnails, and exits. "
                       "The directory is created if need be. Needs no display when --size is given."),
        QStringLiteral("DIR")};
    QCommandLineOption size{
        QStringLiteral("size"),
        QStringLiteral("Size of the exported images in pixels, each side 1 to 32767, e.g. 3840x2160. "
                       "Default: the size of the screen in device pixels."),
        QStringLiteral("WxH")};
    QCommandLineOption pattern{
        QStringLiteral("pattern"),
        QStringLiteral("Exports only pattern N, or patterns N to M (1 to 67). Default: all of them."),
        QStringLiteral("N|N-M")};

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(
            QStringLiteral("Full-screen test patterns for the visual inspection of TFT-LCD panels.\n"
                           "Without options, Vantrel opens its start-up screen and then the patterns."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, version, list, listScreens, check, screen, exportDir, size, pattern});
    }
};

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
    case Action::Error: return false;
    }
    return true;
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

CommandLine ParseCommandLine(const QStringList& arguments) {
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
    for (const QCommandLineOption* valued : {&o.screen, &o.exportDir, &o.size, &o.pattern}) {
        if (parser.values(*valued).size() > 1)
            return Failure(QStringLiteral("--%1 is given more than once").arg(valued->names().constLast()));
    }

    CommandLine c;
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
    if (actions > 0 && parser.isSet(o.check))
        return Failure(QStringLiteral("--check cannot be combined with --list, --list-screens or --export"));
    if (!parser.isSet(o.exportDir)) {
        if (parser.isSet(o.size)) return Failure(QStringLiteral("--size only applies to --export"));
        if (parser.isSet(o.pattern)) return Failure(QStringLiteral("--pattern only applies to --export"));
    }

    c.screen = parser.value(o.screen);
    if (parser.isSet(o.screen) && c.screen.trimmed().isEmpty())
        return Failure(QStringLiteral("--screen needs a screen's index or name"));

    if (parser.isSet(o.list)) {
        c.action = CommandLine::Action::List;
    } else if (parser.isSet(o.listScreens)) {
        c.action = CommandLine::Action::ListScreens;
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
        if (parser.isSet(o.pattern) &&
            !ParsePatternRange(parser.value(o.pattern), &c.firstPattern, &c.lastPattern, &error))
            return Failure(error);
    }
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

QStringList PatternListing() {
    QStringList lines;
    for (const PatternInfo& p : PatternTable())
        lines << QStringLiteral("%1 %2").arg(p.number).arg(QString::fromUtf8(p.name));
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
