// Keyboard and mouse on the pattern window: stepping, the pixel read-out,
// the cross-hair redraw, auto-play on F12 and the exit question on Esc.
// Events go through the window as Qt delivers them; a few cases call the
// handlers directly where the coordinates matter more than the event path.

#include "program.h"
#include "screens/display_probe.h"
#include "screens/farewell_window.h"
#include "session/pattern_window.h"
#include "session/dispatcher.h"
#include "session/readout.h"
#include "session/session_state.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);

using test::ModalAnswerer;
using test::SeenBox;

// What the handlers may change, taken whole so "nothing changed" can be
// checked in one comparison.
struct Snapshot {
    int16_t patternIndex, autoPlayOn, width, height;
    QString autoPlaySeconds;
    float mouseX, mouseY;
    QString caption;
    QRgb foreColor;
    float left, top;
    bool visible;
    bool autoPlayEnabled;
    QImage image;

    bool operator==(const Snapshot&) const = default;
};

class Navigation : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = std::make_unique<Program>(QGuiApplication::primaryScreen());
        ProbeDisplay(program_->screen());
        W = SessionState.ScreenWidthPx;
        H = SessionState.ScreenHeightPx;
        ASSERT_GT(W, 200);
        ASSERT_GT(H, 200);
        program_->showBackground();
        ASSERT_EQ(SessionState.PatternIndex, 1);
    }

    Background& bg() { return program_->background(); }
    PatternForm& form() { return bg().form(); }
    const CursorLabel& cursor() { return form().Cursor; }

    // Paints pattern n as the dispatcher would have it on screen.
    void showPattern(int16_t n) {
        SessionState.PatternIndex = n;
        PaintPattern(form());
        bg().flush();
    }

    QRgb pixel(int x, int y) { return form().surface().pixel(static_cast<float>(x), static_cast<float>(y)).value(); }

    Snapshot snapshot() {
        const CursorLabel& c = cursor();
        return {SessionState.PatternIndex, SessionState.AutoPlayOn, SessionState.ScreenWidthPx,
                SessionState.ScreenHeightPx, SessionState.AutoPlaySeconds, SessionState.MouseX, SessionState.MouseY,
                c.Caption, c.ForeColor, c.Left, c.Top, c.Visible, form().AutoPlay.enabled(),
                form().surface().image().copy()};
    }

    // A pointer move with the given buttons held, as the window receives it.
    void move(QPoint pos, Qt::MouseButtons held) {
        QMouseEvent ev(QEvent::MouseMove, QPointF(pos), bg().mapToGlobal(QPointF(pos)), Qt::NoButton, held,
                       Qt::NoModifier);
        QApplication::sendEvent(&bg(), &ev);
    }

    // A press or release sent straight to the window; unlike QTest's
    // helpers it takes (0, 0) as the top-left pixel, not as "the centre".
    void button(QEvent::Type type, Qt::MouseButton b, QPoint pos) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(b) : Qt::NoButton;
        QMouseEvent ev(type, QPointF(pos), bg().mapToGlobal(QPointF(pos)), b, held, Qt::NoModifier);
        QApplication::sendEvent(&bg(), &ev);
    }

    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(&bg(), k, mods); }

    std::unique_ptr<Program> program_;
    int16_t W = 0;
    int16_t H = 0;
};

// ---- stepping ------------------------------------------------------------

