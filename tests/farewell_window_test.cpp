// The farewell window and the end of the program: its load, the frame
// sequence and the hold on frame 6, the end after 10 s or at the
// operator's first key, click or press, a second confirmation that only
// brings it forward, and the image list's composition of two images.

#include "program.h"
#include "screens/farewell_window.h"
#include "screens/splash_window.h"
#include "screens/twips.h"
#include "session/numeric.h"
#include "session/pattern_window.h"
#include "session/session_state.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The countdown of a form timer's underlying Qt timer.
int RemainingMs(FormTimer& timer) {
    QTimer* t = timer.findChild<QTimer*>();
    return t ? t->remainingTime() : -2;
}

class FarewellWindow : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = std::make_unique<Program>(QGuiApplication::primaryScreen());
        program_->start();
        QTest::keyClick(&program_->welcome(), Qt::Key_Return); // the splash gives way to the pattern window
        ASSERT_TRUE(program_->hasBackground());
        ended_ = std::make_unique<QSignalSpy>(program_.get(), &Program::ended);
    }
    void TearDown() override {
        ended_.reset();
        program_.reset();
    }

    VerApprove& confirm() {
        program_->confirmExit();
        return program_->farewell();
    }

    // Every window is closed and the program asked to end with status 0.
    void expectProgramEnded() {
        EXPECT_FALSE(program_->welcome().isVisible());
        EXPECT_FALSE(program_->background().isVisible());
        EXPECT_FALSE(program_->farewell().isVisible());
        EXPECT_FALSE(program_->farewell().Timer1.enabled());
        EXPECT_FALSE(program_->farewell().Timer2.enabled());
        ASSERT_EQ(ended_->count(), 1);
        EXPECT_EQ(ended_->at(0).at(0).toInt(), 0);
        EXPECT_TRUE(program_->hasEnded());
    }

    std::unique_ptr<Program> program_;
    std::unique_ptr<QSignalSpy> ended_;
};

TEST_F(FarewellWindow, LoadSwitchesAutoPlayOffAndStartsBothTimersWithAnEmptyPicture) {
    SessionState.AutoPlayOn = kTrue;
    EXPECT_FALSE(SessionState.FarewellFrame.has_value());
    VerApprove& f = confirm();
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isLoaded());
    EXPECT_EQ(SessionState.AutoPlayOn, kFalse);
    EXPECT_EQ(SessionState.FarewellFrame, std::optional<int16_t>(0));
    EXPECT_TRUE(f.Timer1.enabled());
    EXPECT_EQ(f.Timer1.interval(), 10000);
    EXPECT_TRUE(f.Timer2.enabled());
    EXPECT_EQ(f.Timer2.interval(), 300);
    EXPECT_TRUE(f.Picture1.picture().isNull());
    EXPECT_EQ(ended_->count(), 0);
    // Modeless and without owner: the pattern window stays a window of its own.
    EXPECT_EQ(f.parentWidget(), nullptr);
    EXPECT_FALSE(f.isModal());
}

TEST_F(FarewellWindow, IsAFixedCaptionedWindowOf367By269AtNinetySixDpi) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(LogicalDpi(screen), 96.0);
    VerApprove& f = confirm();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Exit - Quillmere"));
    EXPECT_EQ(f.size(), QSize(367, 269));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(f.frameGeometry().center(), screen->geometry().center());
    // A 227 by 142 picture inside a 2-pixel sunken border.
    EXPECT_EQ(f.Picture1.geometry(), QRect(68, 11, 231, 146));
    EXPECT_EQ(f.Picture1.contentsRect().size(), QSize(227, 142));
    EXPECT_EQ(f.Picture1.frameShadow(), QFrame::Sunken);
}

