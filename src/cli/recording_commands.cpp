#include "cli/recording_commands.h"

#include "cli/command_line.h"
#include "cli/stop_signals.h"
#include "cli/store_commands.h"
#include "exit_status.h"
#include "session/screen_metrics.h"

#include <QCoreApplication>
#include <QFile>
#include <QScreen>

std::unique_ptr<RecordingSession> StartRecording(const CommandLine& c, QScreen* screen) {
    QStringList reports, errors;
    std::vector<DefectRecord> recovered;
    RecoverUnfinishedSessions(c.recordDir, &reports, &errors, &recovered);
    for (const QString& line : reports) PrintError(line);
    for (const QString& line : errors) PrintError(line);
    // The store, besides the files: each recovered record, and what the
    // outbox holds for this store.
    for (const DefectRecord& record : recovered) StoreRecord(c, record);
    DeliverPendingRecords(c);

    DefectRecord facts;
    facts.panel = c.panel;
    facts.operatorName = c.operatorName;
    facts.station = c.station;
    facts.model = c.model;
    facts.faultClass = c.faultClass;
    if (screen) {
        facts.screen = {screen->name(), screen->manufacturer(), screen->model(), screen->serialNumber()};
        facts.mode = DeviceSize(screen);
    }
    facts.sequence = c.sequence;
    facts.dwellSeconds = c.dwell;
    auto session = std::make_unique<RecordingSession>(facts, c.recordDir);
    QString error;
    if (!session->open(&error)) {
        PrintError(error);
        return nullptr;
    }
    return session;
}

bool FinishRecording(RecordingSession& session, const CommandLine& c) {
    QString error;
    if (!session.finish(&error)) {
        PrintError(error + QStringLiteral("; the marks stay in the journal %1").arg(session.journalPath()));
        return false;
    }
    // The store, besides the files.
    const QString stored = StoreRecord(c, session.record());
    PrintLines({SummaryLine(session.record().panel, session.record().verdict()) + stored});
    return true;
}

int ReportCommand(const CommandLine& c) {
    QFile file(c.reportFile);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintError(QStringLiteral("cannot read %1: %2").arg(c.reportFile, file.errorString()));
        return kFailureExitStatus;
    }
    DefectRecord record;
    QString error;
    if (!ReadRecordJson(file.readAll(), &record, &error)) {
        PrintError(QStringLiteral("%1: %2").arg(c.reportFile, error));
        return kFailureExitStatus;
    }
    if (c.classGiven) record.faultClass = c.faultClass;
    PrintLines({SummaryLine(record.panel, record.verdict())});
    return kSuccessExitStatus;
}

StopWatch::StopWatch(QCoreApplication& app, bool active) {
    if (!active) return;
    WatchStopSignals();
    poll_.setInterval(100);
    QObject::connect(&poll_, &QTimer::timeout, &app, [&app] {
        if (const int signal = PendingStopSignal()) app.exit(StopSignalExitStatus(signal));
    });
    poll_.start();
}
