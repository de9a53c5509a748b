#include "store/store_questions.h"

#include "defects/pixel_faults.h"
#include "store/store_schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <map>

namespace {

// A WHERE condition on the sessions (under `alias`) and its values, in order.
struct Condition {
    QString sql;
    QVariantList values;
};

Condition FilterCondition(const StoreFilter& f, const QString& alias) {
    QStringList parts{QStringLiteral("1 = 1")};
    QVariantList values;
    const QString a = alias.isEmpty() ? QString() : alias + QLatin1Char('.');
    if (!f.since.isEmpty()) {
        parts << a + QStringLiteral("day >= ?");
        values << f.since;
    }
    if (!f.until.isEmpty()) {
        parts << a + QStringLiteral("day <= ?");
        values << f.until;
    }
    if (!f.station.isEmpty()) {
        parts << a + QStringLiteral("station = ?");
        values << f.station;
    }
    if (!f.modelPrefix.isEmpty()) {
        // Compared character by character (both count characters, not
        // UTF-16 units): LIKE ignores case in SQLite but not in PostgreSQL,
        // and reads '%' and '_'.
        parts << QStringLiteral("substr(CASE WHEN %1model <> '' THEN %1model ELSE %1panel END, 1, ?) = ?").arg(a);
        values << qint64(f.modelPrefix.toUcs4().size()) << f.modelPrefix;
    }
    return {parts.join(QStringLiteral(" AND ")), values};
}

bool Run(QSqlQuery& q, const QString& sql, const QVariantList& values, QString* error) {
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        *error = SqlErrorText(q.lastError());
        return false;
    }
    for (const QVariant& v : values) q.addBindValue(v);
    if (q.exec()) return true;
    *error = SqlErrorText(q.lastError());
    return false;
}

int64_t Int(const QSqlQuery& q, int column) { return q.value(column).toLongLong(); }

// The sums of every session, per station and day, with the panels seen
// once: each is its panel's latest session, so it adds one panel and its
// class.
bool SummedFigures(RecordStore& store, const Condition& where, std::map<std::pair<QString, QString>, StatsFigures>* out,
                   QString* error) {
    QString reaching;
    for (int c = 1; c <= kClassCount; ++c)
        reaching += QStringLiteral(", sum(CASE WHEN repeated = 0 AND class_reached <= %1 THEN 1 ELSE 0 END)").arg(c);
    QSqlQuery q(store.database());
    if (!Run(q,
             QStringLiteral("SELECT station, day, count(*), sum(CASE WHEN repeated = 0 THEN 1 ELSE 0 END)%1, "
                            "sum(bright), sum(dark), sum(sub_pixel), sum(row_defects), sum(column_defects) "
                            "FROM sessions WHERE %2 GROUP BY station, day")
                 .arg(reaching, where.sql),
             where.values, error))
        return false;
    while (q.next()) {
        StatsFigures f;
        f.sessions = Int(q, 2);
        f.panels = Int(q, 3);
        for (int c = 0; c < kClassCount; ++c) f.reaching[static_cast<size_t>(c)] = Int(q, 4 + c);
        for (int t = 0; t < 5; ++t) f.faults[static_cast<size_t>(t)] = Int(q, 8 + t);
        (*out)[{q.value(0).toString(), q.value(1).toString()}] = f;
    }
    return true;
}

// The panels seen more than once, grouped by `group` (empty: all of them
// as one group): each counts once per group, with the class its latest
// session in the group reached.
bool RepeatedPanels(RecordStore& store, const Condition& where, const QString& group,
                    std::map<QString, StatsFigures>* out, QString* error) {
    const QString partition = group.isEmpty() ? QStringLiteral("panel") : group + QStringLiteral(", panel");
    QString reaching;
    for (int c = 1; c <= kClassCount; ++c)
        reaching += QStringLiteral(", sum(CASE WHEN latest = 1 AND class_reached <= %1 THEN 1 ELSE 0 END)").arg(c);
    const QString sql =
        QStringLiteral("SELECT %1, sum(CASE WHEN latest = 1 THEN 1 ELSE 0 END)%2 FROM ("
                       "SELECT %3 class_reached, row_number() OVER (PARTITION BY %4 ORDER BY started DESC, "
                       "session_uuid DESC) AS latest FROM sessions WHERE %5 AND repeated = 1) t%6")
            .arg(group.isEmpty() ? QStringLiteral("''") : QStringLiteral("g"), reaching,
                 group.isEmpty() ? QString() : group + QStringLiteral(" AS g,"), partition, where.sql,
                 group.isEmpty() ? QString() : QStringLiteral(" GROUP BY g"));
    QSqlQuery q(store.database());
    if (!Run(q, sql, where.values, error)) return false;
    while (q.next()) {
        StatsFigures f;
        f.panels = Int(q, 1);
        for (int c = 0; c < kClassCount; ++c) f.reaching[static_cast<size_t>(c)] = Int(q, 2 + c);
        if (f.panels > 0) (*out)[q.value(0).toString()] += f;
    }
    return true;
}

