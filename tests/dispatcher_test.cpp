#include "session/dispatcher.h"
#include "session/pattern_form.h"
#include "session/readout.h"
#include "session/session_state.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSessionState();
        SessionState.ScreenWidthPx = 64;
        SessionState.ScreenHeightPx = 48;
    }

    // Paints `index` and returns the index the dispatcher leaves.
    int16_t Paint(int16_t index) {
        SessionState.PatternIndex = index;
        PaintPattern(form);
        return SessionState.PatternIndex;
    }

    bool AllPixels(QRgb color) {
        const QImage& img = form.surface().image();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != color) return false;
        return true;
    }

    PatternForm form{QSize(64, 48)};
};

} // namespace

TEST_F(Dispatcher, TableHoldsSixtySevenNumberedSteps) {
    const auto table = PatternTable();
    ASSERT_EQ(table.size(), 67u);
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].number, static_cast<int16_t>(i + 1));
        EXPECT_NE(std::string(table[i].name), "");
    }
    EXPECT_EQ(FindPattern(0), nullptr);
    EXPECT_EQ(FindPattern(68), nullptr);
    EXPECT_STREQ(FindPattern(11)->name, "grey 128");
}

TEST_F(Dispatcher, EndOfSequenceShowsBlackAndWrapsToOne) {
    Paint(7);
    EXPECT_EQ(Paint(68), 1);
    EXPECT_TRUE(AllPixels(qRgb(0, 0, 0)));
    // The next step after the wrap is pattern 2.
    SessionState.PatternIndex += 1;
    PaintPattern(form);
    EXPECT_EQ(SessionState.PatternIndex, 2);
}

class DispatcherInvalid : public Dispatcher, public ::testing::WithParamInterface<int16_t> {};

TEST_P(DispatcherInvalid, ValuesOutsideTheSequenceResetToOneOnBlack) {
    Paint(4); // leave a red field behind
    EXPECT_EQ(Paint(GetParam()), 1);
    EXPECT_TRUE(AllPixels(qRgb(0, 0, 0)));
}

INSTANTIATE_TEST_SUITE_P(Dispatcher, DispatcherInvalid,
                         ::testing::Values(int16_t{0}, int16_t{69}, int16_t{-5}, int16_t{32767}, int16_t{-32768}));

TEST_F(Dispatcher, SharedBranchesPaintAlikeButStaySeparateSteps) {
    for (auto [a, b] : {std::pair<int16_t, int16_t>{11, 39}, {4, 19}, {5, 25}, {6, 31}, {13, 40}, {1, 41}}) {
        EXPECT_EQ(Paint(a), a);
        const QImage first = form.surface().image().copy();
        EXPECT_EQ(Paint(b), b);
        EXPECT_EQ(form.surface().image(), first) << a << " and " << b;
    }
}

TEST_F(Dispatcher, ResetClearsWhatAPatternLeftAndKeepsTheRest) {
    DrawingSurface& s = form.surface();
    SessionState.BlockX = 12.5f;
    SessionState.BlockY = 3.0f;
    SessionState.MouseX = 7.0f;
    SessionState.MouseY = 9.0f;
    SessionState.ColorR = SessionState.ColorG = SessionState.ColorB = 255;
    form.Timer1.Tag = QStringLiteral("1");
    form.Timer2.Tag = QStringLiteral("1");
    form.Timer1.setEnabled(true);
    form.Timer2.setEnabled(true);
    form.Cursor.Visible = true;
    form.Cursor.Caption = QStringLiteral("( 7 , 9 )");
    s.setForeColor(qRgb(1, 2, 3));
    s.setFillStyle(DrawingSurface::FillStyle::Solid);
    s.setFillColor(qRgb(4, 5, 6));
    s.setFontSize(10);

    Paint(1);

    EXPECT_EQ(s.fillStyle(), DrawingSurface::FillStyle::Transparent);
    EXPECT_FALSE(form.Cursor.Visible);
    EXPECT_FALSE(form.Timer1.enabled());
    EXPECT_FALSE(form.Timer2.enabled());
    EXPECT_EQ(SessionState.ColorR, 0);
    EXPECT_EQ(SessionState.ColorG, 0);
    EXPECT_EQ(SessionState.ColorB, 0);
    EXPECT_EQ(s.backColor(), qRgb(0, 0, 0));
    // Kept as the previous pattern left them.
    EXPECT_EQ(SessionState.BlockX, 12.5f);
    EXPECT_EQ(SessionState.BlockY, 3.0f);
    EXPECT_EQ(SessionState.MouseX, 7.0f);
    EXPECT_EQ(SessionState.MouseY, 9.0f);
    EXPECT_EQ(form.Timer1.Tag, "1");
    EXPECT_EQ(form.Timer2.Tag, "1");
    EXPECT_EQ(form.Cursor.Caption, "( 7 , 9 )");
    EXPECT_EQ(s.foreColor(), qRgb(1, 2, 3));
    EXPECT_EQ(s.fillColor(), qRgb(4, 5, 6));
    EXPECT_EQ(s.fontSize(), 10.0);
}

