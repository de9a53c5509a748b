// The splash window: the probe before it becomes visible, its size and
// picture, the keys and mouse presses that close it and those that do
// not, and the pattern window opening exactly once however it closes.
// Events are real Qt events delivered the way the platform delivers them.

#include "program.h"
#include "screens/splash_window.h"
#include "screens/twips.h"
#include "session/pattern_window.h"
#include "session/session_state.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// Runs `onEvent` for every event of one type that reaches a watched object.
class EventWatch : public QObject {
public:
    EventWatch(QEvent::Type type, std::function<void()> onEvent) : type_(type), onEvent_(std::move(onEvent)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) onEvent_();
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void()> onEvent_;
};

// Presses (and optionally releases) `button` at `pos` of `window`,
// delivered to the child under the pointer as the platform would.
void PressAt(QWidget& window, QPoint pos, Qt::MouseButton button, bool release) {
    QWidget* target = window.childAt(pos);
    if (!target) target = &window;
    const QPoint local = target->mapFrom(&window, pos);
    if (release) QTest::mouseClick(target, button, Qt::NoModifier, local);
    else QTest::mousePress(target, button, Qt::NoModifier, local);
}

class SplashWindow : public ::testing::Test {
protected:
    void SetUp() override { program_ = std::make_unique<Program>(QGuiApplication::primaryScreen()); }
    void TearDown() override { program_.reset(); }

    Welcome& startSplash() {
        program_->start();
        Welcome& w = program_->welcome();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
        return w;
    }

    // The splash is gone and the pattern window is up with pattern 1.
    void expectClosedIntoPatternWindow() {
        Welcome& w = program_->welcome();
        EXPECT_FALSE(w.isVisible());
        EXPECT_TRUE(w.isUnloaded());
        ASSERT_TRUE(program_->hasBackground());
        EXPECT_TRUE(program_->background().isVisible());
        EXPECT_TRUE(program_->background().isLoaded());
        EXPECT_EQ(SessionState.PatternIndex, 1);
    }

    // The splash is still up and the pattern window does not exist.
    void expectStillWaiting() {
        EXPECT_TRUE(program_->welcome().isVisible());
        EXPECT_TRUE(program_->welcome().isLoaded());
        EXPECT_FALSE(program_->hasBackground());
    }

    std::unique_ptr<Program> program_;
};

TEST_F(SplashWindow, ProbeRunsBeforeTheWindowIsVisibleAndThePatternWindowDoesNotExistYet) {
    Welcome& w = program_->welcome();
    int16_t widthAtShow = -1;
    int16_t heightAtShow = -1;
    EventWatch watch(QEvent::Show, [&] {
        widthAtShow = SessionState.ScreenWidthPx;
        heightAtShow = SessionState.ScreenHeightPx;
    });
    w.installEventFilter(&watch);
    ASSERT_EQ(SessionState.ScreenWidthPx, 0);

    program_->start();

    const QSize screen = DeviceSize(QGuiApplication::primaryScreen());
    ASSERT_GT(screen.width(), 0);
    EXPECT_EQ(widthAtShow, screen.width());
    EXPECT_EQ(heightAtShow, screen.height());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(program_->hasBackground());
    w.removeEventFilter(&watch);
}

TEST_F(SplashWindow, IsAFramelessCentredWindowOf400By301AtNinetySixDpi) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(LogicalDpi(screen), 96.0);
    Welcome& w = startSplash();
    EXPECT_EQ(w.size(), QSize(400, 301));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(w.geometry().center(), screen->geometry().center());
    EXPECT_EQ(w.picture().size(), QSize(400, 300));
}

TEST_F(SplashWindow, ShowsThePictureUnscaledWithTheLastRowBlackAndTheLabelsInWhite) {
    Welcome& w = startSplash();
    const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage& picture = w.picture();
    ASSERT_EQ(shot.size(), QSize(400, 301));
    // Between the two labels the window is the picture, pixel for pixel.
    for (int y = 30; y < 270; ++y)
        for (int x = 0; x < 400; ++x) ASSERT_EQ(shot.pixel(x, y), picture.pixel(x, y)) << x << "," << y;
    for (int x = 0; x < 400; ++x) ASSERT_EQ(shot.pixel(x, 300), qRgb(0, 0, 0)) << x;

    // The title and the notice are drawn in white over the picture.
    for (const FormLabel* label : {&w.Label1, &w.Label3})
        EXPECT_GT(test::InkNear(shot, label->geometry(), qRgb(255, 255, 255)), 20) << label->objectName().toStdString();
}

