#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// For tests of windows and menus: a widget application (on the offscreen platform in CTest).
int main(int argc, char** argv) {
    // Also when CTest lists the tests, which it does without the tests' environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
