#include "defects/defect_record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>
#include <QTimeZone>

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

bool ReadMark(const QJsonObject& o, DefectMark* m) {
    const std::optional<FaultType> type = FaultTypeFromKey(o.value(QStringLiteral("type")).toString());
    if (!type || !o.value(QStringLiteral("x")).isDouble() || !o.value(QStringLiteral("y")).isDouble()) return false;
    m->number = o.value(QStringLiteral("number")).toInt();
    m->type = *type;
    m->x = o.value(QStringLiteral("x")).toInt();
    m->y = o.value(QStringLiteral("y")).toInt();
    m->pattern = o.value(QStringLiteral("pattern")).toInt();
    m->patternName = o.value(QStringLiteral("patternName")).toString();
    m->time = ReadTime(o.value(QStringLiteral("time")));
    return true;
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
            {QStringLiteral("sequence"), r.sequence.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(sequence)},
            {QStringLiteral("dwellSeconds"), r.dwellSeconds}};
}

bool ReadSessionFacts(const QJsonObject& o, DefectRecord* r, QString* error) {
    const QString schema = o.value(QStringLiteral("schema")).toString();
    if (schema != QLatin1String(kRecordSchema) && schema != QLatin1String(kRecordSchemaV1)) {
        *error = QStringLiteral("not a Vantrel inspection record (schema %1 or %2 expected)")
                     .arg(kRecordSchema, kRecordSchemaV1);
        return false;
    }
    r->session = QUuid::fromString(o.value(QStringLiteral("session")).toString());
    r->panel = o.value(QStringLiteral("panel")).toString();
    r->model = o.value(QStringLiteral("model")).toString();
    r->operatorName = o.value(QStringLiteral("operator")).toString();
    r->station = o.value(QStringLiteral("station")).toString();
    r->faultClass = ParseClassName(o.value(QStringLiteral("class")).toString().toLatin1().constData());
    r->started = ReadTime(o.value(QStringLiteral("started")));
    const QJsonObject screen = o.value(QStringLiteral("screen")).toObject();
    r->screen = {screen.value(QStringLiteral("name")).toString(),
                 screen.value(QStringLiteral("manufacturer")).toString(),
                 screen.value(QStringLiteral("model")).toString(),
                 screen.value(QStringLiteral("serialNumber")).toString()};
    const QJsonObject mode = o.value(QStringLiteral("mode")).toObject();
    r->mode = QSize(mode.value(QStringLiteral("width")).toInt(), mode.value(QStringLiteral("height")).toInt());
    const QJsonValue oneToOne = o.value(QStringLiteral("oneToOne"));
    r->oneToOne = oneToOne.isBool() ? std::optional<bool>(oneToOne.toBool()) : std::nullopt;
    r->sequence.clear();
    for (const QJsonValue& n : o.value(QStringLiteral("sequence")).toArray())
        r->sequence.push_back(static_cast<int16_t>(n.toInt()));
    r->dwellSeconds = o.value(QStringLiteral("dwellSeconds")).toString();
    if (r->panel.isEmpty() || r->faultClass == 0 || r->mode.isEmpty()) {
        *error = QStringLiteral("the record lacks its panel, class or mode");
        return false;
    }
    return true;
}

QByteArray Line(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'; }

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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
    if (!ReadSessionFacts(o, r, error)) return false;
    r->ended = ReadTime(o.value(QStringLiteral("ended")));
    r->recovered = o.value(QStringLiteral("recovered")).toBool();
    r->patterns.clear();
    for (const QJsonValue& p : o.value(QStringLiteral("patternsShown")).toArray())
        r->patterns.push_back(ReadPattern(p.toObject()));
    r->marks.clear();
    for (const QJsonValue& m : o.value(QStringLiteral("marks")).toArray()) {
        DefectMark mark;
        if (!ReadMark(m.toObject(), &mark)) {
            *error = QStringLiteral("mark %1 is unreadable").arg(r->marks.size() + 1);
            return false;
        }
        r->marks.push_back(mark);
    }
    return true;
}

QByteArray MarksCsv(const DefectRecord& r) {
    QStringList lines{QStringLiteral("number,code,type,x,y,pattern,pattern name,time")};
    for (const DefectMark& m : r.marks)
        lines << QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8")
                     .arg(m.number)
                     .arg(static_cast<int>(m.type))
                     .arg(FaultTypeText(m.type))
                     .arg(m.x)
                     .arg(m.y)
                     .arg(m.pattern)
                     .arg(CsvField(m.patternName), Time(m.time));
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

QByteArray JournalStartLine(const DefectRecord& record) {
    QJsonObject o = SessionFacts(record);
    o.insert(QStringLiteral("event"), QStringLiteral("start"));
    return Line(o);
}

QByteArray JournalPatternLine(const PatternShown& shown) {
    QJsonObject o = PatternObject(shown);
    o.insert(QStringLiteral("event"), QStringLiteral("pattern"));
    return Line(o);
}

QByteArray JournalMarkLine(const DefectMark& mark) {
    QJsonObject o = MarkObject(mark);
    o.insert(QStringLiteral("event"), QStringLiteral("mark"));
    return Line(o);
}

QByteArray JournalTakeBackLine(int number, const QDateTime& time) {
    return Line({{QStringLiteral("event"), QStringLiteral("take-back")},
                 {QStringLiteral("number"), number},
                 {QStringLiteral("time"), Time(time)}});
}

bool ReplayJournal(const QByteArray& journal, DefectRecord* r, QString* error) {
    const QList<QByteArray> lines = journal.split('\n');
    bool started = false;
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty()) continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (!doc.isObject()) continue; // a line cut short by the end of the process
        const QJsonObject o = doc.object();
        const QString event = o.value(QStringLiteral("event")).toString();
        if (!started) {
            if (event != QLatin1String("start") || !ReadSessionFacts(o, r, error)) {
                if (error->isEmpty()) *error = QStringLiteral("the journal does not begin with its session");
                return false;
            }
            r->ended = r->started;
            started = true;
            continue;
        }
        if (event == QLatin1String("pattern")) {
            r->patterns.push_back(ReadPattern(o));
            r->ended = r->patterns.back().time;
        } else if (event == QLatin1String("mark")) {
            DefectMark m;
            if (ReadMark(o, &m)) {
                r->marks.push_back(m);
                r->ended = m.time;
            }
        } else if (event == QLatin1String("take-back")) {
            if (!r->marks.empty()) r->marks.pop_back();
            r->ended = ReadTime(o.value(QStringLiteral("time")));
        }
    }
    if (!started && error->isEmpty()) *error = QStringLiteral("the journal is empty");
    return started;
}
