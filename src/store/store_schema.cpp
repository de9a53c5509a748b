#include "store/store_schema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr const char* kOurTables[] = {"sessions", "marks", "patterns_shown", "outbox"};

bool Exec(QSqlDatabase& db, const QString& statement, QString* error) {
    QSqlQuery q(db);
    if (q.exec(statement)) return true;
    *error = SqlErrorText(q.lastError());
    return false;
}

} // namespace

QString SqlErrorText(const QSqlError& e) {
    QString text = e.databaseText().trimmed();
    if (text.isEmpty()) text = e.driverText().trimmed();
    if (text.isEmpty()) text = QStringLiteral("the database driver gave no reason");
    // libpq's messages run over several lines; one line each.
    return text.simplified();
}

QStringList SchemaStep(int version, StoreLocation::Kind kind) {
    const bool pg = kind == StoreLocation::Kind::PostgreSQL;
    // Whole numbers are 64-bit in both databases; times are UTC text,
    // yyyy-MM-ddTHH:mm:ss.zzzZ, which sorts as the times do.
    const QString id = pg ? QStringLiteral("id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                          : QStringLiteral("id INTEGER PRIMARY KEY");
    // In SQLite the rows of one session's marks lie together.
    const QString clustered = pg ? QString() : QStringLiteral(" WITHOUT ROWID");
    switch (version) {
    case 1:
        return {
            QStringLiteral("CREATE TABLE sessions ("
                           "%1, session_uuid TEXT NOT NULL UNIQUE, panel TEXT NOT NULL, model TEXT NOT NULL, "
                           "operator_name TEXT NOT NULL, station TEXT NOT NULL, program TEXT NOT NULL, "
                           "started TEXT NOT NULL, ended TEXT NOT NULL, day TEXT NOT NULL, recovered BIGINT NOT NULL, "
                           "screen_name TEXT NOT NULL, screen_manufacturer TEXT NOT NULL, "
                           "screen_model TEXT NOT NULL, screen_serial TEXT NOT NULL, "
                           "width BIGINT NOT NULL, height BIGINT NOT NULL, one_to_one BIGINT, "
                           "pattern_order TEXT NOT NULL, dwell TEXT NOT NULL, "
                           "class_required BIGINT NOT NULL, class_reached BIGINT, pass BIGINT NOT NULL, "
                           "bright BIGINT NOT NULL, dark BIGINT NOT NULL, sub_pixel BIGINT NOT NULL, "
                           "row_defects BIGINT NOT NULL, column_defects BIGINT NOT NULL, "
                           "clusters12 BIGINT NOT NULL, clusters3 BIGINT NOT NULL, repeated BIGINT NOT NULL)")
                .arg(id),
            QStringLiteral("CREATE TABLE marks (session_id BIGINT NOT NULL REFERENCES sessions (id), "
                           "seq BIGINT NOT NULL, number BIGINT NOT NULL, type BIGINT NOT NULL, "
                           "x BIGINT NOT NULL, y BIGINT NOT NULL, pattern BIGINT NOT NULL, "
                           "pattern_name TEXT NOT NULL, marked TEXT NOT NULL, PRIMARY KEY (session_id, seq))%1")
                .arg(clustered),
            QStringLiteral("CREATE TABLE patterns_shown (session_id BIGINT NOT NULL REFERENCES sessions (id), "
                           "seq BIGINT NOT NULL, pattern BIGINT NOT NULL, name TEXT NOT NULL, "
                           "shown TEXT NOT NULL, PRIMARY KEY (session_id, seq))%1")
                .arg(clustered),
        };
    case 2: {
        // A PostgreSQL index entry holds at most about 2.7 kB, and a serial
        // read from a file may be longer: the panel's index holds its first
        // 200 characters (kPanelKey), the query compares the whole serial too.
        QStringList step{
            QStringLiteral("CREATE INDEX sessions_by_panel ON sessions ((substr(panel, 1, 200)), started)"),
            QStringLiteral("CREATE INDEX sessions_by_day ON sessions (day)"),
        };
        // SQLite sorts to group and has no hash aggregates: --stats and
        // --heatmap read what they sum from an index in the order they
        // group by, and the panels seen more than once in the order their
        // latest session is looked for in.
        if (!pg)
            step << QStringLiteral("CREATE INDEX sessions_figures ON sessions (station, day, repeated, class_reached, "
                                   "bright, dark, sub_pixel, row_defects, column_defects, width, height)")
                 << QStringLiteral("CREATE INDEX sessions_repeated ON sessions (panel, started, session_uuid, "
                                   "class_reached, station, day) WHERE repeated = 1");
        return step;
    }
    case 3:
        return {
            QStringLiteral("CREATE TABLE outbox (url TEXT NOT NULL, session_uuid TEXT NOT NULL, "
                           "record TEXT NOT NULL, kept TEXT NOT NULL, reason TEXT NOT NULL, "
                           "PRIMARY KEY (url, session_uuid))"),
        };
    default: return {};
    }
}

bool ReadSchemaVersion(QSqlDatabase& db, int* version, QString* error) {
    *version = 0;
    if (!db.tables().contains(QLatin1String("vantrel_schema"))) return true;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT max(version) FROM vantrel_schema"))) {
        *error = SqlErrorText(q.lastError());
        return false;
    }
    if (q.next()) *version = q.value(0).toInt();
    return true;
}

