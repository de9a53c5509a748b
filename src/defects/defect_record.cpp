#include "defects/defect_record.h"

#include "session/dispatcher.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <tuple>
#include <unordered_set>

namespace {

constexpr FaultType kTypes[] = {FaultType::Bright, FaultType::Dark, FaultType::SubPixel, FaultType::Row,
                                FaultType::Column};

// The namespace of the name-based identities of records that carry none;
// the name is what tells one session from another in such a record.
constexpr QUuid kRecordNamespace(0x4f6b1c2a, 0x93d4, 0x5e7b, 0x8a, 0x61, 0x2c, 0x0d, 0x5f, 0x3e, 0x91, 0xa7);

QString Time(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }
QDateTime ReadTime(const QJsonValue& v) { return QDateTime::fromString(v.toString(), Qt::ISODateWithMs); }

QJsonObject CountsObject(const FaultCounts& c, bool withLines) {
    QJsonObject o{{QStringLiteral("type1"), qint64(c.bright)},
                  {QStringLiteral("type2"), qint64(c.dark)},
                  {QStringLiteral("type3"), qint64(c.subPixel)},
                  {QStringLiteral("clusters12"), qint64(c.clusters12)},
                  {QStringLiteral("clusters3"), qint64(c.clusters3)}};
    if (withLines) o.insert(QStringLiteral("lines"), qint64(c.lines));
    return o;
}

QJsonObject MarkObject(const DefectMark& m) {
    return {{QStringLiteral("number"), m.number},
            {QStringLiteral("type"), FaultTypeKey(m.type)},
            {QStringLiteral("code"), static_cast<int>(m.type)},
            {QStringLiteral("x"), m.x},
            {QStringLiteral("y"), m.y},
            {QStringLiteral("pattern"), m.pattern},
            {QStringLiteral("patternName"), m.patternName},
            {QStringLiteral("time"), Time(m.time)}};
}

// An integer of a JSON value, when it is one and fits an int.
std::optional<int> ReadInt(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max()) || d != std::floor(d))
        return std::nullopt;
    return static_cast<int>(d);
}

// Reads a mark; false with `error` set when a field is missing or of the
// wrong kind. Where it lies is checked by MarkProblem.
bool ReadMark(const QJsonObject& o, DefectMark* m, QString* error) {
    const std::optional<int> number = ReadInt(o.value(QStringLiteral("number")));
    const QString key = o.value(QStringLiteral("type")).toString();
    const std::optional<FaultType> type = FaultTypeFromKey(key);
    const std::optional<int> x = ReadInt(o.value(QStringLiteral("x")));
    const std::optional<int> y = ReadInt(o.value(QStringLiteral("y")));
    if (!number || *number < 1) *error = QStringLiteral("a mark without a number");
    else if (!type) *error = QStringLiteral("mark #%1 is of an unknown type '%2'").arg(*number).arg(key.left(40));
    else if (!x || !y) *error = QStringLiteral("mark #%1 has no pixel").arg(*number);
    else {
        m->number = *number;
        m->type = *type;
        m->x = *x;
        m->y = *y;
        m->pattern = ReadInt(o.value(QStringLiteral("pattern"))).value_or(0);
        m->patternName = o.value(QStringLiteral("patternName")).toString();
        m->time = ReadTime(o.value(QStringLiteral("time")));
        return true;
    }
    return false;
}

// Why a mark cannot be on a panel of `mode`, or nothing.
QString MarkProblem(const DefectMark& m, QSize mode) {
    if (m.x < 1 || m.x > mode.width() || m.y < 1 || m.y > mode.height())
        return QStringLiteral("mark #%1 at ( %2 , %3 ) lies outside the %4x%5 panel")
            .arg(m.number)
            .arg(m.x)
            .arg(m.y)
            .arg(mode.width())
            .arg(mode.height());
    return {};
}

QJsonObject PatternObject(const PatternShown& p) {
    return {{QStringLiteral("pattern"), p.pattern},
            {QStringLiteral("name"), p.name},
            {QStringLiteral("shown"), Time(p.time)}};
}

PatternShown ReadPattern(const QJsonObject& o) {
    return {o.value(QStringLiteral("pattern")).toInt(), o.value(QStringLiteral("name")).toString(),
            ReadTime(o.value(QStringLiteral("shown")))};
}

