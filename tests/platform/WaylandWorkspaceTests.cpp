#include "AccessibilityTree.h"
#include "FakeWorkspace.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "RecordedAccessibilityTree.h"
#include "platform/WaylandWorkspace.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using namespace std::chrono_literals;
using test::AccessibilityTree;
using test::FakeWorkspace;
using test::node;

struct Session {
    Session()
        : workspace(display, NativeFrontWindow(tree), clock)
    {
        display->activate(QStringLiteral("XTerm"), 300, QStringLiteral("Terminal"));
        notices.clear();
    }
    // A native application with one frame, active or not; the frame is returned.
    AccessibilityElement nativeApplication(const QString& name, qint64 processId, const QString& title,
                                           bool active)
    {
        const AccessibilityElement application = tree->addApplication(processId, name);
        return tree->add(application, node(AccessibilityRole::frame, title,
                                           active ? AccessibilityStates(AccessibilityState::active)
                                                  : AccessibilityStates()));
    }
    void setActive(const AccessibilityElement& frame, bool active)
    {
        tree->edit(frame, [active](AccessibilityTree::Node& n) {
            n.states.setFlag(AccessibilityState::active, active);
        });
    }
    // Waits until the notices number count.
    bool noticed(int count)
    {
        return QTest::qWaitFor([&] { return notices.size() >= count; }, 5000) && notices.size() == count;
    }

    std::shared_ptr<FakeWorkspace> display = std::make_shared<FakeWorkspace>();
    std::shared_ptr<AccessibilityTree> tree = std::make_shared<AccessibilityTree>();
    std::shared_ptr<test::ManualClock> clock = std::make_shared<test::ManualClock>();
    WaylandWorkspace workspace;
    QSignalSpy notices{&workspace, &Workspace::applicationActivated};
};

QString notice(const QSignalSpy& notices, int index)
{
    return notices.at(index).first().toString();
}

// The X display names no window: the active frame on the bus is the window in front, with one notice
// for it; the panel over it reads it as the window before ours; a switch between native windows,
// which the X display does not see, is found at the next look.
TEST(WaylandWorkspace, ANativeWindowInFrontIsNamedByTheAccessibilityBus)
{
    Session session;
    const AccessibilityElement firefox = session.nativeApplication(
        QStringLiteral("Firefox"), 42, QStringLiteral("Zebra — Mozilla Firefox"), true);
    session.nativeApplication(QStringLiteral("waybar"), 43, QStringLiteral("waybar"), false);

    session.display->clearFront();
    ASSERT_TRUE(session.noticed(1));
    EXPECT_EQ(notice(session.notices, 0), QStringLiteral("org.mozilla.firefox"));
    const DesktopWindow expected{0,
                                 {QStringLiteral("org.mozilla.firefox"), 42},
                                 "Zebra — Mozilla Firefox",
                                 {},
                                 QStringLiteral("Firefox")};
    EXPECT_EQ(session.workspace.frontWindow(), expected);
    EXPECT_EQ(session.workspace.frontmostIdentifier(), QStringLiteral("org.mozilla.firefox"));
    EXPECT_TRUE(session.workspace.runningApplications().contains(expected.application));

    // The panel takes the focus: the native window is where the user came from, and no longer active.
    session.setActive(firefox, false);
    session.display->activateOwn();
    ASSERT_TRUE(session.noticed(2));
    EXPECT_EQ(session.workspace.captureWindow(), expected);
    session.clock->advance(WaylandWorkspace::nativeRecheck * 3); // no look while an X window is in front
    QTest::qWait(20);
    EXPECT_EQ(session.notices.size(), 2);

    // Hidden again over the same window; then the user switches to another native window.
    session.setActive(firefox, true);
    session.display->clearFront();
    ASSERT_TRUE(session.noticed(3));
    EXPECT_EQ(notice(session.notices, 2), QStringLiteral("org.mozilla.firefox"));
    EXPECT_EQ(session.workspace.windowBeforeOwn(), std::nullopt);
    session.setActive(firefox, false);
    const AccessibilityElement calendar =
        session.nativeApplication(QStringLiteral("gnome-calendar"), 7, QStringLiteral("Calendar"), true);
    session.clock->advance(WaylandWorkspace::nativeRecheck);
    ASSERT_TRUE(session.noticed(4));
    EXPECT_EQ(notice(session.notices, 3), QStringLiteral("com.apple.iCal"));
    // The bus's activation event is looked at without waiting for the next second.
    session.setActive(calendar, false);
    session.setActive(firefox, true);
    emit session.tree->windowActivated();
    ASSERT_TRUE(session.noticed(5));
    EXPECT_EQ(notice(session.notices, 4), QStringLiteral("org.mozilla.firefox"));

    // An X window comes back: the display's answer holds again.
    session.display->activate(QStringLiteral("XTerm"), 300, QStringLiteral("Terminal"));
    ASSERT_TRUE(session.noticed(6));
    EXPECT_EQ(session.workspace.frontWindow()->title, QStringLiteral("Terminal"));
}

