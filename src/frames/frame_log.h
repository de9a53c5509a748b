#pragma once
// The frame log (--frame-log FILE): one CSV line for every frame of the
// pattern window whose presentation is known, written as soon as it is,
// and a summary line at the end.
//
//   frame,pattern,requested_ns,presented_ns,interval_ns,refresh_ns,seq,flags,missed
//
// Times are CLOCK_MONOTONIC nanoseconds. `interval_ns` is the time since
// the frame presented before; `missed` counts the refreshes a step of a
// frame-paced pattern came too late for: from the display server's count
// of refreshes where it keeps one (a gap of g counts g - 1), else
// round(interval / period) - 1. Other frames show a change that had no
// refresh to keep, and miss none.

#include "platform/durable_file.h"
#include "platform/presentation_clock.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

// The refreshes between two counts of a refresh counter: a 64-bit count
// that went forward, or a 32-bit one that wrapped past 2^32. None when the
// count went back otherwise (another output, a new counter).
std::optional<quint64> SequenceGap(quint64 previous, quint64 current);

// The flags as words joined by '|': confirmed or unconfirmed, vsync,
// hw-clock, hw-completion, zero-copy; or discarded.
QString FlagWords(quint32 flags);

// A median that takes one value at a time.
class RunningMedian {
public:
    void add(qint64 value);
    // 0 before the first value.
    qint64 median() const;
    bool empty() const { return lower_.empty(); }

private:
    std::priority_queue<qint64> lower_;                                         // the smaller half, largest on top
    std::priority_queue<qint64, std::vector<qint64>, std::greater<qint64>> upper_; // the larger half
};

// The log's arithmetic, frame after frame, with no file.
class FrameStatistics {
public:
    struct Entry {
        std::optional<qint64> intervalNs; // none for the first presented frame and a discarded one
        std::optional<qint64> missed;     // none for a discarded frame
    };

    // Takes the next frame in order.
    Entry add(const PresentedFrame& frame);

    // The period: the refresh the server last reported; where it reports
    // none, the median of the intervals between steps of frame-paced
    // patterns, or of all intervals where there were no such steps.
    qint64 periodNs() const;
    quint64 presentedFrames() const { return presented_; }
    qint64 missedTotal() const { return missed_; }
    // Every presented frame confirmed by the display server.
    bool allConfirmed() const { return presented_ > 0 && unconfirmed_ == 0; }
    // "frames N, period P ms, interval mean M ms sd S ms p99 Q ms, missed K, confirmed|unconfirmed"
    QString summary() const;

private:
    std::optional<PresentedFrame> previous_;
    qint64 reportedRefreshNs_ = 0;
    RunningMedian pacedMedian_;
    RunningMedian allMedian_;
    std::vector<qint64> intervals_;
    double sum_ = 0.0;
    double sumOfSquares_ = 0.0;
    quint64 presented_ = 0;
    quint64 unconfirmed_ = 0;
    qint64 missed_ = 0;
};

// The header line and one frame's line, each ending in a newline.
QByteArray FrameLogHeader();
QByteArray FrameLogLine(const PresentedFrame& frame, const FrameStatistics::Entry& entry);

// The log file. Lines are written to the system as they come (a sync to
// the disk per frame would take longer than a frame) and synced at the end.
class FrameLog : public QObject {
    Q_OBJECT
public:
    FrameLog();
    ~FrameLog() override;

    // Makes `path` a new log holding the header, replacing any file of
    // that name; false with the reason when it cannot.
    bool open(const QString& path, QString* error);
    // Syncs the log to the disk; false with the reason when it cannot.
    bool finish(QString* error);
    const FrameStatistics& statistics() const { return statistics_; }
    QString summary() const { return statistics_.summary(); }
    // Whether a line could not be written: the log ends at the last whole line.
    bool failed() const { return failed_; }

    void add(const PresentedFrame& frame);

Q_SIGNALS:
    // A line could not be written, with the reason; no line follows it.
    void writeFailed(const QString& reason);

private:
    AppendOnlyFile file_;
    FrameStatistics statistics_;
    bool failed_ = false;
};
