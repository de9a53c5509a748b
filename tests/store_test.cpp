// The store of inspection records: store URLs, the schema's migration
// from every earlier version, the outbox while a store is away and after
// it is back, hostile text and the questions in SQLite and PostgreSQL, and
// the heatmap's hot spot. The PostgreSQL cases run against the database
// VANTREL_TEST_POSTGRES names (tests/e2e/lib/with_postgres.sh starts a
// private one for the ctest "pg:store"); without it they are skipped.

#include "store/answers.h"
#include "store/heatmap.h"
#include "store/outbox.h"
#include "store/record_store.h"
#include "store/store_location.h"
#include "store/store_questions.h"
#include "store/store_schema.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// Sets XDG_DATA_HOME, where the station's store lives, while it lives.
class StationHome {
public:
    StationHome() : saved_(qgetenv("XDG_DATA_HOME")), had_(qEnvironmentVariableIsSet("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", dir_.path().toLocal8Bit());
    }
    ~StationHome() {
        if (had_) qputenv("XDG_DATA_HOME", saved_);
        else qunsetenv("XDG_DATA_HOME");
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QByteArray saved_;
    bool had_;
};

DefectRecord Record(const QString& panel, const QDateTime& started, const QString& station = QStringLiteral("S1"),
                    std::vector<std::pair<FaultType, QPoint>> marks = {}) {
    DefectRecord r;
    r.session = QUuid::createUuid();
    r.panel = panel;
    r.station = station;
    r.operatorName = QStringLiteral("op");
    r.faultClass = 2;
    r.started = started;
    r.ended = started.addSecs(60);
    r.mode = QSize(1920, 1080);
    r.dwellSeconds = QStringLiteral("1");
    for (const auto& [type, at] : marks)
        r.marks.push_back({int(r.marks.size()) + 1, type, at.x(), at.y(), 1, QStringLiteral("black"), started});
    return r;
}

const QDateTime kDay1(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);

StoreLocation SQLiteAt(const QString& path) {
    StoreLocation location;
    QString error;
    EXPECT_TRUE(ParseStoreUrl(QStringLiteral("sqlite:") + path, &location, &error)) << error.toStdString();
    return location;
}

qint64 Scalar(RecordStore& store, const QString& sql) {
    QSqlQuery q(store.database());
    EXPECT_TRUE(q.exec(sql) && q.next()) << q.lastError().text().toStdString();
    return q.value(0).toLongLong();
}

// ---------------------------------------------------------------------
// Store URLs

struct UrlCase {
    const char* url;
    std::string conninfo; // or, for a refused URL, a part of the error
    bool accepted;
};

// The timeouts every connection gets unless its URL names them.
const std::string kTimeouts = " keepalives_idle='10' keepalives_interval='5' keepalives_count='2' tcp_user_timeout='20000'";

class StoreUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(StoreUrl, BecomesLibpqsKeywordsOrIsRefused) {
    StoreLocation location;
    QString error;
    const bool accepted = ParseStoreUrl(QString::fromUtf8(GetParam().url), &location, &error);
    ASSERT_EQ(accepted, GetParam().accepted) << error.toStdString();
    if (accepted) EXPECT_EQ(location.conninfo.toStdString(), GetParam().conninfo);
    else EXPECT_TRUE(error.contains(QString::fromStdString(GetParam().conninfo))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Urls, StoreUrl,
    ::testing::Values(
        UrlCase{"postgresql:///lines?host=/tmp/pg", "dbname='lines' host='/tmp/pg' connect_timeout='5'" + kTimeouts,
                true},
        UrlCase{"postgres://ann@%2Fvar%2Frun%2Fpg:5433/line%20db?connect_timeout=2",
                "user='ann' host='/var/run/pg' port='5433' dbname='line db' connect_timeout='2'" + kTimeouts, true},
        UrlCase{"postgresql://[::1]:5432,db2/x?application_name=o'k%5C",
                "host='::1,db2' port='5432,' dbname='x' application_name='o\\'k\\\\' connect_timeout='5'" +
                    kTimeouts,
                true},
        UrlCase{"postgresql://ann:secret@db/lines", "password file (PGPASSFILE", false},
        UrlCase{"postgresql://db/lines?password=secret", "?password=", false},
        UrlCase{"postgresql://db/lines?application_name=a;b", "cannot pass (';' or NUL)", false},
        UrlCase{"postgresql://db/lines?sslmode", "is not name=value", false},
        UrlCase{"mysql://db/lines", "unknown store 'mysql://db/lines'", false},
        UrlCase{"sqlite:", "names no file", false}),
    [](const auto& info) { return "Url" + std::to_string(info.index); });

// ---------------------------------------------------------------------
// The schema's migration

struct MigrationCase {
    const char* name;
    int from;          // the version the database holds; -1: a table of ours without a version
    const char* error; // empty: migrated
};

class StoreMigration : public ::testing::TestWithParam<MigrationCase> {};

TEST_P(StoreMigration, BringsEveryEarlierVersionUpWithItsRowsOrRefuses) {
    const MigrationCase& c = GetParam();
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.sqlite"));
    const QUuid kept = QUuid::createUuid();
    {
        // The database as an earlier program left it.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("migration"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QString error;
        QSqlQuery q(db);
        if (c.from < 0) {
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE sessions (name TEXT)")));
        }
        if (c.from > 0) {
            ASSERT_TRUE(MigrateSchema(db, StoreLocation::Kind::SQLite, &error, std::min(c.from, 3)))
                << error.toStdString();
            ASSERT_TRUE(q.exec(QStringLiteral(
                "INSERT INTO sessions VALUES (7, '%1', 'P1', '', 'op', 'S1', 'Vantrel', '2026-12-01T08:00:00.000Z', "
                "'2026-12-01T08:01:00.000Z', '2026-12-01', 0, '', '', '', '', 1920, 1080, NULL, '', '1', 2, 1, 1, "
                "0, 0, 0, 0, 0, 0, 0, 0)")
                                   .arg(kept.toString(QUuid::WithoutBraces))))
                << q.lastError().text().toStdString();
        }
        if (c.from > 3) {
            ASSERT_TRUE(q.exec(QStringLiteral("UPDATE vantrel_schema SET version = %1").arg(c.from)));
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("migration"));

    RecordStore store;
    QString error;
    const bool opened = store.open(SQLiteAt(path), RecordStore::Access::Write, &error);
    if (*c.error) {
        EXPECT_FALSE(opened);
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.error))) << error.toStdString();
        return;
    }
    ASSERT_TRUE(opened) << error.toStdString();
    EXPECT_EQ(Scalar(store, QStringLiteral("SELECT version FROM vantrel_schema")), kStoreSchemaVersion);
    EXPECT_EQ(Scalar(store, QStringLiteral("SELECT count(*) FROM sessions WHERE session_uuid = '%1'")
                                .arg(kept.toString(QUuid::WithoutBraces))),
              c.from >= 1 ? 1 : 0);
    // Every table and index of the current version is there and usable.
    RecordStore::Outcome outcome;
    ASSERT_TRUE(store.write(Record(QStringLiteral("P1"), kDay1.addDays(1), QStringLiteral("S1"),
                                   {{FaultType::Dark, {5, 5}}}),
                            &outcome, &error))
        << error.toStdString();
    std::vector<HistoryRow> rows;
    ASSERT_TRUE(PanelHistory(store, QStringLiteral("P1"), [&rows](const HistoryRow& r) { rows.push_back(r); }, &error));
    EXPECT_EQ(rows.size(), c.from >= 1 ? 2u : 1u);
    EXPECT_EQ(Scalar(store, QStringLiteral("SELECT count(*) FROM outbox")), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, StoreMigration,
                         ::testing::Values(MigrationCase{"EmptyDatabase", 0, ""}, MigrationCase{"Version1", 1, ""},
                                           MigrationCase{"Version2", 2, ""}, MigrationCase{"Current", 3, ""},
                                           MigrationCase{"NewerProgramsStore", 9, "newer than this program's 3"},
                                           MigrationCase{"ForeignTable", -1, "that is not Vantrel's"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------
// The outbox. The line's store is an SQLite file whose directory is away
// (an unmounted share) or back.

struct OutboxCase {
    const char* name;
    bool awayAtRecord;
    int otherStoreEntries; // records meant for a second store, which stays away
    bool reachedBefore;    // the record reached its store before the delivery (an entry that outlived a crash)
    bool backForDelivery;
    StoreWriter::Result put;
    int delivered, alreadyThere, pendingForStore, pendingInAll, inStore;
};

class StoreOutbox : public ::testing::TestWithParam<OutboxCase> {};

TEST_P(StoreOutbox, KeepsWhatCannotBeDeliveredAndDeliversItOnce) {
    const OutboxCase& c = GetParam();
    const StationHome home;
    const QString lineDir = home.path(QStringLiteral("line"));
    if (!c.awayAtRecord) {
        ASSERT_TRUE(QDir().mkpath(lineDir));
    }
    const StoreLocation line = SQLiteAt(lineDir + QStringLiteral("/records.sqlite"));
    const DefectRecord record = Record(QStringLiteral("QM-OUT-1"), kDay1, QStringLiteral("S1"),
                                       {{FaultType::Bright, {10, 10}}, {FaultType::Row, {3, 400}}});
    QString message;
    EXPECT_EQ(StoreWriter(line).put(record, &message), c.put) << message.toStdString();
    StoreWriter other(SQLiteAt(home.path(QStringLiteral("away/records.sqlite"))));
    for (int i = 0; i < c.otherStoreEntries; ++i)
        EXPECT_EQ(other.put(Record(QStringLiteral("QM-OTHER"), kDay1.addSecs(i)), &message),
                  StoreWriter::Result::KeptInOutbox);

    if (c.backForDelivery) {
        ASSERT_TRUE(QDir().mkpath(lineDir));
    }
    if (c.reachedBefore) {
        RecordStore store;
        RecordStore::Outcome outcome;
        ASSERT_TRUE(store.open(line, RecordStore::Access::Write, &message) && store.write(record, &outcome, &message))
            << message.toStdString();
    }
    const OutboxDelivery d = DeliverOutbox(line.url);
    EXPECT_EQ(d.delivered, c.delivered);
    EXPECT_EQ(d.alreadyThere, c.alreadyThere);
    EXPECT_EQ(d.pending, c.pendingForStore) << d.problems.join(QLatin1Char('\n')).toStdString();
    // A second delivery finds nothing more to do.
    const OutboxDelivery again = DeliverOutbox(line.url);
    EXPECT_EQ(again.delivered + again.alreadyThere, 0);
    EXPECT_EQ(again.pending, c.pendingForStore);
    qint64 pending = -1;
    ASSERT_TRUE(PendingInOutbox(QString(), &pending, &message)) << message.toStdString();
    EXPECT_EQ(pending, c.pendingInAll);

    if (!QDir(lineDir).exists()) return;
    RecordStore store;
    ASSERT_TRUE(store.open(line, RecordStore::Access::Read, &message)) << message.toStdString();
    EXPECT_EQ(Scalar(store, QStringLiteral("SELECT count(*) FROM sessions")), c.inStore);
    EXPECT_EQ(Scalar(store, QStringLiteral("SELECT count(*) FROM marks")), 2 * c.inStore);
}

using R = StoreWriter::Result;
INSTANTIATE_TEST_SUITE_P(
    Deliveries, StoreOutbox,
    ::testing::Values(OutboxCase{"ReachableStoreTakesTheRecordAtOnce", false, 0, false, true, R::Added, 0, 0, 0, 0, 1},
                      OutboxCase{"AwayStoreLeavesTheRecordInTheOutbox", true, 0, false, false, R::KeptInOutbox, 0, 0,
                                 1, 1, 0},
                      OutboxCase{"StoreBackTakesTheRecordOnce", true, 0, false, true, R::KeptInOutbox, 1, 0, 0, 0, 1},
                      OutboxCase{"ARecordThatReachedItsStoreCountsAsDelivered", true, 0, true, true,
                                 R::KeptInOutbox, 0, 1, 0, 0, 1},
                      OutboxCase{"OnlyTheNamedStoresRecordsAreDelivered", true, 2, false, true, R::KeptInOutbox, 1,
                                 0, 0, 2, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------
// Both databases: hostile text, and the questions' answers.

enum class Backend { SQLite, PostgreSQL };

class StoreBackends : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        StoreLocation location;
        QString error;
        if (GetParam() == Backend::PostgreSQL) {
            const QString uri = qEnvironmentVariable("VANTREL_TEST_POSTGRES");
            if (uri.isEmpty()) GTEST_SKIP() << "VANTREL_TEST_POSTGRES names no PostgreSQL database";
            ASSERT_TRUE(ParseStoreUrl(uri, &location, &error)) << error.toStdString();
        } else {
            location = SQLiteAt(dir_.filePath(QStringLiteral("records.sqlite")));
        }
        ASSERT_TRUE(store_.open(location, RecordStore::Access::Write, &error)) << error.toStdString();
        // Each test's own panels, models and stations: a PostgreSQL
        // database outlives the test.
        tag_ = QUuid::createUuid().toString(QUuid::Id128).left(12);
    }

    QString tagged(const char* name) const { return QString::fromUtf8(name) + QLatin1Char('-') + tag_; }

    void put(const DefectRecord& r) {
        RecordStore::Outcome outcome;
        QString error;
        ASSERT_TRUE(store_.write(r, &outcome, &error)) << error.toStdString();
        ASSERT_EQ(outcome, RecordStore::Outcome::Added);
    }

    QTemporaryDir dir_;
    RecordStore store_;
    QString tag_;
};

TEST_P(StoreBackends, HostileTextComesBackUnchangedAndNulIsRefused) {
    const QString hostile[] = {
        QStringLiteral("O'Brien \"quoted\" \\back\\slash\\"),
        QStringLiteral("'; DROP TABLE sessions; --"),
        QStringLiteral("x') ; DELETE FROM marks WHERE ('1'='1 $1 ? :name %s %% _"),
        QStringLiteral("Größe 測試 العربية 🙂 \u202e reversed"),
        QStringLiteral("\x1b[31mred\x1b[0m\ttab\nline\rreturn\x7f"),
        QStringLiteral("ab'\\ü\"").repeated(20000), // 100,000 characters
    };
    for (const QString& text : hostile) {
        DefectRecord r = Record(tagged("H") + text, kDay1, text, {{FaultType::Dark, {1, 1}}});
        r.operatorName = text;
        r.model = text;
        r.screen.name = text;
        r.marks[0].patternName = text;
        put(r);
        std::vector<HistoryRow> rows;
        QString error;
        ASSERT_TRUE(PanelHistory(store_, r.panel, [&rows](const HistoryRow& row) { rows.push_back(row); }, &error))
            << error.toStdString();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].station, text);
        EXPECT_EQ(rows[0].operatorName, text);
        EXPECT_EQ(rows[0].model, text);
        QSqlQuery q(store_.database());
        q.prepare(QStringLiteral("SELECT s.screen_name, m.pattern_name FROM sessions s JOIN marks m ON m.session_id = "
                                 "s.id WHERE s.session_uuid = ?"));
        q.addBindValue(SessionIdentity(r).toString(QUuid::WithoutBraces));
        ASSERT_TRUE(q.exec() && q.next()) << q.lastError().text().toStdString();
        EXPECT_EQ(q.value(0).toString(), text);
        EXPECT_EQ(q.value(1).toString(), text);
        // The text table escapes what would move a terminal's cursor, and
        // cuts nothing.
        const QStringList table = HistoryAnswer(r.panel, rows, AnswerFormat::Text);
        EXPECT_FALSE(table.join(QString()).contains(QChar(0x1b)));
        EXPECT_GE(table[1].size(), text.size());
    }
    // A serial that differs from another only after its first 200
    // characters is another panel.
    const QString longSerial = tagged("H") + hostile[5];
    put(Record(longSerial.chopped(1) + QStringLiteral("X"), kDay1.addSecs(1)));
    std::vector<HistoryRow> one;
    QString historyError;
    ASSERT_TRUE(PanelHistory(store_, longSerial, [&one](const HistoryRow& row) { one.push_back(row); }, &historyError));
    EXPECT_EQ(one.size(), 1u);
    EXPECT_EQ(Scalar(store_, QStringLiteral("SELECT repeated FROM sessions WHERE station = 'S1' AND "
                                            "substr(panel, 1, %1) = '%2'")
                                 .arg(tagged("H").size())
                                 .arg(tagged("H"))),
              0);

    DefectRecord nul = Record(tagged("NUL"), kDay1);
    nul.operatorName = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    RecordStore::Outcome outcome;
    QString error;
    EXPECT_FALSE(store_.write(nul, &outcome, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("its operator contains a NUL character"))) << error.toStdString();
    EXPECT_EQ(Scalar(store_, QStringLiteral("SELECT count(*) FROM sessions WHERE panel = '%1'").arg(nul.panel)), 0);
}

TEST_P(StoreBackends, QuestionsCountEachPanelByItsLatestSessionInRange) {
    const QString s1 = tagged("S1"), s2 = tagged("S2"), model = tagged("QM27");
    const QString a = model + QStringLiteral("-A"), b = model + QStringLiteral("-B");
    // Panel A fails on day 1 (a row defect) and reaches class I on day 2;
    // panel B reaches class III on day 2 at station 2. A panel of another
    // model never counts.
    const auto dark = [](int n) {
        std::vector<std::pair<FaultType, QPoint>> m;
        for (int i = 0; i < n; ++i) m.push_back({FaultType::Dark, {20 * i + 1, 1}});
        return m;
    };
    put(Record(a, kDay1, s1, {{FaultType::Row, {1, 500}}, {FaultType::Bright, {9, 9}}}));
    put(Record(a, kDay1.addDays(1), s1));
    put(Record(b, kDay1.addDays(1).addSecs(5), s2, dark(6)));
    put(Record(tagged("OTHER"), kDay1, s1, dark(1)));

    std::vector<HistoryRow> rows;
    QString error;
    ASSERT_TRUE(PanelHistory(store_, a, [&rows](const HistoryRow& r) { rows.push_back(r); }, &error));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].started, QStringLiteral("2026-12-02T08:00:00Z")) << "newest first";
    EXPECT_EQ(rows[1].classReached, std::nullopt);
    EXPECT_FALSE(rows[1].pass);
    EXPECT_EQ(rows[1].counts, (std::array<int64_t, 5>{1, 0, 0, 1, 0}));

    LineStats stats;
    ASSERT_TRUE(ComputeStats(store_, {QString(), QString(), QString(), model}, &stats, &error)) << error.toStdString();
    EXPECT_EQ(stats.all.sessions, 3);
    EXPECT_EQ(stats.all.panels, 2);
    EXPECT_EQ(stats.all.reaching, (std::array<int64_t, 4>{1, 1, 2, 2}));
    EXPECT_EQ(stats.all.faults, (std::array<int64_t, 5>{1, 6, 0, 1, 0}));
    ASSERT_EQ(stats.byStation.size(), 2u);
    EXPECT_EQ(stats.byStation[0].key, s1);
    EXPECT_EQ(stats.byStation[0].figures.reaching, (std::array<int64_t, 4>{1, 1, 1, 1}));
    ASSERT_EQ(stats.byDay.size(), 2u);
    EXPECT_EQ(stats.byDay[0].key, QStringLiteral("2026-12-01"));
    EXPECT_EQ(stats.byDay[0].figures.reaching, (std::array<int64_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(stats.byDay[1].figures.panels, 2);

    ASSERT_TRUE(ComputeStats(store_, {QStringLiteral("2026-12-01"), QStringLiteral("2026-12-01"), s1, model}, &stats,
                             &error));
    EXPECT_EQ(stats.all.sessions, 1);
    EXPECT_EQ(stats.all.reaching, (std::array<int64_t, 4>{0, 0, 0, 0}));

    HeatmapFigures heat;
    ASSERT_TRUE(ComputeHeatmap(store_, {QString(), QString(), QString(), model}, kHeatmapWidth, &heat, &error));
    EXPECT_EQ(heat.panels, 2);
    EXPECT_EQ(heat.cells, QSize(1000, 563));
    EXPECT_EQ(heat.pointFaults, 7);
    ASSERT_EQ(heat.lines.size(), 1u);
    EXPECT_TRUE(heat.lines[0].row);
    EXPECT_EQ(heat.lines[0].position, 260); // row 500 of 1080: its centre, 499.5 / 1080 of 563 cells
}

INSTANTIATE_TEST_SUITE_P(Databases, StoreBackends, ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const auto& info) {
                             return std::string(info.param == Backend::SQLite ? "SQLite" : "PostgreSQL");
                         });

// ---------------------------------------------------------------------
// The heatmap

TEST(StoreHeatmap, AHotSpotOfTwentyAmongTenThousandIsTheBrightestPoint) {
    const QTemporaryDir dir;
    RecordStore store;
    QString error;
    ASSERT_TRUE(store.open(SQLiteAt(dir.filePath(QStringLiteral("r.sqlite"))), RecordStore::Access::Write, &error));
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> x(1, 1920), y(1, 1080);
    const QPoint spot(1500, 300);
    RecordStore::Outcome outcome;
    for (int panel = 0; panel < 120; ++panel) {
        std::vector<std::pair<FaultType, QPoint>> marks;
        if (panel < 100) // 100 marks each on 100 panels
            for (int i = 0; i < 100; ++i) marks.push_back({FaultType(1 + i % 3), {x(random), y(random)}});
        else // one fault each, within two pixels of the spot, on 20 panels
            marks.push_back({FaultType::Bright, spot + QPoint(panel % 3 - 1, panel % 2)});
        if (panel == 0) marks.push_back({FaultType::Column, {400, 1}});
        ASSERT_TRUE(store.write(Record(QStringLiteral("P%1").arg(panel), kDay1.addSecs(panel), QStringLiteral("S1"),
                                       marks),
                                &outcome, &error))
            << error.toStdString();
    }
    HeatmapFigures figures;
    ASSERT_TRUE(ComputeHeatmap(store, {}, kHeatmapWidth, &figures, &error)) << error.toStdString();
    EXPECT_EQ(figures.pointFaults, 10020);
    EXPECT_EQ(figures.lineDefects, 1);
    const QImage image = PaintHeatmap(figures, FilterText({}));
    ASSERT_EQ(image.width(), 1000);
    const QRect panel = HeatmapPanelArea(figures);
    ASSERT_EQ(panel.size(), QSize(1000, 563));
    ASSERT_EQ(image.height(), panel.bottom() + 1);

    QPoint brightest;
    int most = -1;
    for (int py = panel.top(); py <= panel.bottom(); ++py)
        for (int px = panel.left(); px <= panel.right(); ++px) {
            const QRgb c = image.pixel(px, py);
            const int luminance = 2126 * qRed(c) + 7152 * qGreen(c) + 722 * qBlue(c);
            if (luminance > most) {
                most = luminance;
                brightest = QPoint(px, py);
            }
        }
    const QPoint expected(panel.left() + (2 * spot.x() - 1) * 1000 / 3840, panel.top() + (2 * spot.y() - 1) * 563 / 2160);
    EXPECT_LE((brightest - expected).manhattanLength(), 3)
        << "brightest at " << brightest.x() << "," << brightest.y() << ", the spot at " << expected.x() << ","
        << expected.y();
    // The column defect is a thin line of its own colour, not density.
    const QRgb line = image.pixel(panel.left() + (2 * 400 - 1) * 1000 / 3840, panel.top() + 5);
    EXPECT_GT(qBlue(line), qRed(line) + 60);
}

} // namespace
