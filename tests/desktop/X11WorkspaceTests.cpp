#include "ManualClock.h"
#include "TestEnvironment.h"
#include "desktop/X11Workspace.h"
#include "foundation/Clock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

// A display of our own, on which the test itself plays the window manager: it makes windows and
// names the active one on the root window, as a window manager would.
class XServer {
public:
    XServer()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return;
        // The server writes the display number it chose to standard output once it accepts clients.
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("320x240x24")});
        const QDeadlineTimer deadline(10s);
        while (!m_server.canReadLine() && m_server.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        const QByteArray number = m_server.readLine().trimmed();
        if (number.isEmpty())
            return;
        m_display = ":" + number;
        m_connection = xcb_connect(m_display.constData(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_activeWindow = atom("_NET_ACTIVE_WINDOW");
    }

    ~XServer()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
        m_server.terminate();
        m_server.waitForFinished(5000);
    }

    bool isRunning() const { return m_root != XCB_NONE; }
    const QByteArray& display() const { return m_display; }

    // A window of the application with this WM_CLASS class, belonging to the process.
    xcb_window_t window(const QByteArray& windowClass, quint32 processId)
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray wmClass = windowClass.toLower() + '\0' + windowClass + '\0';
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                            8, wmClass.size(), wmClass.constData());
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &processId);
        xcb_flush(m_connection);
        return window;
    }

    // Names the window active; XCB_NONE clears it.
    void activate(xcb_window_t window)
    {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, m_activeWindow, XCB_ATOM_WINDOW, 32,
                            1, &window);
        // The round trip makes sure the server has sent the change before the test looks for it.
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    QProcess m_server;
    QByteArray m_display;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_activeWindow = XCB_NONE;
};

// Lets the workspace read what the server sent until the notices number count; false after a bound.
bool waitForNotices(const QSignalSpy& notices, qsizetype count)
{
    const QDeadlineTimer deadline(5s);
    while (notices.size() < count && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return notices.size() >= count;
}

QStringList identifiers(const QSignalSpy& notices)
{
    QStringList identifiers;
    for (const QList<QVariant>& notice : notices)
        identifiers.append(notice.first().toString());
    return identifiers;
}

} // namespace

// What a Wayland session shows this display: a browser on Xwayland in front, then a native window,
// which leaves the active window cleared. The browser must no longer count as in front, nor its window
// as the one before ours; our own window taking the keyboard, or a switch that clears the active window
// for an instant, forgets nothing.
TEST(X11Workspace, AClearedActiveWindowIsNothingInFrontButOurOwnWindowOrASwitchIsNot)
{
    XServer server;
    if (!server.isRunning())
        GTEST_SKIP() << "no Xvfb to run the display on";
    const ScopedEnvironmentVariable display("DISPLAY", server.display());
    const ScopedEnvironmentVariable wayland("WAYLAND_DISPLAY", QByteArray("wayland-test"));
    const xcb_window_t browser = server.window("Firefox-esr", 4242);
    const xcb_window_t terminal = server.window("XTerm", 4343);
    const xcb_window_t own = server.window("Morvane", quint32(::getpid()));
    const auto clock = std::make_shared<ManualClock>();
    X11Workspace workspace("org.morvane.Morvane", clock);
    ASSERT_TRUE(workspace.isAvailable());
    QSignalSpy notices(&workspace, &Workspace::applicationActivated);

    server.activate(browser);
    ASSERT_TRUE(waitForNotices(notices, 1));
    server.activate(own);
    ASSERT_TRUE(waitForNotices(notices, 2));
    ASSERT_TRUE(workspace.windowBeforeOwn()) << "our own window keeps the one before it";
    EXPECT_EQ(workspace.windowBeforeOwn()->windowId, browser);

    // A switch clears the active window on its way to the next one.
    server.activate(XCB_NONE);
    server.activate(browser);
    ASSERT_TRUE(waitForNotices(notices, 3));
    clock->advance(1s);
    EXPECT_EQ(identifiers(notices),
              (QStringList{"org.mozilla.firefox", "org.morvane.Morvane", "org.mozilla.firefox"}));

    server.activate(XCB_NONE);
    const QDeadlineTimer settle(200ms);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(notices.size(), 3) << "no notice within the grace of a switch";
    clock->advance(1s);
    ASSERT_TRUE(waitForNotices(notices, 4));
    EXPECT_EQ(notices.last().first().toString(), QString()) << "nothing is in front";
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    EXPECT_EQ(workspace.windowBeforeOwn(), std::nullopt);

    // Our panel opened over the native window has nothing behind it to read.
    server.activate(own);
    ASSERT_TRUE(waitForNotices(notices, 5));
    EXPECT_EQ(workspace.windowBeforeOwn(), std::nullopt);
    EXPECT_EQ(workspace.captureWindow(), std::nullopt);

    // Back on an X11 window, everything is known again.
    server.activate(terminal);
    ASSERT_TRUE(waitForNotices(notices, 6));
    EXPECT_EQ(notices.last().first().toString(), QStringLiteral("XTerm"));
    ASSERT_TRUE(workspace.captureWindow());
    EXPECT_EQ(workspace.captureWindow()->windowId, terminal);
}

// The display is not reached while the application starts, yet a workspace nobody has asked
// anything hears the first switch once the event loop runs, and knows the window in front it found.
TEST(X11Workspace, AWorkspaceNeverAskedStillHearsTheFirstSwitch)
{
    XServer server;
    if (!server.isRunning())
        GTEST_SKIP() << "no Xvfb to run the display on";
    const ScopedEnvironmentVariable display("DISPLAY", server.display());
    const xcb_window_t terminal = server.window("XTerm", 4343);
    const xcb_window_t browser = server.window("Firefox-esr", 4242);
    server.activate(terminal);
    X11Workspace workspace("org.morvane.Morvane", SystemClock::shared());
    QSignalSpy notices(&workspace, &Workspace::applicationActivated);
    QCoreApplication::processEvents();

    server.activate(browser);
    ASSERT_TRUE(waitForNotices(notices, 1));
    EXPECT_EQ(identifiers(notices), QStringList{"org.mozilla.firefox"});
    ASSERT_TRUE(workspace.windowBeforeOwn());
    EXPECT_EQ(workspace.windowBeforeOwn()->windowId, browser);
}

TEST(X11Workspace, WithoutAnX11DisplayOrInAWaylandSessionNothingIsInFront)
{
    for (const auto& [displayName, wayland] : {std::pair(":4242", ""), std::pair("", "wayland-0")}) {
        const ScopedEnvironmentVariable display("DISPLAY", QByteArray(displayName));
        const ScopedEnvironmentVariable waylandDisplay("WAYLAND_DISPLAY", QByteArray(wayland));
        X11Workspace workspace("org.morvane.Morvane", SystemClock::shared());
        EXPECT_FALSE(workspace.isAvailable());
        EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
        EXPECT_TRUE(workspace.runningApplications().isEmpty());
    }
}