// Groups in the order of their keys' code points, whatever the
// database's collation.
std::vector<StatsGroup> Ordered(const std::map<QString, StatsFigures>& groups) {
    std::vector<StatsGroup> out;
    for (const auto& [key, figures] : groups) out.push_back({key, figures});
    std::sort(out.begin(), out.end(),
              [](const StatsGroup& a, const StatsGroup& b) { return a.key.toUcs4() < b.key.toUcs4(); });
    return out;
}

// The cell of a mark at `coordinate` (1..extent) among `cells`: the
// centre of the pixel, scaled; the same integer arithmetic in both
// databases.
QString CellOf(const QString& coordinate, const QString& extent) {
    return QStringLiteral("((2 * m.%1 - 1) * ?) / (2 * s.%2)").arg(coordinate, extent);
}

} // namespace

StatsFigures& StatsFigures::operator+=(const StatsFigures& o) {
    sessions += o.sessions;
    panels += o.panels;
    for (size_t c = 0; c < reaching.size(); ++c) reaching[c] += o.reaching[c];
    for (size_t t = 0; t < faults.size(); ++t) faults[t] += o.faults[t];
    return *this;
}

QString FilterText(const StoreFilter& f) {
    QStringList parts;
    if (!f.station.isEmpty()) parts << QStringLiteral("station '%1'").arg(f.station);
    if (!f.modelPrefix.isEmpty()) parts << QStringLiteral("model %1*").arg(f.modelPrefix);
    if (!f.since.isEmpty() && !f.until.isEmpty()) parts << QStringLiteral("from %1 to %2").arg(f.since, f.until);
    else if (!f.since.isEmpty()) parts << QStringLiteral("from %1").arg(f.since);
    else if (!f.until.isEmpty()) parts << QStringLiteral("until %1").arg(f.until);
    return parts.isEmpty() ? QStringLiteral("every session") : parts.join(QStringLiteral(", "));
}

bool PanelHistory(RecordStore& store, const QString& serial, const std::function<void(const HistoryRow&)>& row,
                  QString* error) {
    QSqlQuery q(store.database());
    // Found by the panel's index; the whole serial compared here (see
    // RecordStore::write).
    const QString sql = QStringLiteral("SELECT started, station, operator_name, model, bright, dark, sub_pixel, "
                                       "row_defects, column_defects, class_required, class_reached, pass, "
                                       "session_uuid, panel FROM sessions WHERE %1 = substr(?, 1, 200) "
                                       "ORDER BY started DESC, session_uuid DESC")
                            .arg(QLatin1String(kPanelKey));
    if (!Run(q, sql, {serial}, error)) return false;
    while (q.next()) {
        if (q.value(13).toString() != serial) continue;
        HistoryRow r;
        r.started = q.value(0).toString().left(19) + QLatin1Char('Z');
        r.station = q.value(1).toString();
        r.operatorName = q.value(2).toString();
        r.model = q.value(3).toString();
        for (int t = 0; t < 5; ++t) r.counts[static_cast<size_t>(t)] = Int(q, 4 + t);
        r.classRequired = static_cast<int>(Int(q, 9));
        if (!q.value(10).isNull()) r.classReached = static_cast<int>(Int(q, 10));
        r.pass = Int(q, 11) != 0;
        r.session = q.value(12).toString();
        row(r);
    }
    return true;
}

bool ComputeStats(RecordStore& store, const StoreFilter& filter, LineStats* stats, QString* error) {
    const Condition where = FilterCondition(filter, QString());
    std::map<std::pair<QString, QString>, StatsFigures> summed;
    std::map<QString, StatsFigures> all, stations, days;
    if (!SummedFigures(store, where, &summed, error) || !RepeatedPanels(store, where, QString(), &all, error) ||
        !RepeatedPanels(store, where, QStringLiteral("station"), &stations, error) ||
        !RepeatedPanels(store, where, QStringLiteral("day"), &days, error))
        return false;
    for (const auto& [key, figures] : summed) {
        all[QString()] += figures;
        stations[key.first] += figures;
        days[key.second] += figures;
    }
    *stats = {};
    if (!all.empty()) stats->all = all.begin()->second;
    stats->byStation = Ordered(stations);
    stats->byDay = Ordered(days);
    return true;
}

