#include "platform/presentation_clock.h"

#include "platform/backends.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#if defined(Q_OS_UNIX)
#include <time.h>
#endif

qint64 MonotonicNs() {
#if defined(Q_OS_UNIX)
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

// ---- FrameLedger --------------------------------------------------------------

FrameLedger::Entry* FrameLedger::find(quint64 frame) {
    if (frames_.empty() || frame < frames_.front().record.frame || frame > frames_.back().record.frame)
        return nullptr;
    return &frames_[static_cast<std::size_t>(frame - frames_.front().record.frame)];
}

void FrameLedger::requested(qint64 nowNs) {
    if (!pendingRequestNs_) pendingRequestNs_ = nowNs;
}

quint64 FrameLedger::painted(qint64 nowNs, quint32 tag, bool paced) {
    Entry e;
    e.record.frame = ++lastFrame_;
    e.record.tag = tag;
    e.record.paced = paced;
    e.record.requestedNs = pendingRequestNs_.value_or(nowNs);
    e.paintedNs = nowNs;
    pendingRequestNs_.reset();
    frames_.push_back(e);
    return lastFrame_;
}

void FrameLedger::callbackArrived(quint64 frame, qint64 nowNs, qint64 periodNs) {
    Entry* e = find(frame);
    if (!e || e->reported || e->standInAtNs) return;
    e->heard = true;
    e->standInAtNs = nowNs;
    e->standInDueNs = nowNs + 2 * periodNs;
}

void FrameLedger::report(quint64 frame, qint64 presentedNs, qint64 refreshNs, std::optional<quint64> sequence,
                         quint32 flags) {
    Entry* e = find(frame);
    if (!e || e->reported) return;
    e->reported = true;
    e->heard = true;
    e->record.flags = flags;
    if (flags & presentation::kDiscarded) {
        e->record.presentedNs = 0;
        e->record.refreshNs = 0;
        e->record.sequence.reset();
        return;
    }
    e->record.presentedNs = presentedNs;
    e->record.refreshNs = refreshNs;
    e->record.sequence = sequence;
}

void FrameLedger::expire(qint64 nowNs) {
    for (Entry& e : frames_) {
        if (e.reported) continue;
        if (e.standInDueNs && nowNs >= *e.standInDueNs) {
            e.reported = true;
            e.record.presentedNs = *e.standInAtNs;
            e.record.refreshNs = 0;
            e.record.sequence.reset();
            e.record.flags = 0;
        } else if (!e.heard && nowNs - e.paintedNs >= kLostAfterNs) {
            e.reported = true;
            e.heard = true;
            e.record.flags = presentation::kDiscarded;
        }
    }
}

std::optional<PresentedFrame> FrameLedger::takeReported() {
    if (frames_.empty() || !frames_.front().reported) return std::nullopt;
    PresentedFrame r = frames_.front().record;
    frames_.pop_front();
    return r;
}

std::optional<qint64> FrameLedger::nextDeadline() const {
    std::optional<qint64> next;
    for (const Entry& e : frames_) {
        if (e.reported) continue;
        const std::optional<qint64> due =
            e.standInDueNs ? e.standInDueNs : e.heard ? std::nullopt : std::optional<qint64>(e.paintedNs + kLostAfterNs);
        if (due && (!next || *due < *next)) next = due;
    }
    return next;
}

bool FrameLedger::awaitsWord(quint64 frame) const {
    if (frames_.empty() || frame < frames_.front().record.frame || frame > frames_.back().record.frame) return false;
    const Entry& e = frames_[static_cast<std::size_t>(frame - frames_.front().record.frame)];
    return !e.reported && !e.heard;
}

// ---- PresentationClock ----------------------------------------------------------

PresentationClock::PresentationClock(QWindow* window, Source source)
    : window_(window), source_(source), deadline_(this) {
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, &PresentationClock::expire);
}

PresentationClock::~PresentationClock() = default;

void PresentationClock::repaintRequested() { ledger_.requested(MonotonicNs()); }

quint64 PresentationClock::framePainted(quint32 tag, bool paced) {
    const quint64 frame = ledger_.painted(MonotonicNs(), tag, paced);
    onPainted(frame);
    // Qt flushes a paint to the display server in the same pass, before
    // the event loop runs again: a queued call comes after the flush.
    QMetaObject::invokeMethod(
        this, [this, frame] { onFlushed(frame); }, Qt::QueuedConnection);
    deliver();
    return frame;
}

void PresentationClock::callbackArrived(quint64 frame, qint64 nowNs, qint64 periodNs) {
    ledger_.callbackArrived(frame, nowNs, periodNs);
    frameTaken(frame);
}

void PresentationClock::report(quint64 frame, qint64 presentedNs, qint64 refreshNs, std::optional<quint64> sequence,
                               quint32 flags) {
    ledger_.report(frame, presentedNs, refreshNs, sequence, flags);
}

void PresentationClock::frameTaken(quint64 frame) {
    // Only the newest frame paces the next: a frame overtaken by another
    // (a key pressed meanwhile) must not start a second chain of steps.
    if (frame != ledger_.lastFrame() || frame <= lastTaken_) return;
    lastTaken_ = frame;
    if (pacing_) Q_EMIT readyForFrame();
}

