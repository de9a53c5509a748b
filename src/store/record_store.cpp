#include "store/record_store.h"

#include "platform/file_system.h"
#include "store/store_schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <vector>

namespace {

QVariant Int(qint64 v) { return QVariant(v); }
QVariant NullInt() { return QVariant(QMetaType::fromType<qint64>()); }

// The first text of the record that holds a NUL character, by name.
QString TextWithNul(const DefectRecord& r) {
    const std::pair<const char*, const QString*> texts[] = {
        {"panel", &r.panel},
        {"model", &r.model},
        {"operator", &r.operatorName},
        {"station", &r.station},
        {"screen name", &r.screen.name},
        {"screen manufacturer", &r.screen.manufacturer},
        {"screen model", &r.screen.model},
        {"screen serial number", &r.screen.serialNumber},
        {"dwell", &r.dwellSeconds},
    };
    for (const auto& [name, text] : texts)
        if (text->contains(QChar(0))) return QString::fromLatin1(name);
    for (const PatternShown& p : r.patterns)
        if (p.name.contains(QChar(0))) return QStringLiteral("name of pattern %1").arg(p.pattern);
    for (const DefectMark& m : r.marks)
        if (m.patternName.contains(QChar(0))) return QStringLiteral("pattern name of mark %1").arg(m.number);
    return {};
}

QString PatternOrder(const std::vector<int16_t>& sequence) {
    QStringList numbers;
    for (const int16_t n : sequence) numbers << QString::number(n);
    return numbers.join(QLatin1Char(','));
}

// Binds the values in order and runs the prepared query. Qt's drivers
// bind a null QString as SQL's NULL: an empty text stays an empty text.
bool Run(QSqlQuery& q, std::initializer_list<QVariant> values, QString* error) {
    for (const QVariant& v : values) {
        if (v.metaType() == QMetaType::fromType<QString>() && v.toString().isEmpty()) q.addBindValue(QStringLiteral(""));
        else q.addBindValue(v);
    }
    if (q.exec()) return true;
    *error = SqlErrorText(q.lastError());
    return false;
}

} // namespace

