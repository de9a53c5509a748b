#include "cli/recording_commands.h"

#include "cli/command_line.h"
#include "cli/stop_signals.h"
#include "exit_status.h"
#include "session/screen_metrics.h"

#include <QCoreApplication>
#include <QFile>
#include <QScreen>

std::unique_ptr<RecordingSession> StartRecording(const CommandLine& c, QScreen* screen) {
    QStringList reports, errors;
    RecoverUnfinishedSessions(c.recordDir, &reports, &errors);
    for (const QString& line : reports) PrintError(line);
    for (const QString& line : errors) PrintError(line);

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

bool FinishRecording(RecordingSession& session) {
    QString error;
    if (!session.finish(&error)) {
        PrintError(error + QStringLiteral("; the marks stay in the journal %1").arg(session.journalPath()));
        return false;
    }
    PrintLines({SummaryLine(session.record().panel, session.record().verdict())});
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
    poll_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll_, &QTimer::timeout, &app, [&app] {
        if (const int signal = PendingStopSignal()) app.exit(StopSignalExitStatus(signal));
    });
    poll_.start();
}
