// The Wayland presentation clock. It speaks on Qt's own connection, so its
// requests name Qt's wl_surface, but every object it creates lives on an
// event queue of its own: Qt never sees its events, and it never takes
// Qt's. For each frame the window paints it asks, before Qt commits the
// surface, for the commit's presentation feedback (wp_presentation) and a
// frame callback. The feedback says when the frame was presented, or that
// it was discarded; the frame callback's arrival stands in where the
// compositor sends no feedback within two periods, and where it offers
// none at all.

#include "platform/backends.h"
#include "platform/presentation_clock.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include "presentation-time-client-protocol.h"

#include <cstring>
#include <list>

#include <time.h>

namespace {

class WaylandClock;

// What the clock asked the compositor for one frame.
struct FrameWatch {
    WaylandClock* clock = nullptr;
    quint64 frame = 0;
    struct wp_presentation_feedback* feedback = nullptr;
    wl_callback* callback = nullptr;
    qint64 callbackNs = 0;      // when the frame callback arrived, if it has
    bool countedLate = false;   // counted as a frame whose feedback never came in time
};

// Frames whose feedback did not come within two periods of their frame
// callback, after which a compositor that has never said a frame was
// presented is no longer asked (headless compositors offer the protocol and
// answer nothing). A compositor that answers does so within a period of
// the frame callback; a window it does not show gets its feedback
// discarded, which does not count.
constexpr int kFeedbackGiveUpFrames = 3;
// Frames whose word is awaited at most.
constexpr std::size_t kMostWatches = 256;

class WaylandClock : public PresentationClock {
public:
    WaylandClock(QWindow* window, wl_display* display) : PresentationClock(window, Source::Wayland), display_(display) {}
    ~WaylandClock() override;

    bool start();
    bool canConfirm() const override { return presentation_ && feedbackWanted_; }

    void onGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    void onClockId(uint32_t id) { clockId_ = static_cast<clockid_t>(id); }
    void onPresented(FrameWatch* w, qint64 presentedNs, qint64 refreshNs, quint64 sequence, uint32_t kinds);
    void onDiscarded(FrameWatch* w);
    void onFrameDone(FrameWatch* w);
    // A time on the compositor's presentation clock, on CLOCK_MONOTONIC.
    qint64 toMonotonic(qint64 ns) const;

protected:
    void onPainted(quint64 frame) override;
    void onFlushed(quint64) override {}
    void readPending() override;

private:
    wl_surface* surface();
    // The feedback of the frame came (presented or discarded): its proxy goes.
    void feedbackDone(FrameWatch* w, bool presented);
    // Counts the frames whose feedback is more than two periods late after
    // their frame callback; past the bound, stops asking for feedback.
    void countLateFeedback();
    void releaseIfDone(FrameWatch* w);
    void dispatch();