QString StoreTime(const QDateTime& time) { return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")); }

QString RecordStoreProblem(const DefectRecord& r) {
    if (const QString field = TextWithNul(r); !field.isEmpty())
        return QStringLiteral("its %1 contains a NUL character, which no store keeps").arg(field);
    if (!r.started.isValid()) return QStringLiteral("it has no valid start time");
    return {};
}

RecordStore::RecordStore() : connection_(QStringLiteral("vantrel-store-") + QUuid::createUuid().toString(QUuid::Id128)) {}

RecordStore::~RecordStore() {
    if (db_.isValid()) db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

bool RecordStore::open(const StoreLocation& location, Access access, QString* error) {
    location_ = location;
    const auto fail = [this, error](const QString& reason) {
        *error = QStringLiteral("cannot open the store %1: %2").arg(location_.url, reason);
        return false;
    };
    const bool pg = location.kind == StoreLocation::Kind::PostgreSQL;
    if (!pg) {
        const QString dir = QFileInfo(location.path).absolutePath();
        if (const QString network = NetworkFileSystemName(location.path); !network.isEmpty())
            return fail(QStringLiteral("it lies on a network file system (%1), where SQLite's locks do not hold; "
                                       "keep it on a local disk, or use a PostgreSQL store for a line")
                            .arg(network));
        if (access == Access::Read && !QFileInfo::exists(location.path))
            return fail(QStringLiteral("there is no such file (nothing has been recorded into it yet)"));
        if (location.station && access == Access::Write && !QDir().mkpath(dir))
            return fail(QStringLiteral("cannot create the directory %1").arg(dir));
        if (!QFileInfo(dir).isDir()) return fail(QStringLiteral("the directory %1 is not there").arg(dir));
    }
    db_ = QSqlDatabase::addDatabase(pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), connection_);
    if (!db_.isValid())
        return fail(QStringLiteral("Qt's %1 driver is not installed (Debian's package %2)")
                        .arg(pg ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"),
                             pg ? QStringLiteral("libqt6sql6-psql") : QStringLiteral("libqt6sql6-sqlite")));
    if (pg) {
        db_.setConnectOptions(location.conninfo);
    } else {
        db_.setDatabaseName(location.path);
        db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db_.open()) return fail(SqlErrorText(db_.lastError()));
    QString reason;
    if (!pg) {
        // WAL: readers never wait for the one writer; every commit is on
        // the disk before it returns.
        for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"})
            if (!exec(QLatin1String(pragma), &reason)) return fail(reason);
    } else if (!exec(QStringLiteral("SET client_min_messages TO WARNING"), &reason)) {
        return fail(reason);
    }
    if (!MigrateSchema(db_, location.kind, &reason)) return fail(reason);
    open_ = true;
    return true;
}

bool RecordStore::exec(const QString& statement, QString* error) {
    QSqlQuery q(db_);
    if (q.exec(statement)) return true;
    *error = SqlErrorText(q.lastError());
    return false;
}

bool RecordStore::begin(QString* error) {
    return exec(location_.kind == StoreLocation::Kind::PostgreSQL ? QStringLiteral("BEGIN")
                                                                  : QStringLiteral("BEGIN IMMEDIATE"),
                error);
}

bool RecordStore::commit(QString* error) { return exec(QStringLiteral("COMMIT"), error); }

void RecordStore::rollback() {
    QString ignored;
    exec(QStringLiteral("ROLLBACK"), &ignored);
}

bool RecordStore::write(const DefectRecord& r, Outcome* outcome, QString* error) {
    const auto fail = [this, error, &r](const QString& reason) {
        *error = QStringLiteral("cannot write the session %1 of panel %2 into the store %3: %4")
                     .arg(SessionIdentity(r).toString(QUuid::WithoutBraces), r.panel, location_.url, reason);
        return false;
    };
    if (const QString problem = RecordStoreProblem(r); !problem.isEmpty()) return fail(problem);
    const Verdict v = r.verdict();
    int64_t rows = 0, columns = 0;
    for (const DefectMark& m : r.marks) {
        rows += m.type == FaultType::Row;
        columns += m.type == FaultType::Column;
    }
    QString reason;
    if (!begin(&reason)) return fail(reason);
    const auto failInside = [this, &fail](const QString& reason) {
        rollback();
        return fail(reason);
    };
    // The panel's other sessions: the questions count a panel seen once
    // without looking for its latest session. Two PostgreSQL stations
    // writing one panel at once take turns (SQLite has one writer anyway).
    const bool pg = location_.kind == StoreLocation::Kind::PostgreSQL;
    QSqlQuery others(db_);
    if (pg) {
        others.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(1450204237, hashtext(?))"));
        if (!Run(others, {r.panel}, &reason)) return failInside(reason);
    }
    // Found by the panel's index; the whole serial compared here (SQLite
    // would put a serial compared in SQL into the index's expression and
    // read every session instead).
    others.prepare(QStringLiteral("SELECT id, repeated, panel FROM sessions WHERE %1 = substr(?, 1, 200)")
                       .arg(QLatin1String(kPanelKey)));
    if (!Run(others, {r.panel}, &reason)) return failInside(reason);
    std::vector<qint64> seenOnce;
    bool repeated = false;
    while (others.next()) {
        if (others.value(2).toString() != r.panel) continue;
        repeated = true;
        if (others.value(1).toLongLong() == 0) seenOnce.push_back(others.value(0).toLongLong());
    }
    others.finish();
    QSqlQuery session(db_);
    session.prepare(QStringLiteral(
        "INSERT INTO sessions (session_uuid, panel, model, operator_name, station, program, started, ended, day, "
        "recovered, screen_name, screen_manufacturer, screen_model, screen_serial, width, height, one_to_one, "
        "pattern_order, dwell, class_required, class_reached, pass, bright, dark, sub_pixel, row_defects, "
        "column_defects, clusters12, clusters3, repeated) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (session_uuid) DO NOTHING RETURNING id"));
    const QString started = StoreTime(r.started);
    if (!Run(session,
             {SessionIdentity(r).toString(QUuid::WithoutBraces), r.panel, r.model, r.operatorName, r.station,
              QStringLiteral("Vantrel " VANTREL_VERSION), started,
              StoreTime(r.ended.isValid() ? r.ended : r.started), started.left(10), Int(r.recovered), r.screen.name,
              r.screen.manufacturer, r.screen.model, r.screen.serialNumber, Int(r.mode.width()),
              Int(r.mode.height()), r.oneToOne ? Int(*r.oneToOne) : NullInt(), PatternOrder(r.sequence),
              r.dwellSeconds, Int(r.faultClass), v.classReached ? Int(*v.classReached) : NullInt(), Int(v.pass),
              Int(v.counts.bright), Int(v.counts.dark), Int(v.counts.subPixel), Int(rows), Int(columns),
              Int(v.counts.clusters12), Int(v.counts.clusters3), Int(repeated)},
             &reason))
        return failInside(reason);
    if (!session.next()) {
        // Its identity is there already: written before, by this station
        // or another, or delivered from an outbox.
        rollback();
        *outcome = Outcome::AlreadyThere;
        return true;
    }
    const qint64 id = session.value(0).toLongLong();
    session.finish();
    others.prepare(QStringLiteral("UPDATE sessions SET repeated = 1 WHERE id = ?"));
    for (const qint64 other : seenOnce)
        if (!Run(others, {Int(other)}, &reason)) return failInside(reason);

    QSqlQuery mark(db_);
    mark.prepare(QStringLiteral("INSERT INTO marks (session_id, seq, number, type, x, y, pattern, pattern_name, "
                                "marked) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    qint64 seq = 0;
    for (const DefectMark& m : r.marks)
        if (!Run(mark,
                 {Int(id), Int(seq++), Int(m.number), Int(static_cast<int>(m.type)), Int(m.x), Int(m.y),
                  Int(m.pattern), m.patternName, StoreTime(m.time)},
                 &reason))
            return failInside(reason);
    QSqlQuery shown(db_);
    shown.prepare(
        QStringLiteral("INSERT INTO patterns_shown (session_id, seq, pattern, name, shown) VALUES (?, ?, ?, ?, ?)"));
    seq = 0;
    for (const PatternShown& p : r.patterns)
        if (!Run(shown, {Int(id), Int(seq++), Int(p.pattern), p.name, StoreTime(p.time)}, &reason))
            return failInside(reason);
    if (!commit(&reason)) return failInside(reason);
    *outcome = Outcome::Added;
    return true;
}