TEST_F(Navigation, LeftClickStepsToTheNextPattern) {
    showPattern(3);
    QTest::mouseClick(&bg(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    EXPECT_EQ(SessionState.PatternIndex, 4);
    EXPECT_EQ(pixel(10, 20), qRgb(255, 0, 0));
    EXPECT_EQ(pixel(W - 1, H - 1), qRgb(255, 0, 0));
    QTest::mouseClick(&bg(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    EXPECT_EQ(SessionState.PatternIndex, 5);
}

TEST_F(Navigation, LeftPressesWrapFrom67ThroughTheBlackFieldTo2) {
    showPattern(67);
    QTest::mouseClick(&bg(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(SessionState.PatternIndex, 1);
    EXPECT_EQ(pixel(0, 0), kBlack);
    EXPECT_EQ(pixel(W / 2, H / 2), kBlack);
    QTest::mouseClick(&bg(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(SessionState.PatternIndex, 2);
}

TEST_F(Navigation, PressAndReleaseStorePositionPlusOneMovementDoesNot) {
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(10, 20));
    EXPECT_FLOAT_EQ(SessionState.MouseX, 11.0f);
    EXPECT_FLOAT_EQ(SessionState.MouseY, 21.0f);
    move(QPoint(30, 40), Qt::RightButton);
    move(QPoint(31, 41), Qt::NoButton);
    EXPECT_FLOAT_EQ(SessionState.MouseX, 11.0f);
    EXPECT_FLOAT_EQ(SessionState.MouseY, 21.0f);
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(50, 60));
    EXPECT_FLOAT_EQ(SessionState.MouseX, 51.0f);
    EXPECT_FLOAT_EQ(SessionState.MouseY, 61.0f);
}

TEST_F(Navigation, LeftPressStoresThePositionBeforeStepping) {
    showPattern(4);
    button(QEvent::MouseButtonPress, Qt::LeftButton, QPoint(0, 0));
    EXPECT_FLOAT_EQ(SessionState.MouseX, 1.0f);
    EXPECT_FLOAT_EQ(SessionState.MouseY, 1.0f);
    EXPECT_EQ(SessionState.PatternIndex, 5);
    button(QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(0, 0));
}

TEST_F(Navigation, MiddleButtonChangesOnlyThePointerPosition) {
    showPattern(4);
    const Snapshot before = snapshot();
    QTest::mousePress(&bg(), Qt::MiddleButton, Qt::NoModifier, QPoint(100, 120));
    Snapshot after = snapshot();
    EXPECT_FLOAT_EQ(after.mouseX, 101.0f);
    EXPECT_FLOAT_EQ(after.mouseY, 121.0f);
    after.mouseX = before.mouseX;
    after.mouseY = before.mouseY;
    EXPECT_TRUE(after == before);
    QTest::mouseRelease(&bg(), Qt::MiddleButton, Qt::NoModifier, QPoint(100, 120));
}

// ---- the read-out ----------------------------------------------------------

TEST_F(Navigation, RightPressPlacesTheReadoutByStrictHalves) {
    struct Case {
        const char* where;
        QPoint p;
        bool rightOfPointer, belowPointer;
    };
    const int halfW = W / 2;
    const int halfH = H / 2;
    const Case cases[] = {
        {"top-left pixel", {0, 0}, true, true},
        {"bottom-right pixel", {W - 1, H - 1}, false, false},
        {"last column of the left half", {halfW - 1, 10}, true, true},
        {"middle column", {halfW, 10}, false, true},
        {"last row of the top half", {10, halfH - 1}, true, true},
        {"middle row", {10, halfH}, true, false},
    };
    for (const Case& c : cases) {
        const QPoint p = c.p;
        SCOPED_TRACE(c.where);
        showPattern(4);
        button(QEvent::MouseButtonPress, Qt::RightButton, p);
        EXPECT_EQ(cursor().Caption, QStringLiteral("( %1 , %2 )").arg(p.x() + 1).arg(p.y() + 1));
        EXPECT_FLOAT_EQ(cursor().Left, c.rightOfPointer ? p.x() + 5.0f : p.x() - 77.0f);
        EXPECT_FLOAT_EQ(cursor().Top, c.belowPointer ? p.y() + 5.0f : p.y() - 20.0f);
        EXPECT_TRUE(cursor().Visible);
        // The window's label mirrors the read-out.
        EXPECT_EQ(bg().cursorLabel().text(), cursor().Caption);
        EXPECT_TRUE(bg().cursorLabel().isVisibleTo(&bg()));
        EXPECT_EQ(bg().cursorLabel().pos(), QPoint(static_cast<int>(cursor().Left), static_cast<int>(cursor().Top)));
        button(QEvent::MouseButtonRelease, Qt::RightButton, p);
        EXPECT_FALSE(cursor().Visible);
        EXPECT_FALSE(bg().cursorLabel().isVisibleTo(&bg()));
    }
}

TEST_F(Navigation, ReadoutTextIsBlackOnlyOnExactlyWhite) {
    showPattern(7); // white field
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(40, 50));
    EXPECT_EQ(cursor().ForeColor, kBlack);
    EXPECT_EQ(bg().cursorLabel().palette().color(QPalette::WindowText).rgb(), kBlack);
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(40, 50));

    showPattern(9); // grey field
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(40, 50));
    EXPECT_EQ(cursor().ForeColor, kWhite);
    EXPECT_EQ(bg().cursorLabel().palette().color(QPalette::WindowText).rgb(), kWhite);
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(40, 50));

    // One component short of white counts as any other colour.
    showPattern(7);
    form().surface().filledBox(40, 50, 41, 51, qRgb(255, 255, 254));
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(40, 50));
    EXPECT_EQ(cursor().ForeColor, kWhite);
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(40, 50));
}

