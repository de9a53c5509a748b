// Soak: a long run of random operator input and timer ticks against the
// real session (the program with its splash, pattern and farewell windows
// on the offscreen platform), on screens from 1x1 to 3840x2160. Each
// screen has its own suite and simulated screen (tests/screens/Soak*.json).
//
// Events: key presses through the pattern window (Esc answered OK or
// Cancel, F12, other keys, with modifiers and as key repeats), mouse
// presses, releases and moves with every button set at positions that
// favour the screen's edges and middle (and, while a button is held,
// beyond the window, where a drag can take the pointer), and ticks of
// every running timer. The timers' own ticks are held back, so a run
// depends only on its seed; the soak delivers ticks itself, some of them
// while the exit question waits.
//
// After every event: no run-time error; `PatternIndex`, auto-play, the
// read-out label's visibility and the timers as the navigation rules
// give them; and on patterns with a still picture, the picture equal to
// the same pattern painted afresh on a form of its own.
//
// VANTREL_SOAK_SEED replays a run (its seed is printed); VANTREL_SOAK_EVENTS
// sets the number of events (100,000 by default).

#include "program.h"
#include "screens/farewell_window.h"
#include "screens/splash_window.h"
#include "session/dispatcher.h"
#include "session/numeric.h"
#include "session/pattern_form.h"
#include "session/pattern_window.h"
#include "session/screen_metrics.h"
#include "session/session_state.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kDefaultEvents = 100000;

uint64_t SoakSeed() {
    bool ok = false;
    const qulonglong fromEnv = qEnvironmentVariable("VANTREL_SOAK_SEED").toULongLong(&ok);
    if (ok) return fromEnv;
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
}

int SoakEvents() {
    bool ok = false;
    const int fromEnv = qEnvironmentVariable("VANTREL_SOAK_EVENTS").toInt(&ok);
    return ok && fromEnv > 0 ? fromEnv : kDefaultEvents;
}

// A 64-bit hash of an image's pixels.
uint64_t PixelHash(const QImage& image) {
    constexpr uint64_t kPrime = 0x100000001b3ull;
    uint64_t lane[4] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull, 0x9e3779b97f4a7c15ull, 0x7f4a7c159e3779b9ull};
    const size_t bytes = static_cast<size_t>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        size_t i = 0;
        for (; i + 32 <= bytes; i += 32) {
            uint64_t w[4];
            std::memcpy(w, row + i, sizeof w);
            for (int k = 0; k < 4; ++k) lane[k] = (lane[k] ^ w[k]) * kPrime;
        }
        for (; i < bytes; i += 4) {
            uint32_t v;
            std::memcpy(&v, row + i, sizeof v);
            lane[0] = (lane[0] ^ v) * kPrime;
        }
    }
    return lane[0] ^ (lane[1] * 3) ^ (lane[2] * 5) ^ (lane[3] * 7);
}

// Patterns whose picture does not change while they are shown.
bool HasStillPicture(int16_t pattern) {
    const PatternInfo* info = FindPattern(pattern);
    return info && info->isStill();
}

int16_t NextPattern(int16_t pattern) { return pattern >= kPatternCount ? 1 : static_cast<int16_t>(pattern + 1); }

// Delivers one tick of a timer whose own ticks are held back.
void DeliverTick(FormTimer& timer) {
    const bool held = timer.blockSignals(false);
    Q_EMIT timer.tick();
    timer.blockSignals(held);
}

class SoakRun {
public:
    SoakRun(uint64_t seed, QScreen* screen) : seed_(seed), rng_(seed), program_(screen) {}

    ~SoakRun() {
        if (program_.hasFarewell()) program_.farewell().close();
        if (program_.hasBackground()) program_.background().close();
        QCoreApplication::processEvents();
    }

    // The real start: the splash window, which measures the screen, closed
    // as a click closes it, opens the pattern window on pattern 1.
    void start() {
        // Created (not loaded) first, so their timers are held back from
        // the start.
        holdTimers(program_.background().form());
        holdFarewellTimers();
        program_.start();
        ASSERT_TRUE(program_.welcome().isLoaded());
        program_.welcome().close();
        ASSERT_TRUE(program_.background().isLoaded());
        bg_ = &program_.background();
        size_ = bg_->form().surface().size();
        dpi_ = bg_->form().surface().logicalDpi();
        refreshEvery_ = size_.width() * size_.height() > 2'000'000 ? 997 : 61;
        check("start");
    }

