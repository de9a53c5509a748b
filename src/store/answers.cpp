#include "store/answers.h"

#include "defects/pixel_faults.h"
#include "platform/printable_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>

namespace {

QString Number(int64_t n) { return QString::number(n); }

// The fraction of panels reaching class c (1..4), or none without panels.
std::optional<double> PassRate(const StatsFigures& f, int c) {
    if (f.panels == 0) return std::nullopt;
    return static_cast<double>(f.reaching[static_cast<size_t>(c - 1)]) / static_cast<double>(f.panels);
}

QJsonObject FiguresJson(const StatsFigures& f) {
    QJsonObject rates, faults;
    for (int c = 1; c <= kClassCount; ++c) {
        const std::optional<double> rate = PassRate(f, c);
        rates.insert(QLatin1String(ClassName(c)), rate ? QJsonValue(*rate) : QJsonValue(QJsonValue::Null));
    }
    for (size_t t = 0; t < kFaultKeys.size(); ++t)
        faults.insert(QLatin1String(kFaultKeys[t]), static_cast<qint64>(f.faults[t]));
    return {{QStringLiteral("sessions"), static_cast<qint64>(f.sessions)},
            {QStringLiteral("panels"), static_cast<qint64>(f.panels)},
            {QStringLiteral("passRate"), rates},
            {QStringLiteral("faults"), faults}};
}

QJsonArray GroupsJson(const std::vector<StatsGroup>& groups, const QString& key) {
    QJsonArray array;
    for (const StatsGroup& g : groups) {
        QJsonObject o = FiguresJson(g.figures);
        o.insert(key, g.key);
        array.append(o);
    }
    return array;
}

// The figures' cells after the scope's: sessions, panels, the pass rates
// (a percentage in text, a fraction in CSV) and the faults.
QStringList FiguresCells(const StatsFigures& f, AnswerFormat format) {
    QStringList cells{Number(f.sessions), Number(f.panels)};
    for (int c = 1; c <= kClassCount; ++c) {
        const std::optional<double> rate = PassRate(f, c);
        if (!rate) cells << (format == AnswerFormat::Text ? QStringLiteral("-") : QString());
        else if (format == AnswerFormat::Text) cells << QString::number(*rate * 100.0, 'f', 1) + QLatin1Char('%');
        else cells << QString::number(*rate, 'g', QLocale::FloatingPointShortest);
    }
    for (const int64_t n : f.faults) cells << Number(n);
    return cells;
}

QStringList Json(const QJsonObject& o) {
    return {QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)).trimmed()};
}

} // namespace

bool ParseAnswerFormat(const QString& text, AnswerFormat* format) {
    if (text == QLatin1String("text")) *format = AnswerFormat::Text;
    else if (text == QLatin1String("csv")) *format = AnswerFormat::Csv;
    else if (text == QLatin1String("json")) *format = AnswerFormat::Json;
    else return false;
    return true;
}

QString ClassText(const std::optional<int>& c) { return c ? QString::fromLatin1(ClassName(*c)) : QStringLiteral("-"); }

QStringList TextTable(const std::vector<QStringList>& rows, const std::vector<int>& rightAligned) {
    std::vector<QStringList> cells;
    std::vector<qsizetype> widths;
    for (const QStringList& row : rows) {
        QStringList printable;
        for (const QString& cell : row) printable << PrintableText(cell);
        for (qsizetype i = 0; i < printable.size(); ++i) {
            if (static_cast<size_t>(i) >= widths.size()) widths.push_back(0);
            widths[static_cast<size_t>(i)] = std::max(widths[static_cast<size_t>(i)], printable[i].size());
        }
        cells.push_back(printable);
    }
    QStringList lines;
    for (const QStringList& row : cells) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            const qsizetype width = widths[static_cast<size_t>(i)];
            const bool right = std::find(rightAligned.begin(), rightAligned.end(), int(i)) != rightAligned.end();
            if (i > 0) line += QLatin1String("  ");
            line += right ? row[i].rightJustified(width) : (i + 1 < row.size() ? row[i].leftJustified(width) : row[i]);
        }
        lines << line;
    }
    return lines;
}

