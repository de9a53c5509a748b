#include "cli/recording_commands.h"

#include "cli/command_line.h"
#include "cli/stop_signals.h"
#include "cli/store_commands.h"
#include "exit_status.h"
#include "platform/pixel_verdict.h"
#include "platform/printable_text.h"
#include "platform/screen_facts.h"
#include "session/screen_metrics.h"

#include <QCoreApplication>
#include <QFile>
#include <QScreen>

namespace {

// A record larger than this is no record a session wrote (a mark takes
// about 250 bytes): it is refused rather than read into memory.
constexpr qint64 kMaxRecordBytes = 64 * 1024 * 1024;

} // namespace

std::unique_ptr<RecordingSession> StartRecording(const CommandLine& c, QScreen* screen, QString* error) {
    const Recovery recovery = RecoverUnfinishedSessions(c.recordDir);
    for (const QString& line : recovery.reports) PrintError(PrintableText(line));
    for (const QString& line : recovery.errors) PrintError(PrintableText(line));
    // The store, besides the files: each recovered record, and what the
    // outbox holds for this store.
    for (const WrittenRecord& written : recovery.written) StoreRecord(c, written.record);
    DeliverPendingRecords(c);

    DefectRecord facts;
    facts.panel = c.panel;
    facts.operatorName = c.operatorName;
    facts.station = c.station;
    facts.model = c.model;
    facts.faultClass = c.faultClass;
    if (screen) {
        facts.screen = {screen->name(), screen->manufacturer(), screen->model(), screen->serialNumber()};
        // The panel's own pixels, as the display server drives it, and
        // whether the patterns reach them 1:1; unknown where no server
        // could be asked.
        const ScreenFacts screenFacts = QueryScreenFacts(screen);
        const PixelVerdict verdict = JudgePixels(screenFacts);
        facts.mode = TrueDeviceSize(screenFacts);
        if (facts.mode.isEmpty()) facts.mode = DeviceSize(screen);
        if (verdict.known) facts.oneToOne = verdict.oneToOne;
        facts.oneToOneReason = verdict.message;
    }
    facts.sequence = c.sequence;
    facts.dwellSeconds = c.dwell;
    auto session = std::make_unique<RecordingSession>(facts, c.recordDir);
    if (screen) session->setSurfaceSize(DeviceSize(screen));
    QObject::connect(session.get(), &RecordingSession::notRecorded, session.get(),
                     [](const QString& text, QPoint) { PrintError(PrintableText(text)); });
    if (!session->open(error)) return nullptr;
    return session;
}

int FinishRecording(RecordingSession& session, const CommandLine& c, QString* error) {
    QString why;
    if (!session.finish(&why)) {
        why = QStringLiteral("%1; no record is written: the marks stay in the journal %2 for the next session in the "
                             "directory to recover")
                  .arg(why, session.journalPath());
        PrintError(PrintableText(why));
        if (error) *error = why;
        return kIncompleteRecordExitStatus;
    }
    if (!session.journalLeft().isEmpty())
        PrintError(PrintableText(session.journalLeft() + QStringLiteral("; the next session in the directory removes it")));
    // The store, besides the files.
    const QString stored = StoreRecord(c, session.record());
    PrintLines({PrintableText(RecordSummaryLine(session.record())) + stored});
    if (!session.complete()) {
        PrintError(PrintableText(QStringLiteral("the record %1 is incomplete: %2 event(s) did not reach the journal")
                                     .arg(session.writtenFiles().constLast())
                                     .arg(session.record().notRecorded.size())));
        return kIncompleteRecordExitStatus;
    }
    return kSuccessExitStatus;
}

int ReportCommand(const CommandLine& c) {
    const QString name = PrintableText(c.reportFile);
    QFile file(c.reportFile);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintError(QStringLiteral("cannot read %1: %2").arg(name, file.errorString()));
        return kFailureExitStatus;
    }
    if (file.size() > kMaxRecordBytes) {
        PrintError(QStringLiteral("%1 is larger than any record Vantrel writes (%2 bytes)").arg(name).arg(file.size()));
        return kFailureExitStatus;
    }
    DefectRecord record;
    QString error;
    if (!ReadRecordJson(file.readAll(), &record, &error)) {
        PrintError(QStringLiteral("%1: %2").arg(name, PrintableText(error)));
        return kFailureExitStatus;
    }
    if (c.classGiven) record.faultClass = c.faultClass;
    for (const QString& line : WrittenVerdictDiscrepancies(record))
        PrintError(QStringLiteral("%1: warning: %2").arg(name, line));
    QStringList lines;
    if (record.written.present && record.written.clusterRule != QLatin1String(ClusterRule()))
        lines << PrintableText(QStringLiteral("%1: judged again by the cluster rule of today (faults within one "
                                              "5x5-pixel area anywhere on the panel, grouped); the record was "
                                              "judged by an earlier rule: %2")
                                   .arg(record.panel, record.written.summary));
    lines << PrintableText(RecordSummaryLine(record));
    PrintLines(lines);
    return kSuccessExitStatus;
}

StopWatch::StopWatch(QCoreApplication& app, bool active) {
    if (!active) return;
    WatchStopSignals();
    poll_.setInterval(100);
    poll_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll_, &QTimer::timeout, &app, [&app] {
        if (const int signal = PendingStopSignal()) app.exit(StopSignalExitStatus(signal));
    });
    poll_.start();
}
