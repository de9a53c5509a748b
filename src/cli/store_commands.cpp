#include "cli/store_commands.h"

#include "cli/command_line.h"
#include "exit_status.h"
#include "platform/durable_file.h"
#include "platform/printable_text.h"
#include "store/answers.h"
#include "store/heatmap.h"
#include "store/outbox.h"
#include "store/record_store.h"
#include "store/store_questions.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <vector>

namespace {

StoreLocation Location(const CommandLine& c) {
    StoreLocation location;
    QString error;
    ParseStoreUrl(c.store, &location, &error); // checked when the command line was read
    return location;
}

AnswerFormat Format(const CommandLine& c) {
    AnswerFormat format = AnswerFormat::Text;
    ParseAnswerFormat(c.format, &format);
    return format;
}

StoreFilter Filter(const CommandLine& c) { return {c.since, c.until, c.station, c.model}; }

QString OutboxNote(const StoreLocation& target, const QString& reason) {
    return QStringLiteral("the store %1 cannot take records: %2; they are kept in the outbox of %3 until "
                          "vantrel --sync or the next start with this --store delivers them")
        .arg(target.url, reason, StationStore().url);
}

int ImportCommand(const CommandLine& c) {
    const StoreLocation target = Location(c);
    const QDir dir(c.importDir);
    if (!dir.exists()) {
        PrintError(QStringLiteral("cannot import %1: there is no such directory").arg(c.importDir));
        return kFailureExitStatus;
    }
    DeliverPendingRecords(c);
    StoreWriter writer(target);
    int added = 0, there = 0, kept = 0, skipped = 0;
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        const QString path = dir.filePath(name);
        QFile file(path);
        DefectRecord record;
        QString reason;
        if (!file.open(QIODevice::ReadOnly)) reason = file.errorString();
        else if (!ReadRecordJson(file.readAll(), &record, &reason) && reason.isEmpty())
            reason = QStringLiteral("unreadable");
        if (!reason.isEmpty()) {
            PrintError(PrintableText(QStringLiteral("skipped %1: %2").arg(path, reason)));
            ++skipped;
            continue;
        }
        switch (writer.put(record, &reason)) {
        case StoreWriter::Result::Added: ++added; break;
        case StoreWriter::Result::AlreadyThere: ++there; break;
        case StoreWriter::Result::KeptInOutbox:
            if (kept++ == 0) PrintError(PrintableText(OutboxNote(target, reason)));
            break;
        case StoreWriter::Result::Refused:
            PrintError(PrintableText(QStringLiteral("skipped %1: %2").arg(path, reason)));
            ++skipped;
            break;
        case StoreWriter::Result::Failed:
            PrintError(PrintableText(QStringLiteral("cannot import %1: %2").arg(path, reason)));
            return kFailureExitStatus;
        }
    }
    QString line = QStringLiteral("imported %1 into %2: %3 added, %4 already there, %5 skipped")
                       .arg(c.importDir, target.url)
                       .arg(added)
                       .arg(there)
                       .arg(skipped);
    if (kept > 0) line += QStringLiteral(", %1 kept in the outbox").arg(kept);
    PrintLines({PrintableText(line)});
    return skipped > 0 ? kRecordSkippedExitStatus : kSuccessExitStatus;
}

int SyncCommand(const CommandLine& c) {
    const QString url = c.storeGiven ? Location(c).url : QString();
    const OutboxDelivery d = DeliverOutbox(url);
    for (const QString& problem : d.problems) PrintError(PrintableText(problem));
    QString line = QStringLiteral("delivered %1 record(s) from the outbox").arg(d.delivered);
    if (d.alreadyThere > 0) line += QStringLiteral(", %1 already there").arg(d.alreadyThere);
    line += d.pending == 0 ? QStringLiteral("; nothing is pending")
                           : QStringLiteral("; %1 still pending").arg(d.pending);
    PrintLines({PrintableText(line)});
    return d.pending == 0 ? kSuccessExitStatus : kFailureExitStatus;
}

// The store the questions read, after the outbox delivered what it holds
// for it; false after printing why it cannot be opened.
bool OpenForQuestions(const CommandLine& c, RecordStore* store) {
    DeliverPendingRecords(c);
    QString error;
    if (store->open(Location(c), RecordStore::Access::Read, &error)) return true;
    PrintError(PrintableText(error));
    return false;
}