QString CsvLine(const QStringList& cells) {
    QStringList out;
    for (const QString& cell : cells) {
        if (!cell.contains(QLatin1Char(',')) && !cell.contains(QLatin1Char('"')) && !cell.contains(QLatin1Char('\n')) &&
            !cell.contains(QLatin1Char('\r'))) {
            out << cell;
            continue;
        }
        QString quoted = cell;
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        out << QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return out.join(QLatin1Char(','));
}

QStringList HistoryAnswer(const QString& serial, const std::vector<HistoryRow>& rows, AnswerFormat format) {
    if (format == AnswerFormat::Json) {
        QJsonArray sessions;
        for (const HistoryRow& r : rows) {
            QJsonObject counts;
            for (size_t t = 0; t < kFaultKeys.size(); ++t)
                counts.insert(QLatin1String(kFaultKeys[t]), static_cast<qint64>(r.counts[t]));
            sessions.append(QJsonObject{
                {QStringLiteral("started"), r.started},
                {QStringLiteral("station"), r.station},
                {QStringLiteral("operator"), r.operatorName},
                {QStringLiteral("model"), r.model},
                {QStringLiteral("counts"), counts},
                {QStringLiteral("class"), ClassText(r.classRequired)},
                {QStringLiteral("classReached"),
                 r.classReached ? QJsonValue(ClassText(r.classReached)) : QJsonValue(QJsonValue::Null)},
                {QStringLiteral("verdict"), r.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL")},
                {QStringLiteral("session"), r.session}});
        }
        return Json({{QStringLiteral("panel"), serial}, {QStringLiteral("sessions"), sessions}});
    }
    std::vector<QStringList> table{{QStringLiteral("started"), QStringLiteral("station"), QStringLiteral("operator"),
                                    QStringLiteral("model"), QStringLiteral("bright"), QStringLiteral("dark"),
                                    QStringLiteral("sub-pixel"), QStringLiteral("row"), QStringLiteral("column"),
                                    QStringLiteral("class"), QStringLiteral("reached"), QStringLiteral("verdict"),
                                    QStringLiteral("session")}};
    for (const HistoryRow& r : rows) {
        QStringList cells{r.started, r.station, r.operatorName, r.model};
        for (const int64_t n : r.counts) cells << Number(n);
        cells << ClassText(r.classRequired) << ClassText(r.classReached)
              << (r.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL")) << r.session;
        table.push_back(cells);
    }
    if (format == AnswerFormat::Text) return TextTable(table, {4, 5, 6, 7, 8});
    QStringList lines;
    for (const QStringList& row : table) lines << CsvLine(row);
    return lines;
}

QStringList StatsAnswer(const LineStats& s, AnswerFormat format) {
    if (format == AnswerFormat::Json) {
        QJsonObject o = FiguresJson(s.all);
        o.insert(QStringLiteral("byStation"), GroupsJson(s.byStation, QStringLiteral("station")));
        o.insert(QStringLiteral("byDay"), GroupsJson(s.byDay, QStringLiteral("day")));
        return Json(o);
    }
    const bool text = format == AnswerFormat::Text;
    QStringList header{QStringLiteral("scope"), QStringLiteral("key"), QStringLiteral("sessions"),
                       QStringLiteral("panels")};
    for (int c = 1; c <= kClassCount; ++c) header << QStringLiteral("pass %1").arg(ClassName(c));
    for (const char* key : kFaultKeys) header << QLatin1String(key);
    std::vector<QStringList> table{header};
    table.push_back(QStringList{QStringLiteral("all"), QString()} + FiguresCells(s.all, format));
    for (const StatsGroup& g : s.byStation)
        table.push_back(QStringList{QStringLiteral("station"), g.key} + FiguresCells(g.figures, format));
    for (const StatsGroup& g : s.byDay)
        table.push_back(QStringList{QStringLiteral("day"), g.key} + FiguresCells(g.figures, format));
    if (text) return TextTable(table, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    QStringList lines;
    for (const QStringList& row : table) lines << CsvLine(row);
    return lines;
}

QStringList HeatmapAnswer(const QString& file, const HeatmapFigures& f, const QString& filter, AnswerFormat format) {
    const QString mode = QStringLiteral("%1x%2").arg(f.mode.width()).arg(f.mode.height());
    switch (format) {
    case AnswerFormat::Json:
        return Json({{QStringLiteral("file"), file},
                     {QStringLiteral("filter"), filter},
                     {QStringLiteral("panels"), static_cast<qint64>(f.panels)},
                     {QStringLiteral("sessions"), static_cast<qint64>(f.sessions)},
                     {QStringLiteral("pointFaults"), static_cast<qint64>(f.pointFaults)},
                     {QStringLiteral("lineDefects"), static_cast<qint64>(f.lineDefects)},
                     {QStringLiteral("mode"), mode}});
    case AnswerFormat::Csv:
        return {CsvLine({QStringLiteral("file"), QStringLiteral("filter"), QStringLiteral("panels"),
                         QStringLiteral("sessions"), QStringLiteral("pointFaults"), QStringLiteral("lineDefects"),
                         QStringLiteral("mode")}),
                CsvLine({file, filter, Number(f.panels), Number(f.sessions), Number(f.pointFaults),
                         Number(f.lineDefects), mode})};
    case AnswerFormat::Text: break;
    }
    return {PrintableText(QStringLiteral("%1: %2 panels, %3 sessions, %4 point faults, %5 line defects on a %6 panel "
                                         "(%7)")
                              .arg(file, Number(f.panels), Number(f.sessions), Number(f.pointFaults),
                                   Number(f.lineDefects), mode, filter))};
}