TEST_F(Navigation, ReadoutFollowsThePointerWhileOnlyTheRightButtonIsHeld) {
    showPattern(9);
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    move(QPoint(W - 30, H - 40), Qt::RightButton);
    EXPECT_EQ(cursor().Caption, QStringLiteral("( %1 , %2 )").arg(W - 29).arg(H - 39));
    EXPECT_FLOAT_EQ(cursor().Left, W - 30 - 77.0f);
    EXPECT_FLOAT_EQ(cursor().Top, H - 40 - 20.0f);
    EXPECT_TRUE(cursor().Visible);

    // Another button held besides the right one: the read-out stays put.
    const CursorLabel held = cursor();
    move(QPoint(20, 30), Qt::RightButton | Qt::MiddleButton);
    EXPECT_EQ(cursor().Caption, held.Caption);
    EXPECT_EQ(cursor().Left, held.Left);
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(20, 30));
}

TEST_F(Navigation, MovingWithLeftAndRightHeldDoesNotUpdateTheReadout) {
    showPattern(9);
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mousePress(&bg(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10)); // steps, hiding it
    EXPECT_EQ(SessionState.PatternIndex, 10);
    const CursorLabel before = cursor();
    QTest::mouseMove(&bg(), QPoint(300, 200)); // both buttons still held
    EXPECT_EQ(cursor().Caption, before.Caption);
    EXPECT_EQ(cursor().Left, before.Left);
    EXPECT_EQ(cursor().Top, before.Top);
    EXPECT_FALSE(cursor().Visible);
    QTest::mouseRelease(&bg(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(300, 200));
}

TEST_F(Navigation, ReadoutCaptionUsesShortestNumberText) {
    EXPECT_EQ(ReadoutCaption(0.0f, 0.0f), QStringLiteral("( 1 , 1 )"));
    EXPECT_EQ(ReadoutCaption(1023.0f, 767.0f), QStringLiteral("( 1024 , 768 )"));
    EXPECT_EQ(ReadoutCaption(1.5f, -1.0f), QStringLiteral("( 2.5 , 0 )"));
}

// ---- the cross-hair pattern ---------------------------------------------------

// The two white lines through (x, y) on black, nothing else.
void ExpectCrosshairAt(PatternForm& form, int x, int y) {
    const QImage want = test::Picture(form.surface().size(), [=](int col, int row) {
        return col == x || row == y ? test::kWhite : test::kBlack;
    });
    EXPECT_EQ(test::FirstDifference(form.surface().image(), want), "");
}

TEST_F(Navigation, CrosshairFollowsThePointerWithoutButtons) {
    showPattern(65);
    move(QPoint(100, 80), Qt::NoButton);
    ExpectCrosshairAt(form(), 100, 80);
    EXPECT_EQ(cursor().Caption, QStringLiteral("( 101 , 81 )"));
    EXPECT_FLOAT_EQ(cursor().Left, 105.0f);
    EXPECT_FLOAT_EQ(cursor().Top, 85.0f);
    EXPECT_TRUE(cursor().Visible);

    move(QPoint(W - 10, H - 10), Qt::NoButton);
    ExpectCrosshairAt(form(), W - 10, H - 10);
    EXPECT_FLOAT_EQ(cursor().Left, W - 10 - 77.0f);
    EXPECT_FLOAT_EQ(cursor().Top, H - 10 - 20.0f);
    EXPECT_FLOAT_EQ(SessionState.MouseX, 0.0f); // movement never stores the pointer
}

TEST_F(Navigation, CrosshairReadoutStaysWhiteOverTheWhiteLines) {
    showPattern(65);
    move(QPoint(100, 80), Qt::NoButton);
    // A right press on the crossing itself: the pixel is white, yet the
    // redraw leaves the text white.
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(100, 80));
    ExpectCrosshairAt(form(), 100, 80);
    EXPECT_EQ(cursor().ForeColor, kWhite);
    // Dragging along the vertical line with the right button held.
    move(QPoint(100, 90), Qt::RightButton);
    ExpectCrosshairAt(form(), 100, 90);
    EXPECT_EQ(cursor().ForeColor, kWhite);
    EXPECT_EQ(cursor().Caption, QStringLiteral("( 101 , 91 )"));
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(100, 90));
    EXPECT_TRUE(cursor().Visible);
    EXPECT_FLOAT_EQ(SessionState.MouseX, 101.0f);
    EXPECT_FLOAT_EQ(SessionState.MouseY, 91.0f);
}