    // One random event and the checks after it; false once a check failed.
    bool step(int number) {
        number_ = number;
        std::string what;
        try {
            what = randomEvent();
            if (!failed_ && number % refreshEvery_ == 0) QCoreApplication::processEvents(); // repaint the window
        } catch (const numeric::RuntimeError& error) {
            fail(what.empty() ? "event" : what,
                 "run-time error " + std::to_string(error.code()) + " " + error.name().toStdString());
        }
        if (!failed_) check(what);
        ++eventKinds_[what.substr(0, what.find_first_of(" :"))];
        visited_.insert(pattern_);
        return !failed_;
    }

    // What the run did, e.g. "move 30012, press 11987, ..., 67 patterns shown".
    std::string summary() const {
        std::ostringstream out;
        for (const auto& [kind, count] : eventKinds_) out << kind << " " << count << ", ";
        out << visited_.size() << " patterns shown, " << stillChecks_ << " still pictures compared";
        return out.str();
    }

    bool failed() const { return failed_; }

private:
    // ---- events -------------------------------------------------------------

    std::string randomEvent() {
        // While a block moves or a box flashes, its ticks come far more
        // often than the operator's input.
        const PatternForm& form = bg_->form();
        if ((form.Timer1.enabled() || form.Timer2.enabled()) && pick(2) == 0) return tick();
        const int roll = pick(100);
        if (roll < 30) return mouseMove();
        if (roll < 42) return mousePress();
        if (roll < 54) return mouseRelease();
        if (roll < 61) return keyF12();
        if (roll < 64) return keyEscape();
        if (roll < 73) return otherKey();
        if (roll < 98) return tick();
        return farewellEvent();
    }

    int pick(int n) { return static_cast<int>(std::uniform_int_distribution<int>(0, n - 1)(rng_)); }

    // A coordinate on an axis of n pixels: the edges and the middle often.
    int coordinate(int n) {
        switch (pick(8)) {
        case 0: return 0;
        case 1: return n - 1;
        case 2: return n / 2;
        case 3: return std::max(0, n / 2 - 1);
        default: return pick(n);
        }
    }

    // Beyond the window: only a drag (a button held) brings the pointer there.
    int outside(int n) {
        switch (pick(4)) {
        case 0: return -1;
        case 1: return n;
        case 2: return -1 - pick(2000);
        default: return n + pick(2000);
        }
    }

    QPoint position(bool mayLeave) {
        if (mayLeave && pick(25) == 0) {
            const bool leaveX = pick(2) == 0;
            return {leaveX ? outside(size_.width()) : coordinate(size_.width()),
                    leaveX ? coordinate(size_.height()) : outside(size_.height())};
        }
        return {coordinate(size_.width()), coordinate(size_.height())};
    }

    Qt::KeyboardModifiers modifiers() {
        switch (pick(10)) {
        case 0: return Qt::ShiftModifier;
        case 1: return Qt::ControlModifier;
        case 2: return Qt::AltModifier;
        case 3: return Qt::ShiftModifier | Qt::ControlModifier;
        default: return Qt::NoModifier;
        }
    }

    Qt::MouseButton randomButton() {
        switch (pick(10)) {
        case 0: case 1: case 2: case 3: return Qt::LeftButton;
        case 4: case 5: case 6: return Qt::RightButton;
        case 7: case 8: return Qt::MiddleButton;
        default: return Qt::BackButton; // a button the window knows no code for
        }
    }

    static std::string describe(const char* what, QPoint p, Qt::MouseButtons set) {
        std::ostringstream out;
        out << what << " at (" << p.x() << ", " << p.y() << ") buttons 0x" << std::hex << set.toInt();
        return out.str();
    }

