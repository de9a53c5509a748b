// The dispatcher: its table, the reset before each pattern, the end of
// the sequence and values outside it, auto-play, the timers' design
// intervals, and the rules the solid fields' colours follow.

#include "session/readout.h"
#include "support.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
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
        return test::Count(form, test::Whole(form), [=](QRgb c) { return c != (color & 0xffffffu); }) == 0;
    }

    PatternForm form{QSize(64, 48)};
};

} // namespace

TEST_F(Dispatcher, FindsOnlyPatterns1To67) {
    EXPECT_EQ(FindPattern(0), nullptr);
    EXPECT_EQ(FindPattern(68), nullptr);
    EXPECT_EQ(FindPattern(67), &PatternTable().back());
}

TEST_F(Dispatcher, TimersHaveTheirDesignIntervals) {
    EXPECT_EQ(form.Timer1.interval(), 50);    // moving block
    EXPECT_EQ(form.Timer2.interval(), 500);   // flashing box
    EXPECT_EQ(form.AutoPlay.interval(), 2000); // until auto-play sets its own
    EXPECT_FALSE(form.Timer1.enabled() || form.Timer2.enabled() || form.AutoPlay.enabled());
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

// The solid fields' colours follow a few rules; every solid field of the
// table is named by one of them, and each fills the whole picture.
TEST(SolidFields, ColoursFollowTheLevelSeriesAndTheDarkGreyDoubling) {
    std::map<int, QRgb> want;
    const int levels[] = {63, 95, 128, 192, 255};
    const struct {
        int first;
        QRgb channels;
    } series[] = {{9, 0xffffffu}, {15, 0xff0000u}, {21, 0x00ff00u}, {27, 0x0000ffu}};
    for (const auto& s : series)
        for (int i = 0; i < 5; ++i) want[s.first + i] = s.channels & (0x010101u * static_cast<QRgb>(levels[i]));
    for (int n = 32, level = 1; n <= 38; ++n, level *= 2) want[n] = 0x010101u * static_cast<QRgb>(level);
    for (int n : {1, 8, 14, 20, 26, 41, 48, 50, 52, 54, 58, 63}) want[n] = 0x000000u; // 58, 63: rest screens
    want[4] = 0xff0000u;
    want[5] = 0x00ff00u;
    want[6] = 0x0000ffu;
    for (int n : {7, 13, 40}) want[n] = 0xffffffu;
    want[39] = 0x808080u;

    const StillPainter field = FindPattern(1)->still;
    std::vector<int> fields;
    for (const PatternInfo& p : PatternTable())
        if (p.still == field) fields.push_back(p.number);
    std::vector<int> named;
    for (const auto& [n, colour] : want) named.push_back(n);
    EXPECT_EQ(fields, named) << "the solid fields of the table and those the rules name";

    const QSize size(37, 23);
    for (const auto& [n, colour] : want) {
        const QImage picture = RenderPattern(static_cast<int16_t>(n), size);
        EXPECT_EQ(test::Count(picture, picture.rect(), [c = colour](QRgb p) { return p != c; }), 0)
            << "pattern " << n << " is not all " << QColor(colour).name().toStdString();
        EXPECT_EQ(SessionState.PatternIndex, n);
    }
}

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