bool ComputeHeatmap(RecordStore& store, const StoreFilter& filter, int width, HeatmapFigures* h, QString* error) {
    *h = {};
    const Condition where = FilterCondition(filter, QStringLiteral("s"));
    QSqlQuery q(store.database());
    // The modes with their sessions, and the panels seen once.
    if (!Run(q,
             QStringLiteral("SELECT s.width, s.height, count(*), sum(CASE WHEN s.repeated = 0 THEN 1 ELSE 0 END) "
                            "FROM sessions s WHERE %1 GROUP BY s.width, s.height")
                 .arg(where.sql),
             where.values, error))
        return false;
    int64_t most = 0;
    while (q.next()) {
        const QSize mode(static_cast<int>(Int(q, 0)), static_cast<int>(Int(q, 1)));
        const int64_t n = Int(q, 2);
        h->sessions += n;
        h->panels += Int(q, 3);
        // The most common mode; of two as common, the larger.
        const auto larger = [](QSize a, QSize b) {
            return a.width() != b.width() ? a.width() > b.width() : a.height() > b.height();
        };
        if (!mode.isEmpty() && (n > most || (n == most && larger(mode, h->mode)))) {
            most = n;
            h->mode = mode;
        }
    }
    q.finish();
    if (!Run(q,
             QStringLiteral("SELECT count(DISTINCT s.panel) FROM sessions s WHERE %1 AND s.repeated = 1").arg(where.sql),
             where.values, error) ||
        !q.next())
        return false;
    h->panels += Int(q, 0);
    q.finish();
    if (h->mode.isEmpty()) return true;

    const int64_t tall = (int64_t(width) * h->mode.height() + h->mode.width() / 2) / h->mode.width();
    h->cells = QSize(width, static_cast<int>(std::clamp<int64_t>(tall, 1, 16 * int64_t(width))));
    h->density.assign(static_cast<size_t>(h->cells.width()) * static_cast<size_t>(h->cells.height()), 0);
    const QString onPanel = QStringLiteral(" AND m.x BETWEEN 1 AND s.width AND m.y BETWEEN 1 AND s.height");
    const QString from = QStringLiteral(" FROM sessions s JOIN marks m ON m.session_id = s.id WHERE ");

    // The point faults' cells, computed by the database and counted here
    // as they stream by: SQLite's GROUP BY would sort every mark first,
    // which takes longer than reading them (docs/performance.md).
    QVariantList values{h->cells.height(), h->cells.width(), h->cells.width()};
    values += where.values;
    if (!Run(q,
             QStringLiteral("SELECT %1 * ? + %2").arg(CellOf(QStringLiteral("y"), QStringLiteral("height")),
                                                      CellOf(QStringLiteral("x"), QStringLiteral("width"))) +
                 from + where.sql + QStringLiteral(" AND m.type <= 3") + onPanel,
             values, error))
        return false;
    const auto cells = static_cast<int64_t>(h->density.size());
    while (q.next()) {
        const int64_t cell = Int(q, 0);
        if (cell < 0 || cell >= cells) continue;
        ++h->density[static_cast<size_t>(cell)];
        ++h->pointFaults;
    }
    q.finish();

    values = {h->cells.height(), h->cells.width()};
    values += where.values;
    if (!Run(q,
             QStringLiteral("SELECT m.type, CASE WHEN m.type = 4 THEN %1 ELSE %2 END, count(*)")
                     .arg(CellOf(QStringLiteral("y"), QStringLiteral("height")),
                          CellOf(QStringLiteral("x"), QStringLiteral("width"))) +
                 from + where.sql + QStringLiteral(" AND m.type >= 4 AND m.type <= 5") + onPanel +
                 QStringLiteral(" GROUP BY 1, 2 ORDER BY 1, 2"),
             values, error))
        return false;
    while (q.next()) {
        HeatmapFigures::Line line;
        line.row = Int(q, 0) == static_cast<int>(FaultType::Row);
        line.position = static_cast<int>(Int(q, 1));
        line.count = Int(q, 2);
        h->lines.push_back(line);
        h->lineDefects += line.count;
    }
    return true;
}