TEST_F(FarewellWindow, TextLinesStandAtTheirDesignedCornersAndReadTopToBottom) {
    VerApprove& f = confirm();
    EXPECT_EQ(f.Label1[0].text(), QStringLiteral("Vantrel"));
    EXPECT_TRUE(f.Label1[1].text().endsWith(QStringLiteral("      (Ver_1.05a)")));
    EXPECT_EQ(f.Label1[2].text(), QStringLiteral("Quillmere"));
    EXPECT_TRUE(f.Label1[4].text().endsWith(QStringLiteral(".example")));
    EXPECT_TRUE(f.Label1[3].text().contains(QStringLiteral("@")));
    // Top to bottom: each at its designed left and top, as wide as its text.
    const std::pair<int, QPoint> corners[] = {
        {0, {82, 179}}, {1, {81, 195}}, {2, {116, 211}}, {4, {137, 227}}, {3, {133, 243}}};
    for (const auto& [index, corner] : corners) {
        const FormLabel& label = f.Label1[static_cast<size_t>(index)];
        EXPECT_EQ(label.pos(), corner) << index;
        EXPECT_NEAR(label.width(), QFontMetrics(label.font()).horizontalAdvance(label.text()), 2) << index;
        EXPECT_TRUE(f.rect().contains(label.geometry())) << index;
    }
}

TEST_F(FarewellWindow, SixFramesInOrderThenFrameSixHolds) {
    VerApprove& f = confirm();
    for (int frame = 1; frame <= 6; ++frame) {
        f.Timer2_Timer();
        ASSERT_EQ(SessionState.FarewellFrame, std::optional<int16_t>(frame));
        EXPECT_EQ(f.Picture1.picture(), f.ImageList1.ListImage(frame)) << frame;
    }
    for (int tick = 0; tick < 5; ++tick) f.Timer2_Timer();
    EXPECT_EQ(SessionState.FarewellFrame, std::optional<int16_t>(6));
    EXPECT_EQ(f.Picture1.picture(), f.ImageList1.ListImage(6));
    EXPECT_TRUE(f.Timer2.enabled());
    EXPECT_EQ(ended_->count(), 0);
}

TEST_F(FarewellWindow, TheTenSecondTimerEndsTheProgram) {
    VerApprove& f = confirm();
    for (int tick = 0; tick < 8; ++tick) f.Timer2_Timer();
    f.Timer1_Timer();
    expectProgramEnded();
    // The pattern window's timers stopped with it, and the splash stayed closed.
    EXPECT_FALSE(program_->background().form().AutoPlay.enabled());
    EXPECT_TRUE(program_->welcome().isUnloaded());
}

TEST_F(FarewellWindow, ASecondConfirmationOnlyBringsTheWindowForward) {
    VerApprove& f = confirm();
    f.Timer2_Timer();
    f.Timer2_Timer();
    f.Timer2_Timer();
    QTest::qWait(30);
    const int remaining = RemainingMs(f.Timer1);
    ASSERT_GT(remaining, 0);
    // A second load would switch auto-play off again and reset the frame.
    SessionState.AutoPlayOn = kTrue;
    program_->background().activateWindow();

    VerApprove& again = confirm();
    EXPECT_EQ(&again, &f);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(SessionState.AutoPlayOn, kTrue);
    EXPECT_EQ(SessionState.FarewellFrame, std::optional<int16_t>(3));
    EXPECT_EQ(f.Picture1.picture(), f.ImageList1.ListImage(3));
    EXPECT_TRUE(f.Timer1.enabled());
    EXPECT_LE(RemainingMs(f.Timer1), remaining);
    f.Timer2_Timer();
    EXPECT_EQ(SessionState.FarewellFrame, std::optional<int16_t>(4));
}

TEST_F(FarewellWindow, RunningAutoPlayStepsOnceMoreAndThenStops) {
    Background& bg = program_->background();
    SessionState.AutoPlayOn = kTrue;
    SessionState.AutoPlaySeconds = QStringLiteral("1");
    bg.form().AutoPlay.setEnabled(true);
    confirm();
    EXPECT_TRUE(bg.form().AutoPlay.enabled()); // left running by the load
    Q_EMIT bg.form().AutoPlay.tick();
    EXPECT_EQ(SessionState.PatternIndex, 2);
    EXPECT_FALSE(bg.form().AutoPlay.enabled());
    EXPECT_EQ(ended_->count(), 0);
}