void PresentationClock::expire() {
    readPending();
    const quint64 newest = ledger_.lastFrame();
    const bool waited = ledger_.awaitsWord(newest);
    ledger_.expire(MonotonicNs());
    // A frame heard of not at all still lets the picture go on.
    if (waited && !ledger_.awaitsWord(newest)) frameTaken(newest);
    deliver();
}

void PresentationClock::deliver() {
    while (std::optional<PresentedFrame> r = ledger_.takeReported()) Q_EMIT presented(*r);
    if (const std::optional<qint64> due = ledger_.nextDeadline()) {
        const qint64 waitNs = std::max<qint64>(0, *due - MonotonicNs());
        deadline_.start(static_cast<int>((waitNs + 999'999) / 1'000'000));
    } else {
        deadline_.stop();
    }
}

qint64 PresentationClock::announcedPeriodNs() const {
    const QScreen* screen = window_ ? window_->screen() : nullptr;
    const qreal hz = screen ? screen->refreshRate() : 0.0;
    return std::llround(1e9 / (hz >= 1.0 ? hz : 60.0));
}

namespace {

// The flush time stands in for the presentation; the next step is due one
// announced period after the last.
class FlushClock : public PresentationClock {
public:
    explicit FlushClock(QWindow* window) : PresentationClock(window, Source::Flush), pacer_(this) {
        pacer_.setSingleShot(true);
        pacer_.setTimerType(Qt::PreciseTimer);
        connect(&pacer_, &QTimer::timeout, this, [this] { frameTaken(pacedFrame_); });
    }

protected:
    void onPainted(quint64) override {}
    void onFlushed(quint64 frame) override {
        const qint64 now = MonotonicNs();
        const qint64 period = announcedPeriodNs();
        report(frame, now, period, std::nullopt, 0);
        // Steps keep to a grid of periods while they keep up with it.
        dueNs_ = (dueNs_ > now - period && dueNs_ <= now + period) ? dueNs_ + period : now + period;
        pacedFrame_ = frame;
        pacer_.start(static_cast<int>(std::max<qint64>(0, dueNs_ - now) / 1'000'000));
        deliver();
    }

private:
    QTimer pacer_;
    qint64 dueNs_ = 0;
    quint64 pacedFrame_ = 0;
};

} // namespace

std::unique_ptr<PresentationClock> PresentationClock::ForWindow(QWindow* window) {
    const QString platform = QGuiApplication::platformName();
#if defined(VANTREL_HAVE_WAYLAND_CLOCK)
    if (window && platform.startsWith(QLatin1String("wayland")))
        if (std::unique_ptr<PresentationClock> clock = CreateWaylandClock(window)) return clock;
#endif
#if defined(VANTREL_HAVE_X11_CLOCK)
    if (window && platform == QLatin1String("xcb"))
        if (std::unique_ptr<PresentationClock> clock = CreateX11Clock(window)) return clock;
#endif
    Q_UNUSED(platform);
    return std::make_unique<FlushClock>(window);
}

// ---- the measured refresh ----------------------------------------------------

namespace {

// A small black window that repaints at every refresh its clock allows.
class ProbeWindow : public QRasterWindow {
public:
    PresentationClock* clock = nullptr;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(0, 0), size()), Qt::black);
        if (clock) clock->framePainted(0, true);
    }
};

} // namespace

std::optional<double> MeasureRefreshHz(QScreen* screen, int ms) {
    // Only a compositor with presentation feedback confirms what it shows.
    if (!screen || !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return std::nullopt;
    ProbeWindow window;
    window.setScreen(screen);
    window.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    window.setGeometry(QRect(screen->geometry().topLeft(), QSize(16, 16)));
    window.show();
    std::unique_ptr<PresentationClock> clock = PresentationClock::ForWindow(&window);
    if (!clock->canConfirm()) return std::nullopt;
    window.clock = clock.get();

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::vector<PresentedFrame> confirmed;
    int unconfirmed = 0;
    QObject::connect(clock.get(), &PresentationClock::readyForFrame, &window, [&] {
        clock->repaintRequested();
        window.update();
    });
    QObject::connect(clock.get(), &PresentationClock::presented, &loop, [&](const PresentedFrame& f) {
        if (f.confirmed()) confirmed.push_back(f);
        else if (!f.discarded() && ++unconfirmed >= 6 && confirmed.empty()) loop.quit();
    });
    limit.start(ms);
    window.update();
    loop.exec();
    window.close();

    if (confirmed.size() < 3) return std::nullopt;
    const PresentedFrame& first = confirmed.front();
    const PresentedFrame& last = confirmed.back();
    const qint64 spanNs = last.presentedNs - first.presentedNs;
    if (first.sequence && last.sequence && *last.sequence > *first.sequence && spanNs > 0)
        return double(*last.sequence - *first.sequence) * 1e9 / double(spanNs);
    // Without a count of refreshes: the median interval.
    std::vector<qint64> intervals;
    for (std::size_t i = 1; i < confirmed.size(); ++i)
        intervals.push_back(confirmed[i].presentedNs - confirmed[i - 1].presentedNs);
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    const qint64 median = intervals[intervals.size() / 2];
    if (median <= 0) return std::nullopt;
    return 1e9 / double(median);
}
