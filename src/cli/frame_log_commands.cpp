#include "cli/frame_log_commands.h"

#include "cli/command_line.h"

#include <cstdio>

std::unique_ptr<FrameLog> StartFrameLog(const CommandLine& c, bool* failed) {
    *failed = false;
    if (c.frameLog.isEmpty()) return nullptr;
    auto log = std::make_unique<FrameLog>();
    QString error;
    if (!log->open(c.frameLog, &error)) {
        PrintError(QStringLiteral("cannot write '%1': %2").arg(c.frameLog, error));
        *failed = true;
        return nullptr;
    }
    const QString path = c.frameLog;
    QObject::connect(log.get(), &FrameLog::writeFailed, log.get(), [path](const QString& reason) {
        PrintError(QStringLiteral("cannot write '%1': %2; the frame log ends at its last whole line").arg(path, reason));
    });
    return log;
}

bool FinishFrameLog(FrameLog& log, const CommandLine& c) {
    QString error;
    const bool synced = log.finish(&error);
    if (!synced) PrintError(QStringLiteral("cannot write '%1': %2").arg(c.frameLog, error));
    std::fprintf(stderr, "%s\n", qPrintable(log.summary()));
    std::fflush(stderr);
    return synced && !log.failed();
}
