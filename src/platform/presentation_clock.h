#pragma once
// When each repaint of a window reached the screen. A window tells its
// clock when it asked for a repaint and when it painted; the clock answers
// with one record per painted frame, in the order the frames were painted:
// when the frame was presented and how the display server knows it, all on
// CLOCK_MONOTONIC in nanoseconds.
//
// Three backends stand behind the one interface:
// - Wayland: wp_presentation feedback for each commit of the window's
//   surface (presented time, refresh, sequence, flags, or discarded), asked
//   on Qt's own connection through a private event queue. Where the
//   compositor offers no feedback, or it does not come within two periods
//   of the frame callback for the same commit, the frame callback's arrival
//   stands in, unconfirmed.
// - X11: the Present extension on a connection of the clock's own: the
//   vblank after each flush (its UST and MSC), unconfirmed, since Qt's X11
//   path does not say whether the pixels reached the screen at that vblank.
// - Elsewhere: the time of the flush, unconfirmed, with Qt's refresh rate.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

class QScreen;
class QWindow;

// The flags of a presented frame. The first three are the ones a remote
// caller sees: bit 0 confirmed, bit 1 vsync, bit 2 hardware clock.
namespace presentation {
constexpr quint32 kConfirmed = 1u << 0;          // the server says the frame reached the screen
constexpr quint32 kVsync = 1u << 1;              // shown at a vertical blank, without tearing
constexpr quint32 kHardwareClock = 1u << 2;      // the time comes from the display hardware
constexpr quint32 kHardwareCompletion = 1u << 3; // the hardware said when the frame went out
constexpr quint32 kZeroCopy = 1u << 4;           // scanned out of the window's own buffer
constexpr quint32 kDiscarded = 1u << 5;          // never shown: a later frame replaced it
} // namespace presentation

// One painted frame and its presentation.
struct PresentedFrame {
    quint64 frame = 0;       // 1, 2, ... in the order the window painted
    quint32 tag = 0;         // what the window noted on the frame (the pattern number)
    bool paced = false;      // a step of a picture that advances once per refresh
    qint64 requestedNs = 0;  // the repaint was asked for
    qint64 presentedNs = 0;  // the frame was presented; 0 when discarded
    qint64 refreshNs = 0;    // the refresh period the server reports; 0 when it reports none
    std::optional<quint64> sequence; // the server's count of refreshes (Wayland's sequence, X11's MSC)
    quint32 flags = 0;

    bool discarded() const { return flags & presentation::kDiscarded; }
    bool confirmed() const { return flags & presentation::kConfirmed; }
};

// CLOCK_MONOTONIC now, in nanoseconds.
qint64 MonotonicNs();

// The frames painted and not yet reported, matched with what the display
// server tells of them, and handed out in the order they were painted. No
// display server and no clock of its own: every time comes in as an
// argument, so the matching can be followed step by step.
class FrameLedger {
public:
    // How long a frame may go without any word from the server before it
    // counts as discarded (the window was hidden, its surface went away).
    static constexpr qint64 kLostAfterNs = 1'000'000'000;