bool MigrateSchema(QSqlDatabase& db, StoreLocation::Kind kind, QString* error, int target) {
    const bool pg = kind == StoreLocation::Kind::PostgreSQL;
    int version = 0;
    if (!ReadSchemaVersion(db, &version, error)) return false;
    if (version == target) return true;

    // One migration at a time: SQLite's write lock at once, PostgreSQL's
    // lock for this purpose (any number, the same for every station).
    if (!Exec(db, pg ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), error)) return false;
    const auto fail = [&db](QString* error, const QString& reason) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        *error = reason;
        return false;
    };
    QString reason;
    if (pg && !Exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(1450204236)"), &reason))
        return fail(error, reason);
    // Another process may have migrated meanwhile.
    if (!ReadSchemaVersion(db, &version, &reason)) return fail(error, reason);
    if (version > kStoreSchemaVersion)
        return fail(error, QStringLiteral("the store's schema is of version %1, newer than this program's %2: it was "
                                          "written by a later Vantrel, which is needed to use it")
                               .arg(version)
                               .arg(kStoreSchemaVersion));
    if (version == 0) {
        const QStringList tables = db.tables();
        for (const char* table : kOurTables)
            if (tables.contains(QLatin1String(table)))
                return fail(error, QStringLiteral("the database holds a table '%1' that is not Vantrel's (it has no "
                                                  "vantrel_schema table); use another database")
                                       .arg(QLatin1String(table)));
        if (!Exec(db, QStringLiteral("CREATE TABLE vantrel_schema (version BIGINT NOT NULL)"), &reason))
            return fail(error, reason);
    }
    for (int step = version + 1; step <= target; ++step)
        for (const QString& statement : SchemaStep(step, kind))
            if (!Exec(db, statement, &reason))
                return fail(error, QStringLiteral("schema step %1: %2").arg(step).arg(reason));
    if (version < target) {
        QSqlQuery set(db);
        if (!Exec(db, QStringLiteral("DELETE FROM vantrel_schema"), &reason) ||
            !set.prepare(QStringLiteral("INSERT INTO vantrel_schema (version) VALUES (?)")))
            return fail(error, reason.isEmpty() ? SqlErrorText(set.lastError()) : reason);
        set.addBindValue(qint64(target));
        if (!set.exec()) return fail(error, SqlErrorText(set.lastError()));
    }
    if (!Exec(db, QStringLiteral("COMMIT"), &reason)) return fail(error, reason);
    return true;
}