TEST_F(Navigation, ReleaseHidesTheReadoutExceptOnTheCrosshairPattern) {
    showPattern(9);
    form().Cursor.Visible = true;
    bg().Form_MouseUp(4, 0, 10.0f, 10.0f);
    EXPECT_FALSE(cursor().Visible);
    showPattern(65);
    bg().Form_MouseUp(4, 0, 10.0f, 10.0f);
    EXPECT_TRUE(cursor().Visible);
}

// ---- keys ---------------------------------------------------------------------

TEST_F(Navigation, F12TwiceSwitchesAutoPlayOnThenOffRepaintingEachTime) {
    showPattern(4);
    form().surface().filledBox(0, 0, 10, 10, kWhite);
    form().Cursor.Visible = true;
    key(Qt::Key_F12);
    EXPECT_EQ(SessionState.AutoPlayOn, kTrue);
    EXPECT_EQ(SessionState.AutoPlaySeconds, QStringLiteral("1"));
    EXPECT_TRUE(form().AutoPlay.enabled());
    EXPECT_EQ(form().AutoPlay.interval(), 1000);
    EXPECT_EQ(SessionState.PatternIndex, 4);
    EXPECT_EQ(pixel(0, 0), qRgb(255, 0, 0)); // painted afresh
    EXPECT_FALSE(cursor().Visible);

    form().surface().filledBox(0, 0, 10, 10, kWhite);
    // The second press arrives as a key repeat and acts again; Shift is ignored.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F12, Qt::ShiftModifier, QString(), true);
    QApplication::sendEvent(&bg(), &repeat);
    EXPECT_EQ(SessionState.AutoPlayOn, kFalse);
    EXPECT_EQ(SessionState.AutoPlaySeconds, QStringLiteral("1"));
    EXPECT_FALSE(form().AutoPlay.enabled());
    EXPECT_EQ(SessionState.PatternIndex, 4);
    EXPECT_EQ(pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(Navigation, F12ComplementsAnyAutoPlayValueBitwise) {
    SessionState.AutoPlayOn = 5;
    bg().Form_KeyDown(123, 0);
    EXPECT_EQ(SessionState.AutoPlayOn, -6);
    EXPECT_FALSE(form().AutoPlay.enabled()); // only exactly -1 is on
}

TEST_F(Navigation, OtherKeysDoNothing) {
    showPattern(4);
    form().Cursor.Visible = true;
    const Snapshot before = snapshot();
    ModalAnswerer answerer(QMessageBox::Cancel);
    for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                      Qt::Key_Down, Qt::Key_A, Qt::Key_1, Qt::Key_F1, Qt::Key_F11, Qt::Key_Shift, Qt::Key_Backspace,
                      Qt::Key_Tab}) {
        key(k);
        EXPECT_TRUE(snapshot() == before) << "key " << k;
    }
    EXPECT_FALSE(answerer.seen().has_value());
}