TEST_F(FarewellWindow, ClosedByTheWindowManagerItStopsAndLoadsAnewOnTheNextConfirmation) {
    VerApprove& f = confirm();
    f.Timer2_Timer();
    f.close();
    EXPECT_FALSE(f.Timer1.enabled());
    EXPECT_FALSE(f.Timer2.enabled());
    EXPECT_EQ(ended_->count(), 0);
    confirm();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(SessionState.FarewellFrame, std::optional<int16_t>(0));
    EXPECT_TRUE(f.Timer1.enabled());
}

// ---- the operator's actions ------------------------------------------------

class FarewellKeys : public FarewellWindow, public ::testing::WithParamInterface<Qt::Key> {};

TEST_P(FarewellKeys, AnyKeyEndsTheProgramAtOnce) {
    VerApprove& f = confirm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QTest::keyPress(&f, GetParam());
    expectProgramEnded();
}

INSTANTIATE_TEST_SUITE_P(Table, FarewellKeys,
                         ::testing::Values(Qt::Key_A, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt,
                                           Qt::Key_Escape, Qt::Key_Return, Qt::Key_Tab, Qt::Key_F5,
                                           Qt::Key_Left));

class FarewellButtons : public FarewellWindow, public ::testing::WithParamInterface<Qt::MouseButton> {};

TEST_P(FarewellButtons, APressOutsideThePictureAndTheLinesEndsTheProgram) {
    VerApprove& f = confirm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QPoint outside(20, 240);
    ASSERT_EQ(f.childAt(outside), nullptr);
    QTest::mousePress(&f, GetParam(), Qt::NoModifier, outside);
    expectProgramEnded();
}

TEST_P(FarewellButtons, APressOnThePictureWaitsForTheClick) {
    VerApprove& f = confirm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QPoint centre = f.Picture1.rect().center();
    QTest::mousePress(&f.Picture1, GetParam(), Qt::NoModifier, centre);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(ended_->count(), 0);
    QTest::mouseRelease(&f.Picture1, GetParam(), Qt::NoModifier, centre);
    expectProgramEnded();
}

INSTANTIATE_TEST_SUITE_P(Table, FarewellButtons,
                         ::testing::Values(Qt::LeftButton, Qt::RightButton, Qt::MiddleButton));

class FarewellLines : public FarewellWindow, public ::testing::WithParamInterface<int> {};

