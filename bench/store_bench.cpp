// The store of inspection records at the size of a line's years: an
// SQLite store of 1,000,000 sessions and 5,000,000 marks (1920x1080,
// 2560x1440 and 3840x2160 panels, 8 stations, 3 models, 400 days; a
// tenth of the panels inspected again), made once in one transaction
// with prepared statements and kept beside the benchmark
// (store-1m.sqlite) for the next run.
//
// RecordOneSession: what the end of a recorded session adds, a store
// opened, a record of 10 marks and 67 patterns written in its transaction
// (synced), the store closed (SQLite's last connection copies its WAL into
// the database then). WriteOneSession: the transaction alone, in a store
// kept open.
// History: --history of one panel, the store opened and the table made.
// Stats: --stats over every session, with its text table. Heatmap:
// --heatmap over every session, the picture painted and encoded as PNG.
// peak_MB is the peak resident memory during the benchmark (the store's
// making, when it runs first, not counted).

#include "defects/defect_record.h"
#include "store/answers.h"
#include "store/heatmap.h"
#include "store/outbox.h"
#include "store/record_store.h"
#include "store/store_questions.h"
#include "store/store_schema.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>
#include <random>
#include <sys/resource.h>

namespace {

constexpr int kSessions = 1000000;
constexpr int kMarks = 5000000;

// The peak resident memory since the last ResetPeak, from Linux's
// VmHWM; the process's peak (getrusage) where that cannot be reset.
void ResetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) refs.write("5");
}

double PeakMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

StoreLocation BenchStore() {
    StoreLocation location;
    QString error;
    ParseStoreUrl(QStringLiteral("sqlite:" VANTREL_BENCH_STORE), &location, &error);
    return location;
}

QString Serial(int panel) { return QStringLiteral("QM-%1").arg(panel, 7, 10, QLatin1Char('0')); }

bool Exec(QSqlQuery& q, const char* what) {
    if (q.exec()) return true;
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(q.lastError().text()));
    return false;
}

