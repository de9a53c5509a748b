// Frame truth above the display server: the ledger that matches painted
// frames with what the server tells of them (a frame callback standing in
// two periods after it arrives, a frame heard of not at all), the log's
// arithmetic (sequence gaps, a wrapping counter, the median period), the
// log file, and the pattern window telling each presented pattern.

#include "frames/frame_log.h"
#include "platform/presentation_clock.h"
#include "program.h"
#include "screens/splash_window.h"
#include "session/pattern_window.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace presentation;

constexpr qint64 kMs = 1'000'000;

// One thing that happens to the ledger, times in milliseconds.
struct Event {
    enum Kind { Request, Paint, Callback, Report, Expire } kind;
    quint64 frame = 0;
    qint64 ms = 0;
    qint64 refreshMs = 0;
    std::optional<quint64> sequence;
    quint32 flags = 0;
    bool paced = true;
};
Event Request(qint64 ms) { return {Event::Request, 0, ms, 0, {}, 0, true}; }
Event Paint(qint64 ms, bool paced = true) { return {Event::Paint, 0, ms, 0, {}, 0, paced}; }
Event Callback(quint64 frame, qint64 ms, qint64 periodMs) { return {Event::Callback, frame, ms, periodMs, {}, 0, true}; }
Event Present(quint64 frame, qint64 ms, qint64 refreshMs, std::optional<quint64> seq, quint32 flags = kConfirmed) {
    return {Event::Report, frame, ms, refreshMs, seq, flags, true};
}
Event Discard(quint64 frame) { return {Event::Report, frame, 0, 0, {}, kDiscarded, true}; }
Event Expire(qint64 ms) { return {Event::Expire, 0, ms, 0, {}, 0, true}; }

struct Timeline {
    const char* name;
    std::vector<Event> events;
    const char* lines;   // the log's lines after the header, as they come
    const char* summary; // "" leaves the summary unchecked
};

void PrintTo(const Timeline& t, std::ostream* os) { *os << t.name; }

class FrameTiming : public ::testing::TestWithParam<Timeline> {};