    void sendMouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
        // Positions are device pixels; the simulated screens have one device
        // pixel per logical pixel.
        QMouseEvent event(type, QPointF(p), bg_->mapToGlobal(QPointF(p)), button, buttons, modifiers());
        QCoreApplication::sendEvent(bg_, &event);
    }

    std::string mouseMove() {
        // Mostly the buttons actually held; sometimes any set, as a window
        // can see when a press or release happened elsewhere.
        const Qt::MouseButtons set = pick(10) == 0 ? Qt::MouseButtons::fromInt(pick(8) == 7 ? 0x7 : pick(8)) : held_;
        const QPoint p = position(set != Qt::NoButton);
        sendMouse(QEvent::MouseMove, p, Qt::NoButton, set);
        // Only the left, right and middle buttons count in the set.
        if ((set & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton)) == Qt::RightButton) cursorVisible_ = true;
        if (pattern_ == 65) cursorVisible_ = true;
        return describe("move", p, set);
    }

    std::string mousePress() {
        const Qt::MouseButton button = randomButton();
        held_ |= button;
        const QPoint p = position(false);
        sendMouse(QEvent::MouseButtonPress, p, button, held_);
        if (button == Qt::LeftButton) {
            pattern_ = NextPattern(pattern_);
            painted();
        }
        if (button == Qt::RightButton) cursorVisible_ = true;
        return describe("press", p, button);
    }

    std::string mouseRelease() {
        // Usually a held button; sometimes one pressed somewhere else.
        Qt::MouseButton button = randomButton();
        if (held_ != Qt::NoButton && pick(5) != 0) {
            for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton, Qt::BackButton}) {
                if (held_ & b) {
                    button = b;
                    break;
                }
            }
        }
        const QPoint p = position(held_ != Qt::NoButton);
        held_ &= ~Qt::MouseButtons(button);
        sendMouse(QEvent::MouseButtonRelease, p, button, held_);
        // A button the window knows no code for does nothing.
        if (button != Qt::BackButton) cursorVisible_ = pattern_ == 65;
        return describe("release", p, button);
    }

    void sendKey(int key, Qt::KeyboardModifiers mods, bool repeat, const QString& text = QString()) {
        QKeyEvent event(QEvent::KeyPress, key, mods, text, repeat);
        QCoreApplication::sendEvent(bg_, &event);
    }

    std::string keyF12() {
        const bool repeat = pick(4) == 0;
        sendKey(Qt::Key_F12, modifiers(), repeat);
        autoPlayOn_ = !autoPlayOn_;
        painted();
        return repeat ? "F12 (repeat)" : "F12";
    }

    std::string otherKey() {
        static constexpr int kKeys[] = {Qt::Key_A, Qt::Key_Z, Qt::Key_0, Qt::Key_Space, Qt::Key_Return,
                                        Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_F1,
                                        Qt::Key_F11, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Backspace,
                                        Qt::Key_Delete, Qt::Key_Home, Qt::Key_Tab, Qt::Key_unknown};
        const int key = kKeys[pick(static_cast<int>(std::size(kKeys)))];
        const QString text = key == Qt::Key_A ? QStringLiteral("a") : key == Qt::Key_Space ? QStringLiteral(" ") : QString();
        sendKey(key, modifiers(), pick(4) == 0, text);
        return "key 0x" + QString::number(key, 16).toStdString();
    }

    // Esc, with the exit question answered OK or Cancel; while it waits, a
    // running timer may tick behind it.
    std::string keyEscape() {
        const bool answerOk = pick(2) == 0;
        const bool tickBehindBox = pick(3) == 0;
        const bool farewellWasLoaded = program_.hasFarewell() && program_.farewell().isLoaded();
        std::string tickError;
        const QMessageBox::StandardButton answer = answerOk ? QMessageBox::Ok : QMessageBox::Cancel;
        test::ModalAnswerer answerer(answer, [&] {
            if (tickBehindBox) {
                try {
                    tick();
                } catch (const numeric::RuntimeError& error) {
                    tickError = "run-time error " + std::to_string(error.code()) + " behind the exit question";
                }
            }
            return true;
        });
        sendKey(Qt::Key_Escape, modifiers(), pick(6) == 0);
        const std::string what = answerOk ? "Esc-OK" : "Esc-Cancel";
        const std::optional<test::SeenBox>& box = answerer.seen();
        if (!box) {
            fail(what, "no exit question came up");
            return what;
        }
        if (box->title != QStringLiteral("Exit - Quillmere") || box->text != QStringLiteral("Exit The Test Program ?!"))
            fail(what, "the exit question has the wrong title or text");
        else if (!(box->buttons & answer)) fail(what, "the exit question lacks OK or Cancel");
        else if (!tickError.empty()) fail(what, tickError);
        if (failed_) return what;
        if (answerOk) {
            if (!program_.hasFarewell() || !program_.farewell().isLoaded()) {
                fail(what, "OK did not open the farewell window");
                return what;
            }
            if (!farewellWasLoaded) autoPlayOn_ = false; // its load switches auto-play off
        }
        return what;
    }

    // A tick of one of the timers that are running; a stopped timer
    // delivers none.
    std::string tick() {
        PatternForm& form = bg_->form();
        std::vector<FormTimer*> running;
        for (FormTimer* t : {&form.Timer1, &form.Timer2, &form.AutoPlay})
            if (t->enabled()) running.push_back(t);
        if (program_.hasFarewell() && program_.farewell().Timer2.enabled())
            running.push_back(&program_.farewell().Timer2);
        if (running.empty()) return "idle: no timer running";
        FormTimer* timer = running[static_cast<size_t>(pick(static_cast<int>(running.size())))];
        DeliverTick(*timer);
        if (timer == &form.Timer1) return "Timer1";
        if (timer == &form.Timer2) return "Timer2";
        if (timer == &form.AutoPlay) {
            pattern_ = NextPattern(pattern_);
            painted();
            return "AutoPlay";
        }
        return "farewell-tick";
    }

    // The farewell window's own end closes every window; the soak closes
    // only the farewell window, so that the session goes on.
    std::string farewellEvent() {
        if (!program_.hasFarewell() || !program_.farewell().isLoaded()) return "idle: farewell not open";
        program_.farewell().close();
        return "farewell-close";
    }

    // A PaintPattern call, as the model expects it.
    void painted() {
        autoPlayTimer_ = autoPlayOn_;
        cursorVisible_ = pattern_ == 65; // the cross-hair's branch shows the read-out
    }

    void holdTimers(PatternForm& form) {
        form.Timer1.blockSignals(true);
        form.Timer2.blockSignals(true);
        form.AutoPlay.blockSignals(true);
    }

    void holdFarewellTimers() {
        VerApprove& farewell = program_.farewell();
        farewell.Timer1.blockSignals(true);
        farewell.Timer2.blockSignals(true);
    }

    // ---- checks -------------------------------------------------------------

    void fail(const std::string& what, const std::string& why) {
        if (failed_) return;
        failed_ = true;
        std::ostringstream trail;
        for (const std::string& e : recent_) trail << "\n    " << e;
        ADD_FAILURE() << "soak seed " << seed_ << ", event " << number_ << " (" << what << "): " << why
                      << "\n  replay with VANTREL_SOAK_SEED=" << seed_ << "; the events before it:" << trail.str();
    }

    void check(const std::string& what) {
        recent_.push_back(std::to_string(number_) + ": " + what);
        if (recent_.size() > 12) recent_.pop_front();
        PatternForm& form = bg_->form();
        const int16_t index = SessionState.PatternIndex;
        if (index < 1 || index > kPatternCount) return fail(what, "PatternIndex " + std::to_string(index) + " left 1..67");
        if (index != pattern_)
            return fail(what, "PatternIndex " + std::to_string(index) + ", expected " + std::to_string(pattern_));
        if (SessionState.AutoPlayOn != (autoPlayOn_ ? kTrue : kFalse))
            return fail(what, "AutoPlayOn " + std::to_string(SessionState.AutoPlayOn));
        if (form.AutoPlay.enabled() != autoPlayTimer_)
            return fail(what, std::string("AutoPlay timer ") + (autoPlayTimer_ ? "stopped" : "running"));
        const bool timer1Wanted = pattern_ >= 59 && pattern_ <= 62;
        if (form.Timer1.enabled() != timer1Wanted)
            return fail(what, std::string("Timer1 ") + (timer1Wanted ? "stopped" : "running") + " on pattern " +
                                  std::to_string(pattern_));
        if (form.Timer2.enabled() != (pattern_ == 57))
            return fail(what, std::string("Timer2 ") + (pattern_ == 57 ? "stopped" : "running") + " on pattern " +
                                  std::to_string(pattern_));
        if (form.Cursor.Visible != cursorVisible_)
            return fail(what, std::string("read-out ") + (cursorVisible_ ? "hidden" : "shown") + " on pattern " +
                                  std::to_string(pattern_));
        if (bg_->cursorLabel().isVisibleTo(bg_) != cursorVisible_)
            return fail(what, "the read-out label on the window does not follow the read-out");
        if (HasStillPicture(pattern_)) checkStillPicture(what);
    }

    void checkStillPicture(const std::string& what) {
        const QImage& image = bg_->form().surface().image();
        // Only a picture that was drawn on since it was last found right
        // needs comparing again.
        if (image.cacheKey() == checkedKey_ && pattern_ == checkedPattern_) return;
        ++stillChecks_;
        if (PixelHash(image) != referenceHash(pattern_))
            return fail(what, "the picture of pattern " + std::to_string(pattern_) +
                                  " differs from the pattern painted afresh: " +
                                  test::FirstDifference(image, paintAfresh(pattern_)));
        checkedKey_ = image.cacheKey();
        checkedPattern_ = pattern_;
    }

    uint64_t referenceHash(int16_t pattern) {
        auto it = referenceHashes_.find(pattern);
        if (it == referenceHashes_.end()) it = referenceHashes_.emplace(pattern, PixelHash(paintAfresh(pattern))).first;
        return it->second;
    }

    // The pattern painted on a form of its own, from the same screen size;
    // the session's state is left as it was.
    QImage paintAfresh(int16_t pattern) {
        const SessionStateRecord saved = SessionState;
        QImage image = RenderPattern(pattern, size_, dpi_);
        SessionState = saved;
        return image;
    }

    const uint64_t seed_;
    std::mt19937_64 rng_;
    Program program_;
    Background* bg_ = nullptr;
    QSize size_;
    qreal dpi_ = 96.0;
    int refreshEvery_ = 61;
    int number_ = 0;
    bool failed_ = false;
    std::deque<std::string> recent_;

    // What the navigation rules say the session should be.
    int16_t pattern_ = 1;
    bool autoPlayOn_ = false;
    bool autoPlayTimer_ = false;
    bool cursorVisible_ = false;
    Qt::MouseButtons held_;

    // Still pictures found right.
    std::map<int16_t, uint64_t> referenceHashes_;
    std::map<std::string, int> eventKinds_;
    std::set<int16_t> visited_;
    qint64 checkedKey_ = 0;
    int16_t checkedPattern_ = 0;
    int stillChecks_ = 0;
};

