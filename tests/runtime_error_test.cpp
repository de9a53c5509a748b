// A run-time error that no handler traps: nothing of the windows runs on
// behind its report, and the report stays above the window it came from.

#include "application.h"
#include "program.h"
#include "screens/display_probe.h"
#include "screens/farewell_window.h"
#include "session/numeric.h"
#include "session/pattern_window.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton> // before support.h, which compares its buttons
#include <QTest>

#include "support.h"

TEST(RuntimeError, EveryWindowTimerStopsBeforeTheReportIsShownOverTheFailingWindow) {
    Program program(QGuiApplication::primaryScreen());
    ProbeDisplay(program.screen());
    program.showBackground();
    Background& bg = program.background();
    QTest::keyClick(&bg, Qt::Key_F12); // auto-play on
    bg.form().Timer2.setEnabled(true);
    program.confirmExit(); // the farewell window's two timers
    VerApprove& farewell = program.farewell();
    ASSERT_TRUE(bg.form().AutoPlay.enabled());
    ASSERT_TRUE(farewell.Timer1.enabled());

    bool runningWhileShown = true;
    test::ModalAnswerer answerer(QMessageBox::Ok, [&] {
        runningWhileShown = bg.form().AutoPlay.enabled() || bg.form().Timer2.enabled() ||
                            farewell.Timer1.enabled() || farewell.Timer2.enabled();
        return true;
    });
    // As an auto-play tick that overflowed.
    ReportUntrappedError(numeric::RuntimeError(numeric::RuntimeError::Overflow), &bg.form().AutoPlay);

    ASSERT_TRUE(answerer.seen().has_value());
    EXPECT_FALSE(runningWhileShown);
    EXPECT_EQ(answerer.seen()->parent, &bg);
    EXPECT_EQ(answerer.seen()->text, QStringLiteral("Run-time error '6':\n\nOverflow"));
}