// The facts fixed at the start of a session, shared by the record and
// the first line of the journal.
QJsonObject SessionFacts(const DefectRecord& r) {
    QJsonArray sequence;
    for (int16_t n : r.sequence) sequence.append(n);
    return {{QStringLiteral("schema"), QString::fromLatin1(kRecordSchema)},
            {QStringLiteral("program"), QStringLiteral("Vantrel " VANTREL_VERSION)},
            {QStringLiteral("session"), SessionIdentity(r).toString(QUuid::WithoutBraces)},
            {QStringLiteral("panel"), r.panel},
            {QStringLiteral("model"), r.model},
            {QStringLiteral("operator"), r.operatorName},
            {QStringLiteral("station"), r.station},
            {QStringLiteral("class"), QString::fromLatin1(ClassName(r.faultClass))},
            {QStringLiteral("started"), Time(r.started)},
            {QStringLiteral("screen"),
             QJsonObject{{QStringLiteral("name"), r.screen.name},
                         {QStringLiteral("manufacturer"), r.screen.manufacturer},
                         {QStringLiteral("model"), r.screen.model},
                         {QStringLiteral("serialNumber"), r.screen.serialNumber}}},
            {QStringLiteral("mode"),
             QJsonObject{{QStringLiteral("width"), r.mode.width()}, {QStringLiteral("height"), r.mode.height()}}},
            {QStringLiteral("oneToOne"), r.oneToOne ? QJsonValue(*r.oneToOne) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("oneToOneReason"),
             r.oneToOneReason.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(r.oneToOneReason)},
            {QStringLiteral("sequence"), r.sequence.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(sequence)},
            {QStringLiteral("dwellSeconds"), r.dwellSeconds}};
}

// 1 to 4 for "I" to "IV" (any case), or 0; the whole text must match.
int ReadClass(const QString& text) {
    for (int c = 1; c <= kClassCount; ++c)
        if (text.compare(QLatin1String(ClassName(c)), Qt::CaseInsensitive) == 0) return c;
    return 0;
}

// Reads and checks the facts of a session (a record, or a journal's first
// line); false with `error` set when they are not a session's facts.
bool ReadSessionFacts(const QJsonObject& o, DefectRecord* r, QString* error) {
    const QString schema = o.value(QStringLiteral("schema")).toString();
    const bool first = schema == QLatin1String(kRecordSchemaV1);
    if (schema != QLatin1String(kRecordSchema) && !first) {
        *error = QStringLiteral("not a Vantrel inspection record (schema %1 or %2 expected)")
                     .arg(kRecordSchema, kRecordSchemaV1);
        return false;
    }
    const QString session = o.value(QStringLiteral("session")).toString();
    r->session = QUuid::fromString(session);
    r->panel = o.value(QStringLiteral("panel")).toString();
    r->model = o.value(QStringLiteral("model")).toString();
    r->operatorName = o.value(QStringLiteral("operator")).toString();
    r->station = o.value(QStringLiteral("station")).toString();
    r->faultClass = ReadClass(o.value(QStringLiteral("class")).toString());
    r->started = ReadTime(o.value(QStringLiteral("started")));
    const QJsonObject screen = o.value(QStringLiteral("screen")).toObject();
    r->screen = {screen.value(QStringLiteral("name")).toString(),
                 screen.value(QStringLiteral("manufacturer")).toString(),
                 screen.value(QStringLiteral("model")).toString(),
                 screen.value(QStringLiteral("serialNumber")).toString()};
    const QJsonObject mode = o.value(QStringLiteral("mode")).toObject();
    const std::optional<int> width = ReadInt(mode.value(QStringLiteral("width")));
    const std::optional<int> height = ReadInt(mode.value(QStringLiteral("height")));
    r->mode = QSize(width.value_or(0), height.value_or(0));
    const QJsonValue oneToOne = o.value(QStringLiteral("oneToOne"));
    r->oneToOne = oneToOne.isBool() ? std::optional<bool>(oneToOne.toBool()) : std::nullopt;
    r->oneToOneReason = o.value(QStringLiteral("oneToOneReason")).toString();
    r->sequence.clear();
    bool sequenceGood = true;
    for (const QJsonValue& n : o.value(QStringLiteral("sequence")).toArray()) {
        const std::optional<int> pattern = ReadInt(n);
        sequenceGood = sequenceGood && pattern && *pattern >= 1 && *pattern <= kPatternCount;
        if (sequenceGood) r->sequence.push_back(static_cast<int16_t>(*pattern));
    }
    r->dwellSeconds = o.value(QStringLiteral("dwellSeconds")).toString();

    if (!IsSafePanelSerial(r->panel))
        *error = QStringLiteral("its panel '%1' is not a serial Vantrel takes").arg(r->panel.left(80));
    else if (!first && r->session.isNull())
        *error = QStringLiteral("its session '%1' is not a UUID").arg(session.left(80));
    else if (r->faultClass == 0)
        *error = QStringLiteral("it names no class I, II, III or IV");
    else if (!r->started.isValid())
        *error = QStringLiteral("it has no start time");
    else if (!width || !height || *width < 1 || *height < 1 || *width > kMaxPanelSide || *height > kMaxPanelSide)
        *error = QStringLiteral("its mode is not 1 to %1 pixels a side").arg(kMaxPanelSide);
    else if (!sequenceGood)
        *error = QStringLiteral("its sequence names a pattern outside 1 to %1").arg(kPatternCount);
    else
        return true;
    return false;
}