// The synthetic store, made when it is not there whole.
bool MakeStore() {
    RecordStore store;
    QString error;
    if (!store.open(BenchStore(), RecordStore::Access::Write, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    QSqlQuery count(store.database());
    if (count.exec(QStringLiteral("SELECT count(*) FROM sessions")) && count.next() &&
        count.value(0).toLongLong() >= kSessions)
        return true;
    count.finish();
    std::fprintf(stderr, "making %s: %d sessions, %d marks ...\n", VANTREL_BENCH_STORE, kSessions, kMarks);
    QElapsedTimer clock;
    clock.start();
    // Made as fast as SQLite can: no journal, a large cache, the indexes
    // made once at the end, the identities in order.
    for (const char* pragma : {"PRAGMA journal_mode=OFF", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-524288",
                               "DROP INDEX sessions_by_panel", "DROP INDEX sessions_by_day",
                               "DROP INDEX sessions_figures", "DROP INDEX sessions_repeated"})
        store.exec(QLatin1String(pragma), &error);
    if (!store.begin(&error)) return false;
    QSqlQuery session(store.database()), mark(store.database());
    session.prepare(QStringLiteral(
        "INSERT INTO sessions (id, session_uuid, panel, model, operator_name, station, program, started, ended, day, "
        "recovered, screen_name, screen_manufacturer, screen_model, screen_serial, width, height, one_to_one, "
        "pattern_order, dwell, class_required, class_reached, pass, bright, dark, sub_pixel, row_defects, "
        "column_defects, clusters12, clusters3, repeated) VALUES (?, ?, ?, ?, ?, ?, 'Vantrel', ?, ?, ?, 0, 'HDMI-1', "
        "'QML', 'P27', '', ?, ?, 1, '', '1', 2, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)"));
    mark.prepare(QStringLiteral("INSERT INTO marks (session_id, seq, number, type, x, y, pattern, pattern_name, "
                                "marked) VALUES (?, ?, ?, ?, ?, ?, 1, 'black', ?)"));
    std::mt19937 random(1207);
    const QSize modes[] = {{1920, 1080}, {1920, 1080}, {1920, 1080}, {2560, 1440}, {3840, 2160}};
    const QString models[] = {QStringLiteral("QM24"), QStringLiteral("QM27"), QStringLiteral("QM32")};
    const QDateTime first(QDate(2026, 1, 1), QTime(6, 0), Qt::UTC);
    const int panels = kSessions * 9 / 10;
    int64_t marksLeft = kMarks;
    int64_t previous = 0;
    std::vector<FaultMark> faults;
    for (int i = 0; i < kSessions; ++i) {
        // The first nine tenths inspect every panel once, the last tenth again.
        const int panel = i < panels ? i : static_cast<int>(random() % panels);
        const QSize mode = modes[random() % 5];
        const QDateTime started = first.addSecs(static_cast<qint64>(i) * 400 * 86400 / kSessions);
        // 0 to 10 marks, two sessions in a row 10 together: 5 on average.
        const int n = static_cast<int>(
            std::min<int64_t>(marksLeft, i % 2 == 0 ? static_cast<int64_t>(random() % 11) : 10 - previous));
        previous = n;
        faults.clear();
        for (int k = 0; k < n; ++k) {
            const int type = 1 + static_cast<int>(random() % 100 < 97 ? random() % 3 : 3 + random() % 2);
            // A hot spot: one fault in fifty lies at one place of the glass.
            const bool hot = random() % 50 == 0;
            const int x = hot ? mode.width() * 3 / 4 + static_cast<int>(random() % 3) : 1 + static_cast<int>(random() % mode.width());
            const int y = hot ? mode.height() / 4 + static_cast<int>(random() % 3) : 1 + static_cast<int>(random() % mode.height());
            faults.push_back({FaultType(type), x, y});
        }
        marksLeft -= n;
        const Verdict v = JudgePanel(faults, mode.width(), mode.height(), 2);
        int64_t rows = 0, columns = 0;
        for (const FaultMark& f : faults) {
            rows += f.type == FaultType::Row;
            columns += f.type == FaultType::Column;
        }
        const QString time = StoreTime(started);
        for (const QVariant& value :
             {QVariant(qint64(i + 1)), QVariant(QStringLiteral("00000000-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0'))),
              QVariant(Serial(panel)), QVariant(models[panel % 3]), QVariant(QStringLiteral("op%1").arg(i % 40)),
              QVariant(QStringLiteral("Line %1").arg(i % 8)), QVariant(time), QVariant(time), QVariant(time.left(10)),
              QVariant(qint64(mode.width())), QVariant(qint64(mode.height())),
              v.classReached ? QVariant(qint64(*v.classReached)) : QVariant(QMetaType::fromType<qint64>()),
              QVariant(qint64(v.pass)), QVariant(qint64(v.counts.bright)), QVariant(qint64(v.counts.dark)),
              QVariant(qint64(v.counts.subPixel)), QVariant(qint64(rows)), QVariant(qint64(columns)),
              QVariant(qint64(v.counts.clusters12)), QVariant(qint64(v.counts.clusters3))})
            session.addBindValue(value);
        if (!Exec(session, "session")) return false;
        for (size_t k = 0; k < faults.size(); ++k) {
            for (const QVariant& value : {QVariant(qint64(i + 1)), QVariant(qint64(k)), QVariant(qint64(k + 1)),
                                          QVariant(qint64(faults[k].type)), QVariant(qint64(faults[k].x)),
                                          QVariant(qint64(faults[k].y)), QVariant(time)})
                mark.addBindValue(value);
            if (!Exec(mark, "mark")) return false;
        }
    }
    // The panels inspected again, as RecordStore::write marks them.
    if (!store.exec(QStringLiteral("UPDATE sessions SET repeated = 1 WHERE panel IN "
                                   "(SELECT panel FROM sessions GROUP BY panel HAVING count(*) > 1)"),
                    &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    for (const QString& statement : SchemaStep(2, StoreLocation::Kind::SQLite))
        if (!store.exec(statement, &error)) break;
    if (!store.commit(&error) || !store.exec(QStringLiteral("PRAGMA journal_mode=WAL"), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    std::fprintf(stderr, "made in %.1f s, %lld marks\n", clock.elapsed() / 1000.0,
                 static_cast<long long>(kMarks - marksLeft));
    return true;
}

bool Ready(benchmark::State& state) {
    const bool made = MakeStore();
    ResetPeak();
    if (made) return true;
    state.SkipWithError("the synthetic store could not be made");
    return false;
}

DefectRecord BenchRecord() {
    DefectRecord r;
    r.panel = QStringLiteral("BENCH-1");
    r.station = QStringLiteral("Line 1");
    r.operatorName = QStringLiteral("bench");
    r.mode = QSize(1920, 1080);
    r.dwellSeconds = QStringLiteral("1");
    r.started = QDateTime(QDate(2027, 2, 1), QTime(8, 0), Qt::UTC);
    for (int k = 0; k < 10; ++k) r.marks.push_back({k + 1, FaultType::Dark, 100 + 40 * k, 200, 1, QStringLiteral("black"), r.started});
    for (int p = 1; p <= 67; ++p) r.patterns.push_back({p, QStringLiteral("pattern"), r.started});
    return r;
}

void RecordOneSession(benchmark::State& state) {
    if (!Ready(state)) return;
    DefectRecord r = BenchRecord();
    for (auto _ : state) {
        r.session = QUuid::createUuid();
        StoreWriter writer(BenchStore());
        QString message;
        if (writer.put(r, &message) != StoreWriter::Result::Added) state.SkipWithError(qPrintable(message));
    }
    state.counters["peak_MB"] = PeakMegabytes();
}

// The transaction alone, in a store kept open.
void WriteOneSession(benchmark::State& state) {
    if (!Ready(state)) return;
    DefectRecord r = BenchRecord();
    RecordStore store;
    QString error;
    if (!store.open(BenchStore(), RecordStore::Access::Write, &error)) state.SkipWithError(qPrintable(error));
    for (auto _ : state) {
        r.session = QUuid::createUuid();
        RecordStore::Outcome outcome;
        if (!store.write(r, &outcome, &error)) state.SkipWithError(qPrintable(error));
    }
    state.counters["peak_MB"] = PeakMegabytes();
}

void History(benchmark::State& state) {
    if (!Ready(state)) return;
    int panel = 0;
    for (auto _ : state) {
        RecordStore store;
        QString error;
        std::vector<HistoryRow> rows;
        const QString serial = Serial((panel += 7919) % (kSessions * 9 / 10));
        if (!store.open(BenchStore(), RecordStore::Access::Read, &error) ||
            !PanelHistory(store, serial, [&rows](const HistoryRow& r) { rows.push_back(r); }, &error) || rows.empty())
            state.SkipWithError("no history");
        benchmark::DoNotOptimize(HistoryAnswer(serial, rows, AnswerFormat::Text));
    }
    state.counters["peak_MB"] = PeakMegabytes();
}

void Stats(benchmark::State& state) {
    if (!Ready(state)) return;
    for (auto _ : state) {
        RecordStore store;
        QString error;
        LineStats stats;
        if (!store.open(BenchStore(), RecordStore::Access::Read, &error) || !ComputeStats(store, {}, &stats, &error))
            state.SkipWithError(qPrintable(error));
        benchmark::DoNotOptimize(StatsAnswer(stats, AnswerFormat::Text));
        state.counters["sessions"] = static_cast<double>(stats.all.sessions);
    }
    state.counters["peak_MB"] = PeakMegabytes();
}

void Heatmap(benchmark::State& state) {
    if (!Ready(state)) return;
    for (auto _ : state) {
        RecordStore store;
        QString error;
        HeatmapFigures figures;
        if (!store.open(BenchStore(), RecordStore::Access::Read, &error) ||
            !ComputeHeatmap(store, {}, kHeatmapWidth, &figures, &error))
            state.SkipWithError(qPrintable(error));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(PaintHeatmap(figures, FilterText({})));
        state.counters["marks"] = static_cast<double>(figures.pointFaults + figures.lineDefects);
    }
    state.counters["peak_MB"] = PeakMegabytes();
}

} // namespace

void RegisterStoreBenchmarks() {
    benchmark::RegisterBenchmark("Store/RecordOneSession", RecordOneSession)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("Store/WriteOneSession", WriteOneSession)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("Store/History", History)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("Store/Stats", Stats)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
    benchmark::RegisterBenchmark("Store/Heatmap", Heatmap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}