TEST_F(SplashWindow, LabelsKeepTheirPlacesAndTheNoticeCarriesTheWebAddress) {
    Welcome& w = startSplash();
    EXPECT_EQ(w.Label1.text(), QStringLiteral("Vantrel"));
    // At their designed top-left corners (63, 8 and 4, 280), as wide as
    // their text on one line.
    for (const FormLabel* label : {&w.Label1, &w.Label3}) {
        EXPECT_EQ(label->pos(), label->designRect().topLeft());
        EXPECT_NEAR(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text()), 2);
        EXPECT_LT(label->width(), label->designRect().width());
    }
    EXPECT_EQ(w.Label1.pos(), QPoint(63, 8));
    EXPECT_EQ(w.Label3.pos(), QPoint(4, 280));
    EXPECT_TRUE(w.Label3.toolTip().startsWith(QStringLiteral("https://www.quillmere.example")));
}

// ---- closing ------------------------------------------------------------

struct KeyCase {
    const char* name;
    Qt::Key key;
    bool closes;
};

class SplashKeys : public SplashWindow, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(SplashKeys, CloseOnlyOnKeysThatProduceACharacter) {
    Welcome& w = startSplash();
    QTest::keyClick(&w, GetParam().key);
    if (GetParam().closes) expectClosedIntoPatternWindow();
    else expectStillWaiting();
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplashKeys,
    ::testing::Values(KeyCase{"Letter", Qt::Key_A, true}, KeyCase{"Digit", Qt::Key_7, true},
                      KeyCase{"Space", Qt::Key_Space, true}, KeyCase{"Return", Qt::Key_Return, true},
                      KeyCase{"Enter", Qt::Key_Enter, true}, KeyCase{"Escape", Qt::Key_Escape, true},
                      KeyCase{"Backspace", Qt::Key_Backspace, true}, KeyCase{"Shift", Qt::Key_Shift, false},
                      KeyCase{"Control", Qt::Key_Control, false}, KeyCase{"Alt", Qt::Key_Alt, false},
                      KeyCase{"Left", Qt::Key_Left, false}, KeyCase{"Down", Qt::Key_Down, false},
                      KeyCase{"F1", Qt::Key_F1, false}, KeyCase{"F12", Qt::Key_F12, false},
                      KeyCase{"Delete", Qt::Key_Delete, false}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

struct PressCase {
    const char* name;
    Qt::MouseButton button;
    QPoint pos; // in the window
    bool release;
    bool closes;
};

class SplashPresses : public SplashWindow, public ::testing::WithParamInterface<PressCase> {};

TEST_P(SplashPresses, ClosesOnPressesOutsideTheLabelsOnly) {
    Welcome& w = startSplash();
    QPoint pos = GetParam().pos;
    // Negative coordinates name a label: the centre of its text.
    if (pos.x() < 0) pos = (pos.y() == 1 ? w.Label1 : w.Label3).geometry().center();
    PressAt(w, pos, GetParam().button, GetParam().release);
    if (GetParam().closes) expectClosedIntoPatternWindow();
    else expectStillWaiting();
}

const QPoint kOnTitle(-1, 1);
const QPoint kOnNotice(-1, 3);

INSTANTIATE_TEST_SUITE_P(
    Table, SplashPresses,
    ::testing::Values(PressCase{"LeftOnPicture", Qt::LeftButton, {200, 150}, false, true},
                      PressCase{"RightOnPicture", Qt::RightButton, {30, 200}, false, true},
                      PressCase{"MiddleOnPicture", Qt::MiddleButton, {390, 60}, false, true},
                      PressCase{"BackOnPicture", Qt::BackButton, {300, 250}, false, true},
                      PressCase{"LeftOnLastRow", Qt::LeftButton, {200, 300}, false, true},
                      PressCase{"LeftBesideTitle", Qt::LeftButton, {20, 12}, false, true},
                      PressCase{"LeftRightOfTitle", Qt::LeftButton, {200, 12}, false, true},
                      PressCase{"LeftOnTitle", Qt::LeftButton, kOnTitle, false, false},
                      PressCase{"RightOnTitle", Qt::RightButton, kOnTitle, false, false},
                      PressCase{"ClickOnTitle", Qt::LeftButton, kOnTitle, true, false},
                      PressCase{"LeftOnNotice", Qt::LeftButton, kOnNotice, false, false},
                      PressCase{"MiddleOnNotice", Qt::MiddleButton, kOnNotice, false, false},
                      PressCase{"ClickOnNotice", Qt::LeftButton, kOnNotice, true, false}),
    [](const ::testing::TestParamInfo<PressCase>& info) { return std::string(info.param.name); });

TEST_F(SplashWindow, AClickWithoutAPressStillCloses) {
    startSplash();
    program_->welcome().Form_Click();
    expectClosedIntoPatternWindow();
}

TEST_F(SplashWindow, ACloseRequestFromTheWindowManagerGoesThroughTheUnloadHandler) {
    Welcome& w = startSplash();
    QCloseEvent request;
    QCoreApplication::sendEvent(w.windowHandle(), &request);
    expectClosedIntoPatternWindow();
}

TEST_F(SplashWindow, ThePatternWindowOpensOnlyOnceHoweverOftenTheSplashIsClosed) {
    Welcome& w = startSplash();
    QTest::keyClick(&w, Qt::Key_Space);
    expectClosedIntoPatternWindow();
    Background& bg = program_->background();
    SessionState.PatternIndex = 9;
    bg.hide();

    // Every later close request finds the splash closed and is ignored.
    w.close();
    w.Form_Click();
    w.Form_KeyPress(13);
    w.Form_MouseDown(1, 0, 5.0f, 5.0f);
    QTest::keyClick(&w, Qt::Key_A);
    EXPECT_FALSE(bg.isVisible());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(SessionState.PatternIndex, 9);
}

TEST_F(SplashWindow, ANoticeShowsOverThePictureAndAPressOnItStillCloses) {
    Welcome& w = startSplash();
    EXPECT_FALSE(w.notice().isVisible());
    w.showNotice(QStringLiteral("The desktop scales this screen by 125 %. Set 100 % or 200 %."));
    const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect box = w.notice().geometry();
    ASSERT_TRUE(w.notice().isVisible());
    ASSERT_TRUE(QRect(0, 0, 400, 300).contains(box));
    EXPECT_FALSE(box.intersects(w.Label1.geometry()) || box.intersects(w.Label3.geometry()));
    EXPECT_EQ(w.size(), QSize(400, 301));
    EXPECT_GT(test::InkNear(shot, box, qRgb(255, 255, 255)), 200);
    // In the face the package brings, whatever the system would offer.
    for (const QWidget* label : std::initializer_list<const QWidget*>{&w.notice(), &w.Label1, &w.Label3})
        EXPECT_EQ(label->fontInfo().family(), QStringLiteral("Liberation Sans")) << label->objectName().toStdString();
    PressAt(w, box.center(), Qt::LeftButton, false);
    expectClosedIntoPatternWindow();
}

TEST_F(SplashWindow, ClosingASplashThatNeverLoadedDoesNothing) {
    Welcome& w = program_->welcome();
    w.close();
    EXPECT_FALSE(w.isLoaded());
    EXPECT_FALSE(w.isUnloaded());
    EXPECT_FALSE(program_->hasBackground());
}

} // namespace

// ---- on 120 dpi screens ------------------------------------------------------
// tests/screens/ScreensScaled120Dpi.json: Qt scales the screen to 96 logical
// dpi at a pixel ratio of 1.25; ScreensNative120Dpi.json: 120 logical dpi,
// ratio 1. Either way the window has the same size in device pixels.

namespace {

QSize OnDevice(QSize logical, qreal dpr) { return QSize(qRound(logical.width() * dpr), qRound(logical.height() * dpr)); }

void CheckSplashAt120Dpi() {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(LogicalDpi(screen) * screen->devicePixelRatio(), 120.0);
    Program program(screen);
    program.start();
    Welcome& w = program.welcome();
    const qreal dpr = w.devicePixelRatioF();
    EXPECT_EQ(OnDevice(w.size(), dpr), QSize(500, 376));
    EXPECT_EQ(w.geometry().center(), screen->geometry().center());
    EXPECT_NEAR(w.Label1.y() * dpr, 10, 1);  // 120 twips
    EXPECT_NEAR(w.Label3.y() * dpr, 350, 1); // 4200 twips
    // The picture stays unscaled, pixel for device pixel, at the top-left;
    // the rest of the window is black.
    const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(500, 376));
    for (int y = 40; y < 300; y += 7)
        for (int x = 0; x < 400; x += 3) ASSERT_EQ(shot.pixel(x, y), w.picture().pixel(x, y)) << x << "," << y;
    EXPECT_EQ(shot.pixel(450, 150), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(200, 320), qRgb(0, 0, 0));
}

} // namespace

TEST(ScreensScaled120DpiSplash, TheDesignScalesWithTheResolution) { CheckSplashAt120Dpi(); }
TEST(ScreensNative120DpiSplash, TheDesignScalesWithTheResolution) { CheckSplashAt120Dpi(); }