void RunSoak(QSize screenSize) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    if (DeviceSize(screen) != screenSize)
        GTEST_SKIP() << "runs on its own simulated screen of " << screenSize.width() << "x" << screenSize.height()
                     << " (ctest screen:" << ::testing::UnitTest::GetInstance()->current_test_suite()->name() << ")";
    const uint64_t seed = SoakSeed();
    const int events = SoakEvents();
    std::printf("soak %dx%d: seed %llu, %d events (replay with VANTREL_SOAK_SEED=%llu)\n", screenSize.width(),
                screenSize.height(), static_cast<unsigned long long>(seed), events,
                static_cast<unsigned long long>(seed));
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    int done = 0;
    std::string summary;
    {
        SoakRun run(seed, screen);
        run.start();
        ASSERT_FALSE(run.failed());
        while (done < events && run.step(done + 1)) ++done;
        summary = run.summary();
    }
    std::printf("soak %dx%d: %d events in %.1f s (%s)\n", screenSize.width(), screenSize.height(), done,
                clock.elapsed() / 1000.0, summary.c_str());
    EXPECT_EQ(done, events);
}

} // namespace

TEST(Soak1x1, RandomOperatorInputKeepsTheSessionConsistent) { RunSoak(QSize(1, 1)); }
TEST(Soak20x20, RandomOperatorInputKeepsTheSessionConsistent) { RunSoak(QSize(20, 20)); }
TEST(Soak35x35, RandomOperatorInputKeepsTheSessionConsistent) { RunSoak(QSize(35, 35)); }
TEST(Soak800x600, RandomOperatorInputKeepsTheSessionConsistent) { RunSoak(QSize(800, 600)); }
TEST(Soak1366x768, RandomOperatorInputKeepsTheSessionConsistent) { RunSoak(QSize(1366, 768)); }
TEST(Soak3840x2160, RandomOperatorInputKeepsTheSessionConsistent) { RunSoak(QSize(3840, 2160)); }
