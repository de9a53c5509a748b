// The X11 presentation clock: the Present extension on a connection of the
// clock's own, whose socket wakes the GUI thread when an event comes. After
// each flush of the window it asks to be told of the next vertical blank
// (PresentNotifyMSC), and the PresentCompleteNotify answering it gives that
// blank's time (UST, microseconds on CLOCK_MONOTONIC) and count (MSC).
// The events arrive through a special event queue of their own, selected
// on the window. Qt's X11 path copies the window's pixels to the server
// without waiting for a blank, so the clock cannot confirm that the frame
// was on the screen at that blank: its records are unconfirmed.

#include "platform/backends.h"
#include "platform/presentation_clock.h"

#include <QSocketNotifier>
#include <QWindow>

#include <xcb/present.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cstdlib>
#include <deque>

namespace {

class X11Clock : public PresentationClock {
public:
    explicit X11Clock(QWindow* window) : PresentationClock(window, Source::X11) {}
    ~X11Clock() override;

    bool start();

protected:
    void onPainted(quint64) override {}
    void onFlushed(quint64 frame) override;
    void readPending() override;

private:
    // Selects the Present events on the window's current X window.
    bool watchWindow();
    void complete(const xcb_present_complete_notify_event_t& event);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t xWindow_ = 0;
    uint32_t eventId_ = 0;
    xcb_special_event_t* events_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::deque<quint64> asked_; // frames whose blank was asked for, oldest first
};

X11Clock::~X11Clock() {
    notifier_.reset();
    if (connection_) {
        if (events_) xcb_unregister_for_special_event(connection_, events_);
        xcb_disconnect(connection_);
    }
}

bool X11Clock::start() {
    connection_ = xcb_connect(nullptr, nullptr);
    if (!connection_ || xcb_connection_has_error(connection_)) return false;
    const xcb_query_extension_reply_t* present = xcb_get_extension_data(connection_, &xcb_present_id);
    if (!present || !present->present) return false;
    xcb_present_query_version_reply_t* version =
        xcb_present_query_version_reply(connection_, xcb_present_query_version(connection_, 1, 0), nullptr);
    if (!version) return false;
    std::free(version);
    if (!watchWindow()) return false;
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &X11Clock::readPending);
    return true;
}

bool X11Clock::watchWindow() {
    const auto id = static_cast<xcb_window_t>(window()->winId());
    if (id == xWindow_ && events_) return true;
    if (events_) xcb_unregister_for_special_event(connection_, events_);
    events_ = nullptr;
    xWindow_ = id;
    eventId_ = xcb_generate_id(connection_);
    const xcb_void_cookie_t selected = xcb_present_select_input_checked(
        connection_, eventId_, xWindow_, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
    events_ = xcb_register_for_special_xge(connection_, &xcb_present_id, eventId_, nullptr);
    if (xcb_generic_error_t* error = xcb_request_check(connection_, selected)) {
        std::free(error);
        return false;
    }
    return events_ != nullptr;
}

void X11Clock::onFlushed(quint64 frame) {
    if (!watchWindow()) return; // the window went away: the ledger counts the frame lost in time
    // The next blank: any count (divisor 1) past the current one.
    xcb_present_notify_msc(connection_, xWindow_, static_cast<uint32_t>(frame), 0, 1, 0);
    xcb_flush(connection_);
    if (asked_.size() >= 256) asked_.pop_front(); // never answered: the ledger gave it up
    asked_.push_back(frame);
}

void X11Clock::complete(const xcb_present_complete_notify_event_t& event) {
    if (event.kind != XCB_PRESENT_COMPLETE_KIND_NOTIFY_MSC) return;
    // The serial holds the frame's low 32 bits. Two frames flushed before
    // one blank are answered at that blank in either order.
    const auto asked = std::find_if(asked_.begin(), asked_.end(),
                                    [&event](quint64 f) { return static_cast<uint32_t>(f) == event.serial; });
    if (asked == asked_.end()) return;
    const quint64 frame = *asked;
    asked_.erase(asked);
    const qint64 now = MonotonicNs();
    qint64 at = qint64(event.ust) * 1000;
    // UST is the server's CLOCK_MONOTONIC: a server on another machine
    // has another, and the arrival must do.
    if (at > now + 1'000'000'000 || at < now - 1'000'000'000) at = now;
    report(frame, at, 0, quint64(event.msc), 0);
    frameTaken(frame);
}

void X11Clock::readPending() {
    if (!connection_) return;
    while (xcb_generic_event_t* event = xcb_poll_for_special_event(connection_, events_)) {
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (generic->event_type == XCB_PRESENT_EVENT_COMPLETE_NOTIFY)
            complete(*reinterpret_cast<const xcb_present_complete_notify_event_t*>(event));
        std::free(event);
    }
    // Errors (the window destroyed under a request) and anything else.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
    deliver();
}

} // namespace

std::unique_ptr<PresentationClock> CreateX11Clock(QWindow* window) {
    auto clock = std::make_unique<X11Clock>(window);
    if (!clock->start()) return nullptr;
    return clock;
}