TEST_P(FarewellLines, AClickOnATextLineEndsTheProgram) {
    VerApprove& f = confirm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    FormLabel& line = f.Label1[static_cast<size_t>(GetParam())];
    const QPoint centre = line.rect().center();
    QTest::mousePress(&line, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(ended_->count(), 0); // the press stays with the line
    QTest::mouseRelease(&line, Qt::LeftButton, Qt::NoModifier, centre);
    expectProgramEnded();
}

INSTANTIATE_TEST_SUITE_P(Table, FarewellLines, ::testing::Values(0, 1, 2, 3, 4));

TEST_F(FarewellWindow, EndingTwiceAsksOnceAndTheSplashNeverReturns) {
    VerApprove& f = confirm();
    program_->background().hide();
    f.Form_KeyDown(65, 0);
    f.Form_Click(); // the click that follows a press in the same gesture
    expectProgramEnded();
    EXPECT_FALSE(program_->welcome().isVisible());
    EXPECT_FALSE(program_->background().isVisible());
}

TEST(FarewellEnd, EndProgramWithoutASplashOrPatternWindowClosesWhatExists) {
    Program program(QGuiApplication::primaryScreen());
    QSignalSpy ended(&program, &Program::ended);
    program.confirmExit();
    program.EndProgram();
    EXPECT_FALSE(program.farewell().isVisible());
    EXPECT_FALSE(program.hasWelcome());
    EXPECT_FALSE(program.hasBackground());
    EXPECT_EQ(ended.count(), 1);
}

// ---- the image list ----------------------------------------------------------

TEST(FarewellImageList, HoldsSixDistinctFramesAndABlankWhiteSeventh) {
    const ImageList list = ImageList::FarewellImages();
    ASSERT_EQ(list.Count(), 7);
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(list.ListImage(i).size(), QSize(227, 142)) << i;
    QImage white(227, 142, QImage::Format_RGB32);
    white.fill(qRgb(255, 255, 255));
    EXPECT_EQ(list.ListImage(7), white);
    for (int a = 1; a <= 6; ++a) {
        EXPECT_NE(list.ListImage(a), white) << a;
        for (int b = a + 1; b <= 6; ++b) EXPECT_NE(list.ListImage(a), list.ListImage(b)) << a << " " << b;
    }
}

TEST(FarewellImageList, OverlayWithTheBlankImageShowsTheFrameExactly) {
    const ImageList list = ImageList::FarewellImages();
    for (int frame = 1; frame <= 6; ++frame) EXPECT_EQ(list.Overlay(frame, 7), list.ListImage(frame)) << frame;
}

TEST(FarewellImageList, OverlayPutsTheSecondOnTopWithItsMaskColourTransparent) {
    ImageList list(QSize(2, 1));
    QImage below(2, 1, QImage::Format_RGB32);
    below.setPixel(0, 0, qRgb(10, 20, 30));
    below.setPixel(1, 0, qRgb(40, 50, 60));
    QImage above(2, 1, QImage::Format_RGB32);
    above.setPixel(0, 0, qRgb(255, 255, 255));
    above.setPixel(1, 0, qRgb(255, 255, 254));
    list.Add(below);
    list.Add(above);
    const QImage both = list.Overlay(1, 2);
    EXPECT_EQ(both.pixel(0, 0), qRgb(10, 20, 30));   // mask colour: the lower image shows
    EXPECT_EQ(both.pixel(1, 0), qRgb(255, 255, 254)); // any other colour covers it
    EXPECT_EQ(list.Overlay(2, 1), below);
}

TEST(FarewellImageList, AnIndexOutsideTheListOrAnImageOfAnotherSizeIsARuntimeError) {
    ImageList list = ImageList::FarewellImages();
    EXPECT_THROW(list.Overlay(0, 7), numeric::RuntimeError);
    EXPECT_THROW(list.Overlay(1, 8), numeric::RuntimeError);
    EXPECT_THROW(list.Add(QImage(10, 10, QImage::Format_RGB32)), numeric::RuntimeError);
}

} // namespace

// ---- on 120 dpi screens, scaled by Qt and native (tests/screens/) ---------

namespace {

void CheckFarewellAt120Dpi() {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(LogicalDpi(screen) * screen->devicePixelRatio(), 120.0);
    Program program(screen);
    program.confirmExit();
    VerApprove& f = program.farewell();
    const qreal dpr = f.devicePixelRatioF();
    EXPECT_EQ(QSize(qRound(f.width() * dpr), qRound(f.height() * dpr)), QSize(459, 336));
    const QRect p = f.Picture1.geometry();
    EXPECT_NEAR(p.x() * dpr, 85, 1);
    EXPECT_NEAR(p.y() * dpr, 14, 1);
    EXPECT_NEAR(p.width() * dpr, 289, 1);
    EXPECT_NEAR(p.height() * dpr, 183, 1);
    EXPECT_EQ(f.frameGeometry().center(), screen->geometry().center());
    program.EndProgram();
}

} // namespace

TEST(ScreensScaled120DpiFarewell, TheDesignScalesWithTheResolution) { CheckFarewellAt120Dpi(); }
TEST(ScreensNative120DpiFarewell, TheDesignScalesWithTheResolution) { CheckFarewellAt120Dpi(); }

// Loaded anew after a window manager closed it, the picture box is empty
// again until the first animation step.
TEST_F(FarewellWindow, ALoadAfterAnEarlierCloseStartsWithAnEmptyPicture) {
    VerApprove& f = confirm();
    f.Timer2_Timer();
    f.Timer2_Timer();
    ASSERT_FALSE(f.Picture1.picture().isNull());
    f.close();
    confirm();
    EXPECT_TRUE(f.Picture1.picture().isNull());
    f.Timer2_Timer();
    EXPECT_EQ(f.Picture1.picture(), f.ImageList1.ListImage(1));
}
