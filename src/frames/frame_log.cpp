#include "frames/frame_log.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cmath>

std::optional<quint64> SequenceGap(quint64 previous, quint64 current) {
    constexpr quint64 k32 = quint64(1) << 32;
    if (current >= previous) return current - previous;
    if (previous < k32 && current < k32) return current + k32 - previous;
    return std::nullopt;
}

QString FlagWords(quint32 flags) {
    using namespace presentation;
    if (flags & kDiscarded) return QStringLiteral("discarded");
    QStringList words{(flags & kConfirmed) ? QStringLiteral("confirmed") : QStringLiteral("unconfirmed")};
    if (flags & kVsync) words << QStringLiteral("vsync");
    if (flags & kHardwareClock) words << QStringLiteral("hw-clock");
    if (flags & kHardwareCompletion) words << QStringLiteral("hw-completion");
    if (flags & kZeroCopy) words << QStringLiteral("zero-copy");
    return words.join(QLatin1Char('|'));
}

void RunningMedian::add(qint64 value) {
    if (lower_.empty() || value <= lower_.top()) lower_.push(value);
    else upper_.push(value);
    // The lower half holds as many values as the upper, or one more.
    if (lower_.size() > upper_.size() + 1) {
        upper_.push(lower_.top());
        lower_.pop();
    } else if (upper_.size() > lower_.size()) {
        lower_.push(upper_.top());
        upper_.pop();
    }
}

qint64 RunningMedian::median() const {
    if (lower_.empty()) return 0;
    if (lower_.size() > upper_.size()) return lower_.top();
    return (lower_.top() + upper_.top()) / 2;
}

FrameStatistics::Entry FrameStatistics::add(const PresentedFrame& frame) {
    Entry entry;
    if (frame.discarded()) return entry;
    ++presented_;
    if (!frame.confirmed()) ++unconfirmed_;
    if (frame.refreshNs > 0) reportedRefreshNs_ = frame.refreshNs;
    entry.missed = 0;
    if (previous_) {
        const qint64 interval = frame.presentedNs - previous_->presentedNs;
        entry.intervalNs = interval;
        intervals_.push_back(interval);
        sum_ += double(interval);
        sumOfSquares_ += double(interval) * double(interval);
        allMedian_.add(interval);
        if (frame.paced) pacedMedian_.add(interval);
        if (frame.paced) {
            const qint64 period = frame.refreshNs > 0 ? frame.refreshNs : periodNs();
            // Refreshes the interval spans, by the clock.
            const qint64 byTime = period > 0 ? std::llround(double(interval) / double(period)) : 1;
            qint64 refreshes = byTime;
            if (frame.sequence && previous_->sequence) {
                // The server's own count, where it agrees roughly with
                // the clock (a count of another output does not).
                const std::optional<quint64> gap = SequenceGap(*previous_->sequence, *frame.sequence);
                if (gap && *gap <= quint64(2 * byTime + 2)) refreshes = qint64(*gap);
            }
            entry.missed = std::max<qint64>(0, refreshes - 1);
            missed_ += *entry.missed;
        }
    }
    previous_ = frame;
    return entry;
}

qint64 FrameStatistics::periodNs() const {
    if (reportedRefreshNs_ > 0) return reportedRefreshNs_;
    if (!pacedMedian_.empty()) return pacedMedian_.median();
    return allMedian_.median();
}

namespace {

QString Ms(double ns) { return QString::number(ns / 1e6, 'f', 3); }

} // namespace

QString FrameStatistics::summary() const {
    double mean = 0.0, sd = 0.0, p99 = 0.0;
    if (!intervals_.empty()) {
        const double n = double(intervals_.size());
        mean = sum_ / n;
        sd = std::sqrt(std::max(0.0, sumOfSquares_ / n - mean * mean));
        // The nearest rank: the smallest interval that at least 99 % of
        // the intervals do not exceed.
        std::vector<qint64> sorted = intervals_;
        const std::size_t rank = static_cast<std::size_t>(std::ceil(0.99 * n)) - 1;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank), sorted.end());
        p99 = double(sorted[rank]);
    }
    return QStringLiteral("frames %1, period %2 ms, interval mean %3 ms sd %4 ms p99 %5 ms, missed %6, %7")
        .arg(presented_)
        .arg(Ms(double(periodNs())), Ms(mean), Ms(sd), Ms(p99))
        .arg(missed_)
        .arg(allConfirmed() ? QStringLiteral("confirmed") : QStringLiteral("unconfirmed"));
}

QByteArray FrameLogHeader() { return "frame,pattern,requested_ns,presented_ns,interval_ns,refresh_ns,seq,flags,missed\n"; }

QByteArray FrameLogLine(const PresentedFrame& f, const FrameStatistics::Entry& e) {
    const auto number = [](auto v) { return QByteArray::number(v); };
    const bool shown = !f.discarded();
    QByteArray line;
    line += number(f.frame) + ',' + number(f.tag) + ',' + number(f.requestedNs) + ',';
    if (shown) line += number(f.presentedNs);
    line += ',';
    if (e.intervalNs) line += number(*e.intervalNs);
    line += ',';
    if (shown) line += number(f.refreshNs);
    line += ',';
    if (f.sequence) line += number(*f.sequence);
    line += ',' + FlagWords(f.flags).toLatin1() + ',';
    if (e.missed) line += number(*e.missed);
    line += '\n';
    return line;
}

FrameLog::FrameLog() = default;
FrameLog::~FrameLog() = default;

bool FrameLog::open(const QString& path, QString* error) {
    // A new log each run: an older file of the name is replaced whole.
    return WriteFileDurably(path, FrameLogHeader(), error) && file_.open(path, error);
}

bool FrameLog::finish(QString* error) { return !file_.isOpen() || file_.sync(error); }

void FrameLog::add(const PresentedFrame& frame) {
    const FrameStatistics::Entry entry = statistics_.add(frame);
    if (failed_ || !file_.isOpen()) return;
    QString reason;
    if (!file_.append(FrameLogLine(frame, entry), &reason, AppendOnlyFile::Durability::Written)) {
        failed_ = true;
        Q_EMIT writeFailed(reason);
    }
}
