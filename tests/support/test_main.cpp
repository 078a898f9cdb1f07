// Test entry point: a QApplication on the offscreen platform, then every GoogleTest case.
#include <QApplication>
#include "tests/support/timing.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (testing_support::kSanitizedBuild)
        std::printf("Sanitizer build: bounds on elapsed time are widened %.0fx.\n", testing_support::kTimingSlack);
    return RUN_ALL_TESTS();
}
