#include "control/station.h"

#include "cli/recording_commands.h"
#include "defects/recording_session.h"
#include "platform/printable_text.h"
#include "program.h"
#include "session/dispatcher.h"
#include "session/pattern_list.h"
#include "session/pattern_window.h"
#include "session/session_state.h"

#include <QScreen>

#include <chrono>
#include <cmath>
#include <limits>

namespace {

using enum ArgType;

constexpr CommandArg kPatternsOut[] = {{"patterns", PatternList}};
constexpr CommandArg kPatternIn[] = {{"pattern", String}};
constexpr CommandArg kPresentedOut[] = {{"number", UInt32}, {"presentedNs", UInt64}, {"flags", UInt32}};
constexpr CommandArg kStateOut[] = {{"state", Dict}};
constexpr CommandArg kOptionsIn[] = {{"options", Dict}};
constexpr CommandArg kMarkIn[] = {{"type", String}, {"x", Int32}, {"y", Int32}};
constexpr CommandArg kNumberOut[] = {{"number", UInt32}};
constexpr CommandArg kFinishOut[] = {
    {"summary", String}, {"classReached", String}, {"pass", Bool}, {"recordPath", String}};
constexpr CommandArg kMarkAddedOut[] = {{"number", UInt32}, {"type", String}, {"x", Int32}, {"y", Int32}};

constexpr CommandEntry kCommands[] = {
    {"ListPatterns", {}, kPatternsOut},
    {"ShowPattern", kPatternIn, kPresentedOut},
    {"Next", {}, kPresentedOut},
    {"Previous", {}, kPresentedOut},
    {"GetState", {}, kStateOut},
    {"StartSession", kOptionsIn, {}},
    {"Mark", kMarkIn, kNumberOut},
    {"TakeBack", {}, kNumberOut},
    {"FinishSession", {}, kFinishOut},
    {"Quit", {}, {}},
};

constexpr CommandEntry kSignals[] = {
    {"PatternPresented", kPresentedOut, {}},
    {"MarkAdded", kMarkAddedOut, {}},
};

// The options StartSession takes; each is text.
constexpr const char* kSessionOptions[] = {"panel", "operator", "station", "class", "model", "directory"};

CommandOutcome Done(QVariantList values = {}) { return CommandOutcome{CommandOutcome::Kind::Done, std::move(values), {}, {}}; }

CommandOutcome Failed(const char* name, QString message) {
    return CommandOutcome{CommandOutcome::Kind::Failed, {}, QString::fromLatin1(name), std::move(message)};
}

qint64 SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// An integral value of a JSON or D-Bus argument within [low, high].
std::optional<qint64> Integral(const QVariant& value, qint64 low, qint64 high) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar: {
        const qint64 v = value.toLongLong();
        if (v >= low && v <= high) return v;
        return std::nullopt;
    }
    case QMetaType::ULongLong: {
        const qulonglong v = value.toULongLong();
        if (v <= static_cast<qulonglong>(high) && static_cast<qint64>(v) >= low) return static_cast<qint64>(v);
        return std::nullopt;
    }
    case QMetaType::Double: {
        const double v = value.toDouble();
        if (std::isfinite(v) && v == std::floor(v) && v >= static_cast<double>(low) && v <= static_cast<double>(high))
            return static_cast<qint64>(v);
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

QString TypeWords(ArgType type) {
    switch (type) {
    case String: return QStringLiteral("text");
    case Int32: return QStringLiteral("a whole number from -2147483648 to 2147483647");
    case UInt32: return QStringLiteral("a whole number from 0 to 4294967295");
    case UInt64: return QStringLiteral("a whole number from 0");
    case Bool: return QStringLiteral("true or false");
    case Double: return QStringLiteral("a number");
    case Dict: return QStringLiteral("an object of names and values");
    case PatternList: return QStringLiteral("a list of patterns");
    }
    return {};
}

std::optional<QVariant> Converted(const QVariant& value, ArgType type) {
    switch (type) {
    case String:
        if (value.typeId() == QMetaType::QString) return value;
        return std::nullopt;
    case Int32:
        if (const auto v = Integral(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()))
            return QVariant(static_cast<int>(*v));
        return std::nullopt;
    case UInt32:
        if (const auto v = Integral(value, 0, std::numeric_limits<uint32_t>::max())) return QVariant(static_cast<uint>(*v));
        return std::nullopt;
    case UInt64:
        if (const auto v = Integral(value, 0, std::numeric_limits<qint64>::max()))
            return QVariant(static_cast<qulonglong>(*v));
        return std::nullopt;
    case Bool:
        if (value.typeId() == QMetaType::Bool) return value;
        return std::nullopt;
    case Double:
        if (value.typeId() == QMetaType::Double || Integral(value, std::numeric_limits<qint64>::min(),
                                                            std::numeric_limits<qint64>::max()))
            return QVariant(value.toDouble());
        return std::nullopt;
    case Dict:
        if (value.typeId() == QMetaType::QVariantMap) return value;
        return std::nullopt;
    case PatternList: return std::nullopt; // never an argument in
    }
    return std::nullopt;
}

QString ClassText(const std::optional<int>& faultClass) {
    return faultClass ? QString::fromLatin1(ClassName(*faultClass)) : QStringLiteral("none");
}

} // namespace

const char* DBusSignature(ArgType type) {
    switch (type) {
    case String: return "s";
    case Int32: return "i";
    case UInt32: return "u";
    case UInt64: return "t";
    case Bool: return "b";
    case Double: return "d";
    case Dict: return "a{sv}";
    case PatternList: return "a(uss)";
    }
    return "";
}

std::span<const CommandEntry> StationCommands() { return kCommands; }

std::span<const CommandEntry> StationSignals() { return kSignals; }

const CommandEntry* FindCommand(const QString& name) {
    for (const CommandEntry& command : kCommands)
        if (name == QLatin1String(command.name)) return &command;
    return nullptr;
}

std::optional<QVariantList> CheckArguments(const CommandEntry& command, const QVariantMap& params, QString* why) {
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        const bool known = std::any_of(command.in.begin(), command.in.end(),
                                       [&it](const CommandArg& a) { return it.key() == QLatin1String(a.name); });
        if (!known) {
            *why = command.in.empty() ? QStringLiteral("%1 takes no parameters, not '%2'").arg(command.name, it.key())
                                   : QStringLiteral("%1 has no parameter '%2'").arg(command.name, it.key());
            return std::nullopt;
        }
    }
    QVariantList values;
    for (const CommandArg& arg : command.in) {
        const QString name = QString::fromLatin1(arg.name);
        if (!params.contains(name)) {
            *why = QStringLiteral("%1 needs the parameter '%2' (%3)").arg(command.name, name, TypeWords(arg.type));
            return std::nullopt;
        }
        const std::optional<QVariant> value = Converted(params.value(name), arg.type);
        if (!value) {
            *why = QStringLiteral("the parameter '%1' of %2 must be %3").arg(name, command.name, TypeWords(arg.type));
            return std::nullopt;
        }
        values << *value;
    }
    return values;
}