TEST_P(FrameTiming, GivesTheLogsLines) {
    const Timeline& t = GetParam();
    FrameLedger ledger;
    FrameStatistics statistics;
    std::string lines;
    for (const Event& e : t.events) {
        switch (e.kind) {
        case Event::Request: ledger.requested(e.ms * kMs); break;
        case Event::Paint: ledger.painted(e.ms * kMs, 126, e.paced); break;
        case Event::Callback: ledger.callbackArrived(e.frame, e.ms * kMs, e.refreshMs * kMs); break;
        case Event::Report: ledger.report(e.frame, e.ms * kMs, e.refreshMs * kMs, e.sequence, e.flags); break;
        case Event::Expire: ledger.expire(e.ms * kMs); break;
        }
        while (std::optional<PresentedFrame> f = ledger.takeReported())
            lines += FrameLogLine(*f, statistics.add(*f)).toStdString();
    }
    EXPECT_EQ(lines, t.lines);
    if (*t.summary) {
        EXPECT_EQ(statistics.summary().toStdString(), t.summary);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Timelines, FrameTiming,
    ::testing::Values(
        Timeline{"SequenceGapsCountTheRefreshesSkipped",
                 // The server's count wins over the clock's (32 ms would be one refresh missed).
                 {Paint(0), Present(1, 10, 16, 100), Paint(11), Present(2, 26, 16, 101), Paint(27),
                  Present(3, 58, 16, 104, kConfirmed | kVsync | kHardwareClock | kHardwareCompletion | kZeroCopy),
                  Paint(59), Present(4, 74, 16, 105)},
                 "1,126,0,10000000,,16000000,100,confirmed,0\n"
                 "2,126,11000000,26000000,16000000,16000000,101,confirmed,0\n"
                 "3,126,27000000,58000000,32000000,16000000,104,confirmed|vsync|hw-clock|hw-completion|zero-copy,2\n"
                 "4,126,59000000,74000000,16000000,16000000,105,confirmed,0\n",
                 "frames 4, period 16.000 ms, interval mean 21.333 ms sd 7.542 ms p99 32.000 ms, missed 2, confirmed"},
        Timeline{"WithoutAReportedRefreshThePeriodIsTheMedianInterval",
                 {Paint(0), Present(1, 0, 0, {}, 0), Paint(1), Present(2, 16, 0, {}, 0), Paint(17),
                  Present(3, 32, 0, {}, 0), Paint(33), Present(4, 48, 0, {}, 0), Paint(49), Present(5, 96, 0, {}, 0),
                  Paint(97), Present(6, 112, 0, {}, 0)},
                 "1,126,0,0,,0,,unconfirmed,0\n"
                 "2,126,1000000,16000000,16000000,0,,unconfirmed,0\n"
                 "3,126,17000000,32000000,16000000,0,,unconfirmed,0\n"
                 "4,126,33000000,48000000,16000000,0,,unconfirmed,0\n"
                 "5,126,49000000,96000000,48000000,0,,unconfirmed,2\n"
                 "6,126,97000000,112000000,16000000,0,,unconfirmed,0\n",
                 "frames 6, period 16.000 ms, interval mean 22.400 ms sd 12.800 ms p99 48.000 ms, missed 2, unconfirmed"},
        Timeline{"AThirtyTwoBitCounterWraps",
                 // 40 ms would be two refreshes missed by the clock; the wrapped count says one.
                 {Paint(0), Present(1, 0, 16, 0xfffffffeu), Paint(1), Present(2, 16, 16, 0xffffffffu), Paint(17),
                  Present(3, 56, 16, 1), Paint(57), Present(4, 72, 16, 2)},
                 "1,126,0,0,,16000000,4294967294,confirmed,0\n"
                 "2,126,1000000,16000000,16000000,16000000,4294967295,confirmed,0\n"
                 "3,126,17000000,56000000,40000000,16000000,1,confirmed,1\n"
                 "4,126,57000000,72000000,16000000,16000000,2,confirmed,0\n",
                 ""},
        Timeline{"ACounterThatGoesBackOrJumpsIsLeftForTheClock",
                 {Paint(0), Present(1, 0, 16, 0x100000010u), Paint(1), Present(2, 32, 16, 0x100000002u), Paint(33),
                  Present(3, 48, 16, 0x100000900u)},
                 "1,126,0,0,,16000000,4294967312,confirmed,0\n"
                 "2,126,1000000,32000000,32000000,16000000,4294967298,confirmed,1\n"
                 "3,126,33000000,48000000,16000000,16000000,4294969600,confirmed,0\n",
                 ""},
        Timeline{"FramesThatAreNotStepsMissNothing",
                 {Paint(0, false), Present(1, 5, 0, {}, 0), Paint(100, false), Present(2, 105, 0, {}, 0),
                  Paint(300, false), Present(3, 305, 0, {}, 0)},
                 "1,126,0,5000000,,0,,unconfirmed,0\n"
                 "2,126,100000000,105000000,100000000,0,,unconfirmed,0\n"
                 "3,126,300000000,305000000,200000000,0,,unconfirmed,0\n",
                 "frames 3, period 150.000 ms, interval mean 150.000 ms sd 50.000 ms p99 200.000 ms, missed 0, "
                 "unconfirmed"},
        Timeline{"TheFrameCallbackStandsInTwoPeriodsAfterItArrives",
                 {Request(1), Paint(2), Callback(1, 10, 16), Expire(41), Expire(42), Present(1, 50, 16, 9)},
                 "1,126,1000000,10000000,,0,,unconfirmed,0\n", ""},
        Timeline{"FeedbackWithinTwoPeriodsIsKept",
                 {Request(3), Request(5), Paint(8), Callback(1, 10, 16), Expire(41),
                  Present(1, 40, 16, 7, kConfirmed | kVsync), Expire(100)},
                 "1,126,3000000,40000000,,16000000,7,confirmed|vsync,0\n", ""},
        Timeline{"AFrameHeardOfNotAtAllIsDiscardedAfterASecondAndLaterFramesWaitForIt",
                 {Paint(0), Paint(5), Present(2, 20, 16, 3), Expire(999), Expire(1000)},
                 "1,126,0,,,,,discarded,\n"
                 "2,126,5000000,20000000,,16000000,3,confirmed,0\n",
                 "frames 1, period 16.000 ms, interval mean 0.000 ms sd 0.000 ms p99 0.000 ms, missed 0, confirmed"},
        Timeline{"TheServerDiscardsAFrame",
                 {Paint(0), Paint(1), Discard(1), Callback(2, 10, 16), Present(2, 16, 16, 5)},
                 "1,126,0,,,,,discarded,\n"
                 "2,126,1000000,16000000,,16000000,5,confirmed,0\n",
                 ""}),
    [](const ::testing::TestParamInfo<Timeline>& info) { return std::string(info.param.name); });

TEST(FrameLog, ReplacesAnOlderFileAndWritesEachLineAsItComes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frames.csv"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older log\n");
    old.close();

    FrameLog log;
    QString error;
    ASSERT_TRUE(log.open(path, &error)) << error.toStdString();
    PresentedFrame f;
    f.frame = 1;
    f.tag = 7;
    f.requestedNs = 100;
    f.presentedNs = 200;
    f.refreshNs = 16'666'667;
    f.flags = kConfirmed;
    log.add(f);
    QFile read(path);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    EXPECT_EQ(read.readAll().toStdString(),
              "frame,pattern,requested_ns,presented_ns,interval_ns,refresh_ns,seq,flags,missed\n"
              "1,7,100,200,,16666667,,confirmed,0\n");
    EXPECT_TRUE(log.finish(&error));
    EXPECT_FALSE(log.failed());

    FrameLog unwritable;
    EXPECT_FALSE(unwritable.open(dir.filePath(QStringLiteral("no/such/frames.csv")), &error));
    EXPECT_EQ(error, SystemErrorText(ENOENT));
}