    // A repaint was asked for: the first request since the last paint is
    // the frame's request time.
    void requested(qint64 nowNs);
    // The window painted a frame: its number (1, 2, ...).
    quint64 painted(qint64 nowNs, quint32 tag, bool paced);
    // The frame left for the display server.
    void flushed(quint64 frame, qint64 nowNs);
    // The frame callback of the frame's commit arrived: unless the server
    // reports the frame's presentation within two periods of `nowNs`, the
    // arrival stands in for it, unconfirmed.
    void callbackArrived(quint64 frame, qint64 nowNs, qint64 periodNs);
    // The server's report of the frame: presented at `presentedNs`, or
    // discarded (flags with presentation::kDiscarded). A frame already
    // reported (a stand-in whose time had come) keeps its first report.
    void report(quint64 frame, qint64 presentedNs, qint64 refreshNs, std::optional<quint64> sequence,
                quint32 flags);
    // Reports the frames whose stand-in time has come, and the frames heard
    // of not at all for kLostAfterNs, as discarded.
    void expire(qint64 nowNs);
    // The next reported frame in paint order, or none while the oldest is
    // still waiting.
    std::optional<PresentedFrame> takeReported();
    // When expire() next has something to do.
    std::optional<qint64> nextDeadline() const;
    // Frames painted and not yet handed out.
    std::size_t waiting() const { return frames_.size(); }
    // The number of the newest frame painted, 0 before the first.
    quint64 lastFrame() const { return lastFrame_; }
    // Whether the frame is painted, not yet reported, and its callback has
    // not arrived.
    bool awaitsWord(quint64 frame) const;

private:
    struct Entry {
        PresentedFrame record;
        qint64 paintedNs = 0;
        std::optional<qint64> standInAtNs; // the callback's arrival
        std::optional<qint64> standInDueNs;
        bool reported = false;
        bool heard = false;
    };
    Entry* find(quint64 frame);

    std::deque<Entry> frames_;
    std::optional<qint64> pendingRequestNs_;
    quint64 lastFrame_ = 0;
};

// The presentation clock of one window. Create it with ForWindow() once the
// window is shown; it lives no longer than the window.
class PresentationClock : public QObject {
    Q_OBJECT
public:
    enum class Source {
        Flush,   // the flush time stands in
        Wayland, // presentation feedback, frame callbacks standing in
        X11,     // the Present extension's vblank after the flush
    };

    ~PresentationClock() override;

    // The best clock the platform offers for `window`; the flush time
    // where no display server backend is built or none can start.
    static std::unique_ptr<PresentationClock> ForWindow(QWindow* window);

    Source source() const { return source_; }
    // Whether this clock can confirm a presentation (a compositor that
    // offers presentation feedback).
    virtual bool canConfirm() const { return false; }

    // The window asked for a repaint.
    void repaintRequested();
    // The window is painting a frame, which its next flush shows; `tag`
    // and `paced` come back in the frame's record. The frame's number.
    quint64 framePainted(quint32 tag, bool paced);
    // No readyForFrame from now on: nothing steps any more (the run-time
    // error course). Records still come.
    void stopPacing() { pacing_ = false; }

Q_SIGNALS:
    // One record per painted frame, in paint order, as soon as its
    // presentation (or that it was discarded) is known.
    void presented(const PresentedFrame& frame);
    // The display server took the last frame: a picture that advances once
    // per refresh draws its next step now.
    void readyForFrame();

protected:
    PresentationClock(QWindow* window, Source source);

    // Backend hooks: the frame is being painted (a Wayland clock asks for
    // its feedback before Qt commits), and its paint has been flushed.
    virtual void onPainted(quint64 frame) = 0;
    virtual void onFlushed(quint64 frame) = 0;
    // Reads what the server sent and has not been handled yet.
    virtual void readPending() {}

    // What the backends tell, at CLOCK_MONOTONIC nanoseconds.
    void callbackArrived(quint64 frame, qint64 nowNs, qint64 periodNs);
    void report(quint64 frame, qint64 presentedNs, qint64 refreshNs, std::optional<quint64> sequence, quint32 flags);
    // Says the server took the frame (at most once per frame).
    void frameTaken(quint64 frame);
    // Hands out what is reported and sets the timer for the next deadline.
    void deliver();

    QWindow* window() const { return window_; }
    // The refresh period Qt announces for the window's screen, 60 Hz when
    // it announces none.
    qint64 announcedPeriodNs() const;

private:
    void expire();

    QWindow* window_;
    Source source_;
    FrameLedger ledger_;
    QTimer deadline_;
    quint64 lastTaken_ = 0;
    bool pacing_ = true;
};

// The refresh of `screen` measured over about `ms` milliseconds of
// presentations of a small window on it, where the display server confirms
// them; none where it cannot (X11, a compositor without presentation
// feedback, or one that offers it and sends none).
std::optional<double> MeasureRefreshHz(QScreen* screen, int ms = 1000);