// GNOME Shell's overview holds the keyboard: the Shell's stage is the one active window on the bus, but
// the Shell is the desktop, not an application in front. Nothing is, and the panel opened over the
// overview has no window behind it to read; once a window is active again, it is in front.
TEST(WaylandWorkspace, TheDesktopShellsOverviewIsNoWindowInFront)
{
    Session session;
    const AccessibilityElement firefox = session.nativeApplication(
        QStringLiteral("Firefox"), 42, QStringLiteral("Zebra — Mozilla Firefox"), false);
    replayRecordedTree(*session.tree, QStringLiteral(MORVANE_RECORDED_TREES "/gnome-shell-overview.json"), 9)
        .value();

    session.display->clearFront();
    ASSERT_TRUE(session.noticed(1));
    EXPECT_EQ(notice(session.notices, 0), QString());
    EXPECT_EQ(session.workspace.frontWindow(), std::nullopt);
    session.display->activateOwn();
    ASSERT_TRUE(session.noticed(2));
    EXPECT_EQ(session.workspace.captureWindow(), std::nullopt);

    session.setActive(firefox, true);
    session.display->clearFront();
    ASSERT_TRUE(session.noticed(3));
    EXPECT_EQ(notice(session.notices, 2), QStringLiteral("org.mozilla.firefox"));
}

// No active frame (a terminal without accessibility, or the desktop) and a bus that is off: nothing is
// in front, said with one notice without an application; the bus being off is logged once.
TEST(WaylandWorkspace, WithoutAnActiveFrameOrWithTheBusOffNothingIsInFront)
{
    for (const AccessibilityTrust trust : {AccessibilityTrust::granted, AccessibilityTrust::notGranted}) {
        SCOPED_TRACE(static_cast<int>(trust));
        const test::LogCapture log(QStringLiteral("morvane.Workspace"));
        Session session;
        session.tree->trustState = trust;
        session.nativeApplication(QStringLiteral("Firefox"), 42, QStringLiteral("Zebra"), false);
        for (int round = 1; round <= 2; ++round) {
            session.display->clearFront();
            ASSERT_TRUE(session.noticed(2 * round - 1));
            EXPECT_EQ(notice(session.notices, 2 * round - 2), QString());
            EXPECT_EQ(session.workspace.frontWindow(), std::nullopt);
            EXPECT_EQ(session.workspace.captureWindow(), std::nullopt);
            session.display->activate(QStringLiteral("XTerm"));
            ASSERT_TRUE(session.noticed(2 * round));
        }
        EXPECT_EQ(log.lines().filter(QStringLiteral("accessibility bus is off")).size(),
                  trust == AccessibilityTrust::granted ? 0 : 1);
    }
}

// A bus that never answers which native window is in front: within the bound the notice goes out as
// nothing in front, so no reader keeps reading the application the user had before, and the panel
// over it reads no window behind. The late answer changes nothing; the next look that answers does.
TEST(WaylandWorkspace, ALookupThatNeverAnswersLeavesAnUnknownWindowInFront)
{
    Session session;
    const AccessibilityElement firefox = session.nativeApplication(
        QStringLiteral("Firefox"), 42, QStringLiteral("Zebra — Mozilla Firefox"), true);
    session.display->clearFront();
    ASSERT_TRUE(session.noticed(1));
    ASSERT_EQ(notice(session.notices, 0), QStringLiteral("org.mozilla.firefox"));
    // Firefox is read through an X window now; then a native window takes the keyboard while the bus
    // hangs.
    session.display->activate(QStringLiteral("org.mozilla.firefox"), 42, QStringLiteral("Probe Page X"));
    ASSERT_TRUE(session.noticed(2));
    session.setActive(firefox, false);
    session.nativeApplication(QStringLiteral("gnome-calendar"), 7, QStringLiteral("Calendar"), true);
    session.tree->holdJobs = true;
    session.display->clearFront();
    session.clock->advance(WaylandWorkspace::lookupBound);
    ASSERT_TRUE(session.noticed(3));
    EXPECT_EQ(notice(session.notices, 2), QString());
    EXPECT_EQ(session.workspace.frontWindow(), std::nullopt);
    session.display->activateOwn();
    ASSERT_TRUE(session.noticed(4));
    EXPECT_EQ(session.workspace.captureWindow(), std::nullopt);

    // Answered late, over the panel: dropped. Hidden again, the next look names the native window.
    session.tree->runHeldJobs();
    QTest::qWait(50);
    EXPECT_EQ(session.notices.size(), 4);
    session.tree->holdJobs = false;
    session.display->clearFront();
    ASSERT_TRUE(session.noticed(5));
    EXPECT_EQ(notice(session.notices, 4), QStringLiteral("com.apple.iCal"));
    EXPECT_EQ(session.workspace.frontWindow()->windowClass, QStringLiteral("gnome-calendar"));
}

} // namespace
} // namespace morvane