    wl_display* display_;
    wl_event_queue* queue_ = nullptr;
    wl_display* displayWrapper_ = nullptr;
    wl_registry* registry_ = nullptr;
    wp_presentation* presentation_ = nullptr;
    clockid_t clockId_ = CLOCK_MONOTONIC;
    wl_surface* qtSurface_ = nullptr;
    wl_surface* surfaceWrapper_ = nullptr;
    QMetaObject::Connection beforeSleep_;
    std::list<FrameWatch> watches_;
    qint64 periodNs_ = 0;
    bool feedbackWanted_ = true;
    // Whether the compositor ever said a frame was presented. A discard
    // proves nothing: a compositor that presents nothing (headless sway)
    // may still discard the commits made before the window was mapped.
    bool feedbackSeen_ = false;
    int framesWithoutFeedback_ = 0;
};

// ---- listeners ------------------------------------------------------------------

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    static_cast<WaylandClock*>(data)->onGlobal(registry, name, interface, version);
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnClockId(void* data, wp_presentation*, uint32_t id) { static_cast<WaylandClock*>(data)->onClockId(id); }
const wp_presentation_listener kPresentationListener = {OnClockId};

void OnSyncOutput(void*, struct wp_presentation_feedback*, wl_output*) {}
void OnPresented(void* data, struct wp_presentation_feedback*, uint32_t secHi, uint32_t secLo, uint32_t nsec, uint32_t refresh,
                 uint32_t seqHi, uint32_t seqLo, uint32_t kinds) {
    auto* w = static_cast<FrameWatch*>(data);
    const qint64 seconds = qint64((quint64(secHi) << 32) | secLo);
    w->clock->onPresented(w, w->clock->toMonotonic(seconds * 1'000'000'000 + nsec), qint64(refresh),
                          (quint64(seqHi) << 32) | seqLo, kinds);
}
void OnDiscarded(void* data, struct wp_presentation_feedback*) {
    auto* w = static_cast<FrameWatch*>(data);
    w->clock->onDiscarded(w);
}
const wp_presentation_feedback_listener kFeedbackListener = {OnSyncOutput, OnPresented, OnDiscarded};

void OnFrameDone(void* data, wl_callback*, uint32_t) {
    auto* w = static_cast<FrameWatch*>(data);
    w->clock->onFrameDone(w);
}
const wl_callback_listener kFrameListener = {OnFrameDone};

// ---- the clock ------------------------------------------------------------------

bool WaylandClock::start() {
    queue_ = wl_display_create_queue(display_);
    if (!queue_) return false;
    displayWrapper_ = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
    if (!displayWrapper_) return false;
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(displayWrapper_), queue_);
    registry_ = wl_display_get_registry(displayWrapper_);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    // The globals, then the presentation clock's id.
    if (wl_display_roundtrip_queue(display_, queue_) < 0) return false;
    if (presentation_ && wl_display_roundtrip_queue(display_, queue_) < 0) return false;
    periodNs_ = announcedPeriodNs();

    // Qt's own event thread reads the socket for every queue, ours too,
    // and wakes the GUI thread when it has read; our events are handled
    // before the GUI thread sleeps again. The clock never reads the socket
    // itself: a second reader on the GUI thread, beside Qt's, can leave
    // Qt's thread waiting in wl_display_read_events when the program ends.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        beforeSleep_ = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &WaylandClock::dispatch);
    return true;
}

WaylandClock::~WaylandClock() {
    disconnect(beforeSleep_);
    for (FrameWatch& w : watches_) {
        if (w.feedback) wp_presentation_feedback_destroy(w.feedback);
        if (w.callback) wl_callback_destroy(w.callback);
    }
    if (surfaceWrapper_) wl_proxy_wrapper_destroy(surfaceWrapper_);
    if (presentation_) wp_presentation_destroy(presentation_);
    if (registry_) wl_registry_destroy(registry_);
    if (displayWrapper_) wl_proxy_wrapper_destroy(displayWrapper_);
    if (queue_) wl_event_queue_destroy(queue_);
}

void WaylandClock::onGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (presentation_ || std::strcmp(interface, wp_presentation_interface.name) != 0) return;
    presentation_ = static_cast<wp_presentation*>(
        wl_registry_bind(registry, name, &wp_presentation_interface, std::min<uint32_t>(version, 1)));
    wp_presentation_add_listener(presentation_, &kPresentationListener, this);
}

qint64 WaylandClock::toMonotonic(qint64 ns) const {
    if (clockId_ == CLOCK_MONOTONIC) return ns;
    timespec ts{};
    if (clock_gettime(clockId_, &ts) != 0) return MonotonicNs();
    const qint64 then = qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    return MonotonicNs() - (then - ns);
}

wl_surface* WaylandClock::surface() {
    // Qt makes a new wl_surface when the window is shown again.
    auto* current = static_cast<wl_surface*>(
        QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", window()));
    if (current != qtSurface_) {
        if (surfaceWrapper_) wl_proxy_wrapper_destroy(surfaceWrapper_);
        surfaceWrapper_ = nullptr;
        qtSurface_ = current;
        if (current) {
            surfaceWrapper_ = static_cast<wl_surface*>(wl_proxy_create_wrapper(current));
            if (surfaceWrapper_) wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(surfaceWrapper_), queue_);
        }
    }
    return surfaceWrapper_;
}

void WaylandClock::onPainted(quint64 frame) {
    if (feedbackWanted_ && !feedbackSeen_) countLateFeedback();
    wl_surface* s = surface();
    if (!s) {
        // No surface yet, or none any more: nothing of this frame can show.
        report(frame, 0, 0, std::nullopt, presentation::kDiscarded);
        return;
    }
    // A compositor may never answer for a surface it does not show; the
    // ledger gives such frames up after a second, and so, beyond a bound,
    // does the clock.
    while (watches_.size() >= kMostWatches) {
        FrameWatch& oldest = watches_.front();
        if (oldest.feedback) wp_presentation_feedback_destroy(oldest.feedback);
        if (oldest.callback) wl_callback_destroy(oldest.callback);
        watches_.pop_front();
    }
    FrameWatch& w = watches_.emplace_back();
    w.clock = this;
    w.frame = frame;
    // Both apply to the surface's next commit, which Qt makes when it
    // flushes this paint.
    if (presentation_ && feedbackWanted_) {
        w.feedback = wp_presentation_feedback(presentation_, qtSurface_);
        wp_presentation_feedback_add_listener(w.feedback, &kFeedbackListener, &w);
    }
    w.callback = wl_surface_frame(s);
    wl_callback_add_listener(w.callback, &kFrameListener, &w);
}

