// Runs the window tests inside a QApplication on the offscreen platform, so they need
// no display; also used when ctest lists the tests.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/qt/resources.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    korvane::EnsureUiResources();
    return RUN_ALL_TESTS();
}
