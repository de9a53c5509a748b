// The display probe on simulated screens: each suite named after a file in
// tests/screens/ runs on that screen in a process of its own; the
// DisplayProbe suite runs on the default offscreen screen.

#include "program.h"
#include "screens/display_probe.h"
#include "session/pattern_window.h"
#include "session/session_state.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

namespace {

struct Stored {
    int16_t width;
    int16_t height;
};

// Runs the probe on the primary screen with the fields preset, and
// returns what it left in them.
Stored ProbeWithPreset(int16_t width, int16_t height) {
    SessionState.ScreenWidthPx = width;
    SessionState.ScreenHeightPx = height;
    ProbeDisplay(QGuiApplication::primaryScreen());
    const Stored stored{SessionState.ScreenWidthPx, SessionState.ScreenHeightPx};
    ResetSessionState();
    return stored;
}

// The probe stores the screen's pixel size, and the pattern window made
// for the same screen draws on a surface of exactly that size.
void ExpectProbeStores(int16_t width, int16_t height) {
    const Stored stored = ProbeWithPreset(0, 0);
    EXPECT_EQ(stored.width, width);
    EXPECT_EQ(stored.height, height);

    Program program(QGuiApplication::primaryScreen());
    EXPECT_EQ(program.background().form().surface().size(), QSize(width, height));
}

} // namespace

TEST(Probe1024x768Dpi96, StoresThePixelSize) { ExpectProbeStores(1024, 768); }

// Scaled screens: Qt reports fewer logical pixels than the panel has.
static void ExpectScaledScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_GT(screen->devicePixelRatio(), 1.0);
}

TEST(Probe1280x1024Dpi120, StoresThePixelSize) {
    ExpectScaledScreen();
    ExpectProbeStores(1280, 1024);
}

// 168 dpi has a fractional 8.57 twips per pixel; the stored width is the
// full 1920, not a twips quotient that would leave part of the panel bare.
TEST(Probe1920x1080Dpi168, StoresThePixelSizeNotATwipsQuotient) {
    ExpectScaledScreen();
    ExpectProbeStores(1920, 1080);
}

// 2048 by 1152 logical pixels at a device pixel ratio of 1.25.
TEST(Probe2560x1440Dpr125, StoresDevicePixelsNotLogicalOnes) {
    ExpectScaledScreen();
    ExpectProbeStores(2560, 1440);
}

TEST(Probe40000Wide, WidthBeyond16BitsLeavesBothFieldsAsTheyWere) {
    const Stored fromStart = ProbeWithPreset(0, 0);
    EXPECT_EQ(fromStart.width, 0);
    EXPECT_EQ(fromStart.height, 0);
    const Stored preset = ProbeWithPreset(11, 22);
    EXPECT_EQ(preset.width, 11);
    EXPECT_EQ(preset.height, 22);
}

TEST(Probe100x40000Tall, HeightBeyond16BitsKeepsTheStoredWidth) {
    const Stored fromStart = ProbeWithPreset(0, 0);
    EXPECT_EQ(fromStart.width, 100);
    EXPECT_EQ(fromStart.height, 0);
    const Stored preset = ProbeWithPreset(11, 22);
    EXPECT_EQ(preset.width, 100);
    EXPECT_EQ(preset.height, 22);
}

TEST(DisplayProbe, DefaultScreenMatchesThePatternWindowSurface) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const Stored stored = ProbeWithPreset(0, 0);
    EXPECT_GT(stored.width, 0);
    EXPECT_GT(stored.height, 0);
    Program program(screen);
    EXPECT_EQ(program.background().form().surface().size(), QSize(stored.width, stored.height));
}

TEST(DisplayProbe, MissingScreenEndsSilentlyWithFieldsUnchanged) {
    SessionState.ScreenWidthPx = 640;
    SessionState.ScreenHeightPx = 480;
    EXPECT_NO_THROW(ProbeDisplay(nullptr));
    EXPECT_EQ(SessionState.ScreenWidthPx, 640);
    EXPECT_EQ(SessionState.ScreenHeightPx, 480);
}
