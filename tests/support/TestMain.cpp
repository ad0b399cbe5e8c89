#include "TestEnvironment.h"
#include "foundation/ThreadHandOff.h"
#include "platform/GLibLoopThread.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
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
                                         {"XDG_CACHE_HOME", root + QStringLiteral("/.cache")},
                                         {"XDG_STATE_HOME", root + QStringLiteral("/.local/state")},
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
        // What the desktop session tells the readers and the texts: a test that means a session sets it.
        for (const char* name : {"WAYLAND_DISPLAY", "SWAYSOCK", "XDG_CURRENT_DESKTOP", "MORVANE_APPEARANCE",
                                 "DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"})
            qunsetenv(name);
    }

    void OnTestEnd(const ::testing::TestInfo&) override { g_home.reset(); }
};

#if defined(__SANITIZE_THREAD__)
// The receiving side of what other threads hand the main thread through its event queue
// (foundation/ThreadHandOff.h): seen by the application's filter before every event of the thread.
class MainThreadTakeOver : public QObject {
public:
    bool eventFilter(QObject*, QEvent*) override
    {
        MORVANE_TAKE_OVER(&morvane::handOffPoint<morvane::MainThreadQueue>);
        return false;
    }
};
#endif

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
#if defined(__SANITIZE_THREAD__)
    MainThreadTakeOver takeOver;
    app.installEventFilter(&takeOver);
#endif

    ::testing::UnitTest::GetInstance()->listeners().Append(new IsolatedHomeListener);
    const int failed = RUN_ALL_TESTS();
    // A thread a test let go is joined once it ends, as the application's main() does: the race
    // checker counts a thread that ended unjoined as leaked.
    morvane::GLibLoopThread::joinThreadsLetGo(std::chrono::seconds(2));
    return failed;
}
