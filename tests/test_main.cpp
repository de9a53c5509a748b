// Test entry point: a GUI application on Qt's offscreen platform (unless
// the environment names another), shared by every test.

#include "application.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    RegisterFontSubstitutions();
    return RUN_ALL_TESTS();
}