// ---- the pattern window with its clock (the flush time on the offscreen
// platform) ---------------------------------------------------------------------

struct Shown {
    int number;
    qint64 presentedNs;
    quint32 flags;
};

TEST(PatternWindowClock, TellsEveryNewlyPaintedPatternOnceItIsPresented) {
    Program program(QGuiApplication::primaryScreen());
    program.start();
    program.welcome().close();
    Background& bg = program.background();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bg));
    std::vector<Shown> shown;
    QObject::connect(&bg, &Background::patternPresented, &bg,
                     [&shown](int n, qint64 ns, quint32 flags) { shown.push_back({n, ns, flags}); });
    std::vector<quint64> frames;
    QObject::connect(&bg, &Background::framePresented, &bg,
                     [&frames](const PresentedFrame& f) { frames.push_back(f.frame); });
    bg.enablePresentationClock();
    ASSERT_NE(bg.presentationClock(), nullptr);
    EXPECT_EQ(bg.presentationClock()->source(), PresentationClock::Source::Flush);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == 1; }));
    EXPECT_EQ(shown[0].number, 1) << "the pattern on the screen when the clock starts";

    // The left button, a key (F12 starts auto-play, which steps), a
    // programmatic change, and a pattern whose picture is the last one's
    // (8 is black like 1).
    const qint64 before = MonotonicNs();
    QTest::mouseClick(&bg, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == 2; }));
    test::PaintNext(bg.form(), 8);
    bg.flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == 3; }));
    bg.form().AutoPlayStep = QStringLiteral("0.1");
    QTest::keyClick(&bg, Qt::Key_F12);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= 5; }, 3000));
    SessionState.AutoPlayOn = kFalse;
    bg.form().AutoPlay.setEnabled(false);
    test::PaintNext(bg.form(), 1);
    bg.flush();
    const std::size_t count = shown.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == count + 1; }));
    test::PaintNext(bg.form(), 1);
    bg.flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == count + 2; })) << "the same pattern painted again";

    EXPECT_EQ(shown[1].number, 2);
    EXPECT_EQ(shown[2].number, 8);
    EXPECT_EQ(shown[3].number, 8) << "F12 paints the pattern again";
    EXPECT_EQ(shown[4].number, 9) << "auto-play's first step";
    EXPECT_EQ(shown[count].number, 1);
    EXPECT_GE(shown[1].presentedNs, before);
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_GE(shown[i].presentedNs, shown[i - 1].presentedNs);
        EXPECT_EQ(shown[i].flags, 0u) << "the flush time confirms nothing";
    }
    // Every frame is told, numbered in order.
    ASSERT_GE(frames.size(), shown.size());
    for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(frames[i], frames[0] + i);
}

TEST(PatternWindowClock, AFramePacedPatternStartsTheClockAndStepsOncePerPresentedFrame) {
    Program program(QGuiApplication::primaryScreen());
    program.start();
    program.welcome().close();
    Background& bg = program.background();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bg));
    EXPECT_EQ(bg.presentationClock(), nullptr) << "off until asked for";
    std::vector<PresentedFrame> frames;
    QObject::connect(&bg, &Background::framePresented, &bg,
                     [&frames](const PresentedFrame& f) { frames.push_back(f); });
    test::PaintNext(bg.form(), 126);
    bg.flush();
    ASSERT_NE(bg.presentationClock(), nullptr) << "a frame-paced pattern starts it";
    ASSERT_TRUE(QTest::qWaitFor([&] { return bg.form().MotionFrame >= 12; }, 3000));
    // Each step is one frame: the steps presented so far trail the steps
    // drawn by the one in flight at most.
    const quint64 drawn = bg.form().MotionFrame;
    const auto steps = std::count_if(frames.begin(), frames.end(), [](const PresentedFrame& f) { return f.paced; });
    EXPECT_GE(static_cast<quint64>(steps) + 2, drawn);
    EXPECT_LE(static_cast<quint64>(steps), drawn);
    for (const PresentedFrame& f : frames) EXPECT_EQ(f.tag, 126u);

    // Another pattern stops the steps.
    test::PaintNext(bg.form(), 1);
    bg.flush();
    QTest::qWait(100);
    EXPECT_EQ(bg.form().Motion, nullptr);
    EXPECT_EQ(bg.form().MotionFrame, 0u);
}

} // namespace