TEST_F(Dispatcher, AutoPlayRunsOnlyForExactlyMinusOne) {
    SessionState.AutoPlayOn = kTrue;
    SessionState.AutoPlaySeconds = QStringLiteral("1");
    Paint(5);
    EXPECT_TRUE(form.AutoPlay.enabled());
    EXPECT_EQ(form.AutoPlay.interval(), 1000);

    SessionState.AutoPlayOn = 1; // not -1: off
    Paint(5);
    EXPECT_FALSE(form.AutoPlay.enabled());

    SessionState.AutoPlayOn = kFalse;
    form.AutoPlay.setInterval(1234);
    Paint(5);
    EXPECT_FALSE(form.AutoPlay.enabled());
    EXPECT_EQ(form.AutoPlay.interval(), 1234);

    SessionState.AutoPlayOn = kTrue;
    SessionState.AutoPlaySeconds = QStringLiteral("0.0005"); // 0.5 ms: tie goes to even 0
    Paint(5);
    EXPECT_EQ(form.AutoPlay.interval(), 0);
}

TEST_F(Dispatcher, AutoPlayTickStepsAroundTheCycle) {
    SessionState.AutoPlayOn = kTrue;
    SessionState.AutoPlaySeconds = QStringLiteral("1");
    Paint(67);
    AutoPlay_Timer(form);
    EXPECT_EQ(SessionState.PatternIndex, 1); // step 68: black, index back at 1
    EXPECT_TRUE(AllPixels(qRgb(0, 0, 0)));
    AutoPlay_Timer(form);
    EXPECT_EQ(SessionState.PatternIndex, 2);
    EXPECT_TRUE(form.AutoPlay.enabled());

    // Switched off by the flag alone: the next tick still steps, then stops.
    SessionState.AutoPlayOn = kFalse;
    AutoPlay_Timer(form);
    EXPECT_EQ(SessionState.PatternIndex, 3);
    EXPECT_FALSE(form.AutoPlay.enabled());
}

struct Field {
    int16_t pattern;
    int r, g, b;
};

class SolidFields : public ::testing::TestWithParam<Field> {};

TEST_P(SolidFields, FillEveryPixelWithTheTableColour) {
    ResetSessionState();
    SessionState.ScreenWidthPx = 37;
    SessionState.ScreenHeightPx = 23;
    PatternForm form(QSize(37, 23));
    SessionState.PatternIndex = GetParam().pattern;
    PaintPattern(form);
    const QRgb want = qRgb(GetParam().r, GetParam().g, GetParam().b);
    const QImage& img = form.surface().image();
    int wrong = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) wrong += img.pixel(x, y) != want;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(img.pixel(36, 22), want); // bottom-right corner
    EXPECT_EQ(form.surface().backColor(), want); // kept for later clears
    EXPECT_FALSE(form.Cursor.Visible);
    EXPECT_FALSE(form.Timer1.enabled() || form.Timer2.enabled());
    EXPECT_EQ(SessionState.PatternIndex, GetParam().pattern);
}

INSTANTIATE_TEST_SUITE_P(
    Dispatcher, SolidFields,
    ::testing::Values(Field{1, 0, 0, 0}, Field{4, 255, 0, 0}, Field{5, 0, 255, 0}, Field{6, 0, 0, 255},
                      Field{7, 255, 255, 255}, Field{8, 0, 0, 0}, Field{9, 63, 63, 63}, Field{10, 95, 95, 95},
                      Field{11, 128, 128, 128}, Field{12, 192, 192, 192}, Field{13, 255, 255, 255},
                      Field{14, 0, 0, 0}, Field{15, 63, 0, 0}, Field{16, 95, 0, 0}, Field{17, 128, 0, 0},
                      Field{18, 192, 0, 0}, Field{19, 255, 0, 0}, Field{20, 0, 0, 0}, Field{21, 0, 63, 0},
                      Field{22, 0, 95, 0}, Field{23, 0, 128, 0}, Field{24, 0, 192, 0}, Field{25, 0, 255, 0},
                      Field{26, 0, 0, 0}, Field{27, 0, 0, 63}, Field{28, 0, 0, 95}, Field{29, 0, 0, 128},
                      Field{30, 0, 0, 192}, Field{31, 0, 0, 255}, Field{32, 1, 1, 1}, Field{33, 2, 2, 2},
                      Field{34, 4, 4, 4}, Field{35, 8, 8, 8}, Field{36, 16, 16, 16}, Field{37, 32, 32, 32},
                      Field{38, 64, 64, 64}, Field{39, 128, 128, 128}, Field{40, 255, 255, 255},
                      Field{41, 0, 0, 0}, Field{48, 0, 0, 0}, Field{50, 0, 0, 0}, Field{52, 0, 0, 0},
                      Field{54, 0, 0, 0}));

// Clearing erases pixels only: the text position the font sample left
// survives the next pattern's reset and the cross-hair's redraw.

TEST_F(Dispatcher, TextPositionSurvivesTheResetAndTheCrosshairRedraw) {
    DrawingSurface& s = form.surface();
    Paint(64);
    const float x = s.currentX(), y = s.currentY();
    ASSERT_GE(y, SessionState.ScreenHeightPx - 10); // below the last line
    Paint(65);
    DrawReadoutCrosshair(form, 20, 30);
    EXPECT_EQ(s.currentX(), x);
    EXPECT_EQ(s.currentY(), y);
}