Station::Station(Program& program, const CommandLine& commandLine, QObject* parent)
    : QObject(parent), program_(program), commandLine_(commandLine), presentationTimer_(this) {
    presentationTimer_.setSingleShot(true);
    presentationTimer_.setInterval(kPresentationTimeoutMs);
    connect(&presentationTimer_, &QTimer::timeout, this, &Station::presentationLate);
    // A "show" is answered when its picture was presented: the pattern
    // window's clock runs for as long as a controller may ask.
    Background& window = program_.background();
    window.enablePresentationClock();
    connect(&window, &Background::patternPresented, this, &Station::presented);
}

Station::~Station() = default;

void Station::call(const QString& method, const QVariantMap& params, Reply reply) {
    const CommandEntry* command = FindCommand(method);
    if (!command) {
        reply(CommandOutcome{CommandOutcome::Kind::UnknownMethod, {}, {},
                             QStringLiteral("the station has no method '%1'").arg(method)});
        return;
    }
    QString why;
    std::optional<QVariantList> args = CheckArguments(*command, params, &why);
    if (!args) {
        reply(CommandOutcome{CommandOutcome::Kind::BadArguments, {}, {}, why});
        return;
    }
    queue_.push_back(Call{command, std::move(*args), std::move(reply)});
    if (!waiting_) runQueued();
}

void Station::runQueued() {
    while (!waiting_ && !queue_.empty()) {
        Call next = std::move(queue_.front());
        queue_.pop_front();
        if (!run(next)) return;
    }
}

