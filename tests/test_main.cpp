// Test entry point: a GUI application on Qt's offscreen platform (unless
// the environment names another), shared by every test, and a fresh
// `SessionState` around each test.

#include "application.h"
#include "session/session_state.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>

namespace {

class FreshSessionState : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { ResetSessionState(); }
    void OnTestEnd(const ::testing::TestInfo&) override { ResetSessionState(); }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSessionState);
    QApplication app(argc, argv);
    RegisterFontSubstitutions();
    const int status = RUN_ALL_TESTS();
    // A run whose filter selects nothing has tested nothing: count it as failed.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        fprintf(stderr, "no test selected\n");
        return 1;
    }
    return status;
}
