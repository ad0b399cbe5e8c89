#include "TestEnvironment.h"

#include <QApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test binaries also run where there is no display (test discovery, CI); widgets then draw off
    // screen. The end-to-end test sets its own platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    ::testing::InitGoogleMock(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    ::testing::UnitTest::GetInstance()->listeners().Append(new morvane::test::IsolatedHomeListener);
    return RUN_ALL_TESTS();
}