void WaylandClock::onPresented(FrameWatch* w, qint64 presentedNs, qint64 refreshNs, quint64 sequence,
                               uint32_t kinds) {
    quint32 flags = presentation::kConfirmed;
    if (kinds & WP_PRESENTATION_FEEDBACK_KIND_VSYNC) flags |= presentation::kVsync;
    if (kinds & WP_PRESENTATION_FEEDBACK_KIND_HW_CLOCK) flags |= presentation::kHardwareClock;
    if (kinds & WP_PRESENTATION_FEEDBACK_KIND_HW_COMPLETION) flags |= presentation::kHardwareCompletion;
    if (kinds & WP_PRESENTATION_FEEDBACK_KIND_ZERO_COPY) flags |= presentation::kZeroCopy;
    if (refreshNs > 0) periodNs_ = refreshNs;
    report(w->frame, presentedNs, refreshNs, sequence ? std::optional<quint64>(sequence) : std::nullopt, flags);
    feedbackDone(w, true);
}

void WaylandClock::onDiscarded(FrameWatch* w) {
    report(w->frame, 0, 0, std::nullopt, presentation::kDiscarded);
    feedbackDone(w, false);
}

void WaylandClock::feedbackDone(FrameWatch* w, bool presented) {
    if (presented) feedbackSeen_ = true;
    const quint64 frame = w->frame;
    wp_presentation_feedback_destroy(w->feedback);
    w->feedback = nullptr;
    releaseIfDone(w);
    frameTaken(frame);
    deliver();
}

void WaylandClock::onFrameDone(FrameWatch* w) {
    const qint64 now = MonotonicNs();
    const quint64 frame = w->frame;
    // Counted while this watch still holds its callback, so it stays.
    if (feedbackWanted_ && !feedbackSeen_) countLateFeedback();
    wl_callback_destroy(w->callback);
    w->callback = nullptr;
    w->callbackNs = now;
    if (w->feedback) callbackArrived(frame, now, periodNs_);
    else {
        // The arrival itself stands in, at once, unless the feedback came first.
        report(frame, now, 0, std::nullopt, 0);
        frameTaken(frame);
    }
    releaseIfDone(w);
    deliver();
}

void WaylandClock::countLateFeedback() {
    const qint64 now = MonotonicNs();
    for (FrameWatch& w : watches_) {
        if (!w.feedback || !w.callbackNs || w.countedLate || now < w.callbackNs + 2 * periodNs_) continue;
        w.countedLate = true;
        ++framesWithoutFeedback_;
    }
    if (framesWithoutFeedback_ < kFeedbackGiveUpFrames) return;
    // This compositor answers no feedback: stop asking for it. The requests
    // already made are forgotten on our side; their frame callbacks stand
    // in as they arrive.
    feedbackWanted_ = false;
    for (FrameWatch& other : watches_) {
        if (other.feedback) wp_presentation_feedback_destroy(other.feedback);
        other.feedback = nullptr;
    }
    watches_.remove_if([](const FrameWatch& other) { return !other.callback; });
}

void WaylandClock::releaseIfDone(FrameWatch* w) {
    if (w->feedback || w->callback) return;
    for (auto it = watches_.begin(); it != watches_.end(); ++it) {
        if (&*it == w) {
            watches_.erase(it);
            return;
        }
    }
}

void WaylandClock::dispatch() {
    if (queue_) wl_display_dispatch_queue_pending(display_, queue_);
}

void WaylandClock::readPending() {
    // What Qt's thread has read for our queue.
    dispatch();
}

} // namespace

std::unique_ptr<PresentationClock> CreateWaylandClock(QWindow* window) {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* display = native ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display")) : nullptr;
    if (!display) return nullptr;
    auto clock = std::make_unique<WaylandClock>(window, display);
    if (!clock->start()) return nullptr;
    return clock;
}