int HistoryCommand(const CommandLine& c) {
    RecordStore store;
    if (!OpenForQuestions(c, &store)) return kFailureExitStatus;
    std::vector<HistoryRow> rows;
    QString error;
    if (!PanelHistory(store, c.historySerial, [&rows](const HistoryRow& r) { rows.push_back(r); }, &error)) {
        PrintError(PrintableText(QStringLiteral("cannot read the history from %1: %2").arg(store.location().url, error)));
        return kFailureExitStatus;
    }
    if (rows.empty()) {
        PrintError(PrintableText(
            QStringLiteral("no session of panel '%1' in the store %2").arg(c.historySerial, store.location().url)));
        return kFailureExitStatus;
    }
    PrintLines(HistoryAnswer(c.historySerial, rows, Format(c)));
    return kSuccessExitStatus;
}

int StatsCommand(const CommandLine& c) {
    RecordStore store;
    if (!OpenForQuestions(c, &store)) return kFailureExitStatus;
    LineStats stats;
    QString error;
    if (!ComputeStats(store, Filter(c), &stats, &error)) {
        PrintError(PrintableText(QStringLiteral("cannot read the figures from %1: %2").arg(store.location().url, error)));
        return kFailureExitStatus;
    }
    PrintLines(StatsAnswer(stats, Format(c)));
    return kSuccessExitStatus;
}

int HeatmapCommand(const CommandLine& c) {
    RecordStore store;
    if (!OpenForQuestions(c, &store)) return kFailureExitStatus;
    const StoreFilter filter = Filter(c);
    HeatmapFigures figures;
    QString error;
    if (!ComputeHeatmap(store, filter, kHeatmapWidth, &figures, &error)) {
        PrintError(PrintableText(QStringLiteral("cannot read the marks from %1: %2").arg(store.location().url, error)));
        return kFailureExitStatus;
    }
    if (figures.sessions == 0) {
        PrintError(PrintableText(QStringLiteral("no session in the store %1 matches (%2); %3 is not written")
                                     .arg(store.location().url, FilterText(filter), c.heatmapFile)));
        return kFailureExitStatus;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(PaintHeatmap(figures, FilterText(filter))) ||
        !WriteFileDurably(c.heatmapFile, png, &error)) {
        if (error.isEmpty()) error = writer.errorString();
        PrintError(PrintableText(QStringLiteral("cannot write %1: %2").arg(c.heatmapFile, error)));
        return kFailureExitStatus;
    }
    PrintLines(HeatmapAnswer(c.heatmapFile, figures, FilterText(filter), Format(c)));
    return kSuccessExitStatus;
}

} // namespace

int StoreCommand(const CommandLine& c) {
    switch (c.action) {
    case CommandLine::Action::Import: return ImportCommand(c);
    case CommandLine::Action::Sync: return SyncCommand(c);
    case CommandLine::Action::History: return HistoryCommand(c);
    case CommandLine::Action::Stats: return StatsCommand(c);
    case CommandLine::Action::Heatmap: return HeatmapCommand(c);
    default: return kUsageErrorExitStatus;
    }
}

void DeliverPendingRecords(const CommandLine& c) {
    if (!c.storeGiven) return;
    const StoreLocation target = Location(c);
    if (target.station) return;
    qint64 pending = 0;
    QString error;
    if (!PendingInOutbox(target.url, &pending, &error)) {
        PrintError(PrintableText(error));
        return;
    }
    if (pending == 0) return;
    const OutboxDelivery d = DeliverOutbox(target.url);
    if (d.delivered + d.alreadyThere > 0)
        PrintError(PrintableText(QStringLiteral("delivered %1 record(s) from the outbox to %2")
                                     .arg(d.delivered + d.alreadyThere)
                                     .arg(target.url)));
    if (d.pending > 0)
        PrintError(PrintableText(QStringLiteral("%1 record(s) for %2 stay in the outbox: %3")
                                     .arg(d.pending)
                                     .arg(target.url, d.problems.join(QStringLiteral("; ")))));
}

QString StoreRecord(const CommandLine& c, const DefectRecord& record) {
    const StoreLocation target = Location(c);
    StoreWriter writer(target);
    QString reason;
    switch (writer.put(record, &reason)) {
    case StoreWriter::Result::Added:
    case StoreWriter::Result::AlreadyThere: return {};
    case StoreWriter::Result::KeptInOutbox:
        PrintError(PrintableText(OutboxNote(target, reason)));
        return QStringLiteral(" (kept in the outbox)");
    case StoreWriter::Result::Refused:
    case StoreWriter::Result::Failed: break;
    }
    PrintError(PrintableText(QStringLiteral("the record %1 is not in the store %2: %3; its files stay the record, "
                                            "and vantrel --import adds them later")
                                 .arg(record.baseName(), target.url, reason)));
    return QStringLiteral(" (not in the store)");
}
