#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> g_home;

class IsolatedHomeListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        g_home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/morvane-test-XXXXXX"));
        const QString root = g_home->path();
        for (const auto& [name, path] : {std::pair{"HOME", root},
                                         {"XDG_CONFIG_HOME", root + QStringLiteral("/.config")},
                                         {"XDG_DATA_HOME", root + QStringLiteral("/.local/share")},
                                         {"XDG_RUNTIME_DIR", root + QStringLiteral("/.runtime")},
                                         // Empty: what is installed on the machine (the package's own
                                         // menu entry among it) never decides a result.
                                         {"XDG_DATA_DIRS", root + QStringLiteral("/.system-data")},
                                         {"XDG_CONFIG_DIRS", root + QStringLiteral("/.system-config")}}) {
            QDir().mkpath(path);
            QFile::setPermissions(path,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            qputenv(name, QFile::encodeName(path));
        }
    }

    void OnTestEnd(const ::testing::TestInfo&) override { g_home.reset(); }
};

} // namespace

QString morvane::test::testHome()
{
    return g_home ? g_home->path() : QString();
}

int main(int argc, char** argv)
{
    // Test binaries also run where there is no display (test discovery, CI); widgets then draw off
    // screen. The end-to-end test sets its own platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    ::testing::InitGoogleMock(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    ::testing::UnitTest::GetInstance()->listeners().Append(new IsolatedHomeListener);
    return RUN_ALL_TESTS();
}