// The verdict as the record wrote it.
WrittenVerdict ReadWrittenVerdict(const QJsonObject& o) {
    WrittenVerdict w;
    const QJsonObject verdict = o.value(QStringLiteral("verdict")).toObject();
    const QJsonObject counts = verdict.value(QStringLiteral("counts")).toObject();
    if (counts.isEmpty()) return w;
    w.present = true;
    const auto count = [&counts](const char* key) { return counts.value(QLatin1String(key)).toInteger(); };
    w.counts = {count("type1"), count("type2"), count("type3"), count("clusters12"), count("clusters3"),
                count("lines")};
    w.clusterRule = verdict.value(QStringLiteral("clusterRule")).toString();
    w.summary = verdict.value(QStringLiteral("summary")).toString();
    return w;
}

// A field of the CSV: a text a spreadsheet would read as a formula gets a
// quote mark in front; a field with a separator, a quote or a line break,
// or one so changed, is quoted.
QString CsvField(const QString& text) {
    const bool formula = !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front());
    const bool special = std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
    });
    if (!formula && !special) return text;
    QString quoted = formula ? QLatin1Char('\'') + text : text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// ---- the journal's lines ----------------------------------------------------

constexpr qsizetype kCheckDigits = 16;
constexpr char kCheckKey[] = ",\"check\":\"";
constexpr qsizetype kCheckKeySize = sizeof(kCheckKey) - 1;
// The end of a checked line: the key, the digits, the closing quote and brace.
constexpr qsizetype kCheckSuffixSize = kCheckKeySize + kCheckDigits + 2;

QByteArray LineCheck(const QByteArray& json) {
    return QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex().left(kCheckDigits);
}

// The object as one line: numbered, with the check of its bytes last.
QByteArray CheckedLine(QJsonObject o, int line) {
    o.insert(QStringLiteral("line"), line);
    const QByteArray json = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return json.chopped(1) + kCheckKey + LineCheck(json) + "\"}\n";
}

enum class LineState { Good, Unchecked, Damaged };

// One line of a journal, without its line feed: Good when its check holds,
// Unchecked when it carries none but is a JSON object, else Damaged.
LineState ReadJournalLine(const QByteArray& line, QJsonObject* o) {
    const auto parse = [o](const QByteArray& json) {
        const QJsonDocument doc = QJsonDocument::fromJson(json);
        if (!doc.isObject()) return false;
        *o = doc.object();
        return true;
    };
    const qsizetype size = line.size();
    if (size > kCheckSuffixSize && line.endsWith("\"}") &&
        line.mid(size - kCheckSuffixSize, kCheckKeySize) == kCheckKey) {
        const QByteArray json = line.left(size - kCheckSuffixSize) + '}';
        if (LineCheck(json) != line.mid(size - kCheckDigits - 2, kCheckDigits)) return LineState::Damaged;
        return parse(json) ? LineState::Good : LineState::Damaged;
    }
    return parse(line) ? LineState::Unchecked : LineState::Damaged;
}