bool Station::run(Call& c) {
    const QString name = QString::fromLatin1(c.command->name);
    if (const QString busy = program_.operatorBusy(); !busy.isEmpty()) {
        c.reply(Failed(station_error::kBusy, busy));
        return true;
    }
    if (name == QLatin1String("ShowPattern")) {
        QString why;
        const int16_t number = ResolvePattern(c.args.value(0).toString(), &why);
        if (number == 0) {
            c.reply(Failed(station_error::kBadPattern, PrintableText(why)));
            return true;
        }
        program_.showPattern(number);
        awaitPresentation(c.reply);
        return false;
    }
    if (name == QLatin1String("Next") || name == QLatin1String("Previous")) {
        program_.stepPattern(name == QLatin1String("Next"));
        awaitPresentation(c.reply);
        return false;
    }
    if (name == QLatin1String("Quit")) {
        c.reply(Done());
        program_.EndProgram();
        return true;
    }
    CommandOutcome outcome;
    if (name == QLatin1String("ListPatterns")) {
        QVariantList patterns;
        for (const PatternInfo& p : AllPatterns())
            patterns << QVariantMap{{QStringLiteral("number"), static_cast<uint>(p.number)},
                                    {QStringLiteral("id"), QString::fromLatin1(p.id)},
                                    {QStringLiteral("name"), QString::fromUtf8(p.name)}};
        outcome = Done({patterns});
    } else if (name == QLatin1String("GetState")) {
        outcome = Done({state()});
    } else if (name == QLatin1String("StartSession")) {
        outcome = startSession(c.args.value(0).toMap());
    } else if (name == QLatin1String("Mark")) {
        outcome = mark(c.args.value(0).toString(), c.args.value(1).toInt(), c.args.value(2).toInt());
    } else if (name == QLatin1String("TakeBack")) {
        outcome = takeBack();
    } else if (name == QLatin1String("FinishSession")) {
        outcome = finishSession();
    }
    c.reply(outcome);
    return true;
}

void Station::awaitPresentation(const Reply& reply) {
    waiting_ = Waiting{SessionState.PatternIndex, SteadyNowNs(), reply};
    presentationTimer_.start();
}

void Station::presented(int number, qint64 presentedNs, quint32 flags) {
    Q_EMIT patternPresented(static_cast<uint>(number), static_cast<qulonglong>(presentedNs), flags);
    // A presentation of an earlier painting of the same pattern does not
    // answer: the picture asked for was painted after it.
    if (!waiting_ || number != waiting_->number || presentedNs < waiting_->paintedNs) return;
    presentationTimer_.stop();
    const Reply reply = std::exchange(waiting_, std::nullopt)->reply;
    reply(Done({static_cast<uint>(number), static_cast<qulonglong>(presentedNs), flags}));
    runQueued();
}

void Station::presentationLate() {
    if (!waiting_) return;
    const Waiting late = *std::exchange(waiting_, std::nullopt);
    late.reply(Failed(station_error::kNotPresented,
                      QStringLiteral("pattern %1 was painted, but the window was not presented within %2 s (is it on "
                                     "the screen?)")
                          .arg(late.number)
                          .arg(kPresentationTimeoutMs / 1000)));
    runQueued();
}

QVariantMap Station::state() const {
    const ScreenFacts& facts = program_.screenFacts();
    const PixelVerdict& verdict = program_.verdict();
    const QSize size = TrueDeviceSize(facts);
    const PatternInfo* shown = FindPattern(SessionState.PatternIndex);
    const double refresh = facts.refreshHz.value_or(program_.screen() ? program_.screen()->refreshRate() : 0.0);
    QVariantMap s{
        {QStringLiteral("pattern"), static_cast<uint>(shown ? shown->number : 0)},
        {QStringLiteral("patternId"), shown ? QString::fromLatin1(shown->id) : QString()},
        {QStringLiteral("width"), static_cast<uint>(std::max(0, size.width()))},
        {QStringLiteral("height"), static_cast<uint>(std::max(0, size.height()))},
        {QStringLiteral("oneToOne"), verdict.oneToOne},
        {QStringLiteral("oneToOneReason"), verdict.known ? verdict.message : VerdictLine(verdict)},
        {QStringLiteral("refreshHz"), refresh},
        {QStringLiteral("sessionOpen"), session_ != nullptr},
    };
    if (session_) s.insert(QStringLiteral("panel"), session_->record().panel);
    return s;
}