TEST_F(Navigation, EscThenCancelChangesNothing) {
    showPattern(7);
    QTest::mousePress(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(30, 30));
    QTest::mouseRelease(&bg(), Qt::RightButton, Qt::NoModifier, QPoint(30, 30));
    form().Cursor.Visible = true;
    const Snapshot before = snapshot();
    ModalAnswerer answerer(QMessageBox::Cancel);
    key(Qt::Key_Escape, Qt::ShiftModifier);
    ASSERT_TRUE(answerer.seen().has_value());
    EXPECT_TRUE(snapshot() == before);
    EXPECT_EQ(form().surface().takeDirty(), QRect());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Navigation, EscAsksTheExitQuestionOverThePatternWindow) {
    ModalAnswerer answerer(QMessageBox::Cancel);
    key(Qt::Key_Escape);
    ASSERT_TRUE(answerer.seen().has_value());
    const SeenBox& box = *answerer.seen();
    EXPECT_EQ(box.title, QStringLiteral("Exit - Quillmere"));
    EXPECT_EQ(box.text, QStringLiteral("Exit The Test Program ?!"));
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_TRUE(box.okIsDefault);
    EXPECT_EQ(box.parent, &bg());
}

TEST_F(Navigation, TimersKeepTickingWhileTheExitQuestionWaits) {
    showPattern(4);
    key(Qt::Key_F12);
    ASSERT_TRUE(form().AutoPlay.enabled());
    form().AutoPlay.setInterval(10); // quicker than the operator's second
    ModalAnswerer answerer(QMessageBox::Cancel, [] { return SessionState.PatternIndex >= 5; });
    key(Qt::Key_Escape);
    ASSERT_TRUE(answerer.seen().has_value());
    EXPECT_EQ(answerer.seen()->patternIndexWhileOpen, 5);
    EXPECT_EQ(SessionState.AutoPlayOn, kTrue);
}

TEST_F(Navigation, EscThenOkOpensTheFarewellWindowOverThePatternWindow) {
    showPattern(4);
    ModalAnswerer answerer(QMessageBox::Ok);
    key(Qt::Key_Escape);
    ASSERT_TRUE(answerer.seen().has_value());
    ASSERT_TRUE(program_->hasFarewell());
    EXPECT_TRUE(program_->farewell().isVisible());
    EXPECT_TRUE(bg().isVisible());
    EXPECT_EQ(pixel(W / 2, H / 2), qRgb(255, 0, 0));
}

} // namespace

// Buttons other than left, right and middle (back, forward) do nothing on
// the pattern window, not even while the right button holds the read-out.
TEST_F(Navigation, SideButtonsDoNothing) {
    showPattern(9);
    button(QEvent::MouseButtonPress, Qt::RightButton, QPoint(10, 20));
    ASSERT_TRUE(cursor().Visible);
    const Snapshot held = snapshot();
    for (Qt::MouseButton side : {Qt::BackButton, Qt::ForwardButton}) {
        button(QEvent::MouseButtonPress, side, QPoint(200, 150));
        button(QEvent::MouseButtonRelease, side, QPoint(200, 150));
        EXPECT_TRUE(snapshot() == held) << "button " << side;
    }
    button(QEvent::MouseButtonRelease, Qt::RightButton, QPoint(10, 20));
}