// What a damaged line seems to have held, from what is left of it: "mark
// #3", "the take-back of mark #2", "a pattern shown", ...
QString DamagedContent(const QByteArray& line) {
    const auto has = [&line](const char* text) { return line.contains(text); };
    QString number;
    const qsizetype at = line.indexOf("\"number\":");
    for (qsizetype i = at < 0 ? line.size() : at + 9; i < line.size() && number.size() < 9 && std::isdigit(uint8_t(line[i])); ++i)
        number += QLatin1Char(line[i]);
    if (has("\"event\":\"mark\""))
        return number.isEmpty() ? QStringLiteral("a mark") : QStringLiteral("mark #") + number;
    if (has("\"event\":\"take-back\""))
        return number.isEmpty() ? QStringLiteral("a take-back")
                                : QStringLiteral("the take-back of mark #%1 (the mark stays)").arg(number);
    if (has("\"event\":\"pattern\"")) return QStringLiteral("a pattern shown");
    if (has("\"event\":\"start\"")) return QStringLiteral("a second start of the session");
    return QStringLiteral("what it held (a mark, a take-back or a pattern shown)");
}

} // namespace

std::vector<FaultMark> DefectRecord::faultMarks() const {
    std::vector<FaultMark> faults;
    faults.reserve(marks.size());
    for (const DefectMark& m : marks) faults.push_back({m.type, m.x, m.y});
    return faults;
}

Verdict DefectRecord::verdict() const { return JudgePanel(faultMarks(), mode.width(), mode.height(), faultClass); }

QUuid SessionIdentity(const DefectRecord& r) {
    if (!r.session.isNull()) return r.session;
    return QUuid::createUuidV5(kRecordNamespace, r.panel + QLatin1Char('\n') + Time(r.started));
}

bool IsSafePanelSerial(const QString& serial) {
    if (serial.isEmpty() || serial.size() > kMaxPanelSerialLength || serial.front() == QLatin1Char('.')) return false;
    return std::all_of(serial.cbegin(), serial.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-' ||
               u == u'_' || u == u'.';
    });
}