CommandOutcome Station::startSession(const QVariantMap& options) {
    if (session_)
        return Failed(station_error::kSessionOpen,
                      QStringLiteral("the session of panel %1 is open: finish it first").arg(session_->record().panel));
    for (auto it = options.cbegin(); it != options.cend(); ++it) {
        if (std::none_of(std::begin(kSessionOptions), std::end(kSessionOptions),
                         [&it](const char* known) { return it.key() == QLatin1String(known); }))
            return Failed(station_error::kBadOption,
                          QStringLiteral("unknown option '%1': the options are panel, operator, station, class, model "
                                         "and directory")
                              .arg(PrintableText(it.key())));
        if (it.value().typeId() != QMetaType::QString)
            return Failed(station_error::kBadOption, QStringLiteral("the option '%1' must be text").arg(PrintableText(it.key())));
    }
    const auto option = [&options](const char* key, const QString& fallback) {
        return options.value(QString::fromLatin1(key), fallback).toString();
    };
    CommandLine c = commandLine_;
    c.panel = option("panel", QString());
    if (c.panel.isEmpty()) return Failed(station_error::kBadOption, QStringLiteral("the option 'panel' is required"));
    if (const QString why = PanelSerialProblem(c.panel); !why.isEmpty()) return Failed(station_error::kBadOption, why);
    c.operatorName = option("operator", c.operatorName);
    c.station = option("station", c.station);
    c.model = option("model", c.model);
    if (options.contains(QStringLiteral("class"))) {
        const QString name = option("class", QString());
        c.faultClass = ParseClassName(name.toLatin1().constData());
        if (c.faultClass == 0)
            return Failed(station_error::kBadOption,
                          QStringLiteral("unknown class '%1': the classes are I, II, III and IV").arg(PrintableText(name)));
    }
    c.recordDir = option("directory", c.recordDir);
    if (c.recordDir.isEmpty())
        return Failed(station_error::kBadOption,
                      QStringLiteral("the option 'directory' is required when the program was not given --record DIR"));
    QString error;
    std::unique_ptr<RecordingSession> session = StartRecording(c, program_.screen(), &error);
    if (!session) return Failed(station_error::kWriteFailed, error);
    adopt(std::move(session));
    return Done();
}

void Station::adopt(std::unique_ptr<RecordingSession> session) {
    session_ = std::move(session);
    if (session_) connect(session_.get(), &RecordingSession::marked, this, &Station::tellMark);
    program_.setRecording(session_.get());
}

void Station::tellMark(const DefectMark& m) {
    Q_EMIT markAdded(static_cast<uint>(m.number), FaultTypeKey(m.type), m.x, m.y);
}

CommandOutcome Station::mark(const QString& typeWord, int x, int y) {
    if (!session_) return Failed(station_error::kNoSession, QStringLiteral("no session is open: start one first"));
    const std::optional<FaultType> type = FaultTypeFromKey(typeWord);
    if (!type)
        return Failed(station_error::kBadMark,
                      QStringLiteral("unknown mark type '%1': the types are bright, dark, sub-pixel, row and column")
                          .arg(PrintableText(typeWord)));
    const QSize panel = session_->record().mode;
    if (x < 1 || y < 1 || x > panel.width() || y > panel.height())
        return Failed(station_error::kBadMark, QStringLiteral("( %1 , %2 ) is not on the panel: x runs from 1 to %3, y "
                                                              "from 1 to %4")
                                                   .arg(x)
                                                   .arg(y)
                                                   .arg(panel.width())
                                                   .arg(panel.height()));
    if (!FindPattern(SessionState.PatternIndex))
        return Failed(station_error::kBadMark, QStringLiteral("no pattern is on the screen yet: show one first"));
    QString error;
    if (!session_->markPanelPixel(*type, QPoint(x, y), &error)) return Failed(station_error::kWriteFailed, error);
    return Done({static_cast<uint>(session_->record().marks.back().number)});
}

CommandOutcome Station::takeBack() {
    if (!session_) return Failed(station_error::kNoSession, QStringLiteral("no session is open: start one first"));
    if (session_->record().marks.empty())
        return Failed(station_error::kBadMark, QStringLiteral("there is no mark to take back"));
    const int number = session_->record().marks.back().number;
    QString error;
    if (!session_->takeBack(&error)) return Failed(station_error::kWriteFailed, error);
    return Done({static_cast<uint>(number)});
}

CommandOutcome Station::finishSession() {
    if (!session_) return Failed(station_error::kNoSession, QStringLiteral("no session is open: start one first"));
    QString error;
    FinishRecording(*session_, commandLine_, &error);
    if (!session_->finished()) return Failed(station_error::kWriteFailed, error);
    recordsComplete_ = recordsComplete_ && session_->complete();
    const DefectRecord& r = session_->record();
    const Verdict verdict = r.verdict();
    const CommandOutcome outcome =
        // A record that misses something the operator or a command did
        // cannot pass, whatever its marks say.
        Done({RecordSummaryLine(r), ClassText(verdict.classReached), verdict.pass && session_->complete(),
              session_->writtenFiles().constLast()});
    program_.setRecording(nullptr);
    session_.reset();
    return outcome;
}

std::unique_ptr<RecordingSession> Station::takeSession() {
    program_.setRecording(nullptr);
    if (session_) disconnect(session_.get(), nullptr, this, nullptr);
    return std::move(session_);
}
