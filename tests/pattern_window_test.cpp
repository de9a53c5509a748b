// The pattern window on screens with and without scaling: the surface has
// the screen's size in device pixels and every surface pixel reaches the
// window's backing store unchanged, one to one.

#include "cli/command_line.h"
#include "cli/pattern_export.h"
#include "exit_status.h"
#include "program.h"
#include "screens/splash_window.h"
#include "session/dispatcher.h"
#include "session/pattern_window.h"
#include "session/screen_metrics.h"
#include "session/session_state.h"
#include "support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton> // before support.h, which compares its buttons
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "support.h"

namespace {

// A picture that any scaling, blur or offset would change: a one-pixel
// checkerboard of two colours and a unique colour per pixel in a corner.
void DrawProbePicture(DrawingSurface& s) {
    s.setBackColor(qRgb(0, 0, 0));
    for (int y = 0; y < 64; ++y)
        for (int x = (y & 1); x < 64; x += 2) s.filledBox(x, y, x + 1, y + 1, qRgb(255, 255, 255));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) s.filledBox(100 + x, 100 + y, 101 + x, 101 + y, qRgb(x * 8, y * 8, 77));
    s.line(0, s.height() - 1, s.width(), s.height() - 1, qRgb(255, 0, 0));  // last row
    s.line(s.width() - 1, 0, s.width() - 1, s.height(), qRgb(0, 0, 255));   // last column
}

// On a screen of the given device pixel ratio.
void ExpectWindowShowsSurfaceOneToOne(qreal ratio) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(screen->devicePixelRatio(), ratio) << "the simulated screen is not the one the test is for";
    Program program(screen);
    program.start();
    program.welcome().close(); // the splash gives way to the pattern window
    Background& bg = program.background();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bg));

    const qreal dpr = screen->devicePixelRatio();
    const QSize device(qRound(screen->geometry().width() * dpr), qRound(screen->geometry().height() * dpr));
    EXPECT_EQ(bg.geometry(), screen->geometry());
    EXPECT_EQ(bg.form().surface().size(), device);
    EXPECT_EQ(SessionState.ScreenWidthPx, device.width());
    EXPECT_EQ(SessionState.ScreenHeightPx, device.height());
    EXPECT_EQ(SessionState.PatternIndex, 1);

    DrawProbePicture(bg.form().surface());
    bg.flush();
    QApplication::processEvents();

    EXPECT_EQ(test::FirstDifference(bg.grab().toImage(), bg.form().surface().image()), "")
        << "pixels not shown one to one at device pixel ratio " << dpr;
}

} // namespace

TEST(PatternWindow, ShowsTheSurfaceOneToOne) { ExpectWindowShowsSurfaceOneToOne(1.0); }
TEST(PatternWindowDpr125, ShowsTheSurfaceOneToOneAtScale125) { ExpectWindowShowsSurfaceOneToOne(1.25); }
TEST(PatternWindowDpr2, ShowsTheSurfaceOneToOneAtScale2) { ExpectWindowShowsSurfaceOneToOne(2.0); }

TEST(PatternWindow, LoadPaintsPatternOneBeforeTheWindowIsShown) {
    SessionState.AutoPlayOn = kTrue;
    Program program(QGuiApplication::primaryScreen());
    Background& bg = program.background();
    EXPECT_FALSE(bg.isLoaded());
    EXPECT_FALSE(bg.isVisible());
    EXPECT_EQ(SessionState.PatternIndex, 0);
    program.showBackground();
    EXPECT_TRUE(bg.isLoaded());
    EXPECT_TRUE(bg.isVisible());
    EXPECT_EQ(SessionState.PatternIndex, 1);
    EXPECT_EQ(SessionState.AutoPlayOn, kFalse);
    EXPECT_TRUE(SessionState.AutoPlaySeconds.isEmpty());
    EXPECT_EQ(bg.form().surface().pixel(0, 0), qRgb(0, 0, 0));
}

TEST(PatternWindow, UncoveredWindowShowsTheSamePicture) {
    Program program(QGuiApplication::primaryScreen());
    program.start();
    program.welcome().close(); // the splash gives way to the pattern window
    Background& bg = program.background();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bg));
    SessionState.PatternIndex = 4;
    PaintPattern(bg.form());
    bg.flush();
    QApplication::processEvents();
    const QImage before = bg.grab().toImage();

    QWidget cover;
    cover.setGeometry(bg.geometry());
    cover.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
    cover.hide();
    bg.update(); // the system asks for the uncovered area again
    QApplication::processEvents();
    EXPECT_EQ(bg.grab().toImage(), before);
    EXPECT_EQ(bg.grab().toImage().pixel(5, 5), qRgb(255, 0, 0));
}

// ---- the font sample on a 120 dpi panel (tests/screens/Screens*120Dpi.json)
// Scaled by Qt (96 logical dpi at a ratio of 1.25) or native (120 dpi),
// the window and an export resolve the 10 points at the device's 120 dpi.

namespace {

void ExpectFontSampleAtTheDeviceResolution() {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_DOUBLE_EQ(screen->logicalDotsPerInch() * screen->devicePixelRatio(), 120.0);
    const QSize size = DeviceSize(screen);
    const QImage want = RenderPattern(64, size, 120.0);

    Background bg(screen);
    SessionState.ScreenWidthPx = static_cast<int16_t>(size.width());
    SessionState.ScreenHeightPx = static_cast<int16_t>(size.height());
    test::PaintNext(bg.form(), 64);
    EXPECT_EQ(test::FirstDifference(bg.form().surface().image(), want), "") << "window";

    QTemporaryDir dir;
    CommandLine export64;
    export64.action = CommandLine::Action::Export;
    export64.exportDir = dir.path();
    export64.firstPattern = export64.lastPattern = 64;
    ASSERT_EQ(ExportCommand(export64, screen), kSuccessExitStatus);
    EXPECT_EQ(test::FirstDifference(QImage(QDir(dir.path()).filePath(PatternFileName(64))), want), "") << "export";
}

} // namespace

TEST(ScreensScaled120DpiFontSample, PointsResolveAtTheDeviceResolution) { ExpectFontSampleAtTheDeviceResolution(); }
TEST(ScreensNative120DpiFontSample, PointsResolveAtTheDeviceResolution) { ExpectFontSampleAtTheDeviceResolution(); }