QString DefectRecord::baseName() const {
    return panel + QLatin1Char('-') + started.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString FaultTypeText(FaultType type) {
    switch (type) {
    case FaultType::Bright: return QStringLiteral("bright pixel");
    case FaultType::Dark: return QStringLiteral("dark pixel");
    case FaultType::SubPixel: return QStringLiteral("sub-pixel defect");
    case FaultType::Row: return QStringLiteral("row defect");
    case FaultType::Column: return QStringLiteral("column defect");
    }
    return {};
}

QString FaultTypeKey(FaultType type) {
    switch (type) {
    case FaultType::Bright: return QStringLiteral("bright");
    case FaultType::Dark: return QStringLiteral("dark");
    case FaultType::SubPixel: return QStringLiteral("sub-pixel");
    case FaultType::Row: return QStringLiteral("row");
    case FaultType::Column: return QStringLiteral("column");
    }
    return {};
}

std::optional<FaultType> FaultTypeFromKey(const QString& key) {
    for (FaultType t : kTypes)
        if (FaultTypeKey(t) == key) return t;
    return std::nullopt;
}

QByteArray RecordJson(const DefectRecord& r) {
    QJsonObject o = SessionFacts(r);
    o.insert(QStringLiteral("ended"), Time(r.ended));
    o.insert(QStringLiteral("recovered"), r.recovered);
    QJsonArray patterns;
    for (const PatternShown& p : r.patterns) patterns.append(PatternObject(p));
    o.insert(QStringLiteral("patternsShown"), patterns);
    QJsonArray marks;
    for (const DefectMark& m : r.marks) marks.append(MarkObject(m));
    o.insert(QStringLiteral("marks"), marks);
    o.insert(QStringLiteral("notRecorded"), QJsonArray::fromStringList(r.notRecorded));

    const Verdict v = r.verdict();
    QJsonObject allowed;
    for (int c = 1; c <= kClassCount; ++c)
        allowed.insert(QString::fromLatin1(ClassName(c)), CountsObject(v.allowed[static_cast<size_t>(c - 1)], false));
    o.insert(QStringLiteral("verdict"),
             QJsonObject{{QStringLiteral("pixels"), qint64(v.pixels)},
                         {QStringLiteral("clusterRule"), QString::fromLatin1(ClusterRule())},
                         {QStringLiteral("counts"), CountsObject(v.counts, true)},
                         {QStringLiteral("allowed"), allowed},
                         {QStringLiteral("linesAllowed"), 0},
                         {QStringLiteral("class"), QString::fromLatin1(ClassName(v.chosenClass))},
                         {QStringLiteral("classReached"), v.classReached
                                                              ? QJsonValue(QString::fromLatin1(ClassName(*v.classReached)))
                                                              : QJsonValue(QJsonValue::Null)},
                         {QStringLiteral("pass"), v.pass},
                         {QStringLiteral("summary"), SummaryLine(r.panel, v)}});
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool ReadRecordJson(const QByteArray& json, DefectRecord* r, QString* error) {
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (!doc.isObject()) {
        *error = QStringLiteral("not JSON: %1 at offset %2").arg(parse.errorString()).arg(parse.offset);
        return false;
    }
    const QJsonObject o = doc.object();
    QString problem;
    if (!ReadSessionFacts(o, r, &problem)) {
        *error = problem.startsWith(QLatin1String("not ")) ? problem : QStringLiteral("not a record Vantrel writes: ") + problem;
        return false;
    }
    r->ended = ReadTime(o.value(QStringLiteral("ended")));
    r->recovered = o.value(QStringLiteral("recovered")).toBool();
    r->patterns.clear();
    for (const QJsonValue& p : o.value(QStringLiteral("patternsShown")).toArray())
        r->patterns.push_back(ReadPattern(p.toObject()));
    r->marks.clear();
    std::unordered_set<int> numbers;
    for (const QJsonValue& m : o.value(QStringLiteral("marks")).toArray()) {
        DefectMark mark;
        if (!ReadMark(m.toObject(), &mark, &problem)) {
            *error = QStringLiteral("mark %1 is unreadable: %2").arg(r->marks.size() + 1).arg(problem);
            return false;
        }
        problem = MarkProblem(mark, r->mode);
        if (problem.isEmpty() && !numbers.insert(mark.number).second)
            problem = QStringLiteral("mark #%1 appears twice").arg(mark.number);
        if (!problem.isEmpty()) {
            *error = problem;
            return false;
        }
        r->marks.push_back(mark);
    }
    r->notRecorded.clear();
    for (const QJsonValue& line : o.value(QStringLiteral("notRecorded")).toArray()) r->notRecorded << line.toString();
    r->written = ReadWrittenVerdict(o);
    return true;
}

QStringList WrittenVerdictDiscrepancies(const DefectRecord& r) {
    QStringList lines;
    if (!r.written.present) return lines;
    const FaultCounts now = CountFaults(r.faultMarks());
    const FaultCounts& was = r.written.counts;
    const bool sameRule = r.written.clusterRule == QLatin1String(ClusterRule());
    const std::tuple<int64_t, int64_t, const char*> pairs[] = {
        {was.bright, now.bright, "type 1"},
        {was.dark, now.dark, "type 2"},
        {was.subPixel, now.subPixel, "type 3"},
        {was.lines, now.lines, "line defects"},
        {sameRule ? was.clusters12 : now.clusters12, now.clusters12, "clusters of type 1/2"},
        {sameRule ? was.clusters3 : now.clusters3, now.clusters3, "clusters of type 3"},
    };
    for (const auto& [written, marked, what] : pairs)
        if (written != marked)
            lines << QStringLiteral("its verdict counts %1 %3 but its marks hold %2: the record was changed after "
                                    "it was written")
                         .arg(written)
                         .arg(marked)
                         .arg(QLatin1String(what));
    return lines;
}

QByteArray MarksCsv(const DefectRecord& r) {
    QStringList lines{QStringLiteral("number,code,type,x,y,pattern,pattern name,time")};
    for (const DefectMark& m : r.marks)
        lines << QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8")
                     .arg(m.number)
                     .arg(static_cast<int>(m.type))
                     .arg(CsvField(FaultTypeText(m.type)))
                     .arg(m.x)
                     .arg(m.y)
                     .arg(m.pattern)
                     .arg(CsvField(m.patternName), CsvField(Time(m.time)));
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QString SummaryLine(const QString& panel, const Verdict& v) {
    QStringList parts;
    const auto add = [&parts](int64_t n, const QString& what) {
        if (n > 0) parts << QStringLiteral("%1 %2").arg(n).arg(what);
    };
    add(v.counts.bright, QStringLiteral("type 1"));
    add(v.counts.dark, QStringLiteral("type 2"));
    add(v.counts.subPixel, QStringLiteral("type 3"));
    add(v.counts.clusters12, v.counts.clusters12 == 1 ? QStringLiteral("cluster of type 1/2")
                                                       : QStringLiteral("clusters of type 1/2"));
    add(v.counts.clusters3, v.counts.clusters3 == 1 ? QStringLiteral("cluster of type 3")
                                                     : QStringLiteral("clusters of type 3"));
    add(v.counts.lines, v.counts.lines == 1 ? QStringLiteral("line defect") : QStringLiteral("line defects"));
    if (parts.isEmpty()) parts << QStringLiteral("no faults");
    parts << (v.classReached ? QStringLiteral("class %1").arg(ClassName(*v.classReached)) : QStringLiteral("no class"));
    QString verdict = v.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    if (!v.pass) verdict += QStringLiteral(" (class %1 required)").arg(ClassName(v.chosenClass));
    parts << verdict;
    return panel + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

QString RecordSummaryLine(const DefectRecord& record) {
    QString line = SummaryLine(record.panel, record.verdict());
    if (const qsizetype n = record.notRecorded.size())
        line += QStringLiteral("; RECORD INCOMPLETE: %1 event(s) not recorded (see notRecorded)").arg(n);
    if (record.oneToOne == false)
        line += QStringLiteral("; WARNING: the screen did not show the patterns 1:1, so the marked pixels may be off "
                               "(see oneToOneReason)");
    return line;
}

QByteArray JournalStartLine(const DefectRecord& record) {
    QJsonObject o = SessionFacts(record);
    o.insert(QStringLiteral("event"), QStringLiteral("start"));
    return CheckedLine(o, 1);
}

QByteArray JournalPatternLine(int line, const PatternShown& shown) {
    QJsonObject o = PatternObject(shown);
    o.insert(QStringLiteral("event"), QStringLiteral("pattern"));
    return CheckedLine(o, line);
}

QByteArray JournalMarkLine(int line, const DefectMark& mark) {
    QJsonObject o = MarkObject(mark);
    o.insert(QStringLiteral("event"), QStringLiteral("mark"));
    return CheckedLine(o, line);
}

QByteArray JournalTakeBackLine(int line, int number, const QDateTime& time) {
    return CheckedLine({{QStringLiteral("event"), QStringLiteral("take-back")},
                        {QStringLiteral("number"), number},
                        {QStringLiteral("time"), Time(time)}},
                       line);
}

namespace {

// The replay of one journal after its first line.
class Replay {
public:
    Replay(DefectRecord* record, QStringList* losses, bool checked)
        : r_(record), losses_(losses), checked_(checked) {}

    // Line `at` (counted from 1 in the file) as read.
    void line(int at, const QByteArray& bytes, bool last) {
        QJsonObject o;
        const LineState state = ReadJournalLine(bytes, &o);
        if (bytes.isEmpty()) {
            ++damagedSinceGood_;
            lose(at, QStringLiteral("is empty: what it held is lost"));
            return;
        }
        if (state == LineState::Damaged || (checked_ && state != LineState::Good)) {
            ++damagedSinceGood_;
            lose(at, last ? QStringLiteral("was cut short as the session ended: %1 is lost").arg(DamagedContent(bytes))
                          : QStringLiteral("is damaged: %1 is lost").arg(DamagedContent(bytes)));
            return;
        }
        if (checked_ && !inSequence(at, o)) return;
        event(at, o);
    }

private:
    void lose(int at, const QString& what) { *losses_ << QStringLiteral("line %1 %2").arg(at).arg(what); }

    // Whether the line's own number follows the last good one; missing
    // lines are told, a repeated or out-of-order one is skipped.
    bool inSequence(int at, const QJsonObject& o) {
        const std::optional<int> number = ReadInt(o.value(QStringLiteral("line")));
        if (!number || *number <= lastNumber_) {
            lose(at, number ? QStringLiteral("repeats line %1 of the journal: skipped").arg(*number)
                            : QStringLiteral("has no line number: skipped"));
            return false;
        }
        const int64_t missing = int64_t{*number} - lastNumber_ - 1 - damagedSinceGood_;
        if (missing > 0)
            lose(at, QStringLiteral("follows a gap: %1 line(s) of the journal before it are missing, and what they "
                                    "held (marks, take-backs, patterns shown) is lost")
                         .arg(missing));
        lastNumber_ = *number;
        damagedSinceGood_ = 0;
        return true;
    }

    void event(int at, const QJsonObject& o) {
        const QString event = o.value(QStringLiteral("event")).toString();
        if (event == QLatin1String("pattern")) {
            const PatternShown shown = ReadPattern(o);
            if (shown.pattern < 1 || shown.pattern > kPatternCount) {
                lose(at, QStringLiteral("names pattern %1, not one of the %2: skipped").arg(shown.pattern).arg(kPatternCount));
                return;
            }
            r_->patterns.push_back(shown);
            advance(shown.time);
        } else if (event == QLatin1String("mark")) {
            DefectMark m;
            QString problem;
            if (ReadMark(o, &m, &problem)) problem = MarkProblem(m, r_->mode);
            if (problem.isEmpty() && Find(m.number) != r_->marks.end())
                problem = QStringLiteral("mark #%1 is held already").arg(m.number);
            if (!problem.isEmpty()) {
                lose(at, QStringLiteral("is skipped: %1").arg(problem));
                return;
            }
            r_->marks.push_back(m);
            advance(m.time);
        } else if (event == QLatin1String("take-back")) {
            const std::optional<int> number = ReadInt(o.value(QStringLiteral("number")));
            const auto mark = number ? Find(*number) : r_->marks.end();
            if (mark == r_->marks.end()) {
                lose(at, number ? QStringLiteral("takes back mark #%1, which the journal does not hold: ignored").arg(*number)
                                : QStringLiteral("is a take-back naming no mark: ignored"));
                return;
            }
            r_->marks.erase(mark);
            advance(ReadTime(o.value(QStringLiteral("time"))));
        } else if (event == QLatin1String("start")) {
            lose(at, QStringLiteral("starts the session again: skipped"));
        } else {
            lose(at, QStringLiteral("is no journal event: skipped"));
        }
    }

    std::vector<DefectMark>::iterator Find(int number) {
        return std::find_if(r_->marks.begin(), r_->marks.end(), [number](const DefectMark& m) { return m.number == number; });
    }

    // The session lasted at least until `time`.
    void advance(const QDateTime& time) {
        if (time.isValid() && time > r_->ended) r_->ended = time;
    }

    DefectRecord* r_;
    QStringList* losses_;
    bool checked_;
    int lastNumber_ = 1;       // the start line is line 1
    int damagedSinceGood_ = 0; // damaged lines since the last good one
};

} // namespace

bool ReplayJournal(const QByteArray& journal, DefectRecord* r, QStringList* losses, QString* error) {
    QList<QByteArray> lines = journal.split('\n');
    // A journal that ends with its line feed splits into an empty last piece.
    const bool cut = !lines.isEmpty() && !lines.constLast().isEmpty();
    if (!cut) lines.removeLast();
    if (lines.isEmpty()) {
        *error = QStringLiteral("the journal is empty");
        return false;
    }
    QJsonObject o;
    const LineState state = ReadJournalLine(lines.constFirst(), &o);
    if (state == LineState::Damaged || o.value(QStringLiteral("event")).toString() != QLatin1String("start")) {
        *error = QStringLiteral("its first line, the session's facts, is damaged");
        return false;
    }
    QString problem;
    if (!ReadSessionFacts(o, r, &problem)) {
        *error = QStringLiteral("its first line is not the start of a session Vantrel writes: ") + problem;
        return false;
    }
    const bool checked = state == LineState::Good;
    if (checked && ReadInt(o.value(QStringLiteral("line"))) != 1) {
        *error = QStringLiteral("its first line is not line 1 of the journal");
        return false;
    }
    if (!checked)
        *losses << QStringLiteral("the journal has no line checks (an earlier version wrote it): a line damaged "
                                  "in its values cannot be told");
    r->ended = r->started;
    r->patterns.clear();
    r->marks.clear();
    Replay replay(r, losses, checked);
    for (qsizetype i = 1; i < lines.size(); ++i) replay.line(int(i + 1), lines[i], cut && i == lines.size() - 1);
    return true;
}
